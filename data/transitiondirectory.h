#pragma once

#include "datadirectory.h"

#include <QList>
#include <QString>

class ReadPoll;
struct MapTables;

// The three rough-edge files of the data directory
// (system/roughedge/lefttrans.xml, toptrans.xml and cornertrans.xml) with
// the left, top and corner kinds, in that order.
QList<DataDirectoryEntry> roughEdgeEntries(const QString &dataDirectory);
void loadRoughEdgeTransitions(MapTables &tables, const QString &dataDirectory);

// Loads, as general transitions, the *.xml files of every subdirectory of
// directory (a path ending with "/"), depth first, each directory's files
// before those of its subdirectories, siblings in name order ignoring case.
// Files directly in directory are not loaded. A directory is entered once
// only, so a symbolic link back to an ancestor cannot make the scan loop,
// and a directory that resolves to the data directory (directory's parent)
// or one above it is not entered at all.
void scanTransitionDirectory(MapTables &tables, const QString &directory);

// What scanTransitionDirectory meets, in its order: the files it loads,
// the directories it skips as links above the data directory, and those it
// cannot list. Asks poll, when given, once per directory and stops when it
// says so.
QList<DataDirectoryEntry> scanTransitionEntries(const QString &directory, ReadPoll *poll = nullptr);
