#pragma once

#include "bordercoverage.h"

#include <QByteArray>
#include <QList>
#include <QString>

class TerrainNames;

// A transitions file with one open definition per pattern: a comment draws
// the pattern with the terrain names, and its MapTile waits inside a
// comment. A definition without tiles still answers its key, so once the
// file lies under transitions/ it changes no cell until it is filled in.
QByteArray transitionSkeletons(const QList<BorderPattern> &patterns, const TerrainNames &names,
                               const QString &imageName);
