// The glow spread's reference kernels: summed-area tables, the two-box query and the box pass,
// plus the three-pass smooth form. Box sums are uint32_t and wrap modulo 2^32; a box value is
// formed by the same modular arithmetic, so it is exact while the true sum stays below 2^32.
// Column 0 and row 0 never enter a box: box corners are clamped to 0, not to -1.
#include "glow/spread.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "core/errors.h"

namespace shimmerly {

float spreadRadius(double radius) {
  if (std::isnan(radius)) return 0.0f;
  if (radius >= static_cast<double>(kMaxSpreadRadius)) return kMaxSpreadRadius;
  if (radius < -1.0) return -1.0f;  // any non-positive radius spreads nothing
  return static_cast<float>(radius);
}

// ---- ReciprocalTable ----

void ReciprocalTable::reserve(int64_t n) {
  if (n < count_ || n <= room_) return;
  if (static_cast<uint64_t>(n) > SIZE_MAX / sizeof(double)) throwBadAllocation();
  std::unique_ptr<double[]> grown(new (std::nothrow) double[static_cast<size_t>(n)]);
  if (!grown) throwBadAllocation();
  if (count_ > 0) std::memcpy(grown.get(), elements_.get(), sizeof(double) * count_);
  elements_ = std::move(grown);
  room_ = n;
  growthStep_ = n >= 40 ? n / 4 : 10;
}

void ReciprocalTable::append(double value) {
  if (count_ == room_) reserve(room_ + growthStep_);
  elements_[count_++] = value;
}

void ReciprocalTable::fill(int64_t n) {
  reserve(n);
  while (count_ < n) append(count_ == 0 ? 0.0 : 1.0 / static_cast<double>(count_));
}

// ---- Tables ----

Raster makeSumTable(int32_t width, int32_t height) {
  return Raster(width, height, kPixelWord4);
}

Raster makeCountTable(int32_t width, int32_t height) {
  return Raster(width, height, kPixelWord);
}

PixelBox regionOf(const GlowBounds& b, int32_t width, int32_t height) {
  PixelBox region{0, -1, 0, -1};
  if (std::isnan(b.x0) || std::isnan(b.x1) || std::isnan(b.y0) || std::isnan(b.y1)) return region;
  // max(trunc(v0), 0) and min(trunc(v1), size − 1), with out-of-range reals settled before
  // they are converted: a first edge at or past the size and a last edge at or below -1 both
  // leave the range empty, exactly as the unbounded formula would.
  auto first = [](double v, int32_t size) {
    return v <= 0.0 ? 0 : (v >= size ? size : static_cast<int32_t>(v));
  };
  auto last = [](double v, int32_t size) {
    return v >= size - 1.0 ? size - 1 : (v <= -1.0 ? -1 : static_cast<int32_t>(v));
  };
  region.x0 = first(b.x0, width);
  region.x1 = last(b.x1, width);
  region.y0 = first(b.y0, height);
  region.y1 = last(b.y1, height);
  return region;
}

void buildSums(const Raster& raster, Raster& sumTable, Raster& countTable,
               SpreadChannels channels) {
  const int32_t w = raster.width(), h = raster.height();
  const bool red = channels & kSpreadRed, green = channels & kSpreadGreen,
             blue = channels & kSpreadBlue;
  uint32_t* sums = reinterpret_cast<uint32_t*>(sumTable.pixels());
  uint32_t* counts = reinterpret_cast<uint32_t*>(countTable.pixels());
  for (int32_t y = 0; y < h; ++y) {
    const RgbaPixel* row = raster.rgbaRow(y);
    for (int32_t x = 0; x < w; ++x) {
      const RgbaPixel& p = row[x];
      // Own contributions: alpha, red, green, blue, count. Transparent pixels add nothing,
      // so their colour never enters a box; colour channels not named stay 0.
      uint32_t own[4] = {0, 0, 0, 0};
      uint32_t ownCount = 0;
      if (p.alpha != 0) {
        own[0] = p.alpha;
        own[1] = red ? p.red : 0;
        own[2] = green ? p.green : 0;
        own[3] = blue ? p.blue : 0;
        ownCount = 1;
      }
      const int64_t here = static_cast<int64_t>(y) * w + x;
      const int64_t left = here - 1, below = here - w, belowLeft = here - w - 1;
      for (int c = 0; c < 4; ++c) {
        uint32_t s = own[c];
        if (x > 0) s += sums[left * 4 + c];
        if (y > 0) s += sums[below * 4 + c];
        if (x > 0 && y > 0) s -= sums[belowLeft * 4 + c];
        sums[here * 4 + c] = s;
      }
      uint32_t n = ownCount;
      if (x > 0) n += counts[left];
      if (y > 0) n += counts[below];
      if (x > 0 && y > 0) n -= counts[belowLeft];
      counts[here] = n;
    }
  }
}

namespace {

// The averages of one box: colour over its opaque pixels, alpha over its whole area.
struct BoxAverage {
  int colour[3];  // red, green, blue
  int alpha;
};

// Box query for clamped corners X0 ≤ X1, Y0 ≤ Y1: covers columns X0 + 1..X1, rows Y0 + 1..Y1.
BoxAverage queryBox(const uint32_t* sums, const uint32_t* counts, int64_t w,
                    const ReciprocalTable& reciprocals, int64_t X0, int64_t X1, int64_t Y0,
                    int64_t Y1) {
  const int64_t i11 = Y1 * w + X1, i01 = Y1 * w + X0, i10 = Y0 * w + X1, i00 = Y0 * w + X0;
  uint32_t sum[4];
  for (int c = 0; c < 4; ++c)
    sum[c] = sums[i11 * 4 + c] - sums[i01 * 4 + c] - sums[i10 * 4 + c] + sums[i00 * 4 + c];
  const uint32_t n = counts[i11] - counts[i01] - counts[i10] + counts[i00];
  const int64_t area = (X1 - X0) * (Y1 - Y0);
  BoxAverage box;
  for (int c = 0; c < 3; ++c)
    box.colour[c] = static_cast<int>(static_cast<double>(sum[c + 1]) * reciprocals[n] + 0.001);
  box.alpha = static_cast<int>(static_cast<double>(sum[0]) * reciprocals[area]);
  return box;
}

// The reciprocal table size a pass of truncated radius B asks for: 3 × (B + 2)², but never more
// than the largest box the raster can hold needs (a box's area and count are below W × H).
int64_t reciprocalEntries(int64_t reach, int32_t w, int32_t h) {
  const int64_t formula = 3 * (reach + 2) * (reach + 2);
  const int64_t rasterLimit = static_cast<int64_t>(w) * h + 1;
  return std::min(formula, rasterLimit);
}

}  // namespace

void boxSpread(Raster& raster, float x, GlowBounds& bounds, SpreadChannels channels,
               const SpreadWorkspace& workspace) {
  if (!(x > 0.0f)) return;  // zero, negative or NaN: nothing changes
  if (x > kMaxSpreadRadius) x = kMaxSpreadRadius;
  const int64_t B = static_cast<int64_t>(x);
  const int32_t w = raster.width(), h = raster.height();

  // Working storage the caller did not supply, made before anything changes so that a failed
  // allocation leaves raster and bounds as they were.
  std::optional<ReciprocalTable> ownReciprocals;
  std::optional<Raster> ownSums, ownCounts;
  ReciprocalTable* reciprocals = workspace.reciprocals;
  if (reciprocals == nullptr) reciprocals = &ownReciprocals.emplace();
  reciprocals->fill(reciprocalEntries(B, w, h));
  Raster* sumTable = workspace.sumTable;
  if (sumTable == nullptr || sumTable->width() != w || sumTable->height() != h ||
      sumTable->kind() != kPixelWord4)
    sumTable = &ownSums.emplace(makeSumTable(w, h));
  Raster* countTable = workspace.countTable;
  if (countTable == nullptr || countTable->width() != w || countTable->height() != h ||
      countTable->kind() != kPixelWord)
    countTable = &ownCounts.emplace(makeCountTable(w, h));

  // Grow the bounds: the second point is formed from the box as the first point left it, so
  // an empty box stays a box that covers no pixel.
  const double grow = static_cast<double>(B) + 1.0;
  bounds.include(bounds.x0 - grow, bounds.y0 - grow);
  bounds.include(bounds.x1 + grow, bounds.y1 + grow);

  const PixelBox region = regionOf(bounds, w, h);
  if (region.empty()) return;

  buildSums(raster, *sumTable, *countTable, channels);

  const int64_t r = B / 2, l = r + 1;
  const double f = (static_cast<double>(x) - 2.0 * static_cast<double>(r)) * 0.5;
  const double keep = 1.0 - f;  // weight of the inner box
  const bool named[3] = {(channels & kSpreadRed) != 0, (channels & kSpreadGreen) != 0,
                         (channels & kSpreadBlue) != 0};
  const bool alphaNamed = (channels & kSpreadAlpha) != 0;
  const uint32_t* sums = reinterpret_cast<const uint32_t*>(sumTable->pixels());
  const uint32_t* counts = reinterpret_cast<const uint32_t*>(countTable->pixels());
  const int64_t lastX = w - 1, lastY = h - 1;

  for (int64_t py = region.y0; py <= region.y1; ++py) {
    RgbaPixel* row = raster.rgbaRow(static_cast<int32_t>(py));
    const int64_t iy0 = std::max<int64_t>(py - l, 0), iy1 = std::min(py + r, lastY);
    const int64_t oy0 = std::max<int64_t>(py - l - 1, 0), oy1 = std::min(py + r + 1, lastY);
    for (int64_t px = region.x0; px <= region.x1; ++px) {
      const int64_t ix0 = std::max<int64_t>(px - l, 0), ix1 = std::min(px + r, lastX);
      const int64_t ox0 = std::max<int64_t>(px - l - 1, 0), ox1 = std::min(px + r + 1, lastX);
      const BoxAverage inner = queryBox(sums, counts, w, *reciprocals, ix0, ix1, iy0, iy1);
      const BoxAverage outer = queryBox(sums, counts, w, *reciprocals, ox0, ox1, oy0, oy1);

      RgbaPixel& p = row[px];
      uint8_t* colour[3] = {&p.red, &p.green, &p.blue};
      int alpha;
      if (inner.alpha == 0) {
        for (int c = 0; c < 3; ++c)
          if (named[c]) *colour[c] = static_cast<uint8_t>(outer.colour[c]);
        alpha = static_cast<int>(outer.alpha * f);
      } else if (outer.alpha == 0) {
        for (int c = 0; c < 3; ++c)
          if (named[c]) *colour[c] = static_cast<uint8_t>(inner.colour[c]);
        alpha = static_cast<int>(inner.alpha * keep);
      } else {
        for (int c = 0; c < 3; ++c)
          if (named[c])
            *colour[c] = static_cast<uint8_t>(
                static_cast<int>(inner.colour[c] * keep + outer.colour[c] * f));
        alpha = static_cast<int>(inner.alpha * keep + outer.alpha * f);
      }
      if (alphaNamed) p.alpha = static_cast<uint8_t>(alpha);
    }
  }
}

void smoothSpread(Raster& raster, float x, GlowBounds& bounds, SpreadChannels channels) {
  if (x > kMaxSpreadRadius) x = kMaxSpreadRadius;
  // Two thirds of the radius, rounded to single precision.
  const float passRadius = x * 0.6666667f;
  if (!(passRadius > 0.0f)) return;  // zero, negative or NaN

  const int32_t w = raster.width(), h = raster.height();
  const int64_t reach = static_cast<int64_t>(std::ceil(passRadius));
  ReciprocalTable reciprocals;
  reciprocals.fill(
      std::min<int64_t>(3 * (reach + 3) * (reach + 3), static_cast<int64_t>(w) * h + 1));
  Raster sumTable = makeSumTable(w, h);
  Raster countTable = makeCountTable(w, h);
  const SpreadWorkspace workspace{&sumTable, &countTable, &reciprocals};
  for (int pass = 0; pass < 3; ++pass) boxSpread(raster, passRadius, bounds, channels, workspace);
}

void spread(Raster& raster, float x, GlowBounds& bounds, SpreadChannels channels, bool lowQuality) {
  if (lowQuality)
    boxSpread(raster, x, bounds, channels);
  else
    smoothSpread(raster, x, bounds, channels);
}

}  // namespace shimmerly
