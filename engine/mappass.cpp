#include "mappass.h"

#include "columnpipeline.h"
#include "commitrecord.h"
#include "data/maptables.h"
#include "data/structurefile.h"
#include "destinationlock.h"
#include "glibcrandom.h"
#include "keygrid.h"
#include "mapfiles.h"
#include "mapfilewriter.h"
#include "paletteimage.h"
#include "passobserver.h"
#include "passoptions.h"
#include "randomstatics.h"
#include "staticsbuffer.h"
#include "transitionfinder.h"
#include "transitionindex.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtEndian>

#include <cstring>

#include <thread>
#include <vector>

namespace {

QString describeImage(const QString &role, const QString &path, const PaletteImage &image)
{
    return QStringLiteral("%1 image %2 is %3 x %4 pixels at %5 bits per pixel")
        .arg(role, QDir::toNativeSeparators(path))
        .arg(image.width())
        .arg(image.height())
        .arg(image.depth());
}

// Stamps the structure file; false when the user aborted or when its
// objects alone would outgrow the statics file, which no write could then
// succeed with.
bool prepareStructures(MapTables &tables, StructureStatics &structureStatics,
                       const PaletteImage &altitude, const PassOptions &options,
                       PassObserver &observer, PassSummary &summary)
{
    const QString step = QStringLiteral("Preparing structures");
    observer.statusMessage(step);
    StructureStamper stamper(tables, structureStatics, altitude, summary.blocksWide,
                             summary.blocksHigh,
                             [&observer](const QString &line) { observer.trace(line); });
    stamper.setProgressReport([&observer, &step](qint64 done, qint64 total) {
        return observer.reportStep(step, done, total);
    });
    stamper.loadStructureFile(options.structureFile);
    observer.stepFinished();
    summary.structurePlacements = stamper.placementsRead();
    summary.structureObjectsStamped = stamper.objectsStamped();
    summary.structureObjectsOffMap = stamper.objectsOffMap();
    if (stamper.stopped()) {
        structureStatics.clear();
        summary.outcome = PassSummary::Outcome::Aborted;
        return false;
    }
    if (!stamper.outgrewStaticsFile())
        return true;
    structureStatics.clear();
    summary.outcome = PassSummary::Outcome::OutputFailed;
    summary.errorText =
        QStringLiteral("%1: the structures alone would make the statics file grow beyond 2 GiB, "
                       "which the index file cannot address; place fewer structures.")
            .arg(QDir::toNativeSeparators(options.structureFile));
    observer.error(summary.errorText);
    return false;
}

// Locks the destination and completes or clears what a pass that died in
// it left; false, with the outcome in summary, when the pass cannot write.
bool takeDestination(DestinationLock &lock, const PassOptions &options, PassObserver &observer,
                     PassSummary &summary)
{
    QString error;
    switch (lock.lock(options.destination, options.waitForDestination, observer)) {
    case DestinationLock::Result::Locked:
        if (CommitRecord::recover(options.destination, &error))
            return true;
        break;
    case DestinationLock::Result::Cancelled:
        summary.outcome = PassSummary::Outcome::Aborted;
        return false;
    case DestinationLock::Result::Busy:
        error = QStringLiteral("Another pass is writing %1; try again when it has finished")
                    .arg(QDir::toNativeSeparators(options.destination));
        break;
    case DestinationLock::Result::Failed:
        error = QStringLiteral("Cannot write %1: %2")
                    .arg(QDir::toNativeSeparators(MapFiles::path(
                             options.destination, MapFiles::Kind::Map, summary.mapNumber)),
                         lock.errorString());
        break;
    }
    summary.outcome = PassSummary::Outcome::OutputFailed;
    summary.errorText = error;
    observer.error(error);
    return false;
}

// The cells of one block column, prepared ahead of the draws.
struct ColumnWork
{
    std::vector<TransitionLookup> lookups;
    std::vector<std::uint8_t> terrain;
    std::vector<std::uint8_t> altitude;
};

class MapPass
{
public:
    MapPass(MapTables &tables, KeyGrid &keyGrid, GlibcRandom &random, const PaletteImage &terrain,
            const PaletteImage &altitude, const PassOptions &options, PassObserver &observer,
            PassSummary &summary)
        : m_tables(tables),
          m_keyGrid(keyGrid),
          m_transitions(tables),
          m_finder(m_transitions, options.randomArt),
          m_random(random),
          m_terrain(terrain),
          m_altitude(altitude),
          m_options(options),
          m_observer(observer),
          m_summary(summary)
    {
        m_decoratedCells.assign(m_transitions.staticSetNames().size(), 0);
    }

