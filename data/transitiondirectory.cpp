#include "transitiondirectory.h"

#include "maptables.h"
#include "transitionfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// Directories are identified by their resolved path, since the listing
// follows symbolic links.
bool enterOnce(const QString &directory, QSet<QString> &visited)
{
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    if (canonical.isEmpty() || visited.contains(canonical))
        return false;
    visited.insert(canonical);
    return true;
}

void scan(const QString &directory, QSet<QString> &visited, QStringList &found)
{
    const QStringList subdirectories =
        QDir(directory, QStringLiteral("*.*"), QDir::Name | QDir::IgnoreCase, QDir::AllDirs)
            .entryList();
    for (const QString &name : subdirectories) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const QString path = directory + name + QLatin1Char('/');
        if (!enterOnce(path, visited))
            continue;
        const QStringList files =
            QDir(path, QStringLiteral("*.xml"), QDir::Name | QDir::IgnoreCase, QDir::Files)
                .entryList();
        for (const QString &file : files)
            found.append(path + file);
        scan(path, visited, found);
    }
}

} // namespace

void loadRoughEdgeTransitions(MapTables &tables, const QString &dataDirectory)
{
    loadTransitionFile(tables, dataDirectory + QLatin1String("/system/roughedge/lefttrans.xml"),
                       TransitionKind::Left);
    loadTransitionFile(tables, dataDirectory + QLatin1String("/system/roughedge/toptrans.xml"),
                       TransitionKind::Top);
    loadTransitionFile(tables, dataDirectory + QLatin1String("/system/roughedge/cornertrans.xml"),
                       TransitionKind::Corner);
}

void scanTransitionDirectory(MapTables &tables, const QString &directory)
{
    for (const QString &path : transitionDefinitionFiles(directory))
        loadTransitionFile(tables, path, TransitionKind::General);
}

QStringList transitionDefinitionFiles(const QString &directory)
{
    QStringList found;
    QSet<QString> visited;
    if (enterOnce(directory, visited))
        scan(directory, visited, found);
    return found;
}
