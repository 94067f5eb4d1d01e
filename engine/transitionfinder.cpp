#include "transitionfinder.h"

#include "keygrid.h"

namespace {

// The key of the 3 x 3 window whose north-west corner is n[row][column].
PackedKey windowKey(const std::uint8_t n[4][4], int row, int column)
{
    const auto at = [&](int dy, int dx) { return std::uint64_t(n[row + dy][column + dx]); };
    PackedKey key;
    key.head = at(0, 0) << 56 | at(0, 1) << 48 | at(0, 2) << 40 | at(1, 0) << 32 | at(1, 1) << 24
        | at(1, 2) << 16 | at(2, 0) << 8 | at(2, 1);
    key.tail = n[row + 2][column + 2];
    return key;
}

} // namespace

TransitionFinder::TransitionFinder(const TransitionIndex &index, bool needMainEntry)
    : m_index(index), m_needMainEntry(needMainEntry)
{
    for (int terrain = 0; terrain < 256; ++terrain) {
        std::uint8_t uniform[4][4];
        for (auto &row : uniform)
            for (auto &code : row)
                code = static_cast<std::uint8_t>(terrain);
        m_uniform[terrain] = find(uniform);
    }
}

void TransitionFinder::findBlock(const KeyGrid &grid, TransitionLookup *out) const
{
    const std::uint64_t uniformCells = grid.uniformCells();
    std::uint8_t n[4][4];
    for (int cell = 0; cell < 64; ++cell) {
        const int l = cell % 8, k = cell / 8;
        if (uniformCells >> cell & 1) {
            out[cell] = m_uniform[grid.ownCode(l, k)];
        } else {
            grid.neighbourhood(l, k, n);
            out[cell] = find(n);
        }
    }
}

TransitionLookup TransitionFinder::find(const std::uint8_t n[4][4]) const
{
    // Window corners in the neighbourhood: corner key (0, 0), left key
    // (1, 0), top key (0, 1) and the cell's own key (1, 1).
    TransitionLookup lookup;
    if ((lookup.hit = m_index.corner(windowKey(n, 0, 0)))
        || (lookup.hit = m_index.left(windowKey(n, 1, 0)))
        || (lookup.hit = m_index.top(windowKey(n, 0, 1)))) {
        if (m_needMainEntry)
            lookup.main = m_index.main(windowKey(n, 1, 1));
        return lookup;
    }
    lookup.main = m_index.main(windowKey(n, 1, 1));
    if (!lookup.main || !lookup.main->info)
        return lookup;
    lookup.hit = lookup.main->info;
    const std::uint8_t own = n[2][2];
    lookup.keepsVariation = true;
    for (int dy = 1; dy < 4; ++dy)
        for (int dx = 1; dx < 4; ++dx)
            lookup.keepsVariation = lookup.keepsVariation && n[dy][dx] == own;
    return lookup;
}
