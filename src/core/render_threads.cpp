// The render's worker pool and its two schedulers: plain task lists and polled row bands.
// Between runs, workers first spin for a short while and then sleep on a condition variable;
// tasks are claimed through one atomic counter so that a task runs exactly once whatever the
// number of threads.
#include "core/render_threads.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace shimmerly {

namespace {

// How long a thread that waits for the pool spins before it sleeps. A render hands the pool
// several runs in quick succession (the passes of a spread, the composite), and waking a thread
// that sleeps costs tens of microseconds, more on virtual machines whose idle processors halt;
// a thread that spins picks the next run up at once. Between frames the threads go to sleep
// after this long, so an idle host loses no more than this much processor time per frame.
constexpr auto kSpinBeforeSleep = std::chrono::microseconds(200);

// The processor's spin-wait hint where there is one (x86 pause, ARM yield), which keeps the
// spinning thread off the system call that std::this_thread::yield makes.
void pauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#elif defined(__aarch64__) && defined(__GNUC__)
  __asm__ __volatile__("yield");
#else
  std::this_thread::yield();
#endif
}

// Spins until done() holds or kSpinBeforeSleep has passed; returns done().
template <typename Done>
bool spinUntil(Done&& done) {
  const auto until = std::chrono::steady_clock::now() + kSpinBeforeSleep;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (done()) return true;
      pauseBriefly();
    }
    if (std::chrono::steady_clock::now() >= until) return done();
  }
}

}  // namespace

RenderPool::RenderPool(int workerCount, TaskOrder order)
    : workerCount_(std::max(1, workerCount)), order_(order) {
  threads_.reserve(workerCount_ - 1);
  for (int w = 1; w < workerCount_; ++w) threads_.emplace_back([this, w] { workerLoop(w); });
}

RenderPool::~RenderPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_.store(true);
  }
  wake_.notify_all();
  for (auto& t : threads_) t.join();
}

void RenderPool::drain(int worker) {
  if (onEach_) {
    try {
      (*task_)(worker, worker);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
    }
    return;
  }
  for (;;) {
    const int index = nextTask_.fetch_add(1, std::memory_order_relaxed);
    if (index >= taskCount_) return;
    try {
      (*task_)(index, worker);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
      // Skip what is left: the caller reports the failure.
      nextTask_.store(taskCount_, std::memory_order_relaxed);
    }
  }
}

void RenderPool::workerLoop(int worker) {
  uint64_t seen = 0;
  for (;;) {
    auto called = [&] { return stopping_.load() || generation_.load() != seen; };
    if (!spinUntil(called)) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, called);
    }
    if (stopping_.load()) return;
    seen = generation_.load();
    drain(worker);
    if (busyWorkers_.fetch_sub(1) == 1) {
      // The caller checks busyWorkers_ under the mutex before it sleeps: taking the mutex here
      // makes sure it either saw the count or is asleep and gets the notification.
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_all();
    }
  }
}

void RenderPool::run(int taskCount, const std::function<void(int, int)>& task) {
  if (taskCount <= 0) return;
  if (order_ == TaskOrder::kReverse) {
    for (int i = taskCount - 1; i >= 0; --i) task(i, 0);
    return;
  }
  if (workerCount_ == 1 || taskCount == 1 || order_ == TaskOrder::kForward) {
    for (int i = 0; i < taskCount; ++i) task(i, 0);
    return;
  }
  start(taskCount, false, task);
}

void RenderPool::runOnEach(const std::function<void(int, int)>& task) {
  if (workerCount_ == 1) {
    task(0, 0);
    return;
  }
  start(workerCount_, true, task);
}

void RenderPool::start(int taskCount, bool onEach, const std::function<void(int, int)>& task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    taskCount_ = taskCount;
    onEach_ = onEach;
    nextTask_.store(0, std::memory_order_relaxed);
    busyWorkers_.store(workerCount_ - 1);
    failure_ = nullptr;
    generation_.fetch_add(1);
  }
  wake_.notify_all();
  drain(0);
  auto finished = [&] { return busyWorkers_.load() == 0; };
  std::exception_ptr failure;
  if (!spinUntil(finished)) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, finished);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = nullptr;
    failure = failure_;
    failure_ = nullptr;
  }
  if (failure) std::rethrow_exception(failure);
}

