#include "data/maptables.h"
#include "data/staticsetfile.h"
#include "engine/passoptions.h"
#include "engine/transitionindex.h"
#include "referencemodel.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

// "tileId x y z hue" per entry, groups as "freq: entries", weights spelled out.
QString describe(const StaticSet &set)
{
    QStringList groups;
    for (const auto &group : set.groups) {
        QStringList entries;
        for (const auto &e : group.entries)
            entries << QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(e.tileId)
                           .arg(e.x)
                           .arg(e.y)
                           .arg(e.z)
                           .arg(e.hue);
        groups << QStringLiteral("%1: %2").arg(group.freq).arg(entries.join(", "));
    }
    QStringList weights;
    for (qint64 i = 0; i < set.weightedGroups.count(); ++i)
        weights << QString::number(set.weightedGroups.at(i));
    return QStringLiteral("chance %1; %2; weights %3")
        .arg(set.chance)
        .arg(groups.join("; "), weights.join(' '));
}

StaticSet singleGroupSet(int chance, const QList<StaticEntry> &entries)
{
    StaticSet set;
    set.chance = chance;
    StaticGroup group;
    group.freq = 1;
    group.entries = entries;
    set.groups << group;
    set.weightedGroups.append(0, 1);
    return set;
}

} // namespace

class TestStaticSets : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_statics, m_index;
    RecordingObserver m_observer;
    PassSummary m_summary;

    // Every cell terrain 1 at altitude 120 (index 0), Random Art on, the
    // uniform key of terrain 1 naming SET.XML.
    void decorate(const StaticSet &set, int width, int height, unsigned seed = 1,
                  const TransitionInfo &transition = {})
    {
        MapTables tables;
        tables.TerrainTable.insert(1, 10);
        tables.TerrainRandomTable.insert(1, false);
        tables.AltitudeTable.insert(0, 120);
        tables.TransitionTable.insert("010101010101010101", transition);
        tables.TransitionFileTable.insert("010101010101010101", "SET.XML");
        tables.StaticSetTable.insert("SET.XML", set);
        const QString terrain = m_dir.filePath("t.png"), altitude = m_dir.filePath("a.png");
        TestSupport::writePaletteImage(terrain, width, height, [](int, int) { return 1; });
        TestSupport::writePaletteImage(altitude, width, height, [](int, int) { return 0; });
        PassOptions options;
        options.destination = m_dir.path();
        options.randomArt = true;
        m_observer = RecordingObserver();
        m_summary = TestSupport::runPass(tables, terrain, altitude, seed, options, m_observer);
        m_statics = TestSupport::readFile(m_dir.filePath("statics0.mul"));
        m_index = TestSupport::readFile(m_dir.filePath("staidx0.mul"));
    }

