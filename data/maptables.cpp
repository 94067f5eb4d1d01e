#include "maptables.h"

TransitionHash &MapTables::transitionTable(TransitionKind kind)
{
    switch (kind) {
    case TransitionKind::Left:
        return LeftTransitionTable;
    case TransitionKind::Top:
        return TopTransitionTable;
    case TransitionKind::Corner:
        return CornerTransitionTable;
    case TransitionKind::General:
        break;
    }
    return TransitionTable;
}

namespace {

template<typename Hash> void insertHash(Hash &table, Hash &&loaded)
{
    if (table.isEmpty()) {
        table = std::move(loaded);
        return;
    }
    for (auto it = loaded.cbegin(); it != loaded.cend(); ++it)
        table.insert(it.key(), it.value());
}

} // namespace

void MapTables::insertAll(MapTables &&loaded)
{
    insertHash(TransitionTable, std::move(loaded.TransitionTable));
    TerrainTable.insertAll(loaded.TerrainTable);
    TerrainRandomTable.insertAll(loaded.TerrainRandomTable);
    AltitudeTable.insertAll(loaded.AltitudeTable);
    insertHash(StaticSetTable, std::move(loaded.StaticSetTable));
    insertHash(TransitionFileTable, std::move(loaded.TransitionFileTable));
    insertHash(LeftTransitionTable, std::move(loaded.LeftTransitionTable));
    insertHash(TopTransitionTable, std::move(loaded.TopTransitionTable));
    insertHash(CornerTransitionTable, std::move(loaded.CornerTransitionTable));
}
