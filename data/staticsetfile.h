#pragma once

#include "datadirectory.h"

#include <QString>
#include <QStringList>

class ReadPoll;
struct MapTables;

// Loads the *.xml files of directory (listed by name ignoring case) as
// static sets, each under its upper-cased file name.
void scanStaticSetDirectory(MapTables &tables, const QString &directory,
                            const StaticSetMessageHandler &onMessage);

// The names of the files that scanStaticSetDirectory loads, in its order.
QStringList staticSetFileNames(const QString &directory);

// Loads one static-set file into StaticSetTable under the upper-cased name,
// replacing a set of the same name. A tile id that reads as 0 in decimal is
// read again as hexadecimal and reported through onMessage. A file that
// cannot be read or parsed, or whose read poll stops it, is skipped without
// a message and leaves the table as it was.
void loadStaticSetFile(MapTables &tables, const QString &path, const QString &name,
                       const StaticSetMessageHandler &onMessage, ReadPoll *poll = nullptr);
