#pragma once

#include <QList>
#include <QRgb>
#include <QString>

#include <cstdint>

// A plausible world for a designer to paint over: a terrain image, an
// altitude image and a complete data directory for them (terrain, altitude,
// rough-edge and general transitions for every border pattern that occurs,
// static sets, structures and a settings file). The same seed always gives
// the same files.
struct StarterWorldOptions
{
    int width = 1024;
    int height = 1024;
    std::uint32_t seed = 1;
};

// Empty when directory is new or empty; otherwise a message naming what it
// holds, so that a front end can refuse to write a world over a designer's
// work unless told to.
QString starterWorldObstacle(const QString &directory);

// Writes the world into directory, creating it; files of the same names are
// replaced. On failure returns false
// and sets errorText to a message that names the file.
bool writeStarterWorld(const QString &directory, const StarterWorldOptions &options,
                       QString *errorText);

// The colours of the starter world's terrains, by palette index.
QList<QRgb> starterTerrainColours();
