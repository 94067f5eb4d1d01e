#include "maprenderer.h"

#include "mapfiles.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Altitude units per cell width: how steep a slope of one unit per cell
// looks. Tuned so that the generator's random variation of 0 to 5 reads as
// texture and a hillside as a hillside.
constexpr double reliefScale = 0.15;
constexpr double darkestShade = 0.35;
constexpr double brightestShade = 1.45;
constexpr double staticShade = 0.4;

constexpr int side = MapFiles::cellsPerBlockSide;

} // namespace

MapRenderer::MapRenderer(const TileTerrains &terrains, const QList<QRgb> &palette)
    : m_terrains(terrains), m_palette(palette)
{
}

bool MapRenderer::open(const QString &destination, int mapNumber, int blocksHigh)
{
    const MapFiles::Kind kinds[3] = {MapFiles::Kind::Map, MapFiles::Kind::Index,
                                     MapFiles::Kind::Statics};
    for (int i = 0; i < 3; ++i) {
        const QString path = MapFiles::path(destination, kinds[i], mapNumber);
        if (!m_files[i].open(path)) {
            m_errorString = path + QLatin1Char(' ') + m_files[i].errorString();
            return false;
        }
    }
    const qint64 blocks = std::min(m_files[0].size() / MapFiles::mapBlockSize,
                                   m_files[1].size() / MapFiles::indexEntrySize);
    if (blocksHigh <= 0 || blocks / blocksHigh == 0) {
        m_errorString = QStringLiteral("map%1.mul holds no whole column of %2 blocks")
                            .arg(mapNumber)
                            .arg(blocksHigh);
        return false;
    }
    m_blocksHigh = blocksHigh;
    m_blocksWide = int(std::min<qint64>(blocks / blocksHigh, 0x7fffffff / side));
    m_width = m_blocksWide * side;
    m_height = m_blocksHigh * side;
    return true;
}

const uchar *MapRenderer::cellRecord(int x, int y) const
{
    const qint64 block = qint64(x / side) * m_blocksHigh + y / side;
    const int inBlock = (y % side) * side + x % side;
    return m_files[0].data() + block * MapFiles::mapBlockSize + 4 + inBlock * MapFiles::mapCellSize;
}

std::pair<const uchar *, const uchar *> MapRenderer::blockStatics(int blockX, int blockY) const
{
    const uchar *entry =
        m_files[1].data() + (qint64(blockX) * m_blocksHigh + blockY) * MapFiles::indexEntrySize;
    const qint64 offset = qFromLittleEndian<qint32>(entry);
    const qint64 length = qFromLittleEndian<qint32>(entry + 4);
    if (offset < 0 || length <= 0 || offset + length > m_files[2].size())
        return {nullptr, nullptr};
    const uchar *first = m_files[2].data() + offset;
    return {first, first + length / MapFiles::staticItemSize * MapFiles::staticItemSize};
}

WrittenCell MapRenderer::cell(int x, int y) const
{
    const uchar *record = cellRecord(x, y);
    return {static_cast<std::uint16_t>(record[0] | record[1] << 8),
            static_cast<std::int8_t>(record[2])};
}

QList<WrittenStatic> MapRenderer::statics(int x, int y) const
{
    QList<WrittenStatic> found;
    const auto [first, last] = blockStatics(x / side, y / side);
    for (const uchar *item = first; item != last; item += MapFiles::staticItemSize) {
        if (item[2] == x % side && item[3] == y % side)
            found.append({qFromLittleEndian<std::uint16_t>(item), static_cast<std::int8_t>(item[4]),
                          qFromLittleEndian<std::uint16_t>(item + 5)});
    }
    return found;
}

std::vector<bool> MapRenderer::staticCells(const QRect &area) const
{
    const QRect cells = area & QRect(0, 0, m_width, m_height);
    std::vector<bool> marked(std::size_t(std::max(cells.width(), 0))
                             * std::size_t(std::max(cells.height(), 0)));
    if (cells.isEmpty())
        return marked;
    for (int blockX = cells.left() / side; blockX <= cells.right() / side; ++blockX) {
        for (int blockY = cells.top() / side; blockY <= cells.bottom() / side; ++blockY) {
            const auto [first, last] = blockStatics(blockX, blockY);
            for (const uchar *item = first; item != last; item += MapFiles::staticItemSize) {
                const QPoint at(blockX * side + item[2], blockY * side + item[3]);
                if (item[2] < side && item[3] < side && cells.contains(at))
                    marked[std::size_t(at.y() - cells.top()) * std::size_t(cells.width())
                           + std::size_t(at.x() - cells.left())] = true;
            }
        }
    }
    return marked;
}

// Brightness of the cell's slope relative to flat land: the cosine of the
// light's angle to the surface, over that of flat land. The rise runs from
// west to east over eastWest cells, the fall from north to south over
// northSouth cells; a span of 0 is flat.
double MapRenderer::shade(int rise, int eastWest, int fall, int northSouth)
{
    const double riseSlope = eastWest > 0 ? reliefScale * rise / eastWest : 0.0;
    const double fallSlope = northSouth > 0 ? reliefScale * fall / northSouth : 0.0;
    // Land rising to the south-east faces the north-western light.
    const double lit = (riseSlope + fallSlope + 1.0)
        / std::sqrt(riseSlope * riseSlope + fallSlope * fallSlope + 1.0);
    return std::clamp(lit, darkestShade, brightestShade);
}

double MapRenderer::shade(int x, int y) const
{
    const int west = std::max(x - 1, 0), east = std::min(x + 1, m_width - 1);
    const int north = std::max(y - 1, 0), south = std::min(y + 1, m_height - 1);
    return shade(altitude(east, y) - altitude(west, y), east - west,
                 altitude(x, south) - altitude(x, north), south - north);
}

