#include "keygrid.h"

#include "mapfiles.h"
#include "paletteimage.h"

#include <algorithm>
#include <bit>
#include <cstring>

void fillKeyGrid(KeyGrid &grid, int originX, int originY, int blocksWide, int blocksHigh,
                 const PaletteImage &terrain)
{
    fillKeyGrid(grid, originX, originY, blocksWide, blocksHigh, terrain.rows());
}

void fillKeyGrid(KeyGrid &grid, int originX, int originY, int blocksWide, int blocksHigh,
                 const PaletteRows &terrain)
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
            std::memcpy(grid.m_codes[gy], terrain.at(left, top + gy), KeyGrid::size);
        return;
    }
    for (int gy = 0; gy < KeyGrid::size; ++gy) {
        if (gy < grid.m_firstInside[1] || gy > grid.m_lastInside[1]) {
            std::memset(grid.m_codes[gy], 0, KeyGrid::size);
            continue;
        }
        for (int gx = 0; gx < KeyGrid::size; ++gx)
            grid.m_codes[gy][gx] = grid.isInside(gx, gy) ? *terrain.at(left + gx, top + gy) : 0;
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

namespace {

std::uint64_t load8(const std::uint8_t *bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

// 0x80 in every byte of word that is zero, 0 in the others.
std::uint64_t zeroBytes(std::uint64_t word)
{
    constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7full;
    return ~(((word & low7) + low7) | word | low7);
}

// Bit i set for every byte i of the word that holds 0x80.
std::uint8_t byteFlags(std::uint64_t flags)
{
    if constexpr (std::endian::native == std::endian::little) {
        return std::uint8_t(((flags >> 7) * 0x0102040810204080ull) >> 56);
    } else {
        std::uint8_t bytes[8];
        std::memcpy(bytes, &flags, 8);
        std::uint8_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= std::uint8_t((bytes[i] >> 7) << i);
        return bits;
    }
}

} // namespace

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
    // Eight columns at a time, one per byte: runs[gy] flags the columns l
    // where codes l to l + 3 of grid row gy are equal; below[gy] those where
    // rows gy and gy + 1 agree.
    std::uint64_t runs[size], below[size - 1];
    for (int gy = 0; gy < size; ++gy) {
        const std::uint64_t a0 = load8(&m_codes[gy][0]), a1 = load8(&m_codes[gy][1]);
        const std::uint64_t a2 = load8(&m_codes[gy][2]), a3 = load8(&m_codes[gy][3]);
        runs[gy] = zeroBytes(a0 ^ a1) & zeroBytes(a1 ^ a2) & zeroBytes(a2 ^ a3);
        if (gy + 1 < size)
            below[gy] = zeroBytes(a0 ^ load8(&m_codes[gy + 1][0]));
    }
    for (int k = 0; k < 8; ++k) {
        const std::uint64_t cells = runs[k] & runs[k + 1] & runs[k + 2] & runs[k + 3] & below[k]
            & below[k + 1] & below[k + 2];
        uniform |= std::uint64_t(byteFlags(cells)) << (8 * k);
    }
    return uniform;
}
