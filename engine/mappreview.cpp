#include "mappreview.h"

#include "bordercoverage.h"
#include "mapfiles.h"
#include "mappedfile.h"
#include "mapverification.h"
#include "tileterrains.h"

#include <QMap>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <vector>

namespace {

// Altitude units per cell width: how steep a slope of one unit per cell
// looks. Tuned so that the generator's random variation of 0 to 5 reads as
// texture and a hillside as a hillside.
constexpr double reliefScale = 0.15;
constexpr double darkestShade = 0.35;
constexpr double brightestShade = 1.45;
constexpr double staticShade = 0.4;

class Renderer
{
public:
    Renderer(const MappedFile &map, const MappedFile &index, const MappedFile &statics,
             int blocksWide, int blocksHigh, const TileTerrains &terrains,
             const QList<QRgb> &palette)
        : m_map(map.data()),
          m_blocksHigh(blocksHigh),
          m_width(blocksWide * MapFiles::cellsPerBlockSide),
          m_height(blocksHigh * MapFiles::cellsPerBlockSide),
          m_terrains(terrains),
          m_palette(palette),
          m_hasStatics(std::size_t(m_width) * std::size_t(m_height), false)
    {
        markStatics(index, statics);
    }

    void render(int scale, MapPreview &preview)
    {
        const int outWidth = (m_width + scale - 1) / scale;
        const int outHeight = (m_height + scale - 1) / scale;
        preview.image = QImage(outWidth, outHeight, QImage::Format_RGB32);
        preview.cellsWithStatics = std::count(m_hasStatics.cbegin(), m_hasStatics.cend(), true);
        QMap<std::uint16_t, MapPreview::UnexplainedTile> unexplained;

        // Red, green, blue sums and cell count of each pixel of the row.
        std::vector<std::array<qint64, 4>> sums(static_cast<std::size_t>(outWidth));
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                const QRgb colour = cellColour(x, y, unexplained);
                std::array<qint64, 4> &sum = sums[std::size_t(x / scale)];
                sum[0] += qRed(colour);
                sum[1] += qGreen(colour);
                sum[2] += qBlue(colour);
                ++sum[3];
            }
            if ((y + 1) % scale != 0 && y + 1 != m_height)
                continue;
            auto *line = reinterpret_cast<QRgb *>(preview.image.scanLine(y / scale));
            for (int px = 0; px < outWidth; ++px) {
                std::array<qint64, 4> &sum = sums[std::size_t(px)];
                line[px] = qRgb(int(sum[0] / sum[3]), int(sum[1] / sum[3]), int(sum[2] / sum[3]));
                sum = {};
            }
        }
        preview.unexplainedTiles = unexplained.values();
    }

