#include "data/maptables.h"
#include "data/transitionfile.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzSupport::scratchPath(QStringLiteral("transitions.xml"));
    FuzzSupport::writeFile(path, FuzzSupport::bytes(data, size));
    MapTables tables;
    // A general file also names static sets; a rough-edge file fills its own table.
    loadTransitionFile(tables, path, TransitionKind::General);
    loadTransitionFile(tables, path, TransitionKind::Left);
    if (tables.LeftTransitionTable.size() != tables.TransitionTable.size()
        || tables.TransitionFileTable.size() > tables.TransitionTable.size())
        __builtin_trap();
    return 0;
}
