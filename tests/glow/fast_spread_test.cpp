// The fast spread against the reference spread, byte for byte and bound for bound, on seeded
// random rasters and settings: sizes 1 to 70, bounds touching every border or lying outside,
// radii 0, fractional, small and larger than the raster, both qualities, every channel set the
// engine uses, on one thread and on several, with every instruction set this machine has. The
// spread's own scratch buffer starts filled with a sentinel so that stale reads show up.
#include "glow/fast_spread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/frame_memory.h"
#include "core/isa_dispatch.h"
#include "core/render_threads.h"
#include "glow/frame_slots.h"
#include "glow/inner_outer_glow.h"
#include "glow/spread.h"
#include "glow/spread_plan.h"
#include "glow_fixtures.h"

namespace shimmerly {
namespace {

using testing::at;
using testing::copyOf;
using testing::sameRaster;

// Rasters with transparent holes, opaque areas and noise, so that counts and sums vary.
Raster randomRaster(std::mt19937& rng, int32_t w, int32_t h) {
  Raster raster(w, h, kPixelRgba);
  const int style = rng() % 3;
  const uint32_t flat = rng();
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t v = rng();
      if (style == 1) v = (flat & 0x00FFFFFF) | (v & 0xFF000000);  // one colour, any alpha
      RgbaPixel p{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
      const uint32_t pick = rng() % 10;
      if (pick < 4) p.alpha = 0;
      if (pick >= 8 || style == 2) p.alpha = 255;
      at(raster, x, y) = p;
    }
  return raster;
}

double coordinate(std::mt19937& rng, int32_t size) {
  switch (rng() % 6) {
    case 0:
      return 0;
    case 1:
      return size - 1;
    case 2:
      return -static_cast<double>(rng() % 20);  // beyond the first edge
    case 3:
      return size - 1 + static_cast<double>(rng() % 20);  // beyond the last edge
    default:
      return static_cast<double>(rng() % static_cast<uint32_t>(size));
  }
}

GlowBounds randomBounds(std::mt19937& rng, int32_t w, int32_t h) {
  if (rng() % 12 == 0) return GlowBounds{};  // empty
  GlowBounds b;
  b.include(coordinate(rng, w), coordinate(rng, h));
  b.include(coordinate(rng, w), coordinate(rng, h));
  return b;
}

float randomRadius(std::mt19937& rng, int32_t w, int32_t h) {
  switch (rng() % 8) {
    case 0:
      return 0.0f;
    case 1:
      return -1.5f;
    case 2:
      return static_cast<float>(rng() % 1000) / 997.0f;  // below one
    case 3:
      return static_cast<float>(std::max(w, h) + rng() % 200);  // beyond the raster
    case 4:
      return 1e12f;
    default:
      return static_cast<float>(rng() % 4000) / 100.0f;  // fractional sizes up to 40
  }
}

// A frame size and a glow size for the one-colour spreads: mostly frames of up to 70 × 70 with
// the sizes above, and one case in three a strip up to 330 columns wide with sizes up to 260,
// whose rows run as several whole vector blocks and a last block overlapping them, and whose
// sides cut the boxes over spans of every width.
struct FrameCase {
  int32_t w, h;
  float radius;
};

FrameCase randomFrameCase(std::mt19937& rng) {
  if (rng() % 3 != 0) {
    const int32_t w = 1 + rng() % 70, h = 1 + rng() % 70;
    return {w, h, randomRadius(rng, w, h)};
  }
  const int32_t w = 60 + rng() % 271, h = 1 + rng() % 40;
  const float radius =
      rng() % 2 ? randomRadius(rng, w, h) : static_cast<float>(rng() % 26000) / 100.0f;
  return {w, h, radius};
}

// A raster of one colour given by its alphas (raster rows): the alphas, sparse or dense at
// random, the raster they describe (the colour where the alpha is not zero, else zero) and
// their bounds.
struct OneColourSource {
  std::vector<uint8_t> alpha;
  Raster described;
  GlowBounds bounds;
};

OneColourSource randomOneColourSource(std::mt19937& rng, int32_t w, int32_t h, uint32_t colour) {
  OneColourSource source{std::vector<uint8_t>(static_cast<size_t>(w) * h), Raster(w, h, kPixelRgba),
                         GlowBounds{}};
  const bool sparse = rng() % 2;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t a = (sparse ? rng() % 9 == 0 : rng() % 3 != 0) ? uint8_t(1 + rng() % 255) : 0;
      source.alpha[static_cast<size_t>(y) * w + x] = a;
      at(source.described, x, y) =
          a ? RgbaPixel{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), a}
            : RgbaPixel{0, 0, 0, 0};
      if (a) source.bounds.include(x, y);
    }
  return source;
}

