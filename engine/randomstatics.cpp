#include "randomstatics.h"

#include "glibcrandom.h"
#include "mapfiles.h"
#include "passobserver.h"
#include "transitionindex.h"

int placeRandomStatics(const TransitionIndex &index, const MainKeyEntry *main, GlibcRandom &random,
                       int l, int k, std::int8_t landZ, std::vector<std::uint8_t> &statics,
                       PassObserver &observer)
{
    if (!main || !main->staticSet)
        return 0;
    const StaticSet &set = *main->staticSet;
    if (random.next() % 100 >= set.chance)
        return 0;
    if (set.weightedGroups.isEmpty())
        return 0;
    const StaticGroup &group =
        set.groups[set.weightedGroups.at(random.next() % set.weightedGroups.count())];
    for (const StaticEntry &entry : group.entries) {
        const int x = l + entry.x, y = k + entry.y;
        if (x < 0 || x >= MapFiles::cellsPerBlockSide || y < 0 || y >= MapFiles::cellsPerBlockSide)
            return 0;
    }
    for (const StaticEntry &entry : group.entries) {
        if (entry.tileId == 0)
            observer.trace(QLatin1String("UNUSED found in set ")
                           + index.staticSetNames().at(main->staticSetId));
        const std::size_t at = statics.size();
        statics.resize(at + MapFiles::staticItemSize);
        MapFiles::appendStaticItem(statics.data() + at, entry.tileId,
                                   static_cast<std::uint8_t>(l + entry.x),
                                   static_cast<std::uint8_t>(k + entry.y),
                                   static_cast<std::int8_t>(landZ + entry.z), entry.hue);
    }
    return int(group.entries.size());
}
