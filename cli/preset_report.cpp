// Readable and JSON forms of a loaded GlowUnit for `shimmerly presets show`. Reals appear in
// the table as their shortest exact text and in JSON with 17 significant digits; control values
// are derived the way the plug-in applies a preset to its controls.
#include "cli/preset_report.h"

#include <charconv>
#include <cstdio>

#include "presets/glow_unit.h"

namespace shimmerly::cli {
namespace {

std::string real17(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// The shortest text that reads back as the same double.
std::string shortest(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// At most three decimals, without trailing zeros: control values as a user reads them.
std::string rounded(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out == "-0" ? "0" : out;
}

const char* flag(bool value) {
  return value ? "true" : "false";
}

// The popup item a code selects, when the popup has one.
std::string popupItem(int32_t code, std::initializer_list<const char*> items) {
  if (code < 1 || code > static_cast<int32_t>(items.size())) return "";
  return *(items.begin() + (code - 1));
}

const char* statusMeaning(int32_t status) {
  switch (status) {
    case 0:
      return "loaded";
    case -3:
      return "end-of-stream mark";
    default:
      return "not loaded";
  }
}

}  // namespace

std::string jsonString(const std::string& bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte > 0x7E) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string presetJson(int32_t status, const GlowUnit& unit, const std::string& diagnostic) {
  std::string out = "{\"status\": " + std::to_string(status) + ", \"fields\": {";
  out += "\"Name\": " + jsonString(unit.name);
  out += ", \"TargetType\": " + std::to_string(unit.targetType);
  out += ", \"TargetProcessing\": " + std::to_string(unit.targetProcessing);
  out += ", \"TargetBrightCutoff\": " + real17(unit.targetBrightCutoff);
  out += ", \"TargetDarkCutoff\": " + real17(unit.targetDarkCutoff);
  out += ", \"TargetFeather\": " + real17(unit.targetFeather);
  out += std::string(", \"TargetShowTarget\": ") + flag(unit.targetShowTarget);
  out += ", \"ColorFrom\": " + std::to_string(unit.colorFrom);
  out += ", \"CustomColor\": [" + std::to_string(unit.customColor.red) + ", " +
         std::to_string(unit.customColor.green) + ", " + std::to_string(unit.customColor.blue) +
         "]";
  out += ", \"Boost\": " + real17(unit.boost);
  out += ", \"Softness\": " + real17(unit.softness);
  out += ", \"TransferMode\": " + std::to_string(unit.transferMode);
  out += std::string(", \"CompositeOnOriginal\": ") + flag(unit.compositeOnOriginal);
  out += "}, \"diagnostic\": " + jsonString(diagnostic) + "}";
  return out;
}

std::string presetText(int32_t status, const GlowUnit& unit, const std::string& diagnostic) {
  std::string out;
  auto line = [&out](const char* key, const std::string& value, const std::string& control) {
    auto padded = [](std::string text, size_t width) {
      if (text.size() < width) text.resize(width, ' ');
      return text;
    };
    out += padded(key, 20) + " " + (control.empty() ? value : padded(value, 22) + " " + control);
    out += '\n';
  };
  auto coded = [](int32_t code, const char* name) { return std::to_string(code) + " " + name; };
  auto percent = [](double value) { return rounded(value) + "%"; };

  line("Name", jsonString(unit.name), "");
  line("TargetType", coded(unit.targetType, targetTypeName(unit.targetType)),
       "Mask: " + popupItem(unit.targetType,
                            {"None", "Layer Alpha", "Layer Brightness", "Layer Brightness+Alpha",
                             "(circle)", "(circle and alpha)", "(square)", "(square and alpha)"}));
  line("TargetProcessing",
       coded(unit.targetProcessing, targetProcessingName(unit.targetProcessing)),
       "Glow Style: " + popupItem(unit.targetProcessing, {"Glow In Front", "In-Glow", "Out-Glow"}));
  line("TargetBrightCutoff", shortest(unit.targetBrightCutoff),
       "Bright Cutoff: " + percent(unit.targetBrightCutoff * 0.39215686274509803));
  line("TargetDarkCutoff", shortest(unit.targetDarkCutoff),
       "Dark Cutoff: " + percent(unit.targetDarkCutoff * 0.39215686274509803));
  line("TargetFeather", shortest(unit.targetFeather),
       "Glow Size: " + rounded(unit.targetFeather) + " px");
  line("TargetShowTarget", unit.targetShowTarget ? "on" : "off", "Show Target");
  line("ColorFrom", coded(unit.colorFrom, colorFromName(unit.colorFrom)),
       "Glow Color From: " + popupItem(unit.colorFrom, {"Custom Color", "This Layer"}));
  char color[64];
  std::snprintf(color, sizeof color, "%u %u %u", unit.customColor.red, unit.customColor.green,
                unit.customColor.blue);
  char hex[32];
  std::snprintf(hex, sizeof hex, "Custom Color: #%02X%02X%02X", unit.customColor.red / 257,
                unit.customColor.green / 257, unit.customColor.blue / 257);
  line("CustomColor", color, hex);
  line("Boost", shortest(unit.boost), "Trans/Boost: " + percent((unit.boost - 1) * 100));
  line("Softness", shortest(unit.softness), "Softness: " + percent(unit.softness * 100));
  line("TransferMode", coded(unit.transferMode, transferModeName(unit.transferMode)),
       "Blend Mode: " +
           popupItem(unit.transferMode, {"Normal", "Screen", "Multiply", "Overlay", "Add",
                                         "Magic Glue 1", "Magic Glue 2", "Magic Glue 3"}));
  line("CompositeOnOriginal", unit.compositeOnOriginal ? "on" : "off", "Show Effect Only");
  line("status", std::to_string(status) + " " + statusMeaning(status), "");
  if (!diagnostic.empty()) line("diagnostic", diagnostic, "");
  return out;
}

}  // namespace shimmerly::cli