// A case's size and settings, for failure messages.
std::string caseName(int i, int32_t w, int32_t h, float radius, bool low) {
  return "case " + std::to_string(i) + ": " + std::to_string(w) + "x" + std::to_string(h) +
         " radius " + std::to_string(radius) + (low ? " low" : " high");
}

// The same pixels and the same bounds, to the bit.
::testing::AssertionResult sameSpread(const Raster& actual, const GlowBounds& actualBounds,
                                      const Raster& expected, const GlowBounds& expectedBounds) {
  const ::testing::AssertionResult pixels = sameRaster(actual, expected);
  if (!pixels) return pixels;
  if (std::memcmp(&actualBounds, &expectedBounds, sizeof(GlowBounds)) != 0)
    return ::testing::AssertionFailure() << "bounds differ";
  return ::testing::AssertionSuccess();
}

struct Setup {
  const char* name;
  KernelIsa isa;
  int threads;
  TaskOrder order = TaskOrder::kConcurrent;
};

class FastSpreadTest : public ::testing::TestWithParam<Setup> {
 protected:
  void SetUp() override {
    if (setKernelIsa(GetParam().isa) != GetParam().isa) GTEST_SKIP() << "not on this processor";
    if (GetParam().threads > 1)
      pool_ = std::make_unique<RenderPool>(GetParam().threads, GetParam().order);
  }
  void TearDown() override { setKernelIsa(detectedKernelIsa()); }

  FastContext context() { return {pool_.get(), &memory_}; }
  // Fills each band's scratch and side rows with a sentinel before each case.
  void poisonScratch(int32_t w, int32_t h) {
    memory_.beginFrame(w, h);
    const size_t bytes = std::max<size_t>(static_cast<size_t>(w) * h * 8, size_t{1} << 20);
    for (int worker = 0; worker < std::max(GetParam().threads, 1); ++worker)
      for (size_t slot = 0; slot < 2; ++slot)
        std::memset(memory_.block(kFirstWorkerSlot + worker * kWorkerSlots + slot, bytes), 0xA5,
                    bytes);
  }

  // The fast spread of input against the reference spread, pixels and bounds.
  ::testing::AssertionResult matchesReference(const Raster& input, float radius,
                                              const GlowBounds& bounds, SpreadChannels channels,
                                              bool low) {
    Raster expected = copyOf(input);
    GlowBounds expectedBounds = bounds;
    spread(expected, radius, expectedBounds, channels, low);
    Raster actual = copyOf(input);
    GlowBounds actualBounds = bounds;
    poisonScratch(input.width(), input.height());
    fastSpread(actual, radius, actualBounds, channels, low, context());
    return sameSpread(actual, actualBounds, expected, expectedBounds);
  }

  std::unique_ptr<RenderPool> pool_;
  FrameMemory memory_;
};

TEST_P(FastSpreadTest, MatchesReferenceOnRandomRastersAndSettings) {
  std::mt19937 rng(20261207u + GetParam().threads * 7 + static_cast<int>(GetParam().isa));
  const int cases = 400;
  for (int i = 0; i < cases; ++i) {
    const int32_t w = 1 + rng() % 70, h = 1 + rng() % 70;
    const Raster input = randomRaster(rng, w, h);
    const GlowBounds bounds = randomBounds(rng, w, h);
    const float radius = randomRadius(rng, w, h);
    const bool low = rng() % 2;
    const SpreadChannels channels = (rng() % 3 == 0)   ? kSpreadAlpha
                                    : (rng() % 5 == 0) ? SpreadChannels(kSpreadGreen | kSpreadAlpha)
                                                       : kSpreadAll;
    ASSERT_TRUE(matchesReference(input, radius, bounds, channels, low))
        << caseName(i, w, h, radius, low) << " channels " << channels;
  }
}