    // Writes every block in block order, each block's structure statics
    // first; false when the writer failed.
    bool writeBlocks(MapFileWriter &writer, const StructureStatics &structureStatics)
    {
        const int blocksWide = m_summary.blocksWide;
        const int blocksHigh = m_summary.blocksHigh;
        // Finding each cell's transition draws nothing, so it runs a block
        // column ahead on a worker while this thread makes the draws in
        // their fixed order.
        for (ColumnWork &work : m_columns) {
            const std::size_t cells = std::size_t(blocksHigh) * MapFiles::cellsPerBlock;
            work.lookups.resize(cells);
            work.terrain.resize(cells);
            work.altitude.resize(cells);
        }
        ColumnPipeline pipeline(
            blocksWide, [this](int blockX, int slot) { prepareColumn(blockX, m_columns[slot]); });
        for (int blockX = 0; blockX < blocksWide; ++blockX) {
            m_observer.progressChanged(blockX * blocksHigh);
            if (m_observer.isCancelled())
                return true;
            pipeline.waitFor(blockX);
            const ColumnWork &work = m_columns[blockX % 2];
            for (int blockY = 0; blockY < blocksHigh; ++blockY) {
                processBlock(blockX, blockY, work, std::size_t(blockY) * MapFiles::cellsPerBlock);
                const QByteArray structures = structureStatics.value(blockX * blocksHigh + blockY);
                if (!writer.writeBlock(m_mapBlock, structures, m_cellStatics.data(),
                                       static_cast<qsizetype>(m_cellStatics.size())))
                    return false;
                m_summary.staticsWritten +=
                    (structures.size() + m_cellStatics.size()) / MapFiles::staticItemSize;
            }
            pipeline.release(blockX);
        }
        return true;
    }

    void countDecoratedCells()
    {
        for (std::size_t i = 0; i < m_decoratedCells.size(); ++i) {
            if (m_decoratedCells[i] > 0)
                m_summary.decoratedCells.append(
                    {m_transitions.staticSetNames().at(qsizetype(i)), m_decoratedCells[i]});
        }
    }

