#include "randomstatics.h"

#include "mapfiles.h"

int placeStaticGroup(const TransitionIndex &index, const MainKeyEntry &main, int r2, int l, int k,
                     std::int8_t landZ, StaticsBuffer &statics, QStringList &traces)
{
    const StaticSet &set = *main.staticSet;
    // A remainder without a division where the weights allow it.
    const qint64 position = main.totalWeight.divisor() > 0
        ? qint64(main.totalWeight.of(std::uint32_t(r2)))
        : r2 % set.weightedGroups.count();
    const StaticGroup &group = set.groups[set.weightedGroups.at(position)];
    for (const StaticEntry &entry : group.entries) {
        const int x = l + entry.x, y = k + entry.y;
        if (x < 0 || x >= MapFiles::cellsPerBlockSide || y < 0 || y >= MapFiles::cellsPerBlockSide)
            return 0;
    }
    for (const StaticEntry &entry : group.entries) {
        if (entry.tileId == 0)
            traces.append(QLatin1String("UNUSED found in set ")
                          + index.staticSetNames().at(main.staticSetId));
        statics.append(entry.tileId, l + entry.x, k + entry.y,
                       static_cast<std::int8_t>(landZ + entry.z), entry.hue);
    }
    return int(group.entries.size());
}
