#pragma once

#include "transitioninfo.h"

#include <QList>
#include <QString>

#include <functional>

class PassObserver;
class ReadPoll;
struct MapTables;

// Receives each problem that the static-set loader finds in a set file (a
// tile id that looked hexadecimal), as one message text.
using StaticSetMessageHandler = std::function<void(const QString &message)>;

// One thing that loading a data directory meets, in load order.
struct DataDirectoryEntry
{
    enum class Kind {
        // A definition file; transitionKind says which table it fills.
        TransitionFile,
        TerrainFile,
        AltitudeFile,
        // name is the bare file name, the set's name.
        StaticSetFile,
        // A directory below transitions/ that resolves to the data directory
        // or one above it (target): following it would read the data
        // directory's other files, or the whole file system, as transitions.
        SkippedLink,
        // A directory below transitions/ that cannot be listed.
        UnreadableDirectory,
    };

    DataDirectoryEntry(Kind kind, const QString &path,
                       TransitionKind transitionKind = TransitionKind::General,
                       const QString &name = {}, const QString &target = {})
        : kind(kind), path(path), transitionKind(transitionKind), name(name), target(target)
    {
    }

    Kind kind;
    // As the loaders open it: the directory text followed by fixed
    // relative paths and the names listed.
    QString path;
    TransitionKind transitionKind;
    QString name;
    QString target;
};

// What loadDataDirectory reads, in its order: the rough-edge files, terrain,
// altitude, the files below transitions/, transitions/common.xml, the
// static sets. The scan of transitions/ asks poll, when given, and stops
// listing when it says so.
QList<DataDirectoryEntry> dataDirectoryEntries(const QString &dataDirectory,
                                               ReadPoll *poll = nullptr);

// Loads every definition file of a data directory into the tables, in the
// fixed order that the output depends on (a later definition replaces an
// earlier one). Paths are the directory text followed by fixed relative
// paths, as the user typed it. With an observer the load reports its
// progress as the step "Loading transition data" and stops when the
// observer is cancelled: it then returns false and leaves the tables as
// they were, so that a later load starts afresh.
bool loadDataDirectory(MapTables &tables, const QString &dataDirectory,
                       const StaticSetMessageHandler &onStaticSetMessage = {},
                       PassObserver *observer = nullptr);
