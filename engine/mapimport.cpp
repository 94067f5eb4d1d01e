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

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QImageWriter>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <bitset>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <thread>
#include <tuple>
#include <utility>
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
                Range &range = m_explaining[variation][altitude + 128];
                range.begin = std::uint16_t(m_candidates.size());
                for (int difference : differences) {
                    const int index = exact[std::int8_t(altitude - difference) + 128];
                    if (index >= 0 && allowsVariation(AltitudeVariation(variation), difference))
                        m_candidates.push_back(std::int16_t(index));
                }
                range.end = std::uint16_t(m_candidates.size());
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

    // Indexes into the list of candidates.
    struct Range
    {
        std::uint16_t begin = 0;
        std::uint16_t end = 0;

        int size() const { return end - begin; }
    };

    // The indexes whose altitude plus the variation gives altitude.
    Range explaining(std::int8_t altitude, AltitudeVariation variation) const
    {
        return m_explaining[int(variation)][altitude + 128];
    }
    std::span<const std::int16_t> candidates(Range range) const
    {
        return {m_candidates.data() + range.begin, m_candidates.data() + range.end};
    }
    int nearest(std::int8_t altitude) const { return m_nearest[altitude + 128]; }
    int altitude(int index) const { return m_altitudes[index]; }

private:
    // At most 3 x 256 x 8 indexes.
    std::vector<std::int16_t> m_candidates;
    std::array<Range, 256> m_explaining[3];
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

// An empty 8-bit palette image. On Linux its pixels lie in memory the
// kernel may back with huge pages: the estimate's pass reads the images a
// block column at a time, across thousands of rows, and with small pages
// nearly every row it reads costs a miss in the address translation.
QImage indexedImage(int width, int height)
{
#ifdef Q_OS_LINUX
    constexpr std::size_t hugePage = std::size_t(2) << 20;
    // Rows of palette images are padded to four bytes.
    const std::size_t bytesPerLine = (std::size_t(width) + 3) / 4 * 4;
    const std::size_t size =
        (bytesPerLine * std::size_t(height) + hugePage - 1) / hugePage * hugePage;
    if (width > 0 && height > 0) {
        if (void *pixels = std::aligned_alloc(hugePage, size)) {
            madvise(pixels, size, MADV_HUGEPAGE);
            return QImage(
                static_cast<uchar *>(pixels), width, height, qsizetype(bytesPerLine),
                QImage::Format_Indexed8, [](void *owned) { std::free(owned); }, pixels);
        }
        return QImage();
    }
#endif
    return QImage(width, height, QImage::Format_Indexed8);
}

int highestIndex(const auto &paletteTable)
{
    for (int index = 255; index >= 0; --index) {
        if (paletteTable.contains(std::uint8_t(index)))
            return index;
    }
    return -1;
}

// The definition that places a cell's tile: the index's empty one for none.
const CompiledTransition *cellTransition(const TransitionIndex &index,
                                         const TransitionLookup &lookup)
{
    return &index.transition(lookup.hit);
}

// The finder's answers for the neighbourhoods asked about last, by a hash
// of their sixteen indexes: a map has far fewer kinds of border than cells
// at borders, and the mending asks about the same cells again and again.
// One per thread.
class TransitionCache
{
public:
    TransitionCache(const TransitionIndex &index, const TransitionFinder &finder)
        : m_index(index), m_finder(finder)
    {
        // Every entry starts as sixteen zeros, with their answer.
        const std::uint8_t none[4][4] {};
        m_entries.assign(std::size_t(1) << bits,
                         {{0, 0}, cellTransition(index, finder.findCell(none))});
    }

    // rows: the neighbourhood's four rows, each as it lies in memory.
    const CompiledTransition *find(const std::uint32_t rows[4])
    {
        const std::uint64_t key[2] = {std::uint64_t(rows[0]) << 32 | rows[1],
                                      std::uint64_t(rows[2]) << 32 | rows[3]};
        const std::uint64_t hash = key[0] * 0x9e3779b97f4a7c15ull ^ key[1] * 0xc2b2ae3d27d4eb4full;
        Entry &entry = m_entries[hash >> (64 - bits)];
        if (entry.key[0] != key[0] || entry.key[1] != key[1]) {
            std::uint8_t neighbourhood[4][4];
            std::memcpy(neighbourhood, rows, sizeof neighbourhood);
            entry = {{key[0], key[1]}, cellTransition(m_index, m_finder.findCell(neighbourhood))};
        }
        return entry.transition;
    }

private:
    static constexpr int bits = 14;

    struct Entry
    {
        std::uint64_t key[2];
        const CompiledTransition *transition;
    };

    const TransitionIndex &m_index;
    const TransitionFinder &m_finder;
    std::vector<Entry> m_entries;
};

class Importer
{
public:
    Importer(const uchar *map, const MapTables &tables, MapImport &result)
        : m_map(map),
          m_tables(tables),
          m_result(result),
          m_width(result.blocksWide * MapFiles::cellsPerBlockSide),
          m_height(result.blocksHigh * MapFiles::cellsPerBlockSide),
          m_blocksHigh(result.blocksHigh),
          m_tileTerrains(tables),
          m_tileKinds(65536),
          m_transitions(tables),
          m_finder(m_transitions, false),
          m_caches {TransitionCache(m_transitions, m_finder),
                    TransitionCache(m_transitions, m_finder)},
          m_terrain(result.terrain.bits()),
          m_terrainStride(result.terrain.bytesPerLine()),
          m_altitude(result.altitude.bits()),
          m_altitudeStride(result.altitude.bytesPerLine()),
          m_candidateSetOf(65536, -1),
          m_uncertain((std::size_t(m_width) * std::size_t(m_height) + 63) / 64),
          m_transitionCells(m_uncertain.size())
    {
        indexPlacements();
        for (int tile = 0; tile < 65536; ++tile) {
            const auto id = std::uint16_t(tile);
            const int terrain = m_tileTerrains.terrainOf(id);
            const QList<std::uint8_t> candidates = m_tileTerrains.candidates(id);
            const TileKind kind = terrain < 0                                ? Unknown
                : !candidates.isEmpty()                                      ? Uncertain
                : m_tileTerrains.origin(id) == TileTerrains::Origin::OwnTile ? OwnTile
                                                                             : Transition;
            m_tileKinds[tile] = std::uint16_t(kind << 8 | std::max(terrain, 0));
            if (kind == Uncertain) {
                m_candidateSetOf[tile] = std::int32_t(m_candidateSets.size());
                std::bitset<256> &set = m_candidateSets.emplace_back();
                for (std::uint8_t candidate : candidates)
                    set.set(candidate);
            }
        }
        for (int terrain = 0; terrain < 256; ++terrain) {
            std::uint8_t uniform[4][4];
            std::memset(uniform, terrain, sizeof uniform);
            m_uniformTransitions[terrain] =
                cellTransition(m_transitions, m_finder.findCell(uniform));
        }
    }

