// Times map generation passes on a synthetic world: blobs of six terrains
// with a transition definition for every 3 x 3 border pattern that occurs,
// as a hand-made data directory for such a world would have. Each round
// runs the pass, the pass on one thread (QUILLMOOR_PASS_THREADS=1) and the
// floor (decoding the two images, writing and syncing files of the
// output's sizes), and the best of each is also given as a multiple of the
// floor's. Run by hand:
//
//     build/bin/mapgenerator-passbench [--size N] [--random-art] [--runs N]

#include "data/maptables.h"
#include "data/structurestatics.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
#include "passfloor.h"
#include "silentobserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <cmath>

namespace {

QImage gridImage(int size, const std::function<int(int, int)> &index)
{
    QImage image(size, size, QImage::Format_Indexed8);
    QList<QRgb> colors;
    for (int i = 0; i < 256; ++i)
        colors << qRgb(i, i, i);
    image.setColorTable(colors);
    for (int y = 0; y < size; ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < size; ++x)
            row[x] = static_cast<uchar>(index(x, y));
    }
    return image;
}

QString windowKey(const QImage &terrain, int x, int y)
{
    QString key;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            key += QStringLiteral("%1")
                       .arg(terrain.pixelIndex(qBound(0, x + dx, terrain.width() - 1),
                                               qBound(0, y + dy, terrain.height() - 1)),
                            2, 16, QLatin1Char('0'))
                       .toUpper();
    return key;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption sizeOption(QStringLiteral("size"),
                                        QStringLiteral("Map side in cells."), QStringLiteral("N"),
                                        QStringLiteral("2048"));
    const QCommandLineOption randomArtOption(QStringLiteral("random-art"),
                                             QStringLiteral("Decorate cells from static sets."));
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Rounds (default 5)."), QStringLiteral("N"),
                                        QStringLiteral("5"));
    parser.addOptions({sizeOption, randomArtOption, runsOption});
    parser.process(application);
    const int size = parser.value(sizeOption).toInt();
    const int runs = std::max(1, parser.value(runsOption).toInt());
    QTextStream out(stdout);

    // Six terrains in blobs with ragged borders running in all directions.
    const QImage terrain = gridImage(size, [](int x, int y) {
        const unsigned hash = (unsigned(x) * 73856093u) ^ (unsigned(y) * 19349663u);
        const double v = std::sin(x / 37.0) + std::cos(y / 29.0) + std::sin((x + y) / 53.0)
            + (hash % 1000) / 1000.0 * 0.4;
        return 1 + qBound(0, int((v + 3.0) * 1.0), 5);
    });
    const QImage altitude = gridImage(size, [](int x, int y) { return (x / 64 + y / 64) % 16; });

    MapTables tables;
    for (int i = 1; i <= 6; ++i) {
        tables.TerrainTable.insert(i, quint16(1000 + i));
        tables.TerrainRandomTable.insert(i, true);
    }
    for (int i = 0; i < 16; ++i)
        tables.AltitudeTable.insert(i, qint8(i * 4));

    // A definition for every distinct window along the borders.
    QSet<QString> keys;
    for (int y = 0; y < size; y += 1)
        for (int x = 0; x < size; x += 1)
            if (terrain.pixelIndex(x, y) != terrain.pixelIndex(qMin(x + 1, size - 1), y)
                || terrain.pixelIndex(x, y) != terrain.pixelIndex(x, qMin(y + 1, size - 1)))
                keys.insert(windowKey(terrain, x, y));
    QStringList sortedKeys(keys.cbegin(), keys.cend());
    sortedKeys.sort();
    int n = 0;
    for (const QString &key : std::as_const(sortedKeys)) {
        TransitionInfo info;
        info.mapTiles << TransitionTile {quint16(2000 + n % 50), 0}
                      << TransitionTile {quint16(2100 + n % 50), 1};
        if (n % 3 == 0)
            info.staticTiles << TransitionTile {quint16(3000 + n % 20), 0};
        (n % 10 == 0 ? tables.LeftTransitionTable : tables.TransitionTable).insert(key, info);
        ++n;
    }
    for (int i = 1; i <= 6; ++i) {
        const QString uniform = QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).repeated(9);
        TransitionInfo info;
        info.mapTiles << TransitionTile {quint16(1000 + i), 0};
        tables.TransitionTable.insert(uniform, info);
        tables.TransitionFileTable.insert(uniform, QStringLiteral("SET%1.XML").arg(i));
        StaticSet set;
        set.chance = 10;
        StaticGroup single, pair;
        single.freq = 3;
        single.entries << StaticEntry {quint16(5000 + i), 0, 0, 0, 0};
        pair.freq = 1;
        pair.entries << StaticEntry {quint16(5100 + i), 0, 0, 0, 0}
                     << StaticEntry {quint16(5200 + i), 1, 0, 5, 0};
        set.groups << single << pair;
        set.weightedGroups.append(0, 3);
        set.weightedGroups.append(1, 1);
        tables.StaticSetTable.insert(QStringLiteral("SET%1.XML").arg(i), set);
    }

    QTemporaryDir dir;
    const QString terrainPath = dir.filePath(QStringLiteral("terrain.png"));
    const QString altitudePath = dir.filePath(QStringLiteral("altitude.png"));
    terrain.save(terrainPath);
    altitude.save(altitudePath);

    PassOptions options;
    options.destination = dir.path();
    options.randomArt = parser.isSet(randomArtOption);
    SilentObserver observer;
    PassSummary summary;
    const auto timePass = [&](bool oneThread) {
        if (oneThread)
            qputenv("QUILLMOOR_PASS_THREADS", "1");
        else
            qunsetenv("QUILLMOOR_PASS_THREADS");
        // Each pass starts from the loaded tables, as the first Generate
        // of a window does.
        MapTables passTables = tables;
        KeyGrid keyGrid;
        StructureStatics structureStatics;
        GlibcRandom random(1);
        QElapsedTimer timer;
        timer.start();
        summary = processMap(passTables, structureStatics, keyGrid, random, terrainPath,
                             altitudePath, options, observer);
        return timer.nsecsElapsed();
    };
    qint64 bestPass = 0, bestOneThread = 0, bestFloor = 0;
    const auto keepBest = [](qint64 &best, qint64 ns) {
        best = best == 0 ? ns : std::min(best, ns);
    };
    for (int run = 0; run < runs; ++run) {
        keepBest(bestPass, timePass(false));
        keepBest(bestOneThread, timePass(true));
        keepBest(bestFloor,
                 PassFloor::run(terrainPath, altitudePath, dir.path(),
                                PassFloor::outputSizes(dir.path())));
    }
    const auto report = [&](const char *what, qint64 ns) {
        out << what << ": " << QString::number(ns / 1e6, 'f', 1) << " ms, "
            << QString::number(summary.cells / (ns / 1e9) / 1e6, 'f', 1) << " million cells/s, "
            << QString::number(double(ns) / double(bestFloor), 'f', 2) << " x the floor\n";
    };
    out << size << " x " << size << " cells, " << tables.TransitionTable.size() << " general and "
        << tables.LeftTransitionTable.size() << " left transitions, random art "
        << (options.randomArt ? "on" : "off") << ", " << summary.staticsWritten
        << " statics; best of " << runs << ", image decoding and writing included\n";
    report("pass", bestPass);
    report("pass on one thread", bestOneThread);
    report("floor", bestFloor);
    return 0;
}
