// The frei0r filter's parameter table, the doubles' units, and FilterSettings: a host's values
// checked and read into the controls, a preset loaded once per name, the changed parameters put
// on top of it.
#include "frei0r/filter_params.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace shimmerly::frei0r {
namespace {

constexpr ParamInfo kParams[kParamCount] = {
    {"preset", ParamKind::Text,
     "A preset name from the user's library or the path of a preset file; \"\" for none"},
    {"mask", ParamKind::Text, "none, alpha, brightness, brightness-alpha, or 1 to 8"},
    {"bright_cutoff", ParamKind::Double, "Bright Cutoff, percent / 100"},
    {"dark_cutoff", ParamKind::Double, "Dark Cutoff, percent / 100"},
    {"show_target", ParamKind::Bool, "Show the target as a green preview instead of the glow"},
    {"glow_style", ParamKind::Text, "front, in, out, or 1 to 3"},
    {"glow_size", ParamKind::Double, "Glow Size, pixels / 1000"},
    {"softness", ParamKind::Double, "Softness, percent / 100"},
    {"color_from", ParamKind::Text, "custom, layer, or 1 to 2"},
    {"color", ParamKind::Color, "Custom Color"},
    {"trans_boost", ParamKind::Double, "Trans/Boost, (percent + 100) / 200"},
    {"blend", ParamKind::Text,
     "normal, screen, multiply, overlay, add, magic-glue-1 to 3, or 1 to 8"},
    {"effect_only", ParamKind::Bool, "Show the glow alone instead of the glow on the image"},
    {"quality", ParamKind::Text, "high or low"},
};

// A double parameter's control: its scale and offset (control = unit * scale + offset), its
// unit's name for messages.
struct Scale {
  double scale, offset;
  const char* unit;
};

Scale scaleOf(int index) {
  switch (index) {
    case kGlowSize:
      return {1000, 0, "pixels"};
    case kTransBoost:
      return {200, -100, "percent"};
    default:
      return {100, 0, "percent"};
  }
}

double round6(double value) {
  return std::nearbyint(value * 1e6) / 1e6;
}

// A number for a message: up to 9 significant digits, "nan" and "inf" as they are.
std::string shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// A message on one line: control characters a host's text may hold are written as \xNN.
std::string oneLine(const std::string& message) {
  std::string out;
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string prefix(int index) {
  return std::string("shimmerly: ") + kParams[index].name + ": ";
}

double* controlField(Controls& c, int index) {
  switch (index) {
    case kBrightCutoff:
      return &c.brightCutoff;
    case kDarkCutoff:
      return &c.darkCutoff;
    case kGlowSize:
      return &c.glowSize;
    case kSoftness:
      return &c.softness;
    case kTransBoost:
      return &c.transBoost;
    default:
      return nullptr;
  }
}

int* menuField(Controls& c, int index, Menu& menu) {
  switch (index) {
    case kMask:
      menu = Menu::Mask;
      return &c.mask;
    case kGlowStyle:
      menu = Menu::GlowStyle;
      return &c.glowStyle;
    case kColorFrom:
      menu = Menu::ColorFrom;
      return &c.colorFrom;
    case kBlend:
      menu = Menu::Blend;
      return &c.blend;
    default:
      return nullptr;
  }
}

bool validIndex(int index, ParamKind kind) {
  return index >= 0 && index < kParamCount && kParams[index].kind == kind;
}

}  // namespace

const ParamInfo& paramInfo(int index) {
  return kParams[index];
}

double controlOfUnit(int index, double unit) {
  const Scale s = scaleOf(index);
  return round6(unit * s.scale + s.offset);
}

double unitOfControl(int index, double control) {
  const Scale s = scaleOf(index);
  return (control - s.offset) / s.scale;
}

FilterSettings::FilterSettings() {
  const Controls d;
  for (int index = 0; index < kParamCount; ++index) {
    if (double* field = controlField(changes_, index))
      numbers_[index] = unitOfControl(index, *field);
  }
  numbers_[kShowTarget] = d.showTarget ? 1 : 0;
  numbers_[kEffectOnly] = d.effectOnly ? 1 : 0;
  for (int c = 0; c < 3; ++c) color_[c] = static_cast<float>(d.color[c] / 255.0);
  texts_[kMask] = menuWords(Menu::Mask)[d.mask - 1];
  texts_[kGlowStyle] = menuWords(Menu::GlowStyle)[d.glowStyle - 1];
  texts_[kColorFrom] = menuWords(Menu::ColorFrom)[d.colorFrom - 1];
  texts_[kBlend] = menuWords(Menu::Blend)[d.blend - 1];
  texts_[kQuality] = "high";
  update();
}

std::string FilterSettings::setNumber(int index, double value) {
  if (!validIndex(index, ParamKind::Double) && !validIndex(index, ParamKind::Bool))
    return "shimmerly: parameter " + std::to_string(index) + " is not a number";
  if (!(value >= 0.0 && value <= 1.0)) {
    std::string message = prefix(index) + shown(value) + " is outside 0 to 1";
    if (kParams[index].kind == ParamKind::Double) {
      const Scale s = scaleOf(index);
      message += " (" + shown(s.offset) + " to " + shown(s.scale + s.offset) + " " + s.unit + ")";
    }
    return message + "; keeping " + shown(numbers_[index]);
  }
  if (kParams[index].kind == ParamKind::Bool) {
    const bool on = value >= 0.5;
    (index == kShowTarget ? changes_.showTarget : changes_.effectOnly) = on;
    numbers_[index] = on ? 1 : 0;
  } else {
    *controlField(changes_, index) = controlOfUnit(index, value);
    numbers_[index] = value;
  }
  update();
  return {};
}

std::string FilterSettings::setColor(int index, double red, double green, double blue) {
  if (!validIndex(index, ParamKind::Color))
    return "shimmerly: parameter " + std::to_string(index) + " is not a colour";
  const double components[3] = {red, green, blue};
  for (double c : components)
    if (!(c >= 0.0 && c <= 1.0))
      return prefix(index) + "(" + shown(red) + ", " + shown(green) + ", " + shown(blue) +
             ") has a component outside 0 to 1; keeping the colour";
  for (int c = 0; c < 3; ++c) {
    changes_.color[c] = static_cast<uint8_t>(std::lround(components[c] * 255.0));
    color_[c] = static_cast<float>(components[c]);
  }
  update();
  return {};
}

std::string FilterSettings::setText(int index, const char* given) {
  if (!validIndex(index, ParamKind::Text))
    return "shimmerly: parameter " + std::to_string(index) + " is not a string";
  const std::string text = given ? given : "";
  if (text == texts_[index]) return {};
  if (!refusal_[index].empty() && text == refused_[index]) return refusal_[index];
  const std::string keeping = "; keeping \"" + texts_[index] + "\"";
  try {
    Menu menu{};
    if (int* field = menuField(changes_, index, menu)) {
      *field = menuEntry(menu, text);
    } else if (index == kQuality) {
      if (text != "high" && text != "low")
        throw Error(std::string(kParams[index].name) + ": expected high or low, got \"" + text +
                    "\"");
      options_.lowQuality = text == "low";
    } else {
      presetBase_ = text.empty() ? Controls{} : presetControls(text);
    }
  } catch (const Error& e) {
    std::string message = e.what();
    const std::string own = "shimmerly: ";
    if (message.rfind(own, 0) == 0) message.erase(0, own.size());
    if (message.rfind(kParams[index].name, 0) == 0 && index != kPreset)
      message.erase(0, std::char_traits<char>::length(kParams[index].name) + 2);
    refused_[index] = text;
    refusal_[index] = oneLine(prefix(index) + message + keeping);
    return refusal_[index];
  }
  refusal_[index].clear();
  texts_[index] = text;
  update();
  return {};
}

double FilterSettings::number(int index) const {
  return index >= 0 && index < kParamCount ? numbers_[index] : 0.0;
}

std::array<float, 3> FilterSettings::color() const {
  return color_;
}

const std::string& FilterSettings::text(int index) const {
  static const std::string none;
  return index >= 0 && index < kParamCount ? texts_[index] : none;
}

void FilterSettings::update() {
  effective_ = overlaidControls(presetBase_, changes_);
}

}  // namespace shimmerly::frei0r
