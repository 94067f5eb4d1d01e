#include "data/datadirectory.h"
#include "data/datadirectorychecker.h"
#include "data/maptables.h"
#include "engine/bordercheck.h"
#include "engine/mapimagecheck.h"
#include "engine/paletteimage.h"
#include "engine/passoptions.h"
#include "engine/starterworld.h"
#include "testsupport.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

class TestStarterWorld : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, int width, int height, quint32 seed)
    {
        const QString directory = m_dir.filePath(name);
        QString error;
        if (!writeStarterWorld(directory, {width, height, seed}, &error))
            qWarning("%s", qPrintable(error));
        return directory;
    }

private slots:
    void sameSeedSameFiles()
    {
        const auto first = TestSupport::filesBelow(write("a", 200, 160, 7));
        const auto second = TestSupport::filesBelow(write("b", 200, 160, 7));
        const auto other = TestSupport::filesBelow(write("c", 200, 160, 8));
        QVERIFY(first.size() > 15);
        QCOMPARE(first, second);
        QVERIFY(first.value("/terrain.png") != other.value("/terrain.png"));
    }

    void imagesArePalettedAndMatch()
    {
        const QString world = write("images", 200, 160, 3);
        const QImage terrain(world + "/terrain.png");
        const QImage altitude(world + "/altitude.png");
        QCOMPARE(terrain.format(), QImage::Format_Indexed8);
        QCOMPARE(altitude.format(), QImage::Format_Indexed8);
        QCOMPARE(terrain.size(), QSize(200, 160));
        QCOMPARE(altitude.size(), terrain.size());
        QCOMPARE(terrain.colorCount(), 8);
    }

    void generatesWithoutMissingIndexes_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 99") << 99u;
    }

    void generatesWithoutMissingIndexes()
    {
        QFETCH(quint32, seed);
        const QString world = write(QString("gen%1").arg(seed), 256, 256, seed);
        // The world holds nothing that check-data calls an error.
        QStringList errors;
        const QList<DataProblem> problems = checkDataDirectory(world + "/data")
            + checkMapImages(world + "/data", world + "/terrain.png", world + "/altitude.png");
        for (const DataProblem &problem : problems)
            if (problem.severity == DataProblem::Severity::Error)
                errors << problem.file + ": " + problem.message;
        QCOMPARE(errors, QStringList());
        // Its edge sets, expanded over its image, match every border.
        QCOMPARE(checkBorders(world + "/data", world + "/terrain.png",
                              PaletteImage::load(world + "/terrain.png"))
                     .coverage->unmatchedCells(),
                 0);

        MapTables tables;
        QStringList messages;
        loadDataDirectory(tables, world + "/data", [&](const QString &m) { messages << m; });
        QVERIFY(messages.isEmpty());
        QVERIFY(tables.TransitionTable.size() > 100);
        QCOMPARE(tables.StaticSetTable.size(), 4);

        // Structure tile paths are relative to the world directory.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(world);
        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dir.path();
        options.randomArt = true;
        options.structuresEnabled = true;
        options.structureFile = "structures/structures.xml";
        const PassSummary summary =
            TestSupport::runPass(tables, "terrain.png", "altitude.png", seed, options, observer);
        QDir::setCurrent(previous);

        QCOMPARE(summary.outcome, PassSummary::Outcome::Completed);
        QCOMPARE(observer.statusMessages, (QStringList {"Preparing structures", "Processing Map"}));
        QVERIFY(summary.missingTerrain.isEmpty() && summary.missingAltitude.isEmpty());
        QVERIFY(summary.structureObjectsStamped > 0);
        // Named in order, whatever order the tables hashed them in.
        QStringList sets;
        for (const auto &decorated : summary.decoratedCells)
            sets << decorated.staticSet;
        QVERIFY(sets.size() > 1);
        QVERIFY(std::is_sorted(sets.cbegin(), sets.cend()));
    }
};

QTEST_GUILESS_MAIN(TestStarterWorld)
#include "tst_starterworld.moc"
