#include "readpoll.h"

#include <utility>

namespace {
constexpr qint64 reportIntervalMs = 50;
} // namespace

ReadPoll::ReadPoll(qint64 total, Report report) : m_report(std::move(report)), m_total(total) { }

bool ReadPoll::poll(qint64 position)
{
    // The position moves a buffer at a time; between two moves there is
    // too little work to be worth a look at the clock.
    if (m_stopped || position == m_lastPosition)
        return m_stopped;
    m_lastPosition = position;
    if (m_sinceReport.isValid() && m_sinceReport.elapsed() < reportIntervalMs)
        return false;
    m_sinceReport.start();
    m_stopped = m_report(m_base + position, m_total);
    return m_stopped;
}

void ReadPoll::fileDone(qint64 size)
{
    m_base += size;
    m_lastPosition = -1;
}
