#pragma once

#include <QList>
#include <QString>

// Replacing the three map files takes three renames. A record written to
// the destination before the first and removed after the last lets the next
// pass finish the renames of a pass that died in between, so that the set is
// always wholly the old one or wholly the new one.
class CommitRecord
{
public:
    explicit CommitRecord(const QString &destination);

    // The record's path in destination.
    static QString path(const QString &destination);

    // The destination file (a path in the destination) and the synced
    // temporary file that is to be renamed over it.
    void add(const QString &file, const QString &temporaryFile);
    // Writes the record and gets it, and the temporary files' names, onto
    // the disk. Call it before the first rename.
    bool write();
    // Gets the renames onto the disk and removes the record. Call it after
    // the last rename.
    bool remove();
    // Names the file and the reason after a failure.
    QString errorString() const { return m_errorString; }

    // For a pass that holds the destination's lock, before it writes: ends
    // the commit of a pass that died between its renames, then removes the
    // temporary files that dead passes left. False, with the reason in
    // error, when a record cannot be completed; the files stay as they are.
    static bool recover(const QString &destination, QString *error);

private:
    struct Replacement
    {
        QString file;
        QString temporaryFile;
    };

    bool syncDirectories();
    bool fail(const QString &file, const QString &reason);

    QString m_destination;
    QList<Replacement> m_replacements;
    QString m_errorString;
};
