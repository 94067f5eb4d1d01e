#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/passoptions.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>

// The example world's map, fixed by seed. Guards the speed work on the pass:
// any change to these bytes is a change of behaviour, not of speed. Pinned
// anew once, when the world's transitions became its edge sets expanded
// (new tiles, and every border cell matched, also between rock and snow);
// the engine was unchanged and gave the old world the first release's bytes.
class TestExampleWorld : public QObject
{
    Q_OBJECT

private slots:
    void generatesTheRecordedMap_data()
    {
        QTest::addColumn<bool>("decorated");
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<QStringList>("sha256");
        QTest::newRow("random art and structures, seed 1")
            << true << 1u
            << QStringList {"ad0ef36b55480f876815907774c307baa35e4e8b1f0e6ae9acfb3c93178187f4",
                            "82251a10607d08520d9ceac9206534eeff48ba4a19ed0f241cb1b5a03d7280a7",
                            "113231d81d67bf0bf0e1324b31dbae92623638722d875d10eb84c04022bc0a40"};
        QTest::newRow("land and transitions only, seed 7")
            << false << 7u
            << QStringList {"7b588a5cc41f3f707890cb783787faea41f6de59ef1fd8082de25df9677db464",
                            "96678196b7e19d23c554bb5c31214d2126368b6e70b4b5f834e1daacee715a88",
                            "4732713c4681416c2e9aeac07f50bb8f3487f1a260a932fe68dfe7676ef929d4"};
    }

    void generatesTheRecordedMap()
    {
        QFETCH(bool, decorated);
        QFETCH(quint32, seed);
        QFETCH(QStringList, sha256);
        QTemporaryDir out;
        const QString previous = QDir::currentPath();
        // Structure tile paths are relative to the world directory.
        QVERIFY(QDir::setCurrent(QStringLiteral(EXAMPLE_WORLD)));
        MapTables tables;
        loadDataDirectory(tables, "data");
        RecordingObserver observer;
        PassOptions options;
        options.destination = out.path();
        options.randomArt = decorated;
        options.structuresEnabled = decorated;
        options.structureFile = "structures/structures.xml";
        const PassSummary summary =
            TestSupport::runPass(tables, "terrain.png", "altitude.png", seed, options, observer);
        QDir::setCurrent(previous);
        QCOMPARE(summary.outcome, PassSummary::Outcome::Completed);

        QStringList hashes;
        for (const char *name : {"/map0.mul", "/staidx0.mul", "/statics0.mul"})
            hashes << QCryptographicHash::hash(TestSupport::readFile(out.path() + name),
                                               QCryptographicHash::Sha256)
                          .toHex();
        QCOMPARE(hashes, sha256);
    }
};

QTEST_GUILESS_MAIN(TestExampleWorld)
#include "tst_exampleworld.moc"
