#include "keygrid.h"

#include "mapfiles.h"
#include "paletteimage.h"

#include <algorithm>
#include <cstring>

void fillKeyGrid(KeyGrid &grid, int originX, int originY, int blocksWide, int blocksHigh,
                 const PaletteImage &terrain)
{
    const int width = blocksWide * MapFiles::cellsPerBlockSide;
    const int height = blocksHigh * MapFiles::cellsPerBlockSide;
    const int left = originX - 2, top = originY - 2;
    grid.m_firstInside[0] = std::max(0, -left);
    grid.m_firstInside[1] = std::max(0, -top);
    grid.m_lastInside[0] = std::min(KeyGrid::size - 1, width - 1 - left);
    grid.m_lastInside[1] = std::min(KeyGrid::size - 1, height - 1 - top);
    grid.m_allInside = grid.m_firstInside[0] == 0 && grid.m_firstInside[1] == 0
        && grid.m_lastInside[0] == KeyGrid::size - 1 && grid.m_lastInside[1] == KeyGrid::size - 1;

    for (int gy = 0; gy < KeyGrid::size; ++gy) {
        if (gy < grid.m_firstInside[1] || gy > grid.m_lastInside[1]) {
            std::memset(grid.m_codes[gy], 0, KeyGrid::size);
            continue;
        }
        const std::uint8_t *row = terrain.row(top + gy);
        for (int gx = 0; gx < KeyGrid::size; ++gx)
            grid.m_codes[gy][gx] = grid.isInside(gx, gy) ? row[left + gx] : 0;
    }
}

bool KeyGrid::neighbourhood(int l, int k, std::uint8_t out[4][4]) const
{
    // Grid position of the cell itself is (l + 2, k + 2).
    const std::uint8_t own = m_codes[k + 2][l + 2];
    bool uniform = true;
    for (int dy = 0; dy < 4; ++dy) {
        for (int dx = 0; dx < 4; ++dx) {
            const int gx = l + dx, gy = k + dy;
            const std::uint8_t code = m_allInside || isInside(gx, gy) ? m_codes[gy][gx] : own;
            out[dy][dx] = code;
            uniform = uniform && code == own;
        }
    }
    return uniform;
}
