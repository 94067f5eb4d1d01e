#include "gifreader.h"

#include <QIODevice>
#include <QList>

#include <array>
#include <vector>

namespace {

constexpr int maximumCodes = 4096;

QList<QRgb> readColorTable(QIODevice &device, quint8 flags, bool *ok)
{
    const int entries = 2 << (flags & 7);
    const QByteArray bytes = device.read(3 * entries);
    *ok = bytes.size() == 3 * entries;
    QList<QRgb> colors;
    for (qsizetype i = 0; i + 2 < bytes.size(); i += 3)
        colors << qRgb(quint8(bytes[i]), quint8(bytes[i + 1]), quint8(bytes[i + 2]));
    return colors;
}

// The data sub-blocks that follow, joined; empty and *ok false when the file
// ends before their terminator.
QByteArray readSubBlocks(QIODevice &device, bool *ok)
{
    QByteArray data;
    char length = 0;
    while (device.getChar(&length)) {
        if (length == 0) {
            *ok = true;
            return data;
        }
        const QByteArray block = device.read(quint8(length));
        if (block.size() != quint8(length))
            break;
        data += block;
    }
    *ok = false;
    return {};
}

int little16(const QByteArray &bytes, int at)
{
    return quint8(bytes[at]) | quint8(bytes[at + 1]) << 8;
}

// Decodes GIF's variable-length LZW codes into at most count indexes.
// Returns false on a code that no encoder can produce.
bool decodeLzw(const QByteArray &data, int minimumCodeSize, std::vector<quint8> &indexes,
               std::size_t count)
{
    const int clear = 1 << minimumCodeSize, end = clear + 1;
    std::array<quint16, maximumCodes> prefix {};
    std::array<quint8, maximumCodes> suffix {};
    std::array<quint8, maximumCodes> first {};
    std::array<quint8, maximumCodes> stack {};
    for (int code = 0; code < clear; ++code) {
        suffix[code] = quint8(code);
        first[code] = quint8(code);
    }
    int codeSize = minimumCodeSize + 1, nextCode = clear + 2, previous = -1;
    quint32 bits = 0;
    int bitCount = 0;
    qsizetype at = 0;
    while (indexes.size() < count) {
        while (bitCount < codeSize && at < data.size()) {
            bits |= quint32(quint8(data[at++])) << bitCount;
            bitCount += 8;
        }
        if (bitCount < codeSize)
            return true; // the data ended early; the rest keeps index 0
        const int code = int(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;
        if (code == clear) {
            codeSize = minimumCodeSize + 1;
            nextCode = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end)
            return true;
        if (previous < 0) {
            if (code >= clear)
                return false;
            indexes.push_back(quint8(code));
            previous = code;
            continue;
        }
        if (code > nextCode || (code == nextCode && nextCode >= maximumCodes))
            return false;
        // A code not yet in the table stands for the previous string and
        // that string's first index.
        const bool known = code < nextCode;
        int length = 0;
        for (int c = known ? code : previous;; c = prefix[c]) {
            stack[length++] = suffix[c];
            if (c < clear)
                break;
        }
        while (length > 0 && indexes.size() < count)
            indexes.push_back(stack[--length]);
        const quint8 leading = known ? first[code] : first[previous];
        if (!known && indexes.size() < count)
            indexes.push_back(leading);
        if (nextCode < maximumCodes) {
            prefix[nextCode] = quint16(previous);
            suffix[nextCode] = leading;
            first[nextCode] = first[previous];
            ++nextCode;
            if (nextCode == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
        previous = code;
    }
    return true;
}

} // namespace

QImage GifReader::fail(const QString &reason)
{
    m_errorString = reason;
    return {};
}

QImage GifReader::read(QIODevice &device, qint64 maximumBytes)
{
    const QByteArray header = device.read(13);
    if (header.size() < 13 || !header.startsWith("GIF8"))
        return fail(QStringLiteral("not a GIF file"));
    const int width = little16(header, 6), height = little16(header, 8);
    const auto screenFlags = quint8(header[10]);
    const auto background = quint8(header[11]);
    if (width == 0 || height == 0)
        return fail(QStringLiteral("the image has no pixels"));
    if (qint64(width) * height > maximumBytes)
        return fail(QStringLiteral("the image is too large"));
    bool ok = true;
    QList<QRgb> colors;
    if (screenFlags & 0x80)
        colors = readColorTable(device, screenFlags, &ok);
    if (!ok)
        return fail(QStringLiteral("the file is truncated"));

    // Extensions come before the first image; they say nothing about indexes.
    char introducer = 0;
    while (device.getChar(&introducer) && introducer == '!') {
        device.read(1);
        readSubBlocks(device, &ok);
        if (!ok)
            return fail(QStringLiteral("the file is truncated"));
    }
    const QByteArray descriptor = device.read(9);
    if (introducer != ',' || descriptor.size() < 9)
        return fail(QStringLiteral("the file holds no image"));
    const int left = little16(descriptor, 0), top = little16(descriptor, 2);
    const int frameWidth = little16(descriptor, 4), frameHeight = little16(descriptor, 6);
    const auto frameFlags = quint8(descriptor[8]);
    // A frame reaching past the logical screen is damaged; refusing it also
    // bounds the memory the frame takes by the screen's.
    if (left + frameWidth > width || top + frameHeight > height)
        return fail(QStringLiteral("the image data is damaged"));
    if (frameFlags & 0x80)
        colors = readColorTable(device, frameFlags, &ok);
    char minimumCodeSize = 0;
    if (!ok || !device.getChar(&minimumCodeSize))
        return fail(QStringLiteral("the file is truncated"));
    if (minimumCodeSize < 2 || minimumCodeSize > 8)
        return fail(QStringLiteral("the image data is damaged"));
    const QByteArray data = readSubBlocks(device, &ok);
    if (!ok)
        return fail(QStringLiteral("the file is truncated"));

    std::vector<quint8> indexes;
    const std::size_t count = std::size_t(frameWidth) * frameHeight;
    indexes.reserve(count);
    if (!decodeLzw(data, minimumCodeSize, indexes, count))
        return fail(QStringLiteral("the image data is damaged"));
    indexes.resize(count, 0);

    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return fail(QStringLiteral("not enough memory for the image"));
    image.setColorTable(colors);
    image.fill(background);
    // Interlaced frames store rows 0, 8, ..., then 4, 12, ..., then 2, 6,
    // ..., then the odd rows.
    std::vector<int> rows;
    rows.reserve(std::size_t(frameHeight));
    if (frameFlags & 0x40) {
        for (const auto &[start, step] : {std::pair {0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (int row = start; row < frameHeight; row += step)
                rows.push_back(row);
    } else {
        for (int row = 0; row < frameHeight; ++row)
            rows.push_back(row);
    }
    for (int stored = 0; stored < frameHeight; ++stored) {
        const int y = top + rows[std::size_t(stored)];
        if (y >= height)
            continue;
        uchar *line = image.scanLine(y);
        const quint8 *source = indexes.data() + std::size_t(stored) * frameWidth;
        for (int x = 0; x < frameWidth && left + x < width; ++x)
            line[left + x] = source[x];
    }
    return image;
}
