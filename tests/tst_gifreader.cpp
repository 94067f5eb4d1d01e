#include "engine/gifreader.h"
#include "testsupport.h"

#include <QHash>
#include <QImage>
#include <QTest>

namespace {

struct Frame
{
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    QList<QRgb> localColors;
};

// A GIF written the way common encoders write one: LZW with a growing code
// table, code sizes up to 12 bits and a clear code when the table is full.
// Pixels are given in display order; interlaced frames store their rows in
// interlace order.
QByteArray gif(int width, int height, const QList<QRgb> &globalColors, const Frame &frame,
               const QList<int> &pixels, int background = 0)
{
    QByteArray out = "GIF89a";
    const auto put16 = [&out](int value) {
        out.append(char(value & 0xff)).append(char(value >> 8));
    };
    const auto putTable = [&out](const QList<QRgb> &colors) {
        for (QRgb color : colors)
            out.append(char(qRed(color))).append(char(qGreen(color))).append(char(qBlue(color)));
    };
    const auto tableFlags = [](const QList<QRgb> &colors) {
        int bits = 0;
        while ((2 << bits) < colors.size())
            ++bits;
        return 0x80 | bits;
    };
    put16(width);
    put16(height);
    out.append(char(globalColors.isEmpty() ? 0 : tableFlags(globalColors)))
        .append(char(background))
        .append(char(0));
    putTable(globalColors);
    out += QByteArray::fromHex("21f9040000000000"); // a graphic control extension
    out.append(',');
    put16(frame.left);
    put16(frame.top);
    put16(frame.width);
    put16(frame.height);
    out.append(char((frame.localColors.isEmpty() ? 0 : tableFlags(frame.localColors))
                    | (frame.interlaced ? 0x40 : 0)));
    putTable(frame.localColors);

    QList<int> stored;
    if (frame.interlaced) {
        for (const auto &[start, step] : {std::pair {0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int row = start; row < frame.height; row += step)
                stored += pixels.mid(row * frame.width, frame.width);
    } else {
        stored = pixels;
    }

    const int minimumCodeSize = 8, clear = 256, end = 257;
    QByteArray data;
    quint32 bits = 0;
    int bitCount = 0, codeSize = minimumCodeSize + 1, next = clear + 2;
    QHash<QPair<int, int>, int> table;
    const auto emitCode = [&](int code) {
        bits |= quint32(code) << bitCount;
        for (bitCount += codeSize; bitCount >= 8; bitCount -= 8, bits >>= 8)
            data.append(char(bits & 0xff));
        // Grow once the next entry no longer fits.
        if (next > (1 << codeSize) - 1 && codeSize < 12)
            ++codeSize;
    };
    emitCode(clear);
    int prefix = stored.constFirst();
    for (qsizetype i = 1; i < stored.size(); ++i) {
        const int index = stored[i];
        if (const auto it = table.constFind({prefix, index}); it != table.cend()) {
            prefix = *it;
            continue;
        }
        emitCode(prefix);
        if (next < 4096) {
            table.insert({prefix, index}, next++);
        } else {
            emitCode(clear);
            table.clear();
            next = clear + 2;
            codeSize = minimumCodeSize + 1;
        }
        prefix = index;
    }
    emitCode(prefix);
    emitCode(end);
    if (bitCount > 0)
        data.append(char(bits & 0xff));

    out.append(char(minimumCodeSize));
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray chunk = data.mid(at, 255);
        out.append(char(chunk.size())).append(chunk);
    }
    return out.append(char(0)).append(';');
}

QList<QRgb> distinctColors(int count, int salt = 0)
{
    QList<QRgb> colors;
    for (int i = 0; i < count; ++i)
        colors << qRgb(i, (i * 7 + salt) & 0xff, 255 - i);
    return colors;
}

QImage readGif(const QByteArray &bytes)
{
    return TestSupport::readImage<GifReader>(bytes);
}

QList<int> indexesOf(const QImage &image)
{
    QList<int> indexes;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            indexes << image.constScanLine(y)[x];
    return indexes;
}

} // namespace

class TestGifReader : public QObject
{
    Q_OBJECT

private slots:
    void readsTheStoredIndexes_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("interlaced");
        QTest::newRow("one pixel") << 1 << 1 << false;
        QTest::newRow("codes grow to 12 bits") << 97 << 61 << false;
        QTest::newRow("table fills and clears") << 300 << 200 << false;
        QTest::newRow("interlaced") << 40 << 23 << true;
    }

