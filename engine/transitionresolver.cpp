#include "transitionresolver.h"

#include "glibcrandom.h"
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

TransitionLookup findTransition(const TransitionIndex &index, const KeyGrid &grid, int l, int k,
                                bool needMainEntry)
{
    TransitionLookup lookup;
    std::uint8_t n[4][4];
    if (grid.neighbourhood(l, k, n)) {
        const std::uint8_t own = n[2][2];
        lookup.mainIsUniform = true;
        if ((lookup.hit = index.uniformCorner(own)) || (lookup.hit = index.uniformLeft(own))
            || (lookup.hit = index.uniformTop(own))) {
            lookup.roughEdge = true;
            if (needMainEntry)
                lookup.main = index.uniformMain(own);
            return lookup;
        }
        lookup.main = index.uniformMain(own);
        lookup.hit = lookup.main ? lookup.main->info : nullptr;
        return lookup;
    }

    // Window corners in the neighbourhood: corner key (0, 0), left key
    // (1, 0), top key (0, 1) and the cell's own key (1, 1).
    const std::uint8_t own = n[2][2];
    lookup.mainIsUniform = true;
    for (int dy = 1; dy < 4; ++dy)
        for (int dx = 1; dx < 4; ++dx)
            lookup.mainIsUniform = lookup.mainIsUniform && n[dy][dx] == own;
    if ((lookup.hit = index.corner(windowKey(n, 0, 0)))
        || (lookup.hit = index.left(windowKey(n, 1, 0)))
        || (lookup.hit = index.top(windowKey(n, 0, 1)))) {
        lookup.roughEdge = true;
        if (needMainEntry)
            lookup.main = index.main(windowKey(n, 1, 1));
        return lookup;
    }
    lookup.main = index.main(windowKey(n, 1, 1));
    lookup.hit = lookup.main ? lookup.main->info : nullptr;
    return lookup;
}

void resolveTransition(const TransitionLookup &lookup, std::int8_t baseAltitude, int randomFlag,
                       GlibcRandom &random, LandCell &landCell, TransitionStatic &transitionStatic)
{
    if (!lookup.hit)
        return;
    const int flag = lookup.roughEdge || !lookup.mainIsUniform ? 0 : randomFlag;
    const TransitionInfo &info = *lookup.hit;
    if (!info.mapTiles.isEmpty()) {
        const TransitionTile &tile = info.mapTiles[random.next() % info.mapTiles.size()];
        const int r2 = random.next() % 4;
        const int variation = r2 == 0 ? -2 : r2 == 3 ? 2 : 0;
        landCell.tileId = tile.tileId;
        landCell.z = static_cast<std::int8_t>(tile.altIdMod + baseAltitude + flag * variation);
    }
    if (!info.staticTiles.isEmpty()) {
        const TransitionTile &tile = info.staticTiles[random.next() % info.staticTiles.size()];
        transitionStatic.present = true;
        transitionStatic.tileId = tile.tileId;
        transitionStatic.z = static_cast<std::int8_t>(baseAltitude + tile.altIdMod);
    }
}
