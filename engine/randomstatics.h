#pragma once

#include "glibcrandom.h"
#include "staticsbuffer.h"
#include "transitionindex.h"

#include <cstdint>

#include <QStringList>

// Places the group that draw r2 picks, if every entry falls inside the
// block; the rest of placeRandomStatics, apart from the hot chance test.
int placeStaticGroup(const TransitionIndex &index, const MainKeyEntry &main, int r2, int l, int k,
                     std::int8_t landZ, StaticsBuffer &statics, QStringList &traces);

// Decorates the cell (l, k) of its block with a group of the static set that
// its own transition key selects, if any: draw r decides by the set's
// chance, draw r2 picks a group by weight, and the group is placed whole only
// if every entry falls inside the block. Entries are appended to statics in
// group order, at the land altitude plus their own offset. An entry of tile
// id 0 adds a line to traces. Returns how many statics were written.
inline int placeRandomStatics(const TransitionIndex &index, const MainKeyEntry &main,
                              GlibcRandom::Draws &draws, int l, int k, std::int8_t landZ,
                              StaticsBuffer &statics, QStringList &traces)
{
    if (!main.staticSet || draws.nextBelow(100) >= main.decorationChance)
        return 0;
    return placeStaticGroup(index, main, draws.next(), l, k, landZ, statics, traces);
}
