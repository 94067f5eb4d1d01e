#include "bmpreader.h"

#include <QIODevice>
#include <QList>

#include <cstring>
#include <limits>

namespace {

constexpr int fileHeaderSize = 14;
constexpr quint32 coreHeaderSize = 12;

enum Compression : quint32 { Uncompressed = 0, RunLength8 = 1, RunLength4 = 2 };

quint16 little16(const QByteArray &bytes, int at)
{
    return quint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
}

quint32 little32(const QByteArray &bytes, int at)
{
    return little16(bytes, at) | quint32(little16(bytes, at + 2)) << 16;
}

// The header sizes Qt reads: the core header, the Windows headers of
// versions 3 to 5 and the OS/2 2.x header.
bool knownHeaderSize(quint32 size)
{
    return size == coreHeaderSize || size == 40 || size == 64 || size == 108 || size == 124;
}

QString truncated(qint64 size, qint64 needed)
{
    return QStringLiteral("truncated: %1 of %2 bytes").arg(size).arg(needed);
}

// Run-length data is read a byte at a time; reading the device in chunks
// keeps that cheap.
class ByteSource
{
public:
    explicit ByteSource(QIODevice &device) : m_device(device) { }

    bool next(quint8 &byte)
    {
        if (m_at == m_chunk.size()) {
            m_chunk = m_device.read(1 << 16);
            m_at = 0;
            if (m_chunk.isEmpty())
                return false;
        }
        byte = quint8(m_chunk[m_at++]);
        return true;
    }

private:
    QIODevice &m_device;
    QByteArray m_chunk;
    qsizetype m_at = 0;
};

// Decodes run-length pixels of 8 or 4 bits into image, whose rows are
// stored bottom-up unless topDown. Returns why the data is refused, or an
// empty string once every pixel is set.
QString decodeRunLength(QIODevice &device, QImage &image, int bits, bool topDown)
{
    const int width = image.width(), height = image.height();
    const auto imageRow = [&](int stored) { return topDown ? stored : height - 1 - stored; };
    const auto unset = [&](int x, int stored) {
        if (x == width) {
            x = 0;
            ++stored;
        }
        return QStringLiteral("the image data leaves pixel (%1, %2) unset")
            .arg(x)
            .arg(imageRow(stored));
    };
    const QString ended =
        QStringLiteral("truncated: the file ends at byte %1, before the end marker of the "
                       "compressed pixels")
            .arg(device.size());
    ByteSource source(device);
    int x = 0, stored = 0;
    uchar *line = image.scanLine(imageRow(0));
    quint8 count = 0, value = 0;
    for (;;) {
        if (!source.next(count) || !source.next(value))
            return ended;
        if (count > 0) {
            if (count > width - x)
                return QStringLiteral("the image data is damaged: a run passes the end of row %1")
                    .arg(imageRow(stored));
            if (bits == 8) {
                std::memset(line + x, value, count);
            } else {
                for (int i = 0; i < count; ++i)
                    line[x + i] = (i & 1) ? value & 0xf : value >> 4;
            }
            x += count;
            continue;
        }
        switch (value) {
        case 0: // end of line
            if (x < width)
                return unset(x, stored);
            x = 0;
            if (++stored == height)
                return {}; // Qt reads nothing after the last row either
            line = image.scanLine(imageRow(stored));
            break;
        case 1: // end of bitmap
            if (x < width || stored < height - 1)
                return unset(x, stored);
            return {};
        case 2: { // delta: skips pixels, which would stay unset
            quint8 right = 0, up = 0;
            if (!source.next(right) || !source.next(up))
                return ended;
            if (right > width - x || up >= height - stored)
                return QStringLiteral("the image data is damaged: a delta moves off the image");
            if (right > 0 || up > 0)
                return unset(x, stored);
            break;
        }
        default: { // a run of single pixels, padded to an even number of bytes
            if (value > width - x)
                return QStringLiteral("the image data is damaged: a run passes the end of row %1")
                    .arg(imageRow(stored));
            const int bytes = bits == 8 ? value : (value + 1) / 2;
            quint8 byte = 0;
            for (int i = 0; i < bytes; ++i) {
                if (!source.next(byte))
                    return ended;
                if (bits == 8) {
                    line[x + i] = byte;
                } else {
                    line[x + 2 * i] = byte >> 4;
                    if (2 * i + 1 < value)
                        line[x + 2 * i + 1] = byte & 0xf;
                }
            }
            if ((bytes & 1) && !source.next(byte))
                return ended;
            x += value;
        }
        }
    }
}

} // namespace

bool BmpReader::readsIndexes(QIODevice &device)
{
    const QByteArray start = device.peek(fileHeaderSize + 16);
    if (!start.startsWith("BM"))
        return false;
    const bool core =
        start.size() >= fileHeaderSize + 4 && little32(start, fileHeaderSize) == coreHeaderSize;
    const int bitsAt = fileHeaderSize + (core ? 10 : 14);
    // A file cut short before its depth is read here, to say it is truncated.
    if (start.size() < bitsAt + 2)
        return true;
    const int bits = little16(start, bitsAt);
    return bits == 4 || bits == 8;
}

QImage BmpReader::fail(const QString &reason)
{
    m_errorString = reason;
    return {};
}

