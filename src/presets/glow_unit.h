// GlowUnit: one complete set of glow settings, the content of a preset file. Its thirteen fields
// are named after their text keys; the four enumerations count from 1 like the host's popups and
// are stored as plain codes so that values outside their tables survive unchanged.
#pragma once

#include <cstdint>

#include "core/menu_codes.h"
#include "presets/stream_record.h"

namespace shimmerly {

// Three unsigned 16-bit channels, full scale 65535.
struct Color16 {
  uint16_t red = 65535;
  uint16_t green = 65535;
  uint16_t blue = 65535;
};

// Name/code conversions of the four enumerations. Unknown codes write the fallback name
// ("Alpha", "None", "CustomColor", "Normal"); unknown names (byte-exact comparison) read as the
// fallback code (2, 1, 1, 1).
const char* targetTypeName(int32_t code);
int32_t targetTypeCode(const char* name);
const char* targetProcessingName(int32_t code);
int32_t targetProcessingCode(const char* name);
const char* colorFromName(int32_t code);
int32_t colorFromCode(const char* name);
const char* transferModeName(int32_t code);
int32_t transferModeCode(const char* name);

// A colour channel as written: the channel times 1/65535.
double colorChannelFraction(uint16_t channel);
// A colour channel as read back: the fraction times 65535, clamped to 0..65535 and rounded to
// the nearest value, so that every channel survives a save and a load exactly.
uint16_t colorChannelFromFraction(float fraction);

class GlowUnit : public StreamRecord {
 public:
  // Sets every field to its default, registers the class's commands, then copies the name.
  explicit GlowUnit(const char* name);

  int32_t writeBody(CommandStream& stream) override;
  Registry& commandRegistry() override;
  const char* className() const override { return "GlowUnit"; }

  // The fourteen commands of the class: the thirteen field keys and "end".
  static constexpr int kCommandCount = 14;

  char name[256] = {};                                // key Name
  int32_t targetType = TargetType::Alpha;             // key TargetType
  int32_t targetProcessing = TargetProcessing::None;  // key TargetProcessing
  double targetBrightCutoff = 1.0;                    // key TargetBrightCutoff
  double targetDarkCutoff = 0.25;                     // key TargetDarkCutoff
  double targetFeather = 0.0;                         // key TargetFeather
  bool targetShowTarget = false;                      // key TargetShowTarget
  int32_t colorFrom = ColorFrom::CustomColor;         // key ColorFrom
  Color16 customColor;                                // key CustomColor
  double boost = 0.0;                                 // key Boost
  double softness = 0.8;                              // key Softness
  int32_t transferMode = TransferMode::Normal;        // key TransferMode
  bool compositeOnOriginal = false;                   // key CompositeOnOriginal
};

}  // namespace shimmerly
