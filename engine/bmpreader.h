#pragma once

#include <QImage>
#include <QString>

class QIODevice;

// Reads BMP files of 4 or 8 bits per pixel, uncompressed or run-length
// encoded, into an 8-bit indexed image: the same indexes and colour table
// as Qt's reader gives for a sound file. Qt leaves the pixels of a damaged
// file uninitialised, so a map made from it would change from run to run;
// this reader refuses any file that does not set every pixel, before it
// allocates when the file is too small to hold them. A null image and
// errorString() when the file cannot be read, or has more than
// maximumPixels.
class BmpReader
{
public:
    // False unless the device holds a BMP file of 4 or 8 bits per pixel, or
    // one too short to say; Qt reads the other depths, which a map refuses
    // anyway.
    static bool readsIndexes(QIODevice &device);

    QImage read(QIODevice &device, qint64 maximumPixels);
    QString errorString() const { return m_errorString; }

private:
    QImage fail(const QString &reason);

    QString m_errorString;
};
