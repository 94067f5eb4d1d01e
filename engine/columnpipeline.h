#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Produces block columns on a worker thread while the caller consumes them,
// at most two columns ahead, in two alternating slots (column % 2). The work
// that does not depend on the order of random draws runs ahead this way on
// the second core.
class ColumnPipeline
{
public:
    // produce(column, slot) fills slot for column; it runs on the worker.
    ColumnPipeline(int columns, std::function<void(int column, int slot)> produce);
    // Stops the worker (also when columns were left unconsumed) and joins it.
    ~ColumnPipeline();

    ColumnPipeline(const ColumnPipeline &) = delete;
    ColumnPipeline &operator=(const ColumnPipeline &) = delete;

    // Blocks until column has been produced; its slot is column % 2.
    void waitFor(int column);
    // The caller is done with column, so its slot may be reused.
    void release(int column);

private:
    void run();

    const int m_columns;
    const std::function<void(int, int)> m_produce;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_produced = 0;
    int m_released = 0;
    bool m_stopping = false;
    std::thread m_worker;
};
