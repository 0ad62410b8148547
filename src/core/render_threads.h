// The render's worker threads and the one place that splits pixel work into row bands. A
// RenderPool runs tasks on its threads plus the calling thread; runPolledRows keeps the host's
// per-row interrupt question on the calling thread, in row order, and never lets a worker touch
// a row that has not been polled yet.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace shimmerly {

// How run() hands out tasks: to every thread as they come, or one after another on the calling
// thread in a fixed order, which lets tests replay the orders threads only sometimes produce.
enum class TaskOrder { kConcurrent, kForward, kReverse };

class RenderPool {
 public:
  // workerCount counts the calling thread too: 1 means no extra threads at all.
  explicit RenderPool(int workerCount, TaskOrder order = TaskOrder::kConcurrent);
  ~RenderPool();
  RenderPool(const RenderPool&) = delete;
  RenderPool& operator=(const RenderPool&) = delete;

  int workerCount() const { return workerCount_; }

  // Runs task(index, worker) for every index in [0, taskCount), each exactly once, on the pool's
  // threads and the caller (worker 0); returns when all are done. The first exception thrown by
  // a task is rethrown here after every task has finished or been skipped.
  void run(int taskCount, const std::function<void(int index, int worker)>& task);
  // Runs task(worker, worker) once on every worker, the caller being worker 0.
  void runOnEach(const std::function<void(int index, int worker)>& task);

 private:
  void workerLoop(int worker);
  void drain(int worker);
  void start(int taskCount, bool onEach, const std::function<void(int, int)>& task);

  int workerCount_;
  TaskOrder order_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void(int, int)>* task_ = nullptr;
  int taskCount_ = 0;
  bool onEach_ = false;
  std::atomic<int> nextTask_{0};
  // generation_ and stopping_ change under mutex_, busyWorkers_ counts down outside it; threads
  // that spin read all three without the mutex.
  std::atomic<int> busyWorkers_{0};
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> stopping_{false};
  std::exception_ptr failure_;
};

// Thread count used when nothing else is asked for: the count the environment variable
// SHIMMERLY_THREADS gives (for benchmarks), else the processor count; at least 1, at most 16.
int defaultRenderThreads();

// Splits [0, count) into `parts` nearly equal consecutive ranges; returns range `index`.
struct RowRange {
  int32_t begin, end;
};
RowRange bandOf(int32_t count, int32_t parts, int32_t index);

// Runs work(rowBegin, rowEnd, worker) over [0, rowCount) split into nearly equal bands, one per
// worker of the pool (at most one per row), on the pool's threads; or as one band on the
// calling thread when there is no pool or the rows make one band.
void runRowBands(RenderPool* pool, int64_t rowCount,
                 const std::function<void(int64_t begin, int64_t end, int worker)>& work);

// Asks poll(r) for r = 0, 1, ... in order on the calling thread; rows are handed to
// work(rowBegin, rowEnd, worker) in bands only after each of their rows was polled and allowed.
// When poll(r) answers "stop", rows from r on are never worked on, and the rows before r are
// all finished before this returns r. Returns rowCount when nothing stopped. pool may be null.
int32_t runPolledRows(RenderPool* pool, int32_t rowCount, const std::function<bool(int32_t)>& poll,
                      const std::function<void(int32_t, int32_t, int)>& work);

}  // namespace shimmerly
