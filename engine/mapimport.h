#pragma once

#include "data/designerfiles.h"
#include "mappreview.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

struct MapTables;

// A terrain and an altitude image that a map's files map back to, and how
// each cell was mapped.
struct MapImport
{
    // Null when the map could not be imported; errorText says why.
    QImage terrain;
    QImage altitude;
    QString errorText;
    int blocksWide = 0;
    int blocksHigh = 0;
    qint64 cells = 0;
    // The objects of statics<N>.mul, which the images do not carry.
    qint64 statics = 0;

    // Cells by how their terrain was found: from a terrain's own tile, from
    // a transition tile of one terrain, from a tile of several terrains
    // (decided by the neighbours), and from a tile no terrain explains.
    qint64 ownTileCells = 0;
    qint64 transitionCells = 0;
    qint64 ambiguousCells = 0;
    qint64 unknownCells = 0;
    // The tile ids of the unknown cells, by ascending id.
    QList<MapPreview::UnexplainedTile> unknownTiles;
    // Cells whose altitude no altitude index explains; they take the
    // nearest one.
    qint64 nearestAltitudeCells = 0;
};

// Maps the land of map<N>.mul in destination back to the palette indexes of
// the data directory's tables. Terrain: a terrain's own tile gives that
// terrain; a tile that only transitions place gives the terrain of the cell
// it replaced; a tile of several terrains starts as the likeliest, and
// where tiles around it then do not come back, the keys that place those
// tiles decide; an unknown tile takes the terrain most common among its
// neighbours. Altitude: the index whose altitude, plus the transition's
// AltIDMod and a random variation the cell's terrain and transition allow,
// gives the written altitude; of several, the one nearest the level around
// the cell; else the nearest altitude. The files are verified first,
// and nothing is imported from files that fail. blocksHigh 0 takes the
// height the map number stands for. The terrain image's colour table is
// colours, extended with defaultTerrainPalette() where it is too short for
// the terrain indexes; an empty one gives the whole default palette. The
// altitude image's is a gray ramp in palette order.
MapImport importMap(const QString &destination, int mapNumber, int blocksHigh,
                    const MapTables &tables, const QList<QRgb> &colours);

// 256 distinct colours: the starter world's terrain colours, then colours
// round the hue circle.
QList<QRgb> defaultTerrainPalette();

// terrain.png and altitude.png in directory.
QStringList importedImagePaths(const QString &directory);
// Both images as 8-bit palette PNGs for directory, encoded at once, ready
// for writeDesignerFiles(); empty, with errorText set, when one cannot be
// encoded.
QList<DesignerFile> importedImageFiles(const MapImport &import, const QString &directory,
                                       QString *errorText);