// A few faint pixels of different colours on a transparent raster: where a box's average alpha
// falls below 1 and the other box's does not, a colour takes one box's average alone, and
// averages over the opaque pixels differ from box to box. Every column, whichever part of a
// vector loop it falls to, must choose as the reference does.
TEST_P(FastSpreadTest, ColourChoiceAtFaintEdgesMatchesReference) {
  std::mt19937 rng(4242u + GetParam().threads * 3 + static_cast<int>(GetParam().isa));
  for (int i = 0; i < 300; ++i) {
    const int32_t w = 1 + rng() % 70, h = 1 + rng() % 40;
    Raster input(w, h, kPixelRgba);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t v = rng();
        if (rng() % 25 != 0) continue;
        const uint8_t alpha = rng() % 2 ? uint8_t(1 + rng() % 8) : uint8_t(1 + rng() % 255);
        at(input, x, y) = RgbaPixel{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), alpha};
      }
    GlowBounds bounds;
    bounds.include(0, 0);
    bounds.include(w - 1, h - 1);
    const float radius = static_cast<float>(rng() % 2000) / 100.0f;
    const bool low = rng() % 2;
    ASSERT_TRUE(matchesReference(input, radius, bounds, kSpreadAll, low))
        << caseName(i, w, h, radius, low);
  }
}

// Frames taller and wider than a band's reach, so that several bands meet inside the region.
TEST_P(FastSpreadTest, MatchesReferenceAcrossBandSeams) {
  std::mt19937 rng(77u + GetParam().threads);
  for (int i = 0; i < 6; ++i) {
    const int32_t w = 40 + rng() % 120, h = 100 + rng() % 140;
    const Raster input = randomRaster(rng, w, h);
    GlowBounds bounds;
    bounds.include(rng() % w, rng() % h);
    bounds.include(rng() % w, rng() % h);
    const float radius = static_cast<float>(rng() % 3000) / 100.0f;
    const bool low = i % 2;
    Raster expected = copyOf(input);
    GlowBounds expectedBounds = bounds;
    spread(expected, radius, expectedBounds, kSpreadAll, low);
    Raster actual = copyOf(input);
    poisonScratch(w, h);
    fastSpread(actual, radius, bounds, kSpreadAll, low, context());
    ASSERT_TRUE(sameRaster(actual, expected)) << w << "x" << h << " radius " << radius;
  }
}

// With the colour of the opaque pixels given, the spread sums alpha alone; the result must
// still be the reference's, whatever colour the transparent pixels hold, for every channel set
// (the hint is only used when all three colours are named) and across several passes.
TEST_P(FastSpreadTest, UniformColourHintMatchesReference) {
  std::mt19937 rng(9001u + GetParam().threads * 5 + static_cast<int>(GetParam().isa));
  for (int i = 0; i < 300; ++i) {
    const int32_t w = 1 + rng() % 70, h = 1 + rng() % 70;
    const uint32_t pick = rng() % 4;
    const uint32_t colour = pick == 0 ? 0xFFFFFFu : pick == 1 ? 0u : rng() & 0xFFFFFFu;
    Raster input = randomRaster(rng, w, h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        RgbaPixel& p = at(input, x, y);
        if (p.alpha != 0)
          p = RgbaPixel{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), p.alpha};
      }
    const GlowBounds bounds = randomBounds(rng, w, h);
    const float radius = randomRadius(rng, w, h);
    const bool low = rng() % 2;
    const SpreadChannels channels = rng() % 4 == 0   ? kSpreadAlpha
                                    : rng() % 6 == 0 ? SpreadChannels(kSpreadRed | kSpreadAlpha)
                                                     : kSpreadAll;
    Raster expected = copyOf(input);
    GlowBounds expectedBounds = bounds;
    spread(expected, radius, expectedBounds, channels, low);

    Raster actual = copyOf(input);
    GlowBounds actualBounds = bounds;
    poisonScratch(w, h);
    fastSpread(actual, radius, actualBounds, channels, low, context(), nullptr, colour);

    ASSERT_TRUE(sameSpread(actual, actualBounds, expected, expectedBounds))
        << caseName(i, w, h, radius, low) << " colour " << colour;
  }
}

