#pragma once

#include <QStringList>

// mapgenerator-cli expand-edges: writes the transitions files of an
// edge-set file. Returns the process exit code.
int runExpandEdgesCommand(const QStringList &arguments);
