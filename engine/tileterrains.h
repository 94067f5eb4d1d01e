#pragma once

#include <QHash>
#include <QList>

#include <cstdint>
#include <vector>

struct MapTables;

// Which terrain each land tile id stands for, as the data directory says:
// a terrain's own tile, and every map tile of a transition, which belongs to
// the terrain of the cell it replaces. That cell is the centre of a general
// key, and the east, south and south-east position of a left, top and
// corner key, whose windows are centred on a neighbour of the cell.
class TileTerrains
{
public:
    enum class Origin : std::uint8_t { Unknown, OwnTile, Transition };

    explicit TileTerrains(const MapTables &tables);

    // The terrain palette index of the tile, or -1 when no terrain explains it.
    int terrainOf(std::uint16_t tileId) const { return m_terrains[tileId]; }
    Origin origin(std::uint16_t tileId) const { return m_origins[tileId]; }
    // The terrains a tile of several terrains may stand for, terrainOf()'s
    // answer first: several terrains own it, transitions of several place
    // it, or it is one terrain's own and another's transitions place it (as
    // where one terrain is drawn over another). Empty for any other tile.
    QList<std::uint8_t> candidates(std::uint16_t tileId) const
    {
        return m_candidates.value(tileId);
    }

private:
    std::vector<std::int16_t> m_terrains;
    std::vector<Origin> m_origins;
    QHash<std::uint16_t, QList<std::uint8_t>> m_candidates;
};
