// Where a render's time goes, step by step: the default render (the white Out-Glow of the layer's
// alpha, size 22, Normal at softness 80) and the same render with the glow of the layer's own
// colours, on `shimmerly bench`'s built-in frame of discs. Each step runs alone on the fast
// kernels, as the engine runs it, and its median over the frames is printed beside the whole
// render through the engine. Plain timing with the standard clock, without Google Benchmark, so
// that the program builds and runs wherever the plug-in does: the Windows build under wine64
// and the ARM64 build included. SHIMMERLY_ISA picks the kernels.
// Usage: shimmerly_step_times [THREADS [FRAMES [WIDTHxHEIGHT]]]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/frame_layers.h"
#include "cli/disc_frame.h"
#include "composite/blend.h"
#include "composite/fast_composite.h"
#include "core/frame_memory.h"
#include "core/isa_dispatch.h"
#include "core/menu_codes.h"
#include "core/raster.h"
#include "core/render_threads.h"
#include "core/units.h"
#include "engine/frame_render.h"
#include "engine/render_engine.h"
#include "glow/fast_extract.h"
#include "glow/fast_spread.h"
#include "glow/spread.h"

namespace shimmerly {
namespace {

struct Frame {
  int32_t width = 1920;
  int32_t height = 1080;
  std::vector<PF_Pixel> pixels;
};

// The median, in milliseconds, of `frames` timed calls of step; before runs untimed before each.
template <typename Before, typename Step>
double medianMs(int frames, Before before, Step step) {
  std::vector<double> times;
  for (int i = 0; i < frames + 1; ++i) {
    before();
    const auto start = std::chrono::steady_clock::now();
    step();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (i > 0) times.push_back(took.count());  // the first call also faults the memory in
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

// Two steps timed in turn, a few frames of one, then a few of the other, round after round: the
// medians of each, in milliseconds, and the median of the rounds' differences (first − second).
// Both steps of a round see the machine as it is at that moment, so the difference of two steps
// that share most of their work stays meaningful on a machine whose speed drifts, where the
// difference of two separate medians may even fall below zero. Each run of a step starts with an
// untimed frame, so that each is timed with its own data in the caches, as in a stream of frames.
struct PairedMs {
  double first = 0, second = 0, difference = 0;
};
template <typename BeforeA, typename StepA, typename BeforeB, typename StepB>
PairedMs pairedMedianMs(int frames, BeforeA beforeA, StepA stepA, BeforeB beforeB, StepB stepB) {
  constexpr int kRoundFrames = 5;
  const int rounds = std::max(1, (frames + kRoundFrames - 1) / kRoundFrames);
  const int perRound = std::min(frames, kRoundFrames);
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  };
  auto run = [&](auto& before, auto& step, std::vector<double>& all) {
    std::vector<double> times;
    for (int i = 0; i < perRound + 1; ++i) {
      before();
      const auto start = std::chrono::steady_clock::now();
      step();
      const std::chrono::duration<double, std::milli> took =
          std::chrono::steady_clock::now() - start;
      if (i > 0) times.push_back(took.count());
    }
    all.insert(all.end(), times.begin(), times.end());
    return median(times);
  };
  std::vector<double> a, b, d;
  for (int r = 0; r < rounds; ++r) {
    const double ma = run(beforeA, stepA, a);
    d.push_back(ma - run(beforeB, stepB, b));
  }
  return {median(a), median(b), median(d)};
}

void fail(const char* what) {
  std::fprintf(stderr, "shimmerly_step_times: %s\n", what);
  std::exit(1);
}

// The settings the engine makes of the default controls: Layer Alpha, Out-Glow, size 22.
RenderSettings defaultSettings() {
  RenderSettings settings;
  settings.targetType = 2;
  settings.targetProcessing = 5;
  settings.glowSize = 22;
  settings.brightCutoff = 100 * kPercentToByte;
  settings.darkCutoff = 25 * kPercentToByte;
  return settings;
}

void printStep(const char* render, const char* step, double ms) {
  std::printf("%-18s %-16s %8.2f\n", render, step, ms);
}

// The steps of one render; layerColour: the glow of the layer's colours instead of white.
void timeSteps(const Frame& frame, bool layerColour, bool low, int threads, int frames) {
  const int32_t width = frame.width, height = frame.height;
  const size_t pixels = static_cast<size_t>(width) * height;
  std::unique_ptr<RenderPool> pool = threads > 1 ? std::make_unique<RenderPool>(threads) : nullptr;
  FrameMemory memory;
  const FastContext context{pool.get(), &memory};
  Raster target(width, height, kPixelRgba), glow(width, height, kPixelRgba);
  const InterruptCheck never = [](int32_t, int32_t, int32_t*) { return false; };
  const char* render = layerColour ? "layer-colour" : "default";
  std::vector<PF_Pixel> out(pixels);
  const FrameView view{frame.pixels.data(), width, out.data(), width, width, height};
  const CompositeControls controls{0.8, 1.0, 1, true};
  fillAlphaReciprocals();

  // Extraction with the spread inside it, as the engine calls it, and the spread alone, of what
  // the extraction hands it, timed in turn: the extraction's time is their difference.
  GlowBounds bounds;
  const uint8_t* glowAlpha = nullptr;
  // As in the engine, an edge glow of the layer's colours leaves its last step to the composite.
  PendingEdgeGlow edge;
  // The pending edge glow reads these settings until the composite has finished every row.
  RenderSettings settings = defaultSettings();
  GlowBounds sourceBounds;
  const std::vector<uint8_t> alpha = bench::alphasOf(frame.pixels, width, height, sourceBounds);
  Raster source(width, height, kPixelRgba);
  GlowBounds unused;
  if (layerColour) bench::glowOf(frame.pixels, width, height, source, unused);
  Raster spreadGlow(width, height, kPixelRgba);
  GlowBounds spreadBounds;
  const PairedMs extraction = pairedMedianMs(
      frames, [&] { bounds = GlowBounds{}; },
      [&] {
        const ExtractionRequest request{target,
                                        settings,
                                        frame.pixels.data(),
                                        0,
                                        width,
                                        height,
                                        1.0,
                                        low,
                                        bounds,
                                        bounds,
                                        never,
                                        &glow,
                                        layerColour ? 2 : 1,
                                        RgbColor{255, 255, 255}};
        if (fastExtractTarget(request, context, layerColour ? nullptr : &glowAlpha, &edge) != 0)
          fail("the extraction stopped");
      },
      [&] {
        spreadBounds = sourceBounds;
        if (layerColour) std::memcpy(spreadGlow.pixels(), source.pixels(), pixels * 4);
      },
      [&] {
        if (layerColour) {
          fastSpread(spreadGlow, spreadRadius(22.0), spreadBounds, kSpreadAll, low, context);
        } else if (fastSpreadAlphaPlane(alpha.data(), width, height, 0xFFFFFFu, spreadRadius(22.0),
                                        spreadBounds, low, true, context) == nullptr) {
          fail("white does not keep one colour");
        }
      });
  // The composite of the extraction's glow onto the layer.
  std::vector<uint8_t> keptAlpha;
  if (!layerColour) {
    if (glowAlpha == nullptr) fail("the default glow did not come as alphas");
    keptAlpha.assign(glowAlpha, glowAlpha + pixels);
  }
  // The composite finishes an edge glow's rows in the glow raster itself, so each timed
  // composite starts again from the spread glow.
  std::vector<uint8_t> spreadGlowKept;
  if (edge.pending) spreadGlowKept.assign(glow.pixels(), glow.pixels() + pixels * 4);
  const EdgeFromLayer fromLayer =
      !edge.pending || edge.values.settings->targetType != TargetType::Alpha ? EdgeFromLayer::kNone
      : edge.inner                                                           ? EdgeFromLayer::kInner
                   : EdgeFromLayer::kOuter;
  const double composite = medianMs(
      frames,
      [&] {
        if (edge.pending) std::memcpy(glow.pixels(), spreadGlowKept.data(), pixels * 4);
      },
      [&] {
        int32_t code = 0;
        if (!layerColour) {
          code = fastCompositeOfAlphas(view, keptAlpha.data(), 0xFFFFFFu, bounds, controls, never,
                                       context);
        } else if (edge.pending) {
          code = fastCompositePass(
              view, glow, bounds, controls, never, context,
              [&edge](int64_t y, uint32_t* row) { finishEdgeRow(edge, y, row); }, fromLayer);
        } else {
          code = fastCompositePass(view, glow, bounds, controls, never, context);
        }
        if (code != 0) fail("the composite stopped");
      });
  // The whole render through the engine, as `shimmerly bench` renders.
  RenderEngine engine;
  engine.setThreadCount(threads);
  std::vector<PF_Pixel> engineOut(pixels);
  FrameRequest request;
  request.frame = FrameView{frame.pixels.data(), width, engineOut.data(), width, width, height};
  request.controls.colorFrom = layerColour ? 2 : 1;
  request.lowQuality = low;
  request.extent = PixelBox{0, width - 1, 0, height - 1};
  const double whole = medianMs(
      frames, [] {},
      [&] {
        if (renderFrame(engine, request) != 0) fail("the render stopped");
      });
  if (std::memcmp(engineOut.data(), out.data(), pixels * sizeof(PF_Pixel)) != 0)
    fail("the steps' output differs from the engine's: the steps do not time what it runs");

  char label[32];
  std::snprintf(label, sizeof label, "%s %s", render, low ? "low" : "high");
  printStep(label, "extraction", extraction.difference);
  printStep(label, "spread", extraction.second);
  printStep(label, "composite", composite);
  printStep(label, "steps together", extraction.first + composite);
  printStep(label, "whole render", whole);
}

}  // namespace
}  // namespace shimmerly

int main(int argc, char** argv) {
  using namespace shimmerly;
  const int threads = argc > 1 ? std::atoi(argv[1]) : 2;
  const int frames = argc > 2 ? std::atoi(argv[2]) : 15;
  Frame frame;
  if (argc > 3 && std::sscanf(argv[3], "%dx%d", &frame.width, &frame.height) != 2)
    fail("the size is WIDTHxHEIGHT");
  if (threads < 1 || frames < 1 || frame.width < 1 || frame.height < 1)
    fail("usage: shimmerly_step_times [THREADS [FRAMES [WIDTHxHEIGHT]]], all at least 1");
  frame.pixels = cli::discFrame(frame.width, frame.height);
  std::printf("# %dx%d, %d thread(s), kernels %s, median ms of %d frames\n", frame.width,
              frame.height, threads, kernelIsaName(activeKernelIsa()), frames);
  for (bool layerColour : {false, true})
    for (bool low : {false, true}) timeSteps(frame, layerColour, low, threads, frames);
  return 0;
}
