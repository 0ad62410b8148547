// Working memory kept between frames: how blocks grow within a frame and from one frame to the
// next, and what a new frame size releases.
#include "core/frame_memory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace shimmerly {
namespace {

TEST(FrameMemoryTest, GrowsToWhatIsAskedWithinAFrameAndWithSlackAcrossFrames) {
  FrameMemory memory;
  memory.beginFrame(64, 32);
  const size_t base = memory.heldBytes();
  // The passes of one frame ask for more in turn: the block holds what the last one asked.
  memory.block(3, 4000);
  memory.block(3, 4096);
  EXPECT_EQ(memory.heldBytes() - base, 4096u);
  EXPECT_EQ(memory.framePeakBytes() - base, 4096u);
  // The next frame asks a little more: the block grows with room to spare, so that the frame
  // after, asking a little more again, keeps it.
  memory.beginFrame(64, 32);
  void* grown = memory.block(3, 4160);
  EXPECT_GE(memory.heldBytes() - base, 4096u + 1024u);
  memory.beginFrame(64, 32);
  EXPECT_EQ(memory.block(3, 4224), grown);
  EXPECT_EQ(memory.block(3, 4096), grown);
}

TEST(FrameMemoryTest, ANewFrameSizeReleasesEveryBlockAndItsKey) {
  FrameMemory memory;
  memory.beginFrame(64, 32);
  memory.block(2, 1000);
  memory.setKey(2, 7);
  memory.beginFrame(64, 32);
  EXPECT_EQ(memory.key(2), 7u);
  memory.beginFrame(65, 32);
  EXPECT_EQ(memory.key(2), 0u);
  EXPECT_EQ(memory.heldBytes(), 0u);
  EXPECT_EQ(memory.framePeakBytes(), 0u);
}

}  // namespace
}  // namespace shimmerly
