#include "data/datadirectory.h"
#include "data/maptables.h"
#include "data/structurestatics.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/mapverification.h"
#include "engine/passoptions.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>

namespace {

// The three files of a sound map 2 blocks wide and 2 high. Blocks 1 and 3
// have statics: block 1 two (bytes 0 to 13), block 3 one (bytes 14 to 20).
struct MapBytes
{
    QByteArray map;
    QByteArray index;
    QByteArray statics;
};

void putInt32(QByteArray &bytes, qsizetype at, qint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

QByteArray entry(qint32 offset, qint32 length, qint32 extra = 0)
{
    QByteArray bytes(12, '\0');
    putInt32(bytes, 0, offset);
    putInt32(bytes, 4, length);
    putInt32(bytes, 8, extra);
    return bytes;
}

MapBytes soundMap()
{
    MapBytes bytes;
    for (int block = 0; block < 4; ++block) {
        QByteArray mapBlock(196, '\x01');
        putInt32(mapBlock, 0, block);
        bytes.map += mapBlock;
    }
    bytes.index = entry(-1, 0) + entry(0, 14) + entry(-1, 0) + entry(14, 7);
    // tile, x, y, z, hue: (1, 2) and (7, 7) in block 1, (0, 0) in block 3.
    bytes.statics = QByteArray::fromHex("2c010102000000"
                                        "2d010707fb0100"
                                        "2e010000000000");
    return bytes;
}

using Corruption = std::function<void(MapBytes &)>;

} // namespace

Q_DECLARE_METATYPE(Corruption)

// verify: passes every map the generator writes and names the first
// problem of a corrupted one.
class TestMapVerification : public QObject
{
    Q_OBJECT

private:
    static void write(const QString &destination, const MapBytes &bytes)
    {
        TestSupport::writeFile(destination + QLatin1String("/map0.mul"), bytes.map);
        TestSupport::writeFile(destination + QLatin1String("/staidx0.mul"), bytes.index);
        TestSupport::writeFile(destination + QLatin1String("/statics0.mul"), bytes.statics);
    }

private slots:
    void soundFilesPass()
    {
        QTemporaryDir dir;
        write(dir.path(), soundMap());
        const MapVerification result = verifyMapFiles(dir.path(), 0, 2);
        QVERIFY2(!result.problem, qPrintable(result.problem ? result.problem->text() : QString()));
        QCOMPARE(result.blocks, 4);
        QCOMPARE(result.statics, 3);
        QCOMPARE(result.blocksHigh, 2);
    }

