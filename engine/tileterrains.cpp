#include "tileterrains.h"

#include "data/maptables.h"
#include "packedkey.h"

#include <algorithm>
#include <array>

namespace {
// Window position (0 to 8, rows first) of the replaced cell in the keys of
// each table.
constexpr int generalCell = 4;
constexpr int leftCell = 5;
constexpr int topCell = 7;
constexpr int cornerCell = 8;
} // namespace

TileTerrains::TileTerrains(const MapTables &tables)
    : m_terrains(65536, -1), m_origins(65536, Origin::Unknown)
{
    // A tile that transitions of several terrains use goes to the terrain
    // that uses it most; ties to the lower palette index.
    QHash<std::uint16_t, std::array<int, 256>> votes;
    const auto count = [&votes](const TransitionHash &table, int cell) {
        for (auto it = table.cbegin(); it != table.cend(); ++it) {
            // Keys that never match place no tiles.
            if (!PackedKey::fromText(it.key()))
                continue;
            const int terrain = it.key().mid(2 * cell, 2).toInt(nullptr, 16);
            for (const TransitionTile &tile : it.value().mapTiles)
                ++votes[tile.tileId][terrain];
        }
    };
    count(tables.TransitionTable, generalCell);
    count(tables.LeftTransitionTable, leftCell);
    count(tables.TopTransitionTable, topCell);
    count(tables.CornerTransitionTable, cornerCell);
    // The terrains whose transitions place each tile, most uses first.
    QHash<std::uint16_t, QList<std::uint8_t>> placedBy;
    for (auto it = votes.cbegin(); it != votes.cend(); ++it) {
        const std::array<int, 256> &perTerrain = it.value();
        QList<std::uint8_t> terrains;
        for (int terrain = 0; terrain < 256; ++terrain) {
            if (perTerrain[terrain] > 0)
                terrains.append(std::uint8_t(terrain));
        }
        std::stable_sort(terrains.begin(), terrains.end(),
                         [&perTerrain](int a, int b) { return perTerrain[a] > perTerrain[b]; });
        m_terrains[it.key()] = terrains.constFirst();
        m_origins[it.key()] = Origin::Transition;
        if (terrains.size() > 1)
            m_candidates.insert(it.key(), terrains);
        placedBy.insert(it.key(), terrains);
    }

    // A terrain's own tile outranks every transition; of two terrains with
    // the same tile the lower index wins.
    QHash<std::uint16_t, QList<std::uint8_t>> owners;
    for (int index = 0; index < 256; ++index) {
        const auto terrain = static_cast<std::uint8_t>(index);
        if (tables.TerrainTable.contains(terrain))
            owners[tables.TerrainTable.value(terrain)].append(terrain);
    }
    for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
        QList<std::uint8_t> terrains = it.value();
        for (std::uint8_t terrain : placedBy.value(it.key())) {
            if (!terrains.contains(terrain))
                terrains.append(terrain);
        }
        m_terrains[it.key()] = terrains.constFirst();
        m_origins[it.key()] = Origin::OwnTile;
        if (terrains.size() > 1)
            m_candidates.insert(it.key(), terrains);
    }
}
