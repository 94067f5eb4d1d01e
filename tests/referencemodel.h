#pragma once

#include "data/maptables.h"

#include <QByteArray>
#include <QImage>
#include <QStringList>

// The generation rules written out as plainly as they read: text keys built
// per cell, lookups in the string-keyed tables, draws from the C library's
// own rand(). The engine's output is compared with this model, which shares
// none of its code.
struct ReferenceOutput
{
    QByteArray map;
    QByteArray index;
    QByteArray statics;
    QStringList trace;
};

ReferenceOutput referenceMap(MapTables tables, const QImage &terrain, const QImage &altitude,
                             unsigned seed, bool randomArt);
