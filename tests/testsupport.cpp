#include "testsupport.h"

#include "data/structurestatics.h"
#include "engine/glibcrandom.h"
#include "engine/keygrid.h"
#include "engine/mappass.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QtEndian>

namespace TestSupport {

void writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(contents);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QMap<QString, QByteArray> filesBelow(const QString &directory)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path.mid(directory.size()), readFile(path));
    }
    return files;
}

QImage paletteImage(int width, int height, const std::function<int(int, int)> &index)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> colors;
    for (int i = 0; i < 256; ++i)
        colors << qRgb(i, 255 - i, (i * 7) & 0xff);
    image.setColorTable(colors);
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < width; ++x)
            row[x] = static_cast<uchar>(index(x, y));
    }
    return image;
}

void writePaletteImage(const QString &path, int width, int height,
                       const std::function<int(int, int)> &index)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QVERIFY2(paletteImage(width, height, index).save(path, "PNG"), qPrintable(path));
}

void writeMap(const QString &destination, int blocksWide, int blocksHigh, const CellFunction &cell,
              const QList<QPoint> &statics)
{
    QByteArray map, index, staticBytes;
    for (int bx = 0; bx < blocksWide; ++bx) {
        for (int by = 0; by < blocksHigh; ++by) {
            QByteArray block(4, '\0');
            qToLittleEndian<qint32>(bx * blocksHigh + by, block.data());
            for (int k = 0; k < 8; ++k) {
                for (int l = 0; l < 8; ++l) {
                    const Cell c = cell(bx * 8 + l, by * 8 + k);
                    block += char(c.tileId & 0xff);
                    block += char(c.tileId >> 8);
                    block += char(c.z);
                }
            }
            map += block;
            const qsizetype start = staticBytes.size();
            for (const QPoint &at : statics) {
                if (at.x() / 8 == bx && at.y() / 8 == by)
                    staticBytes += QByteArray::fromHex("0100") + char(at.x() % 8) + char(at.y() % 8)
                        + QByteArray(3, '\0');
            }
            QByteArray entry(12, '\0');
            const qint32 length = qint32(staticBytes.size() - start);
            qToLittleEndian<qint32>(length > 0 ? qint32(start) : -1, entry.data());
            qToLittleEndian<qint32>(length, entry.data() + 4);
            index += entry;
        }
    }
    writeFile(destination + QLatin1String("/map0.mul"), map);
    writeFile(destination + QLatin1String("/staidx0.mul"), index);
    writeFile(destination + QLatin1String("/statics0.mul"), staticBytes);
}

} // namespace TestSupport

namespace TestSupport {

PassSummary runPass(MapTables &tables, const QString &terrainPath, const QString &altitudePath,
                    unsigned seed, const PassOptions &options, PassObserver &observer)
{
    StructureStatics structureStatics;
    KeyGrid keyGrid;
    GlibcRandom random(seed);
    return processMap(tables, structureStatics, keyGrid, random, terrainPath, altitudePath, options,
                      observer);
}

} // namespace TestSupport
