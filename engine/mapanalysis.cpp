#include "mapanalysis.h"

std::shared_ptr<const MapAnalysis> analyseMap(std::shared_ptr<const GeneratedMap> map,
                                              const QString &dataDirectory,
                                              const QString &terrainPath,
                                              const QString &altitudePath,
                                              const DataCheckShortcuts &images)
{
    auto analysis = std::make_shared<MapAnalysis>();
    DataCheckShortcuts shortcuts = images;
    if (map) {
        // One index serves the border scan and the cell inspector.
        analysis->transitions.emplace(map->tables());
        shortcuts.transitions = &*analysis->transitions;
        shortcuts.terrain = map->terrain();
        shortcuts.altitude = map->altitude();
    }
    analysis->map = std::move(map);
    analysis->report = checkData(dataDirectory, terrainPath, altitudePath, shortcuts);
    return analysis;
}
