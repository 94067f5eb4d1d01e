#include "mapchoice.h"

#include "commandparser.h"
#include "engine/mapfiles.h"

#include <QDir>

MapChoice::MapChoice()
    : m_mapOption(QStringLiteral("map"),
                  QStringLiteral("Read map<N>.mul and its companions (default: the only map "
                                 "in the directory)."),
                  QStringLiteral("N")),
      m_blocksHighOption(QStringLiteral("blocks-high"),
                         QStringLiteral("The map's height in blocks, for map numbers that do not "
                                        "say it."),
                         QStringLiteral("N"))
{
}

std::optional<int> MapChoice::read(const QCommandLineParser &parser, const QString &destination,
                                   QTextStream &err)
{
    if (parser.isSet(m_blocksHighOption)) {
        bool ok = false;
        m_blocksHigh = parser.value(m_blocksHighOption).toInt(&ok);
        if (!ok || m_blocksHigh < 1) {
            err << "error: --blocks-high takes a whole number of 1 or more, not '"
                << parser.value(m_blocksHighOption) << "'" << Qt::endl;
            return usageError;
        }
    }
    if (parser.isSet(m_mapOption)) {
        bool ok = false;
        m_mapNumber = parser.value(m_mapOption).toInt(&ok);
        if (!ok || m_mapNumber < 0) {
            err << "error: --map takes a whole number of 0 or more, not '"
                << parser.value(m_mapOption) << "'" << Qt::endl;
            return usageError;
        }
        return std::nullopt;
    }
    const QList<int> numbers = MapFiles::mapNumbersIn(destination);
    if (numbers.size() == 1) {
        m_mapNumber = numbers.constFirst();
        return std::nullopt;
    }
    const QString directory = QDir::toNativeSeparators(destination);
    if (numbers.isEmpty()) {
        err << "error: " << directory
            << " holds no map<N>.mul file; pass the directory the map was generated into with "
               "--dest"
            << Qt::endl;
        return failure;
    }
    QStringList names;
    for (int number : numbers)
        names << QStringLiteral("map%1.mul").arg(number);
    err << "error: " << directory << " holds several maps (" << names.join(QLatin1String(", "))
        << "); choose one with --map" << Qt::endl;
    return failure;
}
