#pragma once

#include "readpoll.h"
#include "structurestatics.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class PaletteImage;
class QDomElement;
struct MapTables;

// Receives the diagnostic line that every structure tile record writes.
using StructureTraceHandler = std::function<void(const QString &line)>;

// Stamps the placements of a structure file into StructureStatics for one
// pass over a map of blocksWide x blocksHigh blocks.
class StructureStamper
{
public:
    StructureStamper(MapTables &tables, StructureStatics &statics, const PaletteImage &altitude,
                     int blocksWide, int blocksHigh, StructureTraceHandler trace);

    // loadStructureFile tells report how many bytes of the tile files it
    // has read, and stops when report says so.
    void setProgressReport(ReadPoll::Report report) { m_report = std::move(report); }

    // Empties StructureStatics, then stamps every MLT element below the root
    // in document order. A file that cannot be read or parsed stamps nothing.
    void loadStructureFile(const QString &path);
    // Stamps one MLT element. Its base altitude is looked up first, so an
    // altitude index missing from AltitudeTable is entered (with 0) even when
    // the tile file then cannot be read.
    void stampStructure(const QDomElement &placement);

    int placementsRead() const { return m_placementsRead; }
    qint64 objectsStamped() const { return m_objectsStamped; }
    qint64 objectsOffMap() const { return m_objectsOffMap; }
    // Stamping stopped because the structure statics alone would outgrow the
    // 2 GiB that the index file's 32-bit offsets can address.
    bool outgrewStaticsFile() const { return m_outgrewStaticsFile; }
    // The progress report stopped the stamping part of the way.
    bool stopped() const { return m_stopped; }

private:
    // What one MLT element says.
    struct Placement
    {
        bool useInvisible = false;
        int locationX = 0;
        int locationY = 0;
        int anchorX = 0;
        int anchorY = 0;
        QString tileFile;
        // What the progress counts for it: the tile file's size.
        qint64 bytes = 0;
    };

    static Placement readPlacement(const QDomElement &element);
    void stamp(const Placement &placement);
    std::int8_t baseAltitude(int x, int y);

    MapTables &m_tables;
    StructureStatics &m_statics;
    const PaletteImage &m_altitude;
    int m_blocksWide;
    int m_blocksHigh;
    StructureTraceHandler m_trace;
    ReadPoll::Report m_report;
    // Set while loadStructureFile stamps.
    ReadPoll *m_poll = nullptr;
    // Reused by every placement; tile files are streamed through it.
    std::vector<char> m_chunk;
    qint64 m_staticsBytes = 0;
    int m_placementsRead = 0;
    qint64 m_objectsStamped = 0;
    qint64 m_objectsOffMap = 0;
    bool m_outgrewStaticsFile = false;
    bool m_stopped = false;
};
