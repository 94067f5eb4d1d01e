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
