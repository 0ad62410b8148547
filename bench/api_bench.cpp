// Whole renders through the public library (shimmerly::Engine) on the benchmarks' frame of discs
// as RGBA: the figures a program or an adapter sees, the byte-order conversion to the engine's
// pixels and back included. Compare with BM_Render of shimmerly_fast_render_bench, the plug-in's
// path, at the same arguments.
#include <benchmark/benchmark.h>
#include <shimmerly/shimmerly.h>

#include <cstdint>
#include <vector>

#include "cli/disc_frame.h"

namespace {

// Arguments: height (1080 or 2160), low quality, glow size, threads.
void BM_PublicRender(benchmark::State& state) {
  const int32_t height = static_cast<int32_t>(state.range(0)), width = height * 16 / 9;
  std::vector<PF_Pixel> discs = shimmerly::cli::discFrame(width, height);
  std::vector<uint8_t> in(discs.size() * 4), out(in.size());
  for (size_t i = 0; i < discs.size(); ++i) {
    in[i * 4] = discs[i].red;
    in[i * 4 + 1] = discs[i].green;
    in[i * 4 + 2] = discs[i].blue;
    in[i * 4 + 3] = discs[i].alpha;
  }
  shimmerly::Controls controls;
  controls.glowSize = static_cast<double>(state.range(2));
  shimmerly::RenderOptions options;
  options.lowQuality = state.range(1) != 0;
  options.threads = static_cast<int>(state.range(3));
  shimmerly::Engine engine;
  const int64_t rowBytes = int64_t{width} * 4;
  // A pixel inside a disc, where the layer shows under the glow.
  const size_t probe = (static_cast<size_t>(height / 16) * width + width / 24) * 4 + 3;
  for (auto _ : state) {
    engine.render({in.data(), width, height, rowBytes}, {out.data(), width, height, rowBytes},
                  controls, options);
    if (out[probe] != 255) state.SkipWithError("no layer under the glow");
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["Mpix/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * width * height / 1e6, benchmark::Counter::kIsRate);
}

void publicArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"h", "low", "size", "threads"});
  for (int h : {1080, 2160})
    for (int low : {0, 1})
      for (int threads : {1, 2}) b->Args({h, low, 22, threads});
}

BENCHMARK(BM_PublicRender)->Apply(publicArgs)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
