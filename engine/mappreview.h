#pragma once

#include "maprenderer.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

class BorderCoverage;
class TileTerrains;

// A picture of a map as its files hold it.
struct MapPreview
{
    using UnexplainedTile = ::UnexplainedTile;

    static constexpr QRgb unexplainedColour = MapRenderer::unexplainedColour;

    // A loud colour that neither the colours to avoid (a palette, marks
    // already chosen) nor unexplainedColour is, for marking cells.
    static QRgb markColour(const QList<QRgb> &avoid);

    // Null when the map could not be drawn; errorText says why.
    QImage image;
    QString errorText;
    int blocksWide = 0;
    int blocksHigh = 0;
    qint64 cellsWithStatics = 0;
    // By ascending tile id.
    QList<UnexplainedTile> unexplainedTiles;
};

// Draws map<N>.mul of destination, one pixel for every scale x scale cells
// (scale 1 or more): each cell in the palette colour of its tile's terrain,
// shaded by the slope of the land under light from the north-west, and
// darker where statics<N>.mul puts objects on it. Tiles that no terrain
// explains are drawn unshaded in unexplainedColour and listed. The files are
// verified first, and a map that fails is not drawn. blocksHigh is the map's
// height in blocks; 0 takes the height that the map number stands for.
MapPreview renderMapPreview(const QString &destination, int mapNumber, int blocksHigh,
                            const TileTerrains &terrains, const QList<QRgb> &palette, int scale);

// Paints the pixel of every unmatched cell of the coverage into a picture
// of the cells of area drawn at scale, so that a lone cell shows also when
// scaled down. Returns the number of cells in area.
qint64 markUnmatchedCells(QImage &image, const BorderCoverage &coverage, const QRect &area,
                          int scale, QRgb colour);
