#include "randomstatics.h"

#include "mapfiles.h"

int placeStaticGroup(const TransitionIndex &index, const MainKeyEntry &main, int r2, int l, int k,
                     std::int8_t landZ, StaticsBuffer &statics, QStringList &traces)
{
    const CompiledStaticSet &set = index.staticSet(main.staticSetId);
    // A remainder without a division where the weights allow it.
    const qint64 position = main.totalWeight.divisor() > 0
        ? qint64(main.totalWeight.of(std::uint32_t(r2)))
        : r2 % main.staticSet->weightedGroups.count();
    const std::uint32_t groupIndex = set.groupAt.empty()
        ? std::uint32_t(main.staticSet->weightedGroups.at(position))
        : set.groupAt[std::size_t(position)];
    const CompiledStaticSet::Group &group = set.groups[groupIndex];
    if (!(group.fits >> (8 * k + l) & 1))
        return 0;
    const StaticEntry *entries = set.entries.data() + group.firstEntry;
    for (std::uint32_t i = 0; i < group.entryCount; ++i) {
        const StaticEntry &entry = entries[i];
        if (group.hasUnused && entry.tileId == 0)
            traces.append(QLatin1String("UNUSED found in set ")
                          + index.staticSetNames().at(main.staticSetId));
        statics.append(entry.tileId, l + entry.x, k + entry.y,
                       static_cast<std::int8_t>(landZ + entry.z), entry.hue);
    }
    return int(group.entryCount);
}
