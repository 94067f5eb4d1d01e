#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>
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

// The list of group indexes in which each group index k appears freq(k)
// times, so that a uniform draw from it picks a group with probability
// proportional to its weight. Kept as running totals rather than spelled
// out, so that a weight of two billion costs no memory; at() answers
// exactly as the spelled-out list would.
class WeightedGroups
{
public:
    // Appends groupIndex weight times; a weight of 0 or less adds nothing.
    void append(int groupIndex, int weight);

    qint64 count() const { return m_totals.isEmpty() ? 0 : m_totals.constLast(); }
    bool isEmpty() const { return count() == 0; }
    // The group index at position 0 <= position < count(). Inline: the
    // pass asks for every decorated cell.
    int at(qint64 position) const
    {
        // The first group whose running total exceeds the position.
        const auto it = std::upper_bound(m_totals.cbegin(), m_totals.cend(), position);
        return m_groups[it - m_totals.cbegin()];
    }

    bool operator==(const WeightedGroups &) const = default;

private:
    QList<qint64> m_totals; // running total of the weights up to each group
    QList<int> m_groups;
};

struct StaticSet
{
    // Percentage: a cell is tried when a draw modulo 100 is below it.
    int chance = 0;
    QList<StaticGroup> groups;
    WeightedGroups weightedGroups;

    bool operator==(const StaticSet &) const = default;
};

// Keyed by the upper-cased file name of the set, extension included.
using StaticSetHash = QHash<QString, StaticSet>;
