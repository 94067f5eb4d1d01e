#include "engine/bmpreader.h"
#include "testsupport.h"

#include <QBuffer>
#include <QImageReader>
#include <QTest>

namespace {

// A BMP file of 3 x 2 pixels unless told otherwise; pixels are the stored
// bytes, rows bottom-up for a positive height. Palette entry i is
// (i, 255 - i, 3i).
QByteArray bmp(const QByteArray &pixels, int bits = 8, int compression = 0, int headerSize = 40,
               int colorsUsed = 0, int gap = 0, int width = 3, int height = 2)
{
    QByteArray info;
    const auto put = [&info](qint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            info.append(char(value >> (8 * i)));
    };
    const bool core = headerSize == 12;
    put(headerSize, 4);
    put(width, core ? 2 : 4);
    put(height, core ? 2 : 4);
    put(1, 2);
    put(bits, 2);
    if (!core) {
        put(compression, 4);
        info += QByteArray(12, 0);
        put(colorsUsed, 4);
        info += QByteArray(headerSize - 36, 0);
    }
    for (int i = 0; i < (colorsUsed ? colorsUsed : 1 << bits); ++i)
        info.append(char(3 * i)).append(char(255 - i)).append(char(i)).append(core ? 0 : 1, 0);
    info += QByteArray(gap, 'x');
    QByteArray file = "BM";
    const qint64 offset = 14 + info.size();
    for (const qint64 value : {offset + pixels.size(), qint64(0), offset})
        file.append(QByteArray::fromRawData(reinterpret_cast<const char *>(&value), 4));
    return file + info + pixels;
}

QByteArray indexesOf(const QImage &image)
{
    QByteArray indexes;
    for (int y = 0; y < image.height(); ++y)
        indexes.append(reinterpret_cast<const char *>(image.constScanLine(y)), image.width());
    return indexes.toHex();
}

} // namespace

class TestBmpReader : public QObject
{
    Q_OBJECT

private slots:
    void readsWhatQtReads_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("indexes");
        const QByteArray rows = QByteArray::fromHex("04050600010203ff");
        QTest::newRow("8 bits") << bmp(rows) << QByteArray("010203040506");
        QTest::newRow("top-down") << bmp(rows, 8, 0, 40, 0, 0, 3, -2) << QByteArray("040506010203");
        QTest::newRow("core header") << bmp(rows, 8, 0, 12) << QByteArray("010203040506");
        QTest::newRow("version 5 header, 16 colours used")
            << bmp(rows, 8, 0, 124, 16) << QByteArray("010203040506");
        QTest::newRow("pixels after a gap")
            << bmp(rows, 8, 0, 40, 0, 6) << QByteArray("010203040506");
        QByteArray early = bmp(rows);
        // An offset into the palette: Qt reads on after the palette.
        early.replace(10, 4, QByteArray::fromHex("14000000"));
        QTest::newRow("offset before the palette's end") << early << QByteArray("010203040506");
        QTest::newRow("4 bits") << bmp(QByteArray::fromHex("4560000012300000"), 4)
                                << QByteArray("010203040506");
        // A run, an end of line, three single pixels and their padding, the end.
        const QByteArray rle8 = QByteArray::fromHex("0307 0000 0003010203 00 0001");
        QTest::newRow("RLE8") << bmp(rle8, 8, 1) << QByteArray("010203070707");
        QTest::newRow("RLE4") << bmp(QByteArray::fromHex("0389 0000 00031230 0001"), 4, 2)
                              << QByteArray("010203080908");
        QTest::newRow("RLE8 ending on its last end of line")
            << bmp(QByteArray::fromHex("0307 0000 0305 0000"), 8, 1) << QByteArray("050505070707");
    }

    void readsWhatQtReads()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, indexes);
        QString error;
        const QImage image = TestSupport::readImage<BmpReader>(file, &error);
        QVERIFY2(!image.isNull(), qPrintable(error));
        QCOMPARE(image.format(), QImage::Format_Indexed8);
        QCOMPARE(indexesOf(image), indexes);
        QCOMPARE(image.colorTable().value(5), qRgb(5, 250, 15));
        QBuffer buffer(&file);
        const QImage qt = QImageReader(&buffer, "bmp").read();
        QCOMPARE(indexesOf(qt), indexes);
        QCOMPARE(image.colorTable(), qt.colorTable());
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("truncated rows")
            << bmp(QByteArray(65536, 1), 8, 0, 40, 0, 0, 256, 256).left(3000)
            << "truncated: 3000 of 66614 bytes";
        const auto rle = [](const char *hex) { return bmp(QByteArray::fromHex(hex), 8, 1); };
        QTest::newRow("no end marker") << rle("0107 0107 0107 0000 0301")
                                       << "truncated: the file ends at byte 1088, "
                                          "before the end marker of the compressed pixels";
        QTest::newRow("delta off the image")
            << rle("0107 00020500 0000 0301 0001")
            << "the image data is damaged: a delta moves off the image";
        QTest::newRow("delta skipping pixels") << rle("0107 00020100 0107 0000 0301 0001")
                                               << "the image data leaves pixel (1, 1) unset";
        QTest::newRow("run past the row")
            << rle("0207 0207 0000 0301 0001")
            << "the image data is damaged: a run passes the end of row 1";
        QTest::newRow("row ending early")
            << rle("0207 0000 0301 0000 0001") << "the image data leaves pixel (2, 1) unset";
        QTest::newRow("end marker too early")
            << rle("0307 0000 0101 0001 0000") << "the image data leaves pixel (1, 0) unset";
        QByteArray far = bmp(QByteArray::fromHex("04050600010203ff"));
        far.replace(10, 4, QByteArray::fromHex("a0860100"));
        QTest::newRow("data offset past the end")
            << far
            << "the image data is damaged: it would start at byte 100000, past the end of "
               "the file (1086 bytes)";
        QTest::newRow("compressed data too short")
            << bmp(QByteArray::fromHex("0000 0000 0000 0000 0001"), 8, 1, 40, 0, 0, 1000, 1000)
            << "truncated: 1088 of at least 11078 bytes";
        QTest::newRow("65535 x 65535") << bmp({}, 8, 0, 40, 0, 0, 65535, 65535)
                                       << "the image is too large: 65535 x 65535 is more than "
                                          "1073741824 pixels";
    }

    void damagedFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        QString seen;
        QVERIFY(TestSupport::readImage<BmpReader>(file, &seen).isNull());
        QCOMPARE(seen, error);
    }
};

QTEST_GUILESS_MAIN(TestBmpReader)
#include "tst_bmpreader.moc"
