#pragma once

#include "engine/mapoverlay.h"

#include <QWidget>

#include <memory>
#include <optional>

class GeneratedMap;
class MapView;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
struct MapAnalysis;

// The map's dock: the result of the last pass with a button to open its
// folder, the view with its zoom buttons and overlay switches, the cell
// under the pointer in a status line and a clicked cell pinned beside the
// view.
class MapPanel : public QWidget
{
    Q_OBJECT

public:
    explicit MapPanel(QWidget *parent = nullptr);

    MapView *view() const { return m_view; }
    // folder, when given, is what Open folder opens.
    void setResult(const QString &text, const QString &folder = {});
    void setMap(std::shared_ptr<const GeneratedMap> map);
    // The data check and transition index of the shown map, once known.
    void setAnalysis(std::shared_ptr<const MapAnalysis> analysis);
    bool isOverlayShown(MapOverlay overlay) const;
    void setOverlayShown(MapOverlay overlay, bool shown);

signals:
    void openFolderRequested(const QString &folder);

private:
    void showHovered(QPoint cell);
    void pin(QPoint cell);
    void showPinned();
    QString describe(QPoint cell, bool details) const;

    QLabel *m_result;
    QPushButton *m_openFolder;
    QString m_folder;
    MapView *m_view;
    QCheckBox *m_overlays[3];
    QLabel *m_cellLine;
    QPlainTextEdit *m_pinned;
    std::shared_ptr<const MapAnalysis> m_analysis;
    std::optional<QPoint> m_pinnedCell;
};
