#pragma once

#include "glibcrandom.h"
#include "transitionindex.h"

#include <cstdint>

// The land record of one cell as it will be written.
struct LandCell
{
    std::uint16_t tileId = 0;
    std::int8_t z = 0;
};

// The transition static of a cell, if a transition hit gave it one.
struct TransitionStatic
{
    bool present = false;
    std::uint16_t tileId = 0;
    std::int8_t z = 0;
};

// The transition that applies to a cell, found from its four keys.
struct TransitionLookup
{
    // The first table holding its key, in the order corner, left, top,
    // general; null when none does.
    const CompiledTransition *hit = nullptr;
    // What the cell's own key selects in the general table and the static
    // sets; looked up for a general hit, and for every cell when asked for.
    const MainKeyEntry *main = nullptr;
    // A general hit on a window that is the cell's terrain nine times keeps
    // the random altitude variation; every other hit drops it.
    bool keepsVariation = false;
};

// Applies a hit to the cell: the map tile (draws r1 and r2) and the static
// tile (draw r3), each only when its list is not empty.
inline void resolveTransition(const TransitionLookup &lookup, std::int8_t baseAltitude,
                              int randomFlag, GlibcRandom &random, LandCell &landCell,
                              TransitionStatic &transitionStatic)
{
    if (!lookup.hit)
        return;
    const CompiledTransition &hit = *lookup.hit;
    if (hit.mapTileCount.divisor() > 0) {
        const TransitionTile &tile = hit.mapTiles[random.nextBelow(hit.mapTileCount)];
        const int r2 = random.nextBelow(4);
        const int variation = r2 == 0 ? -2 : r2 == 3 ? 2 : 0;
        const int flag = lookup.keepsVariation ? randomFlag : 0;
        landCell.tileId = tile.tileId;
        landCell.z = static_cast<std::int8_t>(tile.altIdMod + baseAltitude + flag * variation);
    }
    if (hit.staticTileCount.divisor() > 0) {
        const TransitionTile &tile = hit.staticTiles[random.nextBelow(hit.staticTileCount)];
        transitionStatic.present = true;
        transitionStatic.tileId = tile.tileId;
        transitionStatic.z = static_cast<std::int8_t>(baseAltitude + tile.altIdMod);
    }
}
