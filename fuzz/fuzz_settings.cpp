#include "data/generatorsettings.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzSupport::scratchPath(QStringLiteral("mapgenerator.xml"));
    FuzzSupport::writeFile(path, FuzzSupport::bytes(data, size));
    readGeneratorSettings(path);
    return 0;
}
