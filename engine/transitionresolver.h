#pragma once

#include "transitionindex.h"

#include <cstdint>

class GlibcRandom;
class KeyGrid;

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
    const TransitionInfo *hit = nullptr;
    bool roughEdge = false;
    // Whether the cell's own window is its terrain index nine times.
    bool mainIsUniform = false;
    // What the cell's own key selects in the general table and the static
    // sets; only looked up when needed (a general hit, or needMainEntry).
    const MainKeyEntry *main = nullptr;
};

TransitionLookup findTransition(const TransitionIndex &index, const KeyGrid &grid, int l, int k,
                                bool needMainEntry);

// Applies a hit to the cell: the map tile (draws r1 and r2) and the static
// tile (draw r3), each only when its list is not empty. A rough-edge hit,
// and a general hit where the cell's window is not uniform, drop the random
// altitude variation.
void resolveTransition(const TransitionLookup &lookup, std::int8_t baseAltitude, int randomFlag,
                       GlibcRandom &random, LandCell &landCell, TransitionStatic &transitionStatic);
