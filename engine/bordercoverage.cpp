#include "bordercoverage.h"

#include "data/maptables.h"
#include "keygrid.h"
#include "mapfiles.h"
#include "paletteimage.h"
#include "transitionfinder.h"
#include "transitionindex.h"

#include <QHash>

#include <algorithm>
#include <thread>

struct BorderCoverage::Part
{
    QHash<PackedKey, BorderPattern> patterns;
    qint64 cells = 0;
};

namespace {

bool readsBefore(QPoint a, QPoint b)
{
    return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x();
}

void addCell(QHash<PackedKey, BorderPattern> &patterns, PackedKey key, QPoint cell,
             qint64 cells = 1)
{
    BorderPattern &pattern = patterns[key];
    if (pattern.cells == 0 || readsBefore(cell, pattern.firstCell))
        pattern.firstCell = cell;
    if (pattern.cells == 0)
        pattern.key = key;
    pattern.cells += cells;
}

QList<std::uint8_t> terrainsOf(PackedKey key)
{
    QList<std::uint8_t> terrains;
    for (int i = 0; i < 9; ++i) {
        if (!terrains.contains(key.at(i)))
            terrains.append(key.at(i));
    }
    std::sort(terrains.begin(), terrains.end());
    return terrains;
}

} // namespace

BorderCoverage::BorderCoverage(const TransitionIndex &index, const PaletteImage &terrain)
    : m_blocksWide(terrain.width() / MapFiles::cellsPerBlockSide),
      m_blocksHigh(terrain.height() / MapFiles::cellsPerBlockSide),
      m_blockMasks(std::size_t(m_blocksWide) * std::size_t(m_blocksHigh))
{
    // The scan draws nothing, so the two halves of the map run at once.
    const int half = m_blocksWide / 2;
    Part west, east;
    std::thread worker([&] { scanColumns(0, half, index, terrain, west); });
    scanColumns(half, m_blocksWide, index, terrain, east);
    worker.join();

    m_unmatchedCells = west.cells + east.cells;
    for (const BorderPattern &pattern : std::as_const(east.patterns))
        addCell(west.patterns, pattern.key, pattern.firstCell, pattern.cells);

    QHash<QList<std::uint8_t>, qint64> groupCells;
    m_patterns.reserve(west.patterns.size());
    for (BorderPattern &pattern : west.patterns) {
        pattern.terrains = terrainsOf(pattern.key);
        groupCells[pattern.terrains] += pattern.cells;
        m_patterns.append(pattern);
    }
    std::sort(m_patterns.begin(), m_patterns.end(),
              [&](const BorderPattern &a, const BorderPattern &b) {
                  if (a.terrains != b.terrains) {
                      const qint64 cellsA = groupCells.value(a.terrains);
                      const qint64 cellsB = groupCells.value(b.terrains);
                      return cellsA != cellsB ? cellsA > cellsB : a.terrains < b.terrains;
                  }
                  if (a.cells != b.cells)
                      return a.cells > b.cells;
                  return readsBefore(a.firstCell, b.firstCell);
              });
}

void BorderCoverage::scanColumns(int firstColumn, int endColumn, const TransitionIndex &index,
                                 const PaletteImage &terrain, Part &part)
{
    const TransitionFinder finder(index, false);
    KeyGrid grid;
    TransitionLookup lookups[MapFiles::cellsPerBlock];
    const int side = MapFiles::cellsPerBlockSide;
    for (int blockX = firstColumn; blockX < endColumn; ++blockX) {
        for (int blockY = 0; blockY < m_blocksHigh; ++blockY) {
            fillKeyGrid(grid, blockX * side, blockY * side, m_blocksWide, m_blocksHigh, terrain);
            const std::uint64_t uniform = finder.findBlock(grid, lookups);
            std::uint64_t unmatched = 0;
            for (int cell = 0; cell < MapFiles::cellsPerBlock; ++cell) {
                if (lookups[cell].hit || (uniform >> cell & 1))
                    continue;
                const int l = cell % side, k = cell / side;
                const PackedKey key = ownWindowKey(grid, l, k);
                if (key == PackedKey::uniform(grid.ownCode(l, k)))
                    continue;
                unmatched |= std::uint64_t(1) << cell;
                addCell(part.patterns, key, QPoint(blockX * side + l, blockY * side + k));
                ++part.cells;
            }
            m_blockMasks[std::size_t(blockX) * std::size_t(m_blocksHigh) + std::size_t(blockY)] =
                unmatched;
        }
    }
}

bool BorderCoverage::isUnmatched(int x, int y) const
{
    const int side = MapFiles::cellsPerBlockSide;
    if (x < 0 || y < 0 || x >= m_blocksWide * side || y >= m_blocksHigh * side)
        return false;
    return blockMask(x / side, y / side) >> ((y % side) * side + x % side) & 1;
}

QList<BorderPattern> BorderCoverage::allPatterns(const PaletteImage &terrain)
{
    return BorderCoverage(TransitionIndex(MapTables()), terrain).patterns();
}
