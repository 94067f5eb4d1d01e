#pragma once

#include <QImage>
#include <QString>

struct MapTables;

// How much of a map a pass over images imported from it would give back.
struct RoundTripEstimate
{
    // Empty when the estimate was made.
    QString errorText;
    qint64 cells = 0;
    // Cells whose land tile and altitude the pass may write again.
    qint64 reproduced = 0;
    // Cells whose land tile it would not write.
    qint64 tileDiffers = 0;
    // Cells whose tile it may write, but not at their altitude.
    qint64 altitudeDiffers = 0;
};

// Runs the generator's pass over the terrain and altitude images, without
// Random Art and in memory, and compares what it would write with
// map<N>.mul of destination. A pass draws among a transition's tiles and
// varies random terrains' altitudes, so a cell counts as reproduced when
// the rule the pass applies to it can write its tile at its altitude: the
// rule's tile (a terrain's own tile or one of a transition's) is the cell's,
// and the altitude is the base altitude plus that tile's AltIDMod plus a
// variation the rule draws (0 to 5 for a random terrain's own tile, -2, 0
// or 2 under a uniform transition of a random terrain, else none). To see
// which rule applies, the pass runs on a copy of the tables in which each
// terrain's tile and each transition's tile list is a marker and no terrain
// is random. The pass writes to memory only, so it needs no destination.
RoundTripEstimate estimateRoundTrip(const QString &destination, int mapNumber,
                                    const MapTables &tables, const QImage &terrain,
                                    const QImage &altitude);
