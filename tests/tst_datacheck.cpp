#include "data/datadirectorychecker.h"
#include "engine/mapimagecheck.h"
#include "testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

namespace {

const QByteArray terrainXml = "<T>\n"
                              "<Terrain ID='0' TileID='100'/>\n"
                              "<Terrain ID='1' TileID='200' Random='True'/>\n"
                              "</T>\n";
const QByteArray altitudeXml = "<A>\n"
                               "<Altitude Key='0' Altitude='0'/>\n"
                               "<Altitude Key='1' Altitude='10'/>\n"
                               "</A>\n";

// Writes a data directory: a sound terrain.xml and altitude.xml unless the
// files replace them (an empty text leaves the file out).
QString writeDataDirectory(const QTemporaryDir &dir, const Files &files)
{
    const QString data = dir.filePath(QStringLiteral("data"));
    Files all {{QStringLiteral("system/terrain.xml"), terrainXml},
               {QStringLiteral("system/altitude.xml"), altitudeXml}};
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        all.insert(it.key(), it.value());
    QDir().mkpath(data);
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (!it.value().isEmpty())
            TestSupport::writeFile(data + QLatin1Char('/') + it.key(), it.value());
    }
    return data;
}

// "error code file:line", the file relative to the data directory.
QStringList summarise(const QList<DataProblem> &problems, const QString &data)
{
    QStringList lines;
    for (const DataProblem &problem : problems)
        lines << QStringLiteral("%1 %2 %3:%4")
                     .arg(problem.severity == DataProblem::Severity::Error ? "error" : "warning",
                          problem.code, QDir(data).relativeFilePath(problem.file))
                     .arg(problem.line);
    return lines;
}

QString messages(const QList<DataProblem> &problems)
{
    QStringList texts;
    for (const DataProblem &problem : problems)
        texts << problem.message;
    return texts.join(QLatin1Char('\n'));
}

} // namespace

