#include "mapfiles.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

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

int blocksHigh(int mapNumber)
{
    switch (mapNumber) {
    case 3:
        return 256;
    case 2:
        return 200;
    case 4:
        return 181;
    default:
        return 0;
    }
}

QList<int> mapNumbersIn(const QString &destination)
{
    static const QRegularExpression name(QStringLiteral("^map(\\d+)\\.mul$"));
    QList<int> numbers;
    const QStringList files =
        QDir(destination).entryList({QStringLiteral("map*.mul")}, QDir::Files);
    for (const QString &file : files) {
        const QRegularExpressionMatch match = name.match(file);
        bool ok = false;
        const int number = match.captured(1).toInt(&ok);
        if (match.hasMatch() && ok)
            numbers.append(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QString path(const QString &destination, Kind kind, int mapNumber)
{
    const char *name = kind == Kind::Map ? "/map" : kind == Kind::Index ? "/staidx" : "/statics";
    return destination + QLatin1String(name) + QString::number(mapNumber) + QLatin1String(".mul");
}

} // namespace MapFiles