    void run()
    {
        Tally tallies[2];
        inHalves([this](int first, int end, Tally &tally) { mapTerrain(first, end, tally); },
                 tallies);
        gather(tallies);
        fillUnknown();
        repairUnexplained();
        const AltitudeIndexes indexes(m_tables.AltitudeTable);
        const std::vector<TileAltitude> altitudes = tileAltitudes(m_tables);
        AltitudeAnswers answers[2];
        inHalves(
            [&](int first, int end, Tally &tally) {
                mapAltitude(first, end, indexes, altitudes, m_caches[&tally - tallies],
                            answers[&tally - tallies], tally);
            },
            tallies);
        m_result.nearestAltitudeCells = tallies[0].nearestAltitude + tallies[1].nearestAltitude;
    }

private:
    // Uncertain: a tile that several terrains own, or that transitions of
    // several terrains (or of another terrain than its owner) place.
    enum TileKind { OwnTile, Transition, Uncertain, Unknown };

    // A key that places a tile, and where its window lies: the window of a
    // general key is centred on the cell, that of a left, top or corner key
    // on its west, north or north-west neighbour.
    struct Placement
    {
        PackedKey key;
        TransitionKind kind = TransitionKind::General;

        std::uint8_t code(int position) const
        {
            return std::uint8_t(position < 8 ? key.head >> (8 * position) : key.tail);
        }
        int westOfCell() const
        {
            return kind == TransitionKind::Left || kind == TransitionKind::Corner ? 2 : 1;
        }
        int northOfCell() const
        {
            return kind == TransitionKind::Top || kind == TransitionKind::Corner ? 2 : 1;
        }
    };

    void indexPlacements()
    {
        std::vector<std::pair<std::uint16_t, Placement>> all;
        const std::pair<const TransitionHash *, TransitionKind> tables[] = {
            {&m_tables.TransitionTable, TransitionKind::General},
            {&m_tables.LeftTransitionTable, TransitionKind::Left},
            {&m_tables.TopTransitionTable, TransitionKind::Top},
            {&m_tables.CornerTransitionTable, TransitionKind::Corner}};
        for (const auto &[table, kind] : tables) {
            for (auto it = table->cbegin(); it != table->cend(); ++it) {
                if (const auto key = PackedKey::fromText(it.key())) {
                    for (const TransitionTile &tile : it.value().mapTiles)
                        all.push_back({tile.tileId, {*key, kind}});
                }
            }
        }
        // The tables are hashes; sorted, the order no longer depends on them.
        std::sort(all.begin(), all.end(), [](const auto &a, const auto &b) {
            return std::tie(a.first, a.second.kind, a.second.key.head, a.second.key.tail)
                < std::tie(b.first, b.second.kind, b.second.key.head, b.second.key.tail);
        });
        m_placementStart.assign(65537, 0);
        for (const auto &[tile, placement] : all) {
            ++m_placementStart[tile + 1];
            m_placements.push_back(placement);
            m_placementOwnCodes.push_back(
                placement.code(3 * placement.northOfCell() + placement.westOfCell()));
        }
        for (int tile = 0; tile < 65536; ++tile)
            m_placementStart[tile + 1] += m_placementStart[tile];
    }

    // Whether terrain is one of the uncertain tile's candidates.
    bool mayStandFor(std::uint16_t tile, std::uint8_t terrain) const
    {
        const int set = m_candidateSetOf[tile];
        return set >= 0 && m_candidateSets[std::size_t(set)][terrain];
    }

    bool isUncertain(std::uint32_t position) const
    {
        return m_uncertain[position / 64] >> (position % 64) & 1;
    }
    std::uint32_t positionOf(int x, int y) const
    {
        return std::uint32_t(y) * std::uint32_t(m_width) + std::uint32_t(x);
    }

    // Calls work(cell, part) for the cells of a list in rows order: those
    // of the northern and the southern half at once, on two threads (parts
    // 0 and 1), then those in the rows between them (part 2). Work on a cell
    // reads no further than five rows from it and writes no further than
    // two, so the halves never meet.
    template<typename Work> void inRowBands(const std::vector<std::uint32_t> &cells, Work work)
    {
        const auto at = [&](int row) {
            return std::size_t(std::lower_bound(cells.cbegin(), cells.cend(),
                                                positionOf(0, std::clamp(row, 0, m_height)))
                               - cells.cbegin());
        };
        const std::size_t northEnd = at(m_height / 2 - 4), southBegin = at(m_height / 2 + 4);
        std::thread north([&] {
            for (std::size_t i = 0; i < northEnd; ++i)
                work(cells[i], 0);
        });
        for (std::size_t i = southBegin; i < cells.size(); ++i)
            work(cells[i], 1);
        north.join();
        for (std::size_t i = northEnd; i < southBegin; ++i)
            work(cells[i], 2);
    }

