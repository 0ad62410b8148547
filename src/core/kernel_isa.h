// Which instruction set the fast pixel kernels run with, chosen once at run time from what the
// processor supports. Every choice computes the same bytes; tests pin each one in turn.
#pragma once

namespace shimmerly {

enum class KernelIsa : int { kGeneric = 0, kAvx2 = 1, kAvx512 = 2 };

// The best set this processor and build support.
KernelIsa detectedKernelIsa();
// The set in use: the detected one unless a test asked for a lesser one.
KernelIsa activeKernelIsa();
// Asks for `isa`, or the detected set when it supports less. Returns the set now in use.
KernelIsa setKernelIsa(KernelIsa isa);
const char* kernelIsaName(KernelIsa isa);

}  // namespace shimmerly
