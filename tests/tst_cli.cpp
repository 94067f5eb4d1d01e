#include "engine/destinationlock.h"
#include "engine/edgeshape.h"
#include "engine/mappreview.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>

namespace {

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffff;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    const QByteArray body = QByteArray(type) + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return chunk + body + crc;
}

// A well-formed 8-bit palette PNG whose header claims width x height but
// whose pixel data holds a few bytes.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(width, header.data());
    qToBigEndian<quint32>(height, header.data() + 4);
    header[8] = 8; // bits per pixel
    header[9] = 3; // palette
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header)
        + pngChunk("PLTE", QByteArray(3, '\0'))
        + pngChunk("IDAT", qCompress(QByteArray(16, '\0')).mid(4)) + pngChunk("IEND", {});
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

// The command-line tool end to end, as a script would run it.
class TestCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    struct Run
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };

    Run run(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(MAPGENERATOR_CLI), arguments);
        process.waitForFinished(60000);
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    // A data directory for terrain.png whose terrains have names.
    QString writeNamedData(const QString &name)
    {
        const QString data = m_dir.filePath(name + QLatin1String("/data"));
        TestSupport::writeFile(data + QLatin1String("/system/terrain.xml"),
                               "<T><Terrain ID='0' TileID='3' Name='water'/>"
                               "<Terrain ID='5' TileID='4' Name='rock'/></T>");
        TestSupport::writeFile(data + QLatin1String("/system/altitude.xml"),
                               "<A><Altitude Key='0' Altitude='10'/></A>");
        return data;
    }

    QStringList generateArguments(const QString &dest)
    {
        return {QStringLiteral("generate"),
                QStringLiteral("--data"),
                m_dir.filePath(QStringLiteral("data")),
                QStringLiteral("--terrain"),
                m_dir.filePath(QStringLiteral("terrain.png")),
                QStringLiteral("--altitude"),
                m_dir.filePath(QStringLiteral("altitude.png")),
                QStringLiteral("--dest"),
                dest};
    }

