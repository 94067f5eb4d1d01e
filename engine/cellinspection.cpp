#include "cellinspection.h"

#include "data/terrainnames.h"
#include "generatedmap.h"
#include "keygrid.h"
#include "mapfiles.h"
#include "transitionfinder.h"
#include "transitionindex.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString terrainText(const CellInspection &inspection, const TerrainNames &names)
{
    QString text = QStringLiteral("terrain %1").arg(inspection.terrainIndex);
    if (names.label(inspection.terrainIndex) != QString::number(inspection.terrainIndex))
        text += QStringLiteral(" (%1)").arg(names.label(inspection.terrainIndex));
    if (!inspection.terrainDefined)
        text += QStringLiteral(", not in terrain.xml");
    text += QStringLiteral(", altitude %1").arg(inspection.altitudeIndex);
    if (!inspection.altitudeDefined)
        text += QStringLiteral(", not in altitude.xml");
    return text;
}

// Which definition made the tile; file is the definition's file as the
// caller wants it shown.
QString sourceText(const CellInspection &inspection, const std::function<QString(QString)> &file)
{
    if (!inspection.transitionKnown)
        return QStringLiteral("transition not looked up yet");
    if (!inspection.table)
        return QStringLiteral("no transition: the terrain's own tile");
    QString text = QStringLiteral("%1 %2").arg(transitionLabel(*inspection.table),
                                               inspection.tableKey.toText());
    if (inspection.definition)
        text += QStringLiteral(" at %1:%2")
                    .arg(file(inspection.definition->file))
                    .arg(inspection.definition->line);
    if (!inspection.listsMapTiles)
        text += QStringLiteral(", which lists no MapTile: the terrain's own tile");
    return text;
}

} // namespace

CellInspection inspectCell(const GeneratedMap &map, QPoint cell, const TransitionIndex *index,
                           const DefinitionLocations *locations)
{
    constexpr int side = MapFiles::cellsPerBlockSide;
    const int x = cell.x(), y = cell.y();
    CellInspection inspection;
    inspection.cell = cell;
    inspection.blockNumber = (x / side) * map.blocksHigh() + y / side;
    inspection.written = map.renderer().cell(x, y);
    inspection.statics = map.renderer().statics(x, y);
    inspection.terrainIndex = map.terrain().index(x, y);
    inspection.altitudeIndex = map.altitude().index(x, y);
    inspection.terrainDefined = map.terrainDefined(x, y);
    inspection.altitudeDefined = map.altitudeDefined(x, y);

    KeyGrid grid;
    fillKeyGrid(grid, x / side * side, y / side * side, map.blocksWide(), map.blocksHigh(),
                map.terrain());
    const int l = x % side, k = y % side;
    std::uint8_t n[4][4];
    grid.neighbourhood(l, k, n);
    inspection.key = windowKey(n, 1, 1);
    if (!index)
        return inspection;

    // The pass's own lookup tells which definition answered; the keys of
    // the four tables tell which table holds it.
    const std::uint32_t hit = TransitionFinder(*index, false).findCell(n).hit;
    inspection.transitionKnown = true;
    if (!hit)
        return inspection;
    const std::pair<TransitionKind, PackedKey> tables[] = {
        {TransitionKind::Corner, windowKey(n, 0, 0)},
        {TransitionKind::Left, windowKey(n, 1, 0)},
        {TransitionKind::Top, windowKey(n, 0, 1)},
        {TransitionKind::General, inspection.key},
    };
    const auto held = [index](TransitionKind kind, PackedKey key) -> std::uint32_t {
        switch (kind) {
        case TransitionKind::Corner:
            return index->corner(key);
        case TransitionKind::Left:
            return index->left(key);
        case TransitionKind::Top:
            return index->top(key);
        case TransitionKind::General:
            break;
        }
        return index->mainEntry(index->main(key)).transition;
    };
    for (const auto &[kind, key] : tables) {
        if (held(kind, key) != hit)
            continue;
        inspection.table = kind;
        inspection.tableKey = key;
        inspection.listsMapTiles = index->transition(hit).mapTileCount.divisor() > 0;
        if (locations)
            inspection.definition = locations->find(kind, key.toText());
        break;
    }
    return inspection;
}

QString cellSummary(const CellInspection &inspection, const TerrainNames &names)
{
    QString text = QStringLiteral("(%1, %2) block %3: tile %4, z %5; %6; key %7; %8")
                       .arg(inspection.cell.x())
                       .arg(inspection.cell.y())
                       .arg(inspection.blockNumber)
                       .arg(inspection.written.tileId)
                       .arg(inspection.written.z)
                       .arg(terrainText(inspection, names), inspection.key.toText(),
                            sourceText(inspection, [](const QString &file) {
                                return QFileInfo(file).fileName();
                            }));
    if (!inspection.statics.isEmpty())
        text += QStringLiteral("; %1 %2")
                    .arg(inspection.statics.size())
                    .arg(inspection.statics.size() == 1 ? QStringLiteral("static")
                                                        : QStringLiteral("statics"));
    return text;
}

QStringList cellDetails(const CellInspection &inspection, const TerrainNames &names)
{
    QStringList lines {
        QStringLiteral("Cell (%1, %2), block %3")
            .arg(inspection.cell.x())
            .arg(inspection.cell.y())
            .arg(inspection.blockNumber),
        QStringLiteral("Written: tile %1, z %2")
            .arg(inspection.written.tileId)
            .arg(inspection.written.z),
        QStringLiteral("Images: %1").arg(terrainText(inspection, names)),
        QStringLiteral("Key: %1").arg(inspection.key.toText()),
        QStringLiteral("Tile: %1")
            .arg(sourceText(inspection,
                            [](const QString &file) { return QDir::toNativeSeparators(file); })),
        QStringLiteral("Statics: %1").arg(inspection.statics.size()),
    };
    for (const WrittenStatic &item : inspection.statics)
        lines
            << QStringLiteral("  tile %1, z %2, hue %3").arg(item.tileId).arg(item.z).arg(item.hue);
    return lines;
}
