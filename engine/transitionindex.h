#pragma once

#include "data/staticset.h"
#include "data/transitioninfo.h"
#include "fastremainder.h"
#include "packedkeymap.h"

#include <vector>

struct MapTables;

// A transition definition's tiles as the per-cell loop reads them: all
// definitions' tiles lie side by side in one array.
struct CompiledTransition
{
    const TransitionTile *mapTiles = nullptr;
    FastRemainder mapTileCount;
    const TransitionTile *staticTiles = nullptr;
    FastRemainder staticTileCount;
};

// What a general transition key selects: its definition, if the general
// table holds the key, and the static set that its definition names, if
// that set is loaded.
struct MainKeyEntry
{
    const CompiledTransition *transition = nullptr;
    const StaticSet *staticSet = nullptr;
    // Position of the set's name in TransitionIndex::staticSetNames().
    int staticSetId = -1;
};

// The transition tables keyed by packed keys, built once before a pass so
// that the per-cell lookups compare integers. Keys compare exactly as their
// text would; a HashKey that no window can produce is left out. Points into
// the static sets, which must not change while the index is in use.
class TransitionIndex
{
public:
    explicit TransitionIndex(const MapTables &tables);

    const CompiledTransition *corner(PackedKey key) const { return m_corner.find(key); }
    const CompiledTransition *left(PackedKey key) const { return m_left.find(key); }
    const CompiledTransition *top(PackedKey key) const { return m_top.find(key); }
    const MainKeyEntry *main(PackedKey key) const { return m_main.find(key); }

    // The names of the static sets that some key selects.
    const QStringList &staticSetNames() const { return m_staticSetNames; }

private:
    const CompiledTransition *compile(const TransitionInfo &info);
    void indexTable(const TransitionHash &table, PackedKeyMap<CompiledTransition> &map);

    // Reserved in full before the first definition is compiled, so that
    // pointers into them stay valid.
    std::vector<TransitionTile> m_tiles;
    std::vector<CompiledTransition> m_transitions;
    PackedKeyMap<CompiledTransition> m_corner;
    PackedKeyMap<CompiledTransition> m_left;
    PackedKeyMap<CompiledTransition> m_top;
    PackedKeyMap<MainKeyEntry> m_main;
    std::vector<MainKeyEntry> m_mainEntries;
    QStringList m_staticSetNames;
};
