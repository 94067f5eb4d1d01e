#include "importcommand.h"

#include "commandparser.h"
#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/mapfiles.h"
#include "engine/mapimport.h"
#include "engine/paletteimage.h"
#include "engine/roundtripestimate.h"
#include "mapchoice.h"
#include "previewwriter.h"
#include "problemprinter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cmath>
#include <thread>

namespace {

double share(qint64 part, qint64 whole)
{
    return whole > 0 ? double(part) / double(whole) : 0.0;
}

// Nanoseconds spent in each step.
struct Timings
{
    qint64 loadData = 0;
    qint64 mapBack = 0;
    qint64 writeImages = 0;
    qint64 roundTrip = 0;
};

void printReport(QTextStream &err, const MapImport &import, int mapNumber, const QStringList &paths,
                 const RoundTripEstimate &estimate, const Timings &timings)
{
    err << "Map " << mapNumber << ": " << import.blocksWide << " x " << import.blocksHigh
        << " blocks, " << import.cells << " cells, " << import.statics
        << " statics (the images do not carry them)\n";
    err << "Wrote " << QDir::toNativeSeparators(paths[0]) << " and "
        << QDir::toNativeSeparators(paths[1]) << ", " << import.terrain.width() << " x "
        << import.terrain.height() << " pixels\n";
    err << "Terrain: " << import.ownTileCells << " cells from their terrain's own tile, "
        << import.transitionCells << " from a transition tile, " << import.ambiguousCells
        << " by their neighbours (tiles of several terrains), " << import.unknownCells
        << " unknown\n";
    if (import.unknownCells > 0)
        err << import.unknownCells << " cells have tile ids no terrain explains; they take the "
            << "terrain most common around them\n";
    printUnexplainedTiles(import.unknownTiles, err);
    err << "Altitude: " << import.cells - import.nearestAltitudeCells
        << " cells explained by an altitude index, " << import.nearestAltitudeCells
        << " took the nearest one\n";
    const int generatedNumber = MapFiles::mapNumber(import.blocksHigh);
    if (generatedNumber != mapNumber)
        err << "Note: images " << import.terrain.height() << " pixels high generate map"
            << generatedNumber << ".mul, not map" << mapNumber << ".mul\n";
    if (estimate.errorText.isEmpty())
        err << "Round trip: " << estimate.reproduced << " of " << estimate.cells << " cells ("
            << QString::number(100.0 * share(estimate.reproduced, estimate.cells), 'f', 2)
            << " %) would be generated again with the same land tile and altitude; "
            << estimate.tileDiffers << " with another tile, " << estimate.altitudeDiffers
            << " at another altitude\n";
    err << "Time: load data " << seconds(timings.loadData) << ", map back "
        << seconds(timings.mapBack) << ", write images " << seconds(timings.writeImages)
        << ", round trip " << seconds(timings.roundTrip) << Qt::endl;
}

void printJson(QTextStream &out, const MapImport &import, int mapNumber, const QStringList &paths,
               const RoundTripEstimate &estimate)
{
    QJsonArray unknownTiles;
    for (const auto &tile : import.unknownTiles)
        unknownTiles.append(QJsonObject {{QStringLiteral("tileId"), tile.tileId},
                                         {QStringLiteral("cells"), tile.cells},
                                         {QStringLiteral("x"), tile.firstCell.x()},
                                         {QStringLiteral("y"), tile.firstCell.y()}});
    QJsonObject report {
        {QStringLiteral("map"), mapNumber},
        {QStringLiteral("blocksWide"), import.blocksWide},
        {QStringLiteral("blocksHigh"), import.blocksHigh},
        {QStringLiteral("cells"), import.cells},
        {QStringLiteral("statics"), import.statics},
        {QStringLiteral("terrainImage"), QDir::toNativeSeparators(paths[0])},
        {QStringLiteral("altitudeImage"), QDir::toNativeSeparators(paths[1])},
        {QStringLiteral("terrain"),
         QJsonObject {{QStringLiteral("ownTile"), import.ownTileCells},
                      {QStringLiteral("transition"), import.transitionCells},
                      {QStringLiteral("ambiguous"), import.ambiguousCells},
                      {QStringLiteral("unknown"), import.unknownCells}}},
        {QStringLiteral("unknownTiles"), unknownTiles},
        {QStringLiteral("altitude"),
         QJsonObject {{QStringLiteral("explained"), import.cells - import.nearestAltitudeCells},
                      {QStringLiteral("nearest"), import.nearestAltitudeCells}}},
    };
    if (estimate.errorText.isEmpty())
        report.insert(
            QStringLiteral("roundTrip"),
            QJsonObject {{QStringLiteral("reproduced"), estimate.reproduced},
                         {QStringLiteral("share"), share(estimate.reproduced, estimate.cells)},
                         {QStringLiteral("tileDiffers"), estimate.tileDiffers},
                         {QStringLiteral("altitudeDiffers"), estimate.altitudeDiffers}});
    out << QJsonDocument(report).toJson() << Qt::flush;
}

// Most maps are square, which the block count alone tells a designer.
QString heightUnknown(const QString &destination, int mapNumber)
{
    const QString path = MapFiles::path(destination, MapFiles::Kind::Map, mapNumber);
    const qint64 blocks = QFileInfo(path).size() / MapFiles::mapBlockSize;
    const auto side = qint64(std::llround(std::sqrt(double(blocks))));
    QString text = QStringLiteral("map %1 does not say its height; pass it in blocks with "
                                  "--blocks-high (the terrain image's height / 8)")
                       .arg(mapNumber);
    if (blocks > 0 && side * side == blocks)
        text += QStringLiteral(": map%1.mul holds %2 blocks, %3 high if the map is square")
                    .arg(mapNumber)
                    .arg(blocks)
                    .arg(side);
    return text;
}

} // namespace

