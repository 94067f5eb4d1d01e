#include "mapimport.h"

#include "altitudevariation.h"
#include "data/maptables.h"
#include "mapfiles.h"
#include "mappedfile.h"
#include "mapverification.h"
#include "starterworld.h"
#include "tileterrains.h"
#include "transitionfinder.h"
#include "transitionindex.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

namespace {

// zlib's fastest level: the images of the largest maps encode several
// times faster than at the default level, for files about half as large
// again.
constexpr int pngQuality = 80;

// The altitude palette indexes that explain an altitude: those whose
// altitude plus a random variation the cell may have gives it, preferring
// no variation and then the highest base; and the index of the nearest
// altitude, ties to the lower index.
class AltitudeIndexes
{
public:
    explicit AltitudeIndexes(const PaletteTable<std::int8_t> &table)
    {
        std::array<std::int16_t, 256> exact;
        exact.fill(-1);
        for (int index = 255; index >= 0; --index) {
            if (table.contains(std::uint8_t(index)))
                exact[table.value(std::uint8_t(index)) + 128] = std::int16_t(index);
            m_altitudes[index] = table.value(std::uint8_t(index));
        }
        constexpr int differences[] = {0, -2, -1, 1, 2, 3, 4, 5};
        for (int variation = 0; variation < 3; ++variation) {
            for (int altitude = -128; altitude < 128; ++altitude) {
                for (int difference : differences) {
                    const int index = exact[std::int8_t(altitude - difference) + 128];
                    if (index >= 0 && allowsVariation(AltitudeVariation(variation), difference))
                        m_explaining[variation][altitude + 128].push_back(std::int16_t(index));
                }
            }
        }
        for (int altitude = -128; altitude < 128; ++altitude) {
            int best = -1, bestDistance = std::numeric_limits<int>::max();
            for (int index = 0; index < 256; ++index) {
                if (!table.contains(std::uint8_t(index)))
                    continue;
                const int distance = std::abs(table.value(std::uint8_t(index)) - altitude);
                if (distance < bestDistance) {
                    best = index;
                    bestDistance = distance;
                }
            }
            m_nearest[altitude + 128] = std::int16_t(best);
        }
    }

