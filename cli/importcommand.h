#pragma once

#include <QStringList>

// mapgenerator-cli import: maps the land of map files back to a terrain and
// an altitude image that generate it again. Returns the process exit code.
int runImportCommand(const QStringList &arguments);