    // Cell counts of the indexes that were missing, over the processed area.
    void countMissingCells()
    {
        if (m_summary.missingTerrain.isEmpty() && m_summary.missingAltitude.isEmpty())
            return;
        std::array<qint64, 256> terrainCounts {};
        std::array<qint64, 256> altitudeCounts {};
        const int width = m_summary.blocksWide * MapFiles::cellsPerBlockSide;
        const int height = m_summary.blocksHigh * MapFiles::cellsPerBlockSide;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t *terrainRow = m_terrain.row(y);
            const std::uint8_t *altitudeRow = m_altitude.row(y);
            for (int x = 0; x < width; ++x) {
                ++terrainCounts[terrainRow[x]];
                ++altitudeCounts[altitudeRow[x]];
            }
        }
        for (auto &missing : m_summary.missingTerrain)
            missing.cells = terrainCounts[missing.index];
        for (auto &missing : m_summary.missingAltitude)
            missing.cells = altitudeCounts[missing.index];
    }

private:
    // What the pass needs of every cell of a block column, in block order and
    // within a block in cell order: its two palette indexes, gathered from
    // the images' rows so that the draws read them in sequence, and its
    // transition. Runs on the pipeline's worker.
    void prepareColumn(int blockX, ColumnWork &work)
    {
        std::size_t cell = 0;
        for (int blockY = 0; blockY < m_summary.blocksHigh; ++blockY) {
            fillKeyGrid(m_keyGrid, blockX * MapFiles::cellsPerBlockSide,
                        blockY * MapFiles::cellsPerBlockSide, m_summary.blocksWide,
                        m_summary.blocksHigh, m_terrain);
            m_finder.findBlock(m_keyGrid, work.lookups.data() + cell);
            for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k) {
                const int y = blockY * MapFiles::cellsPerBlockSide + k;
                const int x = blockX * MapFiles::cellsPerBlockSide;
                std::memcpy(work.terrain.data() + cell, m_terrain.row(y) + x, 8);
                std::memcpy(work.altitude.data() + cell, m_altitude.row(y) + x, 8);
                cell += MapFiles::cellsPerBlockSide;
            }
        }
    }

    void processBlock(int blockX, int blockY, const ColumnWork &work, std::size_t firstCell)
    {
        const TransitionLookup *lookups = work.lookups.data() + firstCell;
        const std::uint8_t *altitudeIndexes = work.altitude.data() + firstCell;
        const std::uint8_t *terrainIndexes = work.terrain.data() + firstCell;
        const int blockNumber = blockX * m_summary.blocksHigh + blockY;
        qToLittleEndian<qint32>(blockNumber, m_mapBlock);
        m_cellStatics.clear();

        std::uint8_t *cellOut = m_mapBlock + 4;
        for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k) {
            const int y = blockY * MapFiles::cellsPerBlockSide + k;
            for (int l = 0; l < MapFiles::cellsPerBlockSide; ++l) {
                const int x = blockX * MapFiles::cellsPerBlockSide + l;
                const std::uint8_t altitudeIndex = *altitudeIndexes++;
                const std::uint8_t terrainIndex = *terrainIndexes++;

                if (!m_tables.AltitudeTable.contains(altitudeIndex))
                    enterMissingAltitude(altitudeIndex, x, y);
                const std::int8_t baseAltitude = m_tables.AltitudeTable.value(altitudeIndex);

                if (!m_tables.TerrainRandomTable.contains(terrainIndex))
                    m_tables.TerrainRandomTable.insert(terrainIndex, false);
                const int randomFlag = m_tables.TerrainRandomTable.value(terrainIndex) ? 1 : 0;
                // Drawn for every cell, also without the flag, so that the
                // sequence of draws does not depend on the terrain.
                const auto z =
                    static_cast<std::int8_t>(baseAltitude + randomFlag * m_random.nextBelow(6));

                if (!m_tables.TerrainTable.contains(terrainIndex))
                    enterMissingTerrain(terrainIndex, x, y);
                LandCell landCell {m_tables.TerrainTable.value(terrainIndex), z};

                const TransitionLookup &lookup = *lookups++;
                TransitionStatic transitionStatic;
                resolveTransition(lookup, baseAltitude, randomFlag, m_random, landCell,
                                  transitionStatic);

                cellOut[0] = static_cast<std::uint8_t>(landCell.tileId);
                cellOut[1] = static_cast<std::uint8_t>(landCell.tileId >> 8);
                cellOut[2] = static_cast<std::uint8_t>(landCell.z);
                cellOut += MapFiles::mapCellSize;

                if (transitionStatic.present)
                    m_cellStatics.append(transitionStatic.tileId, l, k, transitionStatic.z, 0);

                if (m_options.randomArt
                    && placeRandomStatics(m_transitions, lookup.main, m_random, l, k, landCell.z,
                                          m_cellStatics, m_observer)
                        > 0)
                    ++m_decoratedCells[lookup.main->staticSetId];
            }
        }
    }

    void enterMissingAltitude(std::uint8_t index, int x, int y)
    {
        m_tables.AltitudeTable.insert(index, 0);
        m_summary.missingAltitude.append({index, 0, QPoint(x, y)});
        m_observer.statusMessage(
            QStringLiteral("Altitude index %1 not present in altitudes.xml").arg(index));
    }

    void enterMissingTerrain(std::uint8_t index, int x, int y)
    {
        m_tables.TerrainTable.insert(index, 0);
        m_summary.missingTerrain.append({index, 0, QPoint(x, y)});
        m_observer.statusMessage(
            QStringLiteral("Terrain index %1 not present in terrain.xml").arg(index));
    }

    MapTables &m_tables;
    KeyGrid &m_keyGrid;
    const TransitionIndex m_transitions;
    const TransitionFinder m_finder;
    GlibcRandom &m_random;
    const PaletteImage &m_terrain;
    const PaletteImage &m_altitude;
    const PassOptions &m_options;
    PassObserver &m_observer;
    PassSummary &m_summary;
    std::uint8_t m_mapBlock[MapFiles::mapBlockSize] {};
    StaticsBuffer m_cellStatics;
    std::vector<qint64> m_decoratedCells;
    ColumnWork m_columns[2];
};

} // namespace

PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, const QString &terrainPath, const QString &altitudePath,
                       const PassOptions &options, PassObserver &observer,
                       const MapOutputFileFactory &createOutputFile)
{
    QElapsedTimer phase;
    phase.start();
    // The two images decode at once, one on each core.
    PaletteImage altitude;
    std::thread altitudeReader([&] { altitude = PaletteImage::load(altitudePath); });
    const PaletteImage terrain = PaletteImage::load(terrainPath);
    altitudeReader.join();
    const qint64 readImages = phase.nsecsElapsed();
    PassSummary summary =
        processMap(tables, structureStatics, keyGrid, random, terrain, terrainPath, altitude,
                   altitudePath, options, observer, createOutputFile);
    summary.timings.readImages = readImages;
    return summary;
}

PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, const PaletteImage &terrain, const QString &terrainPath,
                       const PaletteImage &altitude, const QString &altitudePath,
                       const PassOptions &options, PassObserver &observer,
                       const MapOutputFileFactory &createOutputFile)
{
    PassSummary summary;
    // Also a pass that stops at the image checks leaves no structures of an
    // earlier map behind.
    structureStatics.clear();
    // An empty destination would put the files at the root.
    if (!createOutputFile && options.destination.isEmpty()) {
        summary.outcome = PassSummary::Outcome::OutputFailed;
        summary.errorText = QStringLiteral(
            "No destination directory given; choose the directory the map files go to");
        observer.error(summary.errorText);
        return summary;
    }
    observer.imagesRead(terrain, altitude);
    // Said first: an image that was not read has no size or depth to compare.
    QStringList unreadable;
    for (const auto &[path, image] :
         {std::pair {&terrainPath, &terrain}, {&altitudePath, &altitude}}) {
        if (image->isNull()) {
            unreadable << QStringLiteral("cannot read %1: %2")
                              .arg(QDir::toNativeSeparators(*path), image->errorString());
            observer.error(unreadable.constLast());
        }
    }
    if (!unreadable.isEmpty()) {
        summary.outcome = PassSummary::Outcome::UnreadableImage;
        summary.errorText = unreadable.join(QLatin1Char('\n'));
        return summary;
    }
    summary.terrainPalette = terrain.palette();
    const QString imageDetails = describeImage(QStringLiteral("Terrain"), terrainPath, terrain)
        + QLatin1String("; ") + describeImage(QStringLiteral("altitude"), altitudePath, altitude);
    if (terrain.width() != altitude.width() || terrain.height() != altitude.height()) {
        summary.errorText = imageDetails;
        observer.warning(QStringLiteral("Size mismatch"),
                         QStringLiteral("Terrain and Altitude image files are different sizes"));
        return summary;
    }
    if (terrain.depth() != 8 || altitude.depth() != 8) {
        summary.errorText = imageDetails;
        observer.warning(QStringLiteral("Invalid color depth"),
                         QStringLiteral("Terrain or Alttiude image files are not 8 bit color"));
        return summary;
    }

    summary.blocksWide = terrain.width() / MapFiles::cellsPerBlockSide;
    summary.blocksHigh = terrain.height() / MapFiles::cellsPerBlockSide;
    summary.mapNumber = MapFiles::mapNumber(summary.blocksHigh);
    summary.cells = qint64(summary.blocksWide) * summary.blocksHigh * MapFiles::cellsPerBlock;

    // Taken once the images are known to be good and before the structures
    // are stamped, so that --no-wait fails before that work.
    DestinationLock lock;
    if (!createOutputFile && !takeDestination(lock, options, observer, summary))
        return summary;
    // The structures' and blocks' times leave out the wait for another pass.
    QElapsedTimer phase;
    phase.start();
    if (options.structuresEnabled
        && !prepareStructures(tables, structureStatics, altitude, options, observer, summary))
        return summary;
    summary.timings.structures = phase.nsecsElapsed();
    phase.restart();
    observer.statusMessage(QStringLiteral("Processing Map"));

    MapFileWriter writer(createOutputFile ? createOutputFile : createSaveFile);
    if (!writer.open(options.destination, summary.mapNumber)) {
        summary.outcome = PassSummary::Outcome::OutputFailed;
        summary.errorText = writer.errorString();
        observer.error(summary.errorText);
        return summary;
    }

    observer.progressStarted(summary.blocksWide * summary.blocksHigh);
    MapPass pass(tables, keyGrid, random, terrain, altitude, options, observer, summary);
    const bool written = pass.writeBlocks(writer, structureStatics);
    // Read once more after the loops, so an abort during the last block
    // column still counts.
    if (written && observer.isCancelled()) {
        writer.cancel();
        summary.outcome = PassSummary::Outcome::Aborted;
    } else if (!written || !writer.commit()) {
        writer.cancel();
        summary.outcome = PassSummary::Outcome::OutputFailed;
        summary.errorText = writer.errorString();
    } else {
        summary.outcome = PassSummary::Outcome::Completed;
    }
    summary.timings.blocks = phase.nsecsElapsed();
    summary.timings.writing = writer.writingTime();
    pass.countMissingCells();
    pass.countDecoratedCells();
    observer.progressFinished();
    if (summary.outcome == PassSummary::Outcome::OutputFailed)
        observer.error(summary.errorText);
    return summary;
}