int defaultRenderThreads() {
  if (const char* wanted = std::getenv("SHIMMERLY_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(wanted, &end, 10);
    if (end != wanted && *end == '\0' && n > 0) return static_cast<int>(std::min(n, 16L));
  }
  const unsigned n = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(n == 0 ? 1u : n, 1u, 16u));
}

RowRange bandOf(int32_t count, int32_t parts, int32_t index) {
  const int64_t begin = static_cast<int64_t>(count) * index / parts;
  const int64_t end = static_cast<int64_t>(count) * (index + 1) / parts;
  return {static_cast<int32_t>(begin), static_cast<int32_t>(end)};
}

void runRowBands(RenderPool* pool, int64_t rowCount,
                 const std::function<void(int64_t, int64_t, int)>& work) {
  const int parts = pool ? static_cast<int>(std::min<int64_t>(pool->workerCount(), rowCount)) : 1;
  if (parts <= 1) {
    work(0, rowCount, 0);
    return;
  }
  pool->run(parts, [&](int index, int worker) {
    const RowRange band = bandOf(static_cast<int32_t>(rowCount), parts, index);
    work(band.begin, band.end, worker);
  });
}

int32_t runPolledRows(RenderPool* pool, int32_t rowCount, const std::function<bool(int32_t)>& poll,
                      const std::function<void(int32_t, int32_t, int)>& work) {
  const int workers = pool ? pool->workerCount() : 1;
  if (workers == 1) {
    // Poll a row, then work on it: the host sees progress exactly as rows are made.
    for (int32_t r = 0; r < rowCount; ++r) {
      if (poll(r)) return r;
      work(r, r + 1, 0);
    }
    return rowCount;
  }
  // Bands small enough to balance, large enough to amortise the hand-over.
  const int32_t bandRows = std::max<int32_t>(4, std::min<int32_t>(32, rowCount / (workers * 8)));
  const int32_t bandCount = (rowCount + bandRows - 1) / bandRows;
  // The calling thread polls ahead of the band it is about to work on by this many rows, so that
  // the other workers find their bands released.
  const int32_t lookahead = bandRows * workers;
  std::atomic<int32_t> released{0};  // rows [0, released) were polled and allowed
  std::atomic<bool> stopped{false};
  int32_t stopRow = rowCount;  // written by worker 0 only, read after the run
  std::atomic<int32_t> nextBand{0};

  auto pollUpTo = [&](int32_t limit) {
    int32_t r = released.load(std::memory_order_relaxed);
    limit = std::min(limit, rowCount);
    while (r < limit && !stopped.load(std::memory_order_relaxed)) {
      if (poll(r)) {
        stopRow = r;
        stopped.store(true, std::memory_order_release);
        return;
      }
      released.store(++r, std::memory_order_release);
    }
  };

  pool->runOnEach([&](int, int worker) {
    try {
      for (;;) {
        const int32_t band = nextBand.fetch_add(1, std::memory_order_relaxed);
        if (band >= bandCount) break;
        const int32_t begin = band * bandRows;
        int32_t end = std::min(rowCount, begin + bandRows);
        if (worker == 0) {
          pollUpTo(end + lookahead);
        } else {
          while (released.load(std::memory_order_acquire) < end &&
                 !stopped.load(std::memory_order_acquire)) {
            std::this_thread::yield();
          }
        }
        end = std::min(end, released.load(std::memory_order_acquire));
        if (begin >= end) break;  // stopped before this band
        work(begin, end, worker);
      }
      // Bands claimed by other workers may still wait for their rows to be polled.
      if (worker == 0) pollUpTo(rowCount);
    } catch (...) {
      // Release the waiting workers; the pool rethrows on the caller.
      stopped.store(true, std::memory_order_release);
      throw;
    }
  });
  return stopped.load() ? stopRow : rowCount;
}

}  // namespace shimmerly