    // The indexes whose altitude plus the variation gives altitude.
    const std::vector<std::int16_t> &explaining(std::int8_t altitude,
                                                AltitudeVariation variation) const
    {
        return m_explaining[int(variation)][altitude + 128];
    }
    int nearest(std::int8_t altitude) const { return m_nearest[altitude + 128]; }
    int altitude(int index) const { return m_altitudes[index]; }

private:
    std::array<std::vector<std::int16_t>, 256> m_explaining[3];
    std::array<std::int16_t, 256> m_nearest;
    std::array<std::int8_t, 256> m_altitudes;
};

// How the generator sets the altitude of a cell with a tile: its AltIDMod
// and variation where every rule that places the tile sets them alike (an
// unknown tile has 0 and none). Otherwise it depends on the cell's
// transition, and altIdMod, the lowest, serves where that does not place the
// tile.
struct TileAltitude
{
    std::int8_t altIdMod = 0;
    AltitudeVariation variation = AltitudeVariation::None;
    bool needsTransition = false;
};

std::vector<TileAltitude> tileAltitudes(const MapTables &tables)
{
    std::vector<TileAltitude> altitudes(65536);
    std::vector<bool> placed(65536, false);
    const auto place = [&](std::uint16_t tileId, std::int8_t altIdMod,
                           AltitudeVariation variation) {
        TileAltitude &altitude = altitudes[tileId];
        if (!placed[tileId]) {
            altitude = {altIdMod, variation, false};
            placed[tileId] = true;
        } else if (altitude.needsTransition || altitude.altIdMod != altIdMod
                   || altitude.variation != variation) {
            altitude = {std::min(altitude.altIdMod, altIdMod), AltitudeVariation::None, true};
        }
    };
    for (int index = 0; index < 256; ++index) {
        const auto terrain = std::uint8_t(index);
        if (tables.TerrainTable.contains(terrain))
            place(tables.TerrainTable.value(terrain), 0,
                  ownTileVariation(tables.TerrainRandomTable, terrain));
    }
    for (const TransitionHash *table :
         {&tables.TransitionTable, &tables.LeftTransitionTable, &tables.TopTransitionTable,
          &tables.CornerTransitionTable}) {
        for (auto it = table->cbegin(); it != table->cend(); ++it) {
            const auto key = PackedKey::fromText(it.key());
            if (!key)
                continue;
            const AltitudeVariation variation = table == &tables.TransitionTable
                ? generalTransitionVariation(tables.TerrainRandomTable, *key)
                : AltitudeVariation::None;
            for (const TransitionTile &tile : it.value().mapTiles)
                place(tile.tileId, tile.altIdMod, variation);
        }
    }
    return altitudes;
}

QList<QRgb> grayRamp(int size)
{
    QList<QRgb> colours;
    for (int index = 0; index < size; ++index) {
        const int level = size > 1 ? (index * 255 + (size - 1) / 2) / (size - 1) : 0;
        colours.append(qRgb(level, level, level));
    }
    return colours;
}

int highestIndex(const auto &paletteTable)
{
    for (int index = 255; index >= 0; --index) {
        if (paletteTable.contains(std::uint8_t(index)))
            return index;
    }
    return -1;
}

class Importer
{
public:
    Importer(const uchar *map, const MapTables &tables, MapImport &result)
        : m_map(map),
          m_tables(tables),
          m_result(result),
          m_width(result.blocksWide * MapFiles::cellsPerBlockSide),
          m_height(result.blocksHigh * MapFiles::cellsPerBlockSide),
          m_tileTerrains(tables),
          m_tileKinds(65536),
          m_transitions(tables),
          m_finder(m_transitions, false),
          m_terrain(result.terrain.bits()),
          m_terrainStride(result.terrain.bytesPerLine()),
          m_altitude(result.altitude.bits()),
          m_altitudeStride(result.altitude.bytesPerLine())
    {
        for (int tile = 0; tile < 65536; ++tile) {
            const auto id = std::uint16_t(tile);
            const int terrain = m_tileTerrains.terrainOf(id);
            const TileKind kind = terrain < 0                                ? Unknown
                : m_tileTerrains.isAmbiguous(id)                             ? Ambiguous
                : m_tileTerrains.origin(id) == TileTerrains::Origin::OwnTile ? OwnTile
                                                                             : Transition;
            m_tileKinds[tile] = std::uint16_t(kind << 8 | std::max(terrain, 0));
        }
        for (int terrain = 0; terrain < 256; ++terrain) {
            std::uint8_t uniform[4][4];
            std::memset(uniform, terrain, sizeof uniform);
            m_uniformLookups[terrain] = m_finder.findCell(uniform);
        }
    }

    void run()
    {
        Tally tallies[2];
        inHalves([this](int first, int end, Tally &tally) { mapTerrain(first, end, tally); },
                 tallies);
        gather(tallies);
        fillUnknown();
        settleAmbiguous();
        const AltitudeIndexes indexes(m_tables.AltitudeTable);
        const std::vector<TileAltitude> altitudes = tileAltitudes(m_tables);
        inHalves([&](int first, int end,
                     Tally &tally) { mapAltitude(first, end, indexes, altitudes, tally); },
                 tallies);
        m_result.nearestAltitudeCells = tallies[0].nearestAltitude + tallies[1].nearestAltitude;
    }

private:
    enum TileKind { OwnTile, Transition, Ambiguous, Unknown };

    // What one range of block rows found.
    struct Tally
    {
        qint64 ownTileCells = 0;
        qint64 transitionCells = 0;
        qint64 nearestAltitude = 0;
        std::vector<std::uint32_t> ambiguous;
        std::vector<std::uint32_t> unknown;
        // By tile id, once there is an unknown cell.
        std::vector<MapPreview::UnexplainedTile> unknownTiles;
    };

    const uchar *blockCells(int blockX, int blockY) const
    {
        return m_map + (qint64(blockX) * m_result.blocksHigh + blockY) * MapFiles::mapBlockSize + 4;
    }
    const uchar *cellAt(int x, int y) const
    {
        return blockCells(x / MapFiles::cellsPerBlockSide, y / MapFiles::cellsPerBlockSide)
            + ((y % MapFiles::cellsPerBlockSide) * MapFiles::cellsPerBlockSide
               + x % MapFiles::cellsPerBlockSide)
            * MapFiles::mapCellSize;
    }
    std::uint16_t tileAt(int x, int y) const
    {
        const uchar *cell = cellAt(x, y);
        return static_cast<std::uint16_t>(cell[0] | cell[1] << 8);
    }
    std::uint8_t &terrainAt(int x, int y) { return m_terrain[qsizetype(y) * m_terrainStride + x]; }
    std::uint8_t &terrainAt(std::uint32_t position)
    {
        return terrainAt(int(position % std::uint32_t(m_width)),
                         int(position / std::uint32_t(m_width)));
    }