// A one-colour raster given by its alphas alone: the raster starts as garbage, which must
// never be read, and ends as the reference leaves the raster those alphas describe, including
// the pixels outside the region and the cases where no pass runs.
TEST_P(FastSpreadTest, SpreadOfAlphaMatchesReference) {
  std::mt19937 rng(515u + GetParam().threads * 11 + static_cast<int>(GetParam().isa));
  for (int i = 0; i < 300; ++i) {
    const auto [w, h, radius] = randomFrameCase(rng);
    const uint32_t colour = rng() % 3 == 0 ? 0xFFFFFFu : rng() & 0xFFFFFFu;
    OneColourSource source = randomOneColourSource(rng, w, h, colour);
    const std::vector<uint8_t>& alpha = source.alpha;
    const Raster& described = source.described;
    const GlowBounds bounds = source.bounds;
    const bool low = rng() % 2;
    Raster expected = copyOf(described);
    GlowBounds expectedBounds = bounds;
    spread(expected, radius, expectedBounds, kSpreadAll, low);

    Raster actual(w, h, kPixelRgba);
    std::memset(actual.pixels(), 0x5A, static_cast<size_t>(w) * h * 4);
    GlowBounds actualBounds = bounds;
    poisonScratch(w, h);
    fastSpreadOfAlpha(actual, alpha.data(), colour, radius, actualBounds, low, context());

    ASSERT_TRUE(sameSpread(actual, actualBounds, expected, expectedBounds))
        << caseName(i, w, h, radius, low) << " colour " << colour;
  }
}

// A one-colour spread kept as alpha bytes: the plane holds the alphas the reference spread (or,
// for the outer glow, the reference outer glow) leaves, zero outside its region, and every pixel
// of non-zero alpha there has the colour. When a pass would not keep the colour, or none runs,
// the answer is null and the bounds are as they were.
TEST_P(FastSpreadTest, AlphaPlaneDescribesTheOneColourSpread) {
  std::mt19937 rng(6061u + GetParam().threads * 7 + static_cast<int>(GetParam().isa));
  int taken = 0, declined = 0;
  for (int i = 0; i < 300; ++i) {
    const auto [w, h, frameRadius] = randomFrameCase(rng);
    const uint32_t colour = rng() % 3 == 0 ? 0xFFFFFFu : rng() & 0xFFFFFFu;
    const size_t count = static_cast<size_t>(w) * h;
    OneColourSource source = randomOneColourSource(rng, w, h, colour);
    const std::vector<uint8_t>& alpha = source.alpha;
    const Raster& described = source.described;
    const GlowBounds bounds = source.bounds;
    const double size = frameRadius;
    const bool low = rng() % 2;
    const bool outer = rng() % 2 && !bounds.empty();
    Raster expected = copyOf(described);
    GlowBounds expectedBounds = bounds;
    if (outer) {
      Raster saved = copyOf(described);
      outerGlow(expected, size, expectedBounds, low, &saved);
    } else {
      spread(expected, spreadRadius(size), expectedBounds, kSpreadAll, low);
    }

    poisonScratch(w, h);
    std::memset(memory_.block(kSlotSpreadAlphaA, count), 0x5A, count);
    std::memset(memory_.block(kSlotSpreadAlphaB, count), 0xA5, count);
    GlowBounds actualBounds = bounds;
    const uint8_t* plane = fastSpreadAlphaPlane(alpha.data(), w, h, colour, spreadRadius(size),
                                                actualBounds, low, outer, context());
    const std::string what = caseName(i, w, h, static_cast<float>(size), low) +
                             (outer ? " outer" : "") + " colour " + std::to_string(colour);
    if (plane == nullptr) {
      ++declined;
      ASSERT_EQ(std::memcmp(&actualBounds, &bounds, sizeof(GlowBounds)), 0) << what;
      continue;
    }
    ++taken;
    ASSERT_EQ(std::memcmp(&actualBounds, &expectedBounds, sizeof(GlowBounds)), 0) << what;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const RgbaPixel e = at(expected, x, y);
        ASSERT_EQ(plane[static_cast<size_t>(y) * w + x], e.alpha)
            << what << " at " << x << "," << y;
        if (e.alpha != 0) {
          const uint32_t c = e.red | (uint32_t{e.green} << 8) | (uint32_t{e.blue} << 16);
          ASSERT_EQ(c, colour) << what << " at " << x << "," << y;
        }
      }
  }
  // Both answers occur: colours that some blend of averages changes, and those it keeps.
  EXPECT_GT(taken, 60);
  EXPECT_GT(declined, 30);
}

