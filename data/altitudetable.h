#pragma once

#include <QString>

struct MapTables;

// Reads altitude definitions (palette index -> signed 8-bit altitude) into
// AltitudeTable. A file that cannot be read or parsed leaves it as it was.
void loadAltitudeTable(MapTables &tables, const QString &path);
