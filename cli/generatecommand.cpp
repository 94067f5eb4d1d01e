#include "generatecommand.h"

#include "commandparser.h"
#include "consoleobserver.h"
#include "data/datadirectory.h"
#include "data/datadirectoryfingerprint.h"
#include "data/maptables.h"
#include "data/structurestatics.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/mappreview.h"
#include "engine/passimages.h"
#include "engine/passoptions.h"
#include "engine/tileterrains.h"
#include "previewwriter.h"
#include "problemprinter.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace {

void printSummary(QTextStream &err, const PassSummary &summary, const PassOptions &options,
                  std::uint32_t seed, qint64 loadNs, qint64 elapsedNs)
{
    err << "Map " << summary.mapNumber << ": " << summary.blocksWide << " x " << summary.blocksHigh
        << " blocks, " << summary.cells << " cells, " << summary.staticsWritten
        << " statics written (seed " << seed << ")\n";
    if (options.structuresEnabled)
        err << "Structures: " << summary.structurePlacements << " placements read, "
            << summary.structureObjectsStamped << " objects stamped, "
            << summary.structureObjectsOffMap << " objects dropped off the map\n";
    for (const auto &missing : summary.missingTerrain)
        err << "Terrain index " << missing.index << " missing from terrain.xml: " << missing.cells
            << " cells, first at (" << missing.firstCell.x() << ", " << missing.firstCell.y()
            << ")\n";
    for (const auto &missing : summary.missingAltitude)
        err << "Altitude index " << missing.index << " missing from altitude.xml: " << missing.cells
            << " cells, first at (" << missing.firstCell.x() << ", " << missing.firstCell.y()
            << ")\n";
    for (const auto &decorated : summary.decoratedCells)
        err << "Static set " << decorated.staticSet << " decorated " << decorated.cells
            << " cells\n";
    const PassSummary::Timings &timings = summary.timings;
    err << "Time: load data " << seconds(loadNs) << ", read images " << seconds(timings.readImages)
        << ", structures " << seconds(timings.structures) << ", blocks " << seconds(timings.blocks)
        << " (writing " << seconds(timings.writing) << ")\n";
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    err << "Elapsed: " << seconds(elapsedNs) << ", "
        << QString::number(summary.cells / (elapsedNs / 1e9) / 1e6, 'f', 1)
        << " million cells/s, peak memory " << usage.ru_maxrss / 1024 << " MiB" << Qt::endl;
}

int interrupted(QTextStream &err, const QString &destination)
{
    err << "error: interrupted; the previous map files in " << QDir::toNativeSeparators(destination)
        << " are unchanged" << Qt::endl;
    return 128 + ConsoleObserver::abortSignal();
}

// The pass goes on without structures when their file cannot be read, but
// a user who named one wants to know.
void warnAboutStructureFile(QTextStream &err, const QString &path)
{
    const QFileInfo info(path);
    QString problem;
    if (!info.exists())
        problem = QStringLiteral("does not exist");
    else if (info.isDir())
        problem = QStringLiteral("is a directory");
    else if (!info.isFile())
        problem = QStringLiteral("is not a regular file");
    else if (!info.isReadable())
        problem = QStringLiteral("cannot be read");
    else
        return;
    err << "warning: the structure file " << QDir::toNativeSeparators(path) << ' ' << problem
        << "; the map gets no structures" << Qt::endl;
}

} // namespace