    // Uncertain cells start as their likeliest terrain, which is wrong
    // where, say, a cell is covered by another terrain's tiles; the tiles
    // around it, mostly transition tiles, then do not come back. Each key
    // that places such a tile and agrees with the certain cells of its
    // window proposes terrains for the uncertain ones there; the proposal
    // under which most tiles around come back is taken, for a few rounds
    // over the tiles its changes touch.
    void repairUnexplained()
    {
        constexpr int maxRounds = 4;
        std::vector<std::uint32_t> visit = unexplainedCells();
        std::vector<std::uint32_t> changed[3], unexplained[3];
        // The cells around the changes of a round.
        std::vector<std::uint64_t> around(m_uncertain.size());
        for (int round = 0; round < maxRounds && !visit.empty(); ++round) {
            for (std::vector<std::uint32_t> &part : changed)
                part.clear();
            inRowBands(visit, [&](std::uint32_t position, int part) {
                const int x = int(position % std::uint32_t(m_width));
                const int y = int(position / std::uint32_t(m_width));
                TransitionCache &cache = m_caches[part == 0 ? 0 : 1];
                if (!explains(x, y, cache)) {
                    unexplained[part].push_back(position);
                    repair(x, y, changed[part], cache);
                }
            });
            // Marked a bit per cell, then read back in rows order, each once.
            for (const std::vector<std::uint32_t> &part : changed) {
                for (std::uint32_t position : part) {
                    const int x = int(position % std::uint32_t(m_width));
                    const int y = int(position / std::uint32_t(m_width));
                    forEachAffected(x, y, [&](int nx, int ny) {
                        const std::uint32_t neighbour = positionOf(nx, ny);
                        around[neighbour / 64] |= std::uint64_t(1) << (neighbour % 64);
                    });
                }
            }
            visit.clear();
            for (std::size_t word = 0; word < around.size(); ++word) {
                for (std::uint64_t bits = std::exchange(around[word], 0); bits != 0;
                     bits &= bits - 1) {
                    const auto neighbour = std::uint32_t(word * 64 + std::countr_zero(bits));
                    if (isUncertain(neighbour) || m_tileKinds[tileAt(neighbour)] >> 8 == Transition)
                        visit.push_back(neighbour);
                }
            }
        }
        std::vector<std::uint32_t> seeds;
        for (const std::vector<std::uint32_t> &part : unexplained)
            seeds.insert(seeds.end(), part.cbegin(), part.cend());
        std::sort(seeds.begin(), seeds.end());
        seeds.erase(std::unique(seeds.begin(), seeds.end()), seeds.end());
        followChains(seeds);
    }

    // Where no single key mends a tile, uncertain cells must change
    // together, as a diagonal line of covered cells does: the key that mends
    // one tile breaks the next. Such a chain is followed key by key, a few
    // steps deep, and kept once every tile around its changes is explained.
    static constexpr int maxLength = 6;
    static constexpr int maxSteps = 4096;

    void followChains(const std::vector<std::uint32_t> &seeds)
    {
        for (std::uint32_t seed : seeds) {
            const int x = int(seed % std::uint32_t(m_width));
            const int y = int(seed / std::uint32_t(m_width));
            // Shorter chains first: a long wrong one would use up the steps
            // before a short right one is tried.
            int steps = 0;
            for (int length = 1; length <= maxLength && !explains(x, y, m_caches[1]); ++length) {
                Chain chain;
                chain.steps = &steps;
                if (follow(x, y, length, chain))
                    break;
            }
        }
    }

    struct Chain
    {
        // What the chain has changed, which later steps leave alone, and the
        // cells that see those changes.
        std::vector<std::uint32_t> changed;
        std::vector<std::uint32_t> around;
        int *steps = nullptr;
    };