    void corruptions_data()
    {
        QTest::addColumn<Corruption>("corrupt");
        QTest::addColumn<int>("blocksHigh");
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("block");
        QTest::addColumn<qint64>("byteOffset");
        QTest::addColumn<QString>("fragment");

        QTest::newRow("map size") << Corruption([](MapBytes &b) { b.map += '\0'; }) << 0
                                  << "map0.mul" << qint64(4) << qint64(784)
                                  << "785 bytes are not a whole number of 196-byte blocks";
        QTest::newRow("index size")
            << Corruption([](MapBytes &b) { b.index += QByteArray(5, '\0'); }) << 0 << "staidx0.mul"
            << qint64(4) << qint64(48) << "12-byte index entries";
        QTest::newRow("statics size")
            << Corruption([](MapBytes &b) { b.statics.chop(1); }) << 0 << "statics0.mul"
            << qint64(-1) << qint64(14) << "20 bytes are not a whole number of 7-byte statics";
        QTest::newRow("an index entry short")
            << Corruption([](MapBytes &b) { b.index.chop(12); }) << 0 << "staidx0.mul" << qint64(3)
            << qint64(36) << "3 entries for the 4 blocks";
        QTest::newRow("an index entry too many")
            << Corruption([](MapBytes &b) { b.index += entry(-1, 0); }) << 0 << "staidx0.mul"
            << qint64(4) << qint64(48) << "5 entries for the 4 blocks";
        QTest::newRow("blocks not whole columns")
            << Corruption([](MapBytes &) {}) << 3 << "map0.mul" << qint64(3) << qint64(588)
            << "4 blocks are not whole columns of 3 blocks";
        QTest::newRow("block header out of order")
            << Corruption([](MapBytes &b) { putInt32(b.map, 392, 3); }) << 0 << "map0.mul"
            << qint64(2) << qint64(392) << "reads 3 where 2 was expected";
        QTest::newRow("empty block with a length")
            << Corruption([](MapBytes &b) { b.index.replace(0, 12, entry(-1, 7)); }) << 0
            << "staidx0.mul" << qint64(0) << qint64(0) << "(-1, 7, 0) of a block without statics";
        QTest::newRow("empty block with an extra")
            << Corruption([](MapBytes &b) { b.index.replace(24, 12, entry(-1, 0, 5)); }) << 0
            << "staidx0.mul" << qint64(2) << qint64(24) << "(-1, 0, 5) of a block without statics";
        QTest::newRow("neither empty nor statics")
            << Corruption([](MapBytes &b) { b.index.replace(24, 12, entry(14, 0)); }) << 0
            << "staidx0.mul" << qint64(2) << qint64(24) << "neither (-1, 0, 0) nor a run";
        QTest::newRow("length not a multiple of 7")
            << Corruption([](MapBytes &b) { b.index.replace(12, 12, entry(0, 13)); }) << 0
            << "staidx0.mul" << qint64(1) << qint64(12) << "not a multiple of 7";
        QTest::newRow("past the end of the statics file")
            << Corruption([](MapBytes &b) { b.index.replace(36, 12, entry(14, 14)); }) << 0
            << "staidx0.mul" << qint64(3) << qint64(36) << "outside the statics file";
        QTest::newRow("negative offset")
            << Corruption([](MapBytes &b) { b.index.replace(12, 12, entry(-7, 14)); }) << 0
            << "staidx0.mul" << qint64(1) << qint64(12) << "outside the statics file";
        QTest::newRow("a gap before a block")
            << Corruption([](MapBytes &b) { b.index.replace(12, 12, entry(7, 14)); }) << 0
            << "staidx0.mul" << qint64(1) << qint64(12) << "starts at 7 where 0 was expected";
        QTest::newRow("an overlap")
            << Corruption([](MapBytes &b) { b.index.replace(36, 12, entry(7, 7)); }) << 0
            << "staidx0.mul" << qint64(3) << qint64(36) << "starts at 7 where 14 was expected";
        QTest::newRow("static x outside its block")
            << Corruption([](MapBytes &b) { b.statics[9] = 8; }) << 0 << "statics0.mul" << qint64(1)
            << qint64(7) << "x 8, y 7";
        QTest::newRow("static y outside its block")
            << Corruption([](MapBytes &b) { b.statics[17] = char(0xff); }) << 0 << "statics0.mul"
            << qint64(3) << qint64(14) << "x 0, y 255";
        QTest::newRow("statics that no block owns")
            << Corruption([](MapBytes &b) { b.statics += QByteArray(7, '\0'); }) << 0
            << "statics0.mul" << qint64(-1) << qint64(21) << "bytes 21 to 27 belong to no block";
    }

    void corruptions()
    {
        QFETCH(Corruption, corrupt);
        QFETCH(int, blocksHigh);
        QFETCH(QString, file);
        QFETCH(qint64, block);
        QFETCH(qint64, byteOffset);
        QFETCH(QString, fragment);
        QTemporaryDir dir;
        MapBytes bytes = soundMap();
        corrupt(bytes);
        write(dir.path(), bytes);

        const MapVerification result = verifyMapFiles(dir.path(), 0, blocksHigh);
        QVERIFY(result.problem);
        QCOMPARE(QFileInfo(result.problem->file).fileName(), file);
        QCOMPARE(result.problem->block, block);
        QCOMPARE(result.problem->byteOffset, byteOffset);
        QVERIFY2(result.problem->message.contains(fragment), qPrintable(result.problem->message));
    }

