// Control and frame options of the rendering subcommands, and their checks.
#include "cli/control_options.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "cli/keyframes.h"
#include "core/control_words.h"
#include "host/param_indices.h"

namespace shimmerly::cli {
namespace {

[[noreturn]] void bad(const std::string& option, const std::string& why) {
  throw std::runtime_error(option + ": " + why);
}

bool parseInt(const std::string& text, int64_t& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// Keyframes on a control that the plug-in declares as not animatable are refused.
void checkAnimatable(const std::string& option, const std::string& text, const PF_ParamDef& def) {
  if (isKeyframed(text) && (def.flags & PF_ParamFlag_CANNOT_TIME_VARY))
    bad(option, std::string("the control \"") + def.name +
                    "\" cannot be animated: give one value, without @frame");
}

// A popup value: one of the menu's words (counting from 1) or a number from 1 to its count.
int32_t popupValue(const std::string& option, const std::string& text, const MenuWords& menu,
                   const PF_ParamDef& def) {
  checkAnimatable(option, text, def);
  if (isKeyframed(text)) bad(option, "a menu takes one value, without @frame");
  std::optional<int32_t> entry = menuEntry(menu, text);
  if (!entry || *entry > def.u.pd.num_choices) bad(option, menuExpectation(menu, text));
  return *entry;
}

void setSlider(const std::string& option, PF_ParamDef& def, const std::string& text, Frame frame) {
  SliderRange range = sliderRange(def);
  checkAnimatable(option, text, def);
  ScalarTrack track;
  try {
    track = ScalarTrack::parse(text, [&](std::string_view item) {
      double value = 0;
      auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
      if (item.empty() || ec != std::errc() || end != item.data() + item.size())
        bad(option, "expected a number, got \"" + std::string(item) + "\"");
      if (!std::isfinite(value) || value < range.validMin || value > range.validMax)
        bad(option, formatNumber(value) + " is outside the valid range " +
                        formatNumber(range.validMin) + " to " + formatNumber(range.validMax));
      return value;
    });
  } catch (const std::invalid_argument& e) {
    bad(option, e.what());
  }
  double value = track.valueAt(frame);
  if (def.param_type == PF_Param_FLOAT_SLIDER)
    def.u.fs_d.value = value;
  else
    def.u.fd.value = static_cast<PF_Fixed>(std::lround(value * 65536.0));
}

PF_RationalScale parseRatio(const std::string& option, const std::string& text) {
  size_t slash = text.find('/');
  int64_t num = 0, den = 0;
  if (slash == std::string::npos || !parseInt(text.substr(0, slash), num) ||
      !parseInt(text.substr(slash + 1), den) || num < 1 || num > INT32_MAX || den < 1 ||
      den > INT32_MAX)
    bad(option, "expected N/D with whole numbers from 1 to 2147483647, got \"" + text + "\"");
  return PF_RationalScale{static_cast<int32_t>(num), static_cast<uint32_t>(den)};
}

PF_ParamDef& param(PluginHost& host, int32_t index, int32_t type) {
  if (static_cast<size_t>(index) >= host.paramCount())
    throw std::runtime_error("the plug-in declared too few controls");
  PF_ParamDef& def = host.param(index);
  bool matches = def.param_type == type ||
                 (type == PF_Param_FLOAT_SLIDER && def.param_type == PF_Param_FIX_SLIDER);
  if (!matches)
    throw std::runtime_error(std::string("unexpected control type at index ") +
                             std::to_string(index));
  return def;
}

}  // namespace

std::string formatNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

SliderRange sliderRange(const PF_ParamDef& def) {
  if (def.param_type == PF_Param_FLOAT_SLIDER) {
    const PF_FloatSliderDef& f = def.u.fs_d;
    return {f.valid_min, f.valid_max, f.slider_min, f.slider_max, f.dephault, f.value};
  }
  const PF_FixedSliderDef& f = def.u.fd;
  return {f.valid_min / 65536.0,  f.valid_max / 65536.0, f.slider_min / 65536.0,
          f.slider_max / 65536.0, f.dephault / 65536.0,  f.value / 65536.0};
}

void addControlOptions(CLI::App& app, ControlOptions& o) {
  app.add_option("--mask", o.mask,
                 "none|alpha|brightness|brightness-alpha, or 1-8 (5-8: shape targets)");
  app.add_option("--bright-cutoff", o.brightCutoff,
                 "Bright Cutoff, percent; keyframes: V@FRAME,...");
  app.add_option("--dark-cutoff", o.darkCutoff, "Dark Cutoff, percent; keyframes: V@FRAME,...");
  app.add_flag("--show-target", o.showTarget, "show the target as a green preview");
  app.add_option("--glow-style", o.glowStyle, "front|in|out, or 1-3");
  app.add_option("--glow-size", o.glowSize,
                 "Glow Size, pixels; keyframes: V@FRAME,..., e.g. 10@1,60@48");
  app.add_option("--softness", o.softness, "Softness, percent; keyframes: V@FRAME,...");
  app.add_option("--color-from", o.colorFrom, "custom|layer, or 1-2");
  app.add_option("--color", o.color,
                 "custom glow colour, RRGGBB in hex; keyframes: FF0000@1,0000FF@48");
  app.add_option("--trans-boost", o.transBoost,
                 "Trans/Boost, percent (-100 to 100); keyframes: V@FRAME,...");
  app.add_option(
      "--blend", o.blend,
      "normal|screen|multiply|overlay|add|magic-glue-1|magic-glue-2|magic-glue-3, or 1-8");
  app.add_flag("--effect-only", o.effectOnly, "output the glow alone (Show Effect Only)");
  app.add_option("--quality", o.quality, "host render quality: high|low")->capture_default_str();
  app.add_option("--downsample", o.downsample, "host's horizontal downsampling N/D")
      ->capture_default_str();
  app.add_option("--pixel-aspect", o.pixelAspect, "pixel aspect ratio N/D")->capture_default_str();
  app.add_option("--extent", o.extent,
                 "host's extent L,T,R,B in layer pixels from the top (default: whole layer)");
}

void applyControls(PluginHost& host, const ControlOptions& o, Frame frame) {
  if (o.mask)
    param(host, PARAM_MASK, PF_Param_POPUP).u.pd.value =
        popupValue("--mask", *o.mask, kMaskWords, param(host, PARAM_MASK, PF_Param_POPUP));
  if (o.brightCutoff)
    setSlider("--bright-cutoff", param(host, PARAM_BRIGHT_CUTOFF, PF_Param_FLOAT_SLIDER),
              *o.brightCutoff, frame);
  if (o.darkCutoff)
    setSlider("--dark-cutoff", param(host, PARAM_DARK_CUTOFF, PF_Param_FLOAT_SLIDER), *o.darkCutoff,
              frame);
  if (o.showTarget) param(host, PARAM_SHOW_TARGET, PF_Param_CHECKBOX).u.bd.value = 1;
  if (o.glowStyle)
    param(host, PARAM_GLOW_STYLE, PF_Param_POPUP).u.pd.value =
        popupValue("--glow-style", *o.glowStyle, kGlowStyleWords,
                   param(host, PARAM_GLOW_STYLE, PF_Param_POPUP));
  if (o.glowSize)
    setSlider("--glow-size", param(host, PARAM_GLOW_SIZE, PF_Param_FLOAT_SLIDER), *o.glowSize,
              frame);
  if (o.softness)
    setSlider("--softness", param(host, PARAM_SOFTNESS, PF_Param_FLOAT_SLIDER), *o.softness, frame);
  if (o.colorFrom)
    param(host, PARAM_GLOW_COLOR_FROM, PF_Param_POPUP).u.pd.value =
        popupValue("--color-from", *o.colorFrom, kColorFromWords,
                   param(host, PARAM_GLOW_COLOR_FROM, PF_Param_POPUP));
  if (o.color) {
    PF_ParamDef& def = param(host, PARAM_CUSTOM_COLOR, PF_Param_COLOR);
    checkAnimatable("--color", *o.color, def);
    ColorTrack track;
    try {
      track = ColorTrack::parse(*o.color, parseHexColor);
    } catch (const std::invalid_argument& e) {
      bad("--color", e.what());
    }
    Rgb8 rgb = track.valueAt(frame);
    def.u.cd.value = PF_Pixel{255, rgb.red, rgb.green, rgb.blue};
  }
  if (o.transBoost)
    setSlider("--trans-boost", param(host, PARAM_TRANS_BOOST, PF_Param_FLOAT_SLIDER), *o.transBoost,
              frame);
  if (o.blend)
    param(host, PARAM_BLEND_MODE, PF_Param_POPUP).u.pd.value =
        popupValue("--blend", *o.blend, kBlendWords, param(host, PARAM_BLEND_MODE, PF_Param_POPUP));
  if (o.effectOnly) param(host, PARAM_SHOW_EFFECT_ONLY, PF_Param_CHECKBOX).u.bd.value = 1;
}

FrameSettings frameSettingsFrom(const ControlOptions& o) {
  FrameSettings frame;
  if (o.quality == "high")
    frame.quality = PF_Quality_HI;
  else if (o.quality == "low")
    frame.quality = PF_Quality_LO;
  else
    bad("--quality", "expected high or low, got \"" + o.quality + "\"");
  frame.downsampleX = parseRatio("--downsample", o.downsample);
  frame.downsampleY = frame.downsampleX;
  frame.pixelAspect = parseRatio("--pixel-aspect", o.pixelAspect);
  if (o.extent) {
    int64_t v[4];
    std::string rest = *o.extent;
    bool ok = true;
    for (int i = 0; i < 4 && ok; ++i) {
      size_t comma = rest.find(',');
      std::string part = i < 3 ? rest.substr(0, comma) : rest;
      ok = (i == 3 || comma != std::string::npos) && parseInt(part, v[i]) && v[i] >= INT32_MIN &&
           v[i] <= INT32_MAX;
      if (i < 3 && comma != std::string::npos) rest = rest.substr(comma + 1);
    }
    if (!ok)
      bad("--extent",
          "expected L,T,R,B as four whole numbers from -2147483648 to 2147483647, got \"" +
              *o.extent + "\"");
    frame.extent = PF_Rect{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]),
                           static_cast<int32_t>(v[2]), static_cast<int32_t>(v[3])};
  }
  return frame;
}

}  // namespace shimmerly::cli
