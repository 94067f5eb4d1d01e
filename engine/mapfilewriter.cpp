#include "mapfilewriter.h"

#include "commitrecord.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtEndian>

#include <limits>
#include <utility>

namespace {
// Writes go out in chunks of this size rather than once per 196-byte block;
// small enough to stay in the cache between filling and writing.
constexpr qsizetype flushThreshold = 256 << 10;
enum { mapOutput, indexOutput, staticsOutput };
} // namespace

MapFileWriter::MapFileWriter(MapOutputFileFactory createFile) : m_createFile(std::move(createFile))
{
}

MapFileWriter::~MapFileWriter()
{
    cancel();
}

bool MapFileWriter::open(const QString &destination, int mapNumber)
{
    const MapFiles::Kind kinds[] = {MapFiles::Kind::Map, MapFiles::Kind::Index,
                                    MapFiles::Kind::Statics};
    for (int i = 0; i < 3; ++i) {
        auto output = std::make_unique<Output>();
        output->file = m_createFile(MapFiles::path(destination, kinds[i], mapNumber));
        if (!output->file->open()) {
            fail(*output, output->file->errorString());
            cancel();
            return false;
        }
        output->buffer.reserve(flushThreshold + MapFiles::mapBlockSize);
        m_outputs[i] = std::move(output);
    }
    m_destination = destination;
    m_staticsSize = 0;
    return true;
}

bool MapFileWriter::writeBlock(const std::uint8_t *mapBlock, const QByteArray &structureStatics,
                               const std::uint8_t *cellStatics, qsizetype cellStaticsSize)
{
    return writeBlockStatics(structureStatics, cellStatics, cellStaticsSize)
        && append(*m_outputs[mapOutput], reinterpret_cast<const char *>(mapBlock),
                  MapFiles::mapBlockSize);
}

bool MapFileWriter::writeMapBlocks(const std::uint8_t *mapBlocks, qsizetype count)
{
    Output &output = *m_outputs[mapOutput];
    if (!flush(output))
        return false;
    QElapsedTimer timer;
    timer.start();
    const bool written = output.file->writeBytes(reinterpret_cast<const char *>(mapBlocks),
                                                 count * MapFiles::mapBlockSize);
    m_writingTime += timer.nsecsElapsed();
    return written || fail(output, output.file->errorString());
}

bool MapFileWriter::writeBlockStatics(const QByteArray &structureStatics,
                                      const std::uint8_t *cellStatics, qsizetype cellStaticsSize)
{
    const qint64 length = structureStatics.size() + cellStaticsSize;
    if (!staticsFit(length))
        return false;
    std::uint8_t entry[MapFiles::indexEntrySize];
    writeIndexEntry(entry, m_staticsSize, length);
    if (!append(*m_outputs[indexOutput], reinterpret_cast<const char *>(entry), sizeof entry)
        || !append(*m_outputs[staticsOutput], structureStatics.constData(), structureStatics.size())
        || !append(*m_outputs[staticsOutput], reinterpret_cast<const char *>(cellStatics),
                   cellStaticsSize))
        return false;
    m_staticsSize += length;
    return true;
}

bool MapFileWriter::writeStaticsRun(const std::uint8_t *statics, std::size_t start,
                                    const std::size_t *ends, qsizetype count)
{
    if (count == 0)
        return true;
    const qint64 length = qint64(ends[count - 1] - start);
    if (!staticsFit(length))
        return false;
    // The entries go straight into the index buffer.
    Output &index = *m_outputs[indexOutput];
    if (!makeRoom(index, count * MapFiles::indexEntrySize))
        return false;
    const qsizetype at = index.buffer.size();
    index.buffer.resize(at + count * MapFiles::indexEntrySize);
    auto *entry = reinterpret_cast<std::uint8_t *>(index.buffer.data() + at);
    std::size_t blockStart = start;
    for (qsizetype i = 0; i < count; ++i, entry += MapFiles::indexEntrySize) {
        writeIndexEntry(entry, m_staticsSize + qint64(blockStart - start),
                        qint64(ends[i] - blockStart));
        blockStart = ends[i];
    }
    if ((index.buffer.size() >= flushThreshold && !flush(index))
        || !append(*m_outputs[staticsOutput], reinterpret_cast<const char *>(statics + start),
                   length))
        return false;
    m_staticsSize += length;
    return true;
}

