#pragma once

#include "packedkey.h"

#include <QList>
#include <QPoint>

#include <cstdint>
#include <vector>

class PaletteImage;
class TransitionIndex;

// A 3 x 3 window of a terrain image that holds more than one terrain, and
// where it occurs.
struct BorderPattern
{
    PackedKey key;
    qint64 cells = 0;
    // The first cell in reading order (row by row, west to east).
    QPoint firstCell;
    // The distinct terrain indexes of the pattern, ascending.
    QList<std::uint8_t> terrains;
};

// The cells whose own 3 x 3 window holds more than one terrain and that get
// no transition in a pass: the corner, left, top and general tables are
// asked exactly as the pass asks them, so a cell counts here exactly when
// the pass leaves it its plain terrain tile.
class BorderCoverage
{
public:
    // Scans the processed area of the terrain image, an 8-bit image.
    BorderCoverage(const TransitionIndex &index, const PaletteImage &terrain);

    int blocksWide() const { return m_blocksWide; }
    int blocksHigh() const { return m_blocksHigh; }
    bool isUnmatched(int x, int y) const;
    // Bit 8 k + l for the block's cell (l, k).
    std::uint64_t blockMask(int blockX, int blockY) const
    {
        return m_blockMasks[std::size_t(blockX) * std::size_t(m_blocksHigh) + std::size_t(blockY)];
    }
    qint64 unmatchedCells() const { return m_unmatchedCells; }

    // Grouped by their set of terrains, the group with the most cells
    // first; within a group the pattern with the most cells first.
    const QList<BorderPattern> &patterns() const { return m_patterns; }

    // Every border pattern of the image, as the coverage of no transition.
    static QList<BorderPattern> allPatterns(const PaletteImage &terrain);

private:
    struct Part;
    void scanColumns(int firstColumn, int endColumn, const TransitionIndex &index,
                     const PaletteImage &terrain, Part &part);

    int m_blocksWide = 0;
    int m_blocksHigh = 0;
    // One word per block, in block order (column by column); bit 8 k + l
    // for the block's cell (l, k).
    std::vector<std::uint64_t> m_blockMasks;
    qint64 m_unmatchedCells = 0;
    QList<BorderPattern> m_patterns;
};
