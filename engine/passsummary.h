#pragma once

#include <QList>
#include <QPoint>
#include <QRgb>
#include <QString>

// What a pass did, for front ends that report on it (the command-line
// tool's summary, tests).
struct PassSummary
{
    enum class Outcome {
        Completed,
        // Stopped by the user; the previous map files are untouched.
        Aborted,
        // An image could not be read; the observer was told which and why,
        // and nothing was written.
        UnreadableImage,
        // One of the two image checks failed; nothing was written.
        InvalidImages,
        // The output could not be written; errorText says why.
        OutputFailed,
    };

    // A palette index that a table lacked when the pass met it.
    struct MissingIndex
    {
        int index = 0;
        qint64 cells = 0;
        QPoint firstCell;
    };

    // Cells that received a group of statics from a static set.
    struct DecoratedCells
    {
        QString staticSet;
        qint64 cells = 0;
    };

    // Where the time went, in nanoseconds. Writing happens during the block
    // loop, so blocks includes writing.
    struct Timings
    {
        qint64 readImages = 0;
        qint64 structures = 0;
        qint64 blocks = 0;
        qint64 writing = 0;
    };

    Outcome outcome = Outcome::InvalidImages;
    QString errorText;
    int mapNumber = 0;
    int blocksWide = 0;
    int blocksHigh = 0;
    qint64 cells = 0;
    // Structure statics included.
    qint64 staticsWritten = 0;
    // With structures enabled: MLT placements read, objects stamped into
    // blocks and objects that fell outside the map.
    int structurePlacements = 0;
    qint64 structureObjectsStamped = 0;
    qint64 structureObjectsOffMap = 0;
    QList<MissingIndex> missingTerrain;
    QList<MissingIndex> missingAltitude;
    QList<DecoratedCells> decoratedCells;
    // The colours of the terrain image's 256 palette indexes, once it was
    // read: a preview of the map needs them and need not read it again.
    QList<QRgb> terrainPalette;
    Timings timings;
};