    // Runs work(first, end, tally) on the block rows from first to end, the
    // northern half on a second thread. Blocks go row by row, so that each
    // block's rows of the images follow those of the block before.
    template<typename Work> void inHalves(Work work, Tally (&tallies)[2])
    {
        const int middle = m_result.blocksHigh / 2;
        std::thread north([&] { work(0, middle, tallies[0]); });
        work(middle, m_result.blocksHigh, tallies[1]);
        north.join();
    }

    // Joins the halves' findings in the order of the blocks.
    void gather(Tally (&tallies)[2])
    {
        for (Tally &tally : tallies) {
            m_result.ownTileCells += tally.ownTileCells;
            m_result.transitionCells += tally.transitionCells;
            m_ambiguous.insert(m_ambiguous.end(), tally.ambiguous.cbegin(), tally.ambiguous.cend());
            m_unknown.insert(m_unknown.end(), tally.unknown.cbegin(), tally.unknown.cend());
        }
        m_result.ambiguousCells = qint64(m_ambiguous.size());
        m_result.unknownCells = qint64(m_unknown.size());
        for (std::size_t tile = 0;
             tile < tallies[0].unknownTiles.size() || tile < tallies[1].unknownTiles.size();
             ++tile) {
            MapPreview::UnexplainedTile unknown;
            for (const Tally &tally : tallies) {
                if (tile >= tally.unknownTiles.size() || tally.unknownTiles[tile].cells == 0)
                    continue;
                const MapPreview::UnexplainedTile &part = tally.unknownTiles[tile];
                if (unknown.cells == 0 || readsBefore(part.firstCell, unknown.firstCell))
                    unknown.firstCell = part.firstCell;
                unknown.tileId = part.tileId;
                unknown.cells += part.cells;
            }
            if (unknown.cells > 0)
                m_result.unknownTiles.append(unknown);
        }
    }

    static bool readsBefore(QPoint a, QPoint b)
    {
        return a.y() < b.y() || (a.y() == b.y() && a.x() < b.x());
    }

    // Every cell whose tile names its terrain gets it; ambiguous cells get
    // the likeliest for now, unknown ones are filled in later.
    void mapTerrain(int firstRow, int endRow, Tally &tally)
    {
        for (int blockY = firstRow; blockY < endRow; ++blockY) {
            for (int blockX = 0; blockX < m_result.blocksWide; ++blockX) {
                const uchar *cell = blockCells(blockX, blockY);
                for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k) {
                    const int y = blockY * MapFiles::cellsPerBlockSide + k;
                    std::uint8_t row[MapFiles::cellsPerBlockSide];
                    for (int l = 0; l < MapFiles::cellsPerBlockSide; ++l) {
                        const auto tile = static_cast<std::uint16_t>(cell[0] | cell[1] << 8);
                        cell += MapFiles::mapCellSize;
                        const std::uint16_t kind = m_tileKinds[tile];
                        row[l] = std::uint8_t(kind);
                        if ((kind >> 8) == OwnTile)
                            ++tally.ownTileCells;
                        else if ((kind >> 8) == Transition)
                            ++tally.transitionCells;
                        else
                            noteUncertain(tile, blockX * MapFiles::cellsPerBlockSide + l, y,
                                          kind >> 8, tally);
                    }
                    std::memcpy(&terrainAt(blockX * MapFiles::cellsPerBlockSide, y), row,
                                sizeof row);
                }
            }
        }
    }

    void noteUncertain(std::uint16_t tile, int x, int y, int kind, Tally &tally)
    {
        const std::uint32_t position = std::uint32_t(y) * std::uint32_t(m_width) + std::uint32_t(x);
        if (kind == Ambiguous) {
            tally.ambiguous.push_back(position);
            return;
        }
        tally.unknown.push_back(position);
        if (tally.unknownTiles.empty())
            tally.unknownTiles.resize(65536);
        MapPreview::UnexplainedTile &unknown = tally.unknownTiles[tile];
        if (unknown.cells++ == 0 || readsBefore(QPoint(x, y), unknown.firstCell)) {
            unknown.tileId = tile;
            unknown.firstCell = QPoint(x, y);
        }
    }

