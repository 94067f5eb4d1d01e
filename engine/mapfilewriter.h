#pragma once

#include "mapfiles.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <memory>

// One of the three output files while a pass writes it. Nothing reaches the
// destination file before commit(); cancel() drops what was written.
class MapOutputFile
{
public:
    virtual ~MapOutputFile() = default;
    virtual bool open() = 0;
    virtual bool write(const QByteArray &data) = 0;
    // The same for bytes that are valid only during the call: a file that
    // keeps what it is given gets a copy, one that writes it at once need
    // not make one.
    virtual bool writeBytes(const char *data, qsizetype size)
    {
        return write(QByteArray(data, size));
    }
    // Gets everything written onto the disk, so that commit() has only the
    // rename left to do.
    virtual bool sync() = 0;
    virtual bool commit() = 0;
    virtual void cancel() = 0;
    virtual QString fileName() const = 0;
    // After sync(), the file on disk that commit() renames over fileName();
    // empty for files that do not wait on disk.
    virtual QString temporaryFileName() const { return {}; }
    virtual QString errorString() const = 0;
};

// Makes the output file for a destination path. The default writes to a
// temporary file beside the destination file and renames it over it on
// commit; tests put failing files in its place.
using MapOutputFileFactory = std::function<std::unique_ptr<MapOutputFile>(const QString &path)>;
std::unique_ptr<MapOutputFile> createSaveFile(const QString &path);

// Writes the map, index and statics files block by block. Everything goes
// to temporary files beside the destination files; commit() renames them
// over the old ones, so a pass that is aborted or fails leaves the previous
// map exactly as it was. When all three wait on disk, a commit record in
// the destination covers the renames, so that a pass that dies between
// them is completed by the next.
class MapFileWriter
{
public:
    explicit MapFileWriter(MapOutputFileFactory createFile = createSaveFile);
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
    // The same in two parts, for blocks whose map blocks lie side by side:
    // writeMapBlocks() hands count of them to the map file at once (the
    // default files write them without a copy), and writeBlockStatics()
    // then appends each block's index
    // entry and statics, in the same order.
    bool writeMapBlocks(const std::uint8_t *mapBlocks, qsizetype count);
    bool writeBlockStatics(const QByteArray &structureStatics, const std::uint8_t *cellStatics,
                           qsizetype cellStaticsSize);
    // The same for count blocks in a row that have no structure statics and
    // whose statics lie back to back: block i's are the bytes of statics
    // from ends[i - 1] (from start for the first) to ends[i].
    bool writeStaticsRun(const std::uint8_t *statics, std::size_t start, const std::size_t *ends,
                         qsizetype count);

    bool commit();
    // Drops the temporary files; the old map files stay untouched. Once a
    // commit record names them they are kept for the next pass to complete.
    void cancel();

    QString errorString() const { return m_errorString; }
    qint64 staticsBytesWritten() const { return m_staticsSize; }
    // Time spent handing data to the files and renaming them, in nanoseconds.
    qint64 writingTime() const { return m_writingTime; }

private:
    struct Output
    {
        std::unique_ptr<MapOutputFile> file;
        QByteArray buffer;
    };

    bool append(Output &output, const char *data, qsizetype size);
    // Flushes the buffer when size more bytes would not fit its room.
    bool makeRoom(Output &output, qsizetype size);
    // Whether length more bytes of statics stay within the index's 32-bit
    // offsets; sets the error when not.
    bool staticsFit(qint64 length);
    static void writeIndexEntry(std::uint8_t *entry, qint64 offset, qint64 length);
    bool flush(Output &output);
    bool fail(const Output &output, const QString &reason);

    MapOutputFileFactory m_createFile;
    QString m_destination;
    std::array<std::unique_ptr<Output>, 3> m_outputs;
    bool m_recorded = false;
    qint64 m_staticsSize = 0;
    qint64 m_writingTime = 0;
    QString m_errorString;
};
