#pragma once

#include "data/dataproblem.h"

#include <QList>
#include <QString>

class PaletteImage;

// Checks the terrain and altitude images as a pass would read them: the
// pass's own checks (readable, equal size, 8 bits per pixel), the pixels
// that fall outside whole blocks, and every palette index that the images
// use and system/terrain.xml or system/altitude.xml of the data directory
// does not define. An empty path skips that image.
QList<DataProblem> checkMapImages(const QString &dataDirectory, const QString &terrainPath,
                                  const QString &altitudePath);

// The same for images already read from those paths (a null image for one
// that could not be read, with its reason).
QList<DataProblem> checkMapImages(const QString &dataDirectory, const QString &terrainPath,
                                  const PaletteImage &terrain, const QString &altitudePath,
                                  const PaletteImage &altitude);
