#pragma once

#include <QString>

class ReadPoll;
struct MapTables;

// Reads terrain definitions (palette index -> land tile id and random
// altitude flag) into TerrainTable and TerrainRandomTable. A file that cannot
// be read or parsed, or whose read poll stops it, leaves both tables as they
// were.
void loadTerrainTable(MapTables &tables, const QString &path, ReadPoll *poll = nullptr);
