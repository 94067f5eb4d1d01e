#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QScopeGuard>
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

// An 8-bit GIF of the image, which Qt reads but cannot write. Literal LZW
// codes only: a clear code, one 9-bit code per pixel, the end code; the
// code table never reaches 512 entries for images of up to 254 pixels.
QByteArray gifOf(int width, int height, const IndexFunction &index)
{
    QByteArray gif = "GIF89a";
    const auto append16 = [&gif](int value) {
        gif.append(char(value & 0xff)).append(char(value >> 8));
    };
    append16(width);
    append16(height);
    gif.append(char(0xf7)).append(char(0)).append(char(0)); // 256-colour global table
    for (int i = 0; i < 256; ++i)
        gif.append(char(i)).append(char(255 - i)).append(char((i * 7) & 0xff));
    gif.append(',');
    append16(0);
    append16(0);
    append16(width);
    append16(height);
    gif.append(char(0)).append(char(8)); // no local table; minimum code size 8
    QList<int> codes {256};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            codes << index(x, y);
    codes << 257;
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    for (int code : codes) {
        bits |= quint32(code) << count;
        for (count += 9; count >= 8; count -= 8, bits >>= 8)
            data.append(char(bits & 0xff));
    }
    if (count > 0)
        data.append(char(bits & 0xff));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray chunk = data.mid(at, 255);
        gif.append(char(chunk.size())).append(chunk);
    }
    return gif.append(char(0)).append(';');
}

QByteArray emptyIndexFile(int blocks)
{
    return QByteArray::fromHex("ffffffff0000000000000000").repeated(blocks);
}

// A structure tile file: the 4-byte header, then records of tile id, x, y,
// z, visible and hue, each 16 bits.
QByteArray tileFile(const QList<QList<int>> &records)
{
    QByteArray bytes("HDR!");
    for (const QList<int> &record : records) {
        for (int value : record)
            bytes.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
    }
    return bytes;
}

} // namespace

