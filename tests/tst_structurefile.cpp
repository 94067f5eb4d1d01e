#include "data/maptables.h"
#include "data/structurefile.h"
#include "engine/paletteimage.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

// One 12-byte tile record; negative fields wrap to 16 bits as in the file.
QByteArray record(int tileId, int x, int y, int z, int visible, int hue)
{
    QByteArray bytes;
    for (int value : {tileId, x, y, z, visible, hue})
        bytes.append(char(value & 0xff)).append(char((value >> 8) & 0xff));
    return bytes;
}

QByteArray tileFile(const QList<QByteArray> &records)
{
    QByteArray bytes("HDR!");
    for (const QByteArray &record : records)
        bytes += record;
    return bytes;
}

// "block:hex,block:hex" in block order, for readable comparisons.
QString describe(const StructureStatics &statics)
{
    QList<int> blocks = statics.keys();
    std::sort(blocks.begin(), blocks.end());
    QStringList parts;
    for (int block : blocks)
        parts << QString::number(block) + ':' + QString::fromLatin1(statics[block].toHex());
    return parts.join(',');
}

// 104 x 56 pixels: 13 x 7 blocks. Altitude index 1 (altitude 10) all over,
// except 3 (-7) at the origin, 2 (120) at (100, 50) and the indexes 9 and 8,
// missing from the table, at (20, 20) and at the last pixel.
PaletteImage altitudeImage()
{
    return PaletteImage::fromImage(TestSupport::paletteImage(104, 56, [](int x, int y) {
        if (x == 0 && y == 0)
            return 3;
        if (x == 100 && y == 50)
            return 2;
        if (x == 20 && y == 20)
            return 9;
        if (x == 103 && y == 55)
            return 8;
        return 1;
    }));
}

MapTables altitudeTables()
{
    MapTables tables;
    tables.AltitudeTable.insert(1, 10);
    tables.AltitudeTable.insert(2, 120);
    tables.AltitudeTable.insert(3, -7);
    return tables;
}

} // namespace

class TestStructureFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_structureFile;
    PaletteImage m_altitude = altitudeImage();

    QString tilePath(const QString &name) const { return m_dir.filePath(name); }

    void writeStructureFile(QString document)
    {
        document.replace(QLatin1String("%A"), tilePath(QStringLiteral("a.bin")));
        document.replace(QLatin1String("%B"), tilePath(QStringLiteral("b.bin")));
        document.replace(QLatin1String("%D"), m_dir.path());
        TestSupport::writeFile(m_structureFile, document.toUtf8());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_structureFile = m_dir.filePath(QStringLiteral("placements/structures.xml"));
        // Relative tile paths resolve against the working directory; this
        // decoy beside the structure file must never be read.
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("placements/a.bin")),
                               tileFile({record(99, 0, 0, 0, 1, 0)}));
        QVERIFY(QDir::setCurrent(m_dir.path()));
    }

    void stamping_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QByteArray>("fileA");
        QTest::addColumn<QByteArray>("fileB");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("offMap");
        QTest::addColumn<int>("traces");

        const QByteArray one = tileFile({record(1, 0, 0, 0, 1, 0)});
        const QByteArray other = tileFile({record(2, 0, 0, 0, 1, 0)});
        const auto at10 = [](const char *attributes, const char *file) {
            return QStringLiteral("<S><MLT %1><Location X='10' Y='10'/><File>%2</File></MLT></S>")
                .arg(QLatin1String(attributes), QLatin1String(file));
        };

        QTest::newRow("anchor (2, 3) at (100, 50)")
            << "<S><MLT><Location X='100' Y='50' OffsetX='2' OffsetY='3'/><File>%A</File></MLT></S>"
            << tileFile({record(300, 2, 3, 5, 1, 0x0102)}) << QByteArray() << "90:2c0104027d0201"
            << 0 << 1;
        QTest::newRow("map edges")
            << at10("", "%A")
            << tileFile({record(1, -11, 0, 0, 1, 0), record(2, 94, 0, 0, 1, 0),
                         record(3, 93, 0, 0, 1, 0), record(4, 0, -11, 0, 1, 0),
                         record(5, 0, 46, 0, 1, 0), record(6, 0, 45, 0, 1, 0)})
            << QByteArray() << "13:060002070a0000,85:030007020a0000" << 4 << 6;
        // Also off the altitude image: base altitude 0.
        QTest::newRow("location wraps at 16 bits")
            << "<S><MLT><Location X='65546' Y='-65526'/><File>%A</File></MLT></S>"
            << tileFile({record(7, 0, 0, 3, 1, 0)}) << QByteArray() << "8:07000202030000" << 0 << 1;
        QTest::newRow("extreme location and anchor")
            << "<S><MLT><Location X='2147483647' Y='10' OffsetX='-2147483648'/>"
               "<File>%A</File></MLT></S>"
            << tileFile({record(8, 11, 0, 0, 1, 0)}) << QByteArray() << "8:08000202000000" << 0
            << 1;
        QTest::newRow("altitudes wrap")
            << "<S><MLT><Location X='100' Y='50'/><File>%A</File></MLT></S>"
            << tileFile({record(7, 0, 0, 20, 1, 0), record(8, 1, 0, 300, 1, 0),
                         record(9, 2, 0, -1, 1, 0)})
            << QByteArray() << "90:070004028c000008000502a4000009000602770000" << 0 << 3;

        const QByteArray visibility = tileFile(
            {record(1, 0, 0, 5, 0, 0), record(2, 1, 0, 5, 1, 0), record(3, 2, 0, 5, 0x8000, 0)});
        QTest::newRow("Invisible True")
            << at10("Invisible='True'", "%A") << visibility << QByteArray()
            << "8:010002020f0000020003020f0000030004020f0000" << 0 << 3;
        QTest::newRow("Invisible true")
            << at10("Invisible='true'", "%A") << visibility << QByteArray()
            << "8:020003020f0000030004020f0000" << 0 << 3;
        QTest::newRow("no Invisible") << at10("", "%A") << visibility << QByteArray()
                                      << "8:020003020f0000030004020f0000" << 0 << 3;

        QTest::newRow("two placements in one block")
            << "<S><MLT><Location X='10' Y='10'/><File>%A</File></MLT>"
               "<MLT><Location X='8' Y='8'/><File>%B</File></MLT></S>"
            << tileFile({record(1, 1, 0, 0, 1, 0), record(2, 0, 0, 0, 1, 0)})
            << tileFile({record(3, 0, 0, 0, 1, 0)})
            << "8:010003020a0000020002020a0000030000000a0000" << 0 << 3;

        // A phantom third record would land on the map.
        QTest::newRow("5 trailing bytes")
            << at10("Invisible='True'", "%A")
            << tileFile({record(1, 0, 0, 0, 1, 0), record(2, 1, 0, 0, 1, 0)})
                + QByteArray::fromHex("0700010002")
            << QByteArray() << "8:010002020a0000020003020a0000" << 0 << 2;
        QTest::newRow("15 bytes") << at10("Invisible='True'", "%A") << one.left(15) << QByteArray()
                                  << "" << 0 << 0;
        QTest::newRow("16 bytes") << at10("", "%A") << one << QByteArray() << "8:010002020a0000"
                                  << 0 << 1;

        QTest::newRow("no Location")
            << "<S><MLT><File>%A</File></MLT></S>" << tileFile({record(4, 1, 2, 10, 1, 0)})
            << QByteArray() << "0:04000102030000" << 0 << 1;
        QTest::newRow("last Location and File count")
            << "<S><MLT><Location X='0' Y='0' OffsetX='5'/><File>%B</File>"
               "<Location X='10' Y='10'/><File>%A</File></MLT></S>"
            << one << other << "8:010002020a0000" << 0 << 1;
        QTest::newRow("MLT at any depth, not the root")
            << "<MLT><File>%B</File><G><H><MLT><Location X='10' Y='10'/><File>%A</File></MLT>"
               "</H></G></MLT>"
            << one << other << "8:010002020a0000" << 0 << 1;
        QTest::newRow("names are case-sensitive")
            << "<S><mlt><File>%B</File></mlt>"
               "<MLT><location X='10' Y='10'/><file>%B</file><File>%A</File></MLT></S>"
            << one << other << "0:01000000f90000" << 0 << 1;

        QTest::newRow("relative tile path")
            << at10("", "a.bin") << one << QByteArray() << "8:010002020a0000" << 0 << 1;
        QTest::newRow("tile path not trimmed")
            << at10("", " %A") << one << QByteArray() << "" << 0 << 0;
        QTest::newRow("tile file missing")
            << at10("", "%A.missing") << one << QByteArray() << "" << 0 << 0;
        QTest::newRow("tile file is a directory")
            << at10("", "%D") << one << QByteArray() << "" << 0 << 0;
    }

    void stamping()
    {
        QFETCH(QString, document);
        QFETCH(QByteArray, fileA);
        QFETCH(QByteArray, fileB);
        QFETCH(QString, expected);
        QFETCH(int, offMap);
        QFETCH(int, traces);
        writeStructureFile(document);
        TestSupport::writeFile(tilePath(QStringLiteral("a.bin")), fileA);
        TestSupport::writeFile(tilePath(QStringLiteral("b.bin")), fileB);

        MapTables tables = altitudeTables();
        StructureStatics statics;
        int traceCount = 0;
        StructureStamper stamper(tables, statics, m_altitude, 13, 7,
                                 [&traceCount](const QString &) { ++traceCount; });
        stamper.loadStructureFile(m_structureFile);

        QCOMPARE(describe(statics), expected);
        qint64 stamped = 0;
        for (const QByteArray &bytes : std::as_const(statics))
            stamped += bytes.size() / 7;
        QCOMPARE(stamper.objectsStamped(), stamped);
        QCOMPARE(stamper.objectsOffMap(), qint64(offMap));
        QCOMPARE(traceCount, traces);
        QVERIFY(!stamper.outgrewStaticsFile());
    }

    void traceLines()
    {
        writeStructureFile("<S><MLT Invisible='True'><Location X='10' Y='10'/><File>%A</File></MLT>"
                           "<MLT><File>%A.missing</File></MLT>"
                           "<MLT Invisible='TRUE'><File>%B</File></MLT></S>");
        TestSupport::writeFile(tilePath(QStringLiteral("a.bin")),
                               tileFile({record(1, 0, 0, 0, 0, 0), record(2, 0, 0, 0, 1, 0),
                                         record(3, 200, 0, 0, 65535, 0)}));
        TestSupport::writeFile(tilePath(QStringLiteral("b.bin")),
                               tileFile({record(4, 0, 0, 0, 0, 0)}));

        MapTables tables = altitudeTables();
        StructureStatics statics;
        QStringList lines;
        StructureStamper stamper(tables, statics, m_altitude, 13, 7,
                                 [&lines](const QString &line) { lines << line; });
        stamper.loadStructureFile(m_structureFile);
        // Skipped and dropped records write their line too.
        QCOMPARE(lines,
                 (QStringList {QStringLiteral("visible flas was 0 and useInvisible is 1"),
                               QStringLiteral("visible flas was 1 and useInvisible is 1"),
                               QStringLiteral("visible flas was 65535 and useInvisible is 1"),
                               QStringLiteral("visible flas was 0 and useInvisible is 0")}));
        QCOMPARE(stamper.placementsRead(), 3);
        QCOMPARE(stamper.objectsStamped(), qint64(2));
        QCOMPARE(stamper.objectsOffMap(), qint64(1));
    }

    void baseAltitudeLookup_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("enteredIndex");
        QTest::newRow("missing index") << 20 << 20 << 9;
        QTest::newRow("last pixel") << 103 << 55 << 8;
        QTest::newRow("known index") << 100 << 50 << -1;
        QTest::newRow("right of the image") << 104 << 0 << -1;
        QTest::newRow("below the image") << 0 << 56 << -1;
        QTest::newRow("negative") << -1 << 5 << -1;
    }

    void baseAltitudeLookup()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, enteredIndex);
        // The tile file is missing: the lookup happens all the same.
        writeStructureFile(QStringLiteral("<S><MLT><Location X='%1' Y='%2'/>"
                                          "<File>%A.missing</File></MLT></S>")
                               .arg(x)
                               .arg(y));
        MapTables tables = altitudeTables();
        MapTables expectedTables = altitudeTables();
        if (enteredIndex >= 0)
            expectedTables.AltitudeTable.insert(std::uint8_t(enteredIndex), 0);
        StructureStatics statics;
        StructureStamper stamper(tables, statics, m_altitude, 13, 7, [](const QString &) {});
        stamper.loadStructureFile(m_structureFile);
        QVERIFY(tables.AltitudeTable == expectedTables.AltitudeTable);
        QVERIFY(statics.isEmpty());
    }

    void unreadableStructureFileStampsNothing_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("not well-formed") << QByteArray("<S><MLT><File>a.bin</File></MLT>");
        QTest::newRow("no placements") << QByteArray("<S><Location X='1'/></S>");
        QTest::newRow("missing") << QByteArray();
    }

    void unreadableStructureFileStampsNothing()
    {
        QFETCH(QByteArray, contents);
        const QString path = m_dir.filePath(QStringLiteral("unreadable.xml"));
        QFile::remove(path);
        if (!contents.isEmpty())
            TestSupport::writeFile(path, contents);
        TestSupport::writeFile(tilePath(QStringLiteral("a.bin")),
                               tileFile({record(1, 0, 0, 0, 1, 0)}));

        MapTables tables = altitudeTables();
        // Left over from an earlier pass.
        StructureStatics statics {{5, QByteArray("0123456")}};
        StructureStamper stamper(tables, statics, m_altitude, 13, 7, [](const QString &) {});
        stamper.loadStructureFile(path);
        QVERIFY(statics.isEmpty());
        QCOMPARE(stamper.placementsRead(), 0);
    }

    // More records than one read takes, so the reading crosses chunk borders.
    void streamsLongTileFiles()
    {
        const int count = 6000;
        QList<QByteArray> records;
        QByteArray expected;
        for (int i = 0; i < count; ++i) {
            records << record(i, i % 8, (i / 8) % 8, 0, 1, 0xffff - i);
            expected.append(char(i & 0xff)).append(char(i >> 8));
            expected.append(char(i % 8)).append(char((i / 8) % 8)).append(char(-7));
            expected.append(char((0xffff - i) & 0xff)).append(char((0xffff - i) >> 8));
        }
        writeStructureFile("<S><MLT><File>%A</File></MLT></S>");
        TestSupport::writeFile(tilePath(QStringLiteral("a.bin")), tileFile(records) + "12345");

        MapTables tables = altitudeTables();
        StructureStatics statics;
        int traceCount = 0;
        StructureStamper stamper(tables, statics, m_altitude, 13, 7,
                                 [&traceCount](const QString &) { ++traceCount; });
        stamper.loadStructureFile(m_structureFile);
        QCOMPARE(traceCount, count);
        QCOMPARE(statics.keys(), QList<int> {0});
        QCOMPARE(statics[0].size(), expected.size());
        QVERIFY(statics[0] == expected);
    }
};

QTEST_GUILESS_MAIN(TestStructureFile)
#include "tst_structurefile.moc"
