#include "mapfiles.h"

namespace MapFiles {

int mapNumber(int blocksHigh)
{
    switch (blocksHigh) {
    case 256:
        return 3;
    case 200:
        return 2;
    case 181:
        return 4;
    default:
        return 0;
    }
}

QString path(const QString &destination, Kind kind, int mapNumber)
{
    const char *name = kind == Kind::Map ? "/map" : kind == Kind::Index ? "/staidx" : "/statics";
    return destination + QLatin1String(name) + QString::number(mapNumber) + QLatin1String(".mul");
}

} // namespace MapFiles
