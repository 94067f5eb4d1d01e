#include "generatedmap.h"

#include "mapfiles.h"
#include "tileterrains.h"

#include <algorithm>

GeneratedMap::GeneratedMap(const MapTables &loaded, const PaletteImage &terrain,
                           const PaletteImage &altitude)
    : m_tables(loaded),
      m_terrain(terrain),
      m_altitude(altitude),
      m_renderer(TileTerrains(loaded), terrain.palette())
{
}

bool GeneratedMap::open(const QString &destination, int mapNumber, int blocksHigh)
{
    return m_renderer.open(destination, mapNumber, blocksHigh);
}

int GeneratedMap::blocksWide() const
{
    return m_terrain.width() / MapFiles::cellsPerBlockSide;
}

int GeneratedMap::blocksHigh() const
{
    return m_terrain.height() / MapFiles::cellsPerBlockSide;
}

bool GeneratedMap::contains(int x, int y) const
{
    const int side = MapFiles::cellsPerBlockSide;
    // The pass took both images only at one size.
    return x >= 0 && y >= 0 && x < std::min(m_renderer.width(), blocksWide() * side)
        && y < std::min(m_renderer.height(), blocksHigh() * side);
}
