#pragma once

#include <QStringList>

// mapgenerator-cli preview: draws a generated map as a PNG, from its files.
// Returns the process exit code.
int runPreviewCommand(const QStringList &arguments);
