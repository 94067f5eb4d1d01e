#pragma once

#include "bordercoverage.h"
#include "data/dataproblem.h"
#include "data/terrainnames.h"

#include <QList>
#include <QString>

#include <optional>

class PaletteImage;
class TransitionIndex;

// The border coverage of a terrain image under a data directory, as
// check-data reports it.
struct BorderCheck
{
    // Absent when the image cannot be read or is not one the pass takes
    // (checkMapImages says why).
    std::optional<BorderCoverage> coverage;
    TerrainNames names;
    // One unmatched-border warning per pattern, in the coverage's order.
    QList<DataProblem> problems;
};

// Loads the data directory as the generator does and scans the image read
// from terrainPath.
BorderCheck checkBorders(const QString &dataDirectory, const QString &terrainPath,
                         const PaletteImage &terrain);

// Scans the image read from terrainPath with the transitions of a data
// directory as loaded.
BorderCheck checkBorders(const TransitionIndex &transitions, const TerrainNames &names,
                         const QString &terrainPath, const PaletteImage &terrain);