int runGenerateCommand(const QStringList &arguments)
{
    QTextStream err(stderr);
    CommandParser parser(
        QStringLiteral("generate"),
        QStringLiteral("Generates map<N>.mul, staidx<N>.mul and statics<N>.mul from a terrain "
                       "image, an altitude image and a data directory."));
    const QCommandLineOption dataOption(
        QStringLiteral("data"), QStringLiteral("Data directory (holds system/terrain.xml)."),
        QStringLiteral("DIR"));
    const QCommandLineOption terrainOption(QStringLiteral("terrain"),
                                           QStringLiteral("Terrain image (8-bit palette)."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption altitudeOption(QStringLiteral("altitude"),
                                            QStringLiteral("Altitude image (8-bit palette)."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption destOption(QStringLiteral("dest"),
                                        QStringLiteral("Destination directory for the map files."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption randomArtOption(
        QStringLiteral("random-art"), QStringLiteral("Decorate cells from the static sets."));
    const QCommandLineOption structuresOption(QStringLiteral("structures"),
                                              QStringLiteral("Stamp the structures of FILE."),
                                              QStringLiteral("FILE"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Seed the random generator as srand(N) would (0 to 4294967295)."),
        QStringLiteral("N"));
    const QCommandLineOption quietOption(
        QStringLiteral("quiet"), QStringLiteral("Print nothing on standard error but errors."));
    const QCommandLineOption previewOption(
        QStringLiteral("preview"),
        QStringLiteral("Draw the written map files as a PNG, one pixel a cell."),
        QStringLiteral("FILE"));
    const QCommandLineOption noWaitOption(
        QStringLiteral("no-wait"),
        QStringLiteral("Fail at once when another pass is writing into the destination, instead "
                       "of waiting for it to end."));
    parser.addOptions({dataOption, terrainOption, altitudeOption, destOption, randomArtOption,
                       structuresOption, seedOption, quietOption, previewOption, noWaitOption});
    if (const auto done = parser.parseArguments(
            arguments, {dataOption, terrainOption, altitudeOption, destOption}))
        return *done;

    std::uint32_t seed = 0;
    if (parser.isSet(seedOption)) {
        bool ok = false;
        seed = parser.value(seedOption).toUInt(&ok);
        if (!ok)
            return parser.usage(
                QStringLiteral("--seed takes a whole number from 0 to 4294967295, not '%1'")
                    .arg(parser.value(seedOption)));
    } else {
        seed = static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch());
    }

    const QString dataDirectory = parser.value(dataOption);
    // Without system/terrain.xml every cell would be tile 0: a map no one
    // wants written over the last good one.
    if (const QString problem = dataDirectoryProblem(dataDirectory); !problem.isEmpty()) {
        err << "error: " << problem << Qt::endl;
        return failure;
    }
    // Checked now: a preview that cannot be written fails the run, which
    // must not have replaced the map files by then.
    QSaveFile previewFile(parser.value(previewOption));
    if (parser.isSet(previewOption) && !openPreview(previewFile, err))
        return failure;

    PassOptions options;
    options.destination = parser.value(destOption);
    options.randomArt = parser.isSet(randomArtOption);
    options.structuresEnabled = parser.isSet(structuresOption);
    options.structureFile = parser.value(structuresOption);
    options.waitForDestination = !parser.isSet(noWaitOption);

    const bool quiet = parser.isSet(quietOption);
    if (options.structuresEnabled && !quiet)
        warnAboutStructureFile(err, options.structureFile);
    ConsoleObserver observer(quiet);
    // From here on Ctrl-C and SIGTERM abort the pass: one that arrives
    // before the block loop is seen when the loop starts.
    ConsoleObserver::abortOnSignals();
    if (!quiet)
        err << "Seed: " << seed << Qt::endl;

    QElapsedTimer timer;
    timer.start();
    // Read while the data directory loads.
    PassImages images(parser.value(terrainOption), parser.value(altitudeOption));
    MapTables tables;
    observer.statusMessage(QStringLiteral("Loading transition data"));
    const auto onStaticSetMessage = [&err](const QString &message) {
        err << "warning: " << message << Qt::endl;
    };
    if (!loadDataDirectory(tables, dataDirectory, onStaticSetMessage, &observer))
        return interrupted(err, options.destination);
    const qint64 loadNs = timer.nsecsElapsed();
    // Taken before the pass, which enters missing terrain indexes with tile
    // id 0; the preview is to show those cells as unexplained.
    std::optional<TileTerrains> tileTerrains;
    if (parser.isSet(previewOption))
        tileTerrains.emplace(tables);

    GlibcRandom random(seed);
    observer.statusMessage(QStringLiteral("Processing map"));
    KeyGrid keyGrid;
    StructureStatics structureStatics;
    const PassSummary summary =
        processMap(tables, structureStatics, keyGrid, random, images, options, observer);
    switch (summary.outcome) {
    case PassSummary::Outcome::Completed:
        if (!quiet)
            printSummary(err, summary, options, seed, loadNs, timer.nsecsElapsed());
        if (tileTerrains) {
            const QString path = parser.value(previewOption);
            const MapPreview preview =
                renderMapPreview(options.destination, summary.mapNumber, summary.blocksHigh,
                                 *tileTerrains, summary.terrainPalette, 1);
            if (!savePreview(preview, previewFile, err))
                return failure;
            if (!quiet)
                printPreviewSummary(preview, path, 1, err);
        }
        return success;
    case PassSummary::Outcome::Aborted:
        return interrupted(err, options.destination);
    case PassSummary::Outcome::InvalidImages:
        err << "error: " << summary.errorText << Qt::endl;
        return failure;
    case PassSummary::Outcome::UnreadableImage:
    case PassSummary::Outcome::OutputFailed:
        return failure;
    }
    return failure;
}
