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
#include "passimages.h"
#include "passobserver.h"
#include "passoptions.h"
#include "randomstatics.h"
#include "staticsbuffer.h"
#include "transitionfinder.h"
#include "transitionindex.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <mutex>
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

// What the draws need of a cell's two palette indexes.
struct CellBasics
{
    std::uint16_t tileId = 0;
    std::int8_t baseAltitude = 0;
    // randomFlag, or needsEntering: the tables lacked one of the cell's
    // indexes when the pass started.
    std::uint8_t flags = 0;

    static constexpr std::uint8_t randomFlag = 1;
    static constexpr std::uint8_t needsEntering = 2;
};

// The terrain and altitude tables as flat arrays of CellBasics' parts: a
// cell's basics are its terrain's part and its altitude's part or'ed
// together, two loads in the per-cell loop.
struct FlatTables
{
    std::array<CellBasics, 256> terrainParts {};
    std::array<CellBasics, 256> altitudeParts {};

    void refresh(const MapTables &tables, std::uint8_t altitudeIndex, std::uint8_t terrainIndex)
    {
        CellBasics &altitude = altitudeParts[altitudeIndex];
        altitude.baseAltitude = tables.AltitudeTable.value(altitudeIndex);
        altitude.flags =
            tables.AltitudeTable.contains(altitudeIndex) ? 0 : CellBasics::needsEntering;
        CellBasics &terrain = terrainParts[terrainIndex];
        terrain.tileId = tables.TerrainTable.value(terrainIndex);
        terrain.flags = tables.TerrainRandomTable.value(terrainIndex) ? CellBasics::randomFlag : 0;
        // The terrain or random tables lack the index.
        if (!tables.TerrainTable.contains(terrainIndex)
            || !tables.TerrainRandomTable.contains(terrainIndex))
            terrain.flags |= CellBasics::needsEntering;
    }

    CellBasics basics(std::uint8_t altitudeIndex, std::uint8_t terrainIndex) const
    {
        return std::bit_cast<CellBasics>(basicsWord(altitudeIndex, terrainIndex));
    }

    // The same as one word, which the per-cell loop stores whole.
    std::uint32_t basicsWord(std::uint8_t altitudeIndex, std::uint8_t terrainIndex) const
    {
        // Each part leaves the other's fields zero.
        return std::bit_cast<std::uint32_t>(terrainParts[terrainIndex])
            | std::bit_cast<std::uint32_t>(altitudeParts[altitudeIndex]);
    }
};
static_assert(sizeof(CellBasics) == sizeof(std::uint32_t));

// How many draws a cell takes, as the planning needs it: the draws that its
// transition and its static set's chance test always take, and the chance
// (0 to 100) below which its chance draw modulo 100 takes one more for a
// group.
struct CellDraws
{
    std::uint8_t fixed = 0;
    std::uint8_t chance = 0;
};

// The same for a block, and what else the planning and rendering may
// skip for it.
struct BlockDraws
{
    std::uint32_t fixed = 0;
    bool anyChance = false;
    bool anyEntering = false;
    // Every cell has the same transition lookup.
    bool oneLookup = false;
};

// The columns of both images that a group of block columns reads, copied
// out row by row into a slab per block column: each row of a slab holds the
// terrain indexes that the column's key grids read and, in the other slab,
// the column's altitude indexes. Read straight down a block column, the
// images would cost a new page and cache line in every row of every
// column; a slab's rows lie back to back. Both threads prepare from the
// same strip, so that each block row is copied once per group of columns:
// copying is mostly waiting for memory, and with a strip each, both threads
// copied every row.
class ColumnStrip
{
public:
    static constexpr int blockColumns = 16;
    // Key grids reach two cells west of a block and one east; a terrain
    // row also takes the next cell, to stay four-byte aligned.
    static constexpr int terrainWest = 2;
    static constexpr int terrainWidth = terrainWest + MapFiles::cellsPerBlockSide + 2;
    static constexpr int altitudeWidth = MapFiles::cellsPerBlockSide;