    // Unknown cells take the terrain most common among their decided
    // neighbours, growing inwards from the edges of unknown regions one ring
    // at a time, so that a ring sees only what the rings before it decided.
    void fillUnknown()
    {
        if (m_unknown.empty())
            return;
        enum : std::uint8_t { decided, undecided, queued };
        std::vector<std::uint8_t> state(std::size_t(m_width) * std::size_t(m_height), decided);
        for (std::uint32_t position : m_unknown)
            state[position] = undecided;
        std::vector<std::uint32_t> ring, next;
        for (std::uint32_t position : m_unknown) {
            bool besideDecided = false;
            forEachNeighbour(position, [&](std::uint32_t neighbour) {
                besideDecided = besideDecided || state[neighbour] == decided;
            });
            if (besideDecided) {
                ring.push_back(position);
                state[position] = queued;
            }
        }
        if (ring.empty()) {
            // No tile of the map names a terrain.
            for (int index = 0; index < 256; ++index) {
                if (m_tables.TerrainTable.contains(std::uint8_t(index))) {
                    for (std::uint32_t position : m_unknown)
                        terrainAt(position) = std::uint8_t(index);
                    return;
                }
            }
        }
        std::vector<std::uint8_t> terrains;
        while (!ring.empty()) {
            terrains.resize(ring.size());
            for (std::size_t i = 0; i < ring.size(); ++i) {
                std::array<int, 256> votes {};
                forEachNeighbour(ring[i], [&](std::uint32_t neighbour) {
                    if (state[neighbour] == decided)
                        ++votes[terrainAt(neighbour)];
                });
                terrains[i] = std::uint8_t(mostVoted(votes));
            }
            next.clear();
            for (std::size_t i = 0; i < ring.size(); ++i) {
                const std::uint32_t position = ring[i];
                terrainAt(position) = terrains[i];
                state[position] = decided;
                forEachNeighbour(position, [&](std::uint32_t neighbour) {
                    if (state[neighbour] == undecided) {
                        state[neighbour] = queued;
                        next.push_back(neighbour);
                    }
                });
            }
            ring.swap(next);
        }
    }

