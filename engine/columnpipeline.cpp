#include "columnpipeline.h"

#include <QByteArray>

#include <algorithm>

#include <sched.h>
#include <time.h>

namespace {

void spinPause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Columns between two checks of the cores, and windows that a worker that
// did not help rests before it is tried again.
constexpr int windowColumns = 16;
constexpr int restWindows = 4;
constexpr int maximumRestWindows = 64;
// Processor time over wall time that says the worker ran beside the caller,
// and the time the caller may sleep waiting for the worker in one window.
constexpr double twoCores = 1.25;
constexpr qint64 maximumSleep = 1000000;
// How long the caller spins for the worker's last chunk before it sleeps.
constexpr qint64 maximumSpin = 300000;

qint64 nanoseconds(clockid_t clock)
{
    timespec now {};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace

ColumnPipeline::ColumnPipeline(int columns, int blocksPerColumn, int slotCount, bool withWorker,
                               Task prepare, PlanTask plan, Task render)
    : m_columns(columns),
      m_blocksPerColumn(blocksPerColumn),
      m_chunks(std::max(1, (blocksPerColumn + blocksPerChunk - 1) / blocksPerChunk)),
      m_slots(slotCount),
      m_slotColumns(slotCount, -1)
{
    m_prepare.task = std::move(prepare);
    m_prepare.done.assign(slotCount, 0);
    m_render.task = std::move(render);
    m_render.done.assign(slotCount, 0);
    m_plan = std::move(plan);
    if (withWorker) {
        // The first window starts now, so that a core that is not there
        // shows by the second check.
        m_windowStart = nanoseconds(CLOCK_MONOTONIC);
        m_windowCpuStart = nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
        m_worker = std::thread([this] { run(); });
    }
}

ColumnPipeline::~ColumnPipeline()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_workerWake.notify_all();
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

bool ColumnPipeline::canPlan(int producer) const
{
    const int column = m_plannedEnd;
    const auto slot = std::size_t(column % m_slots);
    // One column ahead of the caller's is enough to keep both threads busy;
    // further ahead, a pass stopped early would have taken the draws, and
    // entered the missing indexes, of more columns that it never writes.
    return !m_planning && column < m_columns && column <= m_released + 1
        && m_slotColumns[slot] == column && m_prepare.done[slot] == m_chunks
        && (producer == 0 || m_declined != column);
}

void ColumnPipeline::runPlan(std::unique_lock<std::mutex> &lock, int producer)
{
    const int column = m_plannedEnd;
    m_planning = true;
    lock.unlock();
    const bool planned = m_plan(column, column % m_slots, producer);
    lock.lock();
    m_planning = false;
    if (planned)
        m_plannedEnd = column + 1;
    else
        m_declined = column;
    m_finished.fetch_add(1, std::memory_order_release);
    // Whatever this made possible, the other thread may be waiting for.
    if (producer == 1)
        m_callerWake.notify_all();
    else
        wakeWorker();
}

bool ColumnPipeline::runTask(std::unique_lock<std::mutex> &lock, int producer)
{
    if (canPlan(producer)) {
        runPlan(lock, producer);
        return true;
    }
    Stage *stage = nullptr;
    if (m_render.column < m_plannedEnd) {
        stage = &m_render;
    } else if (m_prepare.column < m_columns && m_prepare.column - m_released < m_slots) {
        stage = &m_prepare;
        if (m_prepare.chunk == 0) {
            const int slot = m_prepare.column % m_slots;
            m_slotColumns[std::size_t(slot)] = m_prepare.column;
            m_prepare.done[std::size_t(slot)] = 0;
            m_render.done[std::size_t(slot)] = 0;
        }
    } else {
        return false;
    }
    const int column = stage->column;
    const int slot = column % m_slots;
    const int firstBlock = stage->chunk * blocksPerChunk;
    const int endBlock = std::min(m_blocksPerColumn, firstBlock + blocksPerChunk);
    if (++stage->chunk == m_chunks) {
        stage->chunk = 0;
        ++stage->column;
    }
    lock.unlock();
    stage->task(column, slot, firstBlock, endBlock, producer);
    lock.lock();
    ++stage->done[std::size_t(slot)];
    m_finished.fetch_add(1, std::memory_order_release);
    // A prepared column may be planned next, by the other thread.
    if (producer == 1)
        m_callerWake.notify_all();
    else if (stage == &m_prepare && stage->done[std::size_t(slot)] == m_chunks)
        wakeWorker();
    return true;
}

void ColumnPipeline::waitUntil(const Stage &stage, int column)
{
    const auto slot = std::size_t(column % m_slots);
    std::unique_lock lock(m_mutex);
    while (m_slotColumns[slot] != column || stage.done[slot] != m_chunks) {
        if (runTask(lock, 0))
            continue;
        // The worker is at the last task this thread waits for (a chunk or
        // the column's plan), which takes it well under a millisecond. Sleeping now would hand the
        // core to another process and, on a busy machine, get it back only
        // after that process's time slice.
        const int finished = m_finished.load(std::memory_order_relaxed);
        lock.unlock();
        const qint64 giveUp = nanoseconds(CLOCK_MONOTONIC) + maximumSpin;
        bool changed = false;
        while (!changed && nanoseconds(CLOCK_MONOTONIC) < giveUp) {
            for (int i = 0; i < 64 && !changed; ++i) {
                spinPause();
                changed = m_finished.load(std::memory_order_acquire) != finished;
            }
        }
        lock.lock();
        if (!changed && m_finished.load(std::memory_order_relaxed) == finished) {
            // The worker has lost its core: a sign that it should rest.
            const qint64 sleepStart = nanoseconds(CLOCK_MONOTONIC);
            m_callerWake.wait(lock);
            m_windowSleep += nanoseconds(CLOCK_MONOTONIC) - sleepStart;
            if (m_workerWorks && m_windowSleep > maximumSleep)
                restWorker();
        }
    }
}

void ColumnPipeline::waitRendered(int column)
{
    waitUntil(m_render, column);
}

void ColumnPipeline::release(int column)
{
    std::lock_guard lock(m_mutex);
    m_released = column + 1;
    if (m_worker.joinable())
        checkCores(m_released);
    wakeWorker();
}

void ColumnPipeline::wakeWorker()
{
    // A resting worker sleeps on, rather than waking to find nothing to do.
    if (m_workerWorks)
        m_workerWake.notify_one();
}

void ColumnPipeline::checkCores(int released)
{
    if (released % windowColumns != 0)
        return;
    const qint64 now = nanoseconds(CLOCK_MONOTONIC);
    const qint64 cpu = nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    if (m_workerWorks && m_windowStart > 0) {
        const double cores = double(cpu - m_windowCpuStart) / double(now - m_windowStart);
        // A window is a few milliseconds long, and on a virtual machine
        // or beside waking daemons one falls short now and then while both
        // threads run; resting for that would cost the pass the rest
        // windows' work on one core. Two in a row say the core is gone.
        if (cores >= twoCores) {
            m_restLength = restWindows;
            m_shortWindow = false;
        } else if (m_shortWindow) {
            restWorker();
        } else {
            m_shortWindow = true;
        }
    } else if (!m_workerWorks && --m_restingWindows <= 0) {
        m_workerWorks = true;
    }
    m_windowStart = now;
    m_windowCpuStart = cpu;
    m_windowSleep = 0;
}

void ColumnPipeline::restWorker()
{
    m_workerWorks = false;
    m_shortWindow = false;
    m_restingWindows = m_restLength;
    // A worker that keeps failing is tried again less and less often.
    m_restLength = std::min(2 * m_restLength, maximumRestWindows);
}

void ColumnPipeline::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping && m_render.column < m_columns) {
        if (!m_workerWorks || !runTask(lock, 1))
            m_workerWake.wait(lock);
    }
}
