#pragma once

#include "palettetable.h"
#include "staticset.h"
#include "transitioninfo.h"

#include <array>
#include <cstdint>

// Every table that the data directory loaders fill and the map generation
// pass reads. The owner (the window, the command-line tool, a test) keeps one
// instance for as long as the loaded data directory is in use.
struct MapTables
{
    TransitionHash TransitionTable;
    PaletteTable<std::uint16_t> TerrainTable;
    PaletteTable<bool> TerrainRandomTable;
    PaletteTable<std::int8_t> AltitudeTable;
    StaticSetHash StaticSetTable;
    QHash<QString, QString> TransitionFileTable;
    TransitionHash LeftTransitionTable;
    TransitionHash TopTransitionTable;
    TransitionHash CornerTransitionTable;

    // The table that definition files of the given kind fill.
    TransitionHash &transitionTable(TransitionKind kind);

    // Enters every entry of loaded, replacing entries of the same key: the
    // tables end as if loaded's files had been loaded into them.
    void insertAll(MapTables &&loaded);
};
