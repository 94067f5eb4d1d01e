#include "transitionindex.h"

#include "data/maptables.h"

namespace {

void indexTable(const TransitionHash &table, PackedKeyMap<TransitionInfo> &map)
{
    map.reserve(table.size());
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (const auto key = PackedKey::fromText(it.key()))
            map.insert(*key, &it.value());
    }
}

} // namespace

TransitionIndex::TransitionIndex(const MapTables &tables)
{
    indexTable(tables.CornerTransitionTable, m_corner);
    indexTable(tables.LeftTransitionTable, m_left);
    indexTable(tables.TopTransitionTable, m_top);

    // One entry per key of the general table or of the static-set names.
    QHash<QString, MainKeyEntry> entries;
    for (auto it = tables.TransitionTable.cbegin(); it != tables.TransitionTable.cend(); ++it)
        entries[it.key()].info = &it.value();
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