private slots:
    void initTestCase()
    {
        const QString data = m_dir.filePath(QStringLiteral("data"));
        TestSupport::writeFile(data + QLatin1String("/system/terrain.xml"),
                               "<T><Terrain ID='0' TileID='3' Random='True'/></T>");
        TestSupport::writeFile(data + QLatin1String("/system/altitude.xml"),
                               "<A><Altitude Key='0' Altitude='10'/></A>");
        // Terrain index 5 is missing from terrain.xml in the east half.
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("terrain.png")), 16, 16,
                                       [](int x, int) { return x < 8 ? 0 : 5; });
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("altitude.png")), 16, 16,
                                       [](int, int) { return 0; });
        TestSupport::writePaletteImage(m_dir.filePath(QStringLiteral("other.png")), 16, 8,
                                       [](int, int) { return 0; });

        const QImage palette =
            TestSupport::paletteImage(16, 16, [](int x, int y) { return (x * y) % 7; });
        const QByteArray png = encoded(palette, "PNG");
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("empty.png")), {});
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("truncated.png")),
                               png.left(png.size() / 2));
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("rgb.bmp")),
                               encoded(palette.convertToFormat(QImage::Format_RGB888), "BMP"));
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("mono.png")),
                               encoded(palette.convertToFormat(QImage::Format_Mono), "PNG"));
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("huge.png")),
                               pngClaiming(40000, 40000));
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("hugest.png")),
                               pngClaiming(0x7fffffff, 0x7fffffff));
        // 54 bytes of headers, 256 colours of 4 bytes, 256 rows of 256.
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("truncated.bmp")),
                               encoded(palette.scaled(256, 256), "BMP").left(3000));
        const QByteArray pgm = encoded(palette.convertToFormat(QImage::Format_Grayscale8), "PGM");
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("truncated.pgm")), pgm.chopped(1));
        // 30 bytes claiming 46000 x 46000 pixels.
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("vast.gif")),
                               QByteArray::fromHex("474946383961b0b3b0b3000000") + ','
                                   + QByteArray::fromHex("00000000b0b3b0b300080300ffff00") + ';');
    }

    void generatesAndSummarises()
    {
        const QString dest = m_dir.filePath(QStringLiteral("out"));
        QDir().mkpath(dest);
        const Run result =
            run(generateArguments(dest) << QStringLiteral("--seed") << QStringLiteral("42"));
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains("Seed: 42"), result.err);
        QVERIFY2(result.err.contains("Map 0: 2 x 2 blocks, 256 cells, 0 statics written"),
                 result.err);
        QVERIFY2(result.err.contains(
                     "Terrain index 5 missing from terrain.xml: 128 cells, first at (8, 0)"),
                 result.err);
        QCOMPARE(QFileInfo(dest + QLatin1String("/map0.mul")).size(), 4 * 196);

        // The same seed gives the same map; a different one does not.
        const QByteArray first = TestSupport::readFile(dest + QLatin1String("/map0.mul"));
        QCOMPARE(run(generateArguments(dest) << QStringLiteral("--seed") << QStringLiteral("42"))
                     .exitCode,
                 0);
        QCOMPARE(TestSupport::readFile(dest + QLatin1String("/map0.mul")), first);
        QCOMPARE(run(generateArguments(dest) << QStringLiteral("--seed") << QStringLiteral("43"))
                     .exitCode,
                 0);
        QVERIFY(TestSupport::readFile(dest + QLatin1String("/map0.mul")) != first);
    }

    void structuresTakeEffect()
    {
        const QString dest = m_dir.filePath(QStringLiteral("structures"));
        QDir().mkpath(dest);
        // Tile 0x0203 one above the ground, one object east of the map and
        // an invisible one.
        const QString tiles = m_dir.filePath(QStringLiteral("tower.bin"));
        TestSupport::writeFile(tiles,
                               QByteArray::fromHex("00000000"
                                                   "030200000000010001000000"
                                                   "090014000000000001000000"
                                                   "040001000100000000000000"));
        const QString structures = m_dir.filePath(QStringLiteral("structures.xml"));
        TestSupport::writeFile(structures,
                               "<S><MLT><Location X='3' Y='4'/><File>" + tiles.toUtf8()
                                   + "</File></MLT></S>");

        const Run result =
            run(generateArguments(dest) << QStringLiteral("--structures") << structures
                                        << QStringLiteral("--seed") << QStringLiteral("1"));
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out,
                 QByteArray("visible flas was 1 and useInvisible is 0\n"
                            "visible flas was 1 and useInvisible is 0\n"
                            "visible flas was 0 and useInvisible is 0\n"));
        QVERIFY2(result.err.contains("Preparing structures"), result.err);
        QVERIFY2(result.err.contains("1 statics written"), result.err);
        QVERIFY2(result.err.contains("Structures: 1 placements read, 1 objects stamped, 1 objects "
                                     "dropped off the map"),
                 result.err);
        // Altitude 10 plus the record's 1.
        QCOMPARE(TestSupport::readFile(dest + QLatin1String("/statics0.mul")).toHex(),
                 QByteArray("030203040b0000"));
        QCOMPARE(TestSupport::readFile(dest + QLatin1String("/staidx0.mul")).left(12).toHex(),
                 QByteArray("000000000700000000000000"));
    }

    void quietPrintsNothing()
    {
        const QString dest = m_dir.filePath(QStringLiteral("quiet"));
        QDir().mkpath(dest);
        const Run result = run(generateArguments(dest) << QStringLiteral("--quiet"));
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(result.err, QByteArray());
    }

    // A mistyped Random, a key in lower case and a colour that terrain.xml
    // lacks: all three in one run, with file and line; and the border of
    // terrains 0 and 5, which no transition matches.
    void checkDataFindsMistakes()
    {
        const QString data = m_dir.filePath(QStringLiteral("mistakes"));
        TestSupport::writeFile(data + QLatin1String("/system/terrain.xml"),
                               "<T>\n<Terrain ID='0' TileID='3' Random='true'/>\n</T>");
        TestSupport::writeFile(data + QLatin1String("/system/altitude.xml"),
                               "<A><Altitude Key='0' Altitude='10'/></A>");
        TestSupport::writeFile(data + QLatin1String("/transitions/a/1.xml"),
                               "<R>\n<TransInfo HashKey='0a0a0a0a0a0a0a0a0a'/>\n</R>");
        const QStringList arguments {QStringLiteral("check-data"),
                                     QStringLiteral("--data"),
                                     data,
                                     QStringLiteral("--terrain"),
                                     m_dir.filePath(QStringLiteral("terrain.png")),
                                     QStringLiteral("--altitude"),
                                     m_dir.filePath(QStringLiteral("altitude.png"))};

        const Run text = run(arguments);
        QCOMPARE(text.exitCode, 1);
        QCOMPARE(text.err, QByteArray());
        const QList<QByteArray> lines = text.out.trimmed().split('\n');
        // Six patterns of four lines: down columns 7 and 8, at the top and
        // the bottom row, where the window's outer row is the cell's own.
        QCOMPARE(lines.size(), 4 + 6 * 4);
        QVERIFY2(lines[0].startsWith(data.toUtf8() + "/system/terrain.xml:2: error: Random 'true'"),
                 lines[0]);
        QVERIFY2(lines[1].startsWith(data.toUtf8()
                                     + "/transitions/a/1.xml:2: error: HashKey "
                                       "'0a0a0a0a0a0a0a0a0a' never matches"),
                 lines[1]);
        QVERIFY2(lines[2].startsWith(m_dir.filePath(QStringLiteral("terrain.png")).toUtf8()
                                     + ": error: palette index 5 is used by 128 pixels, first at "
                                       "(8, 0)"),
                 lines[2]);
        QCOMPARE(lines[3],
                 m_dir.filePath(QStringLiteral("terrain.png")).toUtf8()
                     + ": warning: no transition for the border pattern 000005000005000005 of 0 "
                       "and 5: 14 cells, first at (7, 1), keep their terrain's own tile");
        QCOMPARE(lines.mid(4, 3), (QList<QByteArray> {"    0 0 5", "    0 0 5", "    0 0 5"}));
        QVERIFY2(lines[11].contains("000000000005000005 of 0 and 5: 1 cell, first at (7, 0)"),
                 lines[11]);
        QCOMPARE(lines.last(),
                 QByteArray("3 errors, 6 warnings, 6 unmatched border patterns "
                            "(32 cells)"));

        const Run json = run(QStringList(arguments) << QStringLiteral("--json"));
        QCOMPARE(json.exitCode, 1);
        const QJsonObject report = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(report.value(QStringLiteral("errors")).toInt(), 3);
        QCOMPARE(report.value(QStringLiteral("warnings")).toInt(), 6);
        const QJsonArray problems = report.value(QStringLiteral("problems")).toArray();
        QCOMPARE(problems.size(), 9);
        QCOMPARE(report.value(QStringLiteral("unmatchedCells")).toInt(), 32);
        const QJsonArray unmatched = report.value(QStringLiteral("unmatched")).toArray();
        QCOMPARE(unmatched.size(), 6);
        QCOMPARE(unmatched[1].toObject(),
                 (QJsonObject {{"key", "000505000505000505"},
                               {"cells", 14},
                               {"first", QJsonArray {8, 1}},
                               {"terrains", QJsonArray {0, 5}}}));
        const QJsonObject key = problems[1].toObject();
        QCOMPARE(key.value(QStringLiteral("severity")).toString(), QStringLiteral("error"));
        QCOMPARE(key.value(QStringLiteral("code")).toString(), QStringLiteral("key-never-matches"));
        QCOMPARE(key.value(QStringLiteral("file")).toString(),
                 data + QLatin1String("/transitions/a/1.xml"));
        QCOMPARE(key.value(QStringLiteral("line")).toInt(), 2);
    }

    void checkDataPassesSoundData()
    {
        const Run result = run({QStringLiteral("check-data"), QStringLiteral("--data"),
                                m_dir.filePath(QStringLiteral("data"))});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("0 errors, 0 warnings\n"));
    }

    // Open transitions for every unmatched border: written once, never over
    // a file, and under transitions/ they change no byte of the map.
    void checkDataWritesOpenTransitions()
    {
        const QString data = writeNamedData(QStringLiteral("open"));
        const QStringList check {QStringLiteral("check-data"), QStringLiteral("--data"), data,
                                 QStringLiteral("--terrain"),
                                 m_dir.filePath(QStringLiteral("terrain.png"))};
        const QString skeletons = m_dir.filePath(QStringLiteral("open.xml"));
        const QStringList writeMissing = QStringList(check)
            << QStringLiteral("--write-missing") << skeletons;
        QStringList generate = generateArguments(m_dir.filePath(QStringLiteral("open")));
        generate[2] = data;
        QCOMPARE(run(generate).exitCode, 0);
        const QByteArray before = TestSupport::readFile(data + QLatin1String("/../map0.mul"));

        QCOMPARE(run(writeMissing).exitCode, 0);
        const QByteArray written = TestSupport::readFile(skeletons);
        QCOMPARE(written.count("<TransInfo "), 6);
        QVERIFY2(written.contains("       water water rock\n"), written);
        const Run again = run(writeMissing);
        QCOMPARE(again.exitCode, 1);
        QVERIFY2(again.err.contains("exists and is left as it is"), again.err);
        QCOMPARE(TestSupport::readFile(skeletons), written);

        QVERIFY(QDir().mkpath(data + QLatin1String("/transitions/open")));
        QVERIFY(QDir().rename(skeletons, data + QLatin1String("/transitions/open/open.xml")));
        const Run result = run(check);
        QCOMPARE(result.out.count("has no MapTile or StaticTile"), 6);
        QVERIFY2(result.out.endsWith("0 errors, 6 warnings, 0 unmatched border patterns (0 "
                                     "cells)\n"),
                 result.out);
        QCOMPARE(run(generate).exitCode, 0);
        QCOMPARE(TestSupport::readFile(data + QLatin1String("/../map0.mul")), before);
    }

    // An edge set expanded over the image covers its border; the files are
    // written only when none exists, and a broken edge file writes none.
    void expandEdgesWritesTransitions()
    {
        const QString data = writeNamedData(QStringLiteral("edges"));
        const QString edges = m_dir.filePath(QStringLiteral("edges.xml"));
        QByteArray shapes;
        for (int shape = 0; shape < edgeShapeCount; ++shape)
            shapes += "<" + edgeShapeName(EdgeShape(shape)).toLatin1() + " Tiles='9'/>";
        TestSupport::writeFile(edges,
                               "<E><EdgeSet Name='rock-over-water' Over='5' Under='0'>" + shapes
                                   + "</EdgeSet></E>");
        const QStringList expand {QStringLiteral("expand-edges"),
                                  QStringLiteral("--edges"),
                                  edges,
                                  QStringLiteral("--out"),
                                  data + QLatin1String("/transitions"),
                                  QStringLiteral("--terrain"),
                                  m_dir.filePath(QStringLiteral("terrain.png"))};
        Run result = run(expand);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.endsWith("6 transitions in 1 file, 0 patterns that no shape draws\n"),
                 result.out);
        result = run(expand);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("rock-over-water.xml exists; nothing written"), result.err);
        QCOMPARE(run(QStringList(expand) << QStringLiteral("--force")).exitCode, 0);
        result = run({QStringLiteral("check-data"), QStringLiteral("--data"), data,
                      QStringLiteral("--terrain"), m_dir.filePath(QStringLiteral("terrain.png"))});
        QVERIFY2(result.out.endsWith("0 unmatched border patterns (0 cells)\n"), result.out);

        TestSupport::writeFile(edges,
                               "<E>\n<EdgeSet Name='a' Over='5' Under='0'>\n<Nort/>\n"
                               "</EdgeSet>\n</E>");
        QStringList broken = expand;
        broken[4] = m_dir.filePath(QStringLiteral("nothing"));
        result = run(broken);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.out.startsWith(edges.toUtf8() + ":3: error: Nort is no shape"), result.out);
        QVERIFY(!QFileInfo::exists(broken[4]));
    }

    void verifyGeneratedAndCorrupted()
    {
        const QString dest = m_dir.filePath(QStringLiteral("verify"));
        QDir().mkpath(dest);
        QCOMPARE(run(generateArguments(dest) << QStringLiteral("--quiet")).exitCode, 0);
        const QStringList verify {QStringLiteral("verify"), QStringLiteral("--dest"), dest};
        Run result = run(verify);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("Map 0: 4 blocks, 0 statics\nOK\n"));
        result = run(QStringList(verify) << QStringLiteral("--blocks-high") << QStringLiteral("2"));
        QCOMPARE(result.out, QByteArray("Map 0: 4 blocks (2 x 2), 0 statics\nOK\n"));

        QFile index(dest + QLatin1String("/staidx0.mul"));
        QVERIFY(index.open(QIODevice::Append));
        index.write("x");
        index.close();
        result = run(verify);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.out.contains("problem: " + dest.toUtf8()
                                     + "/staidx0.mul, block 4, byte 48: its 49 bytes are not a "
                                       "whole number of 12-byte index entries"),
                 result.out);
    }

    void verifyFindsTheMap_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("extraArguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no map") << QStringList {} << QStringList {} << 1
                                << QByteArray("holds no map<N>.mul file");
        QTest::newRow("two maps") << QStringList {"map0.mul", "map2.mul"} << QStringList {} << 1
                                  << QByteArray("several maps (map0.mul, map2.mul); choose one");
        QTest::newRow("--map chooses")
            << QStringList {"map0.mul", "map2.mul"} << QStringList {"--map", "2"} << 1
            << QByteArray("staidx2.mul: does not exist");
    }

    void verifyFindsTheMap()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, extraArguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        QTemporaryDir dest;
        for (const QString &file : files)
            TestSupport::writeFile(dest.filePath(file), {});
        const Run result =
            run(QStringList {QStringLiteral("verify"), QStringLiteral("--dest"), dest.path()}
                + extraArguments);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2((result.out + result.err).contains(message), result.out + result.err);
    }

    // The east half's terrain index 5 is missing from terrain.xml, so its
    // cells carry tile id 0, which no terrain explains.
    void previewShowsUnexplainedTiles()
    {
        const QString dest = m_dir.filePath(QStringLiteral("preview"));
        QDir().mkpath(dest);
        const QString generated = m_dir.filePath(QStringLiteral("generated.png"));
        // A chunk that makes libpng warn; the terrain is read once.
        QByteArray noted = TestSupport::readFile(m_dir.filePath(QStringLiteral("terrain.png")));
        QByteArray chunk = pngChunk("tEXt", QByteArray("Note\0x", 6));
        chunk[chunk.size() - 1] = char(chunk.back() ^ 1);
        TestSupport::writeFile(m_dir.filePath(QStringLiteral("noted.png")),
                               noted.insert(33, chunk));
        QStringList arguments = generateArguments(dest) << QStringLiteral("--preview") << generated;
        arguments[4] = m_dir.filePath(QStringLiteral("noted.png"));
        const Run generate = run(arguments);
        QCOMPARE(generate.exitCode, 0);
        QCOMPARE(generate.err.count("libpng warning: tEXt: CRC error"), 1);
        QVERIFY2(generate.err.contains("Preview: " + generated.toUtf8()), generate.err);
        QCOMPARE(QImage(generated).size(), QSize(16, 16));

        const QString drawn = m_dir.filePath(QStringLiteral("drawn.png"));
        const Run result = run(
            {QStringLiteral("preview"), QStringLiteral("--dest"), dest, QStringLiteral("--data"),
             m_dir.filePath(QStringLiteral("data")), QStringLiteral("--terrain"),
             m_dir.filePath(QStringLiteral("terrain.png")), QStringLiteral("--out"), drawn,
             QStringLiteral("--scale"), QStringLiteral("2"), QStringLiteral("--unmatched")});
        QCOMPARE(result.exitCode, 0);
        // Columns 7 and 8 border each other, and no transition matches.
        QVERIFY2(result.out.contains("32 unmatched border cells in #00ffff"), result.out);
        QVERIFY2(result.out.contains("128 cells in magenta"), result.out);
        QVERIFY2(result.out.contains("tile id 0: 128 cells, first at (8, 0)"), result.out);
        const QImage image(drawn);
        QCOMPARE(image.size(), QSize(8, 8));
        QCOMPARE(image.pixel(6, 3), MapPreview::unexplainedColour);
        QVERIFY(image.pixel(1, 3) != MapPreview::unexplainedColour);
        QCOMPARE(image.pixel(3, 3), 0xff00ffffu);
        QCOMPARE(image.pixel(4, 7), 0xff00ffffu);
    }

    // Nothing is written over existing images without --force, nor from map
    // files that fail verify; the east half's tile id 0 belongs to no
    // terrain and comes back as the west half's terrain.
    void importWritesOnlyWhatItMay()
    {
        const QString dest = m_dir.filePath(QStringLiteral("import"));
        QDir().mkpath(dest);
        QCOMPARE(run(generateArguments(dest) << QStringLiteral("--quiet")).exitCode, 0);
        const QString out = m_dir.filePath(QStringLiteral("imported"));
        const QString terrain = out + QLatin1String("/terrain.png");
        TestSupport::writeFile(terrain, "painted");
        const QStringList import {QStringLiteral("import"),
                                  QStringLiteral("--dest"),
                                  dest,
                                  QStringLiteral("--data"),
                                  m_dir.filePath(QStringLiteral("data")),
                                  QStringLiteral("--out"),
                                  out,
                                  QStringLiteral("--blocks-high"),
                                  QStringLiteral("2")};
        Run result = run(import);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("terrain.png exists; nothing written. Pass --force"),
                 result.err);
        QCOMPARE(TestSupport::readFile(terrain), QByteArray("painted"));
        QVERIFY(!QFileInfo::exists(out + QLatin1String("/altitude.png")));

        result = run(QStringList(import) << QStringLiteral("--force"));
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.err.contains("tile id 0: 128 cells, first at (8, 0)"), result.err);
        QVERIFY2(result.err.contains("Round trip: 128 of 256 cells (50.00 %)"), result.err);
        QCOMPARE(QImage(terrain).pixelIndex(12, 3), 0);

        QFile index(dest + QLatin1String("/staidx0.mul"));
        QVERIFY(index.open(QIODevice::Append));
        index.write("x");
        index.close();
        QStringList elsewhere = import;
        elsewhere[6] = m_dir.filePath(QStringLiteral("not-imported"));
        result = run(elsewhere);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("the map files fail verification: " + dest.toUtf8()
                                     + "/staidx0.mul, block 4, byte 48"),
                 result.err);
        QVERIFY(!QFileInfo::exists(elsewhere[6]));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message");
        const QString dest = m_dir.filePath(QStringLiteral("failures"));
        QDir().mkpath(dest);
        const QString plainFile = m_dir.filePath(QStringLiteral("terrain.png"));

        QTest::newRow("no command") << QStringList {} << 2 << QByteArray("Usage:");
        QTest::newRow("unknown command")
            << QStringList {QStringLiteral("paint")} << 2 << QByteArray("unknown command 'paint'");
        QTest::newRow("missing option")
            << QStringList {QStringLiteral("generate"), QStringLiteral("--data"), dest} << 2
            << QByteArray("--terrain is required");
        QTest::newRow("bad seed") << (generateArguments(dest)
                                      << QStringLiteral("--seed") << QStringLiteral("-1"))
                                  << 2 << QByteArray("--seed takes a whole number");
        QStringList noData = generateArguments(dest);
        noData[2] = m_dir.filePath(QStringLiteral("nowhere"));
        QTest::newRow("data directory missing") << noData << 1 << QByteArray("does not exist");
        QStringList noTerrainTable = generateArguments(dest);
        noTerrainTable[2] = dest;
        QTest::newRow("data directory without system/terrain.xml")
            << noTerrainTable << 1
            << QByteArray("terrain.xml does not exist, so every cell would get tile id 0");
        QStringList mismatch = generateArguments(dest);
        mismatch[6] = m_dir.filePath(QStringLiteral("other.png"));
        QTest::newRow("size mismatch")
            << mismatch << 1
            << QByteArray("Size mismatch: Terrain and Altitude image files are different sizes");
        QTest::newRow("destination is a file")
            << generateArguments(plainFile) << 1 << QByteArray("terrain.png/map0.mul");
        QTest::newRow("destination empty")
            << generateArguments(QString()) << 2 << QByteArray("--dest is empty");
        const QString unwritable = m_dir.filePath(QStringLiteral("nowhere/preview.png"));
        QTest::newRow("preview cannot be written")
            << (generateArguments(dest) << QStringLiteral("--preview") << unwritable) << 1
            << "the preview cannot be written to " + unwritable.toUtf8();
        QTest::newRow("check-data without --data")
            << QStringList {QStringLiteral("check-data")} << 2 << QByteArray("--data is required");
        QTest::newRow("check-data --write-missing without --terrain")
            << QStringList {QStringLiteral("check-data"), QStringLiteral("--data"), dest,
                            QStringLiteral("--write-missing"), QStringLiteral("x.xml")}
            << 2 << QByteArray("--write-missing needs the terrain image");
        QTest::newRow("check-data of a missing directory")
            << QStringList {QStringLiteral("check-data"), QStringLiteral("--data"),
                            m_dir.filePath(QStringLiteral("nowhere"))}
            << 1 << QByteArray("does not exist");
        QTest::newRow("verify --map not a number")
            << QStringList {QStringLiteral("verify"), QStringLiteral("--dest"), dest,
                            QStringLiteral("--map"), QStringLiteral("two")}
            << 2 << QByteArray("--map takes a whole number");
        QTest::newRow("preview --scale 0")
            << QStringList {QStringLiteral("preview"),
                            QStringLiteral("--dest"),
                            dest,
                            QStringLiteral("--data"),
                            dest,
                            QStringLiteral("--terrain"),
                            plainFile,
                            QStringLiteral("--out"),
                            QStringLiteral("x.png"),
                            QStringLiteral("--scale"),
                            QStringLiteral("0")}
            << 2 << QByteArray("--scale takes a whole number of 1 or more");

        // Said before sizes are compared, whatever the other image.
        const struct
        {
            const char *tag;
            const char *file;
            const char *message;
        } images[] = {
            {"missing image", "absent.png", "absent.png: no such file"},
            {"zero-byte image", "empty.png", "empty.png: unsupported image format"},
            {"truncated PNG", "truncated.png", "truncated.png: unable to read image data"},
            {"header claims 40000 x 40000", "huge.png", "huge.png: unable to read image data"},
            {"header claims 2^31 x 2^31", "hugest.png", "hugest.png: unable to read image data"},
            // Qt leaves a half-read image behind.
            {"truncated PGM", "truncated.pgm", "truncated.pgm: unable to read image data"},
            {"truncated BMP", "truncated.bmp", "truncated.bmp: truncated: 3000 of 66614 bytes"},
            {"GIF claims 46000 x 46000", "vast.gif",
             "vast.gif: the image is too large: 46000 x 46000 is more than 536870912 pixels"},
        };
        for (const auto &image : images) {
            QStringList arguments = generateArguments(dest);
            arguments[4] = m_dir.filePath(QLatin1String(image.file));
            arguments[6] = m_dir.filePath(QStringLiteral("other.png"));
            QTest::newRow(image.tag)
                << arguments << 1 << "error: cannot read " + m_dir.filePath(image.message).toUtf8();
        }
        const struct
        {
            const char *tag;
            const char *file;
            const char *message;
        } depths[] = {
            {"24-bit image", "rgb.bmp", "rgb.bmp is 16 x 16 pixels at 32 bits per pixel"},
            {"1-bit image", "mono.png", "mono.png is 16 x 16 pixels at 1 bits per pixel"},
        };
        for (const auto &depth : depths) {
            QStringList arguments = generateArguments(dest);
            arguments[6] = m_dir.filePath(QLatin1String(depth.file));
            arguments[4] = m_dir.filePath(QStringLiteral("altitude.png"));
            QTest::newRow(depth.tag) << arguments << 1 << QByteArray(depth.message);
        }
    }

    // A placement whose tile file is a directory adds nothing, as one whose
    // tile file is missing; the pass itself runs, so this is no failure.
    void structureTileFileIsADirectory()
    {
        const QString dest = m_dir.filePath(QStringLiteral("directory-tile"));
        QDir().mkpath(dest);
        const QString structures = m_dir.filePath(QStringLiteral("directory-tile.xml"));
        TestSupport::writeFile(structures,
                               "<S><MLT><Location X='3' Y='4'/><File>" + dest.toUtf8()
                                   + "</File></MLT></S>");
        const Run result =
            run(generateArguments(dest) << QStringLiteral("--structures") << structures);
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray());
        QVERIFY2(result.err.contains("Structures: 1 placements read, 0 objects stamped, 0 objects "
                                     "dropped off the map"),
                 result.err);
        QCOMPARE(QFileInfo(dest + QLatin1String("/statics0.mul")).size(), 0);
    }

    // Another pass holds the destination: --no-wait fails at once; without
    // it the run says that it waits and goes on when the other pass ends.
    void destinationInUse()
    {
        const QString dest = m_dir.filePath(QStringLiteral("in-use"));
        QDir().mkpath(dest);
        RecordingObserver holder;
        DestinationLock other;
        QCOMPARE(other.lock(dest, false, holder), DestinationLock::Result::Locked);
        const Run refused = run(generateArguments(dest) << QStringLiteral("--no-wait"));
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("error: Another pass is writing " + dest.toUtf8()),
                 refused.err);

        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(QStringLiteral(MAPGENERATOR_CLI), generateArguments(dest));
        QByteArray err;
        while (!err.contains("waiting for another pass writing " + dest.toUtf8())) {
            QVERIFY2(process.waitForReadyRead(60000), err);
            err += process.readAllStandardError();
        }
        QVERIFY(!QFileInfo::exists(dest + QLatin1String("/map0.mul")));
        other.unlock();
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList({"map0.mul", "staidx0.mul", "statics0.mul"}));
    }

    // The pass runs without structures, as ever, but says why.
    void structureFileProblemsAreWarnings_data()
    {
        QTest::addColumn<QString>("structures");
        QTest::addColumn<QByteArray>("problem");
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("none.xml"))
                                 << QByteArray("does not exist");
        QTest::newRow("a directory") << m_dir.path() << QByteArray("is a directory");
        QTest::newRow("a device") << QStringLiteral("/dev/null")
                                  << QByteArray("is not a regular file");
    }

    void structureFileProblemsAreWarnings()
    {
        QFETCH(QString, structures);
        QFETCH(QByteArray, problem);
        const QString dest = m_dir.filePath(QStringLiteral("structure-warnings"));
        QDir().mkpath(dest);
        const Run result =
            run(generateArguments(dest) << QStringLiteral("--structures") << structures);
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.err.contains("warning: the structure file " + structures.toUtf8() + ' '
                                     + problem + "; the map gets no structures"),
                 result.err);
        QVERIFY2(result.err.contains("Structures: 0 placements read"), result.err);
    }

    void signalsAbortThePass_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("sendAfter");
        QTest::newRow("SIGINT") << int(SIGINT) << 130 << QByteArray("Seed: ");
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << QByteArray("Seed: ");
        // Stamping a sparse gigabyte of tile records takes a minute.
        QTest::newRow("SIGINT while stamping")
            << int(SIGINT) << 130 << QByteArray("Preparing structures");
    }

    // Ctrl-C or a kill while the blocks are written: the old map stays and
    // no temporary file is left.
    void signalsAbortThePass()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, sendAfter);
        // Big enough that the pass is still running when the signal arrives.
        const QString big = m_dir.filePath(QStringLiteral("big.png"));
        if (!QFileInfo::exists(big))
            TestSupport::writePaletteImage(big, 4096, 4096, [](int, int) { return 0; });
        const QString dest = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QDir().mkpath(dest);
        const QStringList names = {"map0.mul", "staidx0.mul", "statics0.mul"};
        for (const QString &name : names)
            TestSupport::writeFile(dest + QLatin1Char('/') + name, "old " + name.toUtf8());
        QStringList arguments = generateArguments(dest);
        arguments[4] = big;
        arguments[6] = big;
        if (sendAfter == "Preparing structures") {
            const QString tiles = m_dir.filePath(QStringLiteral("sparse.mul"));
            QFile sparse(tiles);
            QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(qint64(1) << 30));
            const QString structures = m_dir.filePath(QStringLiteral("sparse.xml"));
            TestSupport::writeFile(structures,
                                   "<S><MLT><File>" + tiles.toUtf8() + "</File></MLT></S>");
            arguments << QStringLiteral("--structures") << structures;
        }

        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(QStringLiteral(MAPGENERATOR_CLI), arguments);
        QByteArray err;
        // Printed once the signal handlers are in place; the pass, however
        // far it got by the time the signal lands, stops at its next block
        // column or right after its last one.
        while (!err.contains(sendAfter)) {
            QVERIFY2(process.waitForReadyRead(60000), err);
            err += process.readAllStandardError();
        }
        QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
        QVERIFY(process.waitForFinished(60000));
        err += process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY2(err.contains("error: interrupted; the previous map files in"), err);
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden, QDir::Name), names);
        for (const QString &name : names)
            QCOMPARE(TestSupport::readFile(dest + QLatin1Char('/') + name), "old " + name.toUtf8());
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("pattern");
        const QString version =
            QStringLiteral("^mapgenerator-cli \\d+\\.\\d+( \\(git [0-9a-f]{12,}\\))?\n$");
        QTest::newRow("generate --help") << QStringList {"generate", "--help"}
                                         << "^Usage: mapgenerator-cli generate \\[options\\]\n";
        QTest::newRow("--help-all is --help") << QStringList {"verify", "--help-all"}
                                              << "^Usage: mapgenerator-cli verify \\[options\\]\n";
        QTest::newRow("--version") << QStringList {"--version"} << version;
        QTest::newRow("-v") << QStringList {"-v"} << version;
    }

    // Help names the command as typed, not the path the tool was started by.
    void helpAndVersion()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, pattern);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 0);
        const QString out = QString::fromUtf8(result.out);
        QVERIFY2(QRegularExpression(pattern).match(out).hasMatch(), qPrintable(out));
        QVERIFY2(!out.contains(QLatin1String("help-all")), qPrintable(out));
    }

    void newWorldKeepsWhatIsThere_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<bool>("force");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("a painted world")
            << QStringList {"terrain.png", "data/transitions/common.xml", "notes.txt",
                            "out/map0.mul"}
            << false << 1 << QByteArray("it holds data/, notes.txt, out/ and 1 more; ");
        QTest::newRow("a hidden file")
            << QStringList {".keep"} << false << 1 << QByteArray("it holds .keep; ");
        QTest::newRow("--force") << QStringList {"terrain.png", "notes.txt"} << true << 0
                                 << QByteArray("Wrote a 16 x 16 starter world");
        QTest::newRow("empty") << QStringList {} << false << 0
                               << QByteArray("Wrote a 16 x 16 starter world");
    }

    // Without --force nothing in a directory that holds anything changes.
    void newWorldKeepsWhatIsThere()
    {
        QFETCH(QStringList, existing);
        QFETCH(bool, force);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        const QString out = m_dir.filePath(QStringLiteral("worlds/") + QTest::currentDataTag());
        QVERIFY(QDir().mkpath(out));
        for (const QString &path : existing)
            TestSupport::writeFile(out + QLatin1Char('/') + path, "painted " + path.toUtf8());
        const auto before = TestSupport::filesBelow(out);
        QStringList arguments = {"new-world", "--out", out, "--size", "16x16"};
        if (force)
            arguments << QStringLiteral("--force");
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.contains(message), result.err);
        const auto after = TestSupport::filesBelow(out);
        if (exitCode != 0) {
            QCOMPARE(after, before);
            return;
        }
        QVERIFY(after.size() > 15);
        QVERIFY(after.value("/terrain.png").startsWith("\x89PNG"));
        if (force)
            QCOMPARE(after.value("/notes.txt"), QByteArray("painted notes.txt"));
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.contains(message), result.err);
        QCOMPARE(result.out, QByteArray());
        // No failure gets as far as writing a map.
        QCOMPARE(QDir(m_dir.filePath(QStringLiteral("failures"))).entryList(QDir::Files),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
