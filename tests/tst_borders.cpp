#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/bordercoverage.h"
#include "engine/edgeexpansion.h"
#include "engine/paletteimage.h"
#include "engine/passoptions.h"
#include "engine/transitionindex.h"
#include "testsupport.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

TransitionInfo tiles(QList<int> mapTiles, QList<int> staticTiles = {})
{
    TransitionInfo info;
    for (int id : mapTiles)
        info.mapTiles << TransitionTile {quint16(id), 0};
    for (int id : staticTiles)
        info.staticTiles << TransitionTile {quint16(id), 0};
    return info;
}

// The shape of a cell of the under terrain for every neighbour mask, worked
// out from its corners: mask bits are NW, N, NE, W, E, SW, S, SE from bit 0;
// row r holds masks 8 r to 8 r + 7. Mask 0 is no border.
const char *const shapeTable[32] = {
    "- OuterNW North North OuterNE North North North",
    "West West InnerNW InnerNW InnerNW InnerNW InnerNW InnerNW",
    "East InnerNE InnerNE InnerNE East InnerNE InnerNE InnerNE",
    "StripNS StripNS StripNS StripNS StripNS StripNS StripNS StripNS",
    "OuterSW West InnerNW InnerNW DiagonalNESW InnerNW InnerNW InnerNW",
    "West West InnerNW InnerNW InnerNW InnerNW InnerNW InnerNW",
    "InnerSE Full Full Full InnerSE Full Full Full",
    "StripNS StripNS StripNS StripNS StripNS StripNS StripNS StripNS",
    "South InnerSW StripEW StripEW InnerSE Full StripEW StripEW",
    "InnerSW InnerSW StripEW StripEW Full Full StripEW StripEW",
    "InnerSE Full StripEW StripEW InnerSE Full StripEW StripEW",
    "StripNS StripNS Lone Lone StripNS StripNS Lone Lone",
    "South InnerSW StripEW StripEW InnerSE Full StripEW StripEW",
    "InnerSW InnerSW StripEW StripEW Full Full StripEW StripEW",
    "InnerSE Full StripEW StripEW InnerSE Full StripEW StripEW",
    "StripNS StripNS Lone Lone StripNS StripNS Lone Lone",
    "OuterSE DiagonalNWSE InnerNE InnerNE East InnerNE InnerNE InnerNE",
    "InnerSW InnerSW Full Full Full Full Full Full",
    "East InnerNE InnerNE InnerNE East InnerNE InnerNE InnerNE",
    "StripNS StripNS StripNS StripNS StripNS StripNS StripNS StripNS",
    "South InnerSW Full Full InnerSE Full Full Full",
    "InnerSW InnerSW Full Full Full Full Full Full",
    "InnerSE Full Full Full InnerSE Full Full Full",
    "StripNS StripNS StripNS StripNS StripNS StripNS StripNS StripNS",
    "South InnerSW StripEW StripEW InnerSE Full StripEW StripEW",
    "InnerSW InnerSW StripEW StripEW Full Full StripEW StripEW",
    "InnerSE Full StripEW StripEW InnerSE Full StripEW StripEW",
    "StripNS StripNS Lone Lone StripNS StripNS Lone Lone",
    "South InnerSW StripEW StripEW InnerSE Full StripEW StripEW",
    "InnerSW InnerSW StripEW StripEW Full Full StripEW StripEW",
    "InnerSE Full StripEW StripEW InnerSE Full StripEW StripEW",
    "StripNS StripNS Lone Lone StripNS StripNS Lone Lone",
};

// Sand (1) around a water pond (0) with a lone water cell, a water strip
// one cell wide and a grass patch (2) on the pond's shore, in 16 x 16.
int pondTerrain(int x, int y)
{
    if (x >= 9 && x <= 11 && y >= 3 && y <= 5)
        return 2;
    if ((x >= 3 && x <= 9 && y >= 5 && y <= 11) || (x == 1 && y == 1) || (x == 13 && y >= 7))
        return 0;
    return 1;
}

} // namespace

