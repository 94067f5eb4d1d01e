#pragma once

#include "data/palettetable.h"
#include "packedkey.h"

#include <cstdint>

// The random variation a pass adds to a cell's base altitude and its tile's
// AltIDMod: 0 to 5 on a random terrain's own tile, -2, 0 or 2 under a
// general transition whose key is a random terrain nine times, none
// otherwise.
enum class AltitudeVariation : std::uint8_t { None, OwnTile, UniformTransition };

constexpr bool allowsVariation(AltitudeVariation variation, int difference)
{
    switch (variation) {
    case AltitudeVariation::None:
        return difference == 0;
    case AltitudeVariation::OwnTile:
        return difference >= 0 && difference <= 5;
    case AltitudeVariation::UniformTransition:
        return difference == 0 || difference == -2 || difference == 2;
    }
    return false;
}

// The variation on a terrain's own tile, and under a general transition
// with the key: one that is a random terrain nine times keeps the
// terrain's variation.
inline AltitudeVariation ownTileVariation(const PaletteTable<bool> &randomTable,
                                          std::uint8_t terrain)
{
    return randomTable.value(terrain) ? AltitudeVariation::OwnTile : AltitudeVariation::None;
}
inline AltitudeVariation generalTransitionVariation(const PaletteTable<bool> &randomTable,
                                                    PackedKey key)
{
    return key == PackedKey::uniform(key.tail) && randomTable.value(key.tail)
        ? AltitudeVariation::UniformTransition
        : AltitudeVariation::None;
}
