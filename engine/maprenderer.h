#pragma once

#include "mappedfile.h"
#include "tileterrains.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

// A land tile id that no terrain of the data directory explains.
struct UnexplainedTile
{
    std::uint16_t tileId = 0;
    qint64 cells = 0;
    QPoint firstCell;
};

// A land cell and a static as the map files hold them.
struct WrittenCell
{
    std::uint16_t tileId = 0;
    std::int8_t z = 0;
};

struct WrittenStatic
{
    std::uint16_t tileId = 0;
    std::int8_t z = 0;
    std::uint16_t hue = 0;
};

// The map, index and statics files of a destination, mapped, drawn as
// pictures: each cell in the palette colour of its tile's terrain, shaded by
// the slope of the land under light from the north-west, and darker where
// statics stand on it; tiles that no terrain explains unshaded in
// unexplainedColour. Any part at any scale can be drawn, from any thread at
// once. Reads stay inside the files whatever their records say, so files
// that another program replaced or broke cannot crash it.
class MapRenderer
{
public:
    // Loud, so that unexplained tiles stand out of any terrain palette.
    static constexpr QRgb unexplainedColour = 0xffff00ff;

    MapRenderer(const TileTerrains &terrains, const QList<QRgb> &palette);

    // Maps map<N>.mul, staidx<N>.mul and statics<N>.mul of destination for
    // a map blocksHigh blocks high; false, with errorString(), when one
    // cannot be read or the map file holds no whole column of blocks.
    bool open(const QString &destination, int mapNumber, int blocksHigh);
    QString errorString() const { return m_errorString; }

    int blocksWide() const { return m_blocksWide; }
    int blocksHigh() const { return m_blocksHigh; }
    // In cells.
    int width() const { return m_width; }
    int height() const { return m_height; }

    // The cells of area (clipped to the map; its corner a multiple of scale)
    // with one pixel for every scale x scale cells, their average colour.
    // Counts the cells with statics and collects the unexplained tiles when
    // asked.
    QImage render(const QRect &area, int scale, qint64 *cellsWithStatics = nullptr,
                  QMap<std::uint16_t, UnexplainedTile> *unexplained = nullptr) const;
    // The whole map with one pixel for every scale x scale cells, each the
    // colour of the middle one alone: a quick first look.
    QImage sample(int scale) const;

    WrittenCell cell(int x, int y) const;
    // The statics on the cell, in file order.
    QList<WrittenStatic> statics(int x, int y) const;
    // Whether a static stands on each cell of area (clipped to the map),
    // rows first.
    std::vector<bool> staticCells(const QRect &area) const;

private:
    const uchar *cellRecord(int x, int y) const;
    int altitude(int x, int y) const { return static_cast<std::int8_t>(cellRecord(x, y)[2]); }
    static double shade(int rise, int eastWest, int fall, int northSouth);
    double shade(int x, int y) const;
    // The tile ids and altitudes of the cells first to last of row y.
    void readRow(int y, int first, int last, std::uint16_t *tiles, int *altitudes) const;
    // The block's statics records, or an empty range when its index entry
    // points outside the statics file.
    std::pair<const uchar *, const uchar *> blockStatics(int blockX, int blockY) const;
    QRgb colour(std::uint16_t tileId, double shade, bool hasStatics, int x, int y,
                QMap<std::uint16_t, UnexplainedTile> *unexplained) const;

    TileTerrains m_terrains;
    QList<QRgb> m_palette;
    MappedFile m_files[3];
    QString m_errorString;
    int m_blocksWide = 0;
    int m_blocksHigh = 0;
    int m_width = 0;
    int m_height = 0;
};
