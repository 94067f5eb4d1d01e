#pragma once

#include "data/definitionlocations.h"
#include "data/transitioninfo.h"
#include "maprenderer.h"
#include "packedkey.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class GeneratedMap;
class TerrainNames;
class TransitionIndex;

// What a generated map holds for one cell and where it came from: read
// from the files the pass wrote, the images it read and the tables as
// loaded, without running the pass again.
struct CellInspection
{
    QPoint cell;
    int blockNumber = 0;
    WrittenCell written;
    // In file order.
    QList<WrittenStatic> statics;
    std::uint8_t terrainIndex = 0;
    std::uint8_t altitudeIndex = 0;
    bool terrainDefined = true;
    bool altitudeDefined = true;
    // The cell's own 3 x 3 window, as the general table is asked.
    PackedKey key;

    // Whether the transition was looked up; it needs the transition index.
    bool transitionKnown = false;
    // The first table that held its key for the cell, as the pass asks
    // them; none when the cell keeps its terrain's own tile.
    std::optional<TransitionKind> table;
    PackedKey tableKey;
    bool listsMapTiles = false;
    // Where the definition stands, once the data check located it.
    std::optional<DefinitionLocation> definition;
};

// The cell must lie on the map (GeneratedMap::contains). Without index the
// transition stays unknown; without locations its definition's place does.
CellInspection inspectCell(const GeneratedMap &map, QPoint cell, const TransitionIndex *index,
                           const DefinitionLocations *locations);

// One line for a status line.
QString cellSummary(const CellInspection &inspection, const TerrainNames &names);
// Everything, a line for each fact and one for each static.
QStringList cellDetails(const CellInspection &inspection, const TerrainNames &names);
