#include "mappanel.h"

#include "engine/cellinspection.h"
#include "engine/generatedmap.h"
#include "engine/mapanalysis.h"
#include "mapview.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>

MapPanel::MapPanel(QWidget *parent)
    : QWidget(parent),
      m_result(new QLabel(this)),
      m_openFolder(new QPushButton(tr("Open folder"), this)),
      m_view(new MapView(this)),
      m_cellLine(new QLabel(this)),
      m_pinned(new QPlainTextEdit(this))
{
    m_result->setObjectName(QStringLiteral("labelResult"));
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_openFolder->setObjectName(QStringLiteral("pushOpenFolder"));
    m_openFolder->hide();
    connect(m_openFolder, &QPushButton::clicked, this,
            [this] { emit openFolderRequested(m_folder); });
    auto *resultRow = new QHBoxLayout;
    resultRow->addWidget(m_result, 1);
    resultRow->addWidget(m_openFolder);

    auto *tools = new QHBoxLayout;
    const auto addTool = [&](const char *name, const QString &text, const QString &tip,
                             void (MapView::*slot)()) {
        auto *button = new QToolButton(this);
        button->setObjectName(QLatin1String(name));
        button->setText(text);
        button->setToolTip(tip);
        connect(button, &QToolButton::clicked, m_view, slot);
        tools->addWidget(button);
    };
    addTool("toolZoomIn", QStringLiteral("+"), tr("Zoom in (+ or the wheel)"), &MapView::zoomIn);
    addTool("toolZoomOut", QStringLiteral("\u2212"), tr("Zoom out (- or the wheel)"),
            &MapView::zoomOut);
    addTool("toolFit", tr("Fit"), tr("Show the whole map (0)"), &MapView::fit);
    tools->addSpacing(12);
    const std::pair<const char *, QString> overlays[3] = {
        {"checkStatics", tr("&Statics")},
        {"checkUnmatched", tr("&Unmatched borders")},
        {"checkMissing", tr("&Missing indexes")},
    };
    const QString tips[3] = {
        tr("Mark the cells that hold statics"),
        tr("Mark the cells whose 3 x 3 window holds more than one terrain and that no "
           "transition matched"),
        tr("Mark the cells whose terrain or altitude palette index the data directory lacks"),
    };
    for (int i = 0; i < 3; ++i) {
        m_overlays[i] = new QCheckBox(overlays[i].second, this);
        m_overlays[i]->setObjectName(QLatin1String(overlays[i].first));
        m_overlays[i]->setToolTip(tips[i]);
        connect(m_overlays[i], &QCheckBox::toggled, this,
                [this, i](bool shown) { m_view->setOverlay(MapOverlay(i), shown); });
        tools->addWidget(m_overlays[i]);
    }
    tools->addStretch(1);

    m_view->setObjectName(QStringLiteral("mapView"));
    m_pinned->setObjectName(QStringLiteral("textPinned"));
    m_pinned->setReadOnly(true);
    m_pinned->setPlaceholderText(tr("Click a cell to keep what made it here."));
    auto *splitter = new QSplitter(this);
    splitter->addWidget(m_view);
    splitter->addWidget(m_pinned);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({600, 240});
    m_cellLine->setObjectName(QStringLiteral("labelCell"));
    m_cellLine->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(resultRow);
    layout->addLayout(tools);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_cellLine);

    connect(m_view, &MapView::cellHovered, this, &MapPanel::showHovered);
    connect(m_view, &MapView::cellClicked, this, &MapPanel::pin);
}

void MapPanel::setResult(const QString &text, const QString &folder)
{
    m_result->setText(text);
    m_folder = folder;
    m_openFolder->setVisible(!folder.isEmpty());
}

void MapPanel::setMap(std::shared_ptr<const GeneratedMap> map)
{
    m_analysis.reset();
    m_cellLine->clear();
    // A cell pinned on the last pass of the same world is what the designer
    // wants to see again.
    if (m_pinnedCell && !(map && map->contains(m_pinnedCell->x(), m_pinnedCell->y()))) {
        m_pinnedCell.reset();
        m_pinned->clear();
    }
    m_view->setMap(std::move(map));
    m_view->setPinnedCell(m_pinnedCell);
    showPinned();
}

void MapPanel::setAnalysis(std::shared_ptr<const MapAnalysis> analysis)
{
    if (!analysis || analysis->map != m_view->map())
        return;
    m_analysis = std::move(analysis);
    if (m_analysis->report.coverage)
        m_view->setCoverage(
            std::shared_ptr<const BorderCoverage>(m_analysis, &*m_analysis->report.coverage));
    showPinned();
}

bool MapPanel::isOverlayShown(MapOverlay overlay) const
{
    return m_overlays[int(overlay)]->isChecked();
}

void MapPanel::setOverlayShown(MapOverlay overlay, bool shown)
{
    m_overlays[int(overlay)]->setChecked(shown);
}

QString MapPanel::describe(QPoint cell, bool details) const
{
    const GeneratedMap &map = *m_view->map();
    const bool analysed = m_analysis && m_analysis->transitions;
    const CellInspection inspection =
        inspectCell(map, cell, analysed ? &*m_analysis->transitions : nullptr,
                    analysed ? &m_analysis->report.definitions : nullptr);
    static const TerrainNames noNames;
    const TerrainNames &names = m_analysis ? m_analysis->report.names : noNames;
    return details ? cellDetails(inspection, names).join(QLatin1Char('\n'))
                   : cellSummary(inspection, names);
}

void MapPanel::showHovered(QPoint cell)
{
    m_cellLine->setText(cell.x() < 0 ? QString() : describe(cell, false));
}

void MapPanel::pin(QPoint cell)
{
    m_pinnedCell = cell;
    m_view->setPinnedCell(cell);
    showPinned();
}

void MapPanel::showPinned()
{
    if (m_pinnedCell)
        m_pinned->setPlainText(describe(*m_pinnedCell, true));
}
