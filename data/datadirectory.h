#pragma once

#include <QString>

struct MapTables;

// Loads every definition file of a data directory into the tables, in the
// fixed order that the output depends on (a later definition replaces an
// earlier one). Paths are the directory text followed by fixed relative
// paths, as the user typed it.
void loadDataDirectory(MapTables &tables, const QString &dataDirectory);
