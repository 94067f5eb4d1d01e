#pragma once

#include <QImage>
#include <QString>

#include <cstdint>

// Rows of 8-bit palette indexes in memory: a whole image, or a strip of
// columns copied out of one.
struct PaletteRows
{
    // The index at (firstX, 0).
    const std::uint8_t *first = nullptr;
    qsizetype bytesPerLine = 0;
    int firstX = 0;

    // The indexes of row y from column x on.
    const std::uint8_t *at(int x, int y) const
    {
        return first + qsizetype(y) * bytesPerLine + (x - firstX);
    }
};

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
    const std::uint8_t *row(int y) const { return m_bits + qsizetype(y) * m_bytesPerLine; }
    std::uint8_t index(int x, int y) const { return row(y)[x]; }
    PaletteRows rows() const { return {m_bits, m_bytesPerLine, 0}; }

private:
    void setImage(const QImage &image);

    QImage m_image;
    // Read by the per-cell loops, which would otherwise call into QImage
    // for every row they touch.
    const std::uint8_t *m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    QString m_errorString;
};
