#pragma once

#include <QString>

#include <functional>

struct MapTables;

// Receives each problem that the static-set loader finds in a set file (a
// tile id that looked hexadecimal), as one message text.
using StaticSetMessageHandler = std::function<void(const QString &message)>;

// Loads every definition file of a data directory into the tables, in the
// fixed order that the output depends on (a later definition replaces an
// earlier one). Paths are the directory text followed by fixed relative
// paths, as the user typed it.
void loadDataDirectory(MapTables &tables, const QString &dataDirectory,
                       const StaticSetMessageHandler &onStaticSetMessage = {});
