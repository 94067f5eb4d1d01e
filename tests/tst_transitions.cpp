#include "data/maptables.h"
#include "engine/passoptions.h"
#include "referencemodel.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

using IndexFunction = std::function<int(int, int)>;

TransitionInfo mapTile(int tileId, int altIdMod = 0)
{
    TransitionInfo info;
    info.mapTiles << TransitionTile {quint16(tileId), qint8(altIdMod)};
    return info;
}

// Terrain 1 to 9 map to tile 10 x index; altitude index i means altitude i.
MapTables landTables(bool random = false)
{
    MapTables tables;
    for (int i = 0; i < 256; ++i) {
        tables.TerrainTable.insert(i, quint16(10 * i));
        tables.TerrainRandomTable.insert(i, random);
        tables.AltitudeTable.insert(i, qint8(i));
    }
    return tables;
}

struct Cell
{
    int tileId;
    int z;
};

} // namespace

// Where terrains meet: keys, lookup order and what a hit does to a cell.
class TestTransitions : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_map, m_index, m_statics;
    int m_blocksHigh = 0;

    void generate(MapTables tables, int width, int height, const IndexFunction &terrain,
                  const IndexFunction &altitude, unsigned seed = 1, bool randomArt = false)
    {
        const QString terrainPath = m_dir.filePath(QStringLiteral("t.png"));
        const QString altitudePath = m_dir.filePath(QStringLiteral("a.png"));
        TestSupport::writePaletteImage(terrainPath, width, height, terrain);
        TestSupport::writePaletteImage(altitudePath, width, height, altitude);
        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dir.path();
        options.randomArt = randomArt;
        QCOMPARE(TestSupport::runPass(tables, terrainPath, altitudePath, seed, options, observer)
                     .outcome,
                 PassSummary::Outcome::Completed);
        m_map = TestSupport::readFile(m_dir.filePath(QStringLiteral("map0.mul")));
        m_index = TestSupport::readFile(m_dir.filePath(QStringLiteral("staidx0.mul")));
        m_statics = TestSupport::readFile(m_dir.filePath(QStringLiteral("statics0.mul")));
        m_blocksHigh = height / 8;
    }

    Cell cell(int x, int y) const
    {
        const int offset = ((x / 8) * m_blocksHigh + y / 8) * 196 + 4 + ((y % 8) * 8 + x % 8) * 3;
        return {quint8(m_map[offset]) | quint8(m_map[offset + 1]) << 8, qint8(m_map[offset + 2])};
    }

