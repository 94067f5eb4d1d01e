#include "data/altitudetable.h"
#include "data/maptables.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzSupport::scratchPath(QStringLiteral("altitude.xml"));
    FuzzSupport::writeFile(path, FuzzSupport::bytes(data, size));
    MapTables tables;
    loadAltitudeTable(tables, path);
    if (tables.AltitudeTable.size() > 256)
        __builtin_trap();
    return 0;
}
