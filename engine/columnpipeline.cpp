#include "columnpipeline.h"

ColumnPipeline::ColumnPipeline(int columns, std::function<void(int, int)> produce)
    : m_columns(columns), m_produce(std::move(produce)), m_worker([this] { run(); })
{
}

ColumnPipeline::~ColumnPipeline()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void ColumnPipeline::waitFor(int column)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_produced > column; });
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
    for (int column = 0; column < m_columns; ++column) {
        {
            std::unique_lock lock(m_mutex);
            // Slot column % 2 is free once column - 2 has been released.
            m_changed.wait(lock, [&] { return m_stopping || column - m_released < 2; });
            if (m_stopping)
                return;
        }
        m_produce(column, column % 2);
        {
            std::lock_guard lock(m_mutex);
            m_produced = column + 1;
        }
        m_changed.notify_all();
    }
}