private:
    void markStatics(const MappedFile &index, const MappedFile &statics)
    {
        const qint64 blocks = index.size() / MapFiles::indexEntrySize;
        for (qint64 block = 0; block < blocks; ++block) {
            const uchar *entry = index.data() + block * MapFiles::indexEntrySize;
            const qint32 offset = qFromLittleEndian<qint32>(entry);
            const qint32 length = qFromLittleEndian<qint32>(entry + 4);
            if (offset < 0)
                continue;
            const int originX = int(block / m_blocksHigh) * MapFiles::cellsPerBlockSide;
            const int originY = int(block % m_blocksHigh) * MapFiles::cellsPerBlockSide;
            for (qint64 at = offset; at < qint64(offset) + length; at += MapFiles::staticItemSize) {
                const int x = originX + statics.data()[at + 2];
                const int y = originY + statics.data()[at + 3];
                m_hasStatics[std::size_t(y) * std::size_t(m_width) + std::size_t(x)] = true;
            }
        }
    }

    const uchar *cell(int x, int y) const
    {
        const qint64 block = qint64(x / MapFiles::cellsPerBlockSide) * m_blocksHigh
            + y / MapFiles::cellsPerBlockSide;
        const int inBlock = (y % MapFiles::cellsPerBlockSide) * MapFiles::cellsPerBlockSide
            + x % MapFiles::cellsPerBlockSide;
        return m_map + block * MapFiles::mapBlockSize + 4 + inBlock * MapFiles::mapCellSize;
    }

    int altitude(int x, int y) const { return static_cast<std::int8_t>(cell(x, y)[2]); }

    // Brightness of the cell's slope relative to flat land: the cosine of
    // the light's angle to the surface, over that of flat land.
    double shade(int x, int y) const
    {
        const int west = std::max(x - 1, 0), east = std::min(x + 1, m_width - 1);
        const int north = std::max(y - 1, 0), south = std::min(y + 1, m_height - 1);
        const double rise = east > west
            ? reliefScale * (altitude(east, y) - altitude(west, y)) / (east - west)
            : 0.0;
        const double fall = south > north
            ? reliefScale * (altitude(x, south) - altitude(x, north)) / (south - north)
            : 0.0;
        // Land rising to the south-east faces the north-western light.
        const double lit = (rise + fall + 1.0) / std::sqrt(rise * rise + fall * fall + 1.0);
        return std::clamp(lit, darkestShade, brightestShade);
    }

    QRgb cellColour(int x, int y, QMap<std::uint16_t, MapPreview::UnexplainedTile> &unexplained)
    {
        const uchar *bytes = cell(x, y);
        const auto tileId = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
        const int terrain = m_terrains.terrainOf(tileId);
        if (terrain < 0) {
            MapPreview::UnexplainedTile &tile = unexplained[tileId];
            if (tile.cells++ == 0) {
                tile.tileId = tileId;
                tile.firstCell = QPoint(x, y);
            }
            return MapPreview::unexplainedColour;
        }
        double factor = shade(x, y);
        if (m_hasStatics[std::size_t(y) * std::size_t(m_width) + std::size_t(x)])
            factor *= staticShade;
        const QRgb base = m_palette.value(terrain);
        const auto channel = [factor](int value) {
            return std::min(255, int(std::lround(value * factor)));
        };
        return qRgb(channel(qRed(base)), channel(qGreen(base)), channel(qBlue(base)));
    }

    const uchar *m_map;
    int m_blocksHigh;
    int m_width;
    int m_height;
    const TileTerrains &m_terrains;
    const QList<QRgb> &m_palette;
    std::vector<bool> m_hasStatics;
};

} // namespace

MapPreview renderMapPreview(const QString &destination, int mapNumber, int blocksHigh,
                            const TileTerrains &terrains, const QList<QRgb> &palette, int scale)
{
    MapPreview preview;
    const MapVerification verification = verifyMapFiles(destination, mapNumber, blocksHigh);
    preview.errorText = unreadableReason(verification);
    if (!preview.errorText.isEmpty())
        return preview;
    MappedFile files[3];
    const MapFiles::Kind kinds[3] = {MapFiles::Kind::Map, MapFiles::Kind::Index,
                                     MapFiles::Kind::Statics};
    for (int i = 0; i < 3; ++i) {
        const QString path = MapFiles::path(destination, kinds[i], mapNumber);
        if (!files[i].open(path)) {
            preview.errorText = path + QLatin1Char(' ') + files[i].errorString();
            return preview;
        }
    }
    preview.blocksHigh = verification.blocksHigh;
    preview.blocksWide = int(verification.blocks / verification.blocksHigh);
    Renderer(files[0], files[1], files[2], preview.blocksWide, preview.blocksHigh, terrains,
             palette)
        .render(scale, preview);
    return preview;
}

QRgb MapPreview::markColour(const QList<QRgb> &palette)
{
    for (const QRgb colour : {0xff00ffffu, 0xffffff00u, 0xffff0000u, 0xff00ff00u, 0xffff8000u,
                              0xff0000ffu, 0xffffffffu}) {
        if (!palette.contains(colour))
            return colour;
    }
    // Seven colours in one palette: the first that is neither.
    for (QRgb colour = 0xff000001u;; ++colour) {
        if (!palette.contains(colour) && colour != unexplainedColour)
            return colour;
    }
}

qint64 markUnmatchedCells(QImage &image, const BorderCoverage &coverage, int scale, QRgb colour)
{
    const int side = MapFiles::cellsPerBlockSide;
    qint64 cells = 0;
    for (int blockX = 0; blockX < coverage.blocksWide(); ++blockX) {
        for (int blockY = 0; blockY < coverage.blocksHigh(); ++blockY) {
            for (std::uint64_t mask = coverage.blockMask(blockX, blockY); mask != 0;
                 mask &= mask - 1) {
                const int cell = std::countr_zero(mask);
                const int x = (blockX * side + cell % side) / scale;
                const int y = (blockY * side + cell / side) / scale;
                ++cells;
                if (x < image.width() && y < image.height())
                    image.setPixel(x, y, colour);
            }
        }
    }
    return cells;
}