// Radii whose boxes reach over hundreds of rows, in frames taller than that: the starting sums
// of every band take hundreds of mostly opaque rows (more than a 16-bit sum of whole alphas
// holds: every third column is wholly opaque), and the bands are shared by work. Frames narrow
// and wider than a hundred and twenty-eight columns.
TEST_P(FastSpreadTest, SpreadOfAlphaMatchesReferenceAtRadiiOfHundredsOfRows) {
  std::mt19937 rng(88u + GetParam().threads);
  for (int i = 0; i < 4; ++i) {
    const int32_t w = i < 2 ? 1 + rng() % 24 : 129 + rng() % 140, h = 520 + rng() % 200;
    const uint32_t colour = rng() & 0xFFFFFFu;
    std::vector<uint8_t> alpha(static_cast<size_t>(w) * h);
    Raster described(w, h, kPixelRgba);
    GlowBounds bounds;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        // Mostly opaque, so that the column sums grow large.
        const uint8_t a = x % 3 == 0 ? 255 : rng() % 8 != 0 ? uint8_t(255 - rng() % 3) : 0;
        alpha[static_cast<size_t>(y) * w + x] = a;
        at(described, x, y) =
            a ? RgbaPixel{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), a}
              : RgbaPixel{0, 0, 0, 0};
        if (a) bounds.include(x, y);
      }
    const float radius = static_cast<float>(400 + rng() % 500);
    const bool low = i % 2 == 0;
    Raster expected = copyOf(described);
    GlowBounds expectedBounds = bounds;
    spread(expected, radius, expectedBounds, kSpreadAll, low);

    Raster actual(w, h, kPixelRgba);
    GlowBounds actualBounds = bounds;
    poisonScratch(w, h);
    fastSpreadOfAlpha(actual, alpha.data(), colour, radius, actualBounds, low, context());
    ASSERT_TRUE(sameSpread(actual, actualBounds, expected, expectedBounds))
        << caseName(i, w, h, radius, low);
  }
}

// A finish given to the spread sees each row of the region once, with the words the plain
// spread leaves there, and what it writes is the raster's result; pixels outside the region
// are untouched. It is not called, and the answer is false, when no pass runs.
TEST_P(FastSpreadTest, FinishWritesEveryRegionRowFromTheSpreadWords) {
  std::mt19937 rng(4242u + GetParam().threads * 3 + static_cast<int>(GetParam().isa));
  for (int i = 0; i < 200; ++i) {
    const int32_t w = 1 + rng() % 70, h = 1 + rng() % 70;
    const Raster input = randomRaster(rng, w, h);
    const GlowBounds bounds = randomBounds(rng, w, h);
    const float radius = randomRadius(rng, w, h);
    const bool low = rng() % 2;
    const SpreadChannels channels = rng() % 2 ? kSpreadAlpha : kSpreadAll;
    const uint32_t salt = rng();

    Raster expected = copyOf(input);
    GlowBounds expectedBounds = bounds;
    poisonScratch(w, h);
    fastSpread(expected, radius, expectedBounds, channels, low, context());
    const float capped = std::min(radius, kMaxSpreadRadius);
    const bool passes = low ? capped > 0.0f : capped * 0.6666667f > 0.0f;
    if (passes) {
      const PixelBox g = regionOf(expectedBounds, w, h);
      for (int32_t y = g.y0; y <= g.y1 && !g.empty(); ++y)
        for (int32_t x = g.x0; x <= g.x1; ++x) {
          uint32_t word;
          std::memcpy(&word, &at(expected, x, y), 4);
          word = (word ^ salt) + static_cast<uint32_t>(y * 131 + x);
          std::memcpy(&at(expected, x, y), &word, 4);
        }
    }

    Raster actual = copyOf(input);
    GlowBounds actualBounds = bounds;
    std::vector<int> seen(static_cast<size_t>(h), 0);
    std::mutex seenLock;
    const SpreadRowFinish finish = [&](int64_t y, int64_t x0, int64_t x1, const uint32_t* spread,
                                       uint32_t* out) {
      {
        std::lock_guard<std::mutex> lock(seenLock);
        ++seen[static_cast<size_t>(y)];
      }
      for (int64_t x = x0; x <= x1; ++x)
        out[x] = (spread[x] ^ salt) + static_cast<uint32_t>(y * 131 + x);
    };
    poisonScratch(w, h);
    const bool finished =
        fastSpread(actual, radius, actualBounds, channels, low, context(), &finish);

    const std::string what = caseName(i, w, h, radius, low);
    ASSERT_EQ(finished, passes) << what;
    ASSERT_TRUE(sameRaster(actual, expected)) << what;
    const PixelBox g = regionOf(actualBounds, w, h);
    for (int32_t y = 0; y < h; ++y) {
      const bool inside = passes && !g.empty() && y >= g.y0 && y <= g.y1;
      ASSERT_EQ(seen[static_cast<size_t>(y)], inside ? 1 : 0) << what << " row " << y;
    }
  }
}