    // Makes the strip hold the rows that the blocks from firstBlock to
    // before endBlock of block column blockX read, copying a block row at a
    // time the rows that no thread has copied for the column's group yet.
    // Safe on both threads at once for columns of one group; the strip
    // moves on to another group once no thread reads the last any more
    // (see MapPass::stripOf()).
    void cover(int blockX, int firstBlock, int endBlock, const PaletteImage &terrain,
               const PaletteImage &altitude, int blocksHigh)
    {
        const int group = blockX / blockColumns;
        if (m_group.load(std::memory_order_acquire) != group) {
            std::lock_guard lock(m_moving);
            if (m_group.load(std::memory_order_relaxed) != group) {
                if (m_rows == 0) {
                    m_rows = std::size_t(blocksHigh) * MapFiles::cellsPerBlockSide;
                    m_terrain.resize(blockColumns * m_rows * terrainWidth);
                    m_altitude.resize(blockColumns * m_rows * altitudeWidth);
                    m_states = std::vector<std::atomic<std::uint8_t>>(std::size_t(blocksHigh));
                }
                for (std::atomic<std::uint8_t> &state : m_states)
                    state.store(notCopied, std::memory_order_relaxed);
                m_group.store(group, std::memory_order_release);
            }
        }
        const int firstX = group * blockColumns * MapFiles::cellsPerBlockSide;
        // Whether every slab's rows lie wholly inside the images.
        const int lastX = firstX + (blockColumns - 1) * MapFiles::cellsPerBlockSide;
        const bool inside =
            firstX >= terrainWest && lastX - terrainWest + terrainWidth <= terrain.width();
        // The key grids reach into the block rows above and below.
        const int from = std::max(0, firstBlock - 1), to = std::min(blocksHigh, endBlock + 1);
        bool othersCopying = false;
        for (int blockY = from; blockY < to; ++blockY) {
            std::atomic<std::uint8_t> &state = m_states[std::size_t(blockY)];
            // Most rows are in already; a plain load tells so without
            // taking the line for a write.
            std::uint8_t seen = state.load(std::memory_order_acquire);
            if (seen == notCopied
                && state.compare_exchange_strong(seen, copying, std::memory_order_acquire)) {
                copyRows(terrain, altitude, blockY * MapFiles::cellsPerBlockSide, firstX, inside);
                state.store(copied, std::memory_order_release);
            } else if (seen == copying) {
                othersCopying = true;
            }
        }
        // Rows the other thread took are a few microseconds from done while
        // it runs; one that lost its core gets it back sooner when this
        // thread yields.
        for (int blockY = from; othersCopying && blockY < to; ++blockY) {
            while (m_states[std::size_t(blockY)].load(std::memory_order_acquire) != copied)
                std::this_thread::yield();
        }
    }

    PaletteRows terrain(int blockX) const
    {
        return {m_terrain.data() + slab(blockX) * terrainWidth, terrainWidth,
                blockX * MapFiles::cellsPerBlockSide - terrainWest};
    }
    PaletteRows altitude(int blockX) const
    {
        return {m_altitude.data() + slab(blockX) * altitudeWidth, altitudeWidth,
                blockX * MapFiles::cellsPerBlockSide};
    }

private:
    std::size_t slab(int blockX) const { return std::size_t(blockX % blockColumns) * m_rows; }

    // The eight rows from firstY on of every slab. Away from the images'
    // edges each slab row is a few fixed moves.
    void copyRows(const PaletteImage &terrain, const PaletteImage &altitude, int firstY, int firstX,
                  bool inside)
    {
        const int endY = firstY + MapFiles::cellsPerBlockSide;
        // Every row lies on a page of its own, where the processor does
        // not fetch ahead by itself; the next block row's are fetched now.
        if (endY + MapFiles::cellsPerBlockSide <= terrain.height()) {
            const int from = std::max(0, firstX - terrainWest);
            const int to =
                std::min(terrain.width(), firstX + blockColumns * MapFiles::cellsPerBlockSide + 2);
            for (int y = endY; y < endY + MapFiles::cellsPerBlockSide; ++y) {
                for (int x = from; x < to; x += 64) {
                    __builtin_prefetch(terrain.row(y) + x);
                    __builtin_prefetch(altitude.row(y) + x);
                }
            }
        }
        for (int y = firstY; y < endY; ++y) {
            const std::uint8_t *terrainRow = terrain.row(y);
            const std::uint8_t *altitudeRow = altitude.row(y);
            std::uint8_t *terrainOut = m_terrain.data() + std::size_t(y) * terrainWidth;
            std::uint8_t *altitudeOut = m_altitude.data() + std::size_t(y) * altitudeWidth;
            for (int column = 0; column < blockColumns; ++column,
                     terrainOut += m_rows * terrainWidth, altitudeOut += m_rows * altitudeWidth) {
                const int x = firstX + column * MapFiles::cellsPerBlockSide;
                if (inside) {
                    std::memcpy(terrainOut, terrainRow + x - terrainWest, terrainWidth);
                    std::memcpy(altitudeOut, altitudeRow + x, altitudeWidth);
                    continue;
                }
                // At the edges, only what lies inside: the key grids read
                // no more there.
                const int from = std::max(0, x - terrainWest);
                const int to = std::min(terrain.width(), x - terrainWest + terrainWidth);
                if (from < to)
                    std::memcpy(terrainOut + (from - x + terrainWest), terrainRow + from,
                                std::size_t(to - from));
                if (x + altitudeWidth <= altitude.width())
                    std::memcpy(altitudeOut, altitudeRow + x, altitudeWidth);
            }
        }
    }

    enum : std::uint8_t { notCopied, copying, copied };

    std::atomic<int> m_group = -1;
    std::mutex m_moving;
    std::size_t m_rows = 0;
    std::vector<std::uint8_t> m_terrain;
    std::vector<std::uint8_t> m_altitude;
    // Per block row, how far its rows are in the strip.
    std::vector<std::atomic<std::uint8_t>> m_states;
};

