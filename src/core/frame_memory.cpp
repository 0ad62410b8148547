// FrameMemory: growable aligned blocks kept across frames (see frame_memory.h).
#include "core/frame_memory.h"

#include <algorithm>
#include <cstdlib>

#include "core/errors.h"

#ifdef _WIN32
#include <malloc.h>
#endif

namespace shimmerly {

namespace {

constexpr size_t kAlignment = 64;

void* alignedAllocate(size_t bytes) {
  const size_t rounded = (bytes + kAlignment - 1) / kAlignment * kAlignment;
#ifdef _WIN32
  return _aligned_malloc(rounded, kAlignment);
#else
  return std::aligned_alloc(kAlignment, rounded);
#endif
}

void alignedFree(void* p) {
#ifdef _WIN32
  _aligned_free(p);
#else
  std::free(p);
#endif
}

}  // namespace

FrameMemory::~FrameMemory() {
  release();
}

void FrameMemory::beginFrame(int32_t width, int32_t height) {
  if (width != width_ || height != height_) {
    release();
    width_ = width;
    height_ = height;
  }
  ++frame_;
  framePeakBytes_ = heldBytes_;
}

void* FrameMemory::block(size_t slot, size_t bytes) {
  if (slot >= blocks_.size()) blocks_.resize(slot + 1);
  Block& b = blocks_[slot];
  if (b.bytes >= bytes && b.data) return b.data;
  // A block made in an earlier frame grows with some slack, so that a block asked for slightly
  // more each frame is not remade each time. Within one frame it grows to what is asked: the
  // passes of one frame ask for their sizes in turn, and the same sizes again next frame.
  const bool earlier = b.data && b.frame != frame_;
  const size_t want = earlier ? std::max(bytes, b.bytes + b.bytes / 4) : bytes;
  void* fresh = alignedAllocate(std::max<size_t>(want, kAlignment));
  if (!fresh) throwBadAllocation();
  alignedFree(b.data);
  heldBytes_ = heldBytes_ - b.bytes + want;
  b.data = fresh;
  b.bytes = want;
  b.key = 0;
  b.frame = frame_;
  framePeakBytes_ = std::max(framePeakBytes_, heldBytes_);
  return fresh;
}

const double* FrameMemory::reciprocals(size_t count) {
  count = std::max<size_t>(count, 1);
  const Block before = slot(kReciprocalSlot);
  double* table = array<double>(kReciprocalSlot, count);
  if (table != before.data) reciprocalsFilled_ = 0;
  if (reciprocalsFilled_ == 0) {
    table[0] = 0.0;
    reciprocalsFilled_ = 1;
  }
  // Fill every entry the block holds, so that a grown block is complete.
  const size_t capacity = blocks_[kReciprocalSlot].bytes / sizeof(double);
  for (size_t k = reciprocalsFilled_; k < capacity; ++k) table[k] = 1.0 / static_cast<double>(k);
  reciprocalsFilled_ = capacity;
  return table;
}

void FrameMemory::release() {
  reciprocalsFilled_ = 0;
  for (Block& b : blocks_) alignedFree(b.data);
  blocks_.clear();
  heldBytes_ = 0;
}

}  // namespace shimmerly
