#include "data/maptables.h"
#include "engine/mappreview.h"
#include "engine/tileterrains.h"
#include "testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <functional>

namespace {

using TestSupport::Cell;
using TestSupport::CellFunction;
using TestSupport::writeMap;

QList<QRgb> blackPalette()
{
    return QList<QRgb>(256, qRgb(0, 0, 0));
}

// "terrain INDEX TILE" or "general|left|top|corner KEY TILE" (a map tile)
// or "static KEY TILE" (a static tile of a general definition).
MapTables tablesFrom(const QStringList &entries)
{
    MapTables tables;
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(QLatin1Char(' '));
        const auto tile = static_cast<std::uint16_t>(parts[2].toUInt());
        if (parts[0] == QLatin1String("terrain")) {
            tables.TerrainTable.insert(static_cast<std::uint8_t>(parts[1].toUInt()), tile);
            continue;
        }
        const TransitionKind kind = parts[0] == QLatin1String("left") ? TransitionKind::Left
            : parts[0] == QLatin1String("top")                        ? TransitionKind::Top
            : parts[0] == QLatin1String("corner")                     ? TransitionKind::Corner
                                                                      : TransitionKind::General;
        TransitionInfo &info = tables.transitionTable(kind)[parts[1]];
        (parts[0] == QLatin1String("static") ? info.staticTiles : info.mapTiles).append({tile, 0});
    }
    return tables;
}

} // namespace

Q_DECLARE_METATYPE(CellFunction)

// preview: which terrain a tile shows, and how the map files become a picture.
class TestMapPreview : public QObject
{
    Q_OBJECT

private slots:
    void tileTerrains_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("tileId");
        QTest::addColumn<int>("terrain");

