// The worker pool: every task runs exactly once per run, whether the workers are still spinning
// from the last run or have gone to sleep; a task's exception reaches the caller; and the pool
// ends cleanly from either state; and row bands cover every row once.
#include "core/render_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace shimmerly {
namespace {

// Runs of several sizes, some back to back (the workers still spin) and some after a pause
// long enough for them to sleep.
TEST(RenderPoolTest, EveryTaskRunsOnceWhetherWorkersSpinOrSleep) {
  for (int workers : {2, 3, 5}) {
    RenderPool pool(workers);
    for (int round = 0; round < 200; ++round) {
      const int tasks = 1 + round % 9;
      std::vector<std::atomic<int>> runs(static_cast<size_t>(tasks));
      std::atomic<int> badWorker{0};
      pool.run(tasks, [&](int index, int worker) {
        runs[static_cast<size_t>(index)].fetch_add(1);
        if (worker < 0 || worker >= workers) badWorker.fetch_add(1);
      });
      for (int i = 0; i < tasks; ++i)
        ASSERT_EQ(runs[static_cast<size_t>(i)].load(), 1)
            << workers << " workers, round " << round << ", task " << i;
      ASSERT_EQ(badWorker.load(), 0);
      if (round % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
}

TEST(RenderPoolTest, RunOnEachReachesEveryWorkerOnce) {
  RenderPool pool(4);
  for (int round = 0; round < 100; ++round) {
    std::vector<std::atomic<int>> seen(4);
    pool.runOnEach([&](int index, int worker) {
      ASSERT_EQ(index, worker);
      seen[static_cast<size_t>(worker)].fetch_add(1);
    });
    for (int w = 0; w < 4; ++w) ASSERT_EQ(seen[static_cast<size_t>(w)].load(), 1) << round;
    if (round % 25 == 24) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The caller gets the exception only once every task has finished or been skipped, and the
// pool serves the next run as before.
TEST(RenderPoolTest, AFailingTaskIsRethrownAndThePoolGoesOn) {
  RenderPool pool(3);
  std::atomic<int> running{0};
  EXPECT_THROW(pool.run(30,
                        [&](int index, int) {
                          running.fetch_add(1);
                          if (index == 3) {
                            running.fetch_sub(1);
                            throw std::runtime_error("task failed");
                          }
                          std::this_thread::sleep_for(std::chrono::microseconds(200));
                          running.fetch_sub(1);
                        }),
               std::runtime_error);
  EXPECT_EQ(running.load(), 0);  // nothing still runs when the caller hears of it
  std::atomic<int> count{0};
  pool.run(10, [&](int, int) { count.fetch_add(1); });
  EXPECT_EQ(count.load(), 10);
}

TEST(RenderPoolTest, EndsWhileWorkersSpinOrSleep) {
  for (int pauseMs : {0, 5}) {
    auto pool = std::make_unique<RenderPool>(4);
    std::atomic<int> count{0};
    pool->run(8, [&](int, int) { count.fetch_add(1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    pool.reset();  // must not hang
    EXPECT_EQ(count.load(), 8);
  }
}

// Every row in exactly one band, bands of consecutive rows, at most one band per worker or row;
// without a pool, or with one row, a single band on the calling thread.
TEST(RowBandsTest, CoverEveryRowOnceInConsecutiveBands) {
  for (const int workers : {0, 2, 3, 7}) {
    std::unique_ptr<RenderPool> pool = workers ? std::make_unique<RenderPool>(workers) : nullptr;
    for (const int64_t rows : {int64_t{0}, int64_t{1}, int64_t{2}, int64_t{5}, int64_t{1000}}) {
      std::vector<std::atomic<int>> seen(static_cast<size_t>(rows));
      std::atomic<int> bands{0}, empty{0};
      const std::thread::id caller = std::this_thread::get_id();
      std::atomic<bool> offCaller{false};
      runRowBands(pool.get(), rows, [&](int64_t begin, int64_t end, int) {
        ++bands;
        if (begin >= end) ++empty;
        if (std::this_thread::get_id() != caller) offCaller = true;
        for (int64_t r = begin; r < end; ++r) ++seen[static_cast<size_t>(r)];
      });
      for (int64_t r = 0; r < rows; ++r)
        ASSERT_EQ(seen[size_t(r)], 1) << rows << " rows, row " << r;
      const int64_t most = workers ? std::min<int64_t>(workers, rows) : 1;
      EXPECT_EQ(bands, std::max<int64_t>(most, 1)) << workers << " workers, " << rows << " rows";
      EXPECT_EQ(empty, rows == 0 ? 1 : 0);
      if (most <= 1) {
        EXPECT_FALSE(offCaller) << workers << " workers, " << rows << " rows";
      }
    }
  }
}

}  // namespace
}  // namespace shimmerly
