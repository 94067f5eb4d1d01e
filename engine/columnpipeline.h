#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs the work on block columns on two threads, around the work that must
// happen in order. Each column is prepared (in any order), then planned (in
// order, one column at a time, on either thread, at most one column ahead
// of the one being consumed), then rendered (in any order), then consumed by
// the caller (in order), who releases its slot (column % slotCount) for a
// later column. Preparing and rendering go in chunks of a column's blocks.
//
// A worker thread plans, renders and prepares whatever is next; so does the
// caller whenever what it waits for is not ready, so that it never idles
// while work is left, and waits at most for the task that the worker is at.
// While the caller consumes (writes) a column, the worker meanwhile can
// plan the next: only the consuming is the caller's alone. The two share the work as
// their speeds allow: a worker that gets little of a core leaves most tasks
// to the caller. Without the worker (one core, or asked for) the caller
// does everything.
class ColumnPipeline
{
public:
    // task(column, slot, firstBlock, endBlock, producer) does the blocks
    // from firstBlock to before endBlock of column; producer is 0 on the
    // caller's thread and 1 on the worker, so that each has scratch space
    // of its own.
    using Task =
        std::function<void(int column, int slot, int firstBlock, int endBlock, int producer)>;
    // plan(column, slot, producer) plans the whole column; on the worker it
    // may decline, returning false before it changes anything, and the
    // caller then plans that column.
    using PlanTask = std::function<bool(int column, int slot, int producer)>;

    ColumnPipeline(int columns, int blocksPerColumn, int slotCount, bool withWorker, Task prepare,
                   PlanTask plan, Task render);
    // Stops the worker (also when columns were left unconsumed) and joins it.
    ~ColumnPipeline();

    ColumnPipeline(const ColumnPipeline &) = delete;
    ColumnPipeline &operator=(const ColumnPipeline &) = delete;

    static constexpr int blocksPerChunk = 64;

    // Returns once column has been rendered, working meanwhile.
    void waitRendered(int column);
    // The caller is done with column, so its slot may be reused.
    void release(int column);

    // Whether the machine lets a worker run beside the caller: it has two
    // cores for this process, and QUILLMOOR_PASS_THREADS is not 1. Even
    // then a second core may not really be there (the machine is busy, or
    // the process's share is capped): every so many columns the pipeline
    // checks how much processor time the two threads got together, and
    // when it was not clearly more than one core's worth twice in a row, or
    // at once when the caller had to sleep waiting for the worker, the
    // worker rests (tried again after a while, longer each time it fails),
    // since two threads that take turns on one core only add the cost of
    // handing work over.
    static bool workerAvailable();

private:
    // The next chunk of one kind of work to claim, and the chunks done per
    // slot, for the column that the slot holds.
    struct Stage
    {
        Task task;
        int column = 0;
        int chunk = 0;
        std::vector<int> done;
    };

    // Claims and runs the next task: planning first, which the rendering
    // waits for, then rendering, which the caller waits for, then
    // preparing; false when none is ready.
    bool runTask(std::unique_lock<std::mutex> &lock, int producer);
    bool canPlan(int producer) const;
    void runPlan(std::unique_lock<std::mutex> &lock, int producer);
    void waitUntil(const Stage &stage, int column);
    void run();
    // At the end of every window of columns: whether the worker works
    // during the next.
    void checkCores(int released);
    void restWorker();
    void wakeWorker();

    const int m_columns;
    const int m_blocksPerColumn;
    const int m_chunks;
    const int m_slots;
    std::mutex m_mutex;
    std::condition_variable m_callerWake;
    std::condition_variable m_workerWake;
    Stage m_prepare;
    Stage m_render;
    PlanTask m_plan;
    // Planning: whether a thread is at it, and the last column that the
    // worker declined.
    bool m_planning = false;
    int m_declined = -1;
    // The column each slot holds; -1 for none.
    std::vector<int> m_slotColumns;
    // The column that is planned next.
    int m_plannedEnd = 0;
    int m_released = 0;
    bool m_stopping = false;
    // Counts finished chunks, for a caller that waits for one without
    // giving up its core.
    std::atomic<int> m_finished = 0;
    bool m_workerWorks = true;
    // Whether the last window that the worker worked in fell short of two
    // cores.
    bool m_shortWindow = false;
    int m_restingWindows = 0;
    int m_restLength = 4;
    qint64 m_windowStart = 0;
    qint64 m_windowCpuStart = 0;
    // How long the caller slept waiting for the worker in this window.
    qint64 m_windowSleep = 0;
    std::thread m_worker;
};
