#include "engine/commitrecord.h"
#include "engine/mapfiles.h"
#include "engine/mapfilewriter.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

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

    void staticsRunsIndexEachBlock()
    {
        QTemporaryDir dir;
        MapFileWriter writer;
        QVERIFY(writer.open(dir.path(), 0));
        // Four blocks' statics back to back: one item, none, none, two.
        const QByteArray statics = QByteArray::fromHex("0a000000000000"
                                                       "0b000000000000"
                                                       "0c000000000000");
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(statics.constData());
        const std::size_t ends[] = {7, 7, 7, 21};
        QVERIFY(writer.writeStaticsRun(bytes, 0, ends, 2));
        QVERIFY(writer.writeBlockStatics(QByteArray::fromHex("01000000000000"), nullptr, 0));
        // A run that starts within the statics, after a block of none.
        QVERIFY(writer.writeStaticsRun(bytes, 7, ends + 2, 2));
        QVERIFY(writer.writeStaticsRun(bytes, 0, ends, 0));
        QVERIFY(writer.commit());
        QCOMPARE(TestSupport::readFile(dir.filePath(QStringLiteral("staidx0.mul"))),
                 QByteArray::fromHex("000000000700000000000000"
                                     "ffffffff0000000000000000"
                                     "070000000700000000000000"
                                     "ffffffff0000000000000000"
                                     "0e0000000e00000000000000"));
        QCOMPARE(TestSupport::readFile(dir.filePath(QStringLiteral("statics0.mul"))),
                 statics.left(7) + QByteArray::fromHex("01000000000000") + statics.mid(7));
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

    // A file size limit makes writes fail as a full disk does: the
    // message names the file and gives the system's reason.
    void writeErrorGivesTheSystemsReason()
    {
        QTemporaryDir dir;
        rlimit unlimited {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
        rlimit limited = unlimited;
        limited.rlim_cur = 1000;
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        MapFileWriter writer;
        bool written = writer.open(dir.path(), 0);
        std::uint8_t block[MapFiles::mapBlockSize] = {};
        // Enough blocks to pass the writer's 1 MiB buffer.
        for (int i = 0; written && i < 6000; ++i)
            written = writer.writeBlock(block, QByteArray(), nullptr, 0);
        written = written && writer.commit();
        setrlimit(RLIMIT_FSIZE, &unlimited);
        QVERIFY(!written);
        QCOMPARE(writer.errorString(),
                 QLatin1String("Cannot write ") + dir.filePath(QStringLiteral("map0.mul"))
                     + QLatin1String(": File too large"));
    }

    // What a pass that died during its commit leaves, and what the next
    // pass makes of it: the whole new set once the record is written, the
    // whole old set before, and no temporary files either way.
    void recoveryAfterADeadPass_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("completes");
        QTest::addColumn<QStringList>("after");
        const QByteArray record = R"({"replace": [
            {"file": "map0.mul", "with": "map0.mul.tmp-Aa0000"},
            {"file": "staidx0.mul", "with": "staidx0.mul.tmp-Bb1111"},
            {"file": "statics0.mul", "with": "statics0.mul.tmp-Cc2222"}]})";
        const QStringList oldSet {"map0.mul=old map", "staidx0.mul=old index",
                                  "statics0.mul=old statics"};
        const QStringList newSet {"map0.mul=new map", "staidx0.mul=new index",
                                  "statics0.mul=new statics"};
        const QStringList temporaries {"map0.mul.tmp-Aa0000=new map",
                                       "staidx0.mul.tmp-Bb1111=new index",
                                       "statics0.mul.tmp-Cc2222=new statics"};
        QTest::newRow("killed before the first rename")
            << oldSet + temporaries << record << true << newSet;
        QTest::newRow("killed between renames")
            << QStringList {"map0.mul=new map", "staidx0.mul=old index", "statics0.mul=old statics",
                            "staidx0.mul.tmp-Bb1111=new index",
                            "statics0.mul.tmp-Cc2222=new statics"}
            << record << true << newSet;
        QTest::newRow("killed after the last rename") << newSet << record << true << newSet;
        const QStringList others {"map0.mul.backup=mine", "notes.txt.tmp-Dd3333=mine"};
        QTest::newRow("killed while writing the record") << oldSet + temporaries + others
                + QStringList {".mapgenerator.commit.tmp-Ee4444={\"replace\""}
                                                         << QByteArray() << true << oldSet + others;
        QTest::newRow("a record that renames other files")
            << QStringList {"terrain.png=mine", "terrain.png.tmp-Aa0000=other"}
            << QByteArray(
                   R"({"replace": [{"file": "terrain.png", "with": "terrain.png.tmp-Aa0000"}]})")
            << false << QStringList {"terrain.png=mine", "terrain.png.tmp-Aa0000=other"};
        QTest::newRow("a record that swaps the files")
            << oldSet + QStringList {"statics0.mul.tmp-Cc2222=new statics"}
            << QByteArray(
                   R"({"replace": [{"file": "map0.mul", "with": "statics0.mul.tmp-Cc2222"}]})")
            << false << oldSet + QStringList {"statics0.mul.tmp-Cc2222=new statics"};
    }

    void recoveryAfterADeadPass()
    {
        QFETCH(QStringList, before);
        QFETCH(QByteArray, record);
        QFETCH(bool, completes);
        QFETCH(QStringList, after);
        QTemporaryDir dir;
        for (const QString &file : before)
            TestSupport::writeFile(dir.filePath(file.section(QLatin1Char('='), 0, 0)),
                                   file.section(QLatin1Char('='), 1).toUtf8());
        const QString recordPath = dir.filePath(QStringLiteral(".mapgenerator.commit"));
        if (!record.isEmpty())
            TestSupport::writeFile(recordPath, record);

        QString error;
        QCOMPARE(CommitRecord::recover(dir.path(), &error), completes);
        QCOMPARE(error.isEmpty(), completes);
        QStringList files;
        for (const QString &name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden)) {
            if (name != QFileInfo(recordPath).fileName())
                files << name + QLatin1Char('=') + TestSupport::readFile(dir.filePath(name));
        }
        files.sort();
        after.sort();
        QCOMPARE(files, after);
        QCOMPARE(QFileInfo::exists(recordPath), !completes);
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