    template<typename Visit> void forEachNeighbour(std::uint32_t position, Visit visit) const
    {
        const int x = int(position % std::uint32_t(m_width));
        const int y = int(position / std::uint32_t(m_width));
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if ((dx || dy) && nx >= 0 && ny >= 0 && nx < m_width && ny < m_height)
                    visit(std::uint32_t(ny) * std::uint32_t(m_width) + std::uint32_t(nx));
            }
        }
    }

    static int mostVoted(const std::array<int, 256> &votes)
    {
        int best = 0;
        for (int terrain = 1; terrain < 256; ++terrain) {
            if (votes[terrain] > votes[best])
                best = terrain;
        }
        return best;
    }

    // The terrain indexes from (x - 2, y - 2) to (x + 1, y + 1), the cell's
    // own outside the map, as the generator builds a cell's keys.
    void neighbourhood(int x, int y, std::uint8_t out[4][4])
    {
        if (x >= 2 && y >= 2 && x + 1 < m_width && y + 1 < m_height) {
            for (int dy = 0; dy < 4; ++dy)
                std::memcpy(out[dy], &terrainAt(x - 2, y - 2 + dy), 4);
            return;
        }
        const std::uint8_t own = terrainAt(x, y);
        for (int dy = 0; dy < 4; ++dy) {
            for (int dx = 0; dx < 4; ++dx) {
                const int nx = x - 2 + dx, ny = y - 2 + dy;
                out[dy][dx] =
                    nx >= 0 && ny >= 0 && nx < m_width && ny < m_height ? terrainAt(nx, ny) : own;
            }
        }
    }

    // Whether the generator, given the terrains as they stand, may place the
    // cell's tile there again.
    bool explains(int x, int y)
    {
        const std::uint16_t tile = tileAt(x, y);
        const TransitionLookup lookup = lookupAt(x, y);
        if (lookup.hit && lookup.hit->mapTileCount.divisor() > 0) {
            for (std::uint32_t i = 0; i < lookup.hit->mapTileCount.divisor(); ++i) {
                if (lookup.hit->mapTiles[i].tileId == tile)
                    return true;
            }
            return false;
        }
        // A terrain that terrain.xml lacks gets tile id 0, as value() gives.
        return m_tables.TerrainTable.value(terrainAt(x, y)) == tile;
    }

    // The cell's transition, as the generator finds it on the terrains as
    // they stand.
    TransitionLookup lookupAt(int x, int y)
    {
        std::uint8_t n[4][4];
        neighbourhood(x, y, n);
        const std::uint8_t own = n[2][2];
        std::uint32_t rows[4];
        std::memcpy(rows, n, sizeof rows);
        const std::uint32_t uniform = 0x01010101u * own;
        if ((rows[0] ^ uniform) | (rows[1] ^ uniform) | (rows[2] ^ uniform) | (rows[3] ^ uniform))
            return m_finder.findCell(n);
        return m_uniformLookups[own];
    }

    // The cells whose keys see (x, y) whose tiles the terrains explain.
    int explainedAround(int x, int y)
    {
        int count = 0;
        for (int ny = std::max(0, y - 1); ny <= std::min(m_height - 1, y + 2); ++ny) {
            for (int nx = std::max(0, x - 1); nx <= std::min(m_width - 1, x + 2); ++nx)
                count += explains(nx, ny);
        }
        return count;
    }

    // An ambiguous cell takes the candidate under which the generator places
    // its tile again; where that is not one candidate, the one that explains
    // most tiles around it, then the one most common among its neighbours,
    // then the likeliest. A choice changes the keys of the cells around it,
    // so after a second round the ambiguous ones among them are looked at
    // again, until nothing changes (or, should choices keep flipping, a few
    // rounds).
    void settleAmbiguous()
    {
        constexpr int maxRounds = 8;
        std::vector<std::uint32_t> visit = m_ambiguous, changed;
        for (int round = 0; round < maxRounds && !visit.empty(); ++round) {
            changed.clear();
            for (std::uint32_t position : visit) {
                const int x = int(position % std::uint32_t(m_width));
                const int y = int(position / std::uint32_t(m_width));
                const std::uint8_t before = terrainAt(x, y);
                settle(x, y, m_tileTerrains.candidates(tileAt(x, y)));
                if (terrainAt(x, y) != before)
                    changed.push_back(position);
            }
            // Most first choices differ from the likeliest; a second full
            // round is cheaper than finding their neighbours.
            if (round == 0)
                continue;
            visit.clear();
            for (std::uint32_t position : changed) {
                const int x = int(position % std::uint32_t(m_width));
                const int y = int(position / std::uint32_t(m_width));
                for (int ny = std::max(0, y - 2); ny <= std::min(m_height - 1, y + 2); ++ny) {
                    for (int nx = std::max(0, x - 2); nx <= std::min(m_width - 1, x + 2); ++nx) {
                        if (m_tileKinds[tileAt(nx, ny)] >> 8 == Ambiguous)
                            visit.push_back(std::uint32_t(ny) * std::uint32_t(m_width)
                                            + std::uint32_t(nx));
                    }
                }
            }
            std::sort(visit.begin(), visit.end());
            visit.erase(std::unique(visit.begin(), visit.end()), visit.end());
        }
    }

    void settle(int x, int y, const QList<std::uint8_t> &candidates)
    {
        std::uint8_t &terrain = terrainAt(x, y);
        QList<std::uint8_t> placing;
        for (std::uint8_t candidate : candidates) {
            terrain = candidate;
            if (explains(x, y))
                placing.append(candidate);
        }
        if (placing.size() == 1) {
            terrain = placing.constFirst();
            return;
        }
        const QList<std::uint8_t> &choices = placing.isEmpty() ? candidates : placing;
        std::array<int, 256> around {};
        forEachNeighbour(std::uint32_t(y) * std::uint32_t(m_width) + std::uint32_t(x),
                         [&](std::uint32_t neighbour) { ++around[terrainAt(neighbour)]; });
        int bestScore = -1;
        std::uint8_t best = choices.constFirst();
        for (std::uint8_t candidate : choices) {
            terrain = candidate;
            const int score = explainedAround(x, y) * 16 + around[candidate];
            if (score > bestScore) {
                bestScore = score;
                best = candidate;
            }
        }
        terrain = best;
    }

    // Each cell's altitude index; for tiles whose altitude depends on the
    // transition, from the transition as the generator finds it on the
    // imported terrain.
    void mapAltitude(int firstRow, int endRow, const AltitudeIndexes &indexes,
                     const std::vector<TileAltitude> &altitudes, Tally &tally)
    {
        for (int blockY = firstRow; blockY < endRow; ++blockY) {
            for (int blockX = 0; blockX < m_result.blocksWide; ++blockX) {
                const uchar *cell = blockCells(blockX, blockY);
                BlockAltitudes around(cell);
                for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k) {
                    const int y = blockY * MapFiles::cellsPerBlockSide + k;
                    std::uint8_t row[MapFiles::cellsPerBlockSide];
                    for (int l = 0; l < MapFiles::cellsPerBlockSide; ++l) {
                        const int x = blockX * MapFiles::cellsPerBlockSide + l;
                        const auto tile = static_cast<std::uint16_t>(cell[0] | cell[1] << 8);
                        const auto z = static_cast<std::int8_t>(cell[2]);
                        cell += MapFiles::mapCellSize;
                        const auto level = [&] { return around.level(l, k); };
                        const AltitudeChoice<decltype(level)> choice {indexes, z, level};
                        const TileAltitude &altitude = altitudes[tile];
                        const int index = altitude.needsTransition
                            ? altitudeIndex(tile, terrainAt(x, y), lookupAt(x, y),
                                            altitude.altIdMod, choice, tally)
                            : choice.pickOrNearest(static_cast<std::int8_t>(z - altitude.altIdMod),
                                                   altitude.variation, tally);
                        row[l] = std::uint8_t(index);
                    }
                    std::memcpy(m_altitude + qsizetype(y) * m_altitudeStride
                                    + blockX * MapFiles::cellsPerBlockSide,
                                row, sizeof row);
                }
            }
        }
    }

    // The written altitudes of one block, read once a cell of the block needs
    // its neighbours' level. The block's own cells suffice to tell which
    // altitude step a cell is on; the blocks around lie far off in memory.
    class BlockAltitudes
    {
    public:
        explicit BlockAltitudes(const uchar *cells) : m_cells(cells) { }

        // The mean altitude of the cells of the block around cell (l, k),
        // itself included.
        double level(int l, int k)
        {
            if (!m_read) {
                for (int i = 0; i < MapFiles::cellsPerBlock; ++i)
                    m_altitudes[i / 8][i % 8] =
                        static_cast<std::int8_t>(m_cells[i * MapFiles::mapCellSize + 2]);
                m_read = true;
            }
            int sum = 0, count = 0;
            for (int row = std::max(0, k - 1); row <= std::min(7, k + 1); ++row) {
                for (int column = std::max(0, l - 1); column <= std::min(7, l + 1); ++column) {
                    sum += m_altitudes[row][column];
                    ++count;
                }
            }
            return double(sum) / count;
        }

    private:
        const uchar *m_cells;
        bool m_read = false;
        int m_altitudes[MapFiles::cellsPerBlockSide][MapFiles::cellsPerBlockSide];
    };

    // The altitude index of one cell whose altitude z the generator wrote.
    template<typename Level> struct AltitudeChoice
    {
        const AltitudeIndexes &indexes;
        std::int8_t z;
        // The mean altitude around the cell.
        const Level &level;

        // Of the indexes that explain base, the one nearest the level of the
        // cell's neighbourhood: a random variation can reach the next
        // altitude up or down, and painted altitudes change slowly. The
        // level is taken back to the base as z is, less the variation's
        // mean; ties go to the preferred index. -1 when none explains it.
        int pick(std::int8_t base, AltitudeVariation variation) const
        {
            const std::vector<std::int16_t> &candidates = indexes.explaining(base, variation);
            if (candidates.size() < 2)
                return candidates.empty() ? -1 : int(candidates.front());
            const double baseLevel =
                level() - (z - base) - (variation == AltitudeVariation::OwnTile ? 2.5 : 0.0);
            int best = candidates.front();
            for (std::int16_t candidate : candidates) {
                if (std::abs(indexes.altitude(candidate) - baseLevel)
                    < std::abs(indexes.altitude(best) - baseLevel))
                    best = candidate;
            }
            return best;
        }

        int pickOrNearest(std::int8_t base, AltitudeVariation variation, Tally &tally) const
        {
            if (const int index = pick(base, variation); index >= 0)
                return index;
            ++tally.nearestAltitude;
            return indexes.nearest(base);
        }
    };

    // The index whose altitude, with the AltIDMod of the tile in the cell's
    // transition and a variation that allows, gives z; where the
    // transition does not place the tile, fallbackAltIdMod takes its place.
    template<typename Level>
    int altitudeIndex(std::uint16_t tile, std::uint8_t terrain, const TransitionLookup &lookup,
                      std::int8_t fallbackAltIdMod, const AltitudeChoice<Level> &choice,
                      Tally &tally) const
    {
        if (!lookup.hit || lookup.hit->mapTileCount.divisor() == 0) {
            if (m_tables.TerrainTable.value(terrain) == tile)
                return choice.pickOrNearest(
                    choice.z, ownTileVariation(m_tables.TerrainRandomTable, terrain), tally);
            return choice.pickOrNearest(static_cast<std::int8_t>(choice.z - fallbackAltIdMod),
                                        AltitudeVariation::None, tally);
        }
        const AltitudeVariation variation =
            lookup.keepsVariation && m_tables.TerrainRandomTable.value(terrain)
            ? AltitudeVariation::UniformTransition
            : AltitudeVariation::None;
        std::optional<std::int8_t> first;
        for (std::uint32_t i = 0; i < lookup.hit->mapTileCount.divisor(); ++i) {
            const TransitionTile &candidate = lookup.hit->mapTiles[i];
            if (candidate.tileId != tile)
                continue;
            const auto base = static_cast<std::int8_t>(choice.z - candidate.altIdMod);
            if (const int index = choice.pick(base, variation); index >= 0)
                return index;
            first = first.value_or(base);
        }
        return choice.pickOrNearest(
            first.value_or(static_cast<std::int8_t>(choice.z - fallbackAltIdMod)),
            AltitudeVariation::None, tally);
    }

    const uchar *m_map;
    const MapTables &m_tables;
    MapImport &m_result;
    const int m_width;
    const int m_height;
    const TileTerrains m_tileTerrains;
    // Per tile id: its TileKind in the high byte, its terrain in the low.
    std::vector<std::uint16_t> m_tileKinds;
    const TransitionIndex m_transitions;
    const TransitionFinder m_finder;
    // For a cell whose neighbourhood is one terrain, the common case.
    std::array<TransitionLookup, 256> m_uniformLookups;
    uchar *m_terrain;
    const qsizetype m_terrainStride;
    uchar *m_altitude;
    const qsizetype m_altitudeStride;
    std::vector<std::uint32_t> m_ambiguous;
    std::vector<std::uint32_t> m_unknown;
};

} // namespace