// check-data: each problem the loaders take silently, found with its file
// and line.
class TestDataCheck : public QObject
{
    Q_OBJECT

private slots:
    void problems_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("sound directory")
            << Files {{"transitions/a/edges.xml",
                       "<R>\n<TransInfo HashKey='000000000100000000' File='Forest.xml'>"
                       "<MapTiles><MapTile TileID='5' AltIDMod='-3'/></MapTiles></TransInfo>\n"
                       "</R>"},
                      {"statics/forest.xml",
                       "<S Chance='20'><Statics Freq='2'><Static TileID='7' X='-1' "
                       "Hue='3'/></Statics></S>"}}
            << QStringList {};
        QTest::newRow("not well-formed")
            << Files {{"system/terrain.xml", "<T>\n<Terrain ID='0' TileID='100'>\n</T>\n"}}
            << QStringList {"error not-well-formed system/terrain.xml:3"};
        QTest::newRow("required file missing")
            << Files {{"system/altitude.xml", ""}}
            << QStringList {"error missing-file system/altitude.xml:0"};
        QTest::newRow("a directory in place of a file")
            << Files {{"system/terrain.xml", ""}, {"system/terrain.xml/keep", "x"}}
            << QStringList {"error unreadable-file system/terrain.xml:0"};
        QTest::newRow("no definitions")
            << Files {{"system/terrain.xml", "<T><terrain ID='0' TileID='1'/></T>"}}
            << QStringList {"warning no-definitions system/terrain.xml:0"};
        QTest::newRow("keys that never match")
            << Files {{"system/roughedge/lefttrans.xml",
                       "<R>\n<TransInfo HashKey='0a0a0a0a0a0a0a0a0a'/>\n"
                       "<TransInfo HashKey='00000000000000000'/>\n"
                       "<TransInfo HashKey=' 000000000000000000'/>\n<TransInfo/>\n</R>"}}
            << QStringList {"error key-never-matches system/roughedge/lefttrans.xml:2",
                            "error key-never-matches system/roughedge/lefttrans.xml:3",
                            "error key-never-matches system/roughedge/lefttrans.xml:4",
                            "error missing-attribute system/roughedge/lefttrans.xml:5"};
        QTest::newRow("static sets that do not exist")
            << Files {{"transitions/a/1.xml",
                       "<R>\n<TransInfo HashKey='000000000000000000' File='pines.xml'/>\n"
                       "<TransInfo HashKey='010101010101010101' File='ROCKS.XML'/>\n"
                       "<TransInfo HashKey='020202020202020202' File='broken.xml'/>\n</R>"},
                      {"statics/Rocks.xml", "<S Chance='5'><Statics Freq='1'/></S>"},
                      {"statics/broken.xml", "<S Chance='5'>"}}
            << QStringList {"error missing-static-set transitions/a/1.xml:2",
                            "error missing-static-set transitions/a/1.xml:4",
                            "error not-well-formed statics/broken.xml:1"};
        QTest::newRow("numbers that do not convert or lose bits")
            << Files {{"system/terrain.xml",
                       "<T>\n<Terrain ID='256' TileID='1'/>\n<Terrain ID='-1' TileID='2'/>\n"
                       "<Terrain ID='7' TileID='65536'/>\n<Terrain ID='8'/>\n</T>"},
                      {"system/altitude.xml",
                       "<A>\n<Altitude Key='2' Altitude='200'/>\n"
                       "<Altitude Key='3' Altitude='40000'/>\n<Altitude Key='4' "
                       "Altitude='-128'/>\n</A>"},
                      {"transitions/a/1.xml",
                       "<R><TransInfo HashKey='000000000000000000'><MapTiles>\n"
                       "<MapTile TileID='65535' AltIDMod='-129'/>\n</MapTiles><StaticTiles>\n"
                       "<StaticTile AltIDMod='127'/>\n</StaticTiles></TransInfo></R>"},
                      {"statics/s.xml",
                       "<S Chance='x'><Statics Freq='1'>\n<Static TileID='1' X='128' Y='-128' "
                       "Z='1.5' Hue='65536'/>\n</Statics></S>"}}
            // ID -1 does not convert and reads as 0, and so does ID 256 once
            // its low 8 bits are kept: the second replaces the first.
            << QStringList {"error lossy-number system/terrain.xml:2",
                            "warning replaced-definition system/terrain.xml:2",
                            "error bad-number system/terrain.xml:3",
                            "error bad-number system/terrain.xml:4",
                            "error missing-attribute system/terrain.xml:5",
                            "error lossy-number system/altitude.xml:2",
                            "error bad-number system/altitude.xml:3",
                            "error lossy-number transitions/a/1.xml:2",
                            "error missing-attribute transitions/a/1.xml:4",
                            "error bad-number statics/s.xml:1",
                            "error lossy-number statics/s.xml:2",
                            "error bad-number statics/s.xml:2",
                            "error bad-number statics/s.xml:2"};
        QTest::newRow("static tile ids")
            << Files {{"statics/s.xml",
                       "<S Chance='50'><Statics Freq='1'>\n<Static TileID='1F4'/>\n"
                       "<Static TileID='0x1F4'/>\n<Static TileID='0'/>\n<Static TileID='zz'/>\n"
                       "<Static/>\n<Static TileID='500'/>\n</Statics></S>"}}
            << QStringList {
                   "warning hex-tile-id statics/s.xml:2", "warning hex-tile-id statics/s.xml:3",
                   "warning tile-id-zero statics/s.xml:4", "error bad-number statics/s.xml:5",
                   "error missing-attribute statics/s.xml:6"};
        QTest::newRow("groups and sets that never decorate")
            << Files {{"statics/a.xml",
                       "<S>\n<Statics Freq='0'/>\n<Statics Freq='-2'/>\n<Statics/>\n"
                       "<Statics Freq='1'/>\n</S>"},
                      {"statics/b.xml", "<S Chance='0'/>"}}
            << QStringList {"warning set-never-decorates statics/a.xml:1",
                            "warning group-never-drawn statics/a.xml:2",
                            "warning group-never-drawn statics/a.xml:3",
                            "warning group-never-drawn statics/a.xml:4",
                            "warning set-never-decorates statics/b.xml:1"};
        QTest::newRow("Random in another letter case")
            << Files {{"system/terrain.xml",
                       "<T>\n<Terrain ID='0' TileID='1' Random='true'/>\n"
                       "<Terrain ID='1' TileID='1' Random=' True'/>\n"
                       "<Terrain ID='2' TileID='1' Random='False'/>\n"
                       "<Terrain ID='3' TileID='1' Random='True'/>\n</T>"}}
            << QStringList {"error flag-not-true system/terrain.xml:2",
                            "error flag-not-true system/terrain.xml:3"};
        // ID 259 loses bits and keeps the low 8, 3: it replaces index 3 too.
        QTest::newRow("replaced definitions")
            << Files {{"system/terrain.xml",
                       "<T>\n<Terrain ID='3' TileID='1'/>\n<Terrain ID='4' TileID='1'/>\n"
                       "<Terrain ID='3' TileID='2'/>\n<Terrain ID='259' TileID='3'/>\n</T>"},
                      {"system/altitude.xml",
                       "<A>\n<Altitude Key='1' Altitude='1'/>\n<Altitude Key='1' "
                       "Altitude='2'/>\n</A>"},
                      {"transitions/a/1.xml",
                       "<R>\n<TransInfo HashKey='000000000000000000'/>\n</R>"},
                      {"transitions/b/1.xml",
                       "<R>\n\n<TransInfo HashKey='000000000000000000'/>\n</R>"},
                      {"transitions/common.xml",
                       "<R>\n\n\n<TransInfo HashKey='000000000000000000'/>\n</R>"},
                      // Rough-edge tables are tables of their own.
                      {"system/roughedge/toptrans.xml",
                       "<R><TransInfo HashKey='000000000000000000'/></R>"}}
            << QStringList {"warning empty-transition system/roughedge/toptrans.xml:1",
                            "warning replaced-definition system/terrain.xml:2",
                            "warning replaced-definition system/terrain.xml:4",
                            "error lossy-number system/terrain.xml:5",
                            "warning replaced-definition system/altitude.xml:2",
                            "warning empty-transition transitions/a/1.xml:2",
                            "warning replaced-definition transitions/a/1.xml:2",
                            "warning empty-transition transitions/b/1.xml:3",
                            "warning replaced-definition transitions/b/1.xml:3",
                            "warning empty-transition transitions/common.xml:4"};
        // Open definitions, as check-data --write-missing writes them, apart
        // from those that draw a static or name a static set.
        QTest::newRow("definitions without tiles")
            << Files {{"transitions/a/1.xml",
                       "<R>\n<TransInfo HashKey='000000000000000001'><MapTiles>"
                       "<!-- <MapTile TileID='' AltIDMod='0'/> --></MapTiles></TransInfo>\n"
                       "<TransInfo HashKey='000000000000000002' File='x.xml'/>\n"
                       "<TransInfo HashKey='000000000000000003'><StaticTiles>"
                       "<StaticTile TileID='4'/></StaticTiles></TransInfo>\n"
                       "<TransInfo HashKey='00000000000000000a'/>\n</R>"},
                      {"statics/x.xml", "<S Chance='5'/>"},
                      {"system/roughedge/lefttrans.xml",
                       "<R><TransInfo HashKey='000000000000000001' File='x.xml'/></R>"}}
            << QStringList {"warning empty-transition system/roughedge/lefttrans.xml:1",
                            "warning empty-transition transitions/a/1.xml:2",
                            "error key-never-matches transitions/a/1.xml:5"};
        QTest::newRow("file beside common.xml")
            << Files {{"transitions/extra.xml", "<R/>"}, {"transitions/common.xml", "<R/>"}}
            << QStringList {"warning never-loaded transitions/extra.xml:0"};
        // The inner definition's tile lies inside the outer's MapTiles too;
        // it is one tile and one problem.
        QTest::newRow("nested definitions report a tile once")
            << Files {{"transitions/a/1.xml",
                       "<R><TransInfo HashKey='000000000000000000'><MapTiles>\n"
                       "<TransInfo HashKey='010101010101010101'><MapTiles>\n"
                       "<MapTile TileID='x'/>\n</MapTiles></TransInfo></MapTiles></TransInfo></R>"}}
            << QStringList {"error bad-number transitions/a/1.xml:3"};
        // Load order: rough edges, terrain, altitude, the scan, common.xml,
        // static sets.
        QTest::newRow("file by file in load order")
            << Files {{"statics/s.xml", "<S Chance='0'/>"},
                      {"transitions/common.xml", "<R><TransInfo/></R>"},
                      {"transitions/b/1.xml", "<R><TransInfo/></R>"},
                      {"transitions/A/1.xml", "<R><TransInfo/></R>"},
                      {"system/altitude.xml", "<A><Altitude Key='x' Altitude='0'/></A>"},
                      {"system/terrain.xml", "<T><Terrain ID='x' TileID='0'/></T>"},
                      {"system/roughedge/cornertrans.xml", "<R><TransInfo/></R>"},
                      {"system/roughedge/lefttrans.xml", "<R><TransInfo/></R>"}}
            << QStringList {"error missing-attribute system/roughedge/lefttrans.xml:1",
                            "error missing-attribute system/roughedge/cornertrans.xml:1",
                            "error bad-number system/terrain.xml:1",
                            "error bad-number system/altitude.xml:1",
                            // The three definitions share the empty key.
                            "error missing-attribute transitions/A/1.xml:1",
                            "warning replaced-definition transitions/A/1.xml:1",
                            "error missing-attribute transitions/b/1.xml:1",
                            "warning replaced-definition transitions/b/1.xml:1",
                            "error missing-attribute transitions/common.xml:1",
                            "warning set-never-decorates statics/s.xml:1"};
    }

    void problems()
    {
        QFETCH(Files, files);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString data = writeDataDirectory(dir, files);
        const QList<DataProblem> problems = checkDataDirectory(data);
        QCOMPARE(summarise(problems, data), expected);
    }

    // What the designer reads: the winner of a replacement, the value the
    // generator uses, the fix.
    void messagesSayWhatToDo_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("fragments");

        QTest::newRow("the last definition wins")
            << Files {{"transitions/a/1.xml",
                       "<R>\n<TransInfo HashKey='000000000000000000'/>\n</R>"},
                      {"transitions/b/1.xml",
                       "<R>\n<TransInfo HashKey='000000000000000000'/>\n</R>"},
                      {"transitions/common.xml",
                       "<R>\n\n<TransInfo HashKey='000000000000000000'/>\n</R>"}}
            << QStringList {"transitions/common.xml:3"};
        QTest::newRow("a kept static set")
            << Files {{"transitions/a/1.xml",
                       "<R><TransInfo HashKey='000000000000000000' File='f.xml'/></R>"},
                      {"transitions/common.xml",
                       "<R><TransInfo HashKey='000000000000000000'/></R>"},
                      {"statics/f.xml", "<S Chance='1'><Statics Freq='1'/></S>"}}
            << QStringList {"its File F.XML stays in use"};
        QTest::newRow("a key in lower case")
            << Files {{"transitions/a/1.xml", "<R><TransInfo HashKey='0a0b0c0d0e0f000000'/></R>"}}
            << QStringList {"write 0A0B0C0D0E0F000000"};
        QTest::newRow("a key too short")
            << Files {{"transitions/a/1.xml", "<R><TransInfo HashKey='0000'/></R>"}}
            << QStringList {"it has 4"};
        QTest::newRow("low 8 bits")
            << Files {{"system/terrain.xml", "<T><Terrain ID='300' TileID='1'/></T>"},
                      {"system/altitude.xml", "<A><Altitude Key='1' Altitude='-200'/></A>"}}
            << QStringList {"low 8 bits: 44", "low 8 bits: 56"};
        QTest::newRow("a hexadecimal tile id")
            << Files {{"system/terrain.xml", "<T><Terrain ID='1' TileID='1F4'/></T>"},
                      {"statics/s.xml",
                       "<S Chance='1'><Statics Freq='1'><Static TileID='0x1F4'/></Statics></S>"}}
            << QStringList {"if it is hexadecimal, write 500", "read as hexadecimal: tile id 500"};
        QTest::newRow("a set name that matches no file")
            << Files {{"transitions/a/1.xml",
                       "<R><TransInfo HashKey='000000000000000000' File='forrest.xml'/></R>"}}
            << QStringList {"File 'forrest.xml' names no static set"};
        QTest::newRow("a long value is cut short")
            << Files {{"transitions/a/1.xml",
                       "<R><TransInfo HashKey='" + QByteArray(300, 'A') + "'/></R>"}}
            << QStringList {"HashKey '" + QString(200, 'A') + "... (300 characters in all)' never"};
        QTest::newRow("control characters are written out")
            << Files {{"transitions/a/1.xml", "<R><TransInfo HashKey='&#9;0A&#10;&#13;'/></R>"}}
            << QStringList {"HashKey '\\t0A\\n\\r' never"};
    }

    void messagesSayWhatToDo()
    {
        QFETCH(Files, files);
        QFETCH(QStringList, fragments);
        QTemporaryDir dir;
        const QString text = messages(checkDataDirectory(writeDataDirectory(dir, files)));
        for (const QString &fragment : fragments)
            QVERIFY2(text.contains(fragment), qPrintable(text));
    }

    void parserPosition()
    {
        QTemporaryDir dir;
        const QString data =
            writeDataDirectory(dir, {{"system/altitude.xml", "<A>\n  <Altitude Key='1' <\n</A>"}});
        const QList<DataProblem> problems = checkDataDirectory(data);
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0].line, 2);
        QVERIFY(problems[0].column > 0);
        QVERIFY2(problems[0].message.contains(QLatin1String("not well-formed")),
                 qPrintable(problems[0].message));
    }

    // The parser counts a character outside the Basic Multilingual Plane
    // as two; the designer's editor counts it as one.
    void parserColumnCountsCharacters_data()
    {
        QTest::addColumn<QByteArray>("altitudeXml");
        QTest::addColumn<int>("column");
        // The parser stops at the stray '<', the 30th character of line 2.
        const QString line = QStringLiteral("  <Altitude Description='%1' <");
        const QString text = QStringLiteral("<A>\n") + line + QStringLiteral("\n</A>");
        QTest::newRow("ASCII") << text.arg("xy").toUtf8() << 30;
        QTest::newRow("accents") << text.arg("\u00e9\u00e8").toUtf8() << 30;
        QTest::newRow("emoji") << text.arg("\U0001F600\U0001F332").toUtf8() << 30;
        QTest::newRow("emoji, CR LF")
            << text.arg("\U0001F600\U0001F332").replace("\n", "\r\n").toUtf8() << 30;
        const QString utf16 = QChar(QChar::ByteOrderMark) + text.arg("\U0001F600\U0001F332");
        QTest::newRow("emoji, UTF-16")
            << QByteArray(reinterpret_cast<const char *>(utf16.utf16()), utf16.size() * 2) << 30;
        // Characters before the line do not count.
        QTest::newRow("emoji on the line before")
            << ("<A \U0001F600='1'>\n" + line.arg("xy") + "\n</A>").toUtf8() << 30;
    }

    void parserColumnCountsCharacters()
    {
        QFETCH(QByteArray, altitudeXml);
        QFETCH(int, column);
        QTemporaryDir dir;
        const QList<DataProblem> problems =
            checkDataDirectory(writeDataDirectory(dir, {{"system/altitude.xml", altitudeXml}}));
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0].code, QStringLiteral("not-well-formed"));
        QCOMPARE(problems[0].line, 2);
        QCOMPARE(problems[0].column, column);
    }

    void scanOfTransitions_data()
    {
        QTest::addColumn<QString>("linkTo");
        QTest::addColumn<QStringList>("expected");
        // transitions/a/up links to these; shared/ holds x.xml with a key
        // that never matches.
        QTest::newRow("the data directory")
            << "data" << QStringList {"warning link-above-data transitions/a/up:0"};
        QTest::newRow("the directory above") << "."
                                             << QStringList {"warning link-above-data "
                                                             "transitions/a/up:0"};
        QTest::newRow("the root") << "/"
                                  << QStringList {"warning link-above-data transitions/a/up:0"};
        QTest::newRow("a folder shared between worlds")
            << "shared" << QStringList {"error key-never-matches transitions/a/up/x.xml:1"};
        QTest::newRow("no link, an unreadable directory")
            << QString() << QStringList {"error unreadable-directory transitions/a:0"};
    }

    void scanOfTransitions()
    {
        QFETCH(QString, linkTo);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString data =
            writeDataDirectory(dir,
                               {{"transitions/a/1.xml",
                                 "<R><TransInfo HashKey='000000000000000000'><MapTiles>"
                                 "<MapTile TileID='1'/></MapTiles></TransInfo></R>"},
                                {"statics/s.xml", "<S Chance='5'><Statics Freq='1'/></S>"}});
        TestSupport::writeFile(dir.filePath("shared/x.xml"), "<R><TransInfo HashKey='x'/></R>");
        const QString a = data + QLatin1String("/transitions/a");
        if (linkTo.isEmpty()) {
            if (geteuid() == 0)
                QSKIP("root reads every directory");
            QVERIFY(QFile::setPermissions(a, {}));
        } else {
            QVERIFY(QFile::link(QDir(dir.path()).absoluteFilePath(linkTo), a + "/up"));
        }
        const QList<DataProblem> problems = checkDataDirectory(data);
        QFile::setPermissions(a, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(summarise(problems, data), expected);
    }

    void images_data()
    {
        QTest::addColumn<QSize>("terrainSize");
        QTest::addColumn<QSize>("altitudeSize");
        // The terrain image has index 0 west of column strangeFrom and
        // strangeTerrain from there on; the altitude image has index 1
        // except for strangeAltitude at (2, 3). The data directory defines
        // terrain and altitude indexes 0 and 1.
        QTest::addColumn<int>("strangeFrom");
        QTest::addColumn<int>("strangeTerrain");
        QTest::addColumn<int>("strangeAltitude");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("sound") << QSize(16, 16) << QSize(16, 16) << 8 << 1 << 1 << QStringList {};
        QTest::newRow("missing indexes")
            << QSize(16, 16) << QSize(16, 16) << 8 << 5 << 9
            << QStringList {"error missing-terrain-index terrain.png: 128 pixels, first at (8, 0)",
                            "error missing-altitude-index altitude.png: 1 pixel, first at (2, 3)"};
        QTest::newRow("sizes differ") << QSize(16, 16) << QSize(16, 8) << 8 << 1 << 1
                                      << QStringList {"error image-size-mismatch terrain.png: "};
        // Columns 16 to 19 are not part of the map, so index 5 there is no
        // problem.
        QTest::newRow("partial blocks are left out")
            << QSize(20, 16) << QSize(20, 16) << 16 << 5 << 1
            << QStringList {"warning image-partial-blocks terrain.png: ",
                            "warning image-partial-blocks altitude.png: "};
        QTest::newRow("less than a block") << QSize(7, 16) << QSize(7, 16) << 8 << 1 << 1
                                           << QStringList {"error image-too-small terrain.png: ",
                                                           "error image-too-small altitude.png: "};
    }

    void images()
    {
        QFETCH(QSize, terrainSize);
        QFETCH(QSize, altitudeSize);
        QFETCH(int, strangeFrom);
        QFETCH(int, strangeTerrain);
        QFETCH(int, strangeAltitude);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString data = writeDataDirectory(dir, {});
        const QString terrain = dir.filePath(QStringLiteral("terrain.png"));
        const QString altitude = dir.filePath(QStringLiteral("altitude.png"));
        TestSupport::writePaletteImage(
            terrain, terrainSize.width(), terrainSize.height(),
            [&](int x, int) { return x < strangeFrom ? 0 : strangeTerrain; });
        TestSupport::writePaletteImage(
            altitude, altitudeSize.width(), altitudeSize.height(),
            [&](int x, int y) { return x == 2 && y == 3 ? strangeAltitude : 1; });

        const QList<DataProblem> problems = checkMapImages(data, terrain, altitude);
        QCOMPARE(problems.size(), expected.size());
        for (qsizetype i = 0; i < problems.size(); ++i) {
            const DataProblem &problem = problems[i];
            const QStringList parts = expected[i].split(QLatin1Char(' '));
            QCOMPARE(problem.severity == DataProblem::Severity::Error ? "error" : "warning",
                     parts[0]);
            QCOMPARE(problem.code, parts[1]);
            QCOMPARE(QFileInfo(problem.file).fileName() + QLatin1Char(':'), parts[2]);
            const QString detail = expected[i].section(QLatin1Char(' '), 3);
            QVERIFY2(problem.message.contains(detail), qPrintable(problem.message));
        }
    }

    void imagesTheGeneratorRefuses()
    {
        QTemporaryDir dir;
        const QString data = writeDataDirectory(dir, {});
        const QString notAnImage = dir.filePath(QStringLiteral("notes.png"));
        TestSupport::writeFile(notAnImage, "not an image");
        const QString trueColour = dir.filePath(QStringLiteral("rgb.png"));
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(trueColour));

        QList<DataProblem> problems = checkMapImages(data, notAnImage, QString());
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0].code, QStringLiteral("image-unreadable"));
        const QString cut = dir.filePath(QStringLiteral("cut.bmp"));
        TestSupport::writeFile(cut, "BM" + QByteArray(12, 0) + QByteArray::fromHex("28000000"));
        problems = checkMapImages(data, cut, trueColour);
        QCOMPARE(problems[0].message,
                 QStringLiteral("cannot be read: truncated: 18 of 54 bytes; the generator writes "
                                "nothing"));
        problems = checkMapImages(data, QString(), trueColour);
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0].code, QStringLiteral("image-depth"));
        QVERIFY2(problems[0].message.contains(QLatin1String("32 bits")),
                 qPrintable(problems[0].message));
    }
};

QTEST_GUILESS_MAIN(TestDataCheck)
#include "tst_datacheck.moc"
