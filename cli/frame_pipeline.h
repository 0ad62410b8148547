// The overlapped stages of a render run, around the render loop that owns the plug-in: frames
// are read and decoded ahead on a thread of their own (InputAhead), and rendered frames are
// encoded on worker threads and written strictly in frame order (OrderedOutput). Both hold a
// few frames at most. With no worker threads everything runs inline on the caller's thread, in
// the order of a plain loop; the files are the same bytes either way.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace shimmerly::cli {

// Produces items ahead of the consumer on one thread, at most `depth` waiting. `produce`
// returns std::nullopt at the end; an exception it throws is handed to the consumer in turn.
template <typename Item>
class InputAhead {
 public:
  using Producer = std::function<std::optional<Item>()>;
  InputAhead(Producer produce, size_t depth) : produce_(std::move(produce)), depth_(depth) {
    thread_ = std::thread([this] { run(); });
  }
  ~InputAhead() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  InputAhead(const InputAhead&) = delete;
  InputAhead& operator=(const InputAhead&) = delete;

  // Waits for the next item, polling stop() every few milliseconds; std::nullopt at the end or
  // once stop() holds. Rethrows what the producer threw, in its place in the order.
  std::optional<Item> next(const std::function<bool()>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!ready_.empty()) {
        Slot slot = std::move(ready_.front());
        ready_.pop_front();
        changed_.notify_all();
        if (slot.error) std::rethrow_exception(slot.error);
        return std::move(slot.item);
      }
      if (ended_ || stop()) return std::nullopt;
      changed_.wait_for(lock, std::chrono::milliseconds(5));
    }
  }

 private:
  struct Slot {
    std::optional<Item> item;
    std::exception_ptr error;
  };
  void run() {
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stopping_ || ready_.size() < depth_; });
        if (stopping_) return;
      }
      Slot slot;
      try {
        slot.item = produce_();
      } catch (...) {
        slot.error = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex_);
      const bool last = !slot.item || slot.error;
      if (slot.item || slot.error) ready_.push_back(std::move(slot));
      if (last) {
        ended_ = true;
        changed_.notify_all();
        return;
      }
      changed_.notify_all();
    }
  }

  Producer produce_;
  size_t depth_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Slot> ready_;
  bool ended_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

// Encodes on `workers` threads (0: inline in submit) and commits in submission order. A job's
// encode runs in parallel with others; its commit runs once every earlier job has committed,
// and not at all after an earlier job failed. At most `inFlight` jobs are held: submit waits.
class OrderedOutput {
 public:
  using Encoded = std::vector<uint8_t>;
  struct Job {
    std::function<Encoded()> encode;
    std::function<void(const Encoded&)> commit;
  };

  OrderedOutput(int workers, size_t inFlight);
  // Waits for every job held; a failure left untaken is dropped (the caller is unwinding).
  ~OrderedOutput();
  OrderedOutput(const OrderedOutput&) = delete;
  OrderedOutput& operator=(const OrderedOutput&) = delete;

  // Rethrows the first failure, if any job has failed.
  void submit(Job job);
  // How many jobs have committed since the last call; they are the earliest not yet counted.
  int64_t takeCommitted();
  // Rethrows the first failure once, if any job has failed.
  void checkFailure();
  // Waits until every job held has committed or been dropped.
  void drain();

 private:
  struct Entry {
    uint64_t seq;
    Job job;
    bool claimed = false;
  };
  void workerLoop();
  void runJob(std::unique_lock<std::mutex>& lock, Entry& entry);
  void throwIfFailed();

  size_t inFlight_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Entry> jobs_;  // submitted and not yet committed, in order
  uint64_t nextSeq_ = 0;
  uint64_t committedSeq_ = 0;  // jobs with seq below this have committed or been dropped
  int64_t committedUntaken_ = 0;
  std::exception_ptr failure_;
  bool failureTaken_ = false;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace shimmerly::cli
