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
// be read, or would take more than maximumBytes.
class GifReader
{
public:
    QImage read(QIODevice &device, qint64 maximumBytes);
    QString errorString() const { return m_errorString; }

private:
    QImage fail(const QString &reason);

    QString m_errorString;
};
