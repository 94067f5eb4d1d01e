#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

namespace {

using IndexFunction = std::function<int(int, int)>;

// A tiny data directory: terrain 0 to 3 (1 and 3 with random altitude),
// altitude 0 to 3.
const QByteArray terrainXml = "<Terrains>"
                              "<Terrain ID='0' TileID='100'/>"
                              "<Terrain ID='1' TileID='258' Random='True'/>"
                              "<Terrain ID='2' TileID='65535'/>"
                              "<Terrain ID='3' TileID='7' Random='True'/>"
                              "</Terrains>";
const QByteArray altitudeXml = "<Altitudes>"
                               "<Altitude Key='0' Altitude='0'/>"
                               "<Altitude Key='1' Altitude='-128'/>"
                               "<Altitude Key='2' Altitude='125'/>"
                               "<Altitude Key='3' Altitude='-5'/>"
                               "</Altitudes>";
const int terrainTiles[] = {100, 258, 65535, 7};
const int terrainRandom[] = {0, 1, 0, 1};
const int altitudes[] = {0, -128, 125, -5};

// The land file the format defines for the images, worked out with the C
// library's own rand() as the source of the per-cell draws.
QByteArray expectedLandFile(int width, int height, const IndexFunction &terrain,
                            const IndexFunction &altitude, unsigned seed)
{
    std::srand(seed);
    QByteArray bytes;
    const int blocksWide = width / 8, blocksHigh = height / 8;
    for (int bx = 0; bx < blocksWide; ++bx) {
        for (int by = 0; by < blocksHigh; ++by) {
            const int number = bx * blocksHigh + by;
            bytes.append(char(number & 0xff)).append(char((number >> 8) & 0xff));
            bytes.append(char(0)).append(char(0));
            for (int k = 0; k < 8; ++k) {
                for (int l = 0; l < 8; ++l) {
                    const int t = terrain(bx * 8 + l, by * 8 + k);
                    const int a = altitude(bx * 8 + l, by * 8 + k);
                    const int r = std::rand();
                    int z = altitudes[a] + terrainRandom[t] * (r % 6);
                    z = (z + 128) % 256 - 128; // wrap to a signed byte
                    bytes.append(char(terrainTiles[t] & 0xff)).append(char(terrainTiles[t] >> 8));
                    bytes.append(char(z));
                }
            }
        }
    }
    return bytes;
}

QByteArray emptyIndexFile(int blocks)
{
    return QByteArray::fromHex("ffffffff0000000000000000").repeated(blocks);
}

} // namespace

