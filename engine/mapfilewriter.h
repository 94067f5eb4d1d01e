#pragma once

#include "mapfiles.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <array>
#include <memory>

// Writes the map, index and statics files block by block. Everything goes
// to temporary files beside the destination files; commit() renames them
// over the old ones, so a pass that is aborted or fails leaves the previous
// map exactly as it was.
class MapFileWriter
{
public:
    MapFileWriter();
    ~MapFileWriter();

    // Creates the three temporary files. On failure errorString() names the
    // file and the reason.
    bool open(const QString &destination, int mapNumber);

    // Appends one block: its map block (blockMapSize bytes, header included),
    // its index entry and its statics, the structure statics first.
    // Returns false when a write failed or the statics file would outgrow the
    // index's 32-bit offsets.
    bool writeBlock(const std::uint8_t *mapBlock, const QByteArray &structureStatics,
                    const std::uint8_t *cellStatics, qsizetype cellStaticsSize);

    bool commit();
    // Drops the temporary files; the old map files stay untouched.
    void cancel();

    QString errorString() const { return m_errorString; }
    qint64 staticsBytesWritten() const { return m_staticsSize; }
    // Time spent handing data to the files and renaming them, in nanoseconds.
    qint64 writingTime() const { return m_writingTime; }

private:
    struct Output
    {
        QSaveFile file;
        QByteArray buffer;
    };

    bool append(Output &output, const char *data, qsizetype size);
    bool flush(Output &output);
    bool fail(const Output &output, const QString &reason);

    std::array<std::unique_ptr<Output>, 3> m_outputs;
    qint64 m_staticsSize = 0;
    qint64 m_writingTime = 0;
    QString m_errorString;
};
