#include "columnpipeline.h"

#include <QByteArray>

#include <sched.h>

ColumnPipeline::ColumnPipeline(int columns, int slotCount, bool withWorker, Task prepare,
                               Task render)
    : m_columns(columns),
      m_slots(slotCount),
      m_prepare(std::move(prepare)),
      m_render(std::move(render)),
      m_prepared(slotCount, -1),
      m_rendered(slotCount, -1)
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

bool ColumnPipeline::runTask(std::unique_lock<std::mutex> &lock, int producer)
{
    const Task *task = nullptr;
    std::vector<int> *done = nullptr;
    int column = -1;
    if (m_renderClaimed < m_plannedEnd) {
        column = m_renderClaimed++;
        task = &m_render;
        done = &m_rendered;
    } else if (m_prepareClaimed < m_columns && m_prepareClaimed - m_released < m_slots) {
        column = m_prepareClaimed++;
        task = &m_prepare;
        done = &m_prepared;
    } else {
        return false;
    }
    const int slot = column % m_slots;
    lock.unlock();
    (*task)(column, slot, producer);
    lock.lock();
    (*done)[std::size_t(slot)] = column;
    m_changed.notify_all();
    return true;
}

void ColumnPipeline::waitUntil(const std::vector<int> &done, int column)
{
    std::unique_lock lock(m_mutex);
    while (done[std::size_t(column % m_slots)] != column) {
        if (!runTask(lock, 0))
            m_changed.wait(lock);
    }
}

void ColumnPipeline::waitPrepared(int column)
{
    waitUntil(m_prepared, column);
}

void ColumnPipeline::waitRendered(int column)
{
    waitUntil(m_rendered, column);
}

void ColumnPipeline::planned(int column)
{
    {
        std::lock_guard lock(m_mutex);
        m_plannedEnd = column + 1;
    }
    m_changed.notify_all();
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
    while (!m_stopping && m_renderClaimed < m_columns) {
        if (!runTask(lock, 1))
            m_changed.wait(lock);
    }
}
