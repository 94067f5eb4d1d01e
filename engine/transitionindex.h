#pragma once

#include "data/staticset.h"
#include "data/transitioninfo.h"
#include "fastremainder.h"
#include "packedkeymap.h"

#include <array>
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
    // A general definition whose key is one terrain nine times: its hit
    // keeps the cell's random altitude variation, every other hit drops it.
    bool keepsVariation = false;
    // How many draws a hit makes: two for a map tile, one for a static.
    std::uint8_t drawCount = 0;
};

// A static set's groups as the pass places them: which group a draw picks
// and where in a block each group fits, worked out once rather than for
// every decorated cell.
struct CompiledStaticSet
{
    struct Group
    {
        // Bit 8 k + l set where every entry of the group, placed from the
        // cell (l, k), lands inside the block.
        std::uint64_t fits = 0;
        std::uint32_t firstEntry = 0;
        std::uint32_t entryCount = 0;
        // An entry has tile id 0, which the pass reports.
        bool hasUnused = false;
    };

    // The group at each position of the weighted list, for lists short
    // enough to spell out; empty otherwise.
    std::vector<std::uint32_t> groupAt;
    std::vector<Group> groups;
    // All groups' entries, in group order.
    std::vector<StaticEntry> entries;

    static constexpr qint64 spelledOutLimit = 4096;
};

// What a general transition key selects: its definition, if the general
// table holds the key, and the static set that its definition names, if
// that set is loaded.
struct MainKeyEntry
{
    // TransitionIndex::transition() of the definition; 0 for none.
    std::uint32_t transition = 0;
    const StaticSet *staticSet = nullptr;
    // Position of the set's name in TransitionIndex::staticSetNames().
    int staticSetId = -1;
    // The set's chance, or 0 when it has no group to draw: a cell is
    // decorated when its chance draw modulo 100 is below this.
    int decorationChance = 0;
    // The set's total weight, which a group draw is taken modulo, when it
    // fits 32 bits; divisor 0 otherwise.
    FastRemainder totalWeight;
};

// The transition tables keyed by packed keys, built once before a pass so
// that the per-cell lookups compare integers. Keys compare exactly as their
// text would; a HashKey that no window can produce is left out.
// Definitions and entries are numbered from 1; number 0 stands for none
// and is an empty definition and entry, so that the per-cell loop reads
// "no hit" as a hit that changes nothing. Points into the static sets,
// which must not change while the index is in use.
class TransitionIndex
{
public:
    explicit TransitionIndex(const MapTables &tables);

    // The number of the definition that a table holds for key; 0 when it
    // holds none.
    std::uint32_t corner(PackedKey key) const
    {
        return m_cornerCentres[key.at(4)] ? m_corner.find(key) : 0;
    }
    std::uint32_t left(PackedKey key) const
    {
        return m_leftCentres[key.at(4)] ? m_left.find(key) : 0;
    }
    std::uint32_t top(PackedKey key) const { return m_topCentres[key.at(4)] ? m_top.find(key) : 0; }
    // The number of the general key's entry; 0 when it selects nothing.
    std::uint32_t main(PackedKey key) const { return m_main.find(key); }

    const CompiledTransition &transition(std::uint32_t number) const
    {
        return m_transitions[number];
    }
    const MainKeyEntry &mainEntry(std::uint32_t number) const { return m_mainEntries[number]; }
    // The same, as arrays for the per-cell loop.
    const CompiledTransition *transitions() const { return m_transitions.data(); }
    const MainKeyEntry *mainEntries() const { return m_mainEntries.data(); }
    // The arrays' lengths, number 0 included.
    std::size_t transitionCount() const { return m_transitions.size(); }
    std::size_t mainEntryCount() const { return m_mainEntries.size(); }

    // The names of the static sets that some key selects, and the sets as
    // the pass places them, both by MainKeyEntry::staticSetId.
    const QStringList &staticSetNames() const { return m_staticSetNames; }
    const CompiledStaticSet &staticSet(int staticSetId) const
    {
        return m_staticSets[std::size_t(staticSetId)];
    }

private:
    // The centre codes of a rough-edge table's keys: a window whose centre
    // is none of them needs no probe, which spares most border cells three.
    using Centres = std::array<bool, 256>;

    std::uint32_t compile(const TransitionInfo &info, bool keepsVariation);
    void indexTable(const TransitionHash &table, PackedKeyMap &map, Centres &centres);

    // Reserved in full before the first definition is compiled, so that
    // pointers into it stay valid.
    std::vector<TransitionTile> m_tiles;
    std::vector<CompiledTransition> m_transitions;
    PackedKeyMap m_corner;
    PackedKeyMap m_left;
    PackedKeyMap m_top;
    PackedKeyMap m_main;
    Centres m_cornerCentres {};
    Centres m_leftCentres {};
    Centres m_topCentres {};
    std::vector<MainKeyEntry> m_mainEntries;
    QStringList m_staticSetNames;
    std::vector<CompiledStaticSet> m_staticSets;
};
