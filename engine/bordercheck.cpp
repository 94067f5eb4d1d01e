#include "bordercheck.h"

#include "data/datadirectory.h"
#include "data/maptables.h"
#include "mapfiles.h"
#include "paletteimage.h"
#include "transitionindex.h"

#include <QDir>

BorderCheck checkBorders(const QString &dataDirectory, const QString &terrainPath,
                         const PaletteImage &terrain)
{
    if (terrain.isNull() || terrain.depth() != 8)
        return {};
    MapTables tables;
    loadDataDirectory(tables, dataDirectory);
    return checkBorders(TransitionIndex(tables),
                        TerrainNames::load(dataDirectory + QLatin1String("/system/terrain.xml")),
                        terrainPath, terrain);
}

BorderCheck checkBorders(const TransitionIndex &transitions, const TerrainNames &names,
                         const QString &terrainPath, const PaletteImage &terrain)
{
    BorderCheck check;
    if (terrain.isNull() || terrain.depth() != 8)
        return check;
    check.coverage.emplace(transitions, terrain);
    check.names = names;

    const QString file = QDir::toNativeSeparators(QDir::cleanPath(terrainPath));
    for (const BorderPattern &pattern : check.coverage->patterns()) {
        DataProblem problem;
        problem.severity = DataProblem::Severity::Warning;
        problem.code = QStringLiteral("unmatched-border");
        problem.file = file;
        problem.message =
            QStringLiteral("no transition for the border pattern %1 of %2: %3 %4, first at "
                           "(%5, %6), keep their terrain's own tile")
                .arg(pattern.key.toText(), check.names.list(pattern.terrains))
                .arg(pattern.cells)
                .arg(pattern.cells == 1 ? QStringLiteral("cell") : QStringLiteral("cells"))
                .arg(pattern.firstCell.x())
                .arg(pattern.firstCell.y());
        for (const QString &row : check.names.drawWindow(pattern.key))
            problem.message += QLatin1Char('\n') + row;
        check.problems.append(problem);
    }
    return check;
}
