#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Produces block columns ahead of a caller that consumes them in order, into
// slots that the caller releases column by column (a column's slot is
// column % slotCount). A worker thread produces the next unclaimed column; so
// does the caller whenever the column it waits for is not ready, so that it
// never idles while work is left and the two share the work as their
// speeds allow. Without the worker (one core, or asked for) the caller
// produces every column itself, just before consuming it.
class ColumnPipeline
{
public:
    // produce(column, slot, producer) fills slot for column; producer is 0 on
    // the caller's thread and 1 on the worker, so that each has scratch
    // space of its own.
    using Produce = std::function<void(int column, int slot, int producer)>;

    ColumnPipeline(int columns, int slotCount, bool withWorker, Produce produce);
    // Stops the worker (also when columns were left unconsumed) and joins it.
    ~ColumnPipeline();

    ColumnPipeline(const ColumnPipeline &) = delete;
    ColumnPipeline &operator=(const ColumnPipeline &) = delete;

    // Returns once column has been produced, producing columns meanwhile.
    void waitFor(int column);
    // The caller is done with column, so its slot may be reused.
    void release(int column);

    // Whether the machine lets a worker run beside the caller: it has two
    // cores for this process, and QUILLMOOR_PASS_THREADS is not 1.
    static bool workerAvailable();

private:
    // Claims the next column, if there is one and a slot for it; -1 if not.
    int claim();
    void produceClaimed(std::unique_lock<std::mutex> &lock, int column, int producer);
    void run();

    const int m_columns;
    const int m_slots;
    const Produce m_produce;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // The column that each slot holds, once produced; -1 while none.
    std::vector<int> m_ready;
    int m_claimed = 0;
    int m_released = 0;
    bool m_stopping = false;
    std::thread m_worker;
};
