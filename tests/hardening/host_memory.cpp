// Counting, refusing host memory handles (see host_memory.h). One set of counters serves the
// process: tests install one HostMemory at a time.
#include "host_memory.h"

#include <cstdlib>
#include <limits>

namespace shimmerly::testing {
namespace {

struct Counters {
  int64_t live = 0;
  int64_t requests = 0;
  int64_t refusals = 0;
  int64_t failAt = 0;  // request number to refuse, 0 none
  uint64_t limit = std::numeric_limits<uint64_t>::max();
  uint64_t largest = 0;
};
Counters counters;

struct Block {
  void* memory;
};

PF_Handle PF_CALL newHandle(uint64_t size) {
  ++counters.requests;
  if (size > counters.largest) counters.largest = size;
  if (counters.requests == counters.failAt || size > counters.limit) {
    ++counters.refusals;
    return nullptr;
  }
  void* memory = std::malloc(size ? size : 1);
  if (!memory) return nullptr;
  auto* block = static_cast<Block*>(std::malloc(sizeof(Block)));
  if (!block) {
    std::free(memory);
    return nullptr;
  }
  block->memory = memory;
  ++counters.live;
  return block;
}

void* PF_CALL lockHandle(PF_Handle handle) {
  return handle ? static_cast<Block*>(handle)->memory : nullptr;
}

void PF_CALL unlockHandle(PF_Handle) {}

void PF_CALL disposeHandle(PF_Handle handle) {
  if (!handle) return;
  std::free(static_cast<Block*>(handle)->memory);
  std::free(handle);
  --counters.live;
}

}  // namespace

HostMemory::HostMemory(PF_UtilCallbacks& utils) : utils_(utils), saved_(utils) {
  counters = Counters{};
  utils_.host_new_handle = newHandle;
  utils_.host_lock_handle = lockHandle;
  utils_.host_unlock_handle = unlockHandle;
  utils_.host_dispose_handle = disposeHandle;
}

HostMemory::~HostMemory() {
  utils_ = saved_;
}

void HostMemory::failRequest(int64_t n) {
  counters.failAt = n > 0 ? counters.requests + n : 0;
}

void HostMemory::refuseAbove(uint64_t bytes) {
  counters.limit = bytes;
}

int64_t HostMemory::liveHandles() const {
  return counters.live;
}
int64_t HostMemory::requests() const {
  return counters.requests;
}
int64_t HostMemory::refusals() const {
  return counters.refusals;
}
uint64_t HostMemory::largestRequest() const {
  return counters.largest;
}

}  // namespace shimmerly::testing
