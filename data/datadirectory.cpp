#include "datadirectory.h"

#include "altitudetable.h"
#include "staticsetfile.h"
#include "terraintable.h"
#include "transitiondirectory.h"
#include "transitionfile.h"

namespace {

using Kind = DataDirectoryEntry::Kind;

void loadEntry(MapTables &tables, const DataDirectoryEntry &entry,
               const StaticSetMessageHandler &onStaticSetMessage)
{
    switch (entry.kind) {
    case Kind::TransitionFile:
        loadTransitionFile(tables, entry.path, entry.transitionKind);
        break;
    case Kind::TerrainFile:
        loadTerrainTable(tables, entry.path);
        break;
    case Kind::AltitudeFile:
        loadAltitudeTable(tables, entry.path);
        break;
    case Kind::StaticSetFile:
        loadStaticSetFile(tables, entry.path, entry.name, onStaticSetMessage);
        break;
    case Kind::SkippedLink:
    case Kind::UnreadableDirectory:
        break;
    }
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

void loadDataDirectory(MapTables &tables, const QString &dataDirectory,
                       const StaticSetMessageHandler &onStaticSetMessage)
{
    for (const DataDirectoryEntry &entry : dataDirectoryEntries(dataDirectory))
        loadEntry(tables, entry, onStaticSetMessage);
}
