#include "transitionfinder.h"

#include "keygrid.h"

#include <algorithm>
#include <bit>

PackedKey windowKey(const std::uint8_t n[4][4], int row, int column)
{
    const auto code = [&](int dy, int dx) { return std::uint64_t(n[row + dy][column + dx]); };
    PackedKey key;
    key.head = code(0, 0) | code(0, 1) << 8 | code(0, 2) << 16 | code(1, 0) << 24 | code(1, 1) << 32
        | code(1, 2) << 40 | code(2, 0) << 48 | code(2, 1) << 56;
    key.tail = static_cast<std::uint8_t>(code(2, 2));
    return key;
}

TransitionFinder::TransitionFinder(const TransitionIndex &index, bool needMainEntry)
    : m_index(index), m_needMainEntry(needMainEntry)
{
    for (int terrain = 0; terrain < 256; ++terrain)
        m_uniformMain[terrain] = m_index.main(PackedKey::uniform(std::uint8_t(terrain)));
    for (int terrain = 0; terrain < 256; ++terrain) {
        const auto own = static_cast<std::uint8_t>(terrain);
        const PackedKey uniform = PackedKey::uniform(own);
        m_uniform[terrain] = find(uniform, uniform, uniform, uniform, own);
    }
}

std::uint64_t TransitionFinder::findBlock(const KeyGrid &grid, TransitionLookup *out,
                                          Cache *cache) const
{
    const std::uint64_t uniformCells = grid.uniformCells();
    // Over half the blocks of a map lie wholly inside one terrain.
    if (uniformCells == ~std::uint64_t(0)) {
        std::fill_n(out, 64, m_uniform[grid.ownCode(0, 0)]);
        return uniformCells;
    }
    const bool inside = grid.allInside();
    // Every cell first gets the answer for a cell amid its own terrain,
    // then only the cells with a mixed neighbourhood are looked up: a test
    // per cell would be a branch that the processor cannot foresee along a
    // border.
    for (int cell = 0; cell < 64; ++cell)
        out[cell] = m_uniform[grid.ownCode(cell % 8, cell / 8)];
    std::uint8_t n[4][4];
    for (std::uint64_t mixed = ~uniformCells; mixed != 0; mixed &= mixed - 1) {
        const int cell = std::countr_zero(mixed);
        const int l = cell % 8, k = cell / 8;
        const std::uint8_t own = grid.ownCode(l, k);
        // The neighbourhood runs from grid position (l, k) to (l + 3, k + 3);
        // at the map's edges it carries the cell's own code outside.
        if (inside) {
            const auto lookup = [&] {
                return find(grid.insideWindowKey(l, k), grid.insideWindowKey(l, k + 1),
                            grid.insideWindowKey(l + 1, k), grid.insideWindowKey(l + 1, k + 1),
                            own);
            };
            if (!cache) {
                out[cell] = lookup();
                continue;
            }
            std::uint64_t upper, lower;
            grid.neighbourhoodRows(l, k, upper, lower);
            const std::uint64_t hash =
                (upper * 0x9e3779b97f4a7c15ull) ^ (lower * 0xc2b2ae3d27d4eb4full);
            Cache::Entry &entry = cache->m_entries[(hash >> 40) % Cache::size];
            if (entry.upper != upper || entry.lower != lower) {
                entry.upper = upper;
                entry.lower = lower;
                entry.lookup = lookup();
            }
            out[cell] = entry.lookup;
            continue;
        }
        grid.neighbourhood(l, k, n);
        out[cell] = findCell(n);
    }
    return uniformCells;
}

std::uint32_t TransitionFinder::mainEntry(PackedKey mainKey, std::uint8_t own) const
{
    // The key of a cell in its own terrain's midst needs no probe.
    return mainKey == PackedKey::uniform(own) ? m_uniformMain[own] : m_index.main(mainKey);
}

TransitionLookup TransitionFinder::findCell(const std::uint8_t neighbourhood[4][4]) const
{
    return find(windowKey(neighbourhood, 0, 0), windowKey(neighbourhood, 1, 0),
                windowKey(neighbourhood, 0, 1), windowKey(neighbourhood, 1, 1),
                neighbourhood[2][2]);
}

TransitionLookup TransitionFinder::find(PackedKey cornerKey, PackedKey leftKey, PackedKey topKey,
                                        PackedKey mainKey, std::uint8_t own) const
{
    TransitionLookup lookup;
    if ((lookup.hit = m_index.corner(cornerKey)) || (lookup.hit = m_index.left(leftKey))
        || (lookup.hit = m_index.top(topKey))) {
        if (m_needMainEntry)
            lookup.main = mainEntry(mainKey, own);
        return lookup;
    }
    lookup.main = mainEntry(mainKey, own);
    lookup.hit = m_index.mainEntry(lookup.main).transition;
    return lookup;
}

PackedKey ownWindowKey(const KeyGrid &grid, int l, int k)
{
    std::uint8_t n[4][4];
    grid.neighbourhood(l, k, n);
    return windowKey(n, 1, 1);
}
