#include "structurefile.h"

#include "engine/mapfiles.h"
#include "engine/paletteimage.h"
#include "maptables.h"
#include "xmldocument.h"

#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

namespace {
constexpr qint64 tileHeaderSize = 4;
constexpr qint64 tileRecordSize = 12;
// Records read at a time: a tile file of any size costs this much memory.
constexpr qint64 recordsPerChunk = 5461;
constexpr qint64 maxStaticsBytes = std::numeric_limits<qint32>::max();

std::uint16_t field(const char *record, int offset)
{
    return qFromLittleEndian<std::uint16_t>(record + offset);
}
} // namespace

StructureStamper::StructureStamper(MapTables &tables, StructureStatics &statics,
                                   const PaletteImage &altitude, int blocksWide, int blocksHigh,
                                   StructureTraceHandler trace)
    : m_tables(tables),
      m_statics(statics),
      m_altitude(altitude),
      m_blocksWide(blocksWide),
      m_blocksHigh(blocksHigh),
      m_trace(std::move(trace))
{
}

void StructureStamper::loadStructureFile(const QString &path)
{
    m_statics.clear();
    m_staticsBytes = 0;
    const XmlDocumentResult xml = readXmlDocument(path);
    if (!xml.ok)
        return;
    QList<Placement> placements;
    qint64 bytes = 0;
    for (const QDomElement &element :
         descendantElements(xml.document.documentElement(), QStringLiteral("MLT"))) {
        placements.append(readPlacement(element));
        bytes += placements.constLast().bytes;
    }
    std::optional<ReadPoll> poll;
    if (m_report)
        poll.emplace(bytes, m_report);
    m_poll = poll ? &*poll : nullptr;
    for (const Placement &placement : std::as_const(placements)) {
        if (m_outgrewStaticsFile || m_stopped)
            break;
        stamp(placement);
        if (m_poll)
            m_poll->fileDone(placement.bytes);
    }
    m_poll = nullptr;
}

void StructureStamper::stampStructure(const QDomElement &placement)
{
    stamp(readPlacement(placement));
}

StructureStamper::Placement StructureStamper::readPlacement(const QDomElement &element)
{
    Placement placement;
    placement.useInvisible = element.attribute(QStringLiteral("Invisible")) == u"True";
    QDomElement location;
    for (QDomElement child = element.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName() == u"Location")
            location = child;
        else if (child.tagName() == u"File")
            placement.tileFile = child.firstChild().toText().data();
    }
    // A null element reads every attribute as 0, as a placement without
    // Location should.
    placement.locationX = location.attribute(QStringLiteral("X")).toInt();
    placement.locationY = location.attribute(QStringLiteral("Y")).toInt();
    placement.anchorX = location.attribute(QStringLiteral("OffsetX")).toInt();
    placement.anchorY = location.attribute(QStringLiteral("OffsetY")).toInt();
    const QFileInfo info(placement.tileFile);
    placement.bytes = info.isFile() ? info.size() : 0;
    return placement;
}

void StructureStamper::stamp(const Placement &placement)
{
    if (m_poll && m_poll->poll(0)) {
        m_stopped = true;
        return;
    }
    ++m_placementsRead;
    const std::int8_t base = baseAltitude(placement.locationX, placement.locationY);

    // A named pipe or a device is no tile file: opening it could wait
    // forever and reading it never end.
    if (!QFileInfo(placement.tileFile).isFile())
        return;
    QFile file(placement.tileFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // Shorter than a header and one record: no record at all. The size is
    // trusted only as an upper bound; a file that shrinks ends the reading.
    const qint64 size = file.size();
    if (size < tileHeaderSize + tileRecordSize || !file.seek(tileHeaderSize))
        return;
    qint64 remaining = (size - tileHeaderSize) / tileRecordSize;

    // Only the position modulo 2^16 matters, so unsigned arithmetic gives
    // the 16-bit wrap without overflowing on extreme locations.
    const std::uint32_t originX =
        std::uint32_t(placement.locationX) - std::uint32_t(placement.anchorX);
    const std::uint32_t originY =
        std::uint32_t(placement.locationY) - std::uint32_t(placement.anchorY);
    const int mapWidth = m_blocksWide * MapFiles::cellsPerBlockSide;
    const int mapHeight = m_blocksHigh * MapFiles::cellsPerBlockSide;
    const QString tracePrefix = QStringLiteral("visible flas was ");
    const bool useInvisible = placement.useInvisible;
    const QString traceSuffix = useInvisible ? QStringLiteral(" and useInvisible is 1")
                                             : QStringLiteral(" and useInvisible is 0");
    m_chunk.resize(recordsPerChunk * tileRecordSize);

    while (remaining > 0) {
        // Each chunk's trace lines take a few milliseconds; a sparse file of
        // gigabytes must still stop as soon as the user aborts.
        if (m_poll && m_poll->poll(file.pos())) {
            m_stopped = true;
            return;
        }
        const qint64 wanted = std::min(remaining, recordsPerChunk) * tileRecordSize;
        const qint64 got = file.read(m_chunk.data(), wanted);
        const qint64 records = std::max<qint64>(got, 0) / tileRecordSize;
        for (qint64 i = 0; i < records; ++i) {
            const char *record = m_chunk.data() + i * tileRecordSize;
            const std::uint16_t visible = field(record, 8);
            m_trace(tracePrefix + QString::number(visible) + traceSuffix);
            if (visible == 0 && !useInvisible)
                continue;
            const auto mapX = static_cast<std::int16_t>(originX + field(record, 2));
            const auto mapY = static_cast<std::int16_t>(originY + field(record, 4));
            if (mapX < 0 || mapY < 0 || mapX >= mapWidth || mapY >= mapHeight) {
                ++m_objectsOffMap;
                continue;
            }
            if (m_staticsBytes + MapFiles::staticItemSize > maxStaticsBytes) {
                m_outgrewStaticsFile = true;
                return;
            }
            const int blockNumber = mapX / MapFiles::cellsPerBlockSide * m_blocksHigh
                + mapY / MapFiles::cellsPerBlockSide;
            const auto z = static_cast<std::int8_t>(base + (field(record, 6) & 0xff));
            std::uint8_t item[MapFiles::staticItemSize];
            MapFiles::appendStaticItem(
                item, field(record, 0), std::uint8_t(mapX % MapFiles::cellsPerBlockSide),
                std::uint8_t(mapY % MapFiles::cellsPerBlockSide), z, field(record, 10));
            m_statics[blockNumber].append(reinterpret_cast<const char *>(item), sizeof item);
            m_staticsBytes += MapFiles::staticItemSize;
            ++m_objectsStamped;
        }
        if (got != wanted)
            return;
        remaining -= records;
    }
}

std::int8_t StructureStamper::baseAltitude(int x, int y)
{
    // Outside the image there is no palette index to look up: the placement
    // stands on altitude 0 and the table is left alone.
    if (x < 0 || y < 0 || x >= m_altitude.width() || y >= m_altitude.height())
        return 0;
    const std::uint8_t index = m_altitude.index(x, y);
    if (!m_tables.AltitudeTable.contains(index))
        m_tables.AltitudeTable.insert(index, 0);
    return m_tables.AltitudeTable.value(index);
}
