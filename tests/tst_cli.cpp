#include "engine/mappreview.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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
    // lacks: all three in one run, with file and line.
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
        QCOMPARE(lines.size(), 4);
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
        QCOMPARE(lines[3], QByteArray("3 errors, 0 warnings"));

        const Run json = run(QStringList(arguments) << QStringLiteral("--json"));
        QCOMPARE(json.exitCode, 1);
        const QJsonObject report = QJsonDocument::fromJson(json.out).object();
        QCOMPARE(report.value(QStringLiteral("errors")).toInt(), 3);
        QCOMPARE(report.value(QStringLiteral("warnings")).toInt(), 0);
        const QJsonArray problems = report.value(QStringLiteral("problems")).toArray();
        QCOMPARE(problems.size(), 3);
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
        const Run generate =
            run(generateArguments(dest) << QStringLiteral("--preview") << generated);
        QCOMPARE(generate.exitCode, 0);
        QVERIFY2(generate.err.contains("Preview: " + generated.toUtf8()), generate.err);
        QCOMPARE(QImage(generated).size(), QSize(16, 16));

        const QString drawn = m_dir.filePath(QStringLiteral("drawn.png"));
        const Run result =
            run({QStringLiteral("preview"), QStringLiteral("--dest"), dest,
                 QStringLiteral("--data"), m_dir.filePath(QStringLiteral("data")),
                 QStringLiteral("--terrain"), m_dir.filePath(QStringLiteral("terrain.png")),
                 QStringLiteral("--out"), drawn, QStringLiteral("--scale"), QStringLiteral("2")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY2(result.out.contains("128 cells in magenta"), result.out);
        QVERIFY2(result.out.contains("tile id 0: 128 cells, first at (8, 0)"), result.out);
        const QImage image(drawn);
        QCOMPARE(image.size(), QSize(8, 8));
        QCOMPARE(image.pixel(6, 3), MapPreview::unexplainedColour);
        QVERIFY(image.pixel(1, 3) != MapPreview::unexplainedColour);
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
        QVERIFY2(
            result.err.contains("terrain.png exists; import replaces images only with --force"),
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
        QStringList mismatch = generateArguments(dest);
        mismatch[6] = m_dir.filePath(QStringLiteral("other.png"));
        QTest::newRow("size mismatch")
            << mismatch << 1
            << QByteArray("Size mismatch: Terrain and Altitude image files are different sizes");
        QTest::newRow("destination is a file")
            << generateArguments(plainFile) << 1 << QByteArray("terrain.png/map0.mul");
        QTest::newRow("check-data without --data")
            << QStringList {QStringLiteral("check-data")} << 2 << QByteArray("--data is required");
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

        // A file that cannot be read is a null image, so against a good one
        // the sizes differ; the reason follows.
        const struct
        {
            const char *tag;
            const char *file;
            const char *message;
        } images[] = {
            {"missing image", "absent.png", "absent.png cannot be read (File not found)"},
            {"zero-byte image", "empty.png", "empty.png cannot be read (Unsupported image format)"},
            {"truncated PNG", "truncated.png", "truncated.png cannot be read"},
            {"header claims 40000 x 40000", "huge.png", "huge.png cannot be read"},
            {"header claims 2^31 x 2^31", "hugest.png", "hugest.png cannot be read"},
        };
        for (const auto &image : images) {
            QStringList arguments = generateArguments(dest);
            arguments[4] = m_dir.filePath(QLatin1String(image.file));
            QTest::newRow(image.tag) << arguments << 1 << QByteArray(image.message);
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

    void signalsAbortThePass_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("SIGINT") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    }

    // Ctrl-C or a kill while the blocks are written: the old map stays and
    // no temporary file is left.
    void signalsAbortThePass()
    {
        QFETCH(int, signal);
        QFETCH(int, exitCode);
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

        QProcess process;
        process.setReadChannel(QProcess::StandardError);
        process.start(QStringLiteral(MAPGENERATOR_CLI), arguments);
        QByteArray err;
        // Printed once the signal handlers are in place; the pass, however
        // far it got by the time the signal lands, stops at its next block
        // column or right after its last one.
        while (!err.contains("Seed: ")) {
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

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, exitCode);
        QVERIFY2(result.err.contains(message), result.err);
        QCOMPARE(result.out, QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
