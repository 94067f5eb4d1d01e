#pragma once

#include <QStringList>

// mapgenerator-cli verify: checks that a map, index and statics file hold
// what their readers rely on. Returns the process exit code: 1 when the
// files have a problem.
int runVerifyCommand(const QStringList &arguments);
