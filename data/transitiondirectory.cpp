#include "transitiondirectory.h"

#include "readpoll.h"
#include "transitionfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

using Kind = DataDirectoryEntry::Kind;

class TransitionScan
{
public:
    TransitionScan(const QString &directory, ReadPoll *poll)
        : m_dataDirectory(
            QFileInfo(QDir::cleanPath(directory + QLatin1String("/.."))).canonicalFilePath()),
          m_poll(poll)
    {
    }

    // Enters directory (a path ending with "/") unless it was entered
    // before or holds the data directory, lists its definition files when
    // listFiles is set, then enters its subdirectories.
    void enter(const QString &directory, bool listFiles)
    {
        if (m_poll && m_poll->poll(++m_directories))
            return;
        // Directories are identified by their resolved path, since the
        // listing follows symbolic links.
        const QString canonical = QFileInfo(directory).canonicalFilePath();
        if (canonical.isEmpty())
            return;
        if (holdsDataDirectory(canonical)) {
            entries.append({Kind::SkippedLink, directory, TransitionKind::General, {}, canonical});
            return;
        }
        if (m_visited.contains(canonical))
            return;
        m_visited.insert(canonical);
        const QFileInfo info(directory);
        if (!info.isReadable() || !info.isExecutable())
            entries.append({Kind::UnreadableDirectory, directory});

        if (listFiles) {
            const QStringList files =
                QDir(directory, QStringLiteral("*.xml"), QDir::Name | QDir::IgnoreCase, QDir::Files)
                    .entryList();
            for (const QString &file : files)
                entries.append({Kind::TransitionFile, directory + file});
        }
        const QStringList subdirectories =
            QDir(directory, QStringLiteral("*.*"), QDir::Name | QDir::IgnoreCase, QDir::AllDirs)
                .entryList();
        for (const QString &name : subdirectories) {
            if (name != QLatin1String(".") && name != QLatin1String(".."))
                enter(directory + name + QLatin1Char('/'), true);
        }
    }

    QList<DataDirectoryEntry> entries;

private:
    bool holdsDataDirectory(const QString &canonical) const
    {
        return !m_dataDirectory.isEmpty()
            && (canonical == QLatin1String("/") || canonical == m_dataDirectory
                || m_dataDirectory.startsWith(canonical + QLatin1Char('/')));
    }

    QString m_dataDirectory;
    ReadPoll *m_poll;
    qint64 m_directories = 0;
    QSet<QString> m_visited;
};

} // namespace

QList<DataDirectoryEntry> roughEdgeEntries(const QString &dataDirectory)
{
    const QString roughEdge = dataDirectory + QLatin1String("/system/roughedge/");
    return {
        {Kind::TransitionFile, roughEdge + QLatin1String("lefttrans.xml"), TransitionKind::Left},
        {Kind::TransitionFile, roughEdge + QLatin1String("toptrans.xml"), TransitionKind::Top},
        {Kind::TransitionFile, roughEdge + QLatin1String("cornertrans.xml"),
         TransitionKind::Corner}};
}

void loadRoughEdgeTransitions(MapTables &tables, const QString &dataDirectory)
{
    for (const DataDirectoryEntry &entry : roughEdgeEntries(dataDirectory))
        loadTransitionFile(tables, entry.path, entry.transitionKind);
}

void scanTransitionDirectory(MapTables &tables, const QString &directory)
{
    for (const DataDirectoryEntry &entry : scanTransitionEntries(directory)) {
        if (entry.kind == Kind::TransitionFile)
            loadTransitionFile(tables, entry.path, TransitionKind::General);
    }
}

QList<DataDirectoryEntry> scanTransitionEntries(const QString &directory, ReadPoll *poll)
{
    TransitionScan scan(directory, poll);
    // Files directly in the directory are never loaded.
    scan.enter(directory, false);
    return std::move(scan.entries);
}
