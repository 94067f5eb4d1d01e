#include "datadirectory.h"

#include "altitudetable.h"
#include "engine/passobserver.h"
#include "maptables.h"
#include "readpoll.h"
#include "staticsetfile.h"
#include "terraintable.h"
#include "transitiondirectory.h"
#include "transitionfile.h"

#include <QFileInfo>

#include <numeric>
#include <optional>

namespace {

using Kind = DataDirectoryEntry::Kind;

bool loadEntry(MapTables &tables, const DataDirectoryEntry &entry,
               const StaticSetMessageHandler &onStaticSetMessage, ReadPoll *poll)
{
    switch (entry.kind) {
    case Kind::TransitionFile:
        loadTransitionFile(tables, entry.path, entry.transitionKind, poll);
        break;
    case Kind::TerrainFile:
        loadTerrainTable(tables, entry.path, poll);
        break;
    case Kind::AltitudeFile:
        loadAltitudeTable(tables, entry.path, poll);
        break;
    case Kind::StaticSetFile:
        loadStaticSetFile(tables, entry.path, entry.name, onStaticSetMessage, poll);
        break;
    case Kind::SkippedLink:
    case Kind::UnreadableDirectory:
        break;
    }
    return !(poll && poll->stopped());
}

// What the progress counts for an entry: the size of a file to read.
qint64 bytesToRead(const DataDirectoryEntry &entry)
{
    const QFileInfo info(entry.path);
    return entry.kind != Kind::SkippedLink && info.isFile() ? info.size() : 0;
}

} // namespace

QList<DataDirectoryEntry> dataDirectoryEntries(const QString &dataDirectory, ReadPoll *poll)
{
    QList<DataDirectoryEntry> entries = roughEdgeEntries(dataDirectory);
    entries.append({Kind::TerrainFile, dataDirectory + QLatin1String("/system/terrain.xml")});
    entries.append({Kind::AltitudeFile, dataDirectory + QLatin1String("/system/altitude.xml")});
    const QString transitions = dataDirectory + QLatin1String("/transitions/");
    entries.append(scanTransitionEntries(transitions, poll));
    // Loaded after the scan, so its definitions override every subdirectory's.
    entries.append({Kind::TransitionFile, transitions + QLatin1String("common.xml")});
    const QString statics = dataDirectory + QLatin1String("/statics/");
    for (const QString &name : staticSetFileNames(statics))
        entries.append({Kind::StaticSetFile, statics + QLatin1Char('/') + name,
                        TransitionKind::General, name});
    return entries;
}

bool loadDataDirectory(MapTables &tables, const QString &dataDirectory,
                       const StaticSetMessageHandler &onStaticSetMessage, PassObserver *observer)
{
    const QString step = QStringLiteral("Loading transition data");
    const ReadPoll::Report report = [observer, &step](qint64 done, qint64 total) {
        return observer->reportStep(step, done, total);
    };
    // Listing counts directories; the total is known once it is done.
    std::optional<ReadPoll> poll;
    if (observer)
        poll.emplace(0, report);
    const QList<DataDirectoryEntry> entries =
        dataDirectoryEntries(dataDirectory, poll ? &*poll : nullptr);

    // Loaded apart and taken over only whole: a load stopped halfway must
    // not leave tables that a later Generate would take as loaded.
    MapTables loaded;
    bool completed = !(poll && poll->stopped());
    if (completed) {
        QList<qint64> sizes;
        for (const DataDirectoryEntry &entry : entries)
            sizes.append(bytesToRead(entry));
        if (observer)
            poll.emplace(std::accumulate(sizes.cbegin(), sizes.cend(), qint64(0)), report);
        for (qsizetype i = 0; completed && i < entries.size(); ++i) {
            completed = loadEntry(loaded, entries[i], onStaticSetMessage, poll ? &*poll : nullptr);
            if (poll)
                poll->fileDone(sizes[i]);
        }
    }
    if (observer)
        observer->stepFinished();
    if (completed)
        tables.insertAll(std::move(loaded));
    return completed;
}
