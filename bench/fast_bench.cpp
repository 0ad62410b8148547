// The fast kernels next to their references on a 1920 × 1080 frame of discs: the spread (one
// pass and three, glow sizes 2, 22 and 500, a glow of many colours and one of one colour, and
// the one-colour glow given by its alphas as the render hands it over), the whole extraction
// with its Out-Glow processing, and the composite pass in every blend mode, also of a glow given by
// its alphas; the fast ones on 1 and 2 threads. Pixels per second are reported and every iteration
// checks a pixel of its output so that no work is optimised away.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "bench/frame_layers.h"
#include "cli/disc_frame.h"
#include "composite/blend.h"
#include "composite/composite_pass.h"
#include "composite/fast_composite.h"
#include "core/frame_memory.h"
#include "core/raster.h"
#include "core/render_threads.h"
#include "glow/extract.h"
#include "glow/fast_extract.h"
#include "glow/fast_spread.h"
#include "glow/spread.h"

namespace shimmerly {
namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

// The built-in frame of opaque discs on a transparent layer, top row first.
std::vector<PF_Pixel> discFrame() {
  return cli::discFrame(kWidth, kHeight);
}

// The glow raster extraction hands to the spread, and its bounds.
void glowOf(const std::vector<PF_Pixel>& frame, Raster& glow, GlowBounds& bounds) {
  bench::glowOf(frame, kWidth, kHeight, glow, bounds);
}

// The frame's alphas as the extraction keeps them for a custom-colour glow, and their bounds.
std::vector<uint8_t> alphasOf(const std::vector<PF_Pixel>& frame, GlowBounds& bounds) {
  return bench::alphasOf(frame, kWidth, kHeight, bounds);
}

void setRate(benchmark::State& state) {
  state.counters["pixels"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kWidth * kHeight, benchmark::Counter::kIsRate);
}

// Arguments: low quality (0/1), glow size, threads (0 = the reference kernel), one colour (0/1:
// the discs in white, the custom-colour glow, which the fast spread is told about).
void BM_Spread(benchmark::State& state) {
  const bool low = state.range(0) != 0;
  const float size = static_cast<float>(state.range(1));
  const int threads = static_cast<int>(state.range(2));
  const bool white = state.range(3) != 0;
  Raster source(kWidth, kHeight, kPixelRgba), glow(kWidth, kHeight, kPixelRgba);
  GlowBounds sourceBounds;
  std::vector<PF_Pixel> frame = discFrame();
  if (white)
    for (PF_Pixel& p : frame) p = PF_Pixel{p.alpha, 255, 255, 255};
  glowOf(frame, source, sourceBounds);
  const std::optional<uint32_t> colour = white ? std::optional<uint32_t>(0xFFFFFFu) : std::nullopt;
  std::unique_ptr<RenderPool> pool = threads > 1 ? std::make_unique<RenderPool>(threads) : nullptr;
  FrameMemory memory;
  const size_t bytes = static_cast<size_t>(kWidth) * kHeight * 4;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(glow.pixels(), source.pixels(), bytes);
    GlowBounds bounds = sourceBounds;
    state.ResumeTiming();
    if (threads == 0)
      spread(glow, size, bounds, kSpreadAll, low);
    else
      fastSpread(glow, size, bounds, kSpreadAll, low, {pool.get(), &memory}, nullptr, colour);
    if (glow.rgbaRow(kHeight - 1 - 67)[80].alpha == 0) state.SkipWithError("no glow at a disc");
  }
  setRate(state);
}

// Arguments: low quality, glow size, threads, plane. The spread of a one-colour glow given by its
// alphas alone, as the render hands over a custom-colour glow: the discs' alphas in white; into
// the glow raster, or (plane) kept as alpha bytes with the Out-Glow, as for the default render.
void BM_SpreadOfAlpha(benchmark::State& state) {
  const bool low = state.range(0) != 0;
  const float size = static_cast<float>(state.range(1));
  const int threads = static_cast<int>(state.range(2));
  const bool plane = state.range(3) != 0;
  GlowBounds sourceBounds;
  const std::vector<uint8_t> alpha = alphasOf(discFrame(), sourceBounds);
  Raster glow(kWidth, kHeight, kPixelRgba);
  std::unique_ptr<RenderPool> pool = threads > 1 ? std::make_unique<RenderPool>(threads) : nullptr;
  FrameMemory memory;
  for (auto _ : state) {
    GlowBounds bounds = sourceBounds;
    if (plane) {
      const uint8_t* out = fastSpreadAlphaPlane(alpha.data(), kWidth, kHeight, 0xFFFFFFu, size,
                                                bounds, low, true, {pool.get(), &memory});
      if (out == nullptr || out[static_cast<size_t>(kHeight - 1 - 67) * kWidth + 80 + 45] == 0)
        state.SkipWithError("no out-glow beside a disc");
      continue;
    }
    fastSpreadOfAlpha(glow, alpha.data(), 0xFFFFFFu, size, bounds, low, {pool.get(), &memory});
    if (glow.rgbaRow(kHeight - 1 - 67)[80].alpha == 0) state.SkipWithError("no glow at a disc");
  }
  setRate(state);
}

