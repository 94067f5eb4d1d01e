#include "mapview.h"

#include "engine/bordercoverage.h"
#include "engine/generatedmap.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Output pixels along a tile's side, at every level.
constexpr int tilePixels = 256;
// The quick look at the whole map is at most this many pixels across: each
// costs a few reads from memory the pass has long left, about 0.4 us.
constexpr int overviewPixels = 256;
constexpr double maxZoom = 32.0;
constexpr double zoomStep = 1.25;
// A press that moves less than this is a click, not a drag.
constexpr int clickSlop = 3;
// A level-1 tile of 256 x 256 pixels costs 256 KiB.
constexpr int cacheKiB = 160 * 1024;

// The level whose pixels are at least as many as the screen's: coarser
// levels would blur, finer ones cost more.
int levelFor(double zoom, bool roundUp)
{
    const double cellsPerPixel = std::max(1.0, 1.0 / zoom);
    const double exact = std::log2(cellsPerPixel);
    return int(roundUp ? std::ceil(exact - 1e-9) : std::floor(exact + 1e-9));
}

} // namespace

MapView::MapView(QWidget *parent) : QWidget(parent), m_tiles(cacheKiB)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 120);
    // Rendering tiles leaves a core for the window and the data check.
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount() - 1));
}

MapView::~MapView()
{
    m_pool.clear();
    m_pool.waitForDone();
}

quint64 MapView::tileKey(const Tile &tile)
{
    return quint64(tile.level) << 56 | quint64(tile.layer) << 48 | quint64(tile.column) << 24
        | quint64(tile.row);
}

void MapView::setMap(std::shared_ptr<const GeneratedMap> map)
{
    const bool sameSize = m_map && map && m_map->renderer().width() == map->renderer().width()
        && m_map->renderer().height() == map->renderer().height();
    dropQueuedTiles();
    m_map = std::move(map);
    m_coverage.reset();
    m_tiles.clear();
    m_pinned.reset();
    m_overview = QImage();
    if (m_map) {
        const int longest = std::max(m_map->renderer().width(), m_map->renderer().height());
        m_overviewScale = 1;
        while (longest / m_overviewScale > overviewPixels)
            m_overviewScale *= 2;
        m_overview = m_map->renderer().sample(m_overviewScale);
    }
    if (!sameSize || m_fitted)
        fit();
    update();
}

void MapView::setCoverage(std::shared_ptr<const BorderCoverage> coverage)
{
    m_coverage = std::move(coverage);
    const int layer = 1 + int(MapOverlay::UnmatchedBorders);
    for (const quint64 key : m_tiles.keys()) {
        if (int(key >> 48 & 0xff) == layer)
            m_tiles.remove(key);
    }
    update();
}

void MapView::setOverlay(MapOverlay overlay, bool shown)
{
    m_overlays[int(overlay)] = shown;
    update();
}

void MapView::setPinnedCell(std::optional<QPoint> cell)
{
    m_pinned = cell;
    update();
}

void MapView::setTilesPaused(bool paused)
{
    m_paused = paused;
    if (paused)
        dropQueuedTiles();
    else
        update();
}

void MapView::dropQueuedTiles()
{
    m_pool.clear();
    // Jobs already running finish; the ones cleared must be asked again.
    m_pending.clear();
}

void MapView::zoomIn()
{
    zoomAround(QPointF(width() / 2.0, height() / 2.0), zoomStep);
}

void MapView::zoomOut()
{
    zoomAround(QPointF(width() / 2.0, height() / 2.0), 1.0 / zoomStep);
}

void MapView::fit()
{
    m_fitted = true;
    if (!m_map || width() <= 0 || height() <= 0)
        return;
    const double mapWidth = m_map->renderer().width();
    const double mapHeight = m_map->renderer().height();
    m_zoom = std::min(width() / mapWidth, height() / mapHeight);
    m_origin =
        QPointF(mapWidth / 2 - width() / (2 * m_zoom), mapHeight / 2 - height() / (2 * m_zoom));
    update();
}

