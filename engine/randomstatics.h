#pragma once

#include "staticsbuffer.h"
#include "transitionindex.h"

#include <cstdint>

#include <QStringList>

// Decorates the cell (l, k) of its block with a group of the static set that
// its own transition key selects, once its chance draw decided for it: draw
// r2 picks a group by weight, and the group is placed whole only if every
// entry falls inside the block. Entries are appended to statics in group
// order, at the land altitude plus their own offset. An entry of tile id 0
// adds a line to traces. Returns how many statics were written.
int placeStaticGroup(const TransitionIndex &index, const MainKeyEntry &main, int r2, int l, int k,
                     std::int8_t landZ, StaticsBuffer &statics, QStringList &traces);