// One block column on its way through the pass: prepared ahead of the
// draws, planned (its draws taken from the generator in order), rendered
// (its blocks' bytes made from those draws) and written. Cells are in
// block order and within a block in cell order.
struct ColumnWork
{
    std::vector<TransitionLookup> lookups;
    std::vector<CellBasics> basics;
    std::vector<CellDraws> cellDraws;
    std::vector<BlockDraws> blockDraws;
    // The generator's words that the column's cells draw, in order, and
    // where each block's begin.
    GlibcRandom::Words words;
    std::vector<std::uint32_t> blockWords;
    // Per block, bit 8 k + l set where the cell (l, k) draws a group of its
    // static set.
    std::vector<std::uint64_t> decorated;
    std::vector<std::uint8_t> mapBlocks;
    // What rendering a chunk of the column's blocks gives besides the map
    // blocks; chunks are rendered on either thread.
    struct Chunk
    {
        StaticsBuffer statics;
        std::vector<qint64> decoratedCells;
        QStringList traces;
    };
    std::vector<Chunk> chunks;
    // Where each block's statics end in its chunk's.
    std::vector<std::size_t> staticsEnd;
};

class MapPass
{
public:
    MapPass(MapTables &tables, const TransitionIndex &transitions, KeyGrid &keyGrid,
            GlibcRandom &random, const PaletteImage &terrain, const PaletteImage &altitude,
            const PassOptions &options, PassObserver &observer, PassSummary &summary)
        : m_tables(tables),
          m_keyGrid(keyGrid),
          m_transitions(transitions),
          m_finder(m_transitions, options.randomArt),
          m_random(random),
          m_terrain(terrain),
          m_altitude(altitude),
          m_randomArt(options.randomArt),
          m_observer(observer),
          m_summary(summary)
    {
        m_decoratedCells.assign(m_transitions.staticSetNames().size(), 0);
        // The cell's own draw, then its hit's.
        m_transitionDraws.resize(m_transitions.transitionCount());
        for (std::size_t i = 0; i < m_transitionDraws.size(); ++i)
            m_transitionDraws[i] = std::uint8_t(1 + m_transitions.transitions()[i].drawCount);
        // Then its set's chance, without random art none.
        m_mainDraws.resize(m_randomArt ? m_transitions.mainEntryCount() : 1);
        for (std::size_t i = 1; i < m_mainDraws.size(); ++i) {
            const MainKeyEntry &main = m_transitions.mainEntries()[i];
            // Draws modulo 100 are below 100 whatever the chance above it.
            if (main.staticSet)
                m_mainDraws[i] = {1, std::uint8_t(std::clamp(main.decorationChance, 0, 100))};
        }
        for (int index = 0; index < 256; ++index)
            m_tablesAtStart.refresh(tables, std::uint8_t(index), std::uint8_t(index));
        m_liveTables = m_tablesAtStart;
    }

