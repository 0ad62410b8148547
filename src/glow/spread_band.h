// The band of a box pass: the rows [begin, end) of one pass, each computed from the column sums
// slid down the band, run with the kernels of the instruction set in use.
#pragma once

#include <cstdint>

#include "glow/spread_plan.h"

namespace shimmerly::spread_kernels {

// Computes the band's rows of the pass with scratch (scratchBytes(p) bytes) as working memory.
void runBand(const PassPlan& p, const BandRows& band, uint8_t* scratch);

}  // namespace shimmerly::spread_kernels