        QTest::newRow("a terrain's own tile") << QStringList {"terrain 5 100"} << 100 << 5;
        QTest::newRow("general: the centre")
            << QStringList {"general 000000000700000000 200"} << 200 << 7;
        QTest::newRow("left: the east code")
            << QStringList {"left 000000000409000000 300"} << 300 << 9;
        QTest::newRow("top: the south code")
            << QStringList {"top 000000000400000A00 301"} << 301 << 10;
        QTest::newRow("corner: the south-east code")
            << QStringList {"corner 00000000040000000B 302"} << 302 << 11;
        QTest::newRow("a key that never matches")
            << QStringList {"general 00000000070000000a 400"} << 400 << -1;
        QTest::newRow("static tiles are no land")
            << QStringList {"static 000000000700000000 401"} << 401 << -1;
        QTest::newRow("own tile before transitions")
            << QStringList {"general 000000000200000000 500", "terrain 1 500"} << 500 << 1;
        QTest::newRow("the terrain that uses it most")
            << QStringList {"general 000000000200000000 600", "general 000000000300000000 600",
                            "general 000000000301000000 600"}
            << 600 << 3;
        QTest::newRow("a tie goes to the lower index")
            << QStringList {"general 000000000600000000 700", "general 000000000500000000 700"}
            << 700 << 5;
        QTest::newRow("two terrains, one tile")
            << QStringList {"terrain 8 800", "terrain 4 800"} << 800 << 4;
        QTest::newRow("unexplained") << QStringList {"terrain 1 1"} << 2 << -1;
    }

    void tileTerrains()
    {
        QFETCH(QStringList, entries);
        QFETCH(int, tileId);
        QFETCH(int, terrain);
        QCOMPARE(TileTerrains(tablesFrom(entries)).terrainOf(std::uint16_t(tileId)), terrain);
    }

    void coloursStaticsAndUnexplainedTiles()
    {
        QTemporaryDir dir;
        // Flat land of tile 100 (terrain 5); tiles 999 and 998 belong to no
        // terrain; one static at (3, 4).
        writeMap(dir.path(), 1, 1,
                 [](int x, int y) {
                     if (y == 1 && x >= 6)
                         return Cell {999, 7};
                     if (x == 0 && y == 7)
                         return Cell {998, 7};
                     return Cell {100, 7};
                 },
                 {QPoint(3, 4)});
        QList<QRgb> palette = blackPalette();
        palette[5] = qRgb(200, 100, 50);
        const MapPreview preview = renderMapPreview(
            dir.path(), 0, 1, TileTerrains(tablesFrom({"terrain 5 100"})), palette, 1);
        QVERIFY2(!preview.image.isNull(), qPrintable(preview.errorText));
        QCOMPARE(preview.image.size(), QSize(8, 8));
        QCOMPARE(preview.image.pixel(0, 0), qRgb(200, 100, 50));
        QCOMPARE(preview.image.pixel(5, 5), qRgb(200, 100, 50));
        const QRgb dot = preview.image.pixel(3, 4);
        QVERIFY(qRed(dot) < 200 && qGreen(dot) < 100 && qBlue(dot) < 50);
        QCOMPARE(preview.cellsWithStatics, 1);
        QCOMPARE(preview.image.pixel(6, 1), MapPreview::unexplainedColour);
        QCOMPARE(preview.image.pixel(7, 1), MapPreview::unexplainedColour);
        QCOMPARE(preview.image.pixel(0, 7), MapPreview::unexplainedColour);
        QCOMPARE(preview.unexplainedTiles.size(), 2);
        QCOMPARE(preview.unexplainedTiles[0].tileId, 998);
        QCOMPARE(preview.unexplainedTiles[0].cells, 1);
        QCOMPARE(preview.unexplainedTiles[0].firstCell, QPoint(0, 7));
        QCOMPARE(preview.unexplainedTiles[1].tileId, 999);
        QCOMPARE(preview.unexplainedTiles[1].cells, 2);
        QCOMPARE(preview.unexplainedTiles[1].firstCell, QPoint(6, 1));
    }

    // Block b (column by column) has tile 10 + b of terrain b, whose
    // colour has red 10 * (b + 1); a static stands in the last cell.
    void blockLayout_data()
    {
        QTest::addColumn<int>("blocksWide");
        QTest::addColumn<int>("blocksHigh");
        QTest::newRow("2 x 1") << 2 << 1;
        QTest::newRow("1 x 2") << 1 << 2;
        QTest::newRow("2 x 3") << 2 << 3;
    }

    void blockLayout()
    {
        QFETCH(int, blocksWide);
        QFETCH(int, blocksHigh);
        QTemporaryDir dir;
        const int width = 8 * blocksWide, height = 8 * blocksHigh;
        writeMap(dir.path(), blocksWide, blocksHigh,
                 [&](int x, int y) {
                     return Cell {10 + x / 8 * blocksHigh + y / 8, 0};
                 },
                 {QPoint(width - 1, height - 1)});
        QStringList entries;
        QList<QRgb> palette = blackPalette();
        for (int block = 0; block < blocksWide * blocksHigh; ++block) {
            entries << QStringLiteral("terrain %1 %2").arg(block).arg(10 + block);
            palette[block] = qRgb(10 * (block + 1), 0, 0);
        }
        const MapPreview preview = renderMapPreview(dir.path(), 0, blocksHigh,
                                                    TileTerrains(tablesFrom(entries)), palette, 1);
        QVERIFY2(!preview.image.isNull(), qPrintable(preview.errorText));
        QCOMPARE(preview.image.size(), QSize(width, height));
        QCOMPARE(preview.blocksWide, blocksWide);
        QCOMPARE(preview.blocksHigh, blocksHigh);
        for (int bx = 0; bx < blocksWide; ++bx) {
            for (int by = 0; by < blocksHigh; ++by) {
                const int expectedRed = 10 * (bx * blocksHigh + by + 1);
                QCOMPARE(qRed(preview.image.pixel(bx * 8, by * 8)), expectedRed);
                QCOMPARE(qRed(preview.image.pixel(bx * 8 + 6, by * 8 + 7)), expectedRed);
            }
        }
        QVERIFY(qRed(preview.image.pixel(width - 1, height - 1)) < 10 * blocksWide * blocksHigh);
        QCOMPARE(preview.cellsWithStatics, 1);
    }

    // Columns 0 to 2 red, 3 to 7 blue; a pixel is the mean of its cells.
    void scale_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("2: all red") << 2 << QSize(4, 4) << QPoint(0, 0) << qRgb(200, 0, 0);
        QTest::newRow("2: half and half") << 2 << QSize(4, 4) << QPoint(1, 3) << qRgb(100, 0, 100);
        QTest::newRow("2: all blue") << 2 << QSize(4, 4) << QPoint(3, 3) << qRgb(0, 0, 200);
        QTest::newRow("3: all red") << 3 << QSize(3, 3) << QPoint(0, 1) << qRgb(200, 0, 0);
        QTest::newRow("3: the last, partial pixel")
            << 3 << QSize(3, 3) << QPoint(2, 2) << qRgb(0, 0, 200);
        QTest::newRow("8: the whole block") << 8 << QSize(1, 1) << QPoint(0, 0) << qRgb(75, 0, 125);
    }

    void scale()
    {
        QFETCH(int, scale);
        QFETCH(QSize, size);
        QFETCH(QPoint, pixel);
        QFETCH(QRgb, colour);
        QTemporaryDir dir;
        writeMap(dir.path(), 1, 1, [](int x, int) { return Cell {x < 3 ? 1 : 2, 0}; });
        QList<QRgb> palette = blackPalette();
        palette[1] = qRgb(200, 0, 0);
        palette[2] = qRgb(0, 0, 200);
        const MapPreview preview = renderMapPreview(
            dir.path(), 0, 1, TileTerrains(tablesFrom({"terrain 1 1", "terrain 2 2"})), palette,
            scale);
        QCOMPARE(preview.image.size(), size);
        QCOMPARE(preview.image.pixel(pixel), colour);
    }

    // Light comes from the north-west: land that rises towards the east or
    // the south faces it.
    void shading_data()
    {
        QTest::addColumn<CellFunction>("land");
        QTest::addColumn<int>("brightness"); // -1 darker than flat, 0 as flat, 1 brighter
        QTest::newRow("flat") << CellFunction([](int, int) { return Cell {1, 20}; }) << 0;
        QTest::newRow("rising east") << CellFunction([](int x, int) {
            return Cell {1, 4 * x};
        }) << 1;
        QTest::newRow("rising west") << CellFunction([](int x, int) {
            return Cell {1, -4 * x};
        }) << -1;
        QTest::newRow("rising south") << CellFunction([](int, int y) {
            return Cell {1, 4 * y};
        }) << 1;
        QTest::newRow("rising north") << CellFunction([](int, int y) {
            return Cell {1, -4 * y};
        }) << -1;
    }

    void shading()
    {
        QFETCH(CellFunction, land);
        QFETCH(int, brightness);
        QTemporaryDir dir;
        writeMap(dir.path(), 1, 1, land);
        QList<QRgb> palette = blackPalette();
        palette[1] = qRgb(100, 100, 100);
        const MapPreview preview = renderMapPreview(
            dir.path(), 0, 1, TileTerrains(tablesFrom({"terrain 1 1"})), palette, 1);
        const int green = qGreen(preview.image.pixel(4, 4));
        QCOMPARE(green > 100 ? 1 : green < 100 ? -1 : 0, brightness);
    }

    void refusesWhatItCannotDraw()
    {
        QTemporaryDir dir;
        writeMap(dir.path(), 1, 1, [](int, int) { return Cell {1, 0}; });
        const TileTerrains terrains(tablesFrom({"terrain 1 1"}));
        // Map 0 does not say its height.
        MapPreview preview = renderMapPreview(dir.path(), 0, 0, terrains, blackPalette(), 1);
        QVERIFY(preview.image.isNull());
        QVERIFY2(preview.errorText.contains(QLatin1String("not known")),
                 qPrintable(preview.errorText));

        QFile map(dir.filePath(QStringLiteral("map0.mul")));
        QVERIFY(map.open(QIODevice::Append));
        map.write("x");
        map.close();
        preview = renderMapPreview(dir.path(), 0, 1, terrains, blackPalette(), 1);
        QVERIFY(preview.image.isNull());
        QVERIFY2(preview.errorText.contains(QLatin1String("fail verification")),
                 qPrintable(preview.errorText));
    }
};

QTEST_GUILESS_MAIN(TestMapPreview)
#include "tst_mappreview.moc"
