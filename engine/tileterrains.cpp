#include "tileterrains.h"

#include "data/maptables.h"
#include "packedkey.h"

#include <QHash>

#include <array>

namespace {
// Window position (0 to 8, rows first) of the replaced cell in the keys of
// each table.
constexpr int generalCell = 4;
constexpr int leftCell = 5;
constexpr int topCell = 7;
constexpr int cornerCell = 8;
} // namespace

TileTerrains::TileTerrains(const MapTables &tables) : m_terrains(65536, -1)
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
    for (auto it = votes.cbegin(); it != votes.cend(); ++it) {
        const std::array<int, 256> &perTerrain = it.value();
        int best = 0;
        for (int terrain = 1; terrain < 256; ++terrain) {
            if (perTerrain[terrain] > perTerrain[best])
                best = terrain;
        }
        m_terrains[it.key()] = std::int16_t(best);
    }

    // A terrain's own tile outranks every transition; of two terrains with
    // the same tile the lower index wins, hence the descending order.
    for (int index = 255; index >= 0; --index) {
        const auto terrain = static_cast<std::uint8_t>(index);
        if (tables.TerrainTable.contains(terrain))
            m_terrains[tables.TerrainTable.value(terrain)] = std::int16_t(index);
    }
}
