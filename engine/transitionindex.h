#pragma once

#include "data/staticset.h"
#include "data/transitioninfo.h"
#include "packedkeymap.h"

#include <vector>

struct MapTables;

// What a general transition key selects: its definition, if the general
// table holds the key, and the static set that its definition names, if
// that set is loaded.
struct MainKeyEntry
{
    const TransitionInfo *info = nullptr;
    const StaticSet *staticSet = nullptr;
    // Position of the set's name in TransitionIndex::staticSetNames().
    int staticSetId = -1;
};

// The transition tables keyed by packed keys, built once before a pass so
// that the per-cell lookups compare integers. Keys compare exactly as their
// text would; a HashKey that no window can produce is left out. Points into
// the tables, which must not change while the index is in use.
class TransitionIndex
{
public:
    explicit TransitionIndex(const MapTables &tables);

    const TransitionInfo *corner(PackedKey key) const { return m_corner.find(key); }
    const TransitionInfo *left(PackedKey key) const { return m_left.find(key); }
    const TransitionInfo *top(PackedKey key) const { return m_top.find(key); }
    const MainKeyEntry *main(PackedKey key) const { return m_main.find(key); }

    // The names of the static sets that some key selects.
    const QStringList &staticSetNames() const { return m_staticSetNames; }

private:
    PackedKeyMap<TransitionInfo> m_corner;
    PackedKeyMap<TransitionInfo> m_left;
    PackedKeyMap<TransitionInfo> m_top;
    PackedKeyMap<MainKeyEntry> m_main;
    std::vector<MainKeyEntry> m_mainEntries;
    QStringList m_staticSetNames;
};
