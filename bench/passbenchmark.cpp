// Times one map generation pass on a synthetic world: blobs of six terrains
// with a transition definition for every 3 x 3 border pattern that occurs,
// as a hand-made data directory for such a world would have. Run by hand:
//
//     build/bin/mapgenerator-passbench [--size N] [--random-art]

#include "data/maptables.h"
#include "data/structurestatics.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
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
    parser.addOptions({sizeOption, randomArtOption});
    parser.process(application);
    const int size = parser.value(sizeOption).toInt();
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
    KeyGrid keyGrid;
    StructureStatics structureStatics;
    GlibcRandom random(1);
    SilentObserver observer;
    QElapsedTimer timer;
    timer.start();
    const PassSummary summary = processMap(tables, structureStatics, keyGrid, random, terrainPath,
                                           altitudePath, options, observer);
    const double seconds = timer.nsecsElapsed() / 1e9;
    out << size << " x " << size << " cells, " << tables.TransitionTable.size() << " general and "
        << tables.LeftTransitionTable.size() << " left transitions, random art "
        << (options.randomArt ? "on" : "off") << "\n"
        << "pass (with image decoding and writing): " << QString::number(seconds, 'f', 3) << " s, "
        << QString::number(summary.cells / seconds / 1e6, 'f', 1) << " million cells/s, "
        << summary.staticsWritten << " statics\n";
    return 0;
}
