#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>

namespace FuzzSupport {

namespace {
QTemporaryDir &scratch()
{
    static QTemporaryDir directory;
    return directory;
}
} // namespace

void initialize()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    if (!scratch().isValid() || !QDir::setCurrent(scratch().path()))
        std::abort();
}

QString scratchPath(const QString &name)
{
    return scratch().filePath(name);
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        std::abort();
}

QByteArray bytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

QList<QByteArray> sections(const std::uint8_t *data, std::size_t size, int count)
{
    const QByteArray input = bytes(data, size);
    const QByteArray separator("\n--\n");
    QList<QByteArray> parts;
    qsizetype from = 0;
    while (parts.size() < count - 1) {
        const qsizetype at = input.indexOf(separator, from);
        if (at < 0)
            break;
        parts.append(input.mid(from, at - from));
        from = at + separator.size();
    }
    parts.append(input.mid(from));
    while (parts.size() < count)
        parts.append(QByteArray());
    return parts;
}

} // namespace FuzzSupport
