#include "engine/mapfiles.h"
#include "engine/mapfilewriter.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The byte layout of the three files, worked out by hand from the format.
class TestMapFileWriter : public QObject
{
    Q_OBJECT

private slots:
    void mapNumber_data()
    {
        QTest::addColumn<int>("blocksHigh");
        QTest::addColumn<int>("expected");
        QTest::newRow("256 blocks") << 256 << 3;
        QTest::newRow("200 blocks") << 200 << 2;
        QTest::newRow("181 blocks") << 181 << 4;
        QTest::newRow("512 blocks") << 512 << 0;
        QTest::newRow("no blocks") << 0 << 0;
    }
    void mapNumber()
    {
        QFETCH(int, blocksHigh);
        QFETCH(int, expected);
        QCOMPARE(MapFiles::mapNumber(blocksHigh), expected);
    }

    void pathsUseTheDestinationAsTyped()
    {
        QCOMPARE(MapFiles::path(QStringLiteral("/out/"), MapFiles::Kind::Map, 2),
                 QStringLiteral("/out//map2.mul"));
        QCOMPARE(MapFiles::path(QStringLiteral("out"), MapFiles::Kind::Index, 0),
                 QStringLiteral("out/staidx0.mul"));
        QCOMPARE(MapFiles::path(QStringLiteral(""), MapFiles::Kind::Statics, 4),
                 QStringLiteral("/statics4.mul"));
    }

    void staticItemBytes()
    {
        std::uint8_t item[7];
        MapFiles::appendStaticItem(item, 300, 3, 7, 10, 0);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(item), 7),
                 QByteArray::fromHex("2c0103070a0000"));
        MapFiles::appendStaticItem(item, 0xabcd, 0, 1, -1, 0x1234);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(item), 7),
                 QByteArray::fromHex("cdab0001ff3412"));
    }

    void blocksAndIndexEntries()
    {
        QTemporaryDir dir;
        MapFileWriter writer;
        QVERIFY(writer.open(dir.path(), 0));

        std::uint8_t block[MapFiles::mapBlockSize] = {};
        // Block 0: no statics. Block 1: one structure static and one cell
        // static. Block 2: one cell static.
        block[0] = 0;
        block[4] = 3; // first cell: tile 3, altitude -5
        block[5] = 0;
        block[6] = 0xfb;
        QVERIFY(writer.writeBlock(block, QByteArray(), nullptr, 0));
        block[0] = 1;
        const QByteArray structure = QByteArray::fromHex("01000000000000");
        const std::uint8_t cellStatic[] = {2, 0, 1, 1, 0, 0, 0};
        QVERIFY(writer.writeBlock(block, structure, cellStatic, 7));
        block[0] = 2;
        QVERIFY(writer.writeBlock(block, QByteArray(), cellStatic, 7));
        QVERIFY(writer.commit());

        const QByteArray map = TestSupport::readFile(dir.filePath(QStringLiteral("map0.mul")));
        QCOMPARE(map.size(), 3 * 196);
        QCOMPARE(map.mid(0, 7), QByteArray::fromHex("0000000003 00fb"));
        QCOMPARE(map.mid(196, 4), QByteArray::fromHex("01000000"));
        QCOMPARE(map.mid(392, 4), QByteArray::fromHex("02000000"));

        QCOMPARE(TestSupport::readFile(dir.filePath(QStringLiteral("staidx0.mul"))),
                 QByteArray::fromHex("ffffffff0000000000000000"
                                     "000000000e00000000000000"
                                     "0e0000000700000000000000"));
        QCOMPARE(TestSupport::readFile(dir.filePath(QStringLiteral("statics0.mul"))),
                 structure
                     + QByteArray::fromHex("02000101000000"
                                           "02000101000000"));
    }

    void cancelLeavesOldFilesAndNoTemporaries()
    {
        QTemporaryDir dir;
        TestSupport::writeFile(dir.filePath(QStringLiteral("map0.mul")), "old map");
        {
            MapFileWriter writer;
            QVERIFY(writer.open(dir.path(), 0));
            std::uint8_t block[MapFiles::mapBlockSize] = {};
            QVERIFY(writer.writeBlock(block, QByteArray(), nullptr, 0));
            writer.cancel();
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {QStringLiteral("map0.mul")});
        QCOMPARE(TestSupport::readFile(dir.filePath(QStringLiteral("map0.mul"))),
                 QByteArray("old map"));
    }

    void unwritableDestinationNamesTheFile()
    {
        QTemporaryDir dir;
        const QString notADirectory = dir.filePath(QStringLiteral("plainfile"));
        TestSupport::writeFile(notADirectory, "x");
        MapFileWriter writer;
        QVERIFY(!writer.open(notADirectory, 3));
        QVERIFY2(writer.errorString().contains(QStringLiteral("plainfile/map3.mul")),
                 qPrintable(writer.errorString()));
    }
};

QTEST_APPLESS_MAIN(TestMapFileWriter)
#include "tst_mapfilewriter.moc"
