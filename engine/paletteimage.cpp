#include "paletteimage.h"

#include <QImageReader>

namespace {
// Megabytes an image may take once decoded. The largest maps are far below
// this; Qt's default of 256 would refuse maps above 16384 x 16384.
constexpr int allocationLimitMegabytes = 2048;
} // namespace

PaletteImage PaletteImage::load(const QString &path)
{
    QImageReader::setAllocationLimit(allocationLimitMegabytes);
    QImageReader reader(path);
    PaletteImage result;
    QImage image;
    if (reader.read(&image))
        result = fromImage(image);
    else
        result.m_errorString = reader.errorString();
    return result;
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