QList<QRgb> defaultTerrainPalette()
{
    QList<QRgb> colours = starterTerrainColours();
    // Steps of 137 degrees round the hue circle keep neighbouring indexes
    // apart; three levels of brightness keep equal hues apart.
    for (int index = int(colours.size()); index < 256; ++index)
        colours.append(
            QColor::fromHsv(index * 137 % 360, 200 - index % 2 * 60, 240 - index % 3 * 60).rgb());
    return colours;
}

MapImport importMap(const QString &destination, int mapNumber, int blocksHigh,
                    const MapTables &tables, const QList<QRgb> &colours)
{
    MapImport result;
    const MapVerification verification = verifyMapFiles(destination, mapNumber, blocksHigh);
    result.errorText = unreadableReason(verification);
    if (!result.errorText.isEmpty())
        return result;
    const int terrainSize = highestIndex(tables.TerrainTable) + 1;
    const int altitudeSize = highestIndex(tables.AltitudeTable) + 1;
    if (terrainSize == 0 || altitudeSize == 0) {
        result.errorText =
            QStringLiteral("the data directory defines no %1, so no tile maps back")
                .arg(terrainSize == 0 ? QLatin1String("Terrain in system/terrain.xml")
                                      : QLatin1String("Altitude in system/altitude.xml"));
        return result;
    }
    result.blocksHigh = verification.blocksHigh;
    result.blocksWide = int(verification.blocks / verification.blocksHigh);
    result.cells = verification.blocks * MapFiles::cellsPerBlock;
    result.statics = verification.statics;
    const int width = result.blocksWide * MapFiles::cellsPerBlockSide;
    const int height = result.blocksHigh * MapFiles::cellsPerBlockSide;
    // Cell positions are 32-bit.
    if (result.cells > std::numeric_limits<std::uint32_t>::max()) {
        result.errorText = QStringLiteral("map %1 has %2 cells, more than an import can hold")
                               .arg(mapNumber)
                               .arg(result.cells);
        return result;
    }

    MappedFile map;
    if (!map.open(MapFiles::path(destination, MapFiles::Kind::Map, mapNumber))) {
        result.errorText = QDir::toNativeSeparators(QDir::cleanPath(
                               MapFiles::path(destination, MapFiles::Kind::Map, mapNumber)))
            + QLatin1Char(' ') + map.errorString();
        return result;
    }
    result.terrain = QImage(width, height, QImage::Format_Indexed8);
    result.altitude = QImage(width, height, QImage::Format_Indexed8);
    if (result.terrain.isNull() || result.altitude.isNull()) {
        result.terrain = result.altitude = QImage();
        result.errorText = QStringLiteral("there is not enough memory for two images of %1 x %2 "
                                          "pixels")
                               .arg(width)
                               .arg(height);
        return result;
    }
    Importer(map.data(), tables, result).run();
    // Transition keys may name terrains that terrain.xml lacks; every index
    // in the image needs a colour.
    int highestUsed = 0;
    for (int y = 0; y < height; ++y) {
        const uchar *row = result.terrain.constScanLine(y);
        highestUsed = std::max(highestUsed, int(*std::max_element(row, row + width)));
    }
    const QList<QRgb> defaults = defaultTerrainPalette();
    QList<QRgb> terrainColours = colours.isEmpty() ? defaults : colours;
    while (terrainColours.size() <= std::max(terrainSize - 1, highestUsed))
        terrainColours.append(defaults[terrainColours.size()]);
    result.terrain.setColorTable(terrainColours);
    result.altitude.setColorTable(grayRamp(altitudeSize));
    return result;
}