void MapView::setZoom(double zoom)
{
    if (!m_map)
        return;
    const double fitted = std::min(double(width()) / m_map->renderer().width(),
                                   double(height()) / m_map->renderer().height());
    m_zoom = std::clamp(zoom, std::min(fitted / 2, maxZoom), maxZoom);
}

void MapView::zoomAround(QPointF widgetPoint, double factor)
{
    if (!m_map)
        return;
    const QPointF cell = toCell(widgetPoint);
    setZoom(m_zoom * factor);
    m_origin = cell - widgetPoint / m_zoom;
    m_fitted = false;
    update();
}

QPointF MapView::toWidget(QPointF cell) const
{
    return (cell - m_origin) * m_zoom;
}

QPointF MapView::toCell(QPointF widgetPoint) const
{
    return widgetPoint / m_zoom + m_origin;
}

std::optional<QPoint> MapView::cellAt(QPointF widgetPoint) const
{
    if (!m_map)
        return std::nullopt;
    const QPointF cell = toCell(widgetPoint);
    const QPoint at(int(std::floor(cell.x())), int(std::floor(cell.y())));
    if (!m_map->contains(at.x(), at.y()))
        return std::nullopt;
    return at;
}

QRect MapView::tileCells(const Tile &tile) const
{
    const int side = tilePixels << tile.level;
    return QRect(tile.column * side, tile.row * side, side, side)
        & QRect(0, 0, m_map->renderer().width(), m_map->renderer().height());
}

void MapView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Dark));
    if (!m_map) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("The map shows here after Generate (Ctrl+G)."));
        return;
    }
    const QRectF visible =
        QRectF(toCell(QPointF(0, 0)), toCell(QPointF(width(), height())))
            .intersected(QRectF(0, 0, m_map->renderer().width(), m_map->renderer().height()));
    if (visible.isEmpty())
        return;
    m_mapLevel = levelFor(m_zoom, false);
    // Overlays a level coarser, so that no marked cell falls between pixels.
    m_overlayLevel = levelFor(m_zoom, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_zoom < 1.0);
    drawLayer(painter, m_mapLevel, 0, visible);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (int overlay = 0; overlay < 3; ++overlay) {
        if (m_overlays[overlay])
            drawLayer(painter, m_overlayLevel, 1 + overlay, visible);
    }

    const auto outline = [&](QPoint cell, const QColor &colour) {
        const QRectF box(toWidget(cell), toWidget(cell + QPoint(1, 1)));
        painter.setPen(QPen(colour, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(-1, -1, 0, 0));
    };
    if (m_hovered && m_zoom >= 4.0)
        outline(*m_hovered, Qt::white);
    if (m_pinned)
        outline(*m_pinned, Qt::red);
}

void MapView::drawLayer(QPainter &painter, int level, int layer, const QRectF &visible)
{
    const int side = tilePixels << level;
    const int firstColumn = int(visible.left()) / side;
    const int lastColumn = int(std::ceil(visible.right())) / side;
    const int firstRow = int(visible.top()) / side;
    const int lastRow = int(std::ceil(visible.bottom())) / side;
    for (int column = firstColumn; column <= lastColumn; ++column) {
        for (int row = firstRow; row <= lastRow; ++row) {
            const Tile tile {level, column, row, layer};
            const QRect cells = tileCells(tile);
            if (cells.isEmpty())
                continue;
            // Whole pixels, so that neighbouring tiles meet without a seam.
            const auto pixel = [this](QPoint cell) {
                const QPointF at = toWidget(cell);
                return QPointF(std::round(at.x()), std::round(at.y()));
            };
            const QRectF target(pixel(cells.topLeft()),
                                pixel(cells.topLeft() + QPoint(cells.width(), cells.height())));
            if (const QImage *image = m_tiles.object(tileKey(tile))) {
                painter.drawImage(target, *image);
                continue;
            }
            request(tile);
            if (layer == 0 && !drawStandIn(painter, tile, target)) {
                const double scale = m_overviewScale;
                painter.drawImage(target, m_overview,
                                  QRectF(cells.left() / scale, cells.top() / scale,
                                         cells.width() / scale, cells.height() / scale));
            }
        }
    }
}