    // Tries the proposals for the unexplained tile at (x, y) in turn; after
    // one, follows the first tile still unexplained around the chain's
    // changes. True, with the changes made, when none is left.
    bool follow(int x, int y, int length, Chain &chain)
    {
        // The proposals that mend most around them first.
        std::vector<std::pair<int, Changes>> ranked;
        for (Changes &changes : proposals(x, y))
            ranked.push_back({-explainedGain(changes, x, y, m_caches[1]), std::move(changes)});
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &[rank, changes] : ranked) {
            if (++*chain.steps > maxSteps)
                return false;
            const bool revisits =
                std::any_of(changes.cbegin(), changes.cend(), [&](const Change &c) {
                    return std::find(chain.changed.cbegin(), chain.changed.cend(), c.position)
                        != chain.changed.cend();
                });
            if (revisits)
                continue;
            apply(changes, true);
            const std::size_t changedSize = chain.changed.size(), aroundSize = chain.around.size();
            for (const Change &change : changes)
                chain.changed.push_back(change.position);
            const AffectedCells affected = affectedBy(changes);
            chain.around.insert(chain.around.end(), affected.begin(), affected.end());
            const auto next =
                std::find_if(chain.around.cbegin(), chain.around.cend(), [&](std::uint32_t at) {
                    return !explains(int(at % std::uint32_t(m_width)),
                                     int(at / std::uint32_t(m_width)), m_caches[1]);
                });
            if (next == chain.around.cend()
                || (length > 1
                    && follow(int(*next % std::uint32_t(m_width)),
                              int(*next / std::uint32_t(m_width)), length - 1, chain)))
                return true;
            chain.changed.resize(changedSize);
            chain.around.resize(aroundSize);
            apply(changes, false);
        }
        return false;
    }

    // Calls visit(x, y) for every cell whose keys see (cx, cy).
    template<typename Visit> void forEachAffected(int cx, int cy, Visit visit) const
    {
        for (int y = std::max(0, cy - 1); y <= std::min(m_height - 1, cy + 2); ++y) {
            for (int x = std::max(0, cx - 1); x <= std::min(m_width - 1, cx + 2); ++x)
                visit(x, y);
        }
    }

    struct Change
    {
        std::uint32_t position;
        std::uint8_t before;
        std::uint8_t after;
    };
    using Changes = std::vector<Change>;

    // For each key that places the tile of (x, y) and agrees with the
    // certain cells of its window, the changes to the uncertain ones that
    // it asks for; none where it asks for nothing.
    std::vector<Changes> proposals(int x, int y)
    {
        std::vector<Changes> result;
        const std::uint16_t tile = tileAt(x, y);
        const std::uint8_t own = terrainAt(x, y);
        // Most keys fail already at the cell itself.
        const std::bitset<256> *ownMayBe =
            isUncertain(positionOf(x, y)) && m_candidateSetOf[tile] >= 0
            ? &m_candidateSets[std::size_t(m_candidateSetOf[tile])]
            : nullptr;
        Changes changes;
        for (std::uint32_t p = m_placementStart[tile]; p < m_placementStart[tile + 1]; ++p) {
            const std::uint8_t ownCode = m_placementOwnCodes[p];
            if (ownCode != own && !(ownMayBe && (*ownMayBe)[ownCode]))
                continue;
            const Placement &placement = m_placements[p];
            changes.clear();
            bool fits = true;
            for (int i = 0; i < 9 && fits; ++i) {
                const int wx = x - placement.westOfCell() + i % 3;
                const int wy = y - placement.northOfCell() + i / 3;
                const std::uint8_t code = placement.code(i);
                // Outside the map a window holds the cell's own terrain.
                if (wx < 0 || wy < 0 || wx >= m_width || wy >= m_height) {
                    fits = code == ownCode;
                    continue;
                }
                const std::uint32_t position = positionOf(wx, wy);
                if (terrainAt(position) == code)
                    continue;
                fits = isUncertain(position) && mayStandFor(tileAt(wx, wy), code);
                changes.push_back({position, terrainAt(position), code});
            }
            if (fits && !changes.empty())
                result.push_back(changes);
        }
        return result;
    }

    void apply(const Changes &changes, bool forward)
    {
        for (const Change &change : changes)
            terrainAt(change.position) = forward ? change.after : change.before;
    }

    void repair(int x, int y, std::vector<std::uint32_t> &changed, TransitionCache &cache)
    {
        Changes best;
        int bestGain = 0;
        for (const Changes &changes : proposals(x, y)) {
            // Twice the tiles gained, and one for the tile itself: a move
            // that explains it and breaks another lets the next round go on.
            const int gain = explainedGain(changes, x, y, cache);
            if (gain > bestGain) {
                bestGain = gain;
                best = changes;
            }
            // Good enough: it explains more than it breaks, the tile included.
            if (bestGain > 2)
                break;
        }
        apply(best, true);
        for (const Change &change : best)
            changed.push_back(change.position);
    }

    // The cells whose keys see any of the changed cells, in rows order. The
    // changes lie in one key's window, so these fit in six rows of six.
    class AffectedCells
    {
    public:
        void add(std::uint32_t position)
        {
            Q_ASSERT(m_count < int(m_positions.size()));
            m_positions[m_count++] = position;
        }
        const std::uint32_t *begin() const { return m_positions.data(); }
        const std::uint32_t *end() const { return m_positions.data() + m_count; }

    private:
        std::array<std::uint32_t, 36> m_positions;
        int m_count = 0;
    };

    AffectedCells affectedBy(const Changes &changes) const
    {
        int left = m_width, top = m_height;
        for (const Change &change : changes) {
            left = std::min(left, int(change.position % std::uint32_t(m_width)));
            top = std::min(top, int(change.position / std::uint32_t(m_width)));
        }
        // Bit 8 row + column, from one cell north-west of the changes.
        std::uint64_t cells = 0;
        for (const Change &change : changes) {
            forEachAffected(int(change.position % std::uint32_t(m_width)),
                            int(change.position / std::uint32_t(m_width)), [&](int ax, int ay) {
                                cells |= std::uint64_t(1) << ((ay - top + 1) * 8 + ax - left + 1);
                            });
        }
        AffectedCells affected;
        for (; cells != 0; cells &= cells - 1) {
            const int bit = std::countr_zero(cells);
            affected.add(positionOf(left - 1 + bit % 8, top - 1 + bit / 8));
        }
        return affected;
    }

    int explainedAmong(const AffectedCells &positions, TransitionCache &cache)
    {
        int count = 0;
        for (std::uint32_t position : positions)
            count += explains(int(position % std::uint32_t(m_width)),
                              int(position / std::uint32_t(m_width)), cache);
        return count;
    }

    // Twice how many more tiles around the changed cells the terrains
    // explain once the changes are made, and one if (x, y) is among them;
    // the terrains are left as they were.
    int explainedGain(const Changes &changes, int x, int y, TransitionCache &cache)
    {
        const AffectedCells affected = affectedBy(changes);
        const int before = explainedAmong(affected, cache);
        apply(changes, true);
        const int after = explainedAmong(affected, cache);
        const bool fixed = explains(x, y, cache);
        apply(changes, false);
        return 2 * (after - before) + fixed;
    }

    // What one range of block rows found.
    struct Tally
    {
        qint64 ownTileCells = 0;
        qint64 nearestAltitude = 0;
        qint64 uncertainCells = 0;
        qint64 transitionCells = 0;
        std::vector<std::uint32_t> unknown;
        // By tile id, once there is an unknown cell.
        std::vector<MapPreview::UnexplainedTile> unknownTiles;
    };

    const uchar *blockCells(int blockX, int blockY) const
    {
        return m_map + (qint64(blockX) * m_blocksHigh + blockY) * MapFiles::mapBlockSize + 4;
    }
    const uchar *cellAt(int x, int y) const
    {
        // Unsigned, as positions are never negative: the divisions become shifts.
        constexpr unsigned side = MapFiles::cellsPerBlockSide;
        const auto ux = unsigned(x), uy = unsigned(y);
        return blockCells(int(ux / side), int(uy / side))
            + ((uy % side) * side + ux % side) * MapFiles::mapCellSize;
    }
    std::uint16_t tileAt(std::uint32_t position) const
    {
        return tileAt(int(position % std::uint32_t(m_width)),
                      int(position / std::uint32_t(m_width)));
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
    // northern half on a second thread.
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
            m_result.ambiguousCells += tally.uncertainCells;
            m_unknown.insert(m_unknown.end(), tally.unknown.cbegin(), tally.unknown.cend());
        }
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

    // Calls visit(blockX, blockY) for the blocks of the rows from first to
    // end in bands of a few block rows, column by column within a band: the
    // map file holds blocks by columns, the images by rows, and either read
    // across would touch another page for every block or row.
    template<typename Visit>
    static void forEachBlock(int first, int end, int blocksWide, Visit visit)
    {
        constexpr int bandHeight = 16;
        for (int band = first; band < end; band += bandHeight) {
            for (int blockX = 0; blockX < blocksWide; ++blockX) {
                for (int blockY = band; blockY < std::min(band + bandHeight, end); ++blockY)
                    visit(blockX, blockY);
            }
        }
    }

    // Every cell whose tile names its terrain gets it; uncertain cells get
    // the likeliest for now, unknown ones are filled in later.
    void mapTerrain(int firstRow, int endRow, Tally &tally)
    {
        forEachBlock(firstRow, endRow, m_result.blocksWide, [&](int blockX, int blockY) {
            const uchar *cell = blockCells(blockX, blockY);
            for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k) {
                const int y = blockY * MapFiles::cellsPerBlockSide + k;
                std::uint8_t row[MapFiles::cellsPerBlockSide];
                // Bit l for cell l of the row, by kind, and the cells of each.
                unsigned kinds[4] = {};
                int counts[4] = {};
                for (int l = 0; l < MapFiles::cellsPerBlockSide; ++l) {
                    const auto tile = static_cast<std::uint16_t>(cell[0] | cell[1] << 8);
                    cell += MapFiles::mapCellSize;
                    const std::uint16_t kind = m_tileKinds[tile];
                    row[l] = std::uint8_t(kind);
                    kinds[kind >> 8] |= 1u << l;
                    ++counts[kind >> 8];
                }
                for (unsigned unknown = kinds[Unknown]; unknown != 0; unknown &= unknown - 1) {
                    const int l = std::countr_zero(unknown);
                    noteUnknown(tileAt(blockX * MapFiles::cellsPerBlockSide + l, y),
                                blockX * MapFiles::cellsPerBlockSide + l, y, tally);
                }
                const unsigned transitions = kinds[Transition], uncertain = kinds[Uncertain];
                tally.ownTileCells += counts[OwnTile];
                std::memcpy(&terrainAt(blockX * MapFiles::cellsPerBlockSide, y), row, sizeof row);
                // Halves of block rows start on a multiple of 64 cells, so the
                // two threads set bits of different words.
                const std::uint32_t first = positionOf(blockX * MapFiles::cellsPerBlockSide, y);
                m_transitionCells[first / 64] |= std::uint64_t(transitions) << (first % 64);
                m_uncertain[first / 64] |= std::uint64_t(uncertain) << (first % 64);
                tally.transitionCells += counts[Transition];
                tally.uncertainCells += counts[Uncertain];
            }
        });
    }

    void noteUnknown(std::uint16_t tile, int x, int y, Tally &tally)
    {
        const std::uint32_t position = positionOf(x, y);
        tally.unknown.push_back(position);
        if (tally.unknownTiles.empty())
            tally.unknownTiles.resize(65536);
        MapPreview::UnexplainedTile &unknown = tally.unknownTiles[tile];
        if (unknown.cells++ == 0 || readsBefore(QPoint(x, y), unknown.firstCell)) {
            unknown.tileId = tile;
            unknown.firstCell = QPoint(x, y);
        }
    }

    // The cells whose tiles the terrains as they stand do not explain, in
    // rows order: those of transition tiles, and uncertain ones at borders.
    // An uncertain cell amid its likeliest terrain stays that terrain; at a
    // border the neighbours decide. (Cells covered by another terrain may
    // lie behind the border; mending unexplained tiles finds them.) Bands
    // of rows go to the two threads as they ask, so both finish together.
    std::vector<std::uint32_t> unexplainedCells()
    {
        constexpr int bandHeight = 32;
        const int bands = (m_height + bandHeight - 1) / bandHeight;
        std::vector<std::vector<std::uint32_t>> found(static_cast<std::size_t>(bands));
        std::atomic<int> nextBand = 0;
        const auto scan = [&](TransitionCache &cache) {
            for (int band = nextBand++; band < bands; band = nextBand++) {
                for (int y = band * bandHeight; y < std::min((band + 1) * bandHeight, m_height);
                     ++y)
                    scanRow(y, cache, found[std::size_t(band)]);
            }
        };
        std::thread second([&] { scan(m_caches[0]); });
        scan(m_caches[1]);
        second.join();
        std::vector<std::uint32_t> cells;
        for (const std::vector<std::uint32_t> &part : found)
            cells.insert(cells.end(), part.cbegin(), part.cend());
        return cells;
    }

    // Eight cells at a time: rows are a whole number of blocks wide, so
    // their bits share a word. Away from the map's sides the neighbours are
    // compared eight at a time.
    void scanRow(int y, TransitionCache &cache, std::vector<std::uint32_t> &out)
    {
        const auto load8 = [](const uchar *bytes) {
            std::uint64_t word;
            std::memcpy(&word, bytes, sizeof word);
            return word;
        };
        const uchar *rows[3] = {&terrainAt(0, std::max(y - 1, 0)), &terrainAt(0, y),
                                &terrainAt(0, std::min(y + 1, m_height - 1))};
        for (int x = 0; x < m_width; x += 8) {
            const std::uint32_t first = positionOf(x, y);
            const unsigned uncertain = m_uncertain[first / 64] >> (first % 64) & 0xff;
            unsigned look = m_transitionCells[first / 64] >> (first % 64) & 0xff;
            if (uncertain != 0) {
                std::uint8_t differs[8];
                if (x > 0 && x + 8 < m_width) {
                    const std::uint64_t own = load8(rows[1] + x);
                    std::uint64_t any =
                        (load8(rows[1] + x - 1) ^ own) | (load8(rows[1] + x + 1) ^ own);
                    for (const uchar *row : {rows[0], rows[2]})
                        any |= (load8(row + x - 1) ^ own) | (load8(row + x) ^ own)
                            | (load8(row + x + 1) ^ own);
                    std::memcpy(differs, &any, sizeof differs);
                } else {
                    for (int i = 0; i < 8; ++i) {
                        const std::uint8_t own = rows[1][x + i];
                        const int west = std::max(x + i - 1, 0);
                        const int east = std::min(x + i + 1, m_width - 1);
                        differs[i] = 0;
                        for (const uchar *row : rows)
                            differs[i] |= std::uint8_t((row[west] ^ own) | (row[x + i] ^ own)
                                                       | (row[east] ^ own));
                    }
                }
                for (int i = 0; i < 8; ++i)
                    look |= unsigned((uncertain >> i & 1) && differs[i]) << i;
            }
            for (; look != 0; look &= look - 1) {
                const int i = std::countr_zero(look);
                if (!explains(x + i, y, cache))
                    out.push_back(first + std::uint32_t(i));
            }
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
    // own outside the map, as the generator builds a cell's keys: a row of
    // four in each word, as they lie in memory.
    void neighbourhood(int x, int y, std::uint32_t rows[4])
    {
        if (x >= 2 && y >= 2 && x + 1 < m_width && y + 1 < m_height) {
            insideNeighbourhood(x, y, rows);
            return;
        }
        const std::uint8_t own = terrainAt(x, y);
        std::uint8_t n[4][4];
        for (int dy = 0; dy < 4; ++dy) {
            for (int dx = 0; dx < 4; ++dx) {
                const int nx = x - 2 + dx, ny = y - 2 + dy;
                n[dy][dx] =
                    nx >= 0 && ny >= 0 && nx < m_width && ny < m_height ? terrainAt(nx, ny) : own;
            }
        }
        std::memcpy(rows, n, sizeof n);
    }

    // For the eight cells of row y from x on, at least two cells from the
    // west and north edges and eight from the east and one from the south:
    // zero where the cell's neighbourhood holds only its own terrain.
    void differingAround(int x, int y, std::uint8_t differing[8])
    {
        const auto load8 = [](const uchar *bytes) {
            std::uint64_t word;
            std::memcpy(&word, bytes, sizeof word);
            return word;
        };
        const std::uint64_t own = load8(&terrainAt(x, y));
        std::uint64_t any = 0;
        for (int dy = -2; dy <= 1; ++dy) {
            const uchar *row = &terrainAt(x, y + dy);
            any |= (load8(row - 2) ^ own) | (load8(row - 1) ^ own) | (load8(row) ^ own)
                | (load8(row + 1) ^ own);
        }
        std::memcpy(differing, &any, sizeof any);
    }

    // The same for a cell at least two cells from the west and north edges
    // and one from the east and south.
    void insideNeighbourhood(int x, int y, std::uint32_t rows[4])
    {
        const uchar *first = &terrainAt(x - 2, y - 2);
        std::memcpy(&rows[0], first, 4);
        std::memcpy(&rows[1], first + m_terrainStride, 4);
        std::memcpy(&rows[2], first + 2 * m_terrainStride, 4);
        std::memcpy(&rows[3], first + 3 * m_terrainStride, 4);
    }

    // Whether the generator, given the terrains as they stand, may place the
    // cell's tile there again.
    bool explains(int x, int y, TransitionCache &cache)
    {
        const std::uint16_t tile = tileAt(x, y);
        const CompiledTransition *hit = transitionAt(x, y, cache);
        if (hit->mapTileCount.divisor() > 0) {
            for (std::uint32_t i = 0; i < hit->mapTileCount.divisor(); ++i) {
                if (hit->mapTiles[i].tileId == tile)
                    return true;
            }
            return false;
        }
        // A terrain that terrain.xml lacks gets tile id 0, as value() gives.
        return m_tables.TerrainTable.value(terrainAt(x, y)) == tile;
    }

    // The cell's transition, as the generator finds it on the terrains as
    // they stand.
    const CompiledTransition *transitionAt(int x, int y, TransitionCache &cache)
    {
        std::uint32_t rows[4];
        neighbourhood(x, y, rows);
        return transitionOf(rows, terrainAt(x, y), cache);
    }
    // The same from the cell's neighbourhood and own terrain.
    const CompiledTransition *transitionOf(const std::uint32_t rows[4], std::uint8_t own,
                                           TransitionCache &cache)
    {
        const std::uint32_t uniform = 0x01010101u * own;
        if ((rows[0] ^ uniform) | (rows[1] ^ uniform) | (rows[2] ^ uniform) | (rows[3] ^ uniform))
            return cache.find(rows);
        return m_uniformTransitions[own];
    }

    // The written altitudes of one block, read once a cell of the block needs
    // its neighbours' level. The block's own cells suffice to tell which
    // altitude step a cell is on; the blocks around lie far off in memory.
    class BlockAltitudes
    {
    public:
        explicit BlockAltitudes(const uchar *cells) : m_cells(cells) { }

        // The mean altitude of the cells of the block around its cell i,
        // itself included.
        double level(int i)
        {
            if (!m_read)
                read();
            return m_levels[i];
        }

    private:
        static constexpr int side = MapFiles::cellsPerBlockSide;

        void read()
        {
            // Inside a border of zeros, which add nothing to the sums.
            int altitudes[side + 2][side + 2] {};
            const uchar *z = m_cells + 2;
            for (int k = 1; k <= side; ++k) {
                for (int l = 1; l <= side; ++l, z += MapFiles::mapCellSize)
                    altitudes[k][l] = static_cast<std::int8_t>(*z);
            }
            int acrossThree[side + 2][side];
            for (int row = 0; row < side + 2; ++row) {
                for (int l = 0; l < side; ++l)
                    acrossThree[row][l] =
                        altitudes[row][l] + altitudes[row][l + 1] + altitudes[row][l + 2];
            }
            // How many of the nine lie in the block, by row or column.
            constexpr int inBlock[side] = {2, 3, 3, 3, 3, 3, 3, 2};
            for (int k = 0; k < side; ++k) {
                for (int l = 0; l < side; ++l) {
                    const int sum =
                        acrossThree[k][l] + acrossThree[k + 1][l] + acrossThree[k + 2][l];
                    m_levels[k * side + l] = double(sum) / (inBlock[k] * inBlock[l]);
                }
            }
            m_read = true;
        }

        const uchar *m_cells;
        bool m_read = false;
        double m_levels[MapFiles::cellsPerBlock];
    };

    // What a cell's altitude index comes to from its tile, written altitude,
    // terrain and transition: the index, or the candidates among which the
    // level around the cell decides.
    struct AltitudeAnswer
    {
        // -1 while the level decides.
        std::int16_t index = -1;
        // No index explains the altitude; index is the nearest one.
        bool nearest = false;
        // The candidates' base lies this far below the written altitude.
        std::int16_t raise = 0;
        // The variation is a random terrain's own tile's, 0 to 5.
        bool ownTileVariation = false;
        AltitudeIndexes::Range candidates;
    };

    // The answers for the tiles, altitudes, terrains and transitions met
    // last, by a hash of the four: neighbouring cells mostly repeat them.
    // One per thread.
    class AltitudeAnswers
    {
    public:
        AltitudeAnswers() : m_entries(std::size_t(1) << bits) { }

        // make() gives the answer where none is kept.
        template<typename Make>
        const AltitudeAnswer &find(const CompiledTransition *transition, std::uint8_t terrain,
                                   std::uint16_t tile, std::int8_t z, Make make)
        {
            const std::uint64_t key[2] = {
                std::uint64_t(reinterpret_cast<std::uintptr_t>(transition)),
                std::uint64_t(terrain) << 24 | std::uint64_t(tile) << 8 | std::uint8_t(z)};
            const std::uint64_t hash =
                key[0] * 0x9e3779b97f4a7c15ull ^ key[1] * 0xc2b2ae3d27d4eb4full;
            Entry &entry = m_entries[hash >> (64 - bits)];
            if (entry.key[0] != key[0] || entry.key[1] != key[1])
                entry = {{key[0], key[1]}, make()};
            return entry.answer;
        }

    private:
        static constexpr int bits = 12;

        struct Entry
        {
            // All ones, which no key is, while empty.
            std::uint64_t key[2] = {~std::uint64_t(0), ~std::uint64_t(0)};
            AltitudeAnswer answer;
        };

        std::vector<Entry> m_entries;
    };

    // Of the indexes that explain base, the one nearest the level of the
    // cell's neighbourhood: a random variation can reach the next altitude
    // up or down, and painted altitudes change slowly. The level is taken
    // back to the base as z is, less the variation's mean; ties go to the
    // preferred index. None when no index explains it.
    static std::optional<AltitudeAnswer> answerFor(std::int8_t base, std::int8_t z,
                                                   AltitudeVariation variation,
                                                   const AltitudeIndexes &indexes)
    {
        const AltitudeIndexes::Range candidates = indexes.explaining(base, variation);
        if (candidates.size() == 0)
            return std::nullopt;
        AltitudeAnswer answer;
        if (candidates.size() == 1) {
            answer.index = indexes.candidates(candidates).front();
            return answer;
        }
        answer.raise = std::int16_t(z - base);
        answer.ownTileVariation = variation == AltitudeVariation::OwnTile;
        answer.candidates = candidates;
        return answer;
    }

    static AltitudeAnswer answerOrNearest(std::int8_t base, std::int8_t z,
                                          AltitudeVariation variation,
                                          const AltitudeIndexes &indexes)
    {
        if (const std::optional<AltitudeAnswer> answer = answerFor(base, z, variation, indexes))
            return *answer;
        AltitudeAnswer nearest;
        nearest.index = std::int16_t(indexes.nearest(base));
        nearest.nearest = true;
        return nearest;
    }

    // The index whose altitude, with the AltIDMod of the tile in the cell's
    // transition and a variation that allows, gives z; where the
    // transition does not place the tile, fallbackAltIdMod takes its place.
    AltitudeAnswer answerByTransition(std::uint16_t tile, std::uint8_t terrain,
                                      const CompiledTransition *hit, std::int8_t z,
                                      std::int8_t fallbackAltIdMod,
                                      const AltitudeIndexes &indexes) const
    {
        if (hit->mapTileCount.divisor() == 0) {
            if (m_tables.TerrainTable.value(terrain) == tile)
                return answerOrNearest(z, z, ownTileVariation(m_tables.TerrainRandomTable, terrain),
                                       indexes);
            return answerOrNearest(static_cast<std::int8_t>(z - fallbackAltIdMod), z,
                                   AltitudeVariation::None, indexes);
        }
        const AltitudeVariation variation =
            hit->keepsVariation && m_tables.TerrainRandomTable.value(terrain)
            ? AltitudeVariation::UniformTransition
            : AltitudeVariation::None;
        std::optional<std::int8_t> first;
        for (std::uint32_t i = 0; i < hit->mapTileCount.divisor(); ++i) {
            const TransitionTile &candidate = hit->mapTiles[i];
            if (candidate.tileId != tile)
                continue;
            const auto base = static_cast<std::int8_t>(z - candidate.altIdMod);
            if (const std::optional<AltitudeAnswer> answer = answerFor(base, z, variation, indexes))
                return *answer;
            first = first.value_or(base);
        }
        return answerOrNearest(first.value_or(static_cast<std::int8_t>(z - fallbackAltIdMod)), z,
                               AltitudeVariation::None, indexes);
    }

    // The index the answer gives cell i of the block.
    static int resolve(const AltitudeAnswer &answer, const AltitudeIndexes &indexes,
                       BlockAltitudes &around, int i, Tally &tally)
    {
        if (answer.index >= 0) {
            tally.nearestAltitude += answer.nearest;
            return answer.index;
        }
        const std::span<const std::int16_t> candidates = indexes.candidates(answer.candidates);
        const double baseLevel =
            around.level(i) - answer.raise - (answer.ownTileVariation ? 2.5 : 0.0);
        int best = candidates.front();
        double bestDistance = std::abs(indexes.altitude(best) - baseLevel);
        for (std::int16_t candidate : candidates.subspan(1)) {
            const double distance = std::abs(indexes.altitude(candidate) - baseLevel);
            if (distance < bestDistance) {
                best = candidate;
                bestDistance = distance;
            }
        }
        return best;
    }

    // Each cell's altitude index; for tiles whose altitude depends on the
    // transition, from the transition as the generator finds it on the
    // imported terrain.
    void mapAltitude(int firstRow, int endRow, const AltitudeIndexes &indexes,
                     const std::vector<TileAltitude> &altitudes, TransitionCache &cache,
                     AltitudeAnswers &answers, Tally &tally)
    {
        forEachBlock(firstRow, endRow, m_result.blocksWide, [&](int blockX, int blockY) {
            const uchar *cell = blockCells(blockX, blockY);
            BlockAltitudes around(cell);
            // Away from the map's edges the rows around a cell are read as
            // they lie, eight cells at a time.
            const bool inside = blockX > 0 && blockY > 0 && blockX + 1 < m_result.blocksWide
                && blockY + 1 < m_result.blocksHigh;
            const int firstX = blockX * MapFiles::cellsPerBlockSide;
            std::uint8_t indexesOfBlock[MapFiles::cellsPerBlock];
            for (int k = 0, i = 0; k < MapFiles::cellsPerBlockSide; ++k) {
                const int y = blockY * MapFiles::cellsPerBlockSide + k;
                // Zero for the cells of the row whose neighbourhood is their
                // own terrain sixteen times.
                std::uint8_t differing[MapFiles::cellsPerBlockSide];
                if (inside)
                    differingAround(firstX, y, differing);
                const uchar *terrain = &terrainAt(firstX, y);
                for (int l = 0; l < MapFiles::cellsPerBlockSide; ++l, ++i) {
                    const auto tile = static_cast<std::uint16_t>(cell[0] | cell[1] << 8);
                    const auto z = static_cast<std::int8_t>(cell[2]);
                    cell += MapFiles::mapCellSize;
                    const AltitudeAnswer *answer;
                    if (altitudes[tile].needsTransition) {
                        const std::uint8_t own = terrain[l];
                        const CompiledTransition *transition;
                        if (inside && differing[l] == 0) {
                            transition = m_uniformTransitions[own];
                        } else {
                            std::uint32_t rows[4];
                            if (inside)
                                insideNeighbourhood(firstX + l, y, rows);
                            else
                                neighbourhood(firstX + l, y, rows);
                            transition = transitionOf(rows, own, cache);
                        }
                        answer = &answers.find(transition, own, tile, z, [&] {
                            return answerByTransition(tile, own, transition, z,
                                                      altitudes[tile].altIdMod, indexes);
                        });
                    } else {
                        answer = &answers.find(nullptr, 0, tile, z, [&] {
                            const TileAltitude &altitude = altitudes[tile];
                            return answerOrNearest(static_cast<std::int8_t>(z - altitude.altIdMod),
                                                   z, altitude.variation, indexes);
                        });
                    }
                    indexesOfBlock[i] = std::uint8_t(resolve(*answer, indexes, around, i, tally));
                }
            }
            for (int k = 0; k < MapFiles::cellsPerBlockSide; ++k)
                std::memcpy(
                    m_altitude
                        + qsizetype(blockY * MapFiles::cellsPerBlockSide + k) * m_altitudeStride
                        + blockX * MapFiles::cellsPerBlockSide,
                    indexesOfBlock + k * MapFiles::cellsPerBlockSide, MapFiles::cellsPerBlockSide);
        });
    }

    const uchar *m_map;
    const MapTables &m_tables;
    MapImport &m_result;
    const int m_width;
    const int m_height;
    const int m_blocksHigh;
    const TileTerrains m_tileTerrains;
    // Per tile id: its TileKind in the high byte, its terrain in the low.
    std::vector<std::uint16_t> m_tileKinds;
    const TransitionIndex m_transitions;
    const TransitionFinder m_finder;
    // For a cell whose neighbourhood is one terrain, the common case.
    std::array<const CompiledTransition *, 256> m_uniformTransitions;
    // The second thread's, then this thread's.
    TransitionCache m_caches[2];
    uchar *m_terrain;
    const qsizetype m_terrainStride;
    uchar *m_altitude;
    const qsizetype m_altitudeStride;
    // The cells of tiles no terrain explains.
    std::vector<std::uint32_t> m_unknown;
    // Every key that places a tile, by tile: those of tile t from
    // m_placementStart[t] to m_placementStart[t + 1].
    std::vector<Placement> m_placements;
    // The code each placement asks of the cell itself, for a quick look.
    std::vector<std::uint8_t> m_placementOwnCodes;
    std::vector<std::uint32_t> m_placementStart;
    // The candidates of each uncertain tile, by tile: -1 for the others.
    std::vector<std::int32_t> m_candidateSetOf;
    std::vector<std::bitset<256>> m_candidateSets;
    // One bit per cell, rows first: the cells whose terrain is uncertain,
    // and those of a transition tile of one terrain.
    std::vector<std::uint64_t> m_uncertain;
    std::vector<std::uint64_t> m_transitionCells;
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
    result.terrain = indexedImage(width, height);
    result.altitude = indexedImage(width, height);
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

QList<DesignerFile> importedImageFiles(const MapImport &import, const QString &directory,
                                       QString *errorText)
{
    const QStringList paths = importedImagePaths(directory);
    QList<DesignerFile> files {{paths[0], {}}, {paths[1], {}}};
    QString reasons[2];
    const auto encode = [](const QImage &image, QByteArray &bytes, QString &reason) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        writer.setQuality(pngQuality);
        if (!writer.write(image))
            reason = writer.errorString();
    };
    // One image on each core.
    std::thread altitudeEncoder([&] { encode(import.altitude, files[1].contents, reasons[1]); });
    encode(import.terrain, files[0].contents, reasons[0]);
    altitudeEncoder.join();
    for (int i = 0; i < 2; ++i) {
        if (!reasons[i].isEmpty()) {
            *errorText = QStringLiteral("cannot encode %1: %2")
                             .arg(QDir::toNativeSeparators(paths[i]), reasons[i]);
            return {};
        }
    }
    return files;
}