bool MapFileWriter::staticsFit(qint64 length)
{
    if (m_staticsSize + length <= std::numeric_limits<qint32>::max())
        return true;
    m_errorString = QStringLiteral("%1: the statics file would grow beyond 2 GiB, which the "
                                   "index file cannot address; place fewer statics.")
                        .arg(QDir::toNativeSeparators(m_outputs[staticsOutput]->file->fileName()));
    return false;
}

void MapFileWriter::writeIndexEntry(std::uint8_t *entry, qint64 offset, qint64 length)
{
    // A block without statics has no offset.
    qToLittleEndian<qint32>(length > 0 ? static_cast<qint32>(offset) : -1, entry);
    qToLittleEndian<qint32>(static_cast<qint32>(length), entry + 4);
    qToLittleEndian<qint32>(0, entry + 8);
}

bool MapFileWriter::append(Output &output, const char *data, qsizetype size)
{
    if (!makeRoom(output, size))
        return false;
    output.buffer.append(data, size);
    return output.buffer.size() < flushThreshold || flush(output);
}

bool MapFileWriter::makeRoom(Output &output, qsizetype size)
{
    // What was kept goes out first rather than the buffer growing past the
    // room it was given (a run of blocks' statics can be tens of KiB).
    return output.buffer.size() + size <= output.buffer.capacity() || flush(output);
}

bool MapFileWriter::flush(Output &output)
{
    if (output.buffer.isEmpty())
        return true;
    QElapsedTimer timer;
    timer.start();
    const bool written = output.file->write(output.buffer);
    m_writingTime += timer.nsecsElapsed();
    if (!written)
        return fail(output, output.file->errorString());
    // Keeps the buffer's memory: giving it back would have every chunk
    // fault in fresh pages again.
    output.buffer.resize(0);
    return true;
}

bool MapFileWriter::commit()
{
    for (auto &output : m_outputs) {
        if (!flush(*output))
            return false;
    }
    QElapsedTimer timer;
    timer.start();
    // All three reach the disk before the first rename: a disk that fills
    // up (or a quota that runs out) while the last file is synced must not
    // leave a new map file beside the old index and statics files.
    for (auto &output : m_outputs) {
        if (!output->file->sync())
            return fail(*output, output->file->errorString());
    }
    CommitRecord record(m_destination);
    bool onDisk = true;
    for (auto &output : m_outputs) {
        onDisk = onDisk && !output->file->temporaryFileName().isEmpty();
        record.add(output->file->fileName(), output->file->temporaryFileName());
    }
    if (onDisk && !record.write()) {
        m_errorString = record.errorString();
        return false;
    }
    m_recorded = onDisk;
    for (auto &output : m_outputs) {
        if (!output->file->commit()) {
            fail(*output, output->file->errorString());
            if (m_recorded)
                m_errorString += QStringLiteral("; the map files are replaced in part until the "
                                                "next pass into %1 completes the replacement")
                                     .arg(QDir::toNativeSeparators(m_destination));
            return false;
        }
    }
    if (onDisk && !record.remove()) {
        m_errorString = record.errorString();
        return false;
    }
    m_recorded = false;
    m_writingTime += timer.nsecsElapsed();
    return true;
}

void MapFileWriter::cancel()
{
    for (auto &output : m_outputs) {
        if (output && !m_recorded)
            output->file->cancel();
        output.reset();
    }
    m_recorded = false;
}

bool MapFileWriter::fail(const Output &output, const QString &reason)
{
    m_errorString = QStringLiteral("Cannot write %1: %2")
                        .arg(QDir::toNativeSeparators(output.file->fileName()), reason);
    return false;
}
