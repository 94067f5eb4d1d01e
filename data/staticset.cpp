#include "staticset.h"

void WeightedGroups::append(int groupIndex, int weight)
{
    if (weight <= 0)
        return;
    m_totals.append(count() + weight);
    m_groups.append(groupIndex);
}