// Arguments: low quality, threads (0 = reference). Out-Glow of the layer's alpha, size 22.
void BM_Extraction(benchmark::State& state) {
  const bool low = state.range(0) != 0;
  const int threads = static_cast<int>(state.range(1));
  const std::vector<PF_Pixel> frame = discFrame();
  std::unique_ptr<RenderPool> pool = threads > 1 ? std::make_unique<RenderPool>(threads) : nullptr;
  FrameMemory memory;
  Raster target(kWidth, kHeight, kPixelRgba), glow(kWidth, kHeight, kPixelRgba);
  for (auto _ : state) {
    state.PauseTiming();
    std::memset(glow.pixels(), 0, static_cast<size_t>(kWidth) * kHeight * 4);  // reference
    state.ResumeTiming();
    RenderSettings settings;
    settings.targetType = 2;
    settings.targetProcessing = 5;
    settings.glowSize = 22;
    GlowBounds bounds;
    const InterruptCheck never;
    const ExtractionRequest request{
        target, settings, frame.data(), 0,     kWidth, kHeight, 1.0,
        low,    bounds,   bounds,       never, &glow,  1,       RgbColor{255, 255, 255}};
    const int32_t code =
        threads == 0 ? extractTarget(request) : fastExtractTarget(request, {pool.get(), &memory});
    if (code != 0 || glow.rgbaRow(kHeight - 1 - 67)[80 + 50].alpha == 0)
      state.SkipWithError("no out-glow beside a disc");
  }
  setRate(state);
}

// Arguments: blend mode, threads (0 = reference). Softness 80, the glow of the discs.
void BM_Composite(benchmark::State& state) {
  const int32_t mode = static_cast<int32_t>(state.range(0));
  const int threads = static_cast<int>(state.range(1));
  std::vector<PF_Pixel> in = discFrame(), out(in.size());
  Raster glow(kWidth, kHeight, kPixelRgba);
  GlowBounds bounds;
  glowOf(in, glow, bounds);
  spread(glow, 22.0f, bounds, kSpreadAll, true);
  for (PF_Pixel& p : in) p.alpha = 255;  // an opaque layer under the glow
  const FrameView view{in.data(), kWidth, out.data(), kWidth, kWidth, kHeight};
  fillAlphaReciprocals();
  std::unique_ptr<RenderPool> pool = threads > 1 ? std::make_unique<RenderPool>(threads) : nullptr;
  FrameMemory memory;
  const CompositeControls controls{0.8, 1.0, mode, true};
  for (auto _ : state) {
    const int32_t code =
        threads == 0 ? compositePass(controls, glow, bounds, view,
                                     [](int32_t, int32_t, int32_t*) { return false; })
                     : fastCompositePass(view, glow, bounds, controls, {}, {pool.get(), &memory});
    if (code != 0 || out[static_cast<size_t>(67) * kWidth + 80].alpha != 255)
      state.SkipWithError("unexpected composite");
    benchmark::DoNotOptimize(out.data());
  }
  setRate(state);
}

// Arguments: threads. The render's default frame: the white Out-Glow of the discs, size 22, given
// by its alphas alone, over the layer of discs, Normal mode at softness 80; against the same
// glow as words.
void BM_CompositeOfAlphas(benchmark::State& state) {
  const bool words = state.range(0) != 0;
  const int threads = static_cast<int>(state.range(1));
  const std::vector<PF_Pixel> in = discFrame();
  std::vector<PF_Pixel> out(in.size());
  GlowBounds bounds;
  const std::vector<uint8_t> alpha = alphasOf(in, bounds);
  std::unique_ptr<RenderPool> pool = threads > 1 ? std::make_unique<RenderPool>(threads) : nullptr;
  FrameMemory memory;
  const FastContext context{pool.get(), &memory};
  const uint8_t* plane = fastSpreadAlphaPlane(alpha.data(), kWidth, kHeight, 0xFFFFFFu,
                                              spreadRadius(22.0), bounds, false, true, context);
  if (plane == nullptr) {
    state.SkipWithError("white does not keep one colour");
    return;
  }
  std::vector<uint8_t> glowAlpha(plane, plane + alpha.size());
  Raster glow(kWidth, kHeight, kPixelRgba);
  wordsOfAlpha(reinterpret_cast<uint32_t*>(glow.pixels()), glowAlpha.data(), 0xFFFFFFu, kWidth, 0,
               kHeight);
  fillAlphaReciprocals();
  const FrameView view{in.data(), kWidth, out.data(), kWidth, kWidth, kHeight};
  const CompositeControls controls{0.8, 1.0, 1, true};
  for (auto _ : state) {
    const int32_t code = words ? fastCompositePass(view, glow, bounds, controls, {}, context)
                               : fastCompositeOfAlphas(view, glowAlpha.data(), 0xFFFFFFu, bounds,
                                                       controls, {}, context);
    if (code != 0 || out[static_cast<size_t>(67) * kWidth + 80 + 50].alpha == 0)
      state.SkipWithError("no glow beside a disc");
    benchmark::DoNotOptimize(out.data());
  }
  setRate(state);
}

void spreadArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"low", "size", "threads", "white"});
  for (int white : {0, 1})
    for (int low : {0, 1})
      for (int size : {2, 22, 500})
        for (int threads : {0, 1, 2}) b->Args({low, size, threads, white});
}

BENCHMARK(BM_Spread)->Apply(spreadArgs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpreadOfAlpha)
    ->ArgNames({"low", "size", "threads", "plane"})
    ->ArgsProduct({{0, 1}, {2, 22, 500}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extraction)
    ->ArgNames({"low", "threads"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Composite)
    ->ArgNames({"mode", "threads"})
    ->ArgsProduct({{1, 2, 3, 4, 5, 6, 7, 8}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompositeOfAlphas)
    ->ArgNames({"words", "threads"})
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace shimmerly
