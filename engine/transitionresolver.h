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

// The transition that applies to a cell, found from its four keys, as
// numbers in the TransitionIndex.
struct TransitionLookup
{
    // The definition of the first table holding its key, in the order
    // corner, left, top, general; 0 when none does.
    std::uint32_t hit = 0;
    // The entry that the cell's own key selects in the general table and
    // the static sets; looked up for a general hit, and for every cell when
    // asked for. 0 for none.
    std::uint32_t main = 0;
};

// The altitude of a cell without a map tile: its own draw's variation, 0 to
// 5, where its random flag is set.
inline std::int8_t ownAltitude(std::int8_t baseAltitude, int randomFlag, int ownDraw)
{
    // Draws are never negative, so the unsigned remainder is theirs, and
    // cheaper.
    return static_cast<std::int8_t>(baseAltitude + randomFlag * int(unsigned(ownDraw) % 6u));
}

// The altitude that a hit's map tile gives a cell: the tile's offset on the
// base altitude, and draw r2's variation (-2, 0 or +2) where the hit keeps
// it (keptFlag is then the cell's random flag, else 0).
inline std::int8_t mapTileAltitude(const TransitionTile &tile, std::int8_t baseAltitude,
                                   int keptFlag, int r2Draw)
{
    // Looked up: the draw is random, so a branch on it would often be
    // mispredicted.
    static constexpr std::int8_t variations[4] = {-2, 0, 0, 2};
    const int variation = variations[unsigned(r2Draw) % 4u];
    return static_cast<std::int8_t>(tile.altIdMod + baseAltitude + keptFlag * variation);
}

// Applies a hit to the cell: the map tile (draws r1 and r2) and the static
// tile (draw r3), each only when its list is not empty. The cell's own draw
// has already been made; its variation is dropped by a map tile.
inline void resolveTransition(const CompiledTransition &hit, std::int8_t baseAltitude,
                              int randomFlag, GlibcRandom::Draws &draws, LandCell &landCell,
                              TransitionStatic &transitionStatic)
{
    if (hit.mapTileCount.divisor() > 0) {
        const TransitionTile &tile = hit.mapTiles[draws.nextBelow(hit.mapTileCount)];
        const int r2 = draws.next();
        landCell.tileId = tile.tileId;
        landCell.z = mapTileAltitude(tile, baseAltitude, hit.keepsVariation ? randomFlag : 0, r2);
    }
    if (hit.staticTileCount.divisor() > 0) {
        const TransitionTile &tile = hit.staticTiles[draws.nextBelow(hit.staticTileCount)];
        transitionStatic.present = true;
        transitionStatic.tileId = tile.tileId;
        transitionStatic.z = static_cast<std::int8_t>(baseAltitude + tile.altIdMod);
    }
}
