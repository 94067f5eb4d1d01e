#include "data/altitudetable.h"
#include "data/generatorsettings.h"
#include "data/maptables.h"
#include "data/staticsetfile.h"
#include "data/structurefile.h"
#include "data/terraintable.h"
#include "data/transitionfile.h"
#include "data/xmldocument.h"
#include "engine/maprenderer.h"
#include "engine/paletteimage.h"
#include "engine/tileterrains.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Hand-edited files can hold anything. Whatever they hold, every loader
// comes back quickly, either with what the file says or with nothing.
class TestHostileInput : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Loads the file through every XML loader; returns how many entries
    // the loaders found in all.
    qsizetype loadEverywhere(const QByteArray &contents)
    {
        const QString path = m_dir.filePath(QStringLiteral("hostile.xml"));
        TestSupport::writeFile(path, contents);
        MapTables tables;
        loadTerrainTable(tables, path);
        loadAltitudeTable(tables, path);
        loadTransitionFile(tables, path, TransitionKind::General);
        loadStaticSetFile(tables, path, QStringLiteral("hostile.xml"), {});
        StructureStatics statics;
        const PaletteImage altitude =
            PaletteImage::fromImage(TestSupport::paletteImage(16, 16, [](int, int) { return 0; }));
        StructureStamper stamper(tables, statics, altitude, 2, 2, [](const QString &) {});
        stamper.loadStructureFile(path);
        const GeneratorSettings settings = readGeneratorSettings(path);
        return tables.TerrainTable.size() + tables.AltitudeTable.size()
            + tables.TransitionTable.size()
            + tables.StaticSetTable.value("HOSTILE.XML").groups.size() + stamper.placementsRead()
            + (settings.dataDirectory ? 1 : 0);
    }

    static QByteArray nested(int depth, const QByteArray &inner)
    {
        return "<R>" + QByteArray("<a>").repeated(depth) + inner
            + QByteArray("</a>").repeated(depth) + "</R>";
    }

