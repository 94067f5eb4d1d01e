#include "data/maptables.h"
#include "data/transitiondirectory.h"
#include "data/transitionfile.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// "key: map tiles | static tiles", tiles as id/altIdMod, keys sorted.
QStringList dump(const TransitionHash &table)
{
    QStringList lines;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        QStringList map, statics;
        for (const auto &tile : it.value().mapTiles)
            map << QStringLiteral("%1/%2").arg(tile.tileId).arg(tile.altIdMod);
        for (const auto &tile : it.value().staticTiles)
            statics << QStringLiteral("%1/%2").arg(tile.tileId).arg(tile.altIdMod);
        lines << it.key() + QLatin1String(": ") + map.join(' ') + QLatin1String(" | ")
                + statics.join(' ');
    }
    lines.sort();
    return lines;
}

QStringList dump(const QHash<QString, QString> &table)
{
    QStringList lines;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        lines << it.key() + QLatin1String(" -> ") + it.value();
    lines.sort();
    return lines;
}

} // namespace

class TestTransitionLoaders : public QObject
{
    Q_OBJECT

private slots:
    void definitions_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("tiles only inside their own group")
            << QByteArray("<R><TransInfo HashKey='K'>"
                          "<MapTiles><Group><MapTile TileID='1' AltIDMod='2'/></Group>"
                          "<StaticTile TileID='9'/></MapTiles>"
                          "<MapTile TileID='8'/>"
                          "<StaticTiles><StaticTile TileID='3' AltIDMod='-1'/><MapTile TileID='7'/>"
                          "</StaticTiles></TransInfo></R>")
            << QStringList {"K: 1/2 | 3/-1"};
        QTest::newRow("several groups append")
            << QByteArray("<R><TransInfo HashKey='K'><MapTiles><MapTile TileID='1'/></MapTiles>"
                          "<StaticTiles><StaticTile TileID='5'/></StaticTiles>"
                          "<MapTiles><MapTile TileID='2'/></MapTiles></TransInfo></R>")
            << QStringList {"K: 1/0 2/0 | 5/0"};
        QTest::newRow("nested definition is its own") << QByteArray(
            "<R><Deep><TransInfo HashKey='OUT'><MapTiles><MapTile TileID='1'/></MapTiles>"
            "<TransInfo HashKey='IN'><MapTiles><MapTile TileID='2'/></MapTiles>"
            "</TransInfo></TransInfo></Deep></R>") << QStringList {"IN: 2/0 | ", "OUT: 1/0 | "};
        QTest::newRow("later definition replaces whole") << QByteArray(
            "<R><TransInfo HashKey='K'><MapTiles><MapTile TileID='1'/></MapTiles>"
            "<StaticTiles><StaticTile TileID='2'/></StaticTiles></TransInfo>"
            "<TransInfo HashKey='K'><StaticTiles><StaticTile TileID='3'/></StaticTiles>"
            "</TransInfo></R>") << QStringList {"K:  | 3/0"};
        QTest::newRow("numbers") << QByteArray(
            "<R><TransInfo HashKey='K'><MapTiles>"
            "<MapTile TileID='65535' AltIDMod='-3'/><MapTile TileID='65536' AltIDMod='127'/>"
            "<MapTile TileID='-1' AltIDMod='200'/><MapTile TileID='x' AltIDMod='300'/>"
            "<MapTile AltIDMod='40000'/><MapTile TileID='4' AltIDMod='z'/>"
            "</MapTiles></TransInfo></R>")
                                 << QStringList {"K: 65535/-3 0/127 0/-56 0/44 0/0 4/0 | "};
        QTest::newRow("keys are stored as written")
            << QByteArray("<R><TransInfo/><TransInfo HashKey='0a0a0a0a0a0a0a0a0a'/>"
                          "<TransInfo HashKey='0A0A0A0A0A0A0A0A0A'/><TransInfo HashKey=' K '/></R>")
            << QStringList {" K :  | ", "0A0A0A0A0A0A0A0A0A:  | ", "0a0a0a0a0a0a0a0a0a:  | ",
                            ":  | "};
        QTest::newRow("the root is no definition")
            << QByteArray("<TransInfo HashKey='ROOT'><TransInfo HashKey='CHILD'/></TransInfo>")
            << QStringList {"CHILD:  | "};
        QTest::newRow("not well-formed")
            << QByteArray("<R><TransInfo HashKey='K'></R>") << QStringList {};
    }

    void definitions()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.xml"));
        TestSupport::writeFile(path, xml);
        for (const auto kind : {TransitionKind::General, TransitionKind::Left, TransitionKind::Top,
                                TransitionKind::Corner}) {
            MapTables tables;
            loadTransitionFile(tables, path, kind);
            QCOMPARE(dump(tables.transitionTable(kind)), expected);
            int filled = 0;
            for (const auto *table : {&tables.TransitionTable, &tables.LeftTransitionTable,
                                      &tables.TopTransitionTable, &tables.CornerTransitionTable})
                filled += !table->isEmpty();
            QCOMPARE(filled, expected.isEmpty() ? 0 : 1);
        }
    }

    void staticSetNames()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("1.xml"));
        const QString second = dir.filePath(QStringLiteral("2.xml"));
        TestSupport::writeFile(first,
                               "<R><TransInfo HashKey='A' File='forest.xml'/>"
                               "<TransInfo HashKey='B' File='Rocks.Xml'/>"
                               "<TransInfo HashKey='C' File=''/></R>");
        TestSupport::writeFile(
            second, "<R><TransInfo HashKey='A'/><TransInfo HashKey='B' File='grass.xml'/></R>");

        MapTables tables;
        loadTransitionFile(tables, first, TransitionKind::General);
        QCOMPARE(dump(tables.TransitionFileTable),
                 (QStringList {"A -> FOREST.XML", "B -> ROCKS.XML"}));
        loadTransitionFile(tables, second, TransitionKind::General);
        // A later definition without File keeps the set; one with File replaces it.
        QCOMPARE(dump(tables.TransitionFileTable),
                 (QStringList {"A -> FOREST.XML", "B -> GRASS.XML"}));
        QCOMPARE(tables.TransitionTable.size(), 3);

        MapTables roughEdge;
        loadTransitionFile(roughEdge, first, TransitionKind::Left);
        QVERIFY(roughEdge.TransitionFileTable.isEmpty());
        QCOMPARE(roughEdge.LeftTransitionTable.size(), 3);
    }

    void directoryScanOrder()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("transitions/"));
        const auto define = [&](const QString &file, const QList<QPair<QString, int>> &keys) {
            QByteArray xml = "<R>";
            for (const auto &[key, tile] : keys)
                xml += QStringLiteral("<TransInfo HashKey='%1'><MapTiles><MapTile TileID='%2'/>"
                                      "</MapTiles></TransInfo>")
                           .arg(key)
                           .arg(tile)
                           .toUtf8();
            TestSupport::writeFile(root + file, xml + "</R>");
        };
        define(QStringLiteral("direct.xml"), {{"DIRECT", 1}});
        define(QStringLiteral("a/1.xml"), {{"SIBLING", 1}, {"DEEPER", 1}, {"SUBTREE", 1}});
        define(QStringLiteral("a/deep/1.xml"), {{"DEEPER", 2}, {"SUBTREE", 2}});
        // Capital B sorts after small a; the upper-case extension still matches.
        define(QStringLiteral("B/1.XML"), {{"SIBLING", 3}, {"SUBTREE", 3}});
        // A directory named like a definition file is scanned as a directory.
        define(QStringLiteral("c.xml/inner.xml"), {{"INNER", 4}});
        define(QStringLiteral("c.xml/notes.txt"), {{"TEXT", 5}});
        // A link back to the start and a second way into a/ are not entered again.
        QVERIFY(QFile::link(root, root + QLatin1String("a/loop")));
        QVERIFY(QFile::link(root + QLatin1String("a"), root + QLatin1String("z")));

        MapTables tables;
        scanTransitionDirectory(tables, root);
        QCOMPARE(dump(tables.TransitionTable),
                 (QStringList {"DEEPER: 2/0 | ", "INNER: 4/0 | ", "SIBLING: 3/0 | ",
                               "SUBTREE: 3/0 | "}));
    }

    // A link back to the data directory would load its static sets as
    // transitions; a link elsewhere lets worlds share a folder.
    void linksAboveTheDataDirectory_data()
    {
        QTest::addColumn<QString>("linkTo");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("the data directory") << "data" << QStringList {"A: 1/0 | "};
        QTest::newRow("a shared folder") << "shared" << QStringList {"A: 1/0 | ", "S: 3/0 | "};
    }

    void linksAboveTheDataDirectory()
    {
        QFETCH(QString, linkTo);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const auto define = [&](const QString &file, const QString &key, int tile) {
            TestSupport::writeFile(
                dir.filePath(file),
                QStringLiteral("<R><TransInfo HashKey='%1'><MapTiles>"
                               "<MapTile TileID='%2'/></MapTiles></TransInfo></R>")
                    .arg(key)
                    .arg(tile)
                    .toUtf8());
        };
        define(QStringLiteral("data/transitions/a/1.xml"), QStringLiteral("A"), 1);
        define(QStringLiteral("data/statics/s.xml"), QStringLiteral("D"), 2);
        define(QStringLiteral("shared/x.xml"), QStringLiteral("S"), 3);
        QVERIFY(QFile::link(dir.filePath(linkTo), dir.filePath("data/transitions/a/up")));

        MapTables tables;
        scanTransitionDirectory(tables, dir.filePath(QStringLiteral("data/transitions/")));
        QCOMPARE(dump(tables.TransitionTable), expected);
    }

    void roughEdgeFiles()
    {
        QTemporaryDir dir;
        const QString system = dir.filePath(QStringLiteral("data/system/roughedge/"));
        TestSupport::writeFile(system + QLatin1String("lefttrans.xml"),
                               "<R><TransInfo HashKey='L' File='x.xml'/></R>");
        TestSupport::writeFile(system + QLatin1String("cornertrans.xml"),
                               "<R><TransInfo HashKey='C'/></R>");
        MapTables tables;
        loadRoughEdgeTransitions(tables, dir.filePath(QStringLiteral("data")));
        QCOMPARE(tables.LeftTransitionTable.keys(), QStringList {"L"});
        QVERIFY(tables.TopTransitionTable.isEmpty());
        QCOMPARE(tables.CornerTransitionTable.keys(), QStringList {"C"});
        QVERIFY(tables.TransitionTable.isEmpty());
        QVERIFY(tables.TransitionFileTable.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTransitionLoaders)
#include "tst_transitionloaders.moc"
