// Working memory of the render kept from one frame to the next: named blocks that only grow,
// 64-byte aligned, with their contents undefined between uses. Fresh pages cost far more than
// reused ones on large frames, so the render keeps its rasters and scratch here and releases
// them when the frame size changes or the plug-in is set down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace shimmerly {

// Slots are numbered by the layers that use them (glow/frame_slots.h), except this one, which
// holds the reciprocal table of reciprocals().
inline constexpr size_t kReciprocalSlot = 0;

class FrameMemory {
 public:
  FrameMemory() = default;
  ~FrameMemory();
  FrameMemory(const FrameMemory&) = delete;
  FrameMemory& operator=(const FrameMemory&) = delete;

  // Starts a frame: keeps every block when the frame size is the one of the last frame,
  // releases them all otherwise. Resets the frame's peak to the bytes still held.
  void beginFrame(int32_t width, int32_t height);
  // The block of `slot`, holding at least `bytes` bytes; its old contents are lost when it has
  // to grow. Raises "bad allocation" when memory runs out.
  void* block(size_t slot, size_t bytes);
  template <typename T>
  T* array(size_t slot, size_t count) {
    return static_cast<T*>(block(slot, count * sizeof(T)));
  }
  // The reciprocal table R[k] = 1.0 / k (R[0] = 0) with at least `count` entries. Fill it on
  // one thread before others read it.
  const double* reciprocals(size_t count);
  // A block may carry a key saying what it holds, so that contents made for one frame serve the
  // next: key(slot) is 0 until setKey, and again 0 once the block is remade or released.
  uint64_t key(size_t slot) const { return slot < blocks_.size() ? blocks_[slot].key : 0; }
  void setKey(size_t slot, uint64_t key) { blocks_.at(slot).key = key; }
  // Frees every block.
  void release();

  size_t heldBytes() const { return heldBytes_; }
  // The most bytes held at once since beginFrame.
  size_t framePeakBytes() const { return framePeakBytes_; }

 private:
  struct Block {
    void* data = nullptr;
    size_t bytes = 0;
    uint64_t key = 0;
    uint64_t frame = 0;  // the frame it was last made in
  };
  Block slot(size_t index) const { return index < blocks_.size() ? blocks_[index] : Block{}; }

  std::vector<Block> blocks_;
  size_t reciprocalsFilled_ = 0;
  size_t heldBytes_ = 0;
  size_t framePeakBytes_ = 0;
  uint64_t frame_ = 0;  // counts beginFrame calls
  int32_t width_ = -1;
  int32_t height_ = -1;
};

}  // namespace shimmerly
