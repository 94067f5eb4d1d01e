#pragma once

#include "transitioninfo.h"

#include <QString>

class ReadPoll;
struct MapTables;

// Reads the transition definitions of one file into the table of the given
// kind; for General also the static-set names into TransitionFileTable. A
// definition replaces an earlier one with the same key whole. A file that
// cannot be read or parsed, or whose read poll stops it, leaves every table
// as it was.
void loadTransitionFile(MapTables &tables, const QString &path, TransitionKind kind,
                        ReadPoll *poll = nullptr);
