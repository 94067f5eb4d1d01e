#include "data/maptables.h"
#include "data/staticsetfile.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString name = QStringLiteral("trees.xml");
    const QString path = FuzzSupport::scratchPath(name);
    FuzzSupport::writeFile(path, FuzzSupport::bytes(data, size));
    MapTables tables;
    loadStaticSetFile(tables, path, name, [](const QString &) {});
    const StaticSet set = tables.StaticSetTable.value(name.toUpper());
    // Every position of the weighted list names a group of the set.
    const WeightedGroups &weighted = set.weightedGroups;
    if (weighted.isEmpty())
        return 0;
    for (const qint64 position : {qint64(0), weighted.count() / 2, weighted.count() - 1}) {
        const int group = weighted.at(position);
        if (group < 0 || group >= set.groups.size())
            __builtin_trap();
    }
    return 0;
}
