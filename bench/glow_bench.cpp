// Glow engine benchmarks on a 1920 × 1080 frame at glow size 22: the spread in one box pass
// (low quality) and in three passes (high quality), and a whole target extraction. Pixels per
// second are reported; each iteration checks its output so that no work is optimised away.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/raster.h"
#include "glow/extract.h"
#include "glow/spread.h"

namespace shimmerly {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr float kGlowSize = 22.0f;

// A frame of seeded noise whose middle third is opaque, the rest fully transparent.
std::vector<PF_Pixel> benchFrame() {
  std::vector<PF_Pixel> frame(static_cast<size_t>(kWidth) * kHeight);
  std::mt19937 rng(7);
  for (int32_t r = 0; r < kHeight; ++r)
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint32_t v = rng();
      const bool inside =
          x > kWidth / 3 && x < 2 * kWidth / 3 && r > kHeight / 3 && r < 2 * kHeight / 3;
      frame[static_cast<size_t>(r) * kWidth + x] = PF_Pixel{
          static_cast<uint8_t>(inside ? 255 : 0), uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
    }
  return frame;
}

// The glow raster that extraction would hand to the spread, and its bounds.
void fillGlow(Raster& glow, GlowBounds& bounds) {
  const std::vector<PF_Pixel> frame = benchFrame();
  for (int32_t r = 0; r < kHeight; ++r)
    for (int32_t x = 0; x < kWidth; ++x) {
      const PF_Pixel& p = frame[static_cast<size_t>(r) * kWidth + x];
      if (p.alpha == 0) continue;
      glow.rgbaRow(kHeight - 1 - r)[x] = RgbaPixel{p.red, p.green, p.blue, p.alpha};
      bounds.include(x, kHeight - 1 - r);
    }
}

void spreadBench(benchmark::State& state, bool lowQuality) {
  Raster source(kWidth, kHeight, kPixelRgba);
  GlowBounds sourceBounds;
  fillGlow(source, sourceBounds);
  Raster glow(kWidth, kHeight, kPixelRgba);
  const int64_t bytes = static_cast<int64_t>(kWidth) * kHeight * 4;
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(source.pixels(), source.pixels() + bytes, glow.pixels());
    GlowBounds bounds = sourceBounds;
    state.ResumeTiming();
    spread(glow, kGlowSize, bounds, kSpreadAll, lowQuality);
    // The centre stays inside the glow; the corner stays outside its reach.
    if (glow.rgbaRow(kHeight / 2)[kWidth / 2].alpha == 0 || glow.rgbaRow(0)[0].alpha != 0)
      state.SkipWithError("unexpected spread result");
    benchmark::DoNotOptimize(glow.pixels());
  }
  state.counters["pixels"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kWidth * kHeight, benchmark::Counter::kIsRate);
}

void BM_SpreadOnePass(benchmark::State& state) {
  spreadBench(state, true);
}
void BM_SpreadThreePasses(benchmark::State& state) {
  spreadBench(state, false);
}

void BM_Extraction(benchmark::State& state) {
  const std::vector<PF_Pixel> frame = benchFrame();
  const bool lowQuality = state.range(0) != 0;
  for (auto _ : state) {
    Raster target(kWidth, kHeight, kPixelRgba), glow(kWidth, kHeight, kPixelRgba);
    RenderSettings settings;
    settings.targetType = 2;        // the layer's alpha
    settings.targetProcessing = 1;  // a plain glow
    settings.glowSize = kGlowSize;
    GlowBounds bounds;
    const int32_t code = extractTarget({target,
                                        settings,
                                        frame.data(),
                                        0,
                                        kWidth,
                                        kHeight,
                                        1.0,
                                        lowQuality,
                                        bounds,
                                        bounds,
                                        {},
                                        &glow,
                                        2,
                                        RgbColor{255, 255, 255}});
    if (code != 0 || glow.rgbaRow(kHeight / 2)[kWidth / 2].alpha == 0)
      state.SkipWithError("unexpected extraction result");
    benchmark::DoNotOptimize(glow.pixels());
  }
  state.counters["pixels"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kWidth * kHeight, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_SpreadOnePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpreadThreePasses)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extraction)->Arg(1)->Arg(0)->ArgName("lowQuality")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace shimmerly
