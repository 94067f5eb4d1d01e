#include "datacheck.h"

#include "bordercheck.h"
#include "data/datadirectorychecker.h"
#include "mapimagecheck.h"
#include "transitionindex.h"

#include <algorithm>
#include <thread>

namespace {

PaletteImage imageFor(const QString &path, const std::optional<PaletteImage> &given)
{
    if (path.isEmpty())
        return {};
    return given ? *given : PaletteImage::load(path);
}

} // namespace

DataCheckReport checkData(const QString &dataDirectory, const QString &terrainPath,
                          const QString &altitudePath, const DataCheckShortcuts &shortcuts)
{
    DataCheckReport report;
    // The images decode while the definition files are read.
    PaletteImage terrain, altitude;
    std::thread reader([&] {
        terrain = imageFor(terrainPath, shortcuts.terrain);
        altitude = imageFor(altitudePath, shortcuts.altitude);
    });
    report.problems = checkDataDirectory(dataDirectory, &report.definitions);
    reader.join();
    report.problems += checkMapImages(dataDirectory, terrainPath, terrain, altitudePath, altitude);
    // Only an image that a pass would take is scanned.
    if (!terrainPath.isEmpty() && !terrain.isNull() && terrain.depth() == 8) {
        BorderCheck borders = shortcuts.transitions
            ? checkBorders(*shortcuts.transitions,
                           TerrainNames::load(dataDirectory + QLatin1String("/system/terrain.xml")),
                           terrainPath, terrain)
            : checkBorders(dataDirectory, terrainPath, terrain);
        report.problems += borders.problems;
        report.coverage = std::move(borders.coverage);
        report.names = std::move(borders.names);
    }
    report.errors = std::count_if(report.problems.cbegin(), report.problems.cend(),
                                  [](const DataProblem &problem) {
                                      return problem.severity == DataProblem::Severity::Error;
                                  });
    report.warnings = report.problems.size() - report.errors;
    return report;
}