QImage BmpReader::read(QIODevice &device, qint64 maximumPixels)
{
    const qint64 fileSize = device.size();
    const QByteArray fileHeader = device.read(fileHeaderSize + 4);
    if (!fileHeader.startsWith("BM"))
        return fail(QStringLiteral("not a BMP file"));
    if (fileHeader.size() < fileHeaderSize + 4)
        return fail(truncated(fileSize, fileHeaderSize + 4));
    const quint32 headerSize = little32(fileHeader, fileHeaderSize);
    if (!knownHeaderSize(headerSize))
        return fail(QStringLiteral("the header is damaged: no BMP header is %1 bytes long")
                        .arg(headerSize));
    const QByteArray header = device.read(headerSize - 4);
    if (header.size() < qsizetype(headerSize - 4))
        return fail(truncated(fileSize, fileHeaderSize + headerSize));

    int width = 0, height = 0, planes = 0, bits = 0;
    quint32 compression = Uncompressed, colorsUsed = 0;
    if (headerSize == coreHeaderSize) {
        width = qint16(little16(header, 0));
        height = qint16(little16(header, 2));
        planes = little16(header, 4);
        bits = little16(header, 6);
    } else {
        width = qint32(little32(header, 0));
        height = qint32(little32(header, 4));
        planes = little16(header, 8);
        bits = little16(header, 10);
        compression = little32(header, 12);
        colorsUsed = little32(header, 28);
    }
    if (bits != 4 && bits != 8)
        return fail(QStringLiteral("%1 bits per pixel are not read as palette indexes").arg(bits));
    if (planes != 1)
        return fail(QStringLiteral("the header is damaged: %1 colour planes").arg(planes));
    if (compression != Uncompressed && compression != (bits == 8 ? RunLength8 : RunLength4))
        return fail(QStringLiteral("compression %1 does not suit %2 bits per pixel")
                        .arg(compression)
                        .arg(bits));
    if (width == 0 || height == 0)
        return fail(QStringLiteral("the image has no pixels"));
    if (width < 0 || height == std::numeric_limits<qint32>::min())
        return fail(QStringLiteral("the header is damaged: the image is %1 x %2 pixels")
                        .arg(width)
                        .arg(height));
    // Rows are stored bottom-up unless the height is negative.
    const bool topDown = height < 0;
    height = qAbs(height);
    if (qint64(width) * height > maximumPixels)
        return fail(QStringLiteral("the image is too large: %1 x %2 is more than %3 pixels")
                        .arg(width)
                        .arg(height)
                        .arg(maximumPixels));

    const quint32 colorCount =
        headerSize == coreHeaderSize || colorsUsed == 0 ? 1u << bits : colorsUsed;
    if (colorCount > 256)
        return fail(QStringLiteral("the header is damaged: %1 palette colours").arg(colorCount));
    const int entrySize = headerSize == coreHeaderSize ? 3 : 4;
    const QByteArray entries = device.read(qint64(colorCount) * entrySize);
    const qint64 paletteEnd = fileHeaderSize + headerSize + entries.size();
    if (entries.size() < qsizetype(colorCount) * entrySize)
        return fail(truncated(fileSize, fileHeaderSize + headerSize + colorCount * entrySize));
    QList<QRgb> colors;
    for (qsizetype at = 0; at < entries.size(); at += entrySize)
        colors << qRgb(quint8(entries[at + 2]), quint8(entries[at + 1]), quint8(entries[at]));

    // As Qt does, an offset into the headers or the palette is taken to
    // mean the pixels follow the palette.
    const qint64 offset = qint32(little32(fileHeader, 10));
    const qint64 dataStart = qMax(offset, paletteEnd);
    if (offset > paletteEnd && offset >= fileSize)
        return fail(QStringLiteral("the image data is damaged: it would start at byte %1, past "
                                   "the end of the file (%2 bytes)")
                        .arg(offset)
                        .arg(fileSize));
    // Each row needs runs of at most 255 pixels, two bytes each, and an end
    // marker; uncompressed rows are padded to four bytes.
    const bool compressed = compression != Uncompressed;
    const qint64 rowBytes =
        compressed ? 2 * ((qint64(width) + 254) / 255) + 2 : (qint64(width) * bits + 31) / 32 * 4;
    const qint64 needed = dataStart + rowBytes * height;
    if (fileSize < needed)
        return fail(
            compressed
                ? QStringLiteral("truncated: %1 of at least %2 bytes").arg(fileSize).arg(needed)
                : truncated(fileSize, needed));
    if (!device.seek(dataStart))
        return fail(truncated(fileSize, needed));

    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return fail(QStringLiteral("not enough memory for the image"));
    image.setColorTable(colors);
    if (compressed) {
        const QString refused = decodeRunLength(device, image, bits, topDown);
        return refused.isEmpty() ? image : fail(refused);
    }
    QByteArray row(rowBytes, Qt::Uninitialized);
    for (int stored = 0; stored < height; ++stored) {
        if (device.read(row.data(), rowBytes) != rowBytes)
            return fail(truncated(device.pos(), needed));
        uchar *line = image.scanLine(topDown ? stored : height - 1 - stored);
        if (bits == 8) {
            std::memcpy(line, row.constData(), std::size_t(width));
        } else {
            for (int x = 0; x < width; ++x)
                line[x] = (x & 1) ? quint8(row[x / 2]) & 0xf : quint8(row[x / 2]) >> 4;
        }
    }
    return image;
}
