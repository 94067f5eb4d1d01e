#pragma once

#include <QStringList>

// mapgenerator-cli generate: loads a data directory, runs one pass and
// prints a summary. Returns the process exit code.
int runGenerateCommand(const QStringList &arguments);
