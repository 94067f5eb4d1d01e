#pragma once

#include "data/structurestatics.h"
#include "mapfilewriter.h"
#include "passsummary.h"

#include <QString>

class KeyGrid;
struct MapTables;
class PassImages;
struct PassOptions;
class GlibcRandom;
class PaletteImage;
class PassObserver;

// Turns the terrain and altitude images into the map, index and statics
// files in options.destination. Palette indexes that the terrain or altitude
// tables lack are entered into them (tile id 0, altitude 0) and reported
// once. structureStatics is emptied and, with structures enabled, refilled
// from options.structureFile; each block's structure statics go ahead of its
// own. keyGrid is the pass's scratch grid of terrain indexes around the
// current block. Every random draw comes from the given generator, in a
// fixed order, so a seed always gives the same map. The pass locks the
// destination before it writes (waiting for another pass unless
// options.waitForDestination is off) and first completes or clears what a
// pass that died there left. A caller that hands in createOutputFile gets
// the bytes in files of its own (tests hand in files that fail); then the
// destination is neither required, locked nor cleaned.
PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, const QString &terrainPath, const QString &altitudePath,
                       const PassOptions &options, PassObserver &observer,
                       const MapOutputFileFactory &createOutputFile = {});
// The same with images whose reading the caller started earlier, so that
// it overlaps the caller's loading of the tables. The pass lets go of them
// once the blocks are written: images holds none afterwards.
PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, PassImages &images, const PassOptions &options,
                       PassObserver &observer, const MapOutputFileFactory &createOutputFile = {});
// The same pass over images already in memory; the paths only name them in
// messages.
PassSummary processMap(MapTables &tables, StructureStatics &structureStatics, KeyGrid &keyGrid,
                       GlibcRandom &random, const PaletteImage &terrain, const QString &terrainPath,
                       const PaletteImage &altitude, const QString &altitudePath,
                       const PassOptions &options, PassObserver &observer,
                       const MapOutputFileFactory &createOutputFile = {});
