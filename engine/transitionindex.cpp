#include "transitionindex.h"

#include "data/maptables.h"

const CompiledTransition *TransitionIndex::compile(const TransitionInfo &info)
{
    CompiledTransition compiled;
    compiled.mapTiles = m_tiles.data() + m_tiles.size();
    compiled.mapTileCount = FastRemainder(std::uint32_t(info.mapTiles.size()));
    m_tiles.insert(m_tiles.end(), info.mapTiles.cbegin(), info.mapTiles.cend());
    compiled.staticTiles = m_tiles.data() + m_tiles.size();
    compiled.staticTileCount = FastRemainder(std::uint32_t(info.staticTiles.size()));
    m_tiles.insert(m_tiles.end(), info.staticTiles.cbegin(), info.staticTiles.cend());
    m_transitions.push_back(compiled);
    return &m_transitions.back();
}

void TransitionIndex::indexTable(const TransitionHash &table, PackedKeyMap<CompiledTransition> &map)
{
    map.reserve(table.size());
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (const auto key = PackedKey::fromText(it.key()))
            map.insert(*key, compile(it.value()));
    }
}

TransitionIndex::TransitionIndex(const MapTables &tables)
{
    std::size_t definitions = 0, tiles = 0;
    for (const TransitionHash *table :
         {&tables.TransitionTable, &tables.LeftTransitionTable, &tables.TopTransitionTable,
          &tables.CornerTransitionTable}) {
        definitions += table->size();
        for (const TransitionInfo &info : *table)
            tiles += info.mapTiles.size() + info.staticTiles.size();
    }
    m_tiles.reserve(tiles);
    m_transitions.reserve(definitions);

    indexTable(tables.CornerTransitionTable, m_corner);
    indexTable(tables.LeftTransitionTable, m_left);
    indexTable(tables.TopTransitionTable, m_top);

    // One entry per key of the general table or of the static-set names.
    QHash<QString, MainKeyEntry> entries;
    for (auto it = tables.TransitionTable.cbegin(); it != tables.TransitionTable.cend(); ++it) {
        if (PackedKey::fromText(it.key()))
            entries[it.key()].transition = compile(it.value());
    }
    for (auto it = tables.TransitionFileTable.cbegin(); it != tables.TransitionFileTable.cend();
         ++it) {
        const auto set = tables.StaticSetTable.constFind(it.value());
        if (set == tables.StaticSetTable.cend())
            continue;
        MainKeyEntry &entry = entries[it.key()];
        entry.staticSet = &set.value();
        entry.staticSetId = int(m_staticSetNames.indexOf(it.value()));
        if (entry.staticSetId < 0) {
            entry.staticSetId = int(m_staticSetNames.size());
            m_staticSetNames.append(it.value());
        }
    }
    m_mainEntries.reserve(entries.size());
    QList<PackedKey> keys;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (const auto key = PackedKey::fromText(it.key())) {
            m_mainEntries.push_back(it.value());
            keys.append(*key);
        }
    }
    m_main.reserve(m_mainEntries.size());
    for (std::size_t i = 0; i < m_mainEntries.size(); ++i)
        m_main.insert(keys[qsizetype(i)], &m_mainEntries[i]);
}
