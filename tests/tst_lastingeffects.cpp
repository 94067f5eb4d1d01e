#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/destinationlock.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"
#include "engine/passoptions.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

namespace {

// A save file whose write number failAtWrite (counted from 1) fails, as a
// full disk would make it; with failAtWrite 0 it fails when synced to disk.
class FailingFile : public MapOutputFile
{
public:
    FailingFile(const QString &path, int failAtWrite)
        : m_file(createSaveFile(path)), m_failAtWrite(failAtWrite)
    {
    }

    bool open() override { return m_file->open(); }
    bool write(const QByteArray &data) override
    {
        if (++m_writes == m_failAtWrite) {
            m_failed = true;
            return false;
        }
        return m_file->write(data);
    }
    bool sync() override
    {
        if (m_failAtWrite == 0) {
            m_failed = true;
            return false;
        }
        return m_file->sync();
    }
    bool commit() override { return m_file->commit(); }
    void cancel() override { m_file->cancel(); }
    QString fileName() const override { return m_file->fileName(); }
    QString errorString() const override
    {
        return m_failed ? QStringLiteral("No space left on device") : m_file->errorString();
    }

private:
    std::unique_ptr<MapOutputFile> m_file;
    int m_failAtWrite;
    int m_writes = 0;
    bool m_failed = false;
};

// Plays the other pass ending while this one waits for it.
class WaitingObserver : public RecordingObserver
{
public:
    void stepProgress(const QString &step, qint64 done, qint64 total) override
    {
        if (whileWaiting)
            std::exchange(whileWaiting, {})();
        RecordingObserver::stepProgress(step, done, total);
    }

    std::function<void()> whileWaiting;
};

const QStringList mapFileNames = {QStringLiteral("map0.mul"), QStringLiteral("staidx0.mul"),
                                  QStringLiteral("statics0.mul")};

} // namespace

// What a pass leaves in its destination: the previous map exactly as it was
// unless the pass completes, and never a temporary file.
class TestLastingEffects : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_terrain;
    QString m_altitude;
    MapTables m_tables;

    QString destination(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        for (const QString &file : mapFileNames)
            TestSupport::writeFile(path + QLatin1Char('/') + file, "old " + file.toUtf8());
        return path;
    }

    PassSummary runPass(const QString &dest, RecordingObserver &observer,
                        const MapOutputFileFactory &createFile = {}, bool wait = true)
    {
        PassOptions options;
        options.destination = dest;
        options.randomArt = true;
        options.waitForDestination = wait;
        StructureStatics structureStatics;
        KeyGrid keyGrid;
        GlibcRandom random(7);
        return processMap(m_tables, structureStatics, keyGrid, random, m_terrain, m_altitude,
                          options, observer, createFile);
    }

