#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The shapes of a border between a terrain drawn over another, as tiles
// show them on one cell. Every name but Full says where the over terrain
// lies, seen from a cell of the under terrain; Full is the over terrain's
// own look, which its cells along the border take.
enum class EdgeShape : std::uint8_t {
    Full,
    North,
    East,
    South,
    West,
    OuterNW,
    OuterNE,
    OuterSE,
    OuterSW,
    InnerNW,
    InnerNE,
    InnerSE,
    InnerSW,
    DiagonalNWSE,
    DiagonalNESW,
    StripNS,
    StripEW,
    Lone,
};

constexpr int edgeShapeCount = int(EdgeShape::Lone) + 1;

// The element name of the shape in an edge-set file ("OuterNW").
QString edgeShapeName(EdgeShape shape);
std::optional<EdgeShape> edgeShapeNamed(const QString &name);

// Bits of a cell's neighbours, west to east and north to south, the cell
// itself left out.
namespace Neighbour {
enum : std::uint8_t { NW = 1, N = 2, NE = 4, W = 8, E = 16, SW = 32, S = 64, SE = 128 };
}

// The shape of a cell of the under terrain whose neighbours in overMask
// (Neighbour bits, not 0) are of the over terrain. Each corner of the cell
// shows the over terrain when one of the three neighbours that share it
// does; the shape follows from the corners, and a cell with all four
// corners over is a strip, a lone cell or Full by its four side neighbours.
EdgeShape underCellShape(std::uint8_t overMask);

// The shape drawn in place of one that an edge set leaves out: thin strips
// and lone cells of the under terrain are swallowed by the over terrain.
std::optional<EdgeShape> fallbackShape(EdgeShape shape);
