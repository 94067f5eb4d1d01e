#include "data/maptables.h"
#include "data/transitionfile.h"
#include "engine/edgeexpansion.h"
#include "engine/edgesetfile.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::initialize();
    return 0;
}

// The input is an edge-set file. A file is either read with its sets or
// refused with at least one error; what a read file expands to must load
// back as exactly the definitions it lists.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = FuzzSupport::scratchPath(QStringLiteral("edges.xml"));
    FuzzSupport::writeFile(path, FuzzSupport::bytes(data, size));
    const EdgeSetFile file = readEdgeSetFile(path);
    if (!file.sets.isEmpty() && !file.problems.isEmpty())
        __builtin_trap();
    const EdgeExpansion expansion = expandEdgeSets(file.sets);
    if (expansion.definitions.size() != file.sets.size())
        __builtin_trap();
    for (qsizetype i = 0; i < file.sets.size(); ++i) {
        const QString transitions = FuzzSupport::scratchPath(QStringLiteral("expanded.xml"));
        FuzzSupport::writeFile(transitions,
                               edgeSetTransitions(file.sets[i], expansion.definitions[i], path));
        MapTables tables;
        loadTransitionFile(tables, transitions, TransitionKind::General);
        if (tables.TransitionTable.size() != expansion.definitions[i].size())
            __builtin_trap();
    }
    return 0;
}
