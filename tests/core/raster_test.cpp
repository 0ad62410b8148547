// Raster creation, memory sources, release and clamped reads.
#include "core/raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/errors.h"
#include "host/plugin_state.h"

namespace shimmerly {
namespace {

// A host whose memory handles are recorded, filled with garbage so that zeroing shows, and can
// be made to fail.
struct FakeHostMemory {
  static inline std::vector<std::string> calls;
  static inline bool failNew = false;
  static inline std::vector<std::vector<uint8_t>*> blocks;

  static PF_Handle newHandle(uint64_t size) {
    calls.push_back("new " + std::to_string(size));
    if (failNew) return nullptr;
    auto* block = new std::vector<uint8_t>(size, 0xAB);
    blocks.push_back(block);
    return block;
  }
  static void* lock(PF_Handle h) {
    calls.push_back("lock");
    return static_cast<std::vector<uint8_t>*>(h)->data();
  }
  static void unlock(PF_Handle) { calls.push_back("unlock"); }
  static void dispose(PF_Handle h) {
    calls.push_back("dispose");
    delete static_cast<std::vector<uint8_t>*>(h);
  }
};

class HostMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeHostMemory::calls.clear();
    FakeHostMemory::failNew = false;
    utils_.host_new_handle = &FakeHostMemory::newHandle;
    utils_.host_lock_handle = &FakeHostMemory::lock;
    utils_.host_unlock_handle = &FakeHostMemory::unlock;
    utils_.host_dispose_handle = &FakeHostMemory::dispose;
    inData_.utils = &utils_;
    saved_ = pluginState().currentInData;
    pluginState().currentInData = &inData_;
  }
  void TearDown() override { pluginState().currentInData = saved_; }

  PF_UtilCallbacks utils_{};
  PF_InData inData_{};
  PF_InData* saved_ = nullptr;
};

TEST_F(HostMemoryTest, OwnedPixelsComeFromHostHandlesZeroedAndAreReleasedInOrder) {
  {
    Raster raster(5, 3, kPixelRgba);
    for (int64_t i = 0; i < 5 * 3 * 4; ++i) ASSERT_EQ(raster.pixels()[i], 0);
    Raster moved(std::move(raster));  // one owner, one release
    EXPECT_EQ(moved.width(), 5);
  }
  EXPECT_EQ(FakeHostMemory::calls,
            (std::vector<std::string>{"new 60", "lock", "unlock", "dispose"}));
}

TEST_F(HostMemoryTest, RefusedHandleIsBadAllocation) {
  FakeHostMemory::failNew = true;
  EXPECT_THROW(Raster(4, 4, kPixelRgba), BadAllocation);
}

TEST_F(HostMemoryTest, HostWithoutMemoryCallbacksFallsBackToHeap) {
  utils_.host_dispose_handle = nullptr;
  Raster raster(2, 2, kPixelWord4);
  EXPECT_EQ(raster.pixelAddress(1, 1)[15], 0);
  EXPECT_TRUE(FakeHostMemory::calls.empty());
}

class RasterKindTest : public ::testing::TestWithParam<std::pair<int32_t, int64_t>> {};

TEST_P(RasterKindTest, FreshRasterIsZeroAndLaidOutRowByRow) {
  const auto [kind, size] = GetParam();
  Raster raster(7, 3, kind);
  EXPECT_EQ(raster.elementSize(), size);
  EXPECT_EQ(raster.pixelAddress(2, 1) - raster.pixels(), (1 * 7 + 2) * size);
  for (int64_t i = 0; i < 7 * 3 * size; ++i) ASSERT_EQ(raster.pixels()[i], 0) << i;
}

INSTANTIATE_TEST_SUITE_P(AllKinds, RasterKindTest,
                         ::testing::Values(std::pair{0, 3}, std::pair{1, 4}, std::pair{2, 4},
                                           std::pair{3, 8}, std::pair{4, 16}, std::pair{5, 16}));

TEST(RasterTest, RefusedCreationsRaiseBadAllocation) {
  for (int32_t kind : {-1, 6, 7, 8}) EXPECT_THROW(Raster(2, 2, kind), BadAllocation) << kind;
  EXPECT_THROW(Raster(2, 2, kPixelRgba, nullptr, 2'000'000), BadAllocation);
  EXPECT_THROW(Raster(-1, 2, kPixelRgba), BadAllocation);
  // 2^31 × 2^31 × 16 bytes cannot be represented in 64 bits.
  const int32_t big = std::numeric_limits<int32_t>::max();
  try {
    Raster(big, big, kPixelWord4);
    FAIL() << "no failure";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
}

TEST(RasterTest, ImageDescriptionsMapToKindsOrRaise101) {
  EXPECT_EQ(Raster::fromImageDescription(2, 2, 3, 8).kind(), kPixelRgb);
  EXPECT_EQ(Raster::fromImageDescription(2, 2, 4, 8).kind(), kPixelRgba);
  EXPECT_EQ(Raster::fromImageDescription(2, 2, 1, 32).kind(), kPixelWord4Alt);
  for (auto [channels, bits] : {std::pair{1, 8}, std::pair{4, 16}, std::pair{3, 32}}) {
    try {
      Raster::fromImageDescription(2, 2, channels, bits);
      FAIL() << channels << "x" << bits;
    } catch (const eBaseError& e) {
      EXPECT_EQ(e.value, 101);
    }
  }
}

TEST(RasterTest, SuppliedPixelsAreReadAtOnceAndSurviveRelease) {
  std::vector<uint8_t> memory(3 * 2 * 4);
  for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i + 1);
  const std::vector<uint8_t> before = memory;
  {
    Raster raster(3, 2, kPixelRgba, memory.data());
    RgbaPixel p;
    EXPECT_EQ(raster.readClamped(1, 1, &p), 0);
    EXPECT_EQ(p.red, memory[(1 * 3 + 1) * 4]);
  }
  EXPECT_EQ(memory, before);
}

TEST(RasterTest, ReadClampedClampsBothCoordinatesOutside) {
  Raster raster(4, 3, kPixelRgba);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x)
      *raster.clampedRgbaAddress(x, y) =
          RgbaPixel{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 9, 9};
  struct Case {
    int32_t x, y, status;
    uint8_t wantX, wantY;
  };
  for (const Case& c : {Case{-1, -1, -1, 0, 0}, Case{4, 3, -1, 3, 2}, Case{3, 0, 0, 3, 0},
                        Case{2, 7, -1, 2, 2}, Case{-5, 1, -1, 0, 1}}) {
    RgbaPixel p{};
    EXPECT_EQ(raster.readClamped(c.x, c.y, &p), c.status) << c.x << "," << c.y;
    EXPECT_EQ(p.red, c.wantX);
    EXPECT_EQ(p.green, c.wantY);
  }
}

}  // namespace
}  // namespace shimmerly