    void missingFile()
    {
        QTemporaryDir dir;
        write(dir.path(), soundMap());
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("staidx0.mul"))));
        const MapVerification result = verifyMapFiles(dir.path(), 0);
        QVERIFY(result.problem);
        QCOMPARE(result.problem->text(),
                 QDir::cleanPath(dir.filePath(QStringLiteral("staidx0.mul")))
                     + QLatin1String(": does not exist"));
    }

    // Sound files may still come from two passes while a record of their
    // replacement is left.
    void unfinishedReplacement()
    {
        QTemporaryDir dir;
        write(dir.path(), soundMap());
        TestSupport::writeFile(dir.filePath(QStringLiteral(".mapgenerator.commit")), "{}");
        const MapVerification result = verifyMapFiles(dir.path(), 0);
        QVERIFY(result.problem);
        QCOMPARE(QFileInfo(result.problem->file).fileName(),
                 QStringLiteral(".mapgenerator.commit"));
        QVERIFY2(result.problem->message.startsWith(
                     QLatin1String("a pass was stopped while it replaced the map files")),
                 qPrintable(result.problem->message));
    }

    // Maps the generator writes, with transition statics, random statics
    // and structures, pass; so does an empty one.
    void generatedMapsPass_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<bool>("decorated");
        QTest::newRow("decorated") << 24 << true;
        QTest::newRow("plain") << 16 << false;
        QTest::newRow("empty") << 4 << false;
    }

    void generatedMapsPass()
    {
        QFETCH(int, side);
        QFETCH(bool, decorated);
        QTemporaryDir dir;
        const QString data = dir.filePath(QStringLiteral("data"));
        TestSupport::writeFile(data + QLatin1String("/system/terrain.xml"),
                               "<T><Terrain ID='0' TileID='10' Random='True'/>"
                               "<Terrain ID='1' TileID='11'/></T>");
        TestSupport::writeFile(data + QLatin1String("/system/altitude.xml"),
                               "<A><Altitude Key='0' Altitude='5'/></A>");
        // Every plain cell gets a transition static and maybe a group from
        // the set; the edge between the terrains a land tile.
        TestSupport::writeFile(data + QLatin1String("/transitions/a/1.xml"),
                               "<R><TransInfo HashKey='000000000000000000' File='s.xml'>"
                               "<StaticTiles><StaticTile TileID='20'/></StaticTiles></TransInfo>"
                               "<TransInfo HashKey='000000000000000001'><MapTiles>"
                               "<MapTile TileID='12'/></MapTiles></TransInfo></R>");
        TestSupport::writeFile(data + QLatin1String("/statics/s.xml"),
                               "<S Chance='50'><Statics Freq='1'><Static TileID='30'/>"
                               "<Static TileID='31' X='1' Y='1'/></Statics></S>");
        const QString tiles = dir.filePath(QStringLiteral("hut.bin"));
        TestSupport::writeFile(tiles,
                               QByteArray::fromHex("00000000"
                                                   "280000000000010001000000"));
        const QString structures = dir.filePath(QStringLiteral("structures.xml"));
        TestSupport::writeFile(structures,
                               "<S><MLT><Location X='9' Y='3'/><File>" + tiles.toUtf8()
                                   + "</File></MLT></S>");
        const QString terrain = dir.filePath(QStringLiteral("terrain.png"));
        const QString altitude = dir.filePath(QStringLiteral("altitude.png"));
        TestSupport::writePaletteImage(terrain, side, side,
                                       [](int x, int y) { return x > y ? 1 : 0; });
        TestSupport::writePaletteImage(altitude, side, side, [](int, int) { return 0; });

        MapTables tables;
        loadDataDirectory(tables, data);
        PassOptions options;
        options.destination = dir.path();
        options.randomArt = decorated;
        options.structuresEnabled = decorated;
        options.structureFile = structures;
        StructureStatics structureStatics;
        KeyGrid keyGrid;
        GlibcRandom random(7);
        RecordingObserver observer;
        const PassSummary summary = processMap(tables, structureStatics, keyGrid, random, terrain,
                                               altitude, options, observer);
        QCOMPARE(summary.outcome, PassSummary::Outcome::Completed);
        QCOMPARE(summary.staticsWritten > 0, side >= 8);
        QCOMPARE(summary.structureObjectsStamped, decorated ? 1 : 0);
        QCOMPARE(summary.decoratedCells.isEmpty(), !decorated);

        const MapVerification result = verifyMapFiles(dir.path(), summary.mapNumber);
        QVERIFY2(!result.problem, qPrintable(result.problem ? result.problem->text() : QString()));
        QCOMPARE(result.blocks, qint64(summary.blocksWide) * summary.blocksHigh);
        QCOMPARE(result.statics, summary.staticsWritten);
    }
};

QTEST_GUILESS_MAIN(TestMapVerification)
#include "tst_mapverification.moc"
