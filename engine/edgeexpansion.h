#pragma once

#include "bordercoverage.h"
#include "data/designerfiles.h"
#include "edgesetfile.h"

#include <QByteArray>
#include <QList>

// One transition definition that an edge set draws.
struct EdgeDefinition
{
    PackedKey key;
    // The shape of the pattern, and the shape whose tiles draw it.
    EdgeShape shape = EdgeShape::Full;
    EdgeShape drawnAs = EdgeShape::Full;
};

// Border patterns that no named shape draws.
struct UncoveredBorders
{
    // The edge set whose shape they need, or -1 when no edge set pairs the
    // centre's terrain with a terrain around it.
    int set = -1;
    EdgeShape shape = EdgeShape::Full;
    // With set -1: the terrains of the patterns.
    QList<std::uint8_t> terrains;
    qint64 patterns = 0;
    // From the image's patterns; 0 without an image.
    qint64 cells = 0;
    QPoint firstCell;
};

struct EdgeExpansion
{
    // One list per edge set, in the file's order; each by shape, then key.
    QList<QList<EdgeDefinition>> definitions;
    // By edge set and shape; those of no edge set last.
    QList<UncoveredBorders> uncovered;
};

// Without image patterns: every 3 x 3 pattern over the two terrains of each
// edge set. With them (the border patterns of a terrain image): the
// patterns of the image. A cell of the under terrain takes the shape that
// the over terrain around it makes; a pattern of more terrains takes the
// edge set of the terrain drawn over its centre that has the most cells in
// it (the earlier edge set on a tie), all terrains drawn over the centre
// counting as over. A centre drawn over all its neighbours is Full.
EdgeExpansion expandEdgeSets(const QList<EdgeSet> &sets,
                             const QList<BorderPattern> *imagePatterns = nullptr);

// The transitions file of one edge set; sourceName names the edge-set file
// in its header.
QByteArray edgeSetTransitions(const EdgeSet &set, const QList<EdgeDefinition> &definitions,
                              const QString &sourceName);

// Where the transitions file of an edge set goes: directory/NAME/NAME.xml.
QString edgeSetFilePath(const QString &directory, const EdgeSet &set);

// The transitions file of every edge set that draws something. One that
// draws nothing writes no file: a file left from an earlier expansion then
// holds only patterns that do not occur, which match no cell.
QList<DesignerFile> edgeSetFiles(const QList<EdgeSet> &sets, const EdgeExpansion &expansion,
                                 const QString &directory, const QString &sourceName);
