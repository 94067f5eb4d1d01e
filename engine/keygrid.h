#pragma once

#include "packedkey.h"

#include <bit>
#include <cstdint>
#include <cstring>

class PaletteImage;
struct PaletteRows;

// The terrain palette indexes around one block: the block's 8 x 8 cells with
// a margin of two cells on the west and north sides and one on the east and
// south, everything the transition keys of the block's cells need. Refilled
// at the start of every block.
class KeyGrid
{
public:
    static constexpr int size = 11;

    // Whether grid position (gx, gy), that is map position
    // (originX + gx - 2, originY + gy - 2), lies in the processed area.
    bool isInside(int gx, int gy) const
    {
        return gx >= m_firstInside[0] && gx <= m_lastInside[0] && gy >= m_firstInside[1]
            && gy <= m_lastInside[1];
    }

    // The terrain index of the block's cell (l, k).
    std::uint8_t ownCode(int l, int k) const { return m_codes[k + 2][l + 2]; }
    // The index at grid position (gx, gy); 0 outside the processed area.
    std::uint8_t code(int gx, int gy) const { return m_codes[gy][gx]; }
    // Whether every grid position lies inside the processed area, as for
    // every block away from the map's edges.
    bool allInside() const { return m_allInside; }

    // The 4 x 4 indexes from (x - 2, y - 2) to (x + 1, y + 1) around the
    // block's cell (l, k), rows first: the windows of all four keys of the
    // cell. A position outside the processed area carries the cell's own
    // index. Returns whether all sixteen are equal.
    bool neighbourhood(int l, int k, std::uint8_t out[4][4]) const;

    // Bit 8 k + l is set when the neighbourhood of cell (l, k) is sixteen
    // times the same index.
    std::uint64_t uniformCells() const;

    // The 4 x 4 neighbourhood of the block's cell (l, k), as neighbourhood()
    // gives it, packed two rows to a word: for blocks whose grid lies wholly
    // inside the processed area.
    void neighbourhoodRows(int l, int k, std::uint64_t &upper, std::uint64_t &lower) const
    {
        // Row by row in registers: gathered in an array, the compiler loads
        // the four rows back as one, which waits for the four stores.
        const auto row = [this, l, k](int dy) {
            std::uint32_t bytes;
            std::memcpy(&bytes, &m_codes[k + dy][l], 4);
            return std::uint64_t(bytes);
        };
        upper = row(0) | row(1) << 32;
        lower = row(2) | row(3) << 32;
    }

    // The key of the 3 x 3 window whose north-west corner is grid position
    // (gx, gy), read straight from the grid: for blocks whose grid lies
    // wholly inside the processed area.
    PackedKey insideWindowKey(int gx, int gy) const
    {
        std::uint32_t rows[3];
        for (int dy = 0; dy < 3; ++dy)
            std::memcpy(&rows[dy], &m_codes[gy + dy][gx], 4);
        if constexpr (std::endian::native == std::endian::big) {
            for (std::uint32_t &row : rows)
                row = __builtin_bswap32(row);
        }
        PackedKey key;
        key.head = (rows[0] & 0xffffffu) | std::uint64_t(rows[1] & 0xffffffu) << 24
            | std::uint64_t(rows[2] & 0xffffu) << 48;
        key.tail = static_cast<std::uint8_t>(rows[2] >> 16);
        return key;
    }

private:
    friend void fillKeyGrid(KeyGrid &grid, int originX, int originY, int blocksWide, int blocksHigh,
                            const PaletteRows &terrain);

    // Rows first; 0 outside the processed area. Rows are padded to 16
    // bytes, with a spare row, so that eight-byte loads from any position of
    // the grid stay inside the array.
    std::uint8_t m_codes[size + 1][16] {};
    int m_firstInside[2] = {0, 0};
    int m_lastInside[2] = {size - 1, size - 1};
    bool m_allInside = true;
};

// Fills the grid for the block whose first cell is (originX, originY).
void fillKeyGrid(KeyGrid &grid, int originX, int originY, int blocksWide, int blocksHigh,
                 const PaletteImage &terrain);
// The same from rows that hold at least the processed area's columns from
// originX - 2 to originX + 8.
void fillKeyGrid(KeyGrid &grid, int originX, int originY, int blocksWide, int blocksHigh,
                 const PaletteRows &terrain);
