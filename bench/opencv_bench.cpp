// The glow of the layer's colours next to what a user would write in OpenCV, in one program so
// that both see the same machine in the same run: renders through the in-process host, as
// `shimmerly bench` renders (the default one-colour glow and the glow of the layer's colours at
// both qualities and glow sizes 2, 22 and 500; the bloom look: In Front, Brightness mask, the
// layer's colours, Screen; the default with the Screen and Magic Glue 2 blends), against three
// 15 × 15 box filters of the four channels and a Screen blend, and against a Gaussian blur and
// Screen. 1920 × 1080 and 3840 × 2160, the frame of discs, 1 and 2 threads. Built only where
// OpenCV is installed; the engine never uses it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "cli/disc_frame.h"
#include "cli/plugin_host.h"
#include "engine/render_engine.h"
#include "host/entry.h"
#include "host/params.h"

namespace {

// The renders compared, as the `look` argument: the default controls (a glow of the custom
// colour), the glow of the layer's colours, the bloom look, and the default with the Screen and
// the Magic Glue 2 blends.
enum Look : int64_t {
  kCustomColour = 0,
  kLayerColour = 1,
  kBloom = 2,
  kScreen = 3,
  kMagicGlue2 = 4
};

void setRate(benchmark::State& state, int32_t width, int32_t height) {
  state.counters["Mpix/s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * width * height / 1e6, benchmark::Counter::kIsRate);
}

// Arguments: height, look, low quality, glow size, threads.
void BM_Glow(benchmark::State& state) {
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("shimmerly-cv-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  const int32_t height = static_cast<int32_t>(state.range(0)), width = height * 16 / 9;
  const Look look = static_cast<Look>(state.range(1));
  shimmerly::cli::PluginHost host(shimmerly::pluginMain, "Shimmerly.so");
  host.start();
  shimmerly::renderEngine().setThreadCount(static_cast<int>(state.range(4)));
  host.param(shimmerly::PARAM_GLOW_SIZE).u.fs_d.value = static_cast<double>(state.range(3));
  if (look == kLayerColour || look == kBloom)
    host.param(shimmerly::PARAM_GLOW_COLOR_FROM).u.pd.value = 2;
  if (look == kScreen) host.param(shimmerly::PARAM_BLEND_MODE).u.pd.value = 2;
  if (look == kMagicGlue2) host.param(shimmerly::PARAM_BLEND_MODE).u.pd.value = 7;
  if (look == kBloom) {
    host.param(shimmerly::PARAM_GLOW_STYLE).u.pd.value = 1;  // In Front
    host.param(shimmerly::PARAM_MASK).u.pd.value = 3;        // Brightness
    host.param(shimmerly::PARAM_BLEND_MODE).u.pd.value = 2;  // Screen
  }
  shimmerly::cli::FrameSettings frame;
  frame.quality = state.range(2) != 0 ? PF_Quality_LO : PF_Quality_HI;
  std::vector<PF_Pixel> in = shimmerly::cli::discFrame(width, height), out(in.size());
  const PF_LayerDef input = shimmerly::cli::layerOver(in, width, height);
  PF_LayerDef output = shimmerly::cli::layerOver(out, width, height);
  for (auto _ : state) {
    if (host.render(input, output, frame) != PF_Err_NONE) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(out.data());
  }
  setRate(state, width, height);
  host.finish();
  shimmerly::renderEngine().setThreadCount(0);
  std::filesystem::remove_all(home);
}

// The frame of discs as an 8-bit four-channel image, red, green, blue, alpha.
cv::Mat discImage(int32_t width, int32_t height) {
  const std::vector<PF_Pixel> discs = shimmerly::cli::discFrame(width, height);
  cv::Mat image(height, width, CV_8UC4);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const PF_Pixel& p = discs[static_cast<size_t>(y) * width + x];
      image.at<cv::Vec4b>(y, x) = cv::Vec4b(p.red, p.green, p.blue, p.alpha);
    }
  return image;
}

// Screen of glow onto image: 255 − (255 − image)(255 − glow) / 255.
void screen(const cv::Mat& image, const cv::Mat& glow, cv::Mat& inverse, cv::Mat& inverseGlow,
            cv::Mat& out) {
  cv::subtract(cv::Scalar::all(255), image, inverse);
  cv::subtract(cv::Scalar::all(255), glow, inverseGlow);
  cv::multiply(inverse, inverseGlow, inverse, 1.0 / 255.0);
  cv::subtract(cv::Scalar::all(255), inverse, out);
}

// Arguments: height, threads, Gaussian (0: three 15 × 15 box filters, the box size of glow size
// 22's passes; 1: a Gaussian blur of sigma 7).
void BM_OpenCv(benchmark::State& state) {
  const int32_t height = static_cast<int32_t>(state.range(0)), width = height * 16 / 9;
  const int previous = cv::getNumThreads();
  cv::setNumThreads(static_cast<int>(state.range(1)));
  const bool gaussian = state.range(2) != 0;
  const cv::Mat image = discImage(width, height);
  cv::Mat a, b, inverse, inverseGlow, out;
  for (auto _ : state) {
    if (gaussian) {
      cv::GaussianBlur(image, a, cv::Size(0, 0), 7.0);
    } else {
      cv::boxFilter(image, a, -1, cv::Size(15, 15));
      cv::boxFilter(a, b, -1, cv::Size(15, 15));
      cv::boxFilter(b, a, -1, cv::Size(15, 15));
    }
    screen(image, a, inverse, inverseGlow, out);
    benchmark::DoNotOptimize(out.data);
  }
  setRate(state, width, height);
  cv::setNumThreads(previous);
}

// Both colour sources at both qualities and glow sizes 2, 22 and 500; the bloom look at size 22;
// the two blends at 1080p. On 1 and 2 threads.
void glowArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"h", "look", "low", "size", "threads"});
  for (int h : {1080, 2160})
    for (int threads : {1, 2}) {
      for (int look : {kCustomColour, kLayerColour})
        for (int low : {0, 1})
          for (int size : {2, 22, 500}) b->Args({h, look, low, size, threads});
      b->Args({h, kBloom, 0, 22, threads});
      if (h == 1080)
        for (int look : {kScreen, kMagicGlue2}) b->Args({h, look, 0, 22, threads});
    }
}

BENCHMARK(BM_Glow)->Apply(glowArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenCv)
    ->ArgNames({"h", "threads", "gaussian"})
    ->ArgsProduct({{1080, 2160}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