    // Writes every block in block order, each block's structure statics
    // first; false when the writer failed.
    bool writeBlocks(MapFileWriter &writer, const StructureStatics &structureStatics)
    {
        const int blocksWide = m_summary.blocksWide;
        const int blocksHigh = m_summary.blocksHigh;
        // Blocks are written in number order, so their structure statics
        // are met in that order too.
        for (auto it = structureStatics.cbegin(); it != structureStatics.cend(); ++it)
            m_structureBlocks.emplace_back(it.key(), &it.value());
        std::sort(m_structureBlocks.begin(), m_structureBlocks.end());
        for (ColumnWork &work : m_columns) {
            const std::size_t cells = std::size_t(blocksHigh) * MapFiles::cellsPerBlock;
            work.lookups.resize(cells);
            work.basics.resize(cells);
            work.cellDraws.resize(cells);
            work.blockDraws.resize(std::size_t(blocksHigh));
            work.blockWords.resize(std::size_t(blocksHigh));
            work.decorated.resize(std::size_t(blocksHigh));
            work.mapBlocks.resize(std::size_t(blocksHigh) * MapFiles::mapBlockSize);
            work.staticsEnd.resize(std::size_t(blocksHigh));
            work.chunks.resize(std::size_t(blocksHigh / ColumnPipeline::blocksPerChunk + 1));
        }
        // Only taking the draws from the generator must go in order, a
        // column at a time on either thread; writing is this thread's
        // alone, as is entering what the tables lack, which tells the
        // observer. Finding the cells' transitions and making the blocks'
        // bytes from the draws run on both threads.
        ColumnPipeline pipeline(
            blocksWide, blocksHigh, columnSlots, ColumnPipeline::workerAvailable(),
            [this](int blockX, int slot, int firstBlock, int endBlock, int producer) {
                prepareBlocks(blockX, firstBlock, endBlock, m_columns[slot],
                              producer == 0 ? m_keyGrid : m_workerGrid, stripOf(blockX),
                              m_lookupCaches[producer]);
            },
            [this](int blockX, int slot, int producer) {
                // Entering what the tables lack tells the observer, which
                // hears from this thread only.
                ColumnWork &work = m_columns[slot];
                if (producer != 0
                    && std::any_of(work.blockDraws.begin(), work.blockDraws.end(),
                                   [](const BlockDraws &block) { return block.anyEntering; }))
                    return false;
                planColumn(blockX, work);
                return true;
            },
            [this](int blockX, int slot, int firstBlock, int endBlock, int) {
                renderBlocks(blockX, firstBlock, endBlock, m_columns[slot]);
            });
        for (int blockX = 0; blockX < blocksWide; ++blockX) {
            m_observer.progressChanged(blockX * blocksHigh);
            if (m_observer.isCancelled())
                return true;
            if (!writeColumn(pipeline, blockX, writer))
                return false;
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
        // The sets are numbered in the tables' hash order, which changes
        // from one run to the next; the summary should not.
        std::sort(m_summary.decoratedCells.begin(), m_summary.decoratedCells.end(),
                  [](const auto &a, const auto &b) { return a.staticSet < b.staticSet; });
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
    // The column being written, the one being planned and rendered, and
    // the one being prepared.
    static constexpr int columnSlots = 4;
    // Its own, a map tile and its variation, a static tile, a set's chance
    // and its group.
    static constexpr std::size_t maximumDrawsPerBlock = 6 * MapFiles::cellsPerBlock;
    static constexpr std::size_t wordsPerExtension = 1024;

    // What the pass needs of every cell of the column's blocks from
    // firstBlock to before endBlock: its transition, and its tile, altitude
    // and flag as the tables held them at the start (the planning enters
    // what they lacked, in cell order). Runs on either thread; reads
    // nothing that the planning writes.
    void prepareBlocks(int blockX, int firstBlock, int endBlock, ColumnWork &work, KeyGrid &grid,
                       ColumnStrip &strip, TransitionFinder::Cache &cache) const
    {
        strip.cover(blockX, firstBlock, endBlock, m_terrain, m_altitude, m_summary.blocksHigh);
        const PaletteRows terrainRows = strip.terrain(blockX);
        const PaletteRows altitudeRows = strip.altitude(blockX);
        std::size_t cell = std::size_t(firstBlock) * MapFiles::cellsPerBlock;
        const int x = blockX * MapFiles::cellsPerBlockSide;
        for (int blockY = firstBlock; blockY < endBlock; ++blockY) {
            fillKeyGrid(grid, x, blockY * MapFiles::cellsPerBlockSide, m_summary.blocksWide,
                        m_summary.blocksHigh, terrainRows);
            TransitionLookup *lookups = work.lookups.data() + cell;
            const std::uint64_t uniformCells = m_finder.findBlock(grid, lookups, &cache);
            CellBasics *basics = work.basics.data() + cell;
            std::uint32_t anyFlags = 0;
            for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k) {
                const int y = blockY * MapFiles::cellsPerBlockSide + k;
                const std::uint8_t *terrain = terrainRows.at(x, y);
                const std::uint8_t *altitude = altitudeRows.at(x, y);
                for (int l = 0; l < MapFiles::cellsPerBlockSide; ++l, ++basics) {
                    const std::uint32_t word = m_tablesAtStart.basicsWord(altitude[l], terrain[l]);
                    // Copied whole: assigned, the basics went out a field
                    // at a time.
                    std::memcpy(static_cast<void *>(basics), &word, sizeof word);
                    anyFlags |= word;
                }
            }
            const std::uint8_t flags = std::bit_cast<CellBasics>(anyFlags).flags;
            CellDraws *draws = work.cellDraws.data() + cell;
            BlockDraws &block = work.blockDraws[std::size_t(blockY)];
            block = {};
            block.anyEntering = flags & CellBasics::needsEntering;
            // A block inside one terrain has one lookup.
            const int distinct = uniformCells == ~std::uint64_t(0) ? 1 : MapFiles::cellsPerBlock;
            int chances = 0;
            for (int i = 0; i < distinct; ++i) {
                draws[i] = cellDraws(lookups[i]);
                block.fixed += draws[i].fixed;
                chances |= draws[i].chance;
            }
            // Only the first cell's draw counts are noted for a block of one
            // lookup; they are every cell's.
            block.oneLookup = distinct == 1;
            if (distinct == 1)
                block.fixed *= MapFiles::cellsPerBlock;
            block.anyChance = chances != 0;
            cell += MapFiles::cellsPerBlock;
        }
    }

    CellDraws cellDraws(TransitionLookup lookup) const
    {
        const CellDraws main = m_mainDraws[m_randomArt ? lookup.main : 0];
        return {std::uint8_t(m_transitionDraws[lookup.hit] + main.fixed), main.chance};
    }

    // Takes the column's draws from the generator: how many each cell
    // makes follows from its transition and, for its static set's group,
    // from its chance draw. Enters what the tables lack on the way. Runs on
    // either thread, a column at a time and in order.
    void planColumn(int blockX, ColumnWork &work)
    {
        // The generator's words go straight into the column, where the
        // blocks' bytes are made from them.
        work.words.clear();
        std::size_t next = m_random.suspend(work.words);
        for (int blockY = 0; blockY < m_summary.blocksHigh; ++blockY) {
            if (work.words.size() - next < maximumDrawsPerBlock)
                GlibcRandom::extend(work.words, wordsPerExtension);
            work.blockWords[std::size_t(blockY)] = std::uint32_t(next);
            const BlockDraws &block = work.blockDraws[std::size_t(blockY)];
            const std::size_t firstCell = std::size_t(blockY) * MapFiles::cellsPerBlock;
            if (block.anyEntering)
                enterMissing(blockX, blockY, work.basics.data() + firstCell);
            std::uint64_t &decorated = work.decorated[std::size_t(blockY)];
            decorated = 0;
            if (!block.anyChance) {
                next += block.fixed;
                continue;
            }
            const std::uint32_t *words = work.words.data() + next;
            const CellDraws *draws = work.cellDraws.data() + firstCell;
            const std::uint32_t *end = block.oneLookup ? planCells<true>(words, draws, decorated)
                                                       : planCells<false>(words, draws, decorated);
            next += std::size_t(end - words);
        }
        m_random.resume(work.words, next);
    }

    // Finds the decorated cells of a block whose cells draw from at on;
    // returns where the block's draws end. The chance draw is each cell's
    // last fixed one (a cell without a static set has chance 0). Most cells
    // are not decorated: leaving the inner loop for those that are keeps it
    // a branch, on which the processor runs ahead, where a select would
    // wait for every draw in turn. Cells of one lookup all draw alike.
    template<bool oneLookup>
    static const std::uint32_t *planCells(const std::uint32_t *at, const CellDraws *draws,
                                          std::uint64_t &decorated)
    {
        const std::uint32_t fixed = draws[0].fixed;
        const std::uint32_t chance = draws[0].chance;
        for (int i = 0; i < MapFiles::cellsPerBlock;) {
            for (; i < MapFiles::cellsPerBlock; ++i) {
                at += oneLookup ? fixed : draws[i].fixed;
                // Draws are below 2^31, so the unsigned remainder is theirs.
                if ((at[-1] >> 1) % 100 < (oneLookup ? chance : draws[i].chance))
                    break;
            }
            if (i < MapFiles::cellsPerBlock) {
                decorated |= std::uint64_t(1) << i;
                ++at;
                ++i;
            }
        }
        return at;
    }

    // Makes map blocks and statics of the column's blocks from firstBlock
    // to before endBlock from its planned draws. Runs on either thread,
    // after the planning of the column.
    void renderBlocks(int blockX, int firstBlock, int endBlock, ColumnWork &work) const
    {
        ColumnWork::Chunk &chunk =
            work.chunks[std::size_t(firstBlock / ColumnPipeline::blocksPerChunk)];
        chunk.statics.clear();
        chunk.traces.clear();
        chunk.decoratedCells.assign(m_transitions.staticSetNames().size(), 0);
        for (int blockY = firstBlock; blockY < endBlock; ++blockY) {
            renderBlock(blockX, blockY, work, chunk);
            work.staticsEnd[std::size_t(blockY)] = chunk.statics.size();
        }
    }

    void renderBlock(int blockX, int blockY, ColumnWork &work, ColumnWork::Chunk &chunk) const
    {
        const auto block = std::size_t(blockY);
        std::uint8_t *cellOut = work.mapBlocks.data() + block * MapFiles::mapBlockSize;
        qToLittleEndian<qint32>(blockX * m_summary.blocksHigh + blockY, cellOut);
        const std::size_t firstCell = block * MapFiles::cellsPerBlock;
        const RenderedBlock rendered {work.lookups.data() + firstCell,
                                      work.basics.data() + firstCell,
                                      work.cellDraws.data() + firstCell,
                                      work.words.data() + work.blockWords[block],
                                      work.decorated[block],
                                      cellOut + 4};
        if (!work.blockDraws[block].oneLookup) {
            renderCells(rendered, chunk);
            return;
        }
        const CompiledTransition &hit = m_transitions.transition(rendered.lookups[0].hit);
        const MainKeyEntry &main = m_transitions.mainEntry(rendered.lookups[0].main);
        if (hit.staticTileCount.divisor() > 0) {
            // The general loop reads every cell's draw counts.
            CellDraws draws[MapFiles::cellsPerBlock];
            std::fill_n(draws, MapFiles::cellsPerBlock, rendered.draws[0]);
            RenderedBlock general = rendered;
            general.draws = draws;
            renderCells(general, chunk);
        } else if (hit.mapTileCount.divisor() > 0)
            renderOneLookup<true>(rendered, hit, main, chunk);
        else
            renderOneLookup<false>(rendered, hit, main, chunk);
    }

    // What rendering needs of one block.
    struct RenderedBlock
    {
        const TransitionLookup *lookups;
        const CellBasics *cells;
        const CellDraws *draws;
        const std::uint32_t *words;
        std::uint64_t decorated;
        std::uint8_t *cellOut;
    };

    // The common block, inside one terrain: every cell has one lookup, whose
    // hit places no static tile and gives every cell a map tile (or none).
    // The land of all cells is made first, with nothing but the cells
    // changing from one to the next, then the decorated cells' groups are
    // placed, in cell order as renderCells() places them.
    template<bool mapTile>
    void renderOneLookup(const RenderedBlock &block, const CompiledTransition &hit,
                         const MainKeyEntry &main, ColumnWork::Chunk &chunk) const
    {
        const TransitionTile *tiles = hit.mapTiles;
        const FastRemainder tileCount = hit.mapTileCount;
        const int keptFlag = hit.keepsVariation ? CellBasics::randomFlag : 0;
        const bool chanceDraw = m_randomArt && main.staticSet;
        // Words per cell: its own, its hit's, its chance.
        const std::size_t cellWords = 1 + hit.drawCount + (chanceDraw ? 1 : 0);
        const std::uint64_t decorated = block.decorated;
        const std::uint32_t *words = block.words;
        std::uint8_t *cellOut = block.cellOut;
        // The group draw and land altitude of each decorated cell.
        std::uint32_t groupDraws[MapFiles::cellsPerBlock];
        std::int8_t groupZ[MapFiles::cellsPerBlock];
        int groups = 0;
        for (int cell = 0; cell < MapFiles::cellsPerBlock; ++cell) {
            const CellBasics basics = block.cells[cell];
            std::uint16_t tileId = basics.tileId;
            std::int8_t z;
            if constexpr (mapTile) {
                // As resolveTransition(): the cell's own draw, dropped.
                const TransitionTile &tile = tiles[tileCount.of(words[1] >> 1)];
                tileId = tile.tileId;
                z = mapTileAltitude(tile, basics.baseAltitude, basics.flags & keptFlag,
                                    int(words[2] >> 1));
            } else {
                z = ownAltitude(basics.baseAltitude, basics.flags & CellBasics::randomFlag,
                                int(words[0] >> 1));
            }
            MapFiles::writeMapCell(cellOut, tileId, z);
            cellOut += MapFiles::mapCellSize;
            words += cellWords;
            if (decorated >> cell & 1) {
                groupDraws[groups] = *words++ >> 1;
                groupZ[groups++] = z;
            }
        }
        for (std::uint64_t cells = decorated, group = 0; cells; cells &= cells - 1, ++group)
            placeGroup(main, groupDraws[group], std::countr_zero(cells), groupZ[group], chunk);
    }

    // Any other block, a cell at a time. The statics are noted in the order
    // the cells make them and appended afterwards, so that the per-cell
    // loop calls nothing.
    void renderCells(const RenderedBlock &block, ColumnWork::Chunk &chunk) const
    {
        const CompiledTransition *transitions = m_transitions.transitions();
        struct Placement
        {
            // A transition static's tile, or a group's draw.
            std::uint32_t value;
            std::uint32_t main;
            std::uint8_t cell;
            std::int8_t z;
            bool group;
        };
        Placement placements[2 * MapFiles::cellsPerBlock];
        int placed = 0;
        const std::uint32_t *words = block.words;
        std::uint8_t *cellOut = block.cellOut;
        for (int cell = 0; cell < MapFiles::cellsPerBlock; ++cell) {
            const CellBasics basics = block.cells[cell];
            const std::int8_t baseAltitude = basics.baseAltitude;
            const int randomFlag = basics.flags & CellBasics::randomFlag;
            const TransitionLookup lookup = block.lookups[cell];
            const CompiledTransition &hit = transitions[lookup.hit];
            GlibcRandom::Draws draws(words);
            // Drawn for every cell, also without the flag, so that the
            // sequence of draws does not depend on the terrain; a map tile
            // of a hit replaces the altitude it varies.
            LandCell landCell {basics.tileId, baseAltitude};
            if (hit.mapTileCount.divisor() > 0)
                draws.skip(1);
            else
                landCell.z = ownAltitude(baseAltitude, randomFlag, draws.next());

            TransitionStatic transitionStatic;
            resolveTransition(hit, baseAltitude, randomFlag, draws, landCell, transitionStatic);

            MapFiles::writeMapCell(cellOut, landCell.tileId, landCell.z);
            cellOut += MapFiles::mapCellSize;

            if (transitionStatic.present)
                placements[placed++] = {transitionStatic.tileId, 0, std::uint8_t(cell),
                                        transitionStatic.z, false};
            // After the cell's fixed draws, the last its set's chance, the
            // planning found whether it draws a group.
            const std::size_t fixed = block.draws[cell].fixed;
            const bool decorated = block.decorated >> cell & 1;
            if (decorated)
                placements[placed++] = {words[fixed] >> 1, lookup.main, std::uint8_t(cell),
                                        landCell.z, true};
            words += fixed + (decorated ? 1 : 0);
        }
        for (int i = 0; i < placed; ++i) {
            const Placement &placement = placements[i];
            if (placement.group)
                placeGroup(m_transitions.mainEntry(placement.main), placement.value, placement.cell,
                           placement.z, chunk);
            else
                chunk.statics.append(std::uint16_t(placement.value), placement.cell % 8,
                                     placement.cell / 8, placement.z, 0);
        }
    }

    // Places the group that draw r2 picks for a decorated cell of the block,
    // and counts the cell if it got one.
    void placeGroup(const MainKeyEntry &main, std::uint32_t r2, int cell, std::int8_t landZ,
                    ColumnWork::Chunk &chunk) const
    {
        if (placeStaticGroup(m_transitions, main, int(r2), cell % 8, cell / 8, landZ, chunk.statics,
                             chunk.traces)
            > 0)
            ++chunk.decoratedCells[std::size_t(main.staticSetId)];
    }

    // Hands the rendered column's blocks to the writer, each block's
    // structure statics first, and frees its slot.
    bool writeColumn(ColumnPipeline &pipeline, int blockX, MapFileWriter &writer)
    {
        pipeline.waitRendered(blockX);
        const ColumnWork &work = m_columns[blockX % columnSlots];
        if (!writer.writeMapBlocks(work.mapBlocks.data(), m_summary.blocksHigh))
            return false;
        const int blocksHigh = m_summary.blocksHigh;
        for (int firstBlock = 0; firstBlock < blocksHigh;
             firstBlock += ColumnPipeline::blocksPerChunk) {
            const ColumnWork::Chunk &chunk =
                work.chunks[std::size_t(firstBlock / ColumnPipeline::blocksPerChunk)];
            for (const QString &line : chunk.traces)
                m_observer.trace(line);
            for (std::size_t i = 0; i < chunk.decoratedCells.size(); ++i)
                m_decoratedCells[i] += chunk.decoratedCells[i];
            const int endBlock = std::min(blocksHigh, firstBlock + ColumnPipeline::blocksPerChunk);
            // The blocks up to the next that has structure statics go to
            // the writer at once.
            for (int blockY = firstBlock; blockY < endBlock;) {
                const std::size_t start =
                    blockY == firstBlock ? 0 : work.staticsEnd[std::size_t(blockY - 1)];
                const int runEnd = std::min(endBlock, nextStructuredBlock(blockX, blockY));
                if (runEnd > blockY) {
                    const std::size_t *ends = work.staticsEnd.data() + blockY;
                    if (!writer.writeStaticsRun(chunk.statics.data(), start, ends, runEnd - blockY))
                        return false;
                    m_summary.staticsWritten +=
                        qint64(ends[runEnd - blockY - 1] - start) / MapFiles::staticItemSize;
                    blockY = runEnd;
                    continue;
                }
                const QByteArray &structures = *m_structureBlocks[m_nextStructure++].second;
                const std::size_t end = work.staticsEnd[std::size_t(blockY)];
                if (!writer.writeBlockStatics(structures, chunk.statics.data() + start,
                                              static_cast<qsizetype>(end - start)))
                    return false;
                m_summary.staticsWritten +=
                    (structures.size() + qint64(end - start)) / MapFiles::staticItemSize;
                ++blockY;
            }
        }
        pipeline.release(blockX);
        return true;
    }

    // The first block of column blockX from blockY on that has structure
    // statics; blocksHigh when none has. Structure statics of no block on
    // the map are passed over, as a lookup by block number would.
    int nextStructuredBlock(int blockX, int blockY)
    {
        const qint64 columnStart = qint64(blockX) * m_summary.blocksHigh;
        while (m_nextStructure < m_structureBlocks.size()
               && m_structureBlocks[m_nextStructure].first < columnStart + blockY)
            ++m_nextStructure;
        if (m_nextStructure == m_structureBlocks.size())
            return m_summary.blocksHigh;
        return int(std::min<qint64>(m_summary.blocksHigh,
                                    m_structureBlocks[m_nextStructure].first - columnStart));
    }

    // Enters what the tables lack for the block's cells that ask for it,
    // in cell order.
    void enterMissing(int blockX, int blockY, CellBasics *basics)
    {
        for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k) {
            for (int l = 0; l < MapFiles::cellsPerBlockSide; ++l, ++basics) {
                if (basics->flags & CellBasics::needsEntering)
                    *basics = enterMissing(blockX * MapFiles::cellsPerBlockSide + l,
                                           blockY * MapFiles::cellsPerBlockSide + k);
            }
        }
    }

