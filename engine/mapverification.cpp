#include "mapverification.h"

#include "commitrecord.h"
#include "mapfiles.h"
#include "mappedfile.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

namespace {

qint32 readInt32(const uchar *data, qint64 offset)
{
    return qFromLittleEndian<qint32>(data + offset);
}

class Verifier
{
public:
    Verifier(const QString &destination, MapVerification &result)
        : m_result(result),
          m_mapName(displayPath(destination, MapFiles::Kind::Map)),
          m_indexName(displayPath(destination, MapFiles::Kind::Index)),
          m_staticsName(displayPath(destination, MapFiles::Kind::Statics))
    {
        m_paths[0] = MapFiles::path(destination, MapFiles::Kind::Map, result.mapNumber);
        m_paths[1] = MapFiles::path(destination, MapFiles::Kind::Index, result.mapNumber);
        m_paths[2] = MapFiles::path(destination, MapFiles::Kind::Statics, result.mapNumber);
    }

    void run()
    {
        if (!open(m_map, m_paths[0], m_mapName) || !open(m_index, m_paths[1], m_indexName)
            || !open(m_statics, m_paths[2], m_staticsName))
            return;
        if (!checkSizes())
            return;
        qint64 expectedOffset = 0;
        for (qint64 block = 0; block < m_result.blocks; ++block) {
            if (!checkBlock(block, expectedOffset))
                return;
        }
        if (expectedOffset != m_statics.size())
            fail(m_staticsName, -1, expectedOffset,
                 QStringLiteral("bytes %1 to %2 belong to no block")
                     .arg(expectedOffset)
                     .arg(m_statics.size() - 1));
    }

private:
    QString displayPath(const QString &destination, MapFiles::Kind kind) const
    {
        return QDir::toNativeSeparators(
            QDir::cleanPath(MapFiles::path(destination, kind, m_result.mapNumber)));
    }

    bool fail(const QString &file, qint64 block, qint64 byteOffset, const QString &message)
    {
        m_result.problem = MapVerification::Problem {file, block, byteOffset, message};
        return false;
    }

    bool open(MappedFile &file, const QString &path, const QString &name)
    {
        return file.open(path) || fail(name, -1, -1, file.errorString());
    }

    bool checkSizes()
    {
        const auto whole = [this](const MappedFile &file, const QString &name, int recordSize,
                                  const QString &records, bool perBlock) {
            const qint64 rest = file.size() % recordSize;
            return rest == 0
                || fail(name, perBlock ? file.size() / recordSize : -1, file.size() - rest,
                        QStringLiteral("its %1 bytes are not a whole number of %2-byte %3")
                            .arg(file.size())
                            .arg(recordSize)
                            .arg(records));
        };
        // Counted before the checks, so a report on a broken file still
        // says how much of it there is.
        m_result.blocks = m_map.size() / MapFiles::mapBlockSize;
        m_result.statics = m_statics.size() / MapFiles::staticItemSize;
        if (!whole(m_map, m_mapName, MapFiles::mapBlockSize, QStringLiteral("blocks"), true)
            || !whole(m_index, m_indexName, MapFiles::indexEntrySize,
                      QStringLiteral("index entries"), true)
            || !whole(m_statics, m_staticsName, MapFiles::staticItemSize, QStringLiteral("statics"),
                      false))
            return false;

        const qint64 entries = m_index.size() / MapFiles::indexEntrySize;
        if (entries != m_result.blocks) {
            const qint64 first = std::min(entries, m_result.blocks);
            return fail(m_indexName, first, first * MapFiles::indexEntrySize,
                        QStringLiteral("it has %1 entries for the %2 blocks of the map")
                            .arg(entries)
                            .arg(m_result.blocks));
        }
        const int blocksHigh = m_result.blocksHigh;
        if (blocksHigh > 0 && m_result.blocks % blocksHigh != 0) {
            const qint64 first = m_result.blocks - m_result.blocks % blocksHigh;
            return fail(m_mapName, first, first * MapFiles::mapBlockSize,
                        QStringLiteral("its %1 blocks are not whole columns of %2 blocks")
                            .arg(m_result.blocks)
                            .arg(blocksHigh));
        }
        return true;
    }

