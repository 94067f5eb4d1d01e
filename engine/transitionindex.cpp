#include "transitionindex.h"

#include "data/maptables.h"
#include "mapfiles.h"

#include <limits>

namespace {

CompiledStaticSet compileStaticSet(const StaticSet &set)
{
    CompiledStaticSet compiled;
    for (const StaticGroup &group : set.groups) {
        CompiledStaticSet::Group placed;
        placed.firstEntry = std::uint32_t(compiled.entries.size());
        placed.entryCount = std::uint32_t(group.entries.size());
        placed.fits = ~std::uint64_t(0);
        for (const StaticEntry &entry : group.entries) {
            placed.hasUnused = placed.hasUnused || entry.tileId == 0;
            for (int cell = 0; cell < MapFiles::cellsPerBlock; ++cell) {
                const int x = cell % MapFiles::cellsPerBlockSide + entry.x;
                const int y = cell / MapFiles::cellsPerBlockSide + entry.y;
                if (x < 0 || x >= MapFiles::cellsPerBlockSide || y < 0
                    || y >= MapFiles::cellsPerBlockSide)
                    placed.fits &= ~(std::uint64_t(1) << cell);
            }
            compiled.entries.push_back(entry);
        }
        compiled.groups.push_back(placed);
    }
    const WeightedGroups &weighted = set.weightedGroups;
    if (weighted.count() <= CompiledStaticSet::spelledOutLimit) {
        compiled.groupAt.reserve(std::size_t(weighted.count()));
        for (qint64 position = 0; position < weighted.count(); ++position)
            compiled.groupAt.push_back(std::uint32_t(weighted.at(position)));
    }
    return compiled;
}

} // namespace

std::uint32_t TransitionIndex::compile(const TransitionInfo &info, bool keepsVariation)
{
    CompiledTransition compiled;
    compiled.mapTiles = m_tiles.data() + m_tiles.size();
    compiled.mapTileCount = FastRemainder(std::uint32_t(info.mapTiles.size()));
    m_tiles.insert(m_tiles.end(), info.mapTiles.cbegin(), info.mapTiles.cend());
    compiled.staticTiles = m_tiles.data() + m_tiles.size();
    compiled.staticTileCount = FastRemainder(std::uint32_t(info.staticTiles.size()));
    m_tiles.insert(m_tiles.end(), info.staticTiles.cbegin(), info.staticTiles.cend());
    compiled.keepsVariation = keepsVariation;
    compiled.drawCount =
        std::uint8_t((info.mapTiles.isEmpty() ? 0 : 2) + (info.staticTiles.isEmpty() ? 0 : 1));
    m_transitions.push_back(compiled);
    return std::uint32_t(m_transitions.size() - 1);
}

void TransitionIndex::indexTable(const TransitionHash &table, PackedKeyMap &map, Centres &centres)
{
    map.reserve(table.size());
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (const auto key = PackedKey::fromText(it.key())) {
            map.insert(*key, compile(it.value(), false));
            centres[key->at(4)] = true;
        }
    }
}

TransitionIndex::TransitionIndex(const MapTables &tables)
{
    std::size_t definitions = 1, tiles = 0;
    for (const TransitionHash *table :
         {&tables.TransitionTable, &tables.LeftTransitionTable, &tables.TopTransitionTable,
          &tables.CornerTransitionTable}) {
        definitions += table->size();
        for (const TransitionInfo &info : *table)
            tiles += info.mapTiles.size() + info.staticTiles.size();
    }
    m_tiles.reserve(tiles);
    m_transitions.reserve(definitions);
    m_transitions.emplace_back();
    m_mainEntries.emplace_back();

    indexTable(tables.CornerTransitionTable, m_corner, m_cornerCentres);
    indexTable(tables.LeftTransitionTable, m_left, m_leftCentres);
    indexTable(tables.TopTransitionTable, m_top, m_topCentres);

    // One entry per key of the general table or of the static-set names.
    QHash<PackedKey, MainKeyEntry> entries;
    for (auto it = tables.TransitionTable.cbegin(); it != tables.TransitionTable.cend(); ++it) {
        if (const auto key = PackedKey::fromText(it.key()))
            entries[*key].transition = compile(it.value(), *key == PackedKey::uniform(key->at(4)));
    }
    for (auto it = tables.TransitionFileTable.cbegin(); it != tables.TransitionFileTable.cend();
         ++it) {
        const auto set = tables.StaticSetTable.constFind(it.value());
        const auto key = PackedKey::fromText(it.key());
        if (set == tables.StaticSetTable.cend() || !key)
            continue;
        MainKeyEntry &entry = entries[*key];
        entry.staticSet = &set.value();
        entry.decorationChance = set->weightedGroups.isEmpty() ? 0 : set->chance;
        const qint64 weights = set->weightedGroups.count();
        if (weights <= std::numeric_limits<std::uint32_t>::max())
            entry.totalWeight = FastRemainder(std::uint32_t(weights));
        entry.staticSetId = int(m_staticSetNames.indexOf(it.value()));
        if (entry.staticSetId < 0) {
            entry.staticSetId = int(m_staticSetNames.size());
            m_staticSetNames.append(it.value());
            m_staticSets.push_back(compileStaticSet(*set));
        }
    }
    m_mainEntries.reserve(entries.size() + 1);
    m_main.reserve(entries.size());
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        m_mainEntries.push_back(it.value());
        m_main.insert(it.key(), std::uint32_t(m_mainEntries.size() - 1));
    }
}
