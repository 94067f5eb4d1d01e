#pragma once

#include <QImage>
#include <QList>
#include <QRect>

class BorderCoverage;
class GeneratedMap;

// What a view of the map can mark on top of it.
enum class MapOverlay {
    // Cells with statics.
    Statics,
    // Cells whose 3 x 3 window holds more than one terrain and that no
    // transition matched.
    UnmatchedBorders,
    // Cells whose terrain or altitude palette index the tables lack.
    MissingIndexes,
};

// The overlay's colour: loud, none of the palette's and none of the other
// overlays'. Unmatched borders take the colour preview --unmatched uses.
QRgb overlayColour(MapOverlay overlay, const QList<QRgb> &palette);

// A picture of the cells of area (its corner a multiple of scale) with one
// pixel for every scale x scale cells, transparent but for the pixels that
// hold a marked cell, so that a lone cell shows also when scaled down.
// Unmatched borders need the coverage of the map's terrain image.
QImage drawOverlay(const GeneratedMap &map, MapOverlay overlay, const QRect &area, int scale,
                   const BorderCoverage *coverage);
