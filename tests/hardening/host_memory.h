// Host memory-handle callbacks for tests that starve the effect of memory: they hand out heap
// blocks like a host would, count the live handles, remember the largest request, and refuse a
// chosen request (the n-th from now) or every request above a byte limit.
#pragma once

#include <cstdint>

#include "host/host_api.h"

namespace shimmerly::testing {

class HostMemory {
 public:
  // Installs the four callbacks into utils (the host's suite) and resets the counters; the
  // previous callbacks come back when this object goes.
  explicit HostMemory(PF_UtilCallbacks& utils);
  ~HostMemory();
  HostMemory(const HostMemory&) = delete;
  HostMemory& operator=(const HostMemory&) = delete;

  // Refuse the n-th request from now (1 = the next one); 0 refuses none.
  void failRequest(int64_t n);
  // Refuse every request of more than this many bytes.
  void refuseAbove(uint64_t bytes);

  int64_t liveHandles() const;
  int64_t requests() const;
  int64_t refusals() const;
  uint64_t largestRequest() const;

 private:
  PF_UtilCallbacks& utils_;
  PF_UtilCallbacks saved_;
};

}  // namespace shimmerly::testing
