#pragma once

#include <QString>

class ReadPoll;
struct MapTables;

// Reads altitude definitions (palette index -> signed 8-bit altitude) into
// AltitudeTable. A file that cannot be read or parsed, or whose read poll
// stops it, leaves it as it was.
void loadAltitudeTable(MapTables &tables, const QString &path, ReadPoll *poll = nullptr);
