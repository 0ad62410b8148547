// The glow spread: a box filter over summed-area tables that blurs a kind-1 raster in place
// within GlowBounds and grows the bounds by each pass's reach. Colour is averaged over the
// non-transparent pixels of a box, alpha over the whole box. Radii arrive in single precision.
// This is the reference form: plain loops, written step by step.
#pragma once

#include <cstdint>
#include <memory>

#include "core/pixel.h"
#include "core/raster.h"
#include "glow/glow_bounds.h"

namespace shimmerly {

// Bit set of the channels a pass filters; channels not named keep the raster's own values.
enum SpreadChannels : uint32_t {
  kSpreadRed = 1,
  kSpreadGreen = 2,
  kSpreadBlue = 4,
  kSpreadAlpha = 8,
  kSpreadAll = 15,
};

// Radii above this are treated as this: boxes of that reach already cover any raster, and the
// cap keeps every box coordinate and table size inside 64-bit integers.
inline constexpr float kMaxSpreadRadius = 1073741824.0f;  // 2^30

// A double radius as the spread takes it: NaN becomes 0 (no spread), anything above
// kMaxSpreadRadius (infinity included) becomes kMaxSpreadRadius, the rest is rounded to float.
float spreadRadius(double radius);

// ReciprocalTable: R[0] = 0, R[k] = 1.0 / k. A growable array: given room for n elements, it
// allocates exactly n (when n exceeds both its count and its room), copies the old entries, and
// its growth step becomes n / 4 when n ≥ 40, else 10. Failed allocations raise "bad allocation".
class ReciprocalTable {
 public:
  // Gives the array room for n elements (see above).
  void reserve(int64_t n);
  // Makes entries 0..n-1 available, growing as needed.
  void fill(int64_t n);
  int64_t size() const { return count_; }
  int64_t room() const { return room_; }
  int64_t growthStep() const { return growthStep_; }
  const double* data() const { return elements_.get(); }
  double operator[](int64_t k) const { return elements_[k]; }

 private:
  void append(double value);

  std::unique_ptr<double[]> elements_;
  int64_t count_ = 0;
  int64_t room_ = 0;
  int64_t growthStep_ = 10;
};

// The SumTable: a kind-4 raster of the spread raster's size; element (x, y) holds four
// uint32_t sums, alpha, red, green, blue in that order, over all pixels (x′ ≤ x, y′ ≤ y),
// wrapping modulo 2^32.
Raster makeSumTable(int32_t width, int32_t height);
// The CountTable: a kind-2 raster of the spread raster's size; element (x, y) holds the uint32_t
// number of pixels (x′ ≤ x, y′ ≤ y) with non-zero alpha.
Raster makeCountTable(int32_t width, int32_t height);

// Working storage a caller may hand to boxSpread so that several passes share it. Any member
// left null (or a table whose size does not match the raster) is made and released by the pass.
struct SpreadWorkspace {
  Raster* sumTable = nullptr;
  Raster* countTable = nullptr;
  ReciprocalTable* reciprocals = nullptr;
};

// Fills the SumTable and CountTable from the whole raster (whatever the bounds).
void buildSums(const Raster& raster, Raster& sumTable, Raster& countTable, SpreadChannels channels);

// One box pass of radius x. x ≤ 0 or NaN: nothing changes. Otherwise the bounds grow by
// trunc(x) + 1 per side and every pixel of the grown region is recomputed.
void boxSpread(Raster& raster, float x, GlowBounds& bounds, SpreadChannels channels,
               const SpreadWorkspace& workspace = {});
// Three box passes of radius x × 0.6666667 (single precision) sharing one workspace.
void smoothSpread(Raster& raster, float x, GlowBounds& bounds, SpreadChannels channels);
// boxSpread in low quality, smoothSpread otherwise.
void spread(Raster& raster, float x, GlowBounds& bounds, SpreadChannels channels, bool lowQuality);

// The pixels a bounds box covers in a W × H raster: columns max(trunc(x0), 0) to
// min(trunc(x1), W − 1), rows likewise, computed without converting out-of-range reals. Empty
// (first > last) for the starting empty box, for NaN bounds and for boxes outside the raster.
PixelBox regionOf(const GlowBounds& bounds, int32_t width, int32_t height);

}  // namespace shimmerly
