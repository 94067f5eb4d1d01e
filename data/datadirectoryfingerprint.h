#pragma once

#include <QByteArray>
#include <QString>

// A cheap summary of what loading a data directory reads: the directory
// itself and the path, size and modification time of every file the load
// would open, in load order. It differs when the directory is another one
// or when a file under it was added, removed or written since it was taken.
class DataDirectoryFingerprint
{
public:
    DataDirectoryFingerprint() = default;
    static DataDirectoryFingerprint take(const QString &dataDirectory);

    bool operator==(const DataDirectoryFingerprint &) const = default;

private:
    QByteArray m_digest;
};

// Why a pass cannot use the data directory, naming the path; empty when it
// can. Without system/terrain.xml every cell would get tile id 0.
QString dataDirectoryProblem(const QString &dataDirectory);
