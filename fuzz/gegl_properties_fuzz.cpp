// Fuzz target: the GEGL operation's bridge from its properties to the engine. GEGL clamps a
// property into its range but lets NaN through, and a host may hand any preset string. The input
// is a run of property sets, each with numbers from the input or from a list of specials (NaN,
// infinities, huge, negative), menu values anywhere in their int range and a preset string of any
// bytes, then a small frame rendered in place. A render either succeeds or leaves the frame as it
// was, and never crashes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "gegl/glow_render.h"
#include "shimmerly/shimmerly.h"

namespace {

double numberOf(shimmerly::fuzzing::InputReader& in) {
  static const double kSpecial[] = {0.0,
                                    -0.0,
                                    100.0,
                                    1000.0,
                                    22.5,
                                    -100.0,
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::max(),
                                    -std::numeric_limits<double>::max(),
                                    std::numeric_limits<double>::denorm_min(),
                                    1e18,
                                    -5.0};
  const uint8_t choice = in.take<uint8_t>();
  if (choice < 128) return kSpecial[choice % (sizeof kSpecial / sizeof kSpecial[0])];
  return in.take<double>();
}

int menuOf(shimmerly::fuzzing::InputReader& in) {
  const uint8_t choice = in.take<uint8_t>();
  if (choice < 200) return choice % 10 - 1;  // around the menus' 1..8
  return in.take<int>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    shimmerly::fuzzing::privatePresetFolder();
    shimmerly::presetNames();  // seeds the factory presets, as the first use in a host does
    return true;
  }();
  (void)ready;
  shimmerly::fuzzing::InputReader in(data, size);
  ShimmerlyGeglInstance* instance = shimmerly_gegl_instance_new();
  if (instance == nullptr) std::abort();
  for (int step = 0; step < 8 && in.remaining() > 0; ++step) {
    std::string preset;
    const size_t length = static_cast<size_t>(in.small(0, 24));
    for (size_t i = 0; i < length && in.remaining() > 0; ++i) {
      const char c = static_cast<char>(in.take<uint8_t>());
      if (c != '\0') preset += c;
    }
    ShimmerlyGeglProperties p{};
    p.preset = in.small(0, 7) == 0 ? nullptr : preset.c_str();
    p.mask = menuOf(in);
    p.bright_cutoff = numberOf(in);
    p.dark_cutoff = numberOf(in);
    p.show_target = in.take<uint8_t>();
    p.glow_style = menuOf(in);
    p.glow_size = numberOf(in);
    p.softness = numberOf(in);
    p.color_from = menuOf(in);
    for (uint8_t& channel : p.color) channel = in.take<uint8_t>();
    p.trans_boost = numberOf(in);
    p.blend = menuOf(in);
    p.effect_only = in.take<uint8_t>();
    p.low_quality = in.take<uint8_t>() & 1;

    const int64_t width = in.small(1, 9), height = in.small(1, 7);
    const int64_t rowBytes = width * 4 + in.small(0, 3) * 4;
    std::vector<uint8_t> pixels(static_cast<size_t>(rowBytes * height));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 37 + step);
    const std::vector<uint8_t> before = pixels;
    const int rendered =
        shimmerly_gegl_render(instance, &p, pixels.data(), width, height, rowBytes);
    if (!rendered && pixels != before) {
      std::fprintf(stderr, "gegl_properties_fuzz: a refused frame was written to\n");
      std::abort();
    }
  }
  shimmerly_gegl_instance_free(instance);
  return 0;
}
