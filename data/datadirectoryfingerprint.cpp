#include "datadirectoryfingerprint.h"

#include "datadirectory.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

DataDirectoryFingerprint DataDirectoryFingerprint::take(const QString &dataDirectory)
{
    QByteArray summary;
    QDataStream stream(&summary, QIODevice::WriteOnly);
    // The same directory however it is written ("data", "./data/").
    stream << QFileInfo(dataDirectory).canonicalFilePath();
    for (const DataDirectoryEntry &entry : dataDirectoryEntries(dataDirectory)) {
        const QFileInfo info(entry.path);
        stream << int(entry.kind) << entry.path.mid(dataDirectory.size()) << info.exists()
               << info.size() << info.lastModified().toMSecsSinceEpoch();
    }
    DataDirectoryFingerprint fingerprint;
    fingerprint.m_digest = QCryptographicHash::hash(summary, QCryptographicHash::Sha256);
    return fingerprint;
}

QString dataDirectoryProblem(const QString &dataDirectory)
{
    if (dataDirectory.isEmpty())
        return QStringLiteral("No data directory given; choose the directory that holds "
                              "system/terrain.xml");
    const QString directory = QDir::toNativeSeparators(dataDirectory);
    if (!QFileInfo(dataDirectory).isDir())
        return QStringLiteral("The data directory %1 does not exist; choose the directory that "
                              "holds system/terrain.xml")
            .arg(directory);
    const QFileInfo terrain(dataDirectory + QLatin1String("/system/terrain.xml"));
    if (!terrain.isFile())
        return QStringLiteral("%1 does not exist, so every cell would get tile id 0; choose the "
                              "data directory that holds system/terrain.xml")
            .arg(QDir::toNativeSeparators(terrain.filePath()));
    if (!terrain.isReadable())
        return QStringLiteral("%1 cannot be read, so every cell would get tile id 0; make it "
                              "readable")
            .arg(QDir::toNativeSeparators(terrain.filePath()));
    return {};
}
