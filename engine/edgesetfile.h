#pragma once

#include "data/dataproblem.h"
#include "data/transitioninfo.h"
#include "edgeshape.h"

#include <QList>
#include <QString>

#include <array>
#include <optional>

// What an edge set draws for one shape: a random choice of map tiles, as
// in MapTiles, and of static tiles, and the static set of the cells.
struct EdgeTiles
{
    QList<TransitionTile> mapTiles;
    QList<TransitionTile> staticTiles;
    QString staticSet;
};

// One terrain drawn over another (palette indexes) and the tiles of the
// shapes of their border.
struct EdgeSet
{
    QString name;
    std::uint8_t over = 0;
    std::uint8_t under = 0;
    std::array<std::optional<EdgeTiles>, edgeShapeCount> shapes;

    // The shape that draws the given one: itself when named, else its
    // fallback when that is named; nothing when neither is.
    std::optional<EdgeShape> drawnAs(EdgeShape shape) const;
};

struct EdgeSetFile
{
    // Empty when the file has an error.
    QList<EdgeSet> sets;
    // Errors, by line, as check-data reports them.
    QList<DataProblem> problems;
};

// Reads an edge-set file: EdgeSet elements (Name, Over, Under, File) below
// the root, each holding one element per shape it names (Tiles, Statics,
// AltIDMod, File). Anything that could be a typing mistake is an error.
EdgeSetFile readEdgeSetFile(const QString &path);
