// `shimmerly bench [INPUT] [--size WxH] [--frames N] [--threads N] [control options] [--json]`:
// renders one frame N times through the plug-in and reports the median and minimum milliseconds per
// frame, megapixels per second (at the median), the peak memory the renders added to the process,
// and what the plug-in says rendered the frames: its kernels' instruction set and its threads.
// Without INPUT it renders a built-in frame of the given size: opaque discs with colour
// gradients on a transparent layer, so that the default Layer Alpha target has edges.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// windows.h first: psapi.h uses its types.
#include <psapi.h>
#endif

#include "cli/command_registry.h"
#include "cli/control_options.h"
#include "cli/disc_frame.h"
#include "cli/image_io.h"
#include "cli/plugin_host.h"
#include "cli/session.h"

namespace shimmerly::cli {
namespace {

struct BenchArgs {
  std::optional<std::string> input;
  std::string size = "1920x1080";
  int frames = 20;
  std::optional<int> threads;  // render threads; unset leaves SHIMMERLY_THREADS as it is
  bool json = false;
  ControlOptions controls;
};

void parseSize(const std::string& text, int32_t& width, int32_t& height) {
  int w = 0, h = 0;
  char x = 0, extra = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') ||
      w < 1 || h < 1 || w > 32768 || h > 32768)
    throw std::runtime_error("--size: expected WxH with both from 1 to 32768, got \"" + text +
                             "\"");
  width = w;
  height = h;
}

// Resident bytes now (kNow), and the process's peak (kPeak): on Linux since resetPeak, on Windows
// since the process started, as Windows keeps no resettable peak; 0 elsewhere.
enum class Resident { kNow, kPeak };
size_t residentBytes(Resident which) {
#if defined(__linux__)
  const std::string field = which == Resident::kNow ? "VmRSS:" : "VmHWM:";
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stoull(line.substr(field.size())) * 1024;
#elif defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
    return which == Resident::kNow ? counters.WorkingSetSize : counters.PeakWorkingSetSize;
#else
  (void)which;
#endif
  return 0;
}
void resetPeak() {
#ifdef __linux__
  std::ofstream("/proc/self/clear_refs") << "5";
#endif
}

// What the plug-in reported about its last render (report_render of the host services).
struct RenderReport {
  std::string kernels = "unknown";
  int32_t threads = 0;
  static void PF_CALL receive(void* refcon, const char* kernels, int32_t threads, uint64_t) {
    auto* self = static_cast<RenderReport*>(refcon);
    self->kernels = kernels ? kernels : "unknown";
    self->threads = threads;
  }
};

int runBench(const BenchArgs& args, const GlobalOptions& global) {
  if (args.frames < 1) throw std::runtime_error("--frames: expected at least 1");
  int32_t width = 0, height = 0;
  std::vector<PF_Pixel> in;
  if (args.input) {
    const Image image = readImage(*args.input);
    width = image.width;
    height = image.height;
    in = toHostPixels(image);
  } else {
    parseSize(args.size, width, height);
    in = discFrame(width, height);
  }
  std::vector<PF_Pixel> out(in.size());
  const PF_LayerDef input = layerOver(in, width, height);
  PF_LayerDef output = layerOver(out, width, height);

  if (args.threads) useRenderThreads(*args.threads);
  std::unique_ptr<PluginHost> host = openSession(global);
  applyControls(*host, args.controls);
  const FrameSettings frame = frameSettingsFrom(args.controls);
  RenderReport report;
  host->hostServicesHook = [&report](PF_ShimmerlyHostServices& services) {
    services.refcon = &report;
    services.report_render = RenderReport::receive;
  };

  resetPeak();
  const size_t before = residentBytes(Resident::kNow);
  std::vector<double> ms;
  ms.reserve(static_cast<size_t>(args.frames));
  for (int i = 0; i < args.frames; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const PF_Err err = host->render(input, output, frame);
    const auto end = std::chrono::steady_clock::now();
    if (err == PF_Interrupt_CANCEL || cancelRequested()) return kExitCancelled;
    if (err != PF_Err_NONE)
      throw std::runtime_error("the plug-in failed to render (code " + std::to_string(err) + ")");
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  const size_t peak = residentBytes(Resident::kPeak);
  const size_t peakBytes = peak > before ? peak - before : 0;
  host->finish();

  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  const size_t n = sorted.size();
  const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  const double minimum = sorted.front();
  const double mpix = static_cast<double>(width) * height / 1e6 / (median / 1000.0);
  if (args.json) {
    std::printf(
        "{\"width\": %d, \"height\": %d, \"frames\": %d, \"median_ms\": %.3f, \"min_ms\": %.3f, "
        "\"mpix_per_s\": %.1f, \"peak_bytes\": %zu, \"isa\": \"%s\", \"threads\": %d}\n",
        width, height, args.frames, median, minimum, mpix, peakBytes, report.kernels.c_str(),
        static_cast<int>(report.threads));
  } else {
    std::printf(
        "%dx%d, %d frames: median %.2f ms, min %.2f ms, %.1f megapixels/s, peak %.1f MB, %s "
        "kernels on %d threads\n",
        width, height, args.frames, median, minimum, mpix, peakBytes / 1e6, report.kernels.c_str(),
        static_cast<int>(report.threads));
  }
  return kExitOk;
}

const CommandRegistration registration{
    "bench", "Render one frame N times through the plug-in; report median and minimum ms per frame",
    [](CLI::App& app, const GlobalOptions& global) -> CommandAction {
      auto args = std::make_shared<BenchArgs>();
      app.add_option("input", args->input, "Image to render (PNG or PAM); default: built-in frame");
      app.add_option("--size", args->size, "Size of the built-in frame, WxH (default 1920x1080)");
      app.add_option("--frames", args->frames, "Frames to render (default 20)");
      app.add_option("--threads", args->threads,
                     "Render threads (0: one per processor, at most 16; default: "
                     "SHIMMERLY_THREADS, else one per processor)")
          ->check(CLI::Range(0, 256));
      app.add_flag("--json", args->json,
                   "Print one JSON object: width, height, frames, median_ms, min_ms, mpix_per_s, "
                   "peak_bytes, isa (the kernels' instruction set), threads");
      addControlOptions(app, args->controls);
      return [args, &global] { return runBench(*args, global); };
    }};

}  // namespace
}  // namespace shimmerly::cli
