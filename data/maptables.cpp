#include "maptables.h"

TransitionHash &MapTables::transitionTable(TransitionKind kind)
{
    switch (kind) {
    case TransitionKind::Left:
        return LeftTransitionTable;
    case TransitionKind::Top:
        return TopTransitionTable;
    case TransitionKind::Corner:
        return CornerTransitionTable;
    case TransitionKind::General:
        break;
    }
    return TransitionTable;
}
