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

#include "cli/plugin_host.h"
#include "host/entry.h"

namespace {

// Opaque discs on a transparent layer, so that the default Layer Alpha target has edges.
std::vector<PF_Pixel> discFrame(int32_t width, int32_t height) {
  std::vector<PF_Pixel> pixels(static_cast<size_t>(width) * height, PF_Pixel{0, 0, 0, 0});
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const int32_t cx = (x / 160) * 160 + 80, cy = (y / 135) * 135 + 67;
      const int32_t dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy < 45 * 45)
        pixels[static_cast<size_t>(y) * width + x] =
            PF_Pixel{255, static_cast<uint8_t>(x * 255 / width), 160,
                     static_cast<uint8_t>(y * 255 / height)};
    }
  return pixels;
}

void BM_RenderDefaultSettings1080p(benchmark::State& state) {
  // Keep the preset folder that global set-up prepares away from the user's documents.
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("shimmerly-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  setenv("HOME", home.c_str(), 1);

  constexpr int32_t kWidth = 1920, kHeight = 1080;
  shimmerly::cli::PluginHost host(shimmerly::pluginMain, "Shimmerly.so");
  host.start();
  std::vector<PF_Pixel> in = discFrame(kWidth, kHeight), out(in.size());
  PF_LayerDef input{};
  input.width = kWidth;
  input.height = kHeight;
  input.rowbytes = kWidth * 4;
  input.data = in.data();
  PF_LayerDef output = input;
  output.data = out.data();
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
