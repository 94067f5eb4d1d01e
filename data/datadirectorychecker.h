#pragma once

#include "dataproblem.h"
#include "definitionlocations.h"

#include <QList>
#include <QString>

// Reads every file of a data directory in the order and with the rules of
// loadDataDirectory, and reports what the loaders take silently: files that
// cannot be read or parsed, keys that never match, static sets that do not
// exist, numbers that do not convert or lose bits, definitions that a later
// one replaces. Problems come file by file in load order, then by line.
// winners, when given, receives where each transition key's kept
// definition stands.
QList<DataProblem> checkDataDirectory(const QString &dataDirectory,
                                      DefinitionLocations *winners = nullptr);
