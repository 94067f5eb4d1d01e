#include "paletteimage.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>

namespace {
// Megabytes an image may take once decoded. The largest maps are far below
// this; Qt's default of 256 would refuse maps above 16384 x 16384.
constexpr int allocationLimitMegabytes = 2048;

// The colour table of a GIF file: the global one, else the first image's
// local one. Empty when the file has neither.
QList<QRgb> gifColorTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray header = file.read(13);
    if (header.size() < 13)
        return {};
    const auto readTable = [&file](quint8 flags) {
        const int entries = 2 << (flags & 7);
        const QByteArray bytes = file.read(3 * entries);
        QList<QRgb> colors;
        for (qsizetype i = 0; i + 2 < bytes.size(); i += 3)
            colors << qRgb(quint8(bytes[i]), quint8(bytes[i + 1]), quint8(bytes[i + 2]));
        return colors;
    };
    const auto flags = quint8(header[10]);
    if (flags & 0x80)
        return readTable(flags);
    // Skip extension blocks up to the first image descriptor.
    char introducer = 0;
    while (file.getChar(&introducer) && introducer == '!') {
        file.read(1);
        char length = 0;
        while (file.getChar(&length) && length != 0)
            file.read(quint8(length));
    }
    const QByteArray descriptor = file.read(9);
    if (introducer != ',' || descriptor.size() < 9 || !(quint8(descriptor[8]) & 0x80))
        return {};
    return readTable(quint8(descriptor[8]));
}

// Qt decodes GIF files, which are palette images by nature, to 32-bit
// colour. Map the colours back to their indexes in the file's own table; a
// colour that occurs twice in the table takes its first index.
QImage gifAsIndexed(const QImage &decoded, const QList<QRgb> &colors)
{
    QHash<QRgb, int> indexOf;
    for (qsizetype i = colors.size() - 1; i >= 0; --i)
        indexOf.insert(colors[i] | 0xff000000u, int(i));
    QImage indexed(decoded.size(), QImage::Format_Indexed8);
    indexed.setColorTable(colors);
    const QImage rgb = decoded.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *out = indexed.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x)
            out[x] = uchar(indexOf.value(in[x] | 0xff000000u, 0));
    }
    return indexed;
}
} // namespace

PaletteImage PaletteImage::load(const QString &path)
{
    // Set once, before any reader runs: the two images load in parallel.
    static const bool limitSet = [] {
        QImageReader::setAllocationLimit(allocationLimitMegabytes);
        return true;
    }();
    Q_UNUSED(limitSet);
    PaletteImage result;
    // A named pipe or a device would block the reader.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        result.m_errorString = QStringLiteral("not a regular file");
        return result;
    }
    QImageReader reader(path);
    const bool isGif = reader.format() == "gif";
    QImage image;
    if (!reader.read(&image)) {
        result.m_errorString = reader.errorString();
        return result;
    }
    if (isGif && image.depth() != 8) {
        const QList<QRgb> colors = gifColorTable(path);
        if (!colors.isEmpty())
            image = gifAsIndexed(image, colors);
    }
    return fromImage(image);
}

PaletteImage PaletteImage::fromImage(const QImage &image)
{
    PaletteImage result;
    result.m_image = image;
    return result;
}

QList<QRgb> PaletteImage::palette() const
{
    QList<QRgb> colours = m_image.colorTable();
    if (colours.isEmpty() && m_image.format() == QImage::Format_Grayscale8) {
        for (int level = 0; level < 256; ++level)
            colours.append(qRgb(level, level, level));
    }
    colours.resize(256, qRgb(0, 0, 0));
    return colours;
}
