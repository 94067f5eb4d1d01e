#include "columnpipeline.h"

#include <QByteArray>

#include <sched.h>

ColumnPipeline::ColumnPipeline(int columns, int slotCount, bool withWorker, Produce produce)
    : m_columns(columns), m_slots(slotCount), m_produce(std::move(produce)), m_ready(slotCount, -1)
{
    if (withWorker)
        m_worker = std::thread([this] { run(); });
}

ColumnPipeline::~ColumnPipeline()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

bool ColumnPipeline::workerAvailable()
{
    if (qEnvironmentVariableIntValue("QUILLMOOR_PASS_THREADS") == 1)
        return false;
    cpu_set_t cores;
    return sched_getaffinity(0, sizeof cores, &cores) != 0 || CPU_COUNT(&cores) > 1;
}

int ColumnPipeline::claim()
{
    if (m_claimed == m_columns || m_claimed - m_released >= m_slots)
        return -1;
    return m_claimed++;
}

void ColumnPipeline::produceClaimed(std::unique_lock<std::mutex> &lock, int column, int producer)
{
    lock.unlock();
    m_produce(column, column % m_slots, producer);
    lock.lock();
    m_ready[std::size_t(column % m_slots)] = column;
    m_changed.notify_all();
}

void ColumnPipeline::waitFor(int column)
{
    std::unique_lock lock(m_mutex);
    while (m_ready[std::size_t(column % m_slots)] != column) {
        // The column is the worker's and not done yet: rather than wait,
        // produce the next one, which the worker would come to after it.
        if (const int next = claim(); next >= 0)
            produceClaimed(lock, next, 0);
        else
            m_changed.wait(lock);
    }
}

void ColumnPipeline::release(int column)
{
    {
        std::lock_guard lock(m_mutex);
        m_released = column + 1;
    }
    m_changed.notify_all();
}

void ColumnPipeline::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (const int next = claim(); next >= 0)
            produceClaimed(lock, next, 1);
        else if (m_claimed == m_columns)
            return;
        else
            m_changed.wait(lock);
    }
}
