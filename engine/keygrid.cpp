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

    if (grid.m_allInside) {
        for (int gy = 0; gy < KeyGrid::size; ++gy)
            std::memcpy(grid.m_codes[gy], terrain.row(top + gy) + left, KeyGrid::size);
        return;
    }
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
    if (m_allInside) {
        // The common case: four rows of four bytes, compared a row at a time.
        const std::uint32_t ownRow = 0x01010101u * own;
        std::uint32_t differing = 0;
        for (int dy = 0; dy < 4; ++dy) {
            std::uint32_t row;
            std::memcpy(&row, &m_codes[k + dy][l], 4);
            std::memcpy(out[dy], &row, 4);
            differing |= row ^ ownRow;
        }
        return differing == 0;
    }
    bool uniform = true;
    for (int dy = 0; dy < 4; ++dy) {
        for (int dx = 0; dx < 4; ++dx) {
            const int gx = l + dx, gy = k + dy;
            const std::uint8_t code = isInside(gx, gy) ? m_codes[gy][gx] : own;
            out[dy][dx] = code;
            uniform = uniform && code == own;
        }
    }
    return uniform;
}

std::uint64_t KeyGrid::uniformCells() const
{
    std::uint64_t uniform = 0;
    if (!m_allInside) {
        std::uint8_t n[4][4];
        for (int cell = 0; cell < 64; ++cell) {
            if (neighbourhood(cell % 8, cell / 8, n))
                uniform |= std::uint64_t(1) << cell;
        }
        return uniform;
    }
    // Per grid row, bit l: the four codes from column l on are equal.
    std::uint8_t rowRuns[size];
    for (int gy = 0; gy < size; ++gy) {
        std::uint8_t runs = 0;
        for (int l = 0; l < 8; ++l) {
            std::uint32_t four;
            std::memcpy(&four, &m_codes[gy][l], 4);
            if (four == 0x01010101u * (four & 0xff))
                runs |= std::uint8_t(1 << l);
        }
        rowRuns[gy] = runs;
    }
    for (int k = 0; k < 8; ++k) {
        const unsigned candidates = rowRuns[k] & rowRuns[k + 1] & rowRuns[k + 2] & rowRuns[k + 3];
        for (int l = 0; l < 8; ++l) {
            // Four equal rows of four make sixteen when their first codes agree.
            if (candidates >> l & 1 && m_codes[k][l] == m_codes[k + 1][l]
                && m_codes[k][l] == m_codes[k + 2][l] && m_codes[k][l] == m_codes[k + 3][l])
                uniform |= std::uint64_t(1) << (k * 8 + l);
        }
    }
    return uniform;
}
