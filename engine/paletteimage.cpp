#include "paletteimage.h"

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
