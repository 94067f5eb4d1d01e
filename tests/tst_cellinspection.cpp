#include "data/datadirectory.h"
#include "data/terrainnames.h"
#include "engine/cellinspection.h"
#include "engine/mapanalysis.h"
#include "engine/mapoverlay.h"
#include "engine/passoptions.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

// A 16 x 16 map, water (0) west of x = 8 and sand (1) east of it, with one
// cell of terrain 2, which terrain.xml lacks, at (15, 15). The border's
// water cells get a general transition that two files define (the later
// one wins), its sand cells a left rough-edge transition, plain water its
// tile from common.xml; plain sand has no transition. Every definition
// lists one tile and nothing is random, so each cell's bytes are known.
class TestCellInspection : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::shared_ptr<const MapAnalysis> m_analysis;

private slots:
    void initTestCase()
    {
        const QString data = m_dir.filePath(QStringLiteral("data"));
        const auto write = [&](const char *path, const char *text) {
            TestSupport::writeFile(data + QLatin1Char('/') + QLatin1String(path), text);
        };
        write("system/terrain.xml",
              "<T><Terrain ID='0' TileID='2' Name='water'/>"
              "<Terrain ID='1' TileID='7' Name='sand'/></T>");
        write("system/altitude.xml", "<A><Altitude Key='0' Altitude='5'/></A>");
        write("system/roughedge/lefttrans.xml",
              "<R>\n<TransInfo HashKey='000001000001000001'>\n"
              "<MapTiles><MapTile TileID='500'/></MapTiles></TransInfo>\n</R>");
        write("transitions/a/x.xml",
              "<R>\n<TransInfo HashKey='000001000001000001'>"
              "<MapTiles><MapTile TileID='200'/></MapTiles></TransInfo>\n</R>");
        write(
            "transitions/b/y.xml",
            "<R>\n\n<TransInfo HashKey='000001000001000001'>"
            "<MapTiles><MapTile TileID='201' AltIDMod='1'/></MapTiles>"
            "<StaticTiles><StaticTile TileID='300' AltIDMod='2'/></StaticTiles></TransInfo>\n</R>");
        write("transitions/common.xml",
              "<R>\n<TransInfo HashKey='000000000000000000'>"
              "<MapTiles><MapTile TileID='100'/></MapTiles></TransInfo>\n</R>");
        const QString terrain = m_dir.filePath(QStringLiteral("terrain.png"));
        const QString altitude = m_dir.filePath(QStringLiteral("altitude.png"));
        TestSupport::writePaletteImage(terrain, 16, 16, [](int x, int y) {
            return x == 15 && y == 15 ? 2 : x >= 8 ? 1 : 0;
        });
        TestSupport::writePaletteImage(altitude, 16, 16, [](int, int) { return 0; });

        MapTables tables;
        QVERIFY(loadDataDirectory(tables, data));
        const MapTables loaded = tables;
        PassOptions options;
        options.destination = m_dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(options.destination));
        RecordingObserver observer;
        QCOMPARE(TestSupport::runPass(tables, terrain, altitude, 1, options, observer).outcome,
                 PassSummary::Outcome::Completed);

        auto map = std::make_shared<GeneratedMap>(loaded, PaletteImage::load(terrain),
                                                  PaletteImage::load(altitude));
        QVERIFY(map->open(options.destination, 0, 2));
        m_analysis = analyseMap(map, data, terrain, altitude, {});
    }

    void cells_data()
    {
        QTest::addColumn<QPoint>("cell");
        QTest::addColumn<int>("tile");
        QTest::addColumn<int>("z");
        QTest::addColumn<QString>("table"); // "none", "general" or "left"
        QTest::addColumn<QString>("key"); // the table's key
        QTest::addColumn<QString>("at"); // the definition's file and line
        QTest::addColumn<QString>("statics"); // "tile z hue", one each
        QTest::addColumn<bool>("unmatched");
        QTest::addColumn<bool>("missing");
        const QString uniformWater = QStringLiteral("000000000000000000");
        const QString border = QStringLiteral("000001000001000001");
        QTest::newRow("plain water")
            << QPoint(3, 3) << 100 << 5 << "general" << uniformWater << "transitions/common.xml:2"
            << "" << false << false;
        QTest::newRow("map corner: own terrain outside")
            << QPoint(0, 0) << 100 << 5 << "general" << uniformWater << "transitions/common.xml:2"
            << "" << false << false;
        QTest::newRow("water border: the later file wins")
            << QPoint(7, 3) << 201 << 6 << "general" << border << "transitions/b/y.xml:3"
            << "300 7 0" << false << false;
        QTest::newRow("sand border: rough edge before general")
            << QPoint(8, 3) << 500 << 5 << "left" << border << "system/roughedge/lefttrans.xml:2"
            << "" << false << false;
        QTest::newRow("plain sand: no transition") << QPoint(9, 3) << 7 << 5 << "none"
                                                   << ""
                                                   << ""
                                                   << "" << false << false;
        QTest::newRow("border at the map's edge: unmatched") << QPoint(8, 0) << 7 << 5 << "none"
                                                             << ""
                                                             << ""
                                                             << "" << true << false;
        QTest::newRow("terrain index the tables lack") << QPoint(15, 15) << 0 << 5 << "none"
                                                       << ""
                                                       << ""
                                                       << "" << true << true;
    }

    void cells()
    {
        QFETCH(QPoint, cell);
        QFETCH(int, tile);
        QFETCH(int, z);
        QFETCH(QString, table);
        QFETCH(QString, key);
        QFETCH(QString, at);
        QFETCH(QString, statics);
        QFETCH(bool, unmatched);
        QFETCH(bool, missing);
        const CellInspection inspection = inspectCell(
            *m_analysis->map, cell, &*m_analysis->transitions, &m_analysis->report.definitions);
        QCOMPARE(inspection.blockNumber, cell.x() / 8 * 2 + cell.y() / 8);
        QCOMPARE(int(inspection.written.tileId), tile);
        QCOMPARE(int(inspection.written.z), z);
        QVERIFY(inspection.transitionKnown);
        const std::map<QString, std::optional<TransitionKind>> tables = {
            {"none", std::nullopt},
            {"general", TransitionKind::General},
            {"left", TransitionKind::Left}};
        QCOMPARE(inspection.table, tables.at(table));
        if (inspection.table) {
            QCOMPARE(inspection.tableKey.toText(), key);
            QVERIFY(inspection.definition);
            const QString place = QDir::fromNativeSeparators(inspection.definition->file)
                + QLatin1Char(':') + QString::number(inspection.definition->line);
            QVERIFY2(place.endsWith(QLatin1String("/data/") + at), qPrintable(place));
        } else {
            QVERIFY(cellDetails(inspection, TerrainNames())
                        .contains(QStringLiteral("Tile: no transition: the terrain's own tile")));
        }
        QStringList written;
        for (const WrittenStatic &item : inspection.statics)
            written << QStringLiteral("%1 %2 %3").arg(item.tileId).arg(item.z).arg(item.hue);
        QCOMPARE(written.join(QLatin1Char(',')), statics);
        QCOMPARE(inspection.terrainDefined, !missing);

        // The overlays mark exactly these cells, at one cell a pixel.
        const QRect all(0, 0, 16, 16);
        const auto marked = [&](MapOverlay overlay) {
            const QImage image =
                drawOverlay(*m_analysis->map, overlay, all, 1, &*m_analysis->report.coverage);
            return qAlpha(image.pixel(cell)) != 0;
        };
        QCOMPARE(marked(MapOverlay::UnmatchedBorders), unmatched);
        QCOMPARE(marked(MapOverlay::MissingIndexes), missing);
        QCOMPARE(marked(MapOverlay::Statics), !statics.isEmpty());
    }

    // The check ran on the same inputs: the replaced definition and the
    // missing index are among its problems.
    void dataCheck()
    {
        QStringList codes;
        for (const DataProblem &problem : m_analysis->report.problems)
            codes << problem.code;
        QVERIFY2(codes.contains(QStringLiteral("replaced-definition")),
                 qPrintable(codes.join(' ')));
        QVERIFY(codes.contains(QStringLiteral("missing-terrain-index")));
        QVERIFY(codes.contains(QStringLiteral("unmatched-border")));
    }
};

QTEST_MAIN(TestCellInspection)
#include "tst_cellinspection.moc"
