#include "readpoll.h"

#include <utility>

namespace {
constexpr qint64 reportIntervalMs = 50;
// Calls without a move of the position between two looks at the clock.
constexpr int callsPerLook = 1024;
} // namespace

ReadPoll::ReadPoll(qint64 total, Report report) : m_report(std::move(report)), m_total(total) { }

bool ReadPoll::poll(qint64 position)
{
    if (m_stopped)
        return true;
    // The position moves a buffer at a time; between two moves a look at
    // the clock every so many calls is enough.
    const bool moved = position != m_position;
    m_position = position;
    if (!moved && ++m_callsWithoutLook < callsPerLook && m_sinceReport.isValid())
        return false;
    m_callsWithoutLook = 0;
    if (m_sinceReport.isValid() && m_sinceReport.elapsed() < reportIntervalMs)
        return false;
    m_sinceReport.start();
    m_stopped = m_report(m_base + position, m_total);
    return m_stopped;
}

void ReadPoll::fileDone(qint64 size)
{
    m_base += size;
    m_position = 0;
}
