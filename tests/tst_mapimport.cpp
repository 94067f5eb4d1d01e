#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/mapimport.h"
#include "engine/passoptions.h"
#include "engine/roundtripestimate.h"
#include "engine/starterworld.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// Terrains 1 (tile 100), 2 (tile 200, random), 4 and 5; altitudes 0, 8
// and 16. Tile 150 replaces a lone 3 among 1s, AltIDMod 3; tile 500 a lone
// 4 among 1s, and a lone 5 among 2s or among 3s; tile 600, AltIDMod 1, a 6
// east of a 1 by the left rough edge.
MapTables handMadeTables()
{
    MapTables tables;
    tables.TerrainTable.insert(1, 100);
    tables.TerrainTable.insert(2, 200);
    tables.TerrainRandomTable.insert(2, true);
    tables.TerrainTable.insert(4, 400);
    tables.TerrainTable.insert(5, 550);
    tables.AltitudeTable.insert(0, 0);
    tables.AltitudeTable.insert(1, 8);
    tables.AltitudeTable.insert(2, 16);
    const auto add = [&tables](TransitionKind kind, const char *key, TransitionTile tile) {
        tables.transitionTable(kind)[QLatin1String(key)].mapTiles.append(tile);
    };
    add(TransitionKind::General, "010101010301010101", {150, 3});
    add(TransitionKind::General, "010101010401010101", {500, 0});
    add(TransitionKind::General, "020202020502020202", {500, 0});
    add(TransitionKind::General, "030303030503030303", {500, 0});
    add(TransitionKind::Left, "010101010106010101", {600, 1});
    return tables;
}

// One block of tile 100 at altitude 8, but for the cells the rows look at.
TestSupport::Cell handMadeCell(int x, int y)
{
    const QPoint at(x, y);
    if (at == QPoint(2, 2))
        return {150, 11};
    if (at == QPoint(5, 1))
        return {200, 19};
    if (at == QPoint(6, 5))
        return {500, 8};
    if (at == QPoint(2, 6))
        return {600, 9};
    if (at == QPoint(4, 4))
        return {999, 8};
    if (at == QPoint(0, 7))
        return {100, 30};
    return {100, 8};
}

} // namespace

// import: map files back into the terrain and altitude images.
class TestMapImport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    MapImport m_import;

