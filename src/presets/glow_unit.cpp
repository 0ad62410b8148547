// GlowUnit: defaults, the class registry with its fourteen command handlers, the body writer and
// the enumeration name tables. Each field is written as one line "<Key> <value>"; enumerations
// by name in quotes, reals with "%f", flags as 1 or 0, the colour as three fractions.
#include "presets/glow_unit.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "presets/command_stream.h"
#include "presets/registry.h"

namespace shimmerly {
namespace {

constexpr const char* kTargetTypeNames[] = {
    "None",   "Alpha",       "Brightness", "BrightnessAlpha",
    "Circle", "CircleAlpha", "Square",     "SquareAlpha"};
constexpr const char* kTargetProcessingNames[] = {"None", "Invert", "EdgesOnly", "InnerGlow",
                                                  "OuterGlow"};
constexpr const char* kColorFromNames[] = {"CustomColor", "Layer"};
constexpr const char* kTransferModeNames[] = {"Normal", "Screen",     "Multiply",   "Overlay",
                                              "Add",    "MagicGlue1", "MagicGlue2", "MagicGlue3"};

template <size_t N>
const char* nameOf(const char* const (&names)[N], int32_t code, int32_t fallback) {
  if (code < 1 || code > static_cast<int32_t>(N)) code = fallback;
  return names[code - 1];
}

template <size_t N>
int32_t codeOf(const char* const (&names)[N], const char* name, int32_t fallback) {
  for (size_t i = 0; i < N; ++i) {
    if (std::strcmp(names[i], name) == 0) return static_cast<int32_t>(i) + 1;
  }
  return fallback;
}

GlowUnit& unitOf(StreamRecord& record) {
  return static_cast<GlowUnit&>(record);
}

// An enumeration's token, at most 63 bytes; a missing token reads as an unknown name.
template <int32_t (*toCode)(const char*)>
int32_t readEnumeration(CommandStream& stream, int32_t& field) {
  char token[64];
  if (stream.readToken(token, sizeof token) != 0) token[0] = '\0';
  field = toCode(token);
  return 0;
}

// Reals and flags keep their value when the token is missing or unusable.
int32_t readRealField(CommandStream& stream, double& field) {
  stream.readReal(field);
  return 0;
}

int32_t readFlagField(CommandStream& stream, bool& field) {
  int32_t value = 0;
  if (stream.readSwitch(value) == 0) field = value != 0;
  return 0;
}

int32_t onName(CommandStream& stream, StreamRecord& record) {
  char token[256];
  if (stream.readToken(token, sizeof token) != 0) return -1;
  std::memcpy(unitOf(record).name, token, std::strlen(token) + 1);
  return 0;
}

int32_t onTargetType(CommandStream& stream, StreamRecord& record) {
  return readEnumeration<targetTypeCode>(stream, unitOf(record).targetType);
}
int32_t onTargetProcessing(CommandStream& stream, StreamRecord& record) {
  return readEnumeration<targetProcessingCode>(stream, unitOf(record).targetProcessing);
}
int32_t onTargetBrightCutoff(CommandStream& stream, StreamRecord& record) {
  return readRealField(stream, unitOf(record).targetBrightCutoff);
}
int32_t onTargetDarkCutoff(CommandStream& stream, StreamRecord& record) {
  return readRealField(stream, unitOf(record).targetDarkCutoff);
}
int32_t onTargetFeather(CommandStream& stream, StreamRecord& record) {
  return readRealField(stream, unitOf(record).targetFeather);
}
int32_t onTargetShowTarget(CommandStream& stream, StreamRecord& record) {
  return readFlagField(stream, unitOf(record).targetShowTarget);
}
int32_t onColorFrom(CommandStream& stream, StreamRecord& record) {
  return readEnumeration<colorFromCode>(stream, unitOf(record).colorFrom);
}

int32_t onCustomColor(CommandStream& stream, StreamRecord& record) {
  // Slots after the first unreadable token stay 0; the colour is replaced either way.
  float slots[3] = {0.0f, 0.0f, 0.0f};
  stream.readFloats(slots, 3);
  Color16& color = unitOf(record).customColor;
  color.red = colorChannelFromFraction(slots[0]);
  color.green = colorChannelFromFraction(slots[1]);
  color.blue = colorChannelFromFraction(slots[2]);
  return 0;
}

int32_t onBoost(CommandStream& stream, StreamRecord& record) {
  return readRealField(stream, unitOf(record).boost);
}
int32_t onSoftness(CommandStream& stream, StreamRecord& record) {
  return readRealField(stream, unitOf(record).softness);
}
int32_t onTransferMode(CommandStream& stream, StreamRecord& record) {
  return readEnumeration<transferModeCode>(stream, unitOf(record).transferMode);
}
int32_t onCompositeOnOriginal(CommandStream& stream, StreamRecord& record) {
  return readFlagField(stream, unitOf(record).compositeOnOriginal);
}

int32_t onEnd(CommandStream& stream, StreamRecord& record) {
  char token[64];
  if (stream.readToken(token, sizeof token) != 0) return -1;
  if (std::strcmp(token, record.className()) != 0) return -1;
  stream.pop();
  return 0;
}

}  // namespace

const char* targetTypeName(int32_t code) {
  return nameOf(kTargetTypeNames, code, TargetType::Alpha);
}
int32_t targetTypeCode(const char* name) {
  return codeOf(kTargetTypeNames, name, TargetType::Alpha);
}
const char* targetProcessingName(int32_t code) {
  return nameOf(kTargetProcessingNames, code, TargetProcessing::None);
}
int32_t targetProcessingCode(const char* name) {
  return codeOf(kTargetProcessingNames, name, TargetProcessing::None);
}
const char* colorFromName(int32_t code) {
  return nameOf(kColorFromNames, code, ColorFrom::CustomColor);
}
int32_t colorFromCode(const char* name) {
  return codeOf(kColorFromNames, name, ColorFrom::CustomColor);
}
const char* transferModeName(int32_t code) {
  return nameOf(kTransferModeNames, code, TransferMode::Normal);
}
int32_t transferModeCode(const char* name) {
  return codeOf(kTransferModeNames, name, TransferMode::Normal);
}

double colorChannelFraction(uint16_t channel) {
  return static_cast<double>(channel) * (1.0 / 65535.0);
}

uint16_t colorChannelFromFraction(float fraction) {
  if (!std::isfinite(fraction)) return 0;
  double scaled = static_cast<double>(fraction) * 65535.0;
  if (scaled < 0.0) scaled = 0.0;
  if (scaled > 65535.0) scaled = 65535.0;
  return static_cast<uint16_t>(scaled + 0.5);
}

GlowUnit::GlowUnit(const char* unitName) {
  registerCommand("Name", onName);
  registerCommand("TargetType", onTargetType);
  registerCommand("TargetProcessing", onTargetProcessing);
  registerCommand("TargetBrightCutoff", onTargetBrightCutoff);
  registerCommand("TargetDarkCutoff", onTargetDarkCutoff);
  registerCommand("TargetFeather", onTargetFeather);
  registerCommand("TargetShowTarget", onTargetShowTarget);
  registerCommand("ColorFrom", onColorFrom);
  registerCommand("CustomColor", onCustomColor);
  registerCommand("Boost", onBoost);
  registerCommand("Softness", onSoftness);
  registerCommand("TransferMode", onTransferMode);
  registerCommand("CompositeOnOriginal", onCompositeOnOriginal);
  registerCommand("end", onEnd);
  std::snprintf(name, sizeof name, "%s", unitName ? unitName : "");
}

Registry& GlowUnit::commandRegistry() {
  static Registry registry(Registry::kClassBuckets);
  return registry;
}

int32_t GlowUnit::writeBody(CommandStream& stream) {
  stream.formatLine("Name \"%s\"\n", name);
  stream.emitLine();
  stream.formatLine("TargetType \"%s\"\n", targetTypeName(targetType));
  stream.emitLine();
  stream.formatLine("TargetProcessing \"%s\"\n", targetProcessingName(targetProcessing));
  stream.emitLine();
  stream.formatLine("TargetBrightCutoff %f\n", targetBrightCutoff);
  stream.emitLine();
  stream.formatLine("TargetDarkCutoff %f\n", targetDarkCutoff);
  stream.emitLine();
  stream.formatLine("TargetFeather %f\n", targetFeather);
  stream.emitLine();
  stream.formatLine("TargetShowTarget %d\n", targetShowTarget ? 1 : 0);
  stream.emitLine();
  stream.formatLine("ColorFrom \"%s\"\n", colorFromName(colorFrom));
  stream.emitLine();
  stream.formatLine("CustomColor %f %f %f\n", colorChannelFraction(customColor.red),
                    colorChannelFraction(customColor.green),
                    colorChannelFraction(customColor.blue));
  stream.emitLine();
  stream.formatLine("Boost %f\n", boost);
  stream.emitLine();
  stream.formatLine("Softness %f\n", softness);
  stream.emitLine();
  stream.formatLine("TransferMode \"%s\"\n", transferModeName(transferMode));
  stream.emitLine();
  stream.formatLine("CompositeOnOriginal %d\n", compositeOnOriginal ? 1 : 0);
  stream.emitLine();
  return 0;
}

}  // namespace shimmerly
