// The ordered output stage: encoding on worker threads, commits in submission order.
#include "cli/frame_pipeline.h"

#include <algorithm>

namespace shimmerly::cli {

OrderedOutput::OrderedOutput(int workers, size_t inFlight)
    : inFlight_(std::max<size_t>(1, inFlight)) {
  for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { workerLoop(); });
}

OrderedOutput::~OrderedOutput() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.empty() || threads_.empty(); });
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void OrderedOutput::checkFailure() {
  std::lock_guard<std::mutex> lock(mutex_);
  throwIfFailed();
}

void OrderedOutput::throwIfFailed() {
  if (failure_ && !failureTaken_) {
    failureTaken_ = true;
    std::rethrow_exception(failure_);
  }
}

// Runs one claimed job with the lock released around its encode and commit; returns with the
// lock held and the job gone from the list.
void OrderedOutput::runJob(std::unique_lock<std::mutex>& lock, Entry& entry) {
  const uint64_t seq = entry.seq;
  Job job = std::move(entry.job);
  lock.unlock();
  Encoded bytes;
  std::exception_ptr error;
  try {
    bytes = job.encode();
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  changed_.wait(lock, [&] { return committedSeq_ == seq; });
  if (!error && !failure_) {
    lock.unlock();
    try {
      job.commit(bytes);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
  }
  if (error && !failure_) failure_ = error;
  if (!error && !failure_) ++committedUntaken_;
  jobs_.pop_front();  // the job at the front is this one: commits go in order
  ++committedSeq_;
  changed_.notify_all();
}

void OrderedOutput::workerLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    auto unclaimed = [this] {
      return std::find_if(jobs_.begin(), jobs_.end(), [](const Entry& e) { return !e.claimed; });
    };
    changed_.wait(lock, [&] { return stopping_ || unclaimed() != jobs_.end(); });
    if (stopping_) return;
    auto it = unclaimed();
    it->claimed = true;
    runJob(lock, *it);
  }
}

void OrderedOutput::submit(Job job) {
  std::unique_lock<std::mutex> lock(mutex_);
  throwIfFailed();
  if (threads_.empty()) {
    jobs_.push_back(Entry{nextSeq_++, std::move(job), true});
    runJob(lock, jobs_.back());
    return;
  }
  changed_.wait(lock, [this] { return jobs_.size() < inFlight_; });
  jobs_.push_back(Entry{nextSeq_++, std::move(job)});
  changed_.notify_all();
}

int64_t OrderedOutput::takeCommitted() {
  std::lock_guard<std::mutex> lock(mutex_);
  const int64_t n = committedUntaken_;
  committedUntaken_ = 0;
  return n;
}

void OrderedOutput::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.empty(); });
}

}  // namespace shimmerly::cli