private slots:
    void initTestCase()
    {
        TestSupport::writeMap(m_dir.path(), 1, 1, handMadeCell);
        m_import =
            importMap(m_dir.path(), 0, 1, handMadeTables(), {qRgb(255, 0, 0), qRgb(0, 255, 0)});
        QVERIFY2(!m_import.terrain.isNull(), qPrintable(m_import.errorText));
    }

    void mapsCellsBack_data()
    {
        QTest::addColumn<QPoint>("cell");
        QTest::addColumn<int>("terrain");
        QTest::addColumn<int>("altitude");
        QTest::newRow("a terrain's own tile") << QPoint(0, 0) << 1 << 1;
        QTest::newRow("transition: its key's centre, less its AltIDMod") << QPoint(2, 2) << 3 << 1;
        QTest::newRow("left rough edge: east of the key's centre") << QPoint(2, 6) << 6 << 1;
        QTest::newRow("random terrain: the base the variation reaches z from")
            << QPoint(5, 1) << 2 << 2;
        QTest::newRow("ambiguous: the terrain whose key places it, not the likeliest")
            << QPoint(6, 5) << 4 << 1;
        QTest::newRow("unknown: the neighbours' terrain") << QPoint(4, 4) << 1 << 1;
        QTest::newRow("no altitude explains z: the nearest") << QPoint(0, 7) << 1 << 2;
    }

    void mapsCellsBack()
    {
        QFETCH(QPoint, cell);
        QFETCH(int, terrain);
        QFETCH(int, altitude);
        QCOMPARE(m_import.terrain.pixelIndex(cell), terrain);
        QCOMPARE(m_import.altitude.pixelIndex(cell), altitude);
    }

    void countsAndPalettes()
    {
        QCOMPARE(m_import.ownTileCells, 60);
        QCOMPARE(m_import.transitionCells, 2);
        QCOMPARE(m_import.ambiguousCells, 1);
        QCOMPARE(m_import.unknownCells, 1);
        QCOMPARE(m_import.nearestAltitudeCells, 1);
        QCOMPARE(m_import.unknownTiles.size(), 1);
        QCOMPARE(m_import.unknownTiles[0].tileId, 999);
        QCOMPARE(m_import.unknownTiles[0].firstCell, QPoint(4, 4));
        // The given colours, then the default ones up to index 6.
        const QList<QRgb> defaults = defaultTerrainPalette();
        QCOMPARE(m_import.terrain.colorTable(),
                 QList<QRgb>({qRgb(255, 0, 0), qRgb(0, 255, 0), defaults[2], defaults[3],
                              defaults[4], defaults[5], defaults[6]}));
        QCOMPARE(m_import.altitude.colorTable(),
                 QList<QRgb>({qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(255, 255, 255)}));
        QCOMPARE(QSet<QRgb>(defaults.cbegin(), defaults.cend()).size(), 256);
    }

    // Without random heights and with one tile per transition, a generated
    // map comes back byte for byte. This world has rough edges between rock
    // and snow, whose tiles belong to both.
    void roundTrip()
    {
        QTemporaryDir dir;
        StarterWorldOptions world;
        world.width = world.height = 256;
        world.seed = 4;
        QString errorText;
        QVERIFY2(writeStarterWorld(dir.path(), world, &errorText), qPrintable(errorText));
        MapTables tables;
        loadDataDirectory(tables, dir.filePath(QStringLiteral("data")));
        for (int index = 0; index < 256; ++index) {
            if (tables.TerrainRandomTable.contains(std::uint8_t(index)))
                tables.TerrainRandomTable.insert(std::uint8_t(index), false);
        }
        for (TransitionInfo &info : tables.TransitionTable)
            info.mapTiles = info.mapTiles.mid(0, 1);

        RecordingObserver observer;
        PassOptions options;
        options.destination = dir.filePath(QStringLiteral("first"));
        QDir().mkpath(options.destination);
        TestSupport::runPass(tables, dir.filePath(QStringLiteral("terrain.png")),
                             dir.filePath(QStringLiteral("altitude.png")), 5, options, observer);
        const MapImport import = importMap(options.destination, 0, 32, tables, {});
        QVERIFY(import.ambiguousCells > 0);
        const QString imported = dir.filePath(QStringLiteral("imported"));
        QVERIFY2(writeDesignerFiles(importedImageFiles(import, imported, &errorText), &errorText),
                 qPrintable(errorText));
        const QStringList images = importedImagePaths(imported);
        options.destination = dir.filePath(QStringLiteral("second"));
        QDir().mkpath(options.destination);
        TestSupport::runPass(tables, images[0], images[1], 9, options, observer);
        const QString firstMap = dir.filePath(QStringLiteral("first/map0.mul"));
        QCOMPARE(TestSupport::readFile(options.destination + QLatin1String("/map0.mul")),
                 TestSupport::readFile(firstMap));

        RoundTripEstimate estimate = estimateRoundTrip(dir.filePath(QStringLiteral("first")), 0,
                                                       tables, import.terrain, import.altitude);
        QCOMPARE(estimate.reproduced, 65536);
        // Cell (0, 0) gets a tile no rule gives, cell (1, 0) one more unit
        // of altitude than its index and tile allow.
        QByteArray map = TestSupport::readFile(firstMap);
        map[4] = char(0xe7);
        map[5] = char(0x03);
        map[9] = char(map[9] + 1);
        TestSupport::writeFile(firstMap, map);
        estimate = estimateRoundTrip(dir.filePath(QStringLiteral("first")), 0, tables,
                                     import.terrain, import.altitude);
        QCOMPARE(estimate.tileDiffers, 1);
        QCOMPARE(estimate.altitudeDiffers, 1);
        QCOMPARE(estimate.reproduced, 65534);
    }
};

QTEST_GUILESS_MAIN(TestMapImport)
#include "tst_mapimport.moc"
