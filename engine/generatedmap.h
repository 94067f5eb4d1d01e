#pragma once

#include "data/maptables.h"
#include "maprenderer.h"
#include "paletteimage.h"

#include <QString>

// A map that a pass has just written, with what it was made from: the
// images as the pass read them and the tables as loaded, before the pass
// entered missing palette indexes into them. Nothing in it changes once
// opened, so threads share it.
class GeneratedMap
{
public:
    GeneratedMap(const MapTables &loaded, const PaletteImage &terrain,
                 const PaletteImage &altitude);

    // Maps the files the pass wrote; false, with errorString(), when they
    // cannot be read.
    bool open(const QString &destination, int mapNumber, int blocksHigh);
    QString errorString() const { return m_renderer.errorString(); }

    const MapRenderer &renderer() const { return m_renderer; }
    const MapTables &tables() const { return m_tables; }
    const PaletteImage &terrain() const { return m_terrain; }
    const PaletteImage &altitude() const { return m_altitude; }
    // The map's size in blocks as the pass took it from the terrain image.
    int blocksWide() const;
    int blocksHigh() const;

    // Whether the cell lies on both the map files and the images, the
    // only cells the other calls take.
    bool contains(int x, int y) const;
    // Whether the tables as loaded define the cell's palette indexes.
    bool terrainDefined(int x, int y) const
    {
        return m_tables.TerrainTable.contains(m_terrain.index(x, y));
    }
    bool altitudeDefined(int x, int y) const
    {
        return m_tables.AltitudeTable.contains(m_altitude.index(x, y));
    }

private:
    MapTables m_tables;
    PaletteImage m_terrain;
    PaletteImage m_altitude;
    MapRenderer m_renderer;
};
