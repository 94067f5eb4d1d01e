#pragma once

#include <QElapsedTimer>

#include <functional>

// Lets a long read (the files of a data directory, the tile files of the
// structures) say how far it got and learn whether to stop. The report runs
// about every 50 ms, so an abort is seen well within 100 ms, while the read
// may ask for every token it parses.
class ReadPoll
{
public:
    // Told the bytes done of total; returns true to stop the read.
    using Report = std::function<bool(qint64 done, qint64 total)>;

    ReadPoll(qint64 total, Report report);

    // True when the read is to stop. position counts the bytes read of the
    // current file. The first call always reports.
    bool poll(qint64 position);
    // The same for work on what was read, the position staying where it is.
    bool poll() { return poll(m_position); }
    // The current file is done; positions count on from its size, which is
    // what the total counted for it.
    void fileDone(qint64 size);
    bool stopped() const { return m_stopped; }

private:
    Report m_report;
    qint64 m_total;
    qint64 m_base = 0;
    qint64 m_position = 0;
    int m_callsWithoutLook = 0;
    QElapsedTimer m_sinceReport;
    bool m_stopped = false;
};
