#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

// An image read as a grid of 8-bit palette indexes.
class PaletteImage
{
public:
    PaletteImage() = default;
    // Loads the file; a file that cannot be read gives a null image (width,
    // height and depth 0) and errorString() says why, in lower case ("no
    // such file", "permission denied", "truncated: ...").
    static PaletteImage load(const QString &path);
    static PaletteImage fromImage(const QImage &image);

    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    int depth() const { return m_image.depth(); }
    bool isNull() const { return m_image.isNull(); }
    QString errorString() const { return m_errorString; }
    // The image's own colour table, or the 256 levels of a gray image;
    // empty for an image without one.
    QList<QRgb> colourTable() const;
    // The colour of each of the 256 palette indexes: colourTable(), black
    // past its end.
    QList<QRgb> palette() const;

    // The palette indexes of row y. Only valid for an image of depth 8:
    // paletted images give their indexes, gray images their gray level.
    const std::uint8_t *row(int y) const { return m_image.constScanLine(y); }
    std::uint8_t index(int x, int y) const { return row(y)[x]; }

private:
    QImage m_image;
    QString m_errorString;
};