QStringList importedImagePaths(const QString &directory)
{
    return {QDir(directory).filePath(QStringLiteral("terrain.png")),
            QDir(directory).filePath(QStringLiteral("altitude.png"))};
}

QStringList existingImportedImages(const QString &directory)
{
    QStringList existing;
    for (const QString &path : importedImagePaths(directory)) {
        if (QFileInfo::exists(path))
            existing.append(path);
    }
    return existing;
}

bool saveImportedImages(const MapImport &import, const QString &directory, QString *errorText)
{
    if (!QDir().mkpath(directory)) {
        *errorText = QStringLiteral("Cannot create the directory %1")
                         .arg(QDir::toNativeSeparators(directory));
        return false;
    }
    const QStringList paths = importedImagePaths(directory);
    QSaveFile terrainFile(paths[0]);
    QSaveFile altitudeFile(paths[1]);
    QString reasons[2];
    const auto write = [](QSaveFile &file, const QImage &image, QString &reason) {
        if (!file.open(QIODevice::WriteOnly)) {
            reason = file.errorString();
            return;
        }
        QImageWriter writer(&file, "png");
        writer.setQuality(pngQuality);
        if (!writer.write(image))
            reason = writer.errorString();
    };
    // One image on each core.
    std::thread altitudeWriter([&] { write(altitudeFile, import.altitude, reasons[1]); });
    write(terrainFile, import.terrain, reasons[0]);
    altitudeWriter.join();
    // Neither replaces an older image unless both were written.
    QSaveFile *files[2] = {&terrainFile, &altitudeFile};
    for (int i = 0; i < 2; ++i) {
        if (reasons[0].isEmpty() && reasons[1].isEmpty() && !files[i]->commit())
            reasons[i] = files[i]->errorString();
    }
    for (int i = 0; i < 2; ++i) {
        if (!reasons[i].isEmpty()) {
            *errorText = QStringLiteral("Cannot write %1: %2")
                             .arg(QDir::toNativeSeparators(paths[i]), reasons[i]);
            return false;
        }
    }
    return true;
}