private slots:
    void xmlLoadersCopeWithHostileFiles_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<qsizetype>("entries");
        const QByteArray everything =
            "<Terrain ID='1' TileID='2'/><Altitude Key='1' Altitude='2'/>"
            "<TransInfo HashKey='000000000000000001'/><Statics Freq='1'/><MLT/><XML>/d</XML>";

        // The structure placement enters altitude index 0, its location's.
        QTest::newRow("one of each") << "<R>" + everything + "</R>" << qsizetype(7);
        // Definitions count at any depth within reason; settings only as
        // the root's children.
        QTest::newRow("nested 1000 deep") << nested(998, everything) << qsizetype(6);
        // Took hours before: building the DOM costs time per node and level.
        QTest::newRow("nested 200000 deep") << nested(200000, everything) << qsizetype(0);
        QTest::newRow("200000 levels left open")
            << "<R>" + QByteArray("<a>").repeated(200000) << qsizetype(0);

        // A thousand million characters from ten entity levels.
        QByteArray laughs = "<?xml version='1.0'?><!DOCTYPE R [<!ENTITY a0 'xxxxxxxxxx'>";
        for (int i = 1; i < 10; ++i)
            laughs += "<!ENTITY a" + QByteArray::number(i) + " '"
                + ("&a" + QByteArray::number(i - 1) + ";").repeated(10) + "'>";
        QTest::newRow("billion laughs")
            << laughs + "]><R><Terrain ID='1' TileID='&a9;'/></R>" << qsizetype(0);
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE R [<!ENTITY e SYSTEM '/etc/passwd'>]>"
                          "<R><XML>&e;</XML><Terrain ID='1' TileID='&e;'/></R>")
            << qsizetype(0);
        // Four million characters: within what the parser expands; the
        // tile id is no number and reads as 0.
        QTest::newRow("entity repeated 1000 times")
            << "<!DOCTYPE R [<!ENTITY e '" + QByteArray(4000, 'x')
                + "'>]><R><Terrain ID='1' TileID='" + QByteArray("&e;").repeated(1000) + "'/></R>"
            << qsizetype(1);
        QTest::newRow("huge attribute value")
            << "<R><Terrain ID='1' TileID='" + QByteArray(10'000'000, '7') + "'/></R>"
            << qsizetype(1);
        QTest::newRow("not XML") << QByteArray("\x89PNG\r\n\x1a\n\0\0", 10) << qsizetype(0);
        QTest::newRow("empty") << QByteArray() << qsizetype(0);
    }

    void xmlLoadersCopeWithHostileFiles()
    {
        QFETCH(QByteArray, contents);
        QFETCH(qsizetype, entries);
        QCOMPARE(loadEverywhere(contents), entries);
    }

    // The map view draws map files it has not verified: another program
    // may have replaced them since the pass. Whatever their records say,
    // every read stays inside the files.
    void mapRendererStaysInsideTheFiles_data()
    {
        QTest::addColumn<int>("mapBlocks");
        QTest::addColumn<QByteArray>("index"); // hexadecimal
        QTest::addColumn<QByteArray>("statics"); // hexadecimal
        QTest::addColumn<int>("width"); // 0: not opened
        QTest::addColumn<int>("staticsAt00");
        const QByteArray onStatic = "0100000000"
                                    "0000"; // tile 1 at (0, 0)
        QTest::newRow("sound") << 1
                               << QByteArray("00000000"
                                             "07000000"
                                             "00000000")
                               << onStatic << 8 << 1;
        QTest::newRow("offset past the statics file") << 1
                                                      << QByteArray("07000000"
                                                                    "07000000"
                                                                    "00000000")
                                                      << onStatic << 8 << 0;
        QTest::newRow("length past the statics file") << 1
                                                      << QByteArray("00000000"
                                                                    "ffffff7f"
                                                                    "00000000")
                                                      << onStatic << 8 << 0;
        QTest::newRow("negative length") << 1
                                         << QByteArray("00000000"
                                                       "f9ffffff"
                                                       "00000000")
                                         << onStatic << 8 << 0;
        QTest::newRow("part of a record") << 1
                                          << QByteArray("00000000"
                                                        "0a000000"
                                                        "00000000")
                                          << onStatic + "01000100000000" << 8 << 1;
        QTest::newRow("static outside its block") << 1
                                                  << QByteArray("00000000"
                                                                "07000000"
                                                                "00000000")
                                                  << QByteArray("0100c8c8000000") << 8 << 0;
        QTest::newRow("index shorter than the map") << 2
                                                    << QByteArray("00000000"
                                                                  "07000000"
                                                                  "00000000")
                                                    << onStatic << 8 << 1;
        QTest::newRow("no index") << 1 << QByteArray() << QByteArray() << 0 << 0;
        QTest::newRow("map shorter than a block") << 0
                                                  << QByteArray("ffffffff"
                                                                "00000000"
                                                                "00000000")
                                                  << QByteArray() << 0 << 0;
    }

    void mapRendererStaysInsideTheFiles()
    {
        QFETCH(int, mapBlocks);
        QFETCH(QByteArray, index);
        QFETCH(QByteArray, statics);
        QFETCH(int, width);
        QFETCH(int, staticsAt00);
        const QString destination =
            m_dir.filePath(QStringLiteral("map-%1").arg(QTest::currentDataTag()));
        TestSupport::writeFile(destination + QLatin1String("/map0.mul"),
                               QByteArray(mapBlocks * 196 + (mapBlocks == 0 ? 100 : 0), '\x01'));
        TestSupport::writeFile(destination + QLatin1String("/staidx0.mul"),
                               QByteArray::fromHex(index));
        TestSupport::writeFile(destination + QLatin1String("/statics0.mul"),
                               QByteArray::fromHex(statics));
        MapTables tables;
        tables.TerrainTable.insert(0, 257);
        MapRenderer renderer(TileTerrains(tables), QList<QRgb>(256, qRgb(100, 100, 100)));
        QCOMPARE(renderer.open(destination, 0, 1) ? renderer.width() : 0, width);
        if (width == 0)
            return;
        QCOMPARE(renderer.statics(0, 0).size(), staticsAt00);
        const QRect all(0, 0, renderer.width(), renderer.height());
        QCOMPARE(renderer.render(all, 1).size(), QSize(8, 8));
        QCOMPARE(renderer.sample(4).size(), QSize(2, 2));
        const std::vector<bool> marked = renderer.staticCells(all);
        QCOMPARE(std::count(marked.cbegin(), marked.cend(), true), staticsAt00);
    }

    void namedPipesAreSkipped()
    {
        // Opening a pipe for reading waits for a writer that never comes.
        const QString pipe = m_dir.filePath(QStringLiteral("pipe.xml"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        MapTables tables;
        loadTerrainTable(tables, pipe);
        QVERIFY(tables.TerrainTable.isEmpty());
        QVERIFY(!readXmlDocument(pipe).opened);
        QVERIFY(PaletteImage::load(pipe).isNull());

        const QString structures = m_dir.filePath(QStringLiteral("structures.xml"));
        TestSupport::writeFile(structures,
                               "<S><MLT><Location X='1' Y='1'/><File>" + QFile::encodeName(pipe)
                                   + "</File></MLT></S>");
        StructureStatics statics;
        const PaletteImage altitude =
            PaletteImage::fromImage(TestSupport::paletteImage(16, 16, [](int, int) { return 0; }));
        StructureStamper stamper(tables, statics, altitude, 2, 2, [](const QString &) {});
        stamper.loadStructureFile(structures);
        QCOMPARE(stamper.placementsRead(), 1);
        QCOMPARE(stamper.objectsStamped(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
