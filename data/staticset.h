#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <cstdint>

// One decorative object of a group, placed relative to the decorated cell.
struct StaticEntry
{
    std::uint16_t tileId = 0;
    std::int8_t x = 0;
    std::int8_t y = 0;
    std::int8_t z = 0;
    std::uint16_t hue = 0;

    bool operator==(const StaticEntry &) const = default;
};

struct StaticGroup
{
    int freq = 0;
    QList<StaticEntry> entries;

    bool operator==(const StaticGroup &) const = default;
};

struct StaticSet
{
    // Percentage: a cell is tried when a draw modulo 100 is below it.
    int chance = 0;
    QList<StaticGroup> groups;
    // Each group index k appears freq(k) times, so a uniform draw from this
    // list picks a group with probability proportional to its weight.
    QList<std::uint16_t> weightedGroups;

    bool operator==(const StaticSet &) const = default;
};

// Keyed by the upper-cased file name of the set, extension included.
using StaticSetHash = QHash<QString, StaticSet>;