    // Enters what the tables lack for the cell (x, y), in the order the
    // cell asks for it: its altitude, then its terrain's random flag
    // (silently) and tile; returns what the cell then reads from them.
    CellBasics enterMissing(int x, int y)
    {
        const std::uint8_t altitudeIndex = m_altitude.index(x, y);
        const std::uint8_t terrainIndex = m_terrain.index(x, y);
        if (!m_tables.AltitudeTable.contains(altitudeIndex)) {
            m_tables.AltitudeTable.insert(altitudeIndex, 0);
            m_summary.missingAltitude.append({altitudeIndex, 0, QPoint(x, y)});
            m_observer.statusMessage(
                QStringLiteral("Altitude index %1 not present in altitudes.xml")
                    .arg(altitudeIndex));
        }
        if (!m_tables.TerrainRandomTable.contains(terrainIndex))
            m_tables.TerrainRandomTable.insert(terrainIndex, false);
        if (!m_tables.TerrainTable.contains(terrainIndex)) {
            m_tables.TerrainTable.insert(terrainIndex, 0);
            m_summary.missingTerrain.append({terrainIndex, 0, QPoint(x, y)});
            m_observer.statusMessage(
                QStringLiteral("Terrain index %1 not present in terrain.xml").arg(terrainIndex));
        }
        m_liveTables.refresh(m_tables, altitudeIndex, terrainIndex);
        return m_liveTables.basics(altitudeIndex, terrainIndex);
    }