private slots:
    void initTestCase()
    {
        // 80 x 80 blocks: the map file passes the writer's 1 MiB chunk, so a
        // write happens in the middle of the pass, not only at the end.
        m_terrain = m_dir.filePath(QStringLiteral("terrain.png"));
        m_altitude = m_dir.filePath(QStringLiteral("altitude.png"));
        TestSupport::writePaletteImage(m_terrain, 640, 640,
                                       [](int x, int y) { return (x / 37 + y / 23) % 2; });
        TestSupport::writePaletteImage(m_altitude, 640, 640, [](int x, int) { return x % 3; });
        const QString data = m_dir.filePath(QStringLiteral("data"));
        TestSupport::writeFile(data + QLatin1String("/system/terrain.xml"),
                               "<T><Terrain ID='0' TileID='3' Random='True'/>"
                               "<Terrain ID='1' TileID='4'/></T>");
        TestSupport::writeFile(data + QLatin1String("/system/altitude.xml"),
                               "<A><Altitude Key='0' Altitude='0'/><Altitude Key='1' Altitude='5'/>"
                               "<Altitude Key='2' Altitude='10'/></A>");
        TestSupport::writeFile(data + QLatin1String("/transitions/common.xml"),
                               "<X><TransInfo HashKey='000000000000000000' File='tufts.xml'/></X>");
        TestSupport::writeFile(
            data + QLatin1String("/statics/tufts.xml"),
            "<S Chance='30'><Statics Freq='1'><Static TileID='9'/></Statics></S>");
        loadDataDirectory(m_tables, data);
    }

    void completedPassReplacesAllThree()
    {
        const QString dest = destination(QStringLiteral("completed"));
        RecordingObserver observer;
        const PassSummary summary = runPass(dest, observer);
        QCOMPARE(summary.outcome, PassSummary::Outcome::Completed);
        QCOMPARE(QDir(dest).entryList(QDir::Files, QDir::Name),
                 QStringList({"map0.mul", "staidx0.mul", "statics0.mul"}));
        QCOMPARE(QFileInfo(dest + QLatin1String("/map0.mul")).size(), 80 * 80 * 196);
        QCOMPARE(QFileInfo(dest + QLatin1String("/staidx0.mul")).size(), 80 * 80 * 12);
        QVERIFY(summary.staticsWritten > 0);
        QCOMPARE(QFileInfo(dest + QLatin1String("/statics0.mul")).size(),
                 summary.staticsWritten * 7);
    }

    void unfinishedPassLeavesTheOldMap_data()
    {
        QTest::addColumn<int>("cancelAtProgress");
        QTest::addColumn<QString>("failingFile");
        QTest::addColumn<int>("failAtWrite");
        QTest::addColumn<PassSummary::Outcome>("outcome");
        // Progress counts blocks; 80 high, so 3200 is half way.
        QTest::newRow("aborted half way")
            << 3200 << QString() << 0 << PassSummary::Outcome::Aborted;
        QTest::newRow("aborted at the last column")
            << 79 * 80 << QString() << 0 << PassSummary::Outcome::Aborted;
        QTest::newRow("map write fails in the middle")
            << -1 << "map0.mul" << 1 << PassSummary::Outcome::OutputFailed;
        QTest::newRow("index write fails at the end")
            << -1 << "staidx0.mul" << 1 << PassSummary::Outcome::OutputFailed;
        QTest::newRow("last map write fails")
            << -1 << "map0.mul" << 2 << PassSummary::Outcome::OutputFailed;
        QTest::newRow("statics write fails")
            << -1 << "statics0.mul" << 1 << PassSummary::Outcome::OutputFailed;
        // The last file is synced last; the others must not be renamed yet.
        QTest::newRow("statics sync fails")
            << -1 << "statics0.mul" << 0 << PassSummary::Outcome::OutputFailed;
    }

    void unfinishedPassLeavesTheOldMap()
    {
        QFETCH(int, cancelAtProgress);
        QFETCH(QString, failingFile);
        QFETCH(int, failAtWrite);
        QFETCH(PassSummary::Outcome, outcome);
        const QString dest = destination(QString::fromLatin1(QTest::currentDataTag()));
        RecordingObserver observer;
        observer.cancelAtProgress = cancelAtProgress;
        int failures = 0;
        const PassSummary summary =
            runPass(dest, observer, [&](const QString &path) -> std::unique_ptr<MapOutputFile> {
                if (!failingFile.isEmpty() && path.endsWith(QLatin1Char('/') + failingFile)) {
                    ++failures;
                    return std::make_unique<FailingFile>(path, failAtWrite);
                }
                return createSaveFile(path);
            });
        QCOMPARE(summary.outcome, outcome);
        QCOMPARE(failures, failingFile.isEmpty() ? 0 : 1);
        if (outcome == PassSummary::Outcome::OutputFailed) {
            QCOMPARE(observer.errors.size(), 1);
            QVERIFY2(
                observer.errors.constFirst().contains(failingFile + QLatin1String(": No space")),
                qPrintable(observer.errors.constFirst()));
        }
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden, QDir::Name), mapFileNames);
        for (const QString &file : mapFileNames)
            QCOMPARE(TestSupport::readFile(dest + QLatin1Char('/') + file), "old " + file.toUtf8());
    }

    void unwritableDestinationLeavesItAlone_data()
    {
        QTest::addColumn<QString>("blocker");
        // Permissions do not stop root, so the blockers are things that no
        // one can write a file over.
        QTest::newRow("map file is a directory") << QStringLiteral("map0.mul");
        QTest::newRow("statics file is a directory") << QStringLiteral("statics0.mul");
    }

    void unwritableDestinationLeavesItAlone()
    {
        QFETCH(QString, blocker);
        const QString dest = destination(QString::fromLatin1(QTest::currentDataTag()));
        QFile::remove(dest + QLatin1Char('/') + blocker);
        QVERIFY(QDir(dest).mkdir(blocker));
        RecordingObserver observer;
        const PassSummary summary = runPass(dest, observer);
        QCOMPARE(summary.outcome, PassSummary::Outcome::OutputFailed);
        QCOMPARE(observer.errors.size(), 1);
        QVERIFY2(observer.errors.constFirst().contains(blocker),
                 qPrintable(observer.errors.constFirst()));
        QStringList expected = mapFileNames;
        expected.removeOne(blocker);
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        for (const QString &file : expected)
            QCOMPARE(TestSupport::readFile(dest + QLatin1Char('/') + file), "old " + file.toUtf8());
        QVERIFY(QDir(dest + QLatin1Char('/') + blocker).isEmpty());
    }

    void destinationInUse_data()
    {
        QTest::addColumn<bool>("wait");
        QTest::addColumn<bool>("otherPassEnds");
        QTest::addColumn<PassSummary::Outcome>("outcome");
        QTest::newRow("not waiting") << false << false << PassSummary::Outcome::OutputFailed;
        QTest::newRow("aborted while waiting") << true << false << PassSummary::Outcome::Aborted;
        QTest::newRow("the other pass ends") << true << true << PassSummary::Outcome::Completed;
    }

    void destinationInUse()
    {
        QFETCH(bool, wait);
        QFETCH(bool, otherPassEnds);
        QFETCH(PassSummary::Outcome, outcome);
        const QString dest = destination(QString::fromLatin1(QTest::currentDataTag()));
        RecordingObserver holder;
        DestinationLock other;
        QCOMPARE(other.lock(dest, false, holder), DestinationLock::Result::Locked);
        const QString waiting = QLatin1String("waiting for another pass writing ") + dest;
        WaitingObserver observer;
        if (otherPassEnds)
            observer.whileWaiting = [&other] { other.unlock(); };
        else
            observer.cancelAtStep = waiting;
        QCOMPARE(runPass(dest, observer, {}, wait).outcome, outcome);
        QCOMPARE(observer.statusMessages.contains(waiting), wait);
        QCOMPARE(observer.steps.contains(waiting), wait);
        QCOMPARE(observer.errors,
                 wait ? QStringList()
                      : QStringList(QLatin1String("Another pass is writing ") + dest
                                    + QLatin1String("; try again when it has finished")));
        other.unlock();
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden, QDir::Name), mapFileNames);
        QCOMPARE(TestSupport::readFile(dest + QLatin1String("/map0.mul")) == "old map0.mul",
                 !otherPassEnds);
    }

    void missingDestinationCreatesNothing()
    {
        const QString dest = m_dir.filePath(QStringLiteral("nowhere"));
        RecordingObserver observer;
        QCOMPARE(runPass(dest, observer).outcome, PassSummary::Outcome::OutputFailed);
        QVERIFY(!QFileInfo::exists(dest));
    }

    // A load stopped halfway takes nothing over, so that the window's next
    // Generate loads again; a whole one adds to the tables as loading into
    // them would, keeping an index an earlier pass entered.
    void loadTakesOverOnlyWhole_data()
    {
        QTest::addColumn<QString>("cancelAtStep");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("stopped") << QStringLiteral("Loading transition data") << false;
        QTest::newRow("whole") << QString() << true;
    }

    void loadTakesOverOnlyWhole()
    {
        QFETCH(QString, cancelAtStep);
        QFETCH(bool, loaded);
        const QString data = m_dir.filePath(QStringLiteral("data"));
        MapTables tables;
        tables.TerrainTable.insert(9, 0);
        MapTables expected = tables;
        if (loaded)
            loadDataDirectory(expected, data);
        RecordingObserver observer;
        observer.cancelAtStep = cancelAtStep;
        QCOMPARE(loadDataDirectory(tables, data, {}, &observer), loaded);
        QVERIFY(!observer.steps.isEmpty());
        QCOMPARE(observer.stepsFinished, 1);
        QVERIFY(tables.TerrainTable == expected.TerrainTable);
        QVERIFY(tables.AltitudeTable == expected.AltitudeTable);
        QVERIFY(tables.TransitionTable == expected.TransitionTable);
        QVERIFY(tables.TransitionFileTable == expected.TransitionFileTable);
        QVERIFY(tables.StaticSetTable == expected.StaticSetTable);
    }

    // The window keeps its tables for the whole run: a pass enters missing
    // indexes once, and later passes neither grow the tables nor change
    // their output for the same seed.
    void repeatedPassesLeaveTheTablesAlone()
    {
        const QString dest = destination(QStringLiteral("repeated"));
        RecordingObserver first;
        QCOMPARE(runPass(dest, first).outcome, PassSummary::Outcome::Completed);
        const MapTables afterFirst = m_tables;
        QByteArray firstFiles;
        for (const QString &file : mapFileNames)
            firstFiles += TestSupport::readFile(dest + QLatin1Char('/') + file);
        for (int pass = 0; pass < 3; ++pass) {
            RecordingObserver observer;
            QCOMPARE(runPass(dest, observer).outcome, PassSummary::Outcome::Completed);
            QCOMPARE(m_tables.TerrainTable.size(), afterFirst.TerrainTable.size());
            QCOMPARE(m_tables.AltitudeTable.size(), afterFirst.AltitudeTable.size());
            QCOMPARE(m_tables.TerrainRandomTable.size(), afterFirst.TerrainRandomTable.size());
            QCOMPARE(m_tables.TransitionTable.size(), afterFirst.TransitionTable.size());
            QCOMPARE(m_tables.StaticSetTable.size(), afterFirst.StaticSetTable.size());
            QByteArray files;
            for (const QString &file : mapFileNames)
                files += TestSupport::readFile(dest + QLatin1Char('/') + file);
            QVERIFY(files == firstFiles);
        }
    }
};

QTEST_GUILESS_MAIN(TestLastingEffects)
#include "tst_lastingeffects.moc"
