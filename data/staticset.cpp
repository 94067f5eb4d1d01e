#include "staticset.h"

#include <algorithm>

void WeightedGroups::append(int groupIndex, int weight)
{
    if (weight <= 0)
        return;
    m_totals.append(count() + weight);
    m_groups.append(groupIndex);
}

int WeightedGroups::at(qint64 position) const
{
    // The first group whose running total exceeds the position.
    const auto it = std::upper_bound(m_totals.cbegin(), m_totals.cend(), position);
    return m_groups[it - m_totals.cbegin()];
}