class TestMapPass : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_data, m_dest;
    KeyGrid m_keyGrid;

    PassSummary generate(MapTables &tables, int width, int height, const IndexFunction &terrain,
                         const IndexFunction &altitude, unsigned seed, RecordingObserver &observer)
    {
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("terrain.png")), width, height,
                                       terrain);
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("altitude.png")), width,
                                       height, altitude);
        GlibcRandom random(seed);
        PassOptions options;
        options.destination = m_dest;
        return processMap(tables, m_keyGrid, random, m_dir.filePath(QStringLiteral("terrain.png")),
                          m_dir.filePath(QStringLiteral("altitude.png")), options, observer);
    }

    MapTables loadedTables()
    {
        MapTables tables;
        loadDataDirectory(tables, m_data);
        return tables;
    }

    QByteArray output(const QString &name) { return TestSupport::readFile(m_dest + '/' + name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_data = m_dir.filePath(QStringLiteral("data"));
        TestSupport::writeFile(m_data + QLatin1String("/system/terrain.xml"), terrainXml);
        TestSupport::writeFile(m_data + QLatin1String("/system/altitude.xml"), altitudeXml);
    }

    void init()
    {
        m_dest = m_dir.filePath(QStringLiteral("out"));
        QDir(m_dest).removeRecursively();
        QDir().mkpath(m_dest);
    }

    void landMapBytes_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<unsigned>("seed");
        QTest::newRow("3 x 2 blocks") << 24 << 16 << 42u;
        QTest::newRow("20 x 20 ignores the margin") << 20 << 20 << 7u;
        QTest::newRow("one block, seed 0") << 8 << 8 << 0u;
    }

    void landMapBytes()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(unsigned, seed);
        const IndexFunction terrain = [](int x, int y) { return (x / 3 + y) % 4; };
        // Altitude 125 under random terrain wraps past 127.
        const IndexFunction altitude = [](int x, int y) { return (x + 2 * y) % 4; };

        MapTables tables = loadedTables();
        RecordingObserver observer;
        const PassSummary summary =
            generate(tables, width, height, terrain, altitude, seed, observer);

        QCOMPARE(summary.outcome, PassSummary::Outcome::Completed);
        const int blocks = (width / 8) * (height / 8);
        QCOMPARE(output(QStringLiteral("map0.mul")),
                 expectedLandFile(width, height, terrain, altitude, seed));
        QCOMPARE(output(QStringLiteral("staidx0.mul")), emptyIndexFile(blocks));
        QVERIFY(QFile::exists(m_dest + QLatin1String("/statics0.mul")));
        QCOMPARE(output(QStringLiteral("statics0.mul")), QByteArray());
        QCOMPARE(observer.statusMessages, QStringList {QStringLiteral("Processing Map")});
        QCOMPARE(observer.progressMaximum, blocks);
        QList<int> expectedProgress;
        for (int bx = 0; bx < width / 8; ++bx)
            expectedProgress << bx * (height / 8);
        QCOMPARE(observer.progressValues, expectedProgress);
        QCOMPARE(observer.progressFinishedCount, 1);
        QVERIFY(observer.warnings.isEmpty());
        QVERIFY(observer.errors.isEmpty());
    }

    void mapNumberFromHeight_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("mapFile");
        QTest::newRow("1600 high") << 1600 << QStringLiteral("map2.mul");
        QTest::newRow("1607 high") << 1607 << QStringLiteral("map2.mul");
        QTest::newRow("1448 high") << 1448 << QStringLiteral("map4.mul");
        QTest::newRow("2048 high") << 2048 << QStringLiteral("map3.mul");
        QTest::newRow("4096 high") << 4096 << QStringLiteral("map0.mul");
    }

    void mapNumberFromHeight()
    {
        QFETCH(int, height);
        QFETCH(QString, mapFile);
        MapTables tables = loadedTables();
        RecordingObserver observer;
        const auto zero = [](int, int) { return 0; };
        const PassSummary summary = generate(tables, 8, height, zero, zero, 1, observer);
        QCOMPARE(summary.outcome, PassSummary::Outcome::Completed);
        QCOMPARE(QDir(m_dest).entryList(QDir::Files).filter(QStringLiteral("map")),
                 QStringList {mapFile});
        QCOMPARE(output(mapFile).size(), 196 * (height / 8));
    }

    void imagesSmallerThanOneBlockGiveEmptyFiles()
    {
        MapTables tables = loadedTables();
        RecordingObserver observer;
        const auto zero = [](int, int) { return 0; };
        QCOMPARE(generate(tables, 7, 30, zero, zero, 1, observer).outcome,
                 PassSummary::Outcome::Completed);
        QCOMPARE(QDir(m_dest).entryList(QDir::Files),
                 (QStringList {QStringLiteral("map0.mul"), QStringLiteral("staidx0.mul"),
                               QStringLiteral("statics0.mul")}));
        for (const QString &name : QDir(m_dest).entryList(QDir::Files))
            QCOMPARE(QFileInfo(m_dest + '/' + name).size(), 0);
    }

    void missingIndexesAreEnteredAndReportedOnce()
    {
        MapTables tables = loadedTables();
        // Terrain 9 and altitude 8 are not defined; the first cell has both.
        const IndexFunction terrain = [](int x, int) { return x < 4 ? 9 : 0; };
        const IndexFunction altitude = [](int x, int y) { return x < 2 && y < 4 ? 8 : 2; };
        RecordingObserver first;
        const PassSummary summary = generate(tables, 16, 8, terrain, altitude, 3, first);
        QCOMPARE(first.statusMessages,
                 (QStringList {QStringLiteral("Processing Map"),
                               QStringLiteral("Altitude index 8 not present in altitudes.xml"),
                               QStringLiteral("Terrain index 9 not present in terrain.xml")}));
        QCOMPARE(summary.missingTerrain.size(), 1);
        QCOMPARE(summary.missingTerrain[0].index, 9);
        QCOMPARE(summary.missingTerrain[0].cells, 32);
        QCOMPARE(summary.missingTerrain[0].firstCell, QPoint(0, 0));
        QCOMPARE(summary.missingAltitude[0].cells, 8);
        QVERIFY(tables.TerrainTable.contains(9));
        QCOMPARE(int(tables.TerrainTable.value(9)), 0);
        QVERIFY(tables.TerrainRandomTable.contains(9));
        QCOMPARE(int(tables.AltitudeTable.value(8)), 0);

        // The first cell: tile id 0 and altitude 0 (terrain 9 has no random flag).
        const QByteArray map = output(QStringLiteral("map0.mul"));
        QCOMPARE(map.mid(4, 3), QByteArray::fromHex("000000"));

        RecordingObserver second;
        generate(tables, 16, 8, terrain, altitude, 3, second);
        QCOMPARE(second.statusMessages, QStringList {QStringLiteral("Processing Map")});
        QCOMPARE(output(QStringLiteral("map0.mul")), map);
    }

    void imageChecks_data()
    {
        QTest::addColumn<QString>("terrainFile");
        QTest::addColumn<QString>("altitudeFile");
        QTest::addColumn<QString>("warning");
        const QString sizeMismatch =
            QStringLiteral("Size mismatch: Terrain and Altitude image files are different sizes");
        const QString depth = QStringLiteral(
            "Invalid color depth: Terrain or Alttiude image files are not 8 bit color");
        QTest::newRow("different sizes") << "small.png"
                                         << "large.png" << sizeMismatch;
        QTest::newRow("one image missing") << "small.png"
                                           << "missing.png" << sizeMismatch;
        QTest::newRow("both missing") << "missing.png"
                                      << "missing2.png" << depth;
        QTest::newRow("24-bit image") << "rgb.png"
                                      << "small.png" << depth;
    }

    void imageChecks()
    {
        QFETCH(QString, terrainFile);
        QFETCH(QString, altitudeFile);
        QFETCH(QString, warning);
        const auto zero = [](int, int) { return 0; };
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("small.png")), 16, 16, zero);
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("large.png")), 16, 24, zero);
        QImage rgb(16, 16, QImage::Format_RGB32);
        rgb.fill(Qt::red);
        QVERIFY(rgb.save(m_dir.filePath(QStringLiteral("rgb.png"))));
        TestSupport::writeFile(m_dest + QLatin1String("/map0.mul"), "keep");

        MapTables tables = loadedTables();
        GlibcRandom random(1);
        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dest;
        const PassSummary summary =
            processMap(tables, m_keyGrid, random, m_dir.filePath(terrainFile),
                       m_dir.filePath(altitudeFile), options, observer);
        QCOMPARE(summary.outcome, PassSummary::Outcome::InvalidImages);
        QCOMPARE(observer.warnings, QStringList {warning});
        QVERIFY(observer.statusMessages.isEmpty());
        QCOMPARE(QDir(m_dest).entryList(QDir::Files), QStringList {QStringLiteral("map0.mul")});
        QCOMPARE(output(QStringLiteral("map0.mul")), QByteArray("keep"));
    }

    void grayscaleImagesReadTheGrayLevel()
    {
        QImage gray(8, 8, QImage::Format_Grayscale8);
        gray.fill(3);
        QVERIFY(gray.save(m_dir.filePath(QStringLiteral("gray.png"))));
        QCOMPARE(QImage(m_dir.filePath(QStringLiteral("gray.png"))).format(),
                 QImage::Format_Grayscale8);

        MapTables tables = loadedTables();
        GlibcRandom random(5);
        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dest;
        QCOMPARE(processMap(tables, m_keyGrid, random, m_dir.filePath(QStringLiteral("gray.png")),
                            m_dir.filePath(QStringLiteral("gray.png")), options, observer)
                     .outcome,
                 PassSummary::Outcome::Completed);
        const auto three = [](int, int) { return 3; };
        QCOMPARE(output(QStringLiteral("map0.mul")), expectedLandFile(8, 8, three, three, 5));
    }

    void abortKeepsThePreviousMap_data()
    {
        QTest::addColumn<int>("cancelAtProgress");
        QTest::newRow("first column") << 0;
        // Seen only by the check after the loops.
        QTest::newRow("last column") << 6;
    }

    void abortKeepsThePreviousMap()
    {
        QFETCH(int, cancelAtProgress);
        TestSupport::writeFile(m_dest + QLatin1String("/map0.mul"), "old map");
        TestSupport::writeFile(m_dest + QLatin1String("/staidx0.mul"), "old index");
        MapTables tables = loadedTables();
        RecordingObserver observer;
        observer.cancelAtProgress = cancelAtProgress;
        const auto zero = [](int, int) { return 0; };
        QCOMPARE(generate(tables, 32, 16, zero, zero, 1, observer).outcome,
                 PassSummary::Outcome::Aborted);
        QCOMPARE(QDir(m_dest).entryList(QDir::Files | QDir::Hidden),
                 (QStringList {QStringLiteral("map0.mul"), QStringLiteral("staidx0.mul")}));
        QCOMPARE(output(QStringLiteral("map0.mul")), QByteArray("old map"));
        QCOMPARE(output(QStringLiteral("staidx0.mul")), QByteArray("old index"));
    }

    void unwritableDestinationIsAnError()
    {
        MapTables tables = loadedTables();
        RecordingObserver observer;
        m_dest = m_dir.filePath(QStringLiteral("does/not/exist"));
        const auto zero = [](int, int) { return 0; };
        const PassSummary summary = generate(tables, 8, 8, zero, zero, 1, observer);
        QCOMPARE(summary.outcome, PassSummary::Outcome::OutputFailed);
        QCOMPARE(observer.errors.size(), 1);
        QVERIFY2(observer.errors[0].contains(QStringLiteral("does/not/exist/map0.mul")),
                 qPrintable(observer.errors[0]));
        QCOMPARE(observer.progressMaximum, -1);
    }
};

QTEST_GUILESS_MAIN(TestMapPass)
#include "tst_mappass.moc"
