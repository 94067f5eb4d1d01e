#include "data/altitudetable.h"
#include "data/maptables.h"
#include "data/terraintable.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

using Entries = QList<QList<int>>;
Q_DECLARE_METATYPE(Entries)

// Terrain and altitude definitions: every conversion rule of the files.
class TestPaletteLoaders : public QObject
{
    Q_OBJECT

private slots:
    void terrain_data()
    {
        QTest::addColumn<QByteArray>("xml");
        // Expected entries: palette index, tile id, random flag (0 or 1).
        QTest::addColumn<Entries>("expected");

        QTest::newRow("plain") << QByteArray("<T><Terrain ID='3' TileID='168' Random='True'/></T>")
                               << Entries {{3, 168, 1}};
        QTest::newRow("no ID is index 0")
            << QByteArray("<T><Terrain TileID='5'/></T>") << Entries {{0, 5, 0}};
        QTest::newRow("ID 256 keeps low 8 bits")
            << QByteArray("<T><Terrain ID='256' TileID='1'/><Terrain ID='300' TileID='2'/></T>")
            << Entries {{0, 1, 0}, {44, 2, 0}};
        QTest::newRow("ID -1, 65536 and letters do not convert")
            << QByteArray("<T><Terrain ID='-1' TileID='1'/><Terrain ID='65536' TileID='2'/>"
                          "<Terrain ID='abc' TileID='3'/></T>")
            << Entries {{0, 3, 0}};
        QTest::newRow("TileID 65535 and 65536")
            << QByteArray("<T><Terrain ID='1' TileID='65535'/><Terrain ID='2' TileID='65536'/></T>")
            << Entries {{1, 65535, 0}, {2, 0, 0}};
        QTest::newRow("only True is true")
            << QByteArray("<T><Terrain ID='1' Random='true'/><Terrain ID='2' Random='TRUE'/>"
                          "<Terrain ID='3' Random=' True'/><Terrain ID='4' Random='True '/>"
                          "<Terrain ID='5' Random='True'/><Terrain ID='6'/></T>")
            << Entries {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 1}, {6, 0, 0}};
        QTest::newRow("later definition wins whole")
            << QByteArray("<T><Terrain ID='7' TileID='10' Random='True'/>"
                          "<Terrain ID='7' TileID='11'/></T>")
            << Entries {{7, 11, 0}};
        QTest::newRow("nested definitions count, the root does not")
            << QByteArray("<Terrain ID='9' TileID='9'><Group><Deeper>"
                          "<Terrain ID='8' TileID='80'/></Deeper></Group></Terrain>")
            << Entries {{8, 80, 0}};
        QTest::newRow("names are case-sensitive")
            << QByteArray("<T><terrain ID='1' TileID='1'/><Terrain id='2' TileID='2'/></T>")
            << Entries {{0, 2, 0}};
        QTest::newRow("not well-formed loads nothing")
            << QByteArray("<T><Terrain ID='1' TileID='1'/>") << Entries {};
    }

    void terrain()
    {
        QFETCH(QByteArray, xml);
        QFETCH(Entries, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("terrain.xml"));
        TestSupport::writeFile(path, xml);

        MapTables tables;
        loadTerrainTable(tables, path);
        QCOMPARE(tables.TerrainTable.size(), expected.size());
        QCOMPARE(tables.TerrainRandomTable.size(), expected.size());
        for (const auto &entry : expected) {
            const auto index = static_cast<std::uint8_t>(entry[0]);
            QVERIFY(tables.TerrainTable.contains(index));
            QVERIFY(tables.TerrainRandomTable.contains(index));
            QCOMPARE(int(tables.TerrainTable.value(index)), entry[1]);
            QCOMPARE(int(tables.TerrainRandomTable.value(index)), entry[2]);
        }
    }

    void altitude_data()
    {
        QTest::addColumn<QByteArray>("xml");
        // Expected entries: palette index, altitude.
        QTest::addColumn<Entries>("expected");

        QTest::newRow("plain") << QByteArray("<A><Altitude Key='2' Altitude='-5'/></A>")
                               << Entries {{2, -5}};
        QTest::newRow("missing attributes are 0")
            << QByteArray("<A><Altitude/></A>") << Entries {{0, 0}};
        QTest::newRow("key keeps low 8 bits") << QByteArray(
            "<A><Altitude Key='256' Altitude='1'/><Altitude Key='300' Altitude='2'/></A>")
                                              << Entries {{0, 1}, {44, 2}};
        QTest::newRow("altitude wraps to a signed byte")
            << QByteArray("<A><Altitude Key='1' Altitude='127'/><Altitude Key='2' Altitude='128'/>"
                          "<Altitude Key='3' Altitude='200'/><Altitude Key='4' Altitude='300'/>"
                          "<Altitude Key='5' Altitude='-200'/></A>")
            << Entries {{1, 127}, {2, -128}, {3, -56}, {4, 44}, {5, 56}};
        QTest::newRow("out of 16-bit range or letters is 0") << QByteArray(
            "<A><Altitude Key='1' Altitude='40000'/><Altitude Key='2' Altitude='x'/></A>")
                                                             << Entries {{1, 0}, {2, 0}};
        QTest::newRow("later definition wins") << QByteArray(
            "<A><Altitude Key='1' Altitude='10'/><Altitude Key='1' Altitude='20'/></A>")
                                               << Entries {{1, 20}};
        QTest::newRow("root named Altitude is no definition") << QByteArray(
            "<Altitude Key='9' Altitude='9'><Altitude Key='3' Altitude='30'/></Altitude>")
                                                              << Entries {{3, 30}};
    }

    void altitude()
    {
        QFETCH(QByteArray, xml);
        QFETCH(Entries, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("altitude.xml"));
        TestSupport::writeFile(path, xml);

        MapTables tables;
        loadAltitudeTable(tables, path);
        QCOMPARE(tables.AltitudeTable.size(), expected.size());
        for (const auto &entry : expected) {
            const auto index = static_cast<std::uint8_t>(entry[0]);
            QVERIFY(tables.AltitudeTable.contains(index));
            QCOMPARE(int(tables.AltitudeTable.value(index)), entry[1]);
        }
    }

    void missingFilesLeaveTablesAsTheyWere()
    {
        MapTables tables;
        tables.TerrainTable.insert(4, 40);
        tables.TerrainRandomTable.insert(4, true);
        tables.AltitudeTable.insert(4, 4);
        const MapTables before = tables;
        loadTerrainTable(tables, QStringLiteral("/nonexistent/terrain.xml"));
        loadAltitudeTable(tables, QStringLiteral("/nonexistent/altitude.xml"));
        QVERIFY(tables.TerrainTable == before.TerrainTable);
        QVERIFY(tables.TerrainRandomTable == before.TerrainRandomTable);
        QVERIFY(tables.AltitudeTable == before.AltitudeTable);
    }
};

QTEST_APPLESS_MAIN(TestPaletteLoaders)
#include "tst_paletteloaders.moc"