class TestMapPass : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_data, m_dest;
    KeyGrid m_keyGrid;
    StructureStatics m_structures;

    PassSummary generate(MapTables &tables, int width, int height, const IndexFunction &terrain,
                         const IndexFunction &altitude, unsigned seed, RecordingObserver &observer,
                         PassOptions options = {})
    {
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("terrain.png")), width, height,
                                       terrain);
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("altitude.png")), width,
                                       height, altitude);
        GlibcRandom random(seed);
        options.destination = m_dest;
        return processMap(tables, m_structures, m_keyGrid, random,
                          m_dir.filePath(QStringLiteral("terrain.png")),
                          m_dir.filePath(QStringLiteral("altitude.png")), options, observer);
    }

    MapTables loadedTables()
    {
        MapTables tables;
        loadDataDirectory(tables, m_data);
        return tables;
    }

    QByteArray output(const QString &name) { return TestSupport::readFile(m_dest + '/' + name); }

    // Options that stamp one placement of the given tile records.
    PassOptions structureOptions(int x, int y, int anchorX, int anchorY,
                                 const QList<QList<int>> &records)
    {
        const QString tiles = m_dir.filePath(QStringLiteral("structures/house.bin"));
        TestSupport::writeFile(tiles, tileFile(records));
        PassOptions options;
        options.structuresEnabled = true;
        options.structureFile = m_dir.filePath(QStringLiteral("structures/structures.xml"));
        TestSupport::writeFile(options.structureFile,
                               QStringLiteral("<Structures><MLT><Location X='%1' Y='%2' "
                                              "OffsetX='%3' OffsetY='%4'/><File>%5</File></MLT>"
                                              "</Structures>")
                                   .arg(x)
                                   .arg(y)
                                   .arg(anchorX)
                                   .arg(anchorY)
                                   .arg(tiles)
                                   .toUtf8());
        return options;
    }

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
        QTest::addColumn<bool>("oneThread");
        QTest::newRow("3 x 2 blocks") << 24 << 16 << 42u << false;
        QTest::newRow("20 x 20 ignores the margin") << 20 << 20 << 7u << false;
        QTest::newRow("one block, seed 0") << 8 << 8 << 0u << false;
        // Columns of 130 blocks go through the threads in three chunks.
        QTest::newRow("3 x 130 blocks") << 24 << 1040 << 5u << false;
        QTest::newRow("3 x 130 blocks on one thread") << 24 << 1040 << 5u << true;
        // Three groups of image columns, the third partial, the first's
        // strip taken again by it, and five cells past the last block.
        QTest::newRow("33 blocks and 5 cells wide") << 269 << 16 << 9u << false;
    }

    void landMapBytes()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(unsigned, seed);
        QFETCH(bool, oneThread);
        if (oneThread)
            qputenv("QUILLMOOR_PASS_THREADS", "1");
        const auto threads = qScopeGuard([] { qunsetenv("QUILLMOOR_PASS_THREADS"); });
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

    void missingIndexesAreEnteredAndReportedOnce_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("firstX");
        QTest::newRow("in the first column") << 16 << 0;
        // Met first in column 12 of 16, which the worker, planning ahead of
        // the writing, leaves to the caller.
        QTest::newRow("in a later column") << 128 << 96;
    }

    void missingIndexesAreEnteredAndReportedOnce()
    {
        QFETCH(int, width);
        QFETCH(int, firstX);
        MapTables tables = loadedTables();
        // Terrain 9 and altitude 8 are not defined; the first such cell has both.
        const IndexFunction terrain = [=](int x, int) {
            return x >= firstX && x < firstX + 4 ? 9 : 0;
        };
        const IndexFunction altitude = [=](int x, int y) {
            return x >= firstX && x < firstX + 2 && y < 4 ? 8 : 2;
        };
        RecordingObserver first;
        const PassSummary summary = generate(tables, width, 8, terrain, altitude, 3, first);
        QVERIFY(!first.calledOffThread);
        QCOMPARE(first.statusMessages,
                 (QStringList {QStringLiteral("Processing Map"),
                               QStringLiteral("Altitude index 8 not present in altitudes.xml"),
                               QStringLiteral("Terrain index 9 not present in terrain.xml")}));
        QCOMPARE(summary.missingTerrain.size(), 1);
        QCOMPARE(summary.missingTerrain[0].index, 9);
        QCOMPARE(summary.missingTerrain[0].cells, 32);
        QCOMPARE(summary.missingTerrain[0].firstCell, QPoint(firstX, 0));
        QCOMPARE(summary.missingAltitude[0].cells, 8);
        QVERIFY(tables.TerrainTable.contains(9));
        QCOMPARE(int(tables.TerrainTable.value(9)), 0);
        QVERIFY(tables.TerrainRandomTable.contains(9));
        QCOMPARE(int(tables.AltitudeTable.value(8)), 0);

        // The first such cell, the first of its block: tile id 0 and
        // altitude 0 (terrain 9 has no random flag).
        const QByteArray map = output(QStringLiteral("map0.mul"));
        QCOMPARE(map.mid(firstX / 8 * MapFiles::mapBlockSize + 4, 3),
                 QByteArray::fromHex("000000"));

        RecordingObserver second;
        generate(tables, width, 8, terrain, altitude, 3, second);
        QCOMPARE(second.statusMessages, QStringList {QStringLiteral("Processing Map")});
        QCOMPARE(output(QStringLiteral("map0.mul")), map);

        // The same on one thread.
        MapTables fresh = loadedTables();
        qputenv("QUILLMOOR_PASS_THREADS", "1");
        RecordingObserver oneThread;
        generate(fresh, width, 8, terrain, altitude, 3, oneThread);
        qunsetenv("QUILLMOOR_PASS_THREADS");
        QCOMPARE(oneThread.statusMessages, first.statusMessages);
        QCOMPARE(output(QStringLiteral("map0.mul")), map);
    }

    void imageChecks_data()
    {
        QTest::addColumn<QString>("terrainFile");
        QTest::addColumn<QString>("altitudeFile");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QStringList>("errors");
        const int invalid = int(PassSummary::Outcome::InvalidImages);
        const int unreadable = int(PassSummary::Outcome::UnreadableImage);
        const auto cannotRead = [this](const char *file, const QString &reason) {
            return QStringList {QStringLiteral("cannot read %1: %2")
                                    .arg(m_dir.filePath(QLatin1String(file)), reason)};
        };
        QTest::newRow("different sizes")
            << "small.png"
            << "large.png" << invalid
            << QStringList {"Size mismatch: Terrain and Altitude image files are different sizes"}
            << QStringList {};
        QTest::newRow("24-bit image")
            << "rgb.png"
            << "small.png" << invalid
            << QStringList {"Invalid color depth: Terrain or Alttiude image files are not 8 bit "
                            "color"}
            << QStringList {};
        // Unreadable images are said to be so, not to differ in size or depth.
        QTest::newRow("one image missing") << "small.png"
                                           << "missing.png" << unreadable << QStringList {}
                                           << cannotRead("missing.png", "no such file");
        QTest::newRow("both missing") << "missing.png"
                                      << "missing2.png" << unreadable << QStringList {}
                                      << cannotRead("missing.png", "no such file")
                + cannotRead("missing2.png", "no such file");
        QTest::newRow("truncated BMP, other size")
            << "cut.bmp"
            << "large.png" << unreadable << QStringList {}
            << cannotRead("cut.bmp", "truncated: 1333 of 1334 bytes");
    }

    void imageChecks()
    {
        QFETCH(QString, terrainFile);
        QFETCH(QString, altitudeFile);
        QFETCH(int, outcome);
        QFETCH(QStringList, warnings);
        QFETCH(QStringList, errors);
        const auto zero = [](int, int) { return 0; };
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("small.png")), 16, 16, zero);
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("large.png")), 16, 24, zero);
        QImage rgb(16, 16, QImage::Format_RGB32);
        rgb.fill(Qt::red);
        QVERIFY(rgb.save(m_dir.filePath(QStringLiteral("rgb.png"))));
        // 54 bytes of headers, 256 colours of 4 bytes and 16 rows of 16.
        QByteArray bmp;
        QBuffer buffer(&bmp);
        QVERIFY(TestSupport::paletteImage(16, 16, zero).save(&buffer, "BMP"));
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("cut.bmp")), bmp.chopped(1));
        TestSupport::writeFile(m_dest + QLatin1String("/map0.mul"), "keep");

        MapTables tables = loadedTables();
        GlibcRandom random(1);
        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dest;
        const PassSummary summary =
            processMap(tables, m_structures, m_keyGrid, random, m_dir.filePath(terrainFile),
                       m_dir.filePath(altitudeFile), options, observer);
        QCOMPARE(int(summary.outcome), outcome);
        QCOMPARE(observer.warnings, warnings);
        QCOMPARE(observer.errors, errors);
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
        QCOMPARE(processMap(tables, m_structures, m_keyGrid, random,
                            m_dir.filePath(QStringLiteral("gray.png")),
                            m_dir.filePath(QStringLiteral("gray.png")), options, observer)
                     .outcome,
                 PassSummary::Outcome::Completed);
        const auto three = [](int, int) { return 3; };
        QCOMPARE(output(QStringLiteral("map0.mul")), expectedLandFile(8, 8, three, three, 5));
    }

    void imageFormats_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("BMP") << QStringLiteral("bmp");
        QTest::newRow("TIFF") << QStringLiteral("tif");
        QTest::newRow("GIF") << QStringLiteral("gif");
    }

    void imageFormats()
    {
        QFETCH(QString, suffix);
        const IndexFunction terrain = [](int x, int y) { return (x + y) % 4; };
        const IndexFunction altitude = [](int x, int y) { return (x * y) % 4; };
        const QString terrainPath = m_dir.filePath(QStringLiteral("terrain.") + suffix);
        const QString altitudePath = m_dir.filePath(QStringLiteral("altitude.") + suffix);
        if (suffix == QLatin1String("gif")) {
            TestSupport::writeFile(terrainPath, gifOf(16, 8, terrain));
            TestSupport::writeFile(altitudePath, gifOf(16, 8, altitude));
        } else {
            QVERIFY(TestSupport::paletteImage(16, 8, terrain).save(terrainPath));
            QVERIFY(TestSupport::paletteImage(16, 8, altitude).save(altitudePath));
        }

        MapTables tables = loadedTables();
        GlibcRandom random(9);
        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dest;
        QCOMPARE(processMap(tables, m_structures, m_keyGrid, random, terrainPath, altitudePath,
                            options, observer)
                     .outcome,
                 PassSummary::Outcome::Completed);
        QCOMPARE(output(QStringLiteral("map0.mul")), expectedLandFile(16, 8, terrain, altitude, 9));
    }

    void abortKeepsThePreviousMap_data()
    {
        QTest::addColumn<int>("cancelAtProgress");
        QTest::addColumn<QString>("cancelAtStep");
        QTest::newRow("first column") << 0 << QString();
        // Seen only by the check after the loops.
        QTest::newRow("last column") << 6 << QString();
        QTest::newRow("stamping structures") << -1 << QStringLiteral("Preparing structures");
    }

    void abortKeepsThePreviousMap()
    {
        QFETCH(int, cancelAtProgress);
        QFETCH(QString, cancelAtStep);
        TestSupport::writeFile(m_dest + QLatin1String("/map0.mul"), "old map");
        TestSupport::writeFile(m_dest + QLatin1String("/staidx0.mul"), "old index");
        MapTables tables = loadedTables();
        RecordingObserver observer;
        observer.cancelAtProgress = cancelAtProgress;
        observer.cancelAtStep = cancelAtStep;
        const auto zero = [](int, int) { return 0; };
        QCOMPARE(generate(tables, 32, 16, zero, zero, 1, observer,
                          structureOptions(0, 0, 0, 0, {{1, 0, 0, 0, 1, 0}}))
                     .outcome,
                 PassSummary::Outcome::Aborted);
        QCOMPARE(QDir(m_dest).entryList(QDir::Files | QDir::Hidden),
                 (QStringList {QStringLiteral("map0.mul"), QStringLiteral("staidx0.mul")}));
        QCOMPARE(output(QStringLiteral("map0.mul")), QByteArray("old map"));
        QCOMPARE(output(QStringLiteral("staidx0.mul")), QByteArray("old index"));
    }

    void structureStaticsLeadTheirBlocks()
    {
        const IndexFunction terrain = [](int x, int y) { return (x / 3 + y) % 4; };
        // Altitude index 1 (-128) under the placement at (9, 2).
        const IndexFunction altitude = [](int x, int y) { return (x + 2 * y) % 4; };
        const PassOptions options = structureOptions(9, 2, 1, 0,
                                                     {{0x1234, 0, 0, 3, 1, 0x0506},
                                                      {1, 7, 6, 0, 1, 0},
                                                      {2, 1, 0, 0, 0, 0},
                                                      {3, -9, 0, 0, 1, 0},
                                                      {4, -8, 1, 0, 1, 0},
                                                      {5, 1, 0, 0x0102, 1, 0}});
        MapTables tables = loadedTables();
        RecordingObserver observer;
        const PassSummary summary =
            generate(tables, 16, 16, terrain, altitude, 42, observer, options);

        QCOMPARE(summary.outcome, PassSummary::Outcome::Completed);
        QCOMPARE(observer.statusMessages,
                 (QStringList {QStringLiteral("Preparing structures"),
                               QStringLiteral("Processing Map")}));
        const QString visible = QStringLiteral("visible flas was 1 and useInvisible is 0");
        QCOMPARE(observer.traceLines,
                 (QStringList {visible, visible,
                               QStringLiteral("visible flas was 0 and useInvisible is 0"), visible,
                               visible, visible}));
        // Structures change no land cell and draw no random number.
        QCOMPARE(output(QStringLiteral("map0.mul")),
                 expectedLandFile(16, 16, terrain, altitude, 42));
        // Block 0: tile 4; block 1: nothing; block 2: tiles 0x1234 and 5;
        // block 3: tile 1.
        QCOMPARE(output(QStringLiteral("statics0.mul")).toHex(),
                 QByteArray("04000003800000"
                            "34120002830605"
                            "05000102820000"
                            "01000700800000"));
        QCOMPARE(output(QStringLiteral("staidx0.mul")).toHex(),
                 QByteArray("000000000700000000000000"
                            "ffffffff0000000000000000"
                            "070000000e00000000000000"
                            "150000000700000000000000"));
        QCOMPARE(summary.staticsWritten, qint64(4));
        // In nanoseconds: any stamping takes more than none.
        QVERIFY(summary.timings.structures > 0);
        QCOMPARE(summary.structurePlacements, 1);
        QCOMPARE(summary.structureObjectsStamped, qint64(4));
        QCOMPARE(summary.structureObjectsOffMap, qint64(1));
    }

    void structuresDisabled()
    {
        PassOptions options = structureOptions(0, 0, 0, 0, {{1, 0, 0, 0, 1, 0}});
        options.structuresEnabled = false;
        // Left over from an earlier pass.
        m_structures = {{0, QByteArray::fromHex("01000000000000")}};
        MapTables tables = loadedTables();
        RecordingObserver observer;
        const auto zero = [](int, int) { return 0; };
        QCOMPARE(generate(tables, 16, 8, zero, zero, 1, observer, options).outcome,
                 PassSummary::Outcome::Completed);
        QVERIFY(m_structures.isEmpty());
        QCOMPARE(observer.statusMessages, QStringList {QStringLiteral("Processing Map")});
        QVERIFY(observer.traceLines.isEmpty());
        QCOMPARE(output(QStringLiteral("statics0.mul")), QByteArray());
        QCOMPARE(output(QStringLiteral("staidx0.mul")), emptyIndexFile(2));
    }

    void structureLocationEntersMissingAltitudeSilently()
    {
        // Altitude index 7 is not defined; it lies under the placement only.
        const IndexFunction altitude = [](int x, int y) { return x == 9 && y == 2 ? 7 : 0; };
        const auto zero = [](int, int) { return 0; };
        MapTables tables = loadedTables();
        RecordingObserver observer;
        const PassSummary summary = generate(tables, 16, 8, zero, altitude, 1, observer,
                                             structureOptions(9, 2, 0, 0, {{1, 0, 0, 4, 1, 0}}));
        QCOMPARE(observer.statusMessages,
                 (QStringList {QStringLiteral("Preparing structures"),
                               QStringLiteral("Processing Map")}));
        QVERIFY(summary.missingAltitude.isEmpty());
        QVERIFY(tables.AltitudeTable.contains(7));
        QCOMPARE(output(QStringLiteral("statics0.mul")).toHex(), QByteArray("01000102040000"));
        // Cell (1, 2) of block 1: terrain 0's tile 100 at altitude 0.
        QCOMPARE(output(QStringLiteral("map0.mul")).mid(196 + 4 + 17 * 3, 3).toHex(),
                 QByteArray("640000"));
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
