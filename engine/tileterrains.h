#pragma once

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
    explicit TileTerrains(const MapTables &tables);

    // The terrain palette index of the tile, or -1 when no terrain explains it.
    int terrainOf(std::uint16_t tileId) const { return m_terrains[tileId]; }

private:
    std::vector<std::int16_t> m_terrains;
};