// Frames of more than 16,843,009 pixels, where 255 times the frame's area no longer fits in 32
// bits: a glow of one colour still sums alpha alone while its boxes are small, and must leave
// what the five-channel spread leaves, from words and from alpha bytes.
TEST(FastSpreadLargeFrame, OneColourMatchesTheFiveChannelSpread) {
  const int32_t w = 64, h = 263173;  // 16,843,072 pixels
  const uint32_t colour = 0x3080F0u;
  std::vector<uint8_t> alpha(static_cast<size_t>(w) * h, 0);
  Raster described(w, h, kPixelRgba);
  std::memset(described.pixels(), 0, static_cast<size_t>(w) * h * 4);
  GlowBounds bounds;
  std::mt19937 rng(16843009u);
  for (int i = 0; i < 4000; ++i) {
    const int32_t x = rng() % w, y = rng() % h;
    const uint8_t a = uint8_t(1 + rng() % 255);
    alpha[static_cast<size_t>(y) * w + x] = a;
    at(described, x, y) =
        RgbaPixel{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), a};
    bounds.include(x, y);
  }
  RenderPool pool(2);
  FrameMemory memory;
  for (const bool low : {true, false}) {
    Raster expected = copyOf(described);
    GlowBounds expectedBounds = bounds;
    fastSpread(expected, 9.5f, expectedBounds, kSpreadAll, low, {&pool, &memory});

    Raster fromWords = copyOf(described);
    GlowBounds wordsBounds = bounds;
    fastSpread(fromWords, 9.5f, wordsBounds, kSpreadAll, low, {&pool, &memory}, nullptr, colour);
    ASSERT_TRUE(sameSpread(fromWords, wordsBounds, expected, expectedBounds)) << low;

    Raster fromAlpha(w, h, kPixelRgba);
    GlowBounds alphaBounds = bounds;
    fastSpreadOfAlpha(fromAlpha, alpha.data(), colour, 9.5f, alphaBounds, low, {&pool, &memory});
    ASSERT_TRUE(sameSpread(fromAlpha, alphaBounds, expected, expectedBounds)) << low;
  }
}

// A frame of nearly opaque, bright pixels whose middle boxes hold more than 8,421,504 pixels, so
// that their alpha and colour sums pass 2^31 (and stay below 2^32), while the boxes near the
// corners stay below 2^31: every instruction set must convert both as the reference does. For
// colours, for alpha alone, and for one colour given by its alphas.
TEST(FastSpreadLargeFrame, BoxSumsPast2To31MatchReference) {
  const int32_t w = 3000, h = 3000;
  const uint32_t colour = 0xF8F0FAu;
  Raster input(w, h, kPixelRgba), oneColour(w, h, kPixelRgba);
  std::vector<uint8_t> alpha(static_cast<size_t>(w) * h);
  std::mt19937 rng(2147483648u);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t v = rng();
      const uint8_t a = v % 97 == 0 ? uint8_t(0) : uint8_t(255 - (v >> 24) % 3);
      at(input, x, y) = RgbaPixel{uint8_t(240 + (v & 15)), uint8_t(240 + ((v >> 4) & 15)),
                                  uint8_t(240 + ((v >> 8) & 15)), a};
      at(oneColour, x, y) =
          RgbaPixel{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), a};
      alpha[static_cast<size_t>(y) * w + x] = a;
    }
  GlowBounds bounds;
  bounds.include(0, 0);
  bounds.include(w - 1, h - 1);
  // Boxes reach 2000 pixels each way: 2001 × 2001 at the corners, the whole frame in the middle.
  const float radius = 4000.5f;
  RenderPool pool(2);
  FrameMemory memory;
  for (const SpreadChannels channels : {kSpreadAll, kSpreadAlpha}) {
    Raster expected = copyOf(input);
    GlowBounds expectedBounds = bounds;
    spread(expected, radius, expectedBounds, channels, true);
    for (const KernelIsa isa :
         {KernelIsa::kGeneric, KernelIsa::kAvx2, KernelIsa::kAvx512, KernelIsa::kNeon}) {
      if (setKernelIsa(isa) != isa) continue;
      Raster actual = copyOf(input);
      GlowBounds actualBounds = bounds;
      fastSpread(actual, radius, actualBounds, channels, true, {&pool, &memory});
      EXPECT_TRUE(sameSpread(actual, actualBounds, expected, expectedBounds))
          << kernelIsaName(isa) << " channels " << channels;
    }
  }
  Raster expected = copyOf(oneColour);
  GlowBounds expectedBounds = bounds;
  spread(expected, radius, expectedBounds, kSpreadAll, true);
  for (const KernelIsa isa :
       {KernelIsa::kGeneric, KernelIsa::kAvx2, KernelIsa::kAvx512, KernelIsa::kNeon}) {
    if (setKernelIsa(isa) != isa) continue;
    Raster actual(w, h, kPixelRgba);
    GlowBounds actualBounds = bounds;
    fastSpreadOfAlpha(actual, alpha.data(), colour, radius, actualBounds, true, {&pool, &memory});
    EXPECT_TRUE(sameSpread(actual, actualBounds, expected, expectedBounds))
        << kernelIsaName(isa) << " one colour";
  }
  setKernelIsa(detectedKernelIsa());
}

