#pragma once

#include <QString>

// How the default output files reach the disk: each is written to an
// unnamed temporary file in the directory of the file it replaces, synced,
// given a temporary name (the file's name followed by ".tmp-" and six
// letters or digits) and renamed over the file on commit. A kill before the
// temporary file is named leaves nothing behind; one after leaves a file
// that the next pass removes, or renames if a commit record names it.
namespace SaveFiles {

// The file that path stands for: symbolic links are followed, so that the
// file they point to is replaced rather than the link.
QString resolvedTarget(const QString &path);

// The name of the file that a temporary file called name was to replace,
// or an empty string when name is not one of ours.
QString temporaryTarget(const QString &name);

// Gets the names in directory (created, renamed, removed) onto the disk;
// false with the reason when that failed.
bool syncDirectory(const QString &directory, QString *error);

} // namespace SaveFiles
