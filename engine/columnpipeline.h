#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs the work on block columns that draws no random number on two
// threads, around the work that must happen in order on the caller's
// thread. Each column is prepared (in any order), then planned by the
// caller (in order), then rendered (in any order), then consumed by the
// caller (in order), who releases its slot (column % slotCount) for a later
// column.
//
// A worker thread prepares and renders whatever is next; so does the
// caller whenever what it waits for is not ready, so that it never idles
// while work is left and the two share the work as their speeds allow.
// Without the worker (one core, or asked for) the caller does everything.
class ColumnPipeline
{
public:
    // task(column, slot, producer); producer is 0 on the caller's thread
    // and 1 on the worker, so that each has scratch space of its own.
    using Task = std::function<void(int column, int slot, int producer)>;

    ColumnPipeline(int columns, int slotCount, bool withWorker, Task prepare, Task render);
    // Stops the worker (also when columns were left unconsumed) and joins it.
    ~ColumnPipeline();

    ColumnPipeline(const ColumnPipeline &) = delete;
    ColumnPipeline &operator=(const ColumnPipeline &) = delete;

    // Returns once column has been prepared, working meanwhile.
    void waitPrepared(int column);
    // The caller has planned column, which may now be rendered.
    void planned(int column);
    // Returns once column has been rendered, working meanwhile.
    void waitRendered(int column);
    // The caller is done with column, so its slot may be reused.
    void release(int column);

    // Whether the machine lets a worker run beside the caller: it has two
    // cores for this process, and QUILLMOOR_PASS_THREADS is not 1.
    static bool workerAvailable();

private:
    // Claims and runs the next task, rendering first since the caller is
    // waiting for that; false when none is ready.
    bool runTask(std::unique_lock<std::mutex> &lock, int producer);
    void waitUntil(const std::vector<int> &done, int column);
    void run();

    const int m_columns;
    const int m_slots;
    const Task m_prepare;
    const Task m_render;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // The column whose preparation (rendering) each slot holds; -1 for none.
    std::vector<int> m_prepared;
    std::vector<int> m_rendered;
    int m_prepareClaimed = 0;
    int m_plannedEnd = 0;
    int m_renderClaimed = 0;
    int m_released = 0;
    bool m_stopping = false;
    std::thread m_worker;
};
