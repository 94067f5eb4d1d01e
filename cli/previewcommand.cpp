#include "previewcommand.h"

#include "commandparser.h"
#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/bordercoverage.h"
#include "engine/mapfiles.h"
#include "engine/mappreview.h"
#include "engine/paletteimage.h"
#include "engine/tileterrains.h"
#include "engine/transitionindex.h"
#include "mapchoice.h"
#include "previewwriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace {

} // namespace

int runPreviewCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandParser parser(
        QStringLiteral("preview"),
        QStringLiteral("Draws the map files of a destination directory as a PNG: each cell in "
                       "the terrain image's colour of its terrain, hill-shaded, statics darker, "
                       "tile ids that no terrain explains in magenta."));
    const QCommandLineOption destOption(QStringLiteral("dest"),
                                        QStringLiteral("Directory that holds the map files."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption dataOption(
        QStringLiteral("data"),
        QStringLiteral("Data directory the map was generated with (tiles to terrains)."),
        QStringLiteral("DIR"));
    const QCommandLineOption terrainOption(
        QStringLiteral("terrain"),
        QStringLiteral("Terrain image the map was generated from (its palette gives the colours "
                       "and its height the map's, unless --blocks-high says otherwise)."),
        QStringLiteral("FILE"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("PNG file to write."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption scaleOption(
        QStringLiteral("scale"), QStringLiteral("Draw N x N cells as one pixel (default 1)."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption unmatchedOption(
        QStringLiteral("unmatched"),
        QStringLiteral("Mark the cells whose 3 x 3 window holds more than one terrain and that "
                       "no transition matched, in a colour no terrain uses."));
    MapChoice mapChoice;
    parser.addOptions(
        {destOption, dataOption, terrainOption, outOption, scaleOption, unmatchedOption});
    parser.addOptions(mapChoice.options());
    if (const auto done =
            parser.parseArguments(arguments, {destOption, dataOption, terrainOption, outOption}))
        return *done;
    bool scaleOk = false;
    const int scale = parser.value(scaleOption).toInt(&scaleOk);
    if (!scaleOk || scale < 1)
        return parser.usage(QStringLiteral("--scale takes a whole number of 1 or more, not '%1'")
                                .arg(parser.value(scaleOption)));
    const QString destination = parser.value(destOption);
    if (const auto exitCode = mapChoice.read(parser, destination, err))
        return *exitCode;

    const QString dataDirectory = parser.value(dataOption);
    if (!dataDirectoryExists(dataDirectory))
        return failure;
    const PaletteImage terrainImage = PaletteImage::load(parser.value(terrainOption));
    if (terrainImage.isNull()) {
        err << "error: terrain image " << QDir::toNativeSeparators(parser.value(terrainOption))
            << " cannot be read (" << terrainImage.errorString()
            << "); pass the image the map was generated from with --terrain" << Qt::endl;
        return failure;
    }
    // The generator sized the map from the terrain image.
    const int blocksHigh = mapChoice.blocksHigh() > 0
        ? mapChoice.blocksHigh()
        : terrainImage.height() / MapFiles::cellsPerBlockSide;

    const QString path = parser.value(outOption);
    QSaveFile file(path);
    if (!openPreview(file, err))
        return failure;

    MapTables tables;
    loadDataDirectory(tables, dataDirectory);
    MapPreview preview = renderMapPreview(destination, mapChoice.mapNumber(), blocksHigh,
                                          TileTerrains(tables), terrainImage.palette(), scale);
    qint64 unmatchedCells = 0;
    const QRgb markColour = MapPreview::markColour(terrainImage.palette());
    if (parser.isSet(unmatchedOption) && !preview.image.isNull()) {
        if (terrainImage.depth() != 8) {
            err << "error: terrain image " << QDir::toNativeSeparators(parser.value(terrainOption))
                << " is not an 8-bit image, so its borders cannot be matched" << Qt::endl;
            return failure;
        }
        const BorderCoverage coverage(TransitionIndex(tables), terrainImage);
        unmatchedCells =
            markUnmatchedCells(preview.image, coverage,
                               QRect(0, 0, coverage.blocksWide() * MapFiles::cellsPerBlockSide,
                                     coverage.blocksHigh() * MapFiles::cellsPerBlockSide),
                               scale, markColour);
    }
    if (!savePreview(preview, file, err))
        return failure;
    printPreviewSummary(preview, path, scale, out);
    if (parser.isSet(unmatchedOption))
        out << unmatchedCells << " unmatched border cells in #"
            << QStringLiteral("%1").arg(markColour & 0xffffff, 6, 16, QLatin1Char('0'))
            << ": their 3 x 3 window holds more than one terrain and no transition matched"
            << Qt::endl;
    return success;
}
