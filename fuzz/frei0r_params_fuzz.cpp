// Fuzz target: the frei0r filter's parameter parsing, as hosts set values. The input is a run of
// settings, each a parameter index (the filter's fourteen and some beyond), then a number from
// the input or from a list of specials (NaN, infinities, huge, negative, just outside 0..1), a
// colour of three such numbers, or a string of any bytes (menu words, digits, preset names and
// paths). After every setting the controls must stay within their ranges, a refusal must be one
// line naming the parameter, and a refused value must leave the parameter as it was; now and then
// the controls render a small frame, which must succeed.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "frei0r/filter_params.h"
#include "fuzz_support.h"
#include "shimmerly/shimmerly.h"

using namespace shimmerly;
using namespace shimmerly::frei0r;

namespace {

void require(bool condition, const char* what, const std::string& detail = {}) {
  if (condition) return;
  std::fprintf(stderr, "frei0r_params_fuzz: %s %s\n", what, detail.c_str());
  std::abort();
}

double numberOf(fuzzing::InputReader& in) {
  static const double kSpecial[] = {0.0,
                                    -0.0,
                                    1.0,
                                    0.5,
                                    0.0225,
                                    1.0000000000000002,
                                    -1e-300,
                                    std::numeric_limits<double>::quiet_NaN(),
                                    -std::numeric_limits<double>::quiet_NaN(),
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

void checkControls(const Controls& c) {
  require(c.mask >= 1 && c.mask <= 8, "mask out of range");
  require(c.glowStyle >= 1 && c.glowStyle <= 3, "glow style out of range");
  require(c.colorFrom >= 1 && c.colorFrom <= 2, "colour source out of range");
  require(c.blend >= 1 && c.blend <= 8, "blend out of range");
  require(c.brightCutoff >= 0 && c.brightCutoff <= 100, "bright cutoff out of range");
  require(c.darkCutoff >= 0 && c.darkCutoff <= 100, "dark cutoff out of range");
  require(c.softness >= 0 && c.softness <= 100, "softness out of range");
  require(c.glowSize >= 0 && c.glowSize <= 1000, "glow size out of range");
  require(c.transBoost >= -100 && c.transBoost <= 100, "trans/boost out of range");
}

bool sameValue(const FilterSettings& a, const FilterSettings& b, int index) {
  if (index < 0 || index >= kParamCount) return true;
  switch (paramInfo(index).kind) {
    case ParamKind::Text:
      return a.text(index) == b.text(index);
    case ParamKind::Color:
      return a.color() == b.color();
    default:
      return a.number(index) == b.number(index);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    fuzzing::privatePresetFolder();
    presetNames();  // seeds the factory presets, as the first use in a host does
    return true;
  }();
  (void)ready;
  fuzzing::InputReader in(data, size);
  FilterSettings settings;
  for (int step = 0; step < 64 && in.remaining() > 0; ++step) {
    const int index = in.small(-1, kParamCount + 1);
    const FilterSettings before = settings;
    std::string message;
    const ParamKind kind = index >= 0 && index < kParamCount
                               ? paramInfo(index).kind
                               : static_cast<ParamKind>(in.small(0, 4));
    switch (kind) {
      case ParamKind::Bool:
      case ParamKind::Double:
        message = settings.setNumber(index, numberOf(in));
        break;
      case ParamKind::Color: {
        const double r = numberOf(in), g = numberOf(in), b = numberOf(in);
        message = settings.setColor(index, r, g, b);
        break;
      }
      default: {
        const size_t length = static_cast<size_t>(in.small(0, 40));
        std::string text;
        for (size_t i = 0; i < length && in.remaining() > 0; ++i) {
          const char c = static_cast<char>(in.take<uint8_t>());
          if (c != '\0') text += c;
        }
        message = settings.setText(index, in.small(0, 15) == 0 ? nullptr : text.c_str());
        break;
      }
    }
    checkControls(settings.controls());
    if (!message.empty()) {
      require(message.rfind("shimmerly: ", 0) == 0, "message without its prefix:", message);
      require(message.find('\n') == std::string::npos, "message of several lines:", message);
      require(sameValue(before, settings, index), "a refused value changed its parameter");
      require(index < 0 || index >= kParamCount ||
                  message.find(paramInfo(index).name) != std::string::npos,
              "message without the parameter's name:", message);
    }
  }
  if (in.small(0, 7) == 0) {
    uint8_t pixels[5 * 4 * 4];
    for (size_t i = 0; i < sizeof pixels; ++i) pixels[i] = static_cast<uint8_t>(i * 37);
    try {
      render(ConstImageView(pixels, 5, 4, 20), ImageView{pixels, 5, 4, 20}, settings.controls(),
             settings.options());
    } catch (const Error& e) {
      require(false, "the settings did not render:", e.what());
    }
  }
  return 0;
}
