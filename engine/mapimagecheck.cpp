#include "mapimagecheck.h"

#include "data/altitudetable.h"
#include "data/maptables.h"
#include "data/terraintable.h"
#include "mapfiles.h"
#include "paletteimage.h"

#include <QDir>

#include <array>

namespace {

using Severity = DataProblem::Severity;

QString displayPath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(path));
}

struct CheckedImage
{
    QString file;
    PaletteImage image;
};

class ImageChecker
{
public:
    explicit ImageChecker(const QString &dataDirectory) : m_dataDirectory(dataDirectory)
    {
        loadTerrainTable(m_tables, terrainXml());
        loadAltitudeTable(m_tables, altitudeXml());
    }

    QList<DataProblem> run(const QString &terrainPath, const PaletteImage &terrainImage,
                           const QString &altitudePath, const PaletteImage &altitudeImage)
    {
        const CheckedImage terrain = take(terrainPath, terrainImage);
        const CheckedImage altitude = take(altitudePath, altitudeImage);
        if (!terrainPath.isEmpty() && !altitudePath.isEmpty() && !terrain.image.isNull()
            && !altitude.image.isNull()
            && (terrain.image.width() != altitude.image.width()
                || terrain.image.height() != altitude.image.height()))
            report(Severity::Error, QStringLiteral("image-size-mismatch"), terrain.file,
                   QStringLiteral("is %1 x %2 pixels but the altitude image %3 is %4 x %5; the "
                                  "generator needs both the same size and writes nothing")
                       .arg(terrain.image.width())
                       .arg(terrain.image.height())
                       .arg(altitude.file)
                       .arg(altitude.image.width())
                       .arg(altitude.image.height()));
        if (!terrainPath.isEmpty())
            checkImage(
                terrain, QStringLiteral("Terrain"), QStringLiteral("ID"), terrainXml(),
                [this](int index) { return m_tables.TerrainTable.contains(std::uint8_t(index)); },
                QStringLiteral("tile id 0"));
        if (!altitudePath.isEmpty())
            checkImage(
                altitude, QStringLiteral("Altitude"), QStringLiteral("Key"), altitudeXml(),
                [this](int index) { return m_tables.AltitudeTable.contains(std::uint8_t(index)); },
                QStringLiteral("altitude 0"));
        return m_problems;
    }

private:
    QString terrainXml() const { return m_dataDirectory + QLatin1String("/system/terrain.xml"); }
    QString altitudeXml() const { return m_dataDirectory + QLatin1String("/system/altitude.xml"); }

    CheckedImage take(const QString &path, const PaletteImage &image)
    {
        if (path.isEmpty())
            return {};
        CheckedImage checked {displayPath(path), image};
        if (checked.image.isNull())
            report(Severity::Error, QStringLiteral("image-unreadable"), checked.file,
                   QStringLiteral("cannot be read: %1; the generator writes nothing")
                       .arg(checked.image.errorString()));
        return checked;
    }

    void report(Severity severity, const QString &code, const QString &file, const QString &message)
    {
        m_problems.append({severity, code, file, 0, 0, message});
    }

    template<typename Defined>
    void checkImage(const CheckedImage &checked, const QString &element, const QString &attribute,
                    const QString &xmlPath, const Defined &defined, const QString &fallback)
    {
        const PaletteImage &image = checked.image;
        if (image.isNull())
            return;
        if (image.depth() != 8) {
            report(Severity::Error, QStringLiteral("image-depth"), checked.file,
                   QStringLiteral("has %1 bits per pixel; the generator needs 8-bit palette "
                                  "images and writes nothing")
                       .arg(image.depth()));
            return;
        }
        const int side = MapFiles::cellsPerBlockSide;
        const int width = image.width() / side * side;
        const int height = image.height() / side * side;
        if (width == 0 || height == 0) {
            report(Severity::Error, QStringLiteral("image-too-small"), checked.file,
                   QStringLiteral("is %1 x %2 pixels, less than one 8 x 8 block: the map is "
                                  "empty")
                       .arg(image.width())
                       .arg(image.height()));
            return;
        }
        if (width != image.width() || height != image.height())
            report(Severity::Warning, QStringLiteral("image-partial-blocks"), checked.file,
                   QStringLiteral("is %1 x %2 pixels; the map holds whole 8 x 8 blocks only, so "
                                  "the pixels from column %3 or row %4 on are not used")
                       .arg(image.width())
                       .arg(image.height())
                       .arg(width)
                       .arg(height));

        std::array<qint64, 256> counts {};
        std::array<QPoint, 256> first {};
        for (int y = 0; y < height; ++y) {
            const std::uint8_t *row = image.row(y);
            for (int x = 0; x < width; ++x) {
                if (counts[row[x]]++ == 0)
                    first[row[x]] = QPoint(x, y);
            }
        }
        for (int index = 0; index < 256; ++index) {
            if (counts[index] == 0 || defined(index))
                continue;
            report(Severity::Error, QStringLiteral("missing-%1-index").arg(element.toLower()),
                   checked.file,
                   QStringLiteral("palette index %1 is used by %2, first at (%3, %4), but "
                                  "%5 defines no %6 with %7 %1; the generator gives these cells "
                                  "%8")
                       .arg(index)
                       .arg(counts[index] == 1 ? QStringLiteral("1 pixel")
                                               : QStringLiteral("%1 pixels").arg(counts[index]))
                       .arg(first[index].x())
                       .arg(first[index].y())
                       .arg(displayPath(xmlPath), element, attribute, fallback));
        }
    }

    QString m_dataDirectory;
    MapTables m_tables;
    QList<DataProblem> m_problems;
};

} // namespace

QList<DataProblem> checkMapImages(const QString &dataDirectory, const QString &terrainPath,
                                  const QString &altitudePath)
{
    const auto load = [](const QString &path) {
        return path.isEmpty() ? PaletteImage() : PaletteImage::load(path);
    };
    return checkMapImages(dataDirectory, terrainPath, load(terrainPath), altitudePath,
                          load(altitudePath));
}

QList<DataProblem> checkMapImages(const QString &dataDirectory, const QString &terrainPath,
                                  const PaletteImage &terrain, const QString &altitudePath,
                                  const PaletteImage &altitude)
{
    return ImageChecker(dataDirectory).run(terrainPath, terrain, altitudePath, altitude);
}
