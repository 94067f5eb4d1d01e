#include "mappreview.h"

#include "bordercoverage.h"
#include "mapfiles.h"
#include "maprenderer.h"
#include "mapverification.h"

#include <bit>

MapPreview renderMapPreview(const QString &destination, int mapNumber, int blocksHigh,
                            const TileTerrains &terrains, const QList<QRgb> &palette, int scale)
{
    MapPreview preview;
    const MapVerification verification = verifyMapFiles(destination, mapNumber, blocksHigh);
    preview.errorText = unreadableReason(verification);
    if (!preview.errorText.isEmpty())
        return preview;
    MapRenderer renderer(terrains, palette);
    if (!renderer.open(destination, mapNumber, verification.blocksHigh)) {
        preview.errorText = renderer.errorString();
        return preview;
    }
    preview.blocksHigh = renderer.blocksHigh();
    preview.blocksWide = renderer.blocksWide();
    QMap<std::uint16_t, UnexplainedTile> unexplained;
    preview.image = renderer.render(QRect(0, 0, renderer.width(), renderer.height()), scale,
                                    &preview.cellsWithStatics, &unexplained);
    preview.unexplainedTiles = unexplained.values();
    return preview;
}

QRgb MapPreview::markColour(const QList<QRgb> &avoid)
{
    for (const QRgb colour : {0xff00ffffu, 0xffffff00u, 0xffff0000u, 0xff00ff00u, 0xffff8000u,
                              0xff0000ffu, 0xffffffffu}) {
        if (!avoid.contains(colour))
            return colour;
    }
    // Seven colours to avoid: the first that is none of them.
    for (QRgb colour = 0xff000001u;; ++colour) {
        if (!avoid.contains(colour) && colour != unexplainedColour)
            return colour;
    }
}

qint64 markUnmatchedCells(QImage &image, const BorderCoverage &coverage, const QRect &area,
                          int scale, QRgb colour)
{
    const int side = MapFiles::cellsPerBlockSide;
    const QRect cells =
        area & QRect(0, 0, coverage.blocksWide() * side, coverage.blocksHigh() * side);
    if (cells.isEmpty())
        return 0;
    qint64 count = 0;
    for (int blockX = cells.left() / side; blockX <= cells.right() / side; ++blockX) {
        for (int blockY = cells.top() / side; blockY <= cells.bottom() / side; ++blockY) {
            for (std::uint64_t mask = coverage.blockMask(blockX, blockY); mask != 0;
                 mask &= mask - 1) {
                const int cell = std::countr_zero(mask);
                const QPoint at(blockX * side + cell % side, blockY * side + cell / side);
                if (!cells.contains(at))
                    continue;
                ++count;
                const int x = (at.x() - area.left()) / scale;
                const int y = (at.y() - area.top()) / scale;
                if (x < image.width() && y < image.height())
                    image.setPixel(x, y, colour);
            }
        }
    }
    return count;
}
