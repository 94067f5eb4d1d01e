#pragma once

#include <QStringList>

// mapgenerator-cli check-data: reports what the generator would take
// silently in a data directory and, given them, the two images. Returns the
// process exit code: 1 when it found an error.
int runCheckDataCommand(const QStringList &arguments);
