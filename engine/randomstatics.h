#pragma once

#include <cstdint>
#include <vector>

class GlibcRandom;
class PassObserver;
class TransitionIndex;
struct MainKeyEntry;

// Decorates the cell (l, k) of its block with a group of the static set that
// its own transition key selects, if any: draw r decides by the set's
// chance, draw r2 picks a group by weight, and the group is placed whole only
// if every entry falls inside the block. Entries are appended to statics in
// group order, at the land altitude plus their own offset. Returns how many
// statics were written.
int placeRandomStatics(const TransitionIndex &index, const MainKeyEntry *main, GlibcRandom &random,
                       int l, int k, std::int8_t landZ, std::vector<std::uint8_t> &statics,
                       PassObserver &observer);