private slots:
    void loading_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("decimal tile id and offsets")
            << QByteArray("<Set Chance='25'><Statics Freq='2' Description='Pines'>"
                          "<Static TileID='500' X='-1' Y='255' Z='40000' Hue='7'/></Statics></Set>")
            << "chance 25; 2: 500 -1 -1 0 7; weights 0 0" << QStringList {};
        QTest::newRow("hexadecimal tile ids are reported")
            << QByteArray("<Set><Statics Freq='1' Description='Pines'>"
                          "<Static TileID='1F4'/><Static TileID='0x1F4'/><Static TileID='0'/>"
                          "<Static/></Statics></Set>")
            << "chance 0; 1: 500 0 0 0 0, 500 0 0 0 0, 0 0 0 0 0, 0 0 0 0 0; weights 0"
            << QStringList(4, "File forest.xml appeared to have a hex tile id in static set Pines");
        QTest::newRow("message without description")
            << QByteArray("<Set><Statics><Static TileID='zz'/></Statics></Set>")
            << "chance 0; 0: 0 0 0 0 0; weights "
            << QStringList {"File forest.xml appeared to have a hex tile id in static set "};
        QTest::newRow("weights 3 and 1, 0 and missing left out")
            << QByteArray("<Set Chance='100'><Statics Freq='0'/><Statics Freq='3'/>"
                          "<Statics/><Statics Freq='1'/><Statics Freq='-2'/></Set>")
            << "chance 100; 0: ; 3: ; 0: ; 1: ; -2: ; weights 1 1 1 3" << QStringList {};
        QTest::newRow("nested groups")
            << QByteArray("<Set><Statics Freq='1'><Static TileID='1'/>"
                          "<Statics Freq='1'><Static TileID='2'/></Statics></Statics></Set>")
            << "chance 0; 1: 1 0 0 0 0, 2 0 0 0 0; 1: 2 0 0 0 0; weights 0 1" << QStringList {};
        QTest::newRow("root named Statics is no group")
            << QByteArray("<Statics Chance='5' Freq='9'><Static TileID='1'/></Statics>")
            << "chance 5; ; weights " << QStringList {};
    }

    void loading()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, expected);
        QFETCH(QStringList, messages);
        const QString path = m_dir.filePath("forest.xml");
        TestSupport::writeFile(path, xml);
        MapTables tables;
        QStringList received;
        loadStaticSetFile(tables, path, "forest.xml", [&](const QString &m) { received << m; });
        QCOMPARE(tables.StaticSetTable.keys(), QStringList {"FOREST.XML"});
        QCOMPARE(describe(tables.StaticSetTable.value("FOREST.XML")), expected);
        QCOMPARE(received, messages);
    }

    void hugeWeightsCostNoMemory()
    {
        StaticSet set;
        set.weightedGroups.append(0, 2000000000);
        set.weightedGroups.append(1, 2000000000);
        QCOMPARE(set.weightedGroups.count(), 4000000000LL);
        QCOMPARE(set.weightedGroups.at(1999999999), 0);
        QCOMPARE(set.weightedGroups.at(2000000000), 1);
    }

    void directory()
    {
        QTemporaryDir dir;
        TestSupport::writeFile(dir.filePath("statics/forest.xml"), "<S Chance='1'/>");
        TestSupport::writeFile(dir.filePath("statics/Rocks.XML"), "<S Chance='2'/>");
        TestSupport::writeFile(dir.filePath("statics/broken.xml"), "<S Chance='3'>");
        TestSupport::writeFile(dir.filePath("statics/notes.txt"), "<S/>");
        TestSupport::writeFile(dir.filePath("statics/sub/deeper.xml"), "<S/>");
        MapTables tables;
        tables.StaticSetTable.insert("BROKEN.XML", singleGroupSet(9, {}));
        QStringList messages;
        scanStaticSetDirectory(tables, dir.filePath("statics/"),
                               [&](const QString &m) { messages << m; });
        QStringList keys = tables.StaticSetTable.keys();
        keys.sort();
        QCOMPARE(keys, (QStringList {"BROKEN.XML", "FOREST.XML", "ROCKS.XML"}));
        QCOMPARE(tables.StaticSetTable.value("ROCKS.XML").chance, 2);
        // A broken file leaves the set stored earlier under its name.
        QCOMPARE(tables.StaticSetTable.value("BROKEN.XML").chance, 9);
        QVERIFY(messages.isEmpty());
    }

    void chance_data()
    {
        QTest::addColumn<int>("chance");
        QTest::addColumn<int>("decorated");
        QTest::newRow("0 never") << 0 << 0;
        QTest::newRow("negative never") << -5 << 0;
        QTest::newRow("100 always") << 100 << 256;
        QTest::newRow("above 100 always") << 250 << 256;
    }

    void chance()
    {
        QFETCH(int, chance);
        QFETCH(int, decorated);
        decorate(singleGroupSet(chance, {{77, 0, 0, 0, 0}}), 16, 16);
        QCOMPARE(m_statics.size(), decorated * 7);
        QCOMPARE(m_summary.decoratedCells.isEmpty(), decorated == 0);
    }

    void weights_data()
    {
        QTest::addColumn<QList<int>>("weights");
        // Of 4,096 cells, how many draw a group after the first.
        QTest::addColumn<int>("others");
        QTest::newRow("three to one") << QList<int> {3, 1} << 1024;
        // Draws are below 2^31: the groups past it are never drawn, and
        // the second group only by draws from 2 x 10^9 on, 6.9 % of them.
        QTest::newRow("total between 2^31 and 2^32") << QList<int> {2000000000, 2000000000} << 281;
        QTest::newRow("largest 32-bit total") << QList<int> {2147483647, 2147483647, 1} << 0;
        QTest::newRow("total of 2^32") << QList<int> {2147483647, 2147483647, 2} << 0;
    }

    void weights()
    {
        QFETCH(QList<int>, weights);
        QFETCH(int, others);
        StaticSet set;
        set.chance = 100;
        for (int i = 0; i < weights.size(); ++i) {
            StaticGroup group;
            group.freq = weights[i];
            group.entries << StaticEntry {std::uint16_t(i + 1), 0, 0, 0, 0};
            set.groups << group;
            set.weightedGroups.append(i, weights[i]);
        }
        decorate(set, 64, 64, 99);
        int first = 0;
        for (qsizetype i = 0; i < m_statics.size(); i += 7)
            first += quint8(m_statics[i]) == 1;
        QCOMPARE(m_statics.size(), 4096 * 7);
        QVERIFY2(qAbs(4096 - first - others) < 120, qPrintable(QString::number(4096 - first)));
        QCOMPARE(m_summary.decoratedCells.size(), 1);
        QCOMPARE(m_summary.decoratedCells[0].staticSet, QStringLiteral("SET.XML"));
        QCOMPARE(m_summary.decoratedCells[0].cells, 4096);
    }

    void groupsStayInsideTheirBlock_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<QList<int>>("columns");
        QTest::addColumn<QList<int>>("rows");
        QTest::newRow("west neighbour")
            << -1 << 0 << QList<int> {1, 2, 3, 4, 5, 6, 7} << QList<int> {0, 1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("two east") << 2 << 0 << QList<int> {0, 1, 2, 3, 4, 5}
                                  << QList<int> {0, 1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("south") << 0 << 1 << QList<int> {0, 1, 2, 3, 4, 5, 6, 7}
                               << QList<int> {0, 1, 2, 3, 4, 5, 6};
    }

    void groupsStayInsideTheirBlock()
    {
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(QList<int>, columns);
        QFETCH(QList<int>, rows);
        // The anchor entry and one offset entry: the group is placed whole or not at all.
        decorate(singleGroupSet(100, {{5, 0, 0, 0, 0}, {6, qint8(dx), qint8(dy), 0, 0}}), 16, 8);
        QCOMPARE(m_statics.size(), 2 * 7 * qsizetype(columns.size() * rows.size()) * 2);
        for (qsizetype i = 0; i < m_statics.size(); i += 14) {
            const int l = m_statics[i + 2], k = m_statics[i + 3];
            QVERIFY(columns.contains(l) && rows.contains(k));
            QCOMPARE(int(m_statics[i + 9]), l + dx);
            QCOMPARE(int(m_statics[i + 10]), k + dy);
        }
    }

    void emptyGroupFitsAndWritesNothing()
    {
        decorate(singleGroupSet(100, {}), 8, 8);
        QCOMPARE(m_statics, QByteArray());
        QCOMPARE(m_index, QByteArray::fromHex("ffffffff0000000000000000"));
    }

    void orderAltitudeAndUnusedEntries()
    {
        // The transition static comes first; land at 120 with z 10 gives -126.
        TransitionInfo transition;
        transition.staticTiles << TransitionTile {300, 1};
        decorate(singleGroupSet(100, {{0, 0, 0, 10, 0x1234}, {9, 1, 0, -1, 0}}), 8, 8, 1,
                 transition);
        QCOMPARE(m_statics.left(21),
                 QByteArray::fromHex("2c010000790000"
                                     "000000008234 12"
                                     "090001007700 00"));
        QCOMPARE(m_observer.traceLines, QStringList(56, "UNUSED found in set SET.XML"));
    }

    void matchesTheReferenceModel_data()
    {
        QTest::addColumn<unsigned>("seed");
        // Weights times 5000 total more than the pass spells out in a list.
        QTest::addColumn<int>("weightScale");
        for (unsigned seed : {3u, 31u, 1234567u})
            QTest::addRow("seed %u", seed) << seed << 1;
        QTest::newRow("seed 31, heavy weights") << 31u << 5000;
    }

    void matchesTheReferenceModel()
    {
        QFETCH(unsigned, seed);
        QFETCH(int, weightScale);
        QRandomGenerator generator(seed);
        const QImage terrain = TestSupport::paletteImage(40, 40, [&](int x, int y) {
            return (x / 6 + y / 5) % 2 == 0 || generator.bounded(6) == 0 ? 1 : 2;
        });
        const QImage altitude =
            TestSupport::paletteImage(40, 40, [&](int, int) { return generator.bounded(3); });
        MapTables tables;
        for (int i = 1; i <= 2; ++i) {
            tables.TerrainTable.insert(i, quint16(i));
            tables.TerrainRandomTable.insert(i, true);
        }
        for (int i = 0; i < 3; ++i)
            tables.AltitudeTable.insert(i, qint8(i * 60 - 10));
        tables.TransitionTable.insert("010101010101010101", TransitionInfo());
        tables.TransitionTable.insert("020202020202020202", TransitionInfo());
        tables.TransitionFileTable.insert("010101010101010101", "ONE.XML");
        tables.TransitionFileTable.insert("020202020202020202", "TWO.XML");
        tables.TransitionFileTable.insert("010101020202020202", "MISSING.XML");
        TransitionInfo border;
        border.mapTiles << TransitionTile {50, 2};
        border.staticTiles << TransitionTile {60, -1};
        tables.TransitionTable.insert("010101020202020202", border);
        tables.CornerTransitionTable.insert("020202020202010101", border);
        for (const char *name : {"ONE.XML", "TWO.XML"}) {
            StaticSet set;
            set.chance = int(generator.bounded(20, 90));
            for (int g = 0; g < 4; ++g) {
                StaticGroup group;
                group.freq = int(generator.bounded(-1, 4)) * weightScale;
                for (int e = 0; e < g; ++e)
                    group.entries << StaticEntry {
                        quint16(generator.bounded(3)), qint8(generator.bounded(-1, 2)),
                        qint8(generator.bounded(-1, 2)), qint8(generator.bounded(100)),
                        quint16(generator.bounded(5))};
                set.groups << group;
                set.weightedGroups.append(g, group.freq);
            }
            QVERIFY(weightScale == 1
                    || set.weightedGroups.count() > CompiledStaticSet::spelledOutLimit);
            tables.StaticSetTable.insert(name, set);
        }

        const QString terrainPath = m_dir.filePath("rt.png"),
                      altitudePath = m_dir.filePath("ra.png");
        QVERIFY(terrain.save(terrainPath));
        QVERIFY(altitude.save(altitudePath));
        const ReferenceOutput expected = referenceMap(tables, terrain, altitude, seed, true);
        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dir.path();
        options.randomArt = true;
        TestSupport::runPass(tables, terrainPath, altitudePath, seed, options, observer);
        QVERIFY(expected.statics.size() > 700);
        QCOMPARE(TestSupport::readFile(m_dir.filePath("map0.mul")), expected.map);
        QCOMPARE(TestSupport::readFile(m_dir.filePath("staidx0.mul")), expected.index);
        QCOMPARE(TestSupport::readFile(m_dir.filePath("statics0.mul")), expected.statics);
        QCOMPARE(observer.traceLines, expected.trace);
    }
};

QTEST_GUILESS_MAIN(TestStaticSets)
#include "tst_staticsets.moc"
