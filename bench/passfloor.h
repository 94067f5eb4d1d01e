#pragma once

#include <QString>

#include <array>

// What no map generation pass can avoid on this machine, timed: decoding
// the two images at once, one thread each, then writing three files of the
// output's sizes and getting them onto the disk. A pass's time divided by
// this, measured in the same run, is the figure that carries from one
// machine to another.
namespace PassFloor {

// The sizes of map<N>.mul, staidx<N>.mul and statics<N>.mul that a pass
// wrote into directory; empty when it holds no single map.
std::array<qint64, 3> outputSizes(const QString &directory);

// Runs the floor once, writing into directory (and removing what it
// wrote), and returns its time in nanoseconds.
qint64 run(const QString &terrainPath, const QString &altitudePath, const QString &directory,
           const std::array<qint64, 3> &sizes);

} // namespace PassFloor