    bool checkBlock(qint64 block, qint64 &expectedOffset)
    {
        const qint64 headerAt = block * MapFiles::mapBlockSize;
        const qint32 header = readInt32(m_map.data(), headerAt);
        if (header != block)
            return fail(m_mapName, block, headerAt,
                        QStringLiteral("the block header reads %1 where %2 was expected: blocks "
                                       "are numbered 0 to n-1 in order")
                            .arg(header)
                            .arg(block));

        const qint64 entryAt = block * MapFiles::indexEntrySize;
        const qint64 offset = readInt32(m_index.data(), entryAt);
        const qint64 length = readInt32(m_index.data(), entryAt + 4);
        const qint32 extra = readInt32(m_index.data(), entryAt + 8);
        // Worded only for a report: formatting it for every block would
        // take longer than the whole check.
        const auto entry = [&] {
            return QStringLiteral("the entry (%1, %2, %3)").arg(offset).arg(length).arg(extra);
        };
        if (offset == -1) {
            return (length == 0 && extra == 0)
                || fail(m_indexName, block, entryAt,
                        entry() + QLatin1String(" of a block without statics must be (-1, 0, 0)"));
        }
        if (length <= 0)
            return fail(m_indexName, block, entryAt,
                        entry() + QLatin1String(" is neither (-1, 0, 0) nor a run of statics"));
        if (length % MapFiles::staticItemSize != 0)
            return fail(m_indexName, block, entryAt,
                        entry()
                            + QStringLiteral(" has a length that is not a multiple of %1")
                                  .arg(MapFiles::staticItemSize));
        if (offset < 0 || offset + length > m_statics.size())
            return fail(m_indexName, block, entryAt,
                        entry()
                            + QStringLiteral(" points outside the statics file, which has %1 "
                                             "bytes")
                                  .arg(m_statics.size()));
        if (offset != expectedOffset)
            return fail(m_indexName, block, entryAt,
                        entry()
                            + QStringLiteral(" starts at %1 where %2 was expected: each block's "
                                             "statics follow the previous block's without gap "
                                             "or overlap")
                                  .arg(offset)
                                  .arg(expectedOffset));

        for (qint64 at = offset; at < offset + length; at += MapFiles::staticItemSize) {
            const int x = m_statics.data()[at + 2];
            const int y = m_statics.data()[at + 3];
            if (x >= MapFiles::cellsPerBlockSide || y >= MapFiles::cellsPerBlockSide)
                return fail(m_staticsName, block, at,
                            QStringLiteral("a static at x %1, y %2 lies outside its block (0 to 7)")
                                .arg(x)
                                .arg(y));
        }
        expectedOffset += length;
        return true;
    }

    MapVerification &m_result;
    QString m_paths[3];
    QString m_mapName;
    QString m_indexName;
    QString m_staticsName;
    MappedFile m_map;
    MappedFile m_index;
    MappedFile m_statics;
};

} // namespace

QString MapVerification::Problem::text() const
{
    QString where = file;
    if (block >= 0)
        where += QStringLiteral(", block %1").arg(block);
    if (byteOffset >= 0)
        where += QStringLiteral(", byte %1").arg(byteOffset);
    return where + QLatin1String(": ") + message;
}

MapVerification verifyMapFiles(const QString &destination, int mapNumber, int blocksHigh)
{
    MapVerification result;
    result.mapNumber = mapNumber;
    result.blocksHigh = blocksHigh > 0 ? blocksHigh : MapFiles::blocksHigh(mapNumber);
    Verifier(destination, result).run();
    // Files that look sound may still come from two passes; and whatever
    // else is wrong, this is why.
    const QString record = CommitRecord::path(destination);
    if (QFileInfo::exists(record))
        result.problem = MapVerification::Problem {
            QDir::toNativeSeparators(QDir::cleanPath(record)), -1, -1,
            QStringLiteral("a pass was stopped while it replaced the map files, so they may come "
                           "from two passes; the next generate into this directory completes "
                           "the replacement")};
    return result;
}

QString unreadableReason(const MapVerification &verification)
{
    if (verification.problem)
        return QStringLiteral("the map files fail verification: %1")
            .arg(verification.problem->text());
    if (verification.blocksHigh <= 0)
        return QStringLiteral("the height of map %1 in blocks is not known")
            .arg(verification.mapNumber);
    if (verification.blocks == 0)
        return QStringLiteral("map%1.mul holds no blocks").arg(verification.mapNumber);
    return {};
}
