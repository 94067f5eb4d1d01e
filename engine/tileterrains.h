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
    Origin origin(std::uint16_t tileId) const { return Origin(m_origins[tileId] & originMask); }
    // Whether several terrains own the tile or, for a tile that only
    // transitions place, transitions of several terrains place it.
    bool isAmbiguous(std::uint16_t tileId) const { return m_origins[tileId] & ambiguousFlag; }
    // Whether the tile is one terrain's own and transitions of another
    // terrain place it too, as where one terrain is drawn over another.
    bool isShared(std::uint16_t tileId) const { return m_origins[tileId] & sharedFlag; }
    // The terrains an ambiguous or shared tile may stand for, terrainOf()'s
    // answer first; empty for any other tile.
    QList<std::uint8_t> candidates(std::uint16_t tileId) const
    {
        return m_candidates.value(tileId);
    }

private:
    static constexpr std::uint8_t originMask = 3;
    static constexpr std::uint8_t ambiguousFlag = 4;
    static constexpr std::uint8_t sharedFlag = 8;

    std::vector<std::int16_t> m_terrains;
    std::vector<std::uint8_t> m_origins;
    QHash<std::uint16_t, QList<std::uint8_t>> m_candidates;
};
