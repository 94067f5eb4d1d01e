#include "passfloor.h"

#include "engine/mapfiles.h"
#include "engine/passimages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

void writeFile(const QString &path, qint64 size)
{
    static const std::vector<char> chunk(1 << 20, '\x5a');
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        qFatal("cannot create %s", qPrintable(path));
    for (qint64 left = size; left > 0;) {
        const ssize_t written = ::write(fd, chunk.data(), std::size_t(qMin<qint64>(left, 1 << 20)));
        if (written <= 0)
            qFatal("cannot write %s", qPrintable(path));
        left -= written;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0)
        qFatal("cannot sync %s", qPrintable(path));
}

} // namespace

namespace PassFloor {

std::array<qint64, 3> outputSizes(const QString &directory)
{
    const QList<int> maps = MapFiles::mapNumbersIn(directory);
    if (maps.size() != 1)
        return {};
    std::array<qint64, 3> sizes {};
    const MapFiles::Kind kinds[] = {MapFiles::Kind::Map, MapFiles::Kind::Index,
                                    MapFiles::Kind::Statics};
    for (int i = 0; i < 3; ++i)
        sizes[i] = QFileInfo(MapFiles::path(directory, kinds[i], maps.first())).size();
    return sizes;
}

qint64 run(const QString &terrainPath, const QString &altitudePath, const QString &directory,
           const std::array<qint64, 3> &sizes)
{
    QElapsedTimer timer;
    timer.start();
    // Decoded as the pass decodes them, one thread each.
    PassImages images(terrainPath, altitudePath);
    images.wait();
    if (images.terrain().isNull() || images.altitude().isNull())
        qFatal("cannot read the images");
    QStringList paths;
    for (int i = 0; i < 3; ++i) {
        paths << QDir(directory).filePath(QStringLiteral(".floor%1.tmp").arg(i));
        writeFile(paths.constLast(), sizes[std::size_t(i)]);
    }
    const qint64 elapsed = timer.nsecsElapsed();
    for (const QString &path : std::as_const(paths))
        QFile::remove(path);
    return elapsed;
}

} // namespace PassFloor