// Which borders get no transition, the shapes of a border and the edge sets
// that draw them.
class TestBorders : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    // The pass itself says which cells it left alone: every definition
    // draws a tile or static that no terrain has, except one that draws
    // nothing, which still takes the cell.
    void unmatchedCellsAreThoseThePassLeavesAlone()
    {
        // Terrain 1 with a block of 2 from (3, 4) to (9, 11) and a lone 3 at
        // (13, 2), across all four blocks; terrain t has tile 10 t.
        const auto terrain = [](int x, int y) {
            return x == 13 && y == 2 ? 3 : (x >= 3 && x <= 9 && y >= 4 && y <= 11) ? 2 : 1;
        };
        const QString terrainPath = m_dir.filePath("coverage-t.png");
        const QString altitudePath = m_dir.filePath("coverage-a.png");
        TestSupport::writePaletteImage(terrainPath, 16, 16, terrain);
        TestSupport::writePaletteImage(altitudePath, 16, 16, [](int, int) { return 0; });
        MapTables tables;
        for (int i = 1; i <= 3; ++i) {
            tables.TerrainTable.insert(i, quint16(10 * i));
            tables.AltitudeTable.insert(i, 0);
        }
        tables.AltitudeTable.insert(0, 0);
        // The block's north-west corner cell; the cells east of its east
        // edge by their west neighbour; the cell south-east of the lone 3 by
        // its north-west neighbour, and the one south of it by its north
        // neighbour, with a static only.
        tables.TransitionTable.insert("010101010202010202", tiles({1001}));
        tables.LeftTransitionTable.insert("020201020201020201", tiles({2001}));
        tables.CornerTransitionTable.insert("010101010301010101", tiles({3001}));
        tables.TopTransitionTable.insert("010101010301010101", tiles({}, {4001}));
        const QString empty = "010101010102010102";
        tables.TransitionTable.insert(empty, {});
        const BorderCoverage coverage(TransitionIndex(tables), PaletteImage::load(terrainPath));

        RecordingObserver observer;
        PassOptions options;
        options.destination = m_dir.path();
        TestSupport::runPass(tables, terrainPath, altitudePath, 1, options, observer);
        const QByteArray map = TestSupport::readFile(m_dir.filePath("map0.mul"));
        const QByteArray index = TestSupport::readFile(m_dir.filePath("staidx0.mul"));
        const QByteArray statics = TestSupport::readFile(m_dir.filePath("statics0.mul"));
        QSet<QPoint> withStatics;
        QCOMPARE(index.size(), 4 * 12);
        // Byte by byte: the optimiser cannot prove the index is not empty.
        const auto int32At = [&index](int at) {
            return qint32(quint8(index[at]) | quint8(index[at + 1]) << 8
                          | quint8(index[at + 2]) << 16 | quint32(quint8(index[at + 3])) << 24);
        };
        for (int block = 0; block < 4; ++block) {
            const qint32 offset = int32At(12 * block);
            const qint32 length = int32At(12 * block + 4);
            for (qint32 at = offset; offset >= 0 && at < offset + length; at += 7)
                withStatics.insert(
                    {block / 2 * 8 + statics[at + 2], block % 2 * 8 + statics[at + 3]});
        }
        qint64 expectedCells = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const int offset = ((x / 8) * 2 + y / 8) * 196 + 4 + ((y % 8) * 8 + x % 8) * 3;
                const bool plain =
                    quint8(map[offset]) == 10 * terrain(x, y) && map[offset + 1] == 0;
                QString key;
                bool mixed = false;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const bool inside =
                            x + dx >= 0 && x + dx < 16 && y + dy >= 0 && y + dy < 16;
                        const int code = inside ? terrain(x + dx, y + dy) : terrain(x, y);
                        mixed = mixed || code != terrain(x, y);
                        key += QStringLiteral("%1").arg(code, 2, 10, QLatin1Char('0'));
                    }
                }
                const bool unmatched =
                    mixed && plain && !withStatics.contains({x, y}) && key != empty;
                expectedCells += unmatched;
                QVERIFY2(coverage.isUnmatched(x, y) == unmatched,
                         qPrintable(QStringLiteral("cell (%1, %2)").arg(x).arg(y)));
            }
        }
        QCOMPARE(coverage.unmatchedCells(), expectedCells);
        // The block's north edge inside its corners: five cells from (4, 4).
        const auto north = std::find_if(
            coverage.patterns().cbegin(), coverage.patterns().cend(),
            [](const BorderPattern &p) { return p.key.toText() == "010101020202020202"; });
        QVERIFY(north != coverage.patterns().cend());
        QCOMPARE(north->cells, 5);
        QCOMPARE(north->firstCell, QPoint(4, 4));
        QCOMPARE(north->terrains, (QList<std::uint8_t> {1, 2}));
        qint64 listed = 0;
        for (const BorderPattern &pattern : coverage.patterns())
            listed += pattern.cells;
        QCOMPARE(listed, expectedCells);
    }

    void shapeOfEveryNeighbourMask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("shape");
        for (int mask = 1; mask < 256; ++mask)
            QTest::addRow("mask %d", mask)
                << mask << QString::fromLatin1(shapeTable[mask / 8]).split(' ')[mask % 8];
    }

    void shapeOfEveryNeighbourMask()
    {
        QFETCH(int, mask);
        QFETCH(QString, shape);
        QCOMPARE(edgeShapeName(underCellShape(std::uint8_t(mask))), shape);
    }

    void rejectsMalformedEdgeFiles_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QStringList>("problems");
        const QByteArray good = "<EdgeSet Name=\"a\" Over=\"1\" Under=\"0\"><North Tiles=\"5\"/>"
                                "</EdgeSet>";
        QTest::newRow("sound") << "<E>\n" + good + "\n</E>" << QStringList {};
        QTest::newRow("broken XML")
            << QByteArray("<E>\n<EdgeSet>\n</E>") << QStringList {"3:not-well-formed"};
        QTest::newRow("misspelt edge sets")
            << QByteArray("<E><Edgeset/></E>") << QStringList {"0:no-definitions"};
        QTest::newRow("names, numbers and shapes")
            << QByteArray("<E>\n<EdgeSet Name=\"../x\" Over=\"256\" Under=\"0\" Fil=\"f\">\n"
                          "<Nort Tiles=\"1\"/>\n<East Tiles=\"1 x\"/>\n<East Tiles=\"2\"/>\n"
                          "<West AltIDMod=\"1\"/>\n</EdgeSet>\n</E>")
            << QStringList {"2:unknown-attribute", "2:bad-name",   "2:bad-number",
                            "3:unknown-shape",     "4:bad-number", "5:duplicate-shape",
                            "6:no-tiles"};
        QTest::newRow("one edge set per pair")
            << "<E>\n" + good
                + "\n<EdgeSet Name=\"A\" Over=\"0\" Under=\"1\"/>\n"
                  "<EdgeSet Name=\"c\" Over=\"2\" Under=\"2\"/>\n</E>"
            << QStringList {"3:duplicate-edge-set", "3:duplicate-edge-set", "4:same-terrain"};
    }

    void rejectsMalformedEdgeFiles()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QStringList, problems);
        const QString path = m_dir.filePath("edges.xml");
        TestSupport::writeFile(path, xml);
        const EdgeSetFile file = readEdgeSetFile(path);
        QStringList found;
        for (const DataProblem &problem : file.problems)
            found << QStringLiteral("%1:%2").arg(problem.line).arg(problem.code);
        QCOMPARE(found, problems);
        QCOMPARE(file.sets.size(), problems.isEmpty() ? 1 : 0);
    }

    // The expansion's files, loaded by the generator, leave exactly the
    // patterns it reports unmatched.
    void expansionLeavesOnlyWhatItReports()
    {
        const QString world = m_dir.filePath("pond");
        TestSupport::writePaletteImage(world + "/terrain.png", 16, 16, pondTerrain);
        // Sand over water without diagonals, strips and lone cells; grass
        // over sand with every edge but South.
        QByteArray edges = "<EdgeSets>\n<EdgeSet Name=\"sand-over-water\" Over=\"1\" Under=\"0\">";
        for (const char *shape : {"Full", "North", "East", "South", "West", "OuterNW", "OuterNE",
                                  "OuterSE", "OuterSW", "InnerNW", "InnerNE", "InnerSE", "InnerSW"})
            edges += QByteArray("<") + shape + " Tiles=\"7\"/>";
        edges += "</EdgeSet>\n<EdgeSet Name=\"grass-over-sand\" Over=\"2\" Under=\"1\">";
        for (int shape = 0; shape < edgeShapeCount; ++shape) {
            if (EdgeShape(shape) != EdgeShape::South)
                edges += "<" + edgeShapeName(EdgeShape(shape)).toLatin1() + " Tiles=\"8\"/>";
        }
        TestSupport::writeFile(world + "/edges.xml", edges + "</EdgeSet>\n</EdgeSets>");
        const EdgeSetFile file = readEdgeSetFile(world + "/edges.xml");
        QCOMPARE(file.problems.size(), 0);

        const PaletteImage terrain = PaletteImage::load(world + "/terrain.png");
        const QList<BorderPattern> patterns = BorderCoverage::allPatterns(terrain);
        const EdgeExpansion expansion = expandEdgeSets(file.sets, &patterns);
        QString error;
        QVERIFY(writeDesignerFiles(
            edgeSetFiles(file.sets, expansion, world + "/data/transitions", "edges.xml"), &error));
        MapTables tables;
        loadDataDirectory(tables, world + "/data");
        const BorderCoverage coverage(TransitionIndex(tables), terrain);

        qint64 reportedCells = 0;
        QStringList reported;
        for (const UncoveredBorders &uncovered : expansion.uncovered) {
            reportedCells += uncovered.cells;
            reported
                << QStringLiteral("%1 %2").arg(uncovered.set).arg(edgeShapeName(uncovered.shape));
        }
        // The three sand cells north of the grass need South; the water cell
        // (8, 6) meets only grass, which no edge set pairs with water.
        QCOMPARE(reported, (QStringList {"1 South", "-1 Full"}));
        QCOMPARE(reportedCells, 4);
        QCOMPARE(coverage.unmatchedCells(), reportedCells);
        // The lone water cell at (1, 1) is drawn as Full.
        const auto lone = std::find_if(
            expansion.definitions[0].cbegin(), expansion.definitions[0].cend(),
            [](const EdgeDefinition &d) { return d.key.toText() == "010101010001010101"; });
        QVERIFY(lone != expansion.definitions[0].cend());
        QCOMPARE(lone->shape, EdgeShape::Lone);
        QCOMPARE(lone->drawnAs, EdgeShape::Full);
    }
};

QTEST_GUILESS_MAIN(TestBorders)
#include "tst_borders.moc"
