// Generates a world many times in one process, as the window does on
// repeated Generate clicks, and shows whether memory or the tables grow
// after the first pass. Run by hand:
//
//     build/bin/mapgenerator-soak [--runs N] [--world DIR]
//
// The world directory (default: the example world) holds data/,
// terrain.png, altitude.png and structures/structures.xml; the program
// works inside it, since structure tile paths are relative to it.

#include "data/datadirectory.h"
#include "data/maptables.h"
#include "data/structurestatics.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
#include "silentobserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <unistd.h>

namespace {

// Resident memory in KiB, from the second field of /proc/self/statm.
qint64 residentKib()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

QString tableSizes(const MapTables &tables)
{
    return QStringLiteral("terrain %1, random %2, altitude %3, transitions %4/%5/%6/%7, "
                          "transition files %8, static sets %9")
        .arg(tables.TerrainTable.size())
        .arg(tables.TerrainRandomTable.size())
        .arg(tables.AltitudeTable.size())
        .arg(tables.TransitionTable.size())
        .arg(tables.LeftTransitionTable.size())
        .arg(tables.TopTransitionTable.size())
        .arg(tables.CornerTransitionTable.size())
        .arg(tables.TransitionFileTable.size())
        .arg(tables.StaticSetTable.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Passes (200)."),
                                        QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption worldOption(QStringLiteral("world"),
                                         QStringLiteral("World directory."), QStringLiteral("DIR"),
                                         QStringLiteral(QUILLMOOR_EXAMPLE_WORLD));
    parser.addOptions({runsOption, worldOption});
    parser.process(application);
    const int runs = parser.value(runsOption).toInt();
    QTextStream out(stdout);
    if (runs < 1 || !QDir::setCurrent(parser.value(worldOption))) {
        out << "error: need --runs of at least 1 and an existing --world directory" << Qt::endl;
        return 2;
    }

    QTemporaryDir destination;
    MapTables tables;
    loadDataDirectory(tables, QStringLiteral("data"));
    out << "after load: " << tableSizes(tables) << ", resident " << residentKib() << " KiB"
        << Qt::endl;
    // Kept across passes, as the window keeps them.
    KeyGrid keyGrid;
    StructureStatics structureStatics;
    GlibcRandom random(1);
    PassOptions options;
    options.destination = destination.path();
    options.randomArt = true;
    options.structuresEnabled = true;
    options.structureFile = QStringLiteral("structures/structures.xml");
    SilentObserver observer;

    QString afterFirst;
    qint64 firstKib = 0, peakKib = 0, lastKib = 0;
    QElapsedTimer timer;
    timer.start();
    for (int run = 1; run <= runs; ++run) {
        processMap(tables, structureStatics, keyGrid, random, QStringLiteral("terrain.png"),
                   QStringLiteral("altitude.png"), options, observer);
        lastKib = residentKib();
        peakKib = std::max(peakKib, lastKib);
        if (run == 1) {
            firstKib = lastKib;
            afterFirst = tableSizes(tables);
            out << "after pass 1: " << afterFirst << Qt::endl;
        }
        if (run == 1 || run % 20 == 0)
            out << "pass " << run << ": resident " << lastKib << " KiB" << Qt::endl;
    }
    const QString afterLast = tableSizes(tables);
    out << "after pass " << runs << ": " << afterLast << "\n"
        << runs << " passes in " << QString::number(timer.nsecsElapsed() / 1e9, 'f', 1)
        << " s; resident after pass 1 " << firstKib << " KiB, peak " << peakKib << " KiB, last "
        << lastKib << " KiB" << Qt::endl;
    if (afterLast != afterFirst) {
        out << "error: the tables grew after the first pass" << Qt::endl;
        return 1;
    }
    return 0;
}