private slots:
    void keysSelectTheirCell_data()
    {
        QTest::addColumn<IndexFunction>("terrain");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QPoint>("hitCell");

        // Cell (2, 2) of code 08 with 04 to its north-west, north and west.
        const IndexFunction documented = [](int x, int y) {
            return (x == 1 && y == 1) || (x == 2 && y == 1) || (x == 1 && y == 2) ? 4 : 8;
        };
        QTest::newRow("documented main key") << documented << "general"
                                             << "040408040808080808" << QPoint(2, 2);
        // Cell (0, 0) of code 2A in a map of 01: positions outside the map
        // carry the cell's own code.
        const IndexFunction corner = [](int x, int y) { return x == 0 && y == 0 ? 0x2a : 1; };
        QTest::newRow("north-west corner, main key") << corner << "general"
                                                     << "2A2A2A2A2A012A0101" << QPoint(0, 0);
        QTest::newRow("north-west corner, corner key is uniform")
            << corner << "corner"
            << "2A2A2A2A2A2A2A2A2A" << QPoint(0, 0);
        // Cell (15, 15), the south-east corner of a 16 x 16 map, of code 0B.
        const IndexFunction southEast = [](int x, int y) { return x == 15 && y == 15 ? 0xb : 1; };
        QTest::newRow("south-east corner, main key") << southEast << "general"
                                                     << "01010B010B0B0B0B0B" << QPoint(15, 15);
        QTest::newRow("south-east corner, top key") << southEast << "top"
                                                    << "01010B01010B010B0B" << QPoint(15, 15);
        QTest::newRow("south-east corner, left key") << southEast << "left"
                                                     << "01010101010B0B0B0B" << QPoint(15, 15);
        // Cell (15, 3) on the east edge: its east positions are its own code.
        const IndexFunction east = [](int x, int y) { return x == 15 && y == 3 ? 0xc : 1; };
        QTest::newRow("east edge") << east << "general"
                                   << "01010C010C0C01010C" << QPoint(15, 3);
        QTest::newRow("lower-case hex never matches") << corner << "general"
                                                      << "2a2a2a2a2a012a0101" << QPoint(-1, -1);
    }

    void keysSelectTheirCell()
    {
        QFETCH(IndexFunction, terrain);
        QFETCH(QString, table);
        QFETCH(QString, key);
        QFETCH(QPoint, hitCell);
        MapTables tables = landTables();
        TransitionHash &target = table == "corner" ? tables.CornerTransitionTable
            : table == "left"                      ? tables.LeftTransitionTable
            : table == "top"                       ? tables.TopTransitionTable
                                                   : tables.TransitionTable;
        target.insert(key, mapTile(999));
        generate(tables, 16, 16, terrain, [](int, int) { return 0; });
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const bool hit = cell(x, y).tileId == 999;
                QVERIFY2(hit == (QPoint(x, y) == hitCell),
                         qPrintable(QStringLiteral("cell %1, %2").arg(x).arg(y)));
            }
        }
    }

    void firstTableHoldingItsKeyWins()
    {
        // Cell (0, 0) alone of code 2A; its corner key is uniform.
        const IndexFunction terrain = [](int x, int y) { return x == 0 && y == 0 ? 0x2a : 1; };
        MapTables tables = landTables(true);
        tables.CornerTransitionTable.insert("2A2A2A2A2A2A2A2A2A", TransitionInfo());
        tables.TransitionTable.insert("2A2A2A2A2A012A0101", mapTile(999));
        generate(tables, 8, 8, terrain, [](int, int) { return 0; });
        // The corner entry has no tiles, yet the general one is not consulted.
        QCOMPARE(cell(0, 0).tileId, 0x2a * 10);
    }

    void altitudeAfterAHit()
    {
        // Every cell terrain 5 (random altitude), altitude 20.
        const IndexFunction five = [](int, int) { return 5; };
        const IndexFunction twenty = [](int, int) { return 20; };

        MapTables roughEdge = landTables(true);
        roughEdge.LeftTransitionTable.insert("050505050505050505", mapTile(7, -3));
        generate(roughEdge, 64, 64, five, twenty);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                QCOMPARE(cell(x, y).z, 17);

        // A general hit on a uniform window keeps the variation of -2, 0 or
        // +2, drawn one, two and one time in four.
        MapTables general = landTables(true);
        general.TransitionTable.insert("050505050505050505", mapTile(7));
        generate(general, 64, 64, five, twenty);
        QMap<int, int> counts;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                ++counts[cell(x, y).z];
        QCOMPARE(counts.keys(), (QList<int> {18, 20, 22}));
        QVERIFY(qAbs(counts[18] - 1024) < 150);
        QVERIFY(qAbs(counts[20] - 2048) < 150);
        QVERIFY(qAbs(counts[22] - 1024) < 150);
    }

    void staticTileWithoutMapTile()
    {
        const IndexFunction five = [](int, int) { return 5; };
        MapTables tables = landTables(true);
        TransitionInfo info;
        info.staticTiles << TransitionTile {300, 10};
        tables.TransitionTable.insert("050505050505050505", info);
        generate(tables, 8, 8, five, [](int, int) { return 120; });
        // The land tile and its random variation stay; the static stands at
        // the base altitude plus its modifier, wrapped: 120 + 10 = -126.
        bool varied = false;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                QCOMPARE(cell(x, y).tileId, 50);
                QVERIFY(cell(x, y).z >= 120 && cell(x, y).z <= 125);
                varied = varied || cell(x, y).z != 120;
            }
        }
        QVERIFY(varied);
        QCOMPARE(m_index, QByteArray::fromHex("00000000c001000000000000"));
        QCOMPARE(m_statics.size(), 64 * 7);
        QCOMPARE(m_statics.left(14),
                 QByteArray::fromHex("2c010000820000"
                                     "2c010100820000"));
    }

    void matchesTheReferenceModel_data()
    {
        QTest::addColumn<unsigned>("seed");
        for (unsigned seed : {1u, 2u, 77u, 4000000000u})
            QTest::addRow("seed %u", seed) << seed;
    }

    void matchesTheReferenceModel()
    {
        QFETCH(unsigned, seed);
        // Blobs of three terrains on a 40 x 32 map with a 4-pixel margin
        // beyond the processed area; tables built from windows that occur.
        QRandomGenerator generator(seed);
        QImage terrain = TestSupport::paletteImage(44, 36, [&](int x, int y) {
            return ((x / 5 + y / 4) % 3 == 0 || generator.bounded(8) == 0)
                ? 2 + int(generator.bounded(2))
                : 1;
        });
        const QImage altitude =
            TestSupport::paletteImage(44, 36, [&](int, int) { return generator.bounded(6); });
        MapTables tables;
        for (int i = 1; i <= 3; ++i) {
            tables.TerrainTable.insert(i, quint16(100 + i));
            tables.TerrainRandomTable.insert(i, i != 3);
        }
        for (int i = 0; i < 5; ++i) // altitude index 5 is missing
            tables.AltitudeTable.insert(i, qint8(i * 50 - 100));

        const auto windowText = [&](int cx, int cy) {
            QString text;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    text +=
                        QStringLiteral("%1")
                            .arg(terrain.pixelIndex(qBound(0, cx + dx, 39), qBound(0, cy + dy, 31)),
                                 2, 16, QLatin1Char('0'))
                            .toUpper();
            return text;
        };
        TransitionHash *targets[] = {&tables.TransitionTable, &tables.LeftTransitionTable,
                                     &tables.TopTransitionTable, &tables.CornerTransitionTable};
        for (int i = 0; i < 120; ++i) {
            TransitionInfo info;
            const int mapCount = generator.bounded(3), staticCount = generator.bounded(3);
            for (int m = 0; m < mapCount; ++m)
                info.mapTiles << TransitionTile {quint16(generator.bounded(60000)),
                                                 qint8(generator.bounded(256) - 128)};
            for (int s = 0; s < staticCount; ++s)
                info.staticTiles << TransitionTile {quint16(generator.bounded(60000)),
                                                    qint8(generator.bounded(256) - 128)};
            QString key = windowText(generator.bounded(40), generator.bounded(32));
            if (i % 17 == 0)
                key = key.toLower();
            TransitionHash &target = *targets[i % 7 == 0 ? 1 + i % 3 : 0];
            target.insert(key, info);
        }
        tables.TransitionTable.insert("010101010101010101", mapTile(4242, 1));

        const QString terrainPath = m_dir.filePath(QStringLiteral("rt.png"));
        const QString altitudePath = m_dir.filePath(QStringLiteral("ra.png"));
        QVERIFY(terrain.save(terrainPath));
        QVERIFY(altitude.save(altitudePath));
        const ReferenceOutput expected = referenceMap(tables, terrain, altitude, seed, false);

        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dir.path();
        TestSupport::runPass(tables, terrainPath, altitudePath, seed, options, observer);
        QVERIFY(!expected.statics.isEmpty());
        QCOMPARE(TestSupport::readFile(m_dir.filePath(QStringLiteral("map0.mul"))), expected.map);
        QCOMPARE(TestSupport::readFile(m_dir.filePath(QStringLiteral("staidx0.mul"))),
                 expected.index);
        QCOMPARE(TestSupport::readFile(m_dir.filePath(QStringLiteral("statics0.mul"))),
                 expected.statics);
    }
};

QTEST_GUILESS_MAIN(TestTransitions)
#include "tst_transitions.moc"
