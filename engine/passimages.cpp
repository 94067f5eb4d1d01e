#include "passimages.h"

PassImages::PassImages(const QString &terrainPath, const QString &altitudePath)
    : m_terrainPath(terrainPath),
      m_altitudePath(altitudePath),
      m_terrainReader([this] { m_terrain = PaletteImage::load(m_terrainPath); }),
      m_altitudeReader([this] { m_altitude = PaletteImage::load(m_altitudePath); })
{
}

PassImages::PassImages(const PaletteImage &terrain, const QString &terrainPath,
                       const PaletteImage &altitude, const QString &altitudePath)
    : m_terrainPath(terrainPath),
      m_altitudePath(altitudePath),
      m_terrain(terrain),
      m_altitude(altitude)
{
}

PassImages::~PassImages()
{
    wait();
}

void PassImages::wait()
{
    if (m_terrainReader.joinable())
        m_terrainReader.join();
    if (m_altitudeReader.joinable())
        m_altitudeReader.join();
}

void PassImages::release()
{
    wait();
    m_terrain = {};
    m_altitude = {};
}
