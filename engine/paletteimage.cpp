#include "paletteimage.h"

#include "bmpreader.h"
#include "gifreader.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace {
// Megabytes an image may take once decoded. The largest maps are far below
// this; Qt's default of 256 would refuse maps above 16384 x 16384.
constexpr int allocationLimitMegabytes = 2048;
// Qt's readers allow as many pixels as fit the limit at 32 bits each; the
// GIF and BMP readers allow the same.
constexpr qint64 maximumPixels = (qint64(allocationLimitMegabytes) << 20) / 4;

// Qt's reasons start with a capital; ours go after "cannot read FILE: ".
QString reasonOf(const QString &text)
{
    return text.isEmpty() ? text : text.at(0).toLower() + text.mid(1);
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
    const QFileInfo info(path);
    if (!info.exists()) {
        result.m_errorString = QStringLiteral("no such file");
        return result;
    }
    // A named pipe or a device would block the reader.
    if (!info.isFile()) {
        result.m_errorString = QStringLiteral("not a regular file");
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.m_errorString = reasonOf(file.errorString());
        return result;
    }
    // Given the open file, Qt still picks the format by suffix, then content.
    QImageReader reader(&file);
    const QByteArray format = reader.format();
    file.seek(0);
    // Read by index: Qt gives GIF as colours, which need not tell the
    // indexes apart, and leaves the pixels of a damaged BMP uninitialised.
    if (format == "gif") {
        GifReader gif;
        result.setImage(gif.read(file, maximumPixels));
        result.m_errorString = gif.errorString();
    } else if (format == "bmp" && BmpReader::readsIndexes(file)) {
        BmpReader bmp;
        result.setImage(bmp.read(file, maximumPixels));
        result.m_errorString = bmp.errorString();
    } else {
        // A reader that fails may leave a half-read image behind.
        QImage image;
        if (reader.read(&image))
            result.setImage(image);
        else
            result.m_errorString = reasonOf(reader.errorString());
    }
    return result;
}

PaletteImage PaletteImage::fromImage(const QImage &image)
{
    PaletteImage result;
    result.setImage(image);
    return result;
}

void PaletteImage::setImage(const QImage &image)
{
    m_image = image;
    // The image is never written through, so its data stays where it is
    // for as long as this and its copies share it.
    m_bits = m_image.constBits();
    m_bytesPerLine = m_image.bytesPerLine();
}

QList<QRgb> PaletteImage::colourTable() const
{
    QList<QRgb> colours = m_image.colorTable();
    if (colours.isEmpty() && m_image.format() == QImage::Format_Grayscale8) {
        for (int level = 0; level < 256; ++level)
            colours.append(qRgb(level, level, level));
    }
    return colours;
}

QList<QRgb> PaletteImage::palette() const
{
    QList<QRgb> colours = colourTable();
    colours.resize(256, qRgb(0, 0, 0));
    return colours;
}