int runImportCommand(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandParser parser(
        QStringLiteral("import"),
        QStringLiteral("Maps the land of map files back to a terrain and an altitude image that "
                       "generate it again, and estimates how much of it they reproduce."));
    const QCommandLineOption destOption(QStringLiteral("dest"),
                                        QStringLiteral("Directory that holds the map files."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption dataOption(
        QStringLiteral("data"),
        QStringLiteral("Data directory whose tables the tiles and altitudes map back through."),
        QStringLiteral("DIR"));
    const QCommandLineOption outOption(
        QStringLiteral("out"),
        QStringLiteral("Directory to write terrain.png and altitude.png into (created if "
                       "missing)."),
        QStringLiteral("DIR"));
    const QCommandLineOption paletteOption(
        QStringLiteral("palette-from"),
        QStringLiteral("Give the terrain image the colour table of IMAGE, such as the old terrain "
                       "image (default: the palette README.md describes)."),
        QStringLiteral("IMAGE"));
    const QCommandLineOption forceOption(
        QStringLiteral("force"), QStringLiteral("Replace terrain.png and altitude.png in --out."));
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("Print the report as one JSON object on standard output instead."));
    MapChoice mapChoice;
    parser.addOptions({destOption, dataOption, outOption, paletteOption, forceOption, jsonOption});
    parser.addOptions(mapChoice.options());
    if (const auto done = parser.parseArguments(arguments, {destOption, dataOption, outOption}))
        return *done;
    const QString destination = parser.value(destOption);
    if (const auto exitCode = mapChoice.read(parser, destination, err))
        return *exitCode;
    const int mapNumber = mapChoice.mapNumber();
    if (mapChoice.blocksHigh() == 0 && MapFiles::blocksHigh(mapNumber) == 0)
        return parser.usage(heightUnknown(destination, mapNumber));
    const QString dataDirectory = parser.value(dataOption);
    if (!dataDirectoryExists(dataDirectory))
        return failure;

    // Refused before anything is read, so a designer's images are never at
    // risk.
    const QString outDirectory = parser.value(outOption);
    const QStringList paths = importedImagePaths(outDirectory);
    const QStringList existing = existingFiles({{paths[0], {}}, {paths[1], {}}});
    if (!existing.isEmpty() && !parser.isSet(forceOption)) {
        err << "error: " << existing.join(QLatin1String(" and "))
            << (existing.size() > 1 ? " exist; nothing written. Pass --force to replace them"
                                    : " exists; nothing written. Pass --force to replace it")
            << " with the imported images" << Qt::endl;
        return failure;
    }
    Timings timings;
    QElapsedTimer timer;
    timer.start();
    // The palette image decodes on the second core while the data loads.
    PaletteImage paletteSource;
    std::thread paletteReader([&] {
        if (parser.isSet(paletteOption))
            paletteSource = PaletteImage::load(parser.value(paletteOption));
    });
    MapTables tables;
    loadDataDirectory(tables, dataDirectory);
    paletteReader.join();
    timings.loadData = timer.nsecsElapsed();
    const QList<QRgb> colours = paletteSource.colourTable();
    if (parser.isSet(paletteOption) && colours.isEmpty()) {
        err << "error: " << QDir::toNativeSeparators(parser.value(paletteOption))
            << (paletteSource.isNull() ? " cannot be read (" + paletteSource.errorString() + ")"
                                       : QStringLiteral(" has no colour table"))
            << "; pass an 8-bit palette image with --palette-from" << Qt::endl;
        return failure;
    }
    const MapImport import =
        importMap(destination, mapNumber, mapChoice.blocksHigh(), tables, colours);
    timings.mapBack = timer.nsecsElapsed() - timings.loadData;
    if (import.terrain.isNull()) {
        err << "error: " << import.errorText << "; nothing was written" << Qt::endl;
        return failure;
    }
    // The estimate's pass reads the images from memory, so it runs while
    // they are encoded and written; both times count from here.
    const qint64 mappedBack = timer.nsecsElapsed();
    RoundTripEstimate estimate;
    std::thread estimator([&] {
        estimate =
            estimateRoundTrip(destination, mapNumber, tables, import.terrain, import.altitude);
        timings.roundTrip = timer.nsecsElapsed() - mappedBack;
    });
    QString errorText;
    const QList<DesignerFile> images = importedImageFiles(import, outDirectory, &errorText);
    const bool written = !images.isEmpty() && writeDesignerFiles(images, &errorText);
    timings.writeImages = timer.nsecsElapsed() - mappedBack;
    estimator.join();
    if (!written) {
        err << "error: " << errorText << Qt::endl;
        return failure;
    }
    if (parser.isSet(jsonOption))
        printJson(out, import, mapNumber, paths, estimate);
    else
        printReport(err, import, mapNumber, paths, estimate, timings);
    if (!estimate.errorText.isEmpty()) {
        err << "error: no round trip estimate: " << estimate.errorText << Qt::endl;
        return failure;
    }
    return success;
}
