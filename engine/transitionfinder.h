#pragma once

#include "transitionresolver.h"

#include <array>
#include <vector>

class KeyGrid;

// Finds the transition of every cell of a block from its key grid: the
// first of the corner, left, top and general tables that holds the cell's
// key for it. Draws nothing, so it can run ahead of the pass, on any number
// of threads at once.
class TransitionFinder
{
public:
    // needMainEntry: also look up every cell's own key in the general table
    // and static sets when a rough-edge table already answered (random art).
    TransitionFinder(const TransitionIndex &index, bool needMainEntry);

    // Remembers the lookups of recent neighbourhoods: along a border the
    // same 4 x 4 neighbourhood comes back again and again, and is then
    // answered without building its four keys and probing the tables. Each
    // thread that finds keeps its own.
    class Cache
    {
    public:
        Cache() : m_entries(size) { }

    private:
        friend class TransitionFinder;
        static constexpr std::size_t size = 4096;
        // Rows 0 and 1, rows 2 and 3 of a neighbourhood; never uniform, so
        // all zeros marks an empty entry.
        struct Entry
        {
            std::uint64_t upper = 0;
            std::uint64_t lower = 0;
            TransitionLookup lookup;
        };
        std::vector<Entry> m_entries;
    };

    // The lookups of the block's 64 cells, in cell order. Returns
    // grid.uniformCells(), which it needs anyway.
    std::uint64_t findBlock(const KeyGrid &grid, TransitionLookup *out,
                            Cache *cache = nullptr) const;
    // The lookup of one cell from its neighbourhood, the indexes from
    // (x - 2, y - 2) to (x + 1, y + 1) rows first, as KeyGrid::neighbourhood
    // gives them.
    TransitionLookup findCell(const std::uint8_t neighbourhood[4][4]) const;

private:
    // The first table holding its key; the cell's own key also selects its
    // static set.
    TransitionLookup find(PackedKey cornerKey, PackedKey leftKey, PackedKey topKey,
                          PackedKey mainKey, std::uint8_t own) const;
    std::uint32_t mainEntry(PackedKey mainKey, std::uint8_t own) const;

    const TransitionIndex &m_index;
    bool m_needMainEntry;
    // The answer for a cell whose whole neighbourhood is one terrain, the
    // common case, per terrain index; and the entry of a key that is the
    // terrain nine times.
    std::array<TransitionLookup, 256> m_uniform;
    std::array<std::uint32_t, 256> m_uniformMain;
};

// The key of the 3 x 3 window of a cell's 4 x 4 neighbourhood whose
// north-west corner is n[row][column]: (0, 0) for the corner table, (1, 0)
// for the left, (0, 1) for the top and (1, 1) for the general table.
PackedKey windowKey(const std::uint8_t n[4][4], int row, int column);

// The general table's key of the block's cell (l, k): its own 3 x 3 window,
// built as findBlock builds it.
PackedKey ownWindowKey(const KeyGrid &grid, int l, int k);