QRgb MapRenderer::colour(std::uint16_t tileId, double shade, bool hasStatics, int x, int y,
                         QMap<std::uint16_t, UnexplainedTile> *unexplained) const
{
    const int terrain = m_terrains.terrainOf(tileId);
    if (terrain < 0) {
        if (unexplained) {
            UnexplainedTile &tile = (*unexplained)[tileId];
            if (tile.cells++ == 0) {
                tile.tileId = tileId;
                tile.firstCell = QPoint(x, y);
            }
        }
        return unexplainedColour;
    }
    double factor = shade;
    if (hasStatics)
        factor *= staticShade;
    const QRgb base = m_palette.value(terrain);
    const auto channel = [factor](int value) {
        return std::min(255, int(std::lround(value * factor)));
    };
    return qRgb(channel(qRed(base)), channel(qGreen(base)), channel(qBlue(base)));
}

void MapRenderer::readRow(int y, int first, int last, std::uint16_t *tiles, int *altitudes) const
{
    for (int x = first; x <= last;) {
        const int blockX = x / side;
        const uchar *record = cellRecord(x, y);
        for (const int end = std::min(last, blockX * side + side - 1); x <= end;
             ++x, record += MapFiles::mapCellSize) {
            *tiles++ = static_cast<std::uint16_t>(record[0] | record[1] << 8);
            *altitudes++ = static_cast<std::int8_t>(record[2]);
        }
    }
}

QImage MapRenderer::render(const QRect &area, int scale, qint64 *cellsWithStatics,
                           QMap<std::uint16_t, UnexplainedTile> *unexplained) const
{
    const QRect cells = area & QRect(0, 0, m_width, m_height);
    if (cells.isEmpty())
        return {};
    const int outWidth = (cells.width() + scale - 1) / scale;
    const int outHeight = (cells.height() + scale - 1) / scale;
    QImage image(outWidth, outHeight, QImage::Format_RGB32);
    const std::vector<bool> hasStatics = staticCells(cells);
    if (cellsWithStatics)
        *cellsWithStatics = std::count(hasStatics.cbegin(), hasStatics.cend(), true);

    // The rows are read a whole row at a time, with the columns beside the
    // area that the slopes at its edges need.
    const int first = std::max(cells.left() - 1, 0);
    const int last = std::min(cells.right() + 1, m_width - 1);
    const std::size_t columns = std::size_t(last - first + 1);
    // Each row is read once: as the south row of the row above it, it
    // becomes the current row and then the north row of the next.
    std::vector<std::uint16_t> tiles(columns), southTiles(columns);
    std::vector<int> altitudes(columns), north(columns), south(columns);
    readRow(cells.top(), first, last, tiles.data(), altitudes.data());
    readRow(std::max(cells.top() - 1, 0), first, last, southTiles.data(), north.data());

    // Red, green, blue sums and cell count of each pixel of the row.
    std::vector<std::array<qint64, 4>> sums(static_cast<std::size_t>(outWidth));
    auto statics = hasStatics.cbegin();
    for (int row = 0; row < cells.height(); ++row) {
        const int y = cells.top() + row;
        const int northY = std::max(y - 1, 0), southY = std::min(y + 1, m_height - 1);
        if (southY == y)
            south = altitudes;
        else
            readRow(southY, first, last, southTiles.data(), south.data());
        for (int column = 0; column < cells.width(); ++column) {
            const int x = cells.left() + column;
            const int west = std::max(x - 1, 0), east = std::min(x + 1, m_width - 1);
            const double cellShade =
                shade(altitudes[std::size_t(east - first)] - altitudes[std::size_t(west - first)],
                      east - west, south[std::size_t(x - first)] - north[std::size_t(x - first)],
                      southY - northY);
            const QRgb colour = this->colour(tiles[std::size_t(x - first)], cellShade, *statics++,
                                             x, y, unexplained);
            std::array<qint64, 4> &sum = sums[std::size_t(column / scale)];
            sum[0] += qRed(colour);
            sum[1] += qGreen(colour);
            sum[2] += qBlue(colour);
            ++sum[3];
        }
        north.swap(altitudes);
        altitudes.swap(south);
        tiles.swap(southTiles);
        if ((row + 1) % scale != 0 && row + 1 != cells.height())
            continue;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(row / scale));
        for (int px = 0; px < outWidth; ++px) {
            std::array<qint64, 4> &sum = sums[std::size_t(px)];
            line[px] = qRgb(int(sum[0] / sum[3]), int(sum[1] / sum[3]), int(sum[2] / sum[3]));
            sum = {};
        }
    }
    return image;
}

QImage MapRenderer::sample(int scale) const
{
    const int outWidth = (m_width + scale - 1) / scale;
    const int outHeight = (m_height + scale - 1) / scale;
    QImage image(outWidth, outHeight, QImage::Format_RGB32);
    for (int py = 0; py < outHeight; ++py) {
        const int y = std::min(py * scale + scale / 2, m_height - 1);
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(py));
        for (int px = 0; px < outWidth; ++px) {
            const int x = std::min(px * scale + scale / 2, m_width - 1);
            const auto [first, last] = blockStatics(x / side, y / side);
            bool hasStatics = false;
            for (const uchar *item = first; item != last && !hasStatics;
                 item += MapFiles::staticItemSize)
                hasStatics = item[2] == x % side && item[3] == y % side;
            line[px] = colour(cell(x, y).tileId, shade(x, y), hasStatics, x, y, nullptr);
        }
    }
    return image;
}
