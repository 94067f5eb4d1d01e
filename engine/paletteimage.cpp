#include "paletteimage.h"

#include "gifreader.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace {
// Megabytes an image may take once decoded. The largest maps are far below
// this; Qt's default of 256 would refuse maps above 16384 x 16384.
constexpr int allocationLimitMegabytes = 2048;
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
    if (reader.format() == "gif") {
        // Read by index: Qt would give colours, which need not tell the
        // indexes apart.
        QFile file(path);
        GifReader gif;
        const QImage image = file.open(QIODevice::ReadOnly)
            ? gif.read(file, qint64(allocationLimitMegabytes) << 20)
            : QImage();
        if (image.isNull()) {
            result.m_errorString = file.isOpen() ? gif.errorString() : file.errorString();
            return result;
        }
        return fromImage(image);
    }
    QImage image;
    if (!reader.read(&image)) {
        result.m_errorString = reader.errorString();
        return result;
    }
    return fromImage(image);
}

PaletteImage PaletteImage::fromImage(const QImage &image)
{
    PaletteImage result;
    result.m_image = image;
    return result;
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
