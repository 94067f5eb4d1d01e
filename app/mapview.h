#pragma once

#include "engine/mapoverlay.h"

#include <QCache>
#include <QImage>
#include <QPointF>
#include <QSet>
#include <QThreadPool>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>

class BorderCoverage;
class GeneratedMap;

// Shows a generated map, one pixel per cell at zoom 1: zooms with the wheel
// and with +, - and 0 (fit), pans by dragging, and tells which cell the
// pointer is on. It draws tiles of the level of detail that suits the
// zoom, rendered on worker threads as they come into sight; until a tile is
// ready, a coarser one or a quick look at the whole map stands in, so that
// even the largest map shows at once and stays smooth.
class MapView : public QWidget
{
    Q_OBJECT

public:
    explicit MapView(QWidget *parent = nullptr);
    ~MapView() override;

    // Fits a map of another size into the view; one of the same size keeps
    // the zoom and place, so that passes on one world can be compared.
    void setMap(std::shared_ptr<const GeneratedMap> map);
    const std::shared_ptr<const GeneratedMap> &map() const { return m_map; }
    // The unmatched cells of the map's terrain image, once known.
    void setCoverage(std::shared_ptr<const BorderCoverage> coverage);
    void setOverlay(MapOverlay overlay, bool shown);
    void setPinnedCell(std::optional<QPoint> cell);
    // Where a cell position is in the widget.
    QPointF toWidget(QPointF cell) const;
    // While paused, no tiles are drawn in the background, so that a pass
    // has the processor; the view shows what it has.
    void setTilesPaused(bool paused);

public slots:
    void zoomIn();
    void zoomOut();
    void fit();

signals:
    // QPoint(-1, -1) when the pointer is on no cell.
    void cellHovered(QPoint cell);
    void cellClicked(QPoint cell);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // A tile: level (2^level cells a pixel), column and row, and layer
    // (0 the map, 1 + the overlay otherwise).
    struct Tile
    {
        int level;
        int column;
        int row;
        int layer;
    };
    static quint64 tileKey(const Tile &tile);

    void zoomAround(QPointF widgetPoint, double factor);
    void setZoom(double zoom);
    QPointF toCell(QPointF widgetPoint) const;
    std::optional<QPoint> cellAt(QPointF widgetPoint) const;
    QRect tileCells(const Tile &tile) const;
    void drawLayer(QPainter &painter, int level, int layer, const QRectF &visibleCells);
    bool drawStandIn(QPainter &painter, const Tile &tile, const QRectF &target);
    void request(const Tile &tile);
    void dropQueuedTiles();
    void tileReady(const std::shared_ptr<const GeneratedMap> &map,
                   const std::shared_ptr<const BorderCoverage> &coverage, quint64 key,
                   const QImage &image);
    void hover(QPointF widgetPoint);

    std::shared_ptr<const GeneratedMap> m_map;
    std::shared_ptr<const BorderCoverage> m_coverage;
    // The whole map at m_overviewScale cells a pixel, one cell for each.
    QImage m_overview;
    int m_overviewScale = 1;
    bool m_overlays[3] = {false, false, false};
    std::optional<QPoint> m_pinned;
    std::optional<QPoint> m_hovered;
    double m_zoom = 1.0;
    // The cell position at the widget's top-left corner.
    QPointF m_origin;
    bool m_fitted = true;
    bool m_paused = false;
    std::optional<QPoint> m_pressedAt;
    QPointF m_lastDragPoint;
    bool m_dragging = false;
    QCache<quint64, QImage> m_tiles;
    QSet<quint64> m_pending;
    // The levels that painting wants; tiles of others are not drawn.
    std::atomic<int> m_mapLevel {0};
    std::atomic<int> m_overlayLevel {0};
    // Last, so that its jobs end before the rest of the view goes.
    QThreadPool m_pool;
};
