#pragma once

#include "passsummary.h"

#include <QString>

class KeyGrid;
struct MapTables;
struct PassOptions;
class GlibcRandom;
class PassObserver;

// Turns the terrain and altitude images into the map, index and statics
// files in options.destination. Palette indexes that the terrain or altitude
// tables lack are entered into them (tile id 0, altitude 0) and reported
// once. Every random draw comes from the given generator, in a fixed order,
// so a seed always gives the same map. keyGrid is the pass's scratch grid of
// terrain indexes around the current block.
PassSummary processMap(MapTables &tables, KeyGrid &keyGrid, GlibcRandom &random,
                       const QString &terrainPath, const QString &altitudePath,
                       const PassOptions &options, PassObserver &observer);
