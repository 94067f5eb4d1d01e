#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QTextStream>

#include <optional>

// The options that say which map of a destination directory a command reads
// and how high it is: --map N and --blocks-high N.
class MapChoice
{
public:
    MapChoice();

    QList<QCommandLineOption> options() const { return {m_mapOption, m_blocksHighOption}; }

    // Reads the options; without --map, the destination's only map. On
    // failure prints why and returns the exit code.
    std::optional<int> read(const QCommandLineParser &parser, const QString &destination,
                            QTextStream &err);

    int mapNumber() const { return m_mapNumber; }
    // 0 when --blocks-high was not given.
    int blocksHigh() const { return m_blocksHigh; }

private:
    QCommandLineOption m_mapOption;
    QCommandLineOption m_blocksHighOption;
    int m_mapNumber = 0;
    int m_blocksHigh = 0;
};
