#pragma once

#include <QImage>
#include <QString>

class QIODevice;

// Reads the first frame of a GIF file as the palette indexes it stores.
// Qt decodes GIF files to 32-bit colour, from which the indexes cannot be
// told apart when two palette entries share a colour; a map needs the
// indexes themselves. The result is an 8-bit indexed image of the file's
// logical screen size with the frame's colour table (its local one, else
// the global one); cells the frame does not cover take the background
// index. A null image and errorString() when the file is not a GIF that can
// be read, its frame's data stops before the last index, or it has more
// than maximumPixels.
class GifReader
{
public:
    QImage read(QIODevice &device, qint64 maximumPixels);
    QString errorString() const { return m_errorString; }

private:
    QImage fail(const QString &reason);

    QString m_errorString;
};
