#pragma once

#include "bordercoverage.h"
#include "data/dataproblem.h"
#include "data/definitionlocations.h"
#include "data/terrainnames.h"
#include "paletteimage.h"

#include <QList>
#include <QString>

#include <optional>

class TransitionIndex;

// What a front end that has just run a pass already holds, so that the
// check need not read it again.
struct DataCheckShortcuts
{
    // The images as the pass read them from the paths (null when it could
    // not, with the reason); absent ones are read by the check.
    std::optional<PaletteImage> terrain;
    std::optional<PaletteImage> altitude;
    // The transitions of the tables as loaded.
    const TransitionIndex *transitions = nullptr;
};

// Everything check-data reports on a data directory and, when their paths
// are given, the terrain and altitude images.
struct DataCheckReport
{
    // The data directory's problems, the images', then one unmatched border
    // warning per pattern of the terrain image.
    QList<DataProblem> problems;
    qsizetype errors = 0;
    qsizetype warnings = 0;
    // With a terrain image that could be scanned.
    std::optional<BorderCoverage> coverage;
    TerrainNames names;
    // Where each transition key's kept definition stands.
    DefinitionLocations definitions;
};

// Reads every image once, for all the checks that look at it.
DataCheckReport checkData(const QString &dataDirectory, const QString &terrainPath,
                          const QString &altitudePath, const DataCheckShortcuts &shortcuts = {});
