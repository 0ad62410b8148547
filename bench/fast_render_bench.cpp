// Whole renders with the default controls through the in-process host, literal reference kernels
// against the fast path, for the figures users quote: 1920 × 1080 and 3840 × 2160, both
// qualities, glow sizes 2, 22 and 500, the fast path on 1 and 2 threads; at 1080p the same
// on a frame whose discs the sides cut, where every glow size covers the whole frame; and the
// glow of the layer's colours (Glow Color From: This Layer), which spreads four channels. Reports
// the frame's working-memory peak (fast path) and the growth of the process's peak resident
// memory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/disc_frame.h"
#include "cli/plugin_host.h"
#include "engine/render_engine.h"
#include "host/entry.h"
#include "host/params.h"

namespace {

size_t procBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stoull(line.substr(std::strlen(field))) * 1024;
  return 0;
}

// Arguments: height (1080 or 2160), low quality, glow size, threads (0 = reference kernels).
void renderFrames(benchmark::State& state, shimmerly::cli::DiscGrid grid,
                  bool layerColour = false) {
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("shimmerly-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  const int32_t height = static_cast<int32_t>(state.range(0)), width = height * 16 / 9;
  const bool low = state.range(1) != 0;
  const double size = static_cast<double>(state.range(2));
  const int threads = static_cast<int>(state.range(3));

  shimmerly::cli::PluginHost host(shimmerly::pluginMain, "Shimmerly.so");
  host.start();
  shimmerly::renderEngine().setFastPath(threads != 0);
  shimmerly::renderEngine().setThreadCount(threads == 0 ? 1 : threads);
  host.param(shimmerly::PARAM_GLOW_SIZE).u.fs_d.value = size;
  if (layerColour) host.param(shimmerly::PARAM_GLOW_COLOR_FROM).u.pd.value = 2;
  shimmerly::cli::FrameSettings frame;
  frame.quality = low ? PF_Quality_LO : PF_Quality_HI;
  std::vector<PF_Pixel> in = shimmerly::cli::discFrame(width, height, grid), out(in.size());
  // A pixel inside a disc, where the layer shows under the glow.
  const size_t probe = grid == shimmerly::cli::DiscGrid::kInside
                           ? static_cast<size_t>(height / 16) * width + width / 24
                           : 0;
  const PF_LayerDef input = shimmerly::cli::layerOver(in, width, height);
  PF_LayerDef output = shimmerly::cli::layerOver(out, width, height);
  std::ofstream("/proc/self/clear_refs") << "5";
  const size_t before = procBytes("VmRSS:");
  for (auto _ : state) {
    if (host.render(input, output, frame) != PF_Err_NONE) state.SkipWithError("render failed");
    if (out[probe].alpha != 255) state.SkipWithError("no layer under the glow");
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["engine_peak_MB"] = shimmerly::renderEngine().lastFramePeakBytes() / 1e6;
  state.counters["rss_growth_MB"] = (procBytes("VmHWM:") - before) / 1e6;
  state.counters["Mpix/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * width * height / 1e6, benchmark::Counter::kIsRate);
  host.finish();
  shimmerly::renderEngine().setFastPath(true);
  shimmerly::renderEngine().setThreadCount(0);
  std::filesystem::remove_all(home);
}

// The frame of discs inside it: at glow size 2 the glow covers 93% of a 1080p frame, at 500 all
// of it.
void BM_Render(benchmark::State& state) {
  renderFrames(state, shimmerly::cli::DiscGrid::kInside);
}

// Discs cut by the frame's sides: the glow covers the whole frame at every size, so that the
// sizes compare the cost per pixel alone.
void BM_RenderEdgeDiscs(benchmark::State& state) {
  renderFrames(state, shimmerly::cli::DiscGrid::kCutByEdges);
}

// The glow of the layer's colours on the frame of discs.
void BM_RenderLayerColour(benchmark::State& state) {
  renderFrames(state, shimmerly::cli::DiscGrid::kInside, true);
}

void renderArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"h", "low", "size", "threads"});
  for (int h : {1080, 2160})
    for (int low : {0, 1})
      for (int size : {2, 22, 500})
        for (int threads : {0, 1, 2}) b->Args({h, low, size, threads});
}

void edgeDiscArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"h", "low", "size", "threads"});
  for (int low : {0, 1})
    for (int size : {2, 22, 500})
      for (int threads : {1, 2}) b->Args({1080, low, size, threads});
}

BENCHMARK(BM_Render)->Apply(renderArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderEdgeDiscs)->Apply(edgeDiscArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderLayerColour)
    ->ArgNames({"h", "low", "size", "threads"})
    ->ArgsProduct({{1080, 2160}, {0, 1}, {22}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
