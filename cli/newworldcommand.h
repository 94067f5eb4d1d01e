#pragma once

#include <QStringList>

// mapgenerator-cli new-world: writes a starter world to paint over.
// Returns the process exit code.
int runNewWorldCommand(const QStringList &arguments);
