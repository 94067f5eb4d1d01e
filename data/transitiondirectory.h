#pragma once

#include <QString>
#include <QStringList>

struct MapTables;

// Loads system/roughedge/lefttrans.xml, toptrans.xml and cornertrans.xml of
// the data directory into the left, top and corner tables.
void loadRoughEdgeTransitions(MapTables &tables, const QString &dataDirectory);

// Loads, as general transitions, the *.xml files of every subdirectory of
// directory (a path ending with "/"), depth first, each directory's files
// before those of its subdirectories, siblings in name order ignoring case.
// Files directly in directory are not loaded. A directory is entered once
// only, so a symbolic link back to an ancestor cannot make the scan loop.
void scanTransitionDirectory(MapTables &tables, const QString &directory);

// The paths that scanTransitionDirectory loads, in its order.
QStringList transitionDefinitionFiles(const QString &directory);
