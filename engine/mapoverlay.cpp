#include "mapoverlay.h"

#include "generatedmap.h"
#include "mappreview.h"

namespace {

QImage transparentPicture(const QRect &cells, int scale)
{
    QImage image((cells.width() + scale - 1) / scale, (cells.height() + scale - 1) / scale,
                 QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QRgb overlayColour(MapOverlay overlay, const QList<QRgb> &palette)
{
    const QRgb unmatched = MapPreview::markColour(palette);
    if (overlay == MapOverlay::UnmatchedBorders)
        return unmatched;
    // Red for what is missing, if the palette leaves it free.
    const QRgb missing = MapPreview::markColour(palette + QList<QRgb> {unmatched, 0xffffff00u});
    if (overlay == MapOverlay::MissingIndexes)
        return missing;
    return MapPreview::markColour(palette + QList<QRgb> {unmatched, missing});
}

QImage drawOverlay(const GeneratedMap &map, MapOverlay overlay, const QRect &area, int scale,
                   const BorderCoverage *coverage)
{
    const MapRenderer &renderer = map.renderer();
    const QRect cells = area & QRect(0, 0, renderer.width(), renderer.height());
    if (cells.isEmpty())
        return {};
    QImage image = transparentPicture(cells, scale);
    const QRgb colour = overlayColour(overlay, map.terrain().palette());
    const auto mark = [&](int x, int y) {
        image.setPixel((x - cells.left()) / scale, (y - cells.top()) / scale, colour);
    };
    switch (overlay) {
    case MapOverlay::Statics: {
        const std::vector<bool> marked = renderer.staticCells(cells);
        auto it = marked.cbegin();
        for (int y = cells.top(); y <= cells.bottom(); ++y) {
            for (int x = cells.left(); x <= cells.right(); ++x) {
                if (*it++)
                    mark(x, y);
            }
        }
        break;
    }
    case MapOverlay::UnmatchedBorders:
        if (coverage)
            markUnmatchedCells(image, *coverage, cells, scale, colour);
        break;
    case MapOverlay::MissingIndexes:
        for (int y = cells.top(); y <= cells.bottom(); ++y) {
            for (int x = cells.left(); x <= cells.right(); ++x) {
                if (map.contains(x, y) && (!map.terrainDefined(x, y) || !map.altitudeDefined(x, y)))
                    mark(x, y);
            }
        }
        break;
    }
    return image;
}
