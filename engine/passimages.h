#pragma once

#include "paletteimage.h"

#include <QString>

#include <thread>

// The terrain and altitude images of a pass, each read on a thread of its
// own from the moment this is made, so that a caller with other work before
// the pass (loading the data directory) does it meanwhile.
class PassImages
{
public:
    PassImages(const QString &terrainPath, const QString &altitudePath);
    // Images already read; the paths only name them in messages.
    PassImages(const PaletteImage &terrain, const QString &terrainPath,
               const PaletteImage &altitude, const QString &altitudePath);
    // Waits for the readers.
    ~PassImages();

    PassImages(const PassImages &) = delete;
    PassImages &operator=(const PassImages &) = delete;

    QString terrainPath() const { return m_terrainPath; }
    QString altitudePath() const { return m_altitudePath; }

    // Returns once both images are read (or failed to be).
    void wait();
    // After wait().
    const PaletteImage &terrain() const { return m_terrain; }
    const PaletteImage &altitude() const { return m_altitude; }
    // Drops the images, which frees them unless the caller shares them.
    void release();

private:
    const QString m_terrainPath;
    const QString m_altitudePath;
    PaletteImage m_terrain;
    PaletteImage m_altitude;
    std::thread m_terrainReader;
    std::thread m_altitudeReader;
};
