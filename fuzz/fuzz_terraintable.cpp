#include "data/maptables.h"
#include "data/terraintable.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzSupport::scratchPath(QStringLiteral("terrain.xml"));
    FuzzSupport::writeFile(path, FuzzSupport::bytes(data, size));
    MapTables tables;
    loadTerrainTable(tables, path);
    // Both tables are filled together, key for key.
    if (tables.TerrainTable.size() != tables.TerrainRandomTable.size())
        __builtin_trap();
    return 0;
}