    void readsTheStoredIndexes()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, interlaced);
        QList<int> pixels;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels << ((x / 3 + y * y / 7 + (x * y) % 5) % 256);
        const QList<QRgb> colors = distinctColors(256);
        const QByteArray bytes =
            gif(width, height, colors, {0, 0, width, height, interlaced, {}}, pixels);

        const QImage image = readGif(bytes);
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QCOMPARE(image.size(), QSize(width, height));
        QCOMPARE(indexesOf(image), pixels);
        // Qt's own decoder, reading colours, agrees pixel for pixel.
        const QImage decoded = QImage::fromData(bytes, "GIF").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(decoded.size(), image.size());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                QCOMPARE(decoded.pixel(x, y) | 0xff000000u, colors[pixels[y * width + x]]);
    }

    void sharedColoursKeepTheirIndexes()
    {
        // Entries 0 and 2 are both black; a colour lookup would read 2 as 0.
        const QList<QRgb> colors = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 0), qRgb(0, 255, 0)};
        const QImage image = readGif(gif(2, 2, colors, {0, 0, 2, 2, false, {}}, {2, 3, 0, 2}));
        QCOMPARE(indexesOf(image), (QList<int> {2, 3, 0, 2}));
    }

    void theLocalColourTableWins()
    {
        const QList<QRgb> local = distinctColors(4, 99);
        const QImage image =
            readGif(gif(2, 1, distinctColors(4), {0, 0, 2, 1, false, local}, {0, 1}));
        QCOMPARE(indexesOf(image), (QList<int> {0, 1}));
        QCOMPARE(image.colorTable(), local);
    }

    void cellsOutsideTheFrameTakeTheBackground()
    {
        const QImage image =
            readGif(gif(4, 3, distinctColors(8), {1, 1, 2, 1, false, {}}, {5, 6}, 7));
        QCOMPARE(indexesOf(image), (QList<int> {7, 7, 7, 7, 7, 5, 6, 7, 7, 7, 7, 7}));
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const QByteArray good =
            gif(8, 8, distinctColors(4), {0, 0, 8, 8, false, {}}, QList<int>(64, 1));
        QTest::newRow("not a GIF") << QByteArray("PNG not really") << "not a GIF file";
        QTest::newRow("truncated table")
            << good.left(20) << "truncated: the file ends after 20 bytes";
        QTest::newRow("truncated data")
            << good.left(good.size() - 6)
            << QStringLiteral("truncated: the file ends after %1 bytes").arg(good.size() - 6);
        QTest::newRow("end code before the last index")
            << gif(8, 8, distinctColors(4), {0, 0, 8, 8, false, {}}, QList<int>(10, 1))
            << "truncated: the image data holds 10 of 64 pixels";
        QByteArray huge = good;
        huge[6] = huge[7] = huge[8] = huge[9] = char(0xff);
        QTest::newRow("65535 x 65535")
            << huge << "the image is too large: 65535 x 65535 is more than 1073741824 pixels";
        // 20000 x 20000 indexes need at least 146485 bytes of codes.
        QByteArray vast = QByteArray::fromHex("474946383961204e204e000000") + ','
            + QByteArray::fromHex("00000000204e204e00") + QByteArray::fromHex("080300ffff00") + ';';
        QTest::newRow("20000 x 20000 in 30 bytes")
            << vast << "truncated: 3 bytes of image data cannot hold 20000 x 20000 pixels";
        // Found by fuzzing: a frame of 65535 x 65535 on a small screen.
        QTest::newRow("frame larger than the screen")
            << QByteArray::fromBase64("R0lGODlhBAADAIIAAAAAAAAAAAAAAAATAAAAAAAAAAAAAAAAACH5BAAAAAAA"
                                      "LAMAAQAA8wT8AAgPAAEEEDVggIAAHwAAABgQADs=")
            << "the image data is damaged";
    }

    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QString seen;
        QVERIFY(TestSupport::readImage<GifReader>(bytes, &seen).isNull());
        QCOMPARE(seen, error);
    }
};

QTEST_GUILESS_MAIN(TestGifReader)
#include "tst_gifreader.moc"