    MapTables &m_tables;
    KeyGrid &m_keyGrid;
    KeyGrid m_workerGrid;
    // Two groups of columns at a time: the columns being prepared span at
    // most two, as none is prepared more than columnSlots - 1 columns ahead
    // of the one being written, which is fewer than a group's width.
    ColumnStrip &stripOf(int blockX) { return m_strips[blockX / ColumnStrip::blockColumns % 2]; }
    ColumnStrip m_strips[2];
    static_assert(columnSlots <= ColumnStrip::blockColumns);
    // Each producer's own, indexed as ColumnPipeline numbers them.
    TransitionFinder::Cache m_lookupCaches[2];
    const TransitionIndex &m_transitions;
    const TransitionFinder m_finder;
    GlibcRandom &m_random;
    const PaletteImage &m_terrain;
    const PaletteImage &m_altitude;
    const bool m_randomArt;
    PassObserver &m_observer;
    PassSummary &m_summary;
    // The tables as they were when the pass started, which the lookups
    // read on either thread, and as they are, which only the draws read.
    FlatTables m_tablesAtStart;
    FlatTables m_liveTables;
    std::vector<qint64> m_decoratedCells;
    // CellDraws' parts per transition and general entry number.
    std::vector<std::uint8_t> m_transitionDraws;
    std::vector<CellDraws> m_mainDraws;
    ColumnWork m_columns[columnSlots];
    // The blocks that have structure statics, by block number, and the
    // next of them to write.
    std::vector<std::pair<int, const QByteArray *>> m_structureBlocks;
    std::size_t m_nextStructure = 0;
};

} // namespace

PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, const QString &terrainPath, const QString &altitudePath,
                       const PassOptions &options, PassObserver &observer,
                       const MapOutputFileFactory &createOutputFile)
{
    PassImages images(terrainPath, altitudePath);
    return processMap(tables, structureStatics, keyGrid, random, images, options, observer,
                      createOutputFile);
}

PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, const PaletteImage &terrain, const QString &terrainPath,
                       const PaletteImage &altitude, const QString &altitudePath,
                       const PassOptions &options, PassObserver &observer,
                       const MapOutputFileFactory &createOutputFile)
{
    PassImages images(terrain, terrainPath, altitude, altitudePath);
    return processMap(tables, structureStatics, keyGrid, random, images, options, observer,
                      createOutputFile);
}

PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, PassImages &images, const PassOptions &options,
                       PassObserver &observer, const MapOutputFileFactory &createOutputFile)
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
    QElapsedTimer phase;
    phase.start();
    // Built while the images are read; no table that it reads changes
    // during the pass.
    const TransitionIndex transitions(tables);
    images.wait();
    const PaletteImage &terrain = images.terrain();
    const PaletteImage &altitude = images.altitude();
    const QString terrainPath = images.terrainPath();
    const QString altitudePath = images.altitudePath();
    summary.timings.readImages = phase.nsecsElapsed();
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
    phase.restart();
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
    MapPass pass(tables, transitions, keyGrid, random, terrain, altitude, options, observer,
                 summary);
    const bool written = pass.writeBlocks(writer, structureStatics);
    pass.countMissingCells();
    // Nothing reads the images any more. Freeing them, tens of megabytes
    // for the largest maps, overlaps the commit, which mostly waits for the
    // disk to let go of the old files.
    std::thread freeing([&images] { images.release(); });
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
    freeing.join();
    summary.timings.blocks = phase.nsecsElapsed();
    summary.timings.writing = writer.writingTime();
    pass.countDecoratedCells();
    observer.progressFinished();
    if (summary.outcome == PassSummary::Outcome::OutputFailed)
        observer.error(summary.errorText);
    return summary;
}
