#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/passoptions.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>

// The example world's map, fixed by seed, as the first release wrote it.
// Guards the speed work on the pass: any change to these bytes is a change
// of behaviour, not of speed.
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
            << QStringList {"1604165312acdfef940cb5724d79f7bdb4a930cbb9b6008b35d2639b9e22cc28",
                            "d54ca420d9ea2bf1f3068bf08427a79e783662233ce51580c01d66b84f1cbef9",
                            "c0829743ea0071800058c921a9e0662cc74b709005991b62e8b1dfb8bfbda8bf"};
        QTest::newRow("land and transitions only, seed 7")
            << false << 7u
            << QStringList {"ee9bdd174582356d8adb3c03f9240396516ef345d31907bba9a90f265a346583",
                            "70104e69db152424c30eebea997fe2663b9a1f3401477e62b3cccaf9feae8c21",
                            "46fb0bfda7e3063b5477b8b4b5e6f5d51eddac40362f7354d775ec206c405b4c"};
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
