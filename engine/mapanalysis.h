#pragma once

#include "datacheck.h"
#include "generatedmap.h"
#include "transitionindex.h"

#include <QString>

#include <memory>
#include <optional>

// What a front end learns about a pass once it has ended: the data check of
// its inputs and, when it wrote a map, the transition index that tells which
// definition made each cell. Takes long on large data, so it runs apart
// from the pass.
struct MapAnalysis
{
    std::shared_ptr<const GeneratedMap> map;
    // Built from the map's tables; absent without a map.
    std::optional<TransitionIndex> transitions;
    DataCheckReport report;
};

// images holds what the pass read of the two paths, if anything; with a
// map, the map's images and tables serve instead.
std::shared_ptr<const MapAnalysis> analyseMap(std::shared_ptr<const GeneratedMap> map,
                                              const QString &dataDirectory,
                                              const QString &terrainPath,
                                              const QString &altitudePath,
                                              const DataCheckShortcuts &images);
