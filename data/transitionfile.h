#pragma once

#include "transitioninfo.h"

#include <QString>

class ReadPoll;
struct MapTables;

// Reads the transition definitions of one file into the table of the given
// kind; for General also the static-set names into TransitionFileTable. A
// definition replaces an earlier one with the same key whole. A file that
// cannot be read or parsed leaves every table as it was. A read poll that
// stops the load may leave part of the file entered, for a caller that
// then drops the tables.
void loadTransitionFile(MapTables &tables, const QString &path, TransitionKind kind,
                        ReadPoll *poll = nullptr);
