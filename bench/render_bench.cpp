// A whole render of a 1920 × 1080 frame with the effect's default settings, driven through the
// in-process host exactly as the command-line host drives the plug-in. Reports pixels per second
// and checks every frame's result code and that the glow changed the frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/disc_frame.h"
#include "cli/plugin_host.h"
#include "host/entry.h"

namespace {

void BM_RenderDefaultSettings1080p(benchmark::State& state) {
  // Keep the preset folder that global set-up prepares away from the user's documents.
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("shimmerly-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  setenv("HOME", home.c_str(), 1);

  constexpr int32_t kWidth = 1920, kHeight = 1080;
  shimmerly::cli::PluginHost host(shimmerly::pluginMain, "Shimmerly.so");
  host.start();
  std::vector<PF_Pixel> in = shimmerly::cli::discFrame(kWidth, kHeight), out(in.size());
  const PF_LayerDef input = shimmerly::cli::layerOver(in, kWidth, kHeight);
  PF_LayerDef output = shimmerly::cli::layerOver(out, kWidth, kHeight);
  for (auto _ : state) {
    if (host.render(input, output) != PF_Err_NONE) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(out.data());
  }
  if (std::memcmp(in.data(), out.data(), in.size() * sizeof(PF_Pixel)) == 0)
    state.SkipWithError("the glow left the frame unchanged");
  state.SetItemsProcessed(state.iterations() * int64_t{kWidth} * kHeight);
  host.finish();
  std::filesystem::remove_all(home);
}
BENCHMARK(BM_RenderDefaultSettings1080p)->Unit(benchmark::kMillisecond);

}  // namespace