// A coarser tile of the map that holds this one, if one is at hand.
bool MapView::drawStandIn(QPainter &painter, const Tile &tile, const QRectF &target)
{
    const QRect cells = tileCells(tile);
    for (int level = tile.level + 1; (1 << level) < m_overviewScale; ++level) {
        const int side = tilePixels << level;
        const Tile coarser {level, cells.left() / side, cells.top() / side, 0};
        const QImage *image = m_tiles.object(tileKey(coarser));
        if (!image)
            continue;
        const QRect covered = tileCells(coarser);
        const double scale = 1 << level;
        painter.drawImage(target, *image,
                          QRectF((cells.left() - covered.left()) / scale,
                                 (cells.top() - covered.top()) / scale, cells.width() / scale,
                                 cells.height() / scale));
        return true;
    }
    return false;
}

void MapView::request(const Tile &tile)
{
    const quint64 key = tileKey(tile);
    if (m_paused || m_pending.contains(key))
        return;
    m_pending.insert(key);
    const QRect cells = tileCells(tile);
    m_pool.start([this, map = m_map, coverage = m_coverage, tile, key, cells] {
        // A tile of a level the view has left is not wanted any more.
        const int wanted = tile.layer == 0 ? m_mapLevel : m_overlayLevel;
        QImage image;
        if (tile.level == wanted) {
            const int scale = 1 << tile.level;
            image = tile.layer == 0
                ? map->renderer().render(cells, scale)
                : drawOverlay(*map, MapOverlay(tile.layer - 1), cells, scale, coverage.get());
        }
        QMetaObject::invokeMethod(
            this, [this, map, coverage, key, image] { tileReady(map, coverage, key, image); },
            Qt::QueuedConnection);
    });
}

void MapView::tileReady(const std::shared_ptr<const GeneratedMap> &map,
                        const std::shared_ptr<const BorderCoverage> &coverage, quint64 key,
                        const QImage &image)
{
    if (map != m_map)
        return;
    m_pending.remove(key);
    const bool staleCoverage =
        int(key >> 48 & 0xff) == 1 + int(MapOverlay::UnmatchedBorders) && coverage != m_coverage;
    if (image.isNull() || staleCoverage)
        return;
    m_tiles.insert(key, new QImage(image), int(image.sizeInBytes() / 1024) + 1);
    update();
}

void MapView::resizeEvent(QResizeEvent *)
{
    if (m_fitted)
        fit();
}

void MapView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        zoomAround(event->position(), std::pow(zoomStep, steps));
    event->accept();
}

void MapView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressedAt = event->position().toPoint();
    m_lastDragPoint = event->position();
    m_dragging = false;
}

void MapView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressedAt && (event->buttons() & Qt::LeftButton)) {
        if ((event->position().toPoint() - *m_pressedAt).manhattanLength() > clickSlop)
            m_dragging = true;
        if (m_dragging) {
            m_origin -= (event->position() - m_lastDragPoint) / m_zoom;
            m_lastDragPoint = event->position();
            m_fitted = false;
            update();
        }
    }
    hover(event->position());
}

void MapView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressedAt)
        return QWidget::mouseReleaseEvent(event);
    if (!m_dragging) {
        if (const auto cell = cellAt(event->position()))
            emit cellClicked(*cell);
    }
    m_pressedAt.reset();
    m_dragging = false;
}

void MapView::leaveEvent(QEvent *)
{
    if (m_hovered) {
        m_hovered.reset();
        emit cellHovered(QPoint(-1, -1));
        update();
    }
}

void MapView::hover(QPointF widgetPoint)
{
    const std::optional<QPoint> cell = cellAt(widgetPoint);
    if (cell == m_hovered)
        return;
    m_hovered = cell;
    emit cellHovered(cell.value_or(QPoint(-1, -1)));
    if (m_zoom >= 4.0)
        update();
}

void MapView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomIn();
        break;
    case Qt::Key_Minus:
        zoomOut();
        break;
    case Qt::Key_0:
        fit();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
