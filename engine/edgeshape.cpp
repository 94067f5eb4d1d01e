#include "edgeshape.h"

#include <array>

namespace {

const std::array<const char *, edgeShapeCount> names = {
    "Full",    "North",        "East",         "South",   "West",    "OuterNW",
    "OuterNE", "OuterSE",      "OuterSW",      "InnerNW", "InnerNE", "InnerSE",
    "InnerSW", "DiagonalNWSE", "DiagonalNESW", "StripNS", "StripEW", "Lone",
};

} // namespace

QString edgeShapeName(EdgeShape shape)
{
    return QLatin1String(names[std::size_t(shape)]);
}

std::optional<EdgeShape> edgeShapeNamed(const QString &name)
{
    for (int i = 0; i < edgeShapeCount; ++i) {
        if (name == QLatin1String(names[std::size_t(i)]))
            return EdgeShape(i);
    }
    return std::nullopt;
}

EdgeShape underCellShape(std::uint8_t overMask)
{
    using namespace Neighbour;
    const auto any = [overMask](int bits) { return (overMask & bits) != 0; };
    const bool n = any(N), e = any(E), s = any(S), w = any(W);
    const bool nw = any(NW | N | W), ne = any(NE | N | E);
    const bool se = any(SE | S | E), sw = any(SW | S | W);
    switch (nw + ne + se + sw) {
    case 1:
        return nw ? EdgeShape::OuterNW
            : ne  ? EdgeShape::OuterNE
            : se  ? EdgeShape::OuterSE
                  : EdgeShape::OuterSW;
    case 2:
        if (nw && ne)
            return EdgeShape::North;
        if (ne && se)
            return EdgeShape::East;
        if (se && sw)
            return EdgeShape::South;
        if (sw && nw)
            return EdgeShape::West;
        return nw ? EdgeShape::DiagonalNWSE : EdgeShape::DiagonalNESW;
    case 3:
        // Named by the corner across from the one left under.
        return !se ? EdgeShape::InnerNW
            : !sw  ? EdgeShape::InnerNE
            : !nw  ? EdgeShape::InnerSE
                   : EdgeShape::InnerSW;
    default:
        if (n && e && s && w)
            return EdgeShape::Lone;
        if (e && w && !(n && s))
            return EdgeShape::StripNS;
        if (n && s && !(e && w))
            return EdgeShape::StripEW;
        return EdgeShape::Full;
    }
}

std::optional<EdgeShape> fallbackShape(EdgeShape shape)
{
    switch (shape) {
    case EdgeShape::StripNS:
    case EdgeShape::StripEW:
    case EdgeShape::Lone:
        return EdgeShape::Full;
    default:
        return std::nullopt;
    }
}