// The glow of the layer's colours on frames wide enough for whole vector blocks: widths of 16
// to 150, glow sizes whose boxes hold up to a few hundred pixels and some past 999, where the
// colour averages leave single precision; opaque counts of every kind, from transparent blocks
// through partly covered ones to wholly opaque ones.
TEST_P(FastSpreadTest, LayerColourMatchesReferenceOnWideFrames) {
  std::mt19937 rng(20261210u + GetParam().threads * 11 + static_cast<int>(GetParam().isa));
  const int cases = GetParam().isa == KernelIsa::kGeneric ? 300 : 1500;
  for (int i = 0; i < cases; ++i) {
    const int32_t w = 16 + rng() % 135, h = 1 + rng() % 48;
    Raster input = randomRaster(rng, w, h);
    // Whole transparent stretches, so that some blocks of columns see no opaque pixel.
    if (rng() % 2) {
      const int32_t x0 = rng() % w, x1 = std::min<int32_t>(w, x0 + 1 + rng() % 40);
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = x0; x < x1; ++x) at(input, x, y) = RgbaPixel{1, 2, 3, 0};
    }
    GlowBounds bounds = randomBounds(rng, w, h);
    if (rng() % 2) {
      bounds = GlowBounds{};
      bounds.include(0, 0);
      bounds.include(w - 1, h - 1);
    }
    const bool low = rng() % 2;
    // Box sides 2r + 3 up to 33 in one pass: areas to 1089, either side of 999.
    const float radius = static_cast<float>(rng() % (low ? 3200 : 4700)) / 100.0f;
    const SpreadChannels channels =
        rng() % 6 == 0 ? SpreadChannels(kSpreadRed | kSpreadAlpha) : kSpreadAll;
    ASSERT_TRUE(matchesReference(input, radius, bounds, channels, low))
        << caseName(i, w, h, radius, low) << " channels " << channels;
  }
}

// Rows wider than several of the stretches in which a band takes its row prefixes and colour
// rows, and rectangles of full channels, whose box sums reach the top of the lanes that share
// red or green with half of blue's bits.
TEST_P(FastSpreadTest, LayerColourMatchesReferenceAcrossStretchesOfColumns) {
  std::mt19937 rng(20261211u + GetParam().threads * 13 + static_cast<int>(GetParam().isa));
  const int cases = GetParam().isa == KernelIsa::kGeneric ? 20 : 120;
  for (int i = 0; i < cases; ++i) {
    const int32_t w = 250 + rng() % 500, h = 2 + rng() % 40;
    Raster input = randomRaster(rng, w, h);
    for (int k = rng() % 3; k > 0; --k) {
      const int32_t x0 = rng() % w, x1 = std::min<int32_t>(w, x0 + 1 + rng() % 120);
      const int32_t y0 = rng() % h, y1 = std::min<int32_t>(h, y0 + 1 + rng() % 40);
      const uint8_t blue = rng() % 2 ? 255 : 240, alpha = rng() % 2 ? 255 : 1;
      for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x) at(input, x, y) = RgbaPixel{255, 255, blue, alpha};
    }
    GlowBounds bounds = randomBounds(rng, w, h);
    if (rng() % 3) {
      bounds = GlowBounds{};
      bounds.include(0, 0);
      bounds.include(w - 1, h - 1);
    }
    const bool low = rng() % 2;
    const float radius = static_cast<float>(rng() % (low ? 3000 : 4500)) / 100.0f;
    const SpreadChannels channels =
        rng() % 6 == 0 ? SpreadChannels(kSpreadGreen | kSpreadBlue | kSpreadAlpha) : kSpreadAll;
    ASSERT_TRUE(matchesReference(input, radius, bounds, channels, low))
        << caseName(i, w, h, radius, low) << " channels " << channels;
  }
}

