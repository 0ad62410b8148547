// Fuzz target: whole renders through the plug-in's entry point, as a host would send them, with
// every host-side value taken from the input: the control values written straight into the
// parameter array (popups and checkboxes any integer, sliders any real or 16.16 value, the
// colour any bytes), both slider forms, both qualities, frames of 0 to 24 pixels a side with row
// gaps, any extent, downsampling and pixel aspect, an interrupt at any row, on the fast and on
// the reference engine. The render must return 0 or the interrupt's code, write nothing outside
// the output frame and give back every memory handle.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "cli/plugin_host.h"
#include "engine/render_engine.h"
#include "fuzz_support.h"
#include "host/entry.h"
#include "host/params.h"

using namespace shimmerly;

namespace {

constexpr PF_Pixel kGuard{0x5A, 0xA5, 0x3C, 0xC3};
constexpr PF_Err kInterruptCode = 1234;

cli::PluginHost& host() {
  static cli::PluginHost* instance = [] {
    fuzzing::privatePresetFolder();
    auto* h = new cli::PluginHost(pluginMain, "/opt/hosts/Plug-ins/Shimmerly.so");
    h->start();
    return h;
  }();
  return *instance;
}

double sliderValue(fuzzing::InputReader& in) {
  static const double kSpecial[] = {0.0,
                                    -0.0,
                                    1.0,
                                    50.0,
                                    100.0,
                                    -100.0,
                                    1000.0,
                                    100.5,
                                    -1.0,
                                    1e9,
                                    -1e9,
                                    1e308,
                                    -1e308,
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::denorm_min(),
                                    0.3,
                                    22.0,
                                    80.0,
                                    25.0};
  constexpr size_t kCount = sizeof kSpecial / sizeof kSpecial[0];
  const uint8_t pick = in.take<uint8_t>();
  if (pick < 2 * kCount) return kSpecial[pick % kCount];
  if (pick < 200) return static_cast<double>(static_cast<int8_t>(in.take<uint8_t>())) * 4.0;
  return in.take<double>();
}

int32_t integerValue(fuzzing::InputReader& in) {
  const uint8_t pick = in.take<uint8_t>();
  if (pick < 230) return static_cast<int32_t>(pick % 12) - 1;  // -1 .. 10
  static const int32_t kSpecial[] = {std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max(), 255, 256, 65536};
  if (pick < 250) return kSpecial[pick % 5];
  return in.take<int32_t>();
}

void setSlider(PF_ParamDef& param, bool floatForm, fuzzing::InputReader& in) {
  if (floatForm) {
    param.u.fs_d.value = sliderValue(in);
  } else {
    const double v = sliderValue(in);
    param.u.fd.value = std::isfinite(v) && std::fabs(v) < 32767.0
                           ? static_cast<PF_Fixed>(v * 65536.0)
                           : in.take<int32_t>();
  }
}

PF_RationalScale scaleValue(fuzzing::InputReader& in) {
  const uint8_t pick = in.take<uint8_t>();
  if (pick < 160) return {1, 1};
  if (pick < 200) return {1, static_cast<uint32_t>(pick % 4 + 1)};
  if (pick < 230) return {static_cast<int32_t>(pick % 5), static_cast<uint32_t>(pick % 3)};
  return {in.take<int32_t>(), in.take<uint32_t>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cli::PluginHost& h = host();
  fuzzing::InputReader in(data, size);

  const uint8_t form = in.take<uint8_t>();
  const bool floatForm = form % 4 != 0;
  // Both engines: the fast kernels (the default) and the reference ones.
  renderEngine().setFastPath(form % 8 < 6);
  h.setHostVersion(floatForm ? 13 : 12, floatForm ? 0 : 9);
  const int32_t width = in.small(0, 24);
  const int32_t height = in.small(0, 24);
  const int32_t inGap = in.small(0, 3);
  const int32_t outGap = in.small(0, 3);

  h.param(PARAM_MASK).u.pd.value = integerValue(in);
  h.param(PARAM_GLOW_STYLE).u.pd.value = integerValue(in);
  h.param(PARAM_GLOW_COLOR_FROM).u.pd.value = integerValue(in);
  h.param(PARAM_BLEND_MODE).u.pd.value = integerValue(in);
  h.param(PARAM_PRESETS).u.pd.value = integerValue(in);
  h.param(PARAM_SHOW_TARGET).u.bd.value = integerValue(in);
  h.param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = integerValue(in);
  for (int32_t index :
       {PARAM_BRIGHT_CUTOFF, PARAM_DARK_CUTOFF, PARAM_GLOW_SIZE, PARAM_SOFTNESS, PARAM_TRANS_BOOST})
    setSlider(h.param(index), floatForm, in);
  h.param(PARAM_CUSTOM_COLOR).u.cd.value = in.take<PF_Pixel>();

  cli::FrameSettings frame;
  frame.quality = in.take<uint8_t>() % 2 ? PF_Quality_HI : PF_Quality_LO;
  frame.downsampleX = scaleValue(in);
  frame.downsampleY = scaleValue(in);
  frame.pixelAspect = scaleValue(in);
  if (in.take<uint8_t>() % 2) {
    PF_Rect extent;
    for (int32_t* side : {&extent.left, &extent.top, &extent.right, &extent.bottom})
      *side = in.small(0, 3) == 0 ? integerValue(in) : in.small(-3, 30);
    frame.extent = extent;
  }
  const int32_t interruptAt = in.small(-1, 40);  // the n-th progress call stops; -1 never
  int32_t calls = 0;
  bool interrupted = false;
  h.progressHook = [&](int32_t, int32_t) -> PF_Err {
    if (calls++ != interruptAt) return PF_Err_NONE;
    interrupted = true;
    return kInterruptCode;
  };

  // The input frame from the rest of the bytes, repeated; guard pixels behind each frame.
  const size_t inPixels = static_cast<size_t>(width + inGap) * height;
  const size_t outPixels = static_cast<size_t>(width + outGap) * height;
  std::vector<PF_Pixel> input(inPixels + 1, kGuard), output(outPixels + 4, kGuard);
  for (size_t i = 0; i < inPixels && in.remaining() > 0; ++i) {
    const uint8_t* rest = in.rest();
    const size_t n = in.remaining();
    input[i] = PF_Pixel{rest[(4 * i) % n], rest[(4 * i + 1) % n], rest[(4 * i + 2) % n],
                        rest[(4 * i + 3) % n]};
  }
  const std::vector<PF_Pixel> inputBefore = input;
  PF_LayerDef inWorld{width, height, (width + inGap) * 4, input.data(), {1, 1}, 0};
  PF_LayerDef outWorld{width, height, (width + outGap) * 4, output.data(), {1, 1}, 0};

  const int64_t handlesBefore = cli::PluginHost::liveHandles();
  PF_Err err;
  try {
    err = h.render(inWorld, outWorld, frame);
  } catch (const cli::PluginError& e) {
    std::fprintf(stderr, "render failed: %s (%d)\n", e.what(), static_cast<int>(e.code()));
    std::abort();
  }
  h.progressHook = nullptr;

  if (err != PF_Err_NONE && !(interrupted && err == kInterruptCode)) {
    std::fprintf(stderr, "render returned %d\n", static_cast<int>(err));
    std::abort();
  }
  if (cli::PluginHost::liveHandles() != handlesBefore) {
    std::fprintf(stderr, "render kept memory handles\n");
    std::abort();
  }
  auto same = [](const PF_Pixel& a, const PF_Pixel& b) {
    return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
  };
  for (size_t i = 0; i < inputBefore.size(); ++i)
    if (!same(input[i], inputBefore[i])) {
      std::fprintf(stderr, "render wrote into its input\n");
      std::abort();
    }
  for (int32_t r = 0; r < height; ++r)
    for (int32_t g = 0; g < outGap; ++g)
      if (!same(output[static_cast<size_t>(r) * (width + outGap) + width + g], kGuard)) {
        std::fprintf(stderr, "render wrote into the output's row gap\n");
        std::abort();
      }
  for (size_t i = outPixels; i < output.size(); ++i)
    if (!same(output[i], kGuard)) {
      std::fprintf(stderr, "render wrote past the output frame\n");
      std::abort();
    }
  return 0;
}
