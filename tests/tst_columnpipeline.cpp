#include "engine/columnpipeline.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// What the pass relies on: every column is prepared, planned and rendered
// in full, planned in column order, after its preparing, at most one column
// ahead of the one consumed, and rendered after its plan; a column that the
// worker declines to plan is planned by the caller.
class TestColumnPipeline : public QObject
{
    Q_OBJECT

private slots:
    void keepsItsOrder_data()
    {
        QTest::addColumn<bool>("withWorker");
        QTest::addColumn<int>("blocksPerColumn");
        QTest::newRow("caller alone") << false << 130;
        QTest::newRow("with the worker") << true << 130;
        QTest::newRow("with the worker, one chunk a column") << true << 1;
    }

    void keepsItsOrder()
    {
        QFETCH(bool, withWorker);
        QFETCH(int, blocksPerColumn);
        constexpr int columns = 300;
        constexpr int slotCount = 4;
        const int chunks =
            (blocksPerColumn + ColumnPipeline::blocksPerChunk - 1) / ColumnPipeline::blocksPerChunk;
        std::vector<std::atomic<int>> prepared(columns), rendered(columns);
        std::vector<std::atomic<int>> plannedBy(columns);
        for (auto &producer : plannedBy)
            producer = -1;
        std::atomic<int> consumed = 0;
        std::atomic<int> faults = 0;
        std::mutex mutex;
        std::vector<int> planOrder;
        const auto slotHolds = [&](int column, int slot) {
            if (slot != column % slotCount)
                ++faults;
        };
        ColumnPipeline pipeline(
            columns, blocksPerColumn, slotCount, withWorker,
            [&](int column, int slot, int, int, int) {
                slotHolds(column, slot);
                ++prepared[column];
            },
            [&](int column, int slot, int producer) {
                // The worker leaves every third column to the caller.
                if (producer == 1 && column % 3 == 0)
                    return false;
                slotHolds(column, slot);
                if (prepared[column] != chunks || column > consumed + 1)
                    ++faults;
                std::lock_guard lock(mutex);
                planOrder.push_back(column);
                plannedBy[column] = producer;
                return true;
            },
            [&](int column, int slot, int, int, int) {
                slotHolds(column, slot);
                if (plannedBy[column] < 0)
                    ++faults;
                ++rendered[column];
            });
        for (int column = 0; column < columns; ++column) {
            pipeline.waitRendered(column);
            QCOMPARE(rendered[column].load(), chunks);
            // Writing takes its time, in which the worker runs ahead.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            consumed = column + 1;
            pipeline.release(column);
        }
        QCOMPARE(faults.load(), 0);
        QCOMPARE(int(planOrder.size()), columns);
        for (int column = 0; column < columns; ++column) {
            QCOMPARE(planOrder[std::size_t(column)], column);
            if (column % 3 == 0)
                QCOMPARE(plannedBy[column].load(), 0);
        }
    }
};

QTEST_APPLESS_MAIN(TestColumnPipeline)
#include "tst_columnpipeline.moc"