// Every colour average a box of at most 999 opaque pixels can have, taken in single precision,
// equals the double-precision average trunc(s × R[n] + 0.001); at 1000 they part.
TEST(SingleAverages, EqualTheDoubleAverageForEveryCountAndSum) {
  using spread_kernels::kSingleAverageMaxArea;
  using spread_kernels::singleAverage;
  for (uint32_t n = 0; n <= kSingleAverageMaxArea; ++n) {
    const double r = spread_kernels::reciprocalOf(n);
    for (uint32_t s = 0; s <= 255 * n; ++s) {
      const auto expected = static_cast<int32_t>(static_cast<double>(s) * r + 0.001);
      ASSERT_EQ(singleAverage(s, n), expected) << "sum " << s << " count " << n;
    }
  }
  EXPECT_NE(singleAverage(999, 1000), static_cast<int32_t>(999.0 * (1.0 / 1000.0) + 0.001));
}

// The areas whose alpha averages are quotients give the single-precision average for every alpha
// sum; every other area parts from it at some sum, so its flag is not merely cautious.
TEST(SingleAverages, AlphaQuotientAreasGiveTheDoubleAlphaAverage) {
  using spread_kernels::kSingleAverageMaxArea;
  int64_t quotients = 0;
  for (uint32_t area = 1; area <= kSingleAverageMaxArea; ++area) {
    const double r = spread_kernels::reciprocalOf(area);
    bool parts = false;
    for (uint32_t s = 0; s <= 255 * area; ++s)
      parts |= static_cast<int32_t>(static_cast<double>(s) * r) !=
               spread_kernels::singleAverage(s, area);
    ASSERT_EQ(spread_kernels::alphaAverageIsQuotient(area), !parts) << "area " << area;
    quotients += parts ? 0 : 1;
  }
  EXPECT_GT(quotients, kSingleAverageMaxArea / 2);
  EXPECT_FALSE(spread_kernels::alphaAverageIsQuotient(49));
}

// The integer blend of two averages equals trunc(a × (1 − f) + b × f) for every pair, at pass
// radii from 1 up; below 1 the weight has bits beyond 2^-24 and no integer weight is given.
TEST(IntegerBlends, EqualTheDoubleBlendForEveryPairOfAverages) {
  std::mt19937 rng(1210u);
  for (int i = 0; i < 60; ++i) {
    const float x = i < 4 ? std::array{1.0f, 1.5f, 2.99999f, 6.6666665f}[i]
                          : 1.0f + static_cast<float>(rng() % 100000) / 97.0f;
    const double f = spread_kernels::outerWeight(x), wIn = 1.0 - f;
    const std::optional<uint32_t> weight = spread_kernels::outerWeight24(f);
    ASSERT_TRUE(weight.has_value()) << "radius " << x;
    for (uint32_t a = 0; a < 256; ++a)
      for (uint32_t b = 0; b < 256; ++b)
        ASSERT_EQ(spread_kernels::blend24(a, b, *weight),
                  static_cast<uint32_t>(static_cast<double>(a) * wIn + static_cast<double>(b) * f))
            << "radius " << x << " averages " << a << ", " << b;
  }
  EXPECT_FALSE(spread_kernels::outerWeight24(spread_kernels::outerWeight(0.3f)).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Setups, FastSpreadTest,
    ::testing::Values(Setup{"generic_1", KernelIsa::kGeneric, 1},
                      Setup{"generic_3", KernelIsa::kGeneric, 3},
                      Setup{"avx2_1", KernelIsa::kAvx2, 1},
                      Setup{"avx512_1", KernelIsa::kAvx512, 1},
                      Setup{"avx512_2", KernelIsa::kAvx512, 2},
                      // Bands one after another, in both orders: each
                      // sees what the others already wrote back.
                      Setup{"bands_forward", KernelIsa::kAvx512, 3, TaskOrder::kForward},
                      Setup{"bands_reverse", KernelIsa::kAvx512, 3, TaskOrder::kReverse},
                      Setup{"neon_1", KernelIsa::kNeon, 1}, Setup{"neon_2", KernelIsa::kNeon, 2},
                      Setup{"neon_bands_forward", KernelIsa::kNeon, 3, TaskOrder::kForward},
                      Setup{"neon_bands_reverse", KernelIsa::kNeon, 3, TaskOrder::kReverse}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shimmerly
