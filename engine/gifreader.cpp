#include "gifreader.h"

#include <QIODevice>
#include <QList>

#include <array>
#include <utility>

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

// Where a frame's indexes go as they are decoded: straight into the image,
// row by row in the order the frame stores its rows.
class FrameCursor
{
public:
    FrameCursor(QImage &image, int left, int top, int width, int height, bool interlaced)
        : m_image(image),
          m_left(left),
          m_top(top),
          m_width(width),
          m_height(height),
          m_count(std::size_t(width) * std::size_t(height)),
          m_passes(interlaced ? interlacedPasses.data() : &progressivePass)
    {
        if (m_count > 0)
            m_line = m_image.scanLine(m_top) + m_left;
    }

    bool full() const { return m_written == m_count; }
    std::size_t written() const { return m_written; }
    std::size_t count() const { return m_count; }

    void put(quint8 index)
    {
        m_line[m_x] = index;
        ++m_written;
        if (++m_x < m_width || full())
            return;
        m_x = 0;
        // Every row of the frame lies in one pass, so a row is left before
        // the passes run out.
        for (m_row += m_passes[m_pass].second; m_row >= m_height;)
            m_row = m_passes[++m_pass].first;
        m_line = m_image.scanLine(m_top + m_row) + m_left;
    }

private:
    // Interlaced frames store rows 0, 8, ..., then 4, 12, ..., then 2, 6,
    // ..., then the odd rows; the first row and the step of each pass.
    static constexpr std::array<std::pair<int, int>, 4> interlacedPasses {
        {{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    static constexpr std::pair<int, int> progressivePass {0, 1};

    QImage &m_image;
    int m_left, m_top, m_width, m_height;
    std::size_t m_count;
    const std::pair<int, int> *m_passes;
    std::size_t m_written = 0;
    int m_pass = 0, m_row = 0, m_x = 0;
    uchar *m_line = nullptr;
};

enum class Decoded { Complete, Truncated, Damaged };

// Decodes GIF's variable-length LZW codes into the frame until it is full.
// Damaged on a code that no encoder can produce; Truncated when the data
// or an end code comes before the last index.
Decoded decodeLzw(const QByteArray &data, int minimumCodeSize, FrameCursor &frame)
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
    while (!frame.full()) {
        while (bitCount < codeSize && at < data.size()) {
            bits |= quint32(quint8(data[at++])) << bitCount;
            bitCount += 8;
        }
        if (bitCount < codeSize)
            return Decoded::Truncated;
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
            return Decoded::Truncated;
        if (previous < 0) {
            if (code >= clear)
                return Decoded::Damaged;
            frame.put(quint8(code));
            previous = code;
            continue;
        }
        if (code > nextCode || (code == nextCode && nextCode >= maximumCodes))
            return Decoded::Damaged;
        // A code not yet in the table stands for the previous string and
        // that string's first index.
        const bool known = code < nextCode;
        int length = 0;
        for (int c = known ? code : previous;; c = prefix[c]) {
            stack[length++] = suffix[c];
            if (c < clear)
                break;
        }
        while (length > 0 && !frame.full())
            frame.put(stack[--length]);
        const quint8 leading = known ? first[code] : first[previous];
        if (!known && !frame.full())
            frame.put(leading);
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
    return Decoded::Complete;
}

QString endsEarly(const QIODevice &device)
{
    return QStringLiteral("truncated: the file ends after %1 bytes").arg(device.size());
}

} // namespace

QImage GifReader::fail(const QString &reason)
{
    m_errorString = reason;
    return {};
}

QImage GifReader::read(QIODevice &device, qint64 maximumPixels)
{
    const QByteArray header = device.read(13);
    if (header.size() < 13 || !header.startsWith("GIF8"))
        return fail(QStringLiteral("not a GIF file"));
    const int width = little16(header, 6), height = little16(header, 8);
    const auto screenFlags = quint8(header[10]);
    const auto background = quint8(header[11]);
    if (width == 0 || height == 0)
        return fail(QStringLiteral("the image has no pixels"));
    if (qint64(width) * height > maximumPixels)
        return fail(QStringLiteral("the image is too large: %1 x %2 is more than %3 pixels")
                        .arg(width)
                        .arg(height)
                        .arg(maximumPixels));
    bool ok = true;
    QList<QRgb> colors;
    if (screenFlags & 0x80)
        colors = readColorTable(device, screenFlags, &ok);
    if (!ok)
        return fail(endsEarly(device));

    // Extensions come before the first image; they say nothing about indexes.
    char introducer = 0;
    while (device.getChar(&introducer) && introducer == '!') {
        device.read(1);
        readSubBlocks(device, &ok);
        if (!ok)
            return fail(endsEarly(device));
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
        return fail(endsEarly(device));
    if (minimumCodeSize < 2 || minimumCodeSize > 8)
        return fail(QStringLiteral("the image data is damaged"));
    const QByteArray data = readSubBlocks(device, &ok);
    if (!ok)
        return fail(endsEarly(device));
    // A code of at most 12 bits stands for at most 4096 indexes, so fewer
    // bytes cannot hold the frame; refused before the image takes memory.
    const qint64 indexes = qint64(frameWidth) * frameHeight;
    if (data.size() < (indexes * 12 + 4096 * 8 - 1) / (4096 * 8))
        return fail(QStringLiteral("truncated: %1 bytes of image data cannot hold %2 x %3 pixels")
                        .arg(data.size())
                        .arg(frameWidth)
                        .arg(frameHeight));

    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return fail(QStringLiteral("not enough memory for the image"));
    image.setColorTable(colors);
    image.fill(background);
    FrameCursor frame(image, left, top, frameWidth, frameHeight, frameFlags & 0x40);
    switch (decodeLzw(data, minimumCodeSize, frame)) {
    case Decoded::Complete:
        return image;
    case Decoded::Truncated:
        return fail(QStringLiteral("truncated: the image data holds %1 of %2 pixels")
                        .arg(frame.written())
                        .arg(frame.count()));
    case Decoded::Damaged:
        break;
    }
    return fail(QStringLiteral("the image data is damaged"));
}
