#include "data/datadirectory.h"
#include "data/maptables.h"
#include "engine/bordercoverage.h"
#include "engine/paletteimage.h"
#include "engine/passoptions.h"
#include "engine/transitionindex.h"
#include "testsupport.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

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

} // namespace

// Which borders get no transition.
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
        for (int block = 0; block < 4; ++block) {
            const qint32 offset = qFromLittleEndian<qint32>(index.constData() + 12 * block);
            const qint32 length = qFromLittleEndian<qint32>(index.constData() + 12 * block + 4);
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
};

QTEST_GUILESS_MAIN(TestBorders)
#include "tst_borders.moc"
