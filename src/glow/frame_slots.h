// The blocks of working memory (core/frame_memory.h) that a frame's glow uses: the glow and
// target rasters, the spread's planes and sums, and kWorkerSlots blocks per worker from
// kFirstWorkerSlot on (a band's scratch, its side rows).
#pragma once

#include <cstddef>

#include "core/frame_memory.h"

namespace shimmerly {

enum FrameSlot : size_t {
  kSlotGlowRaster = kReciprocalSlot + 1,
  kSlotTargetRaster,
  kSlotTargetAlpha,
  kSlotSpreadAlphaA,
  kSlotSpreadAlphaB,
  kSlotEdgeReciprocals,
  kSlotCarriedSumsA,
  kSlotCarriedSumsB,
  kFirstWorkerSlot,
  kWorkerSlots = 4
};

}  // namespace shimmerly
