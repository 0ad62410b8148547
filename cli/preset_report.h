// How `shimmerly presets show` presents a GlowUnit: a readable table of the thirteen fields with
// the controls they stand for, and one JSON object {"status", "fields", "diagnostic"} in which
// enumerations are integer codes, reals have 17 significant digits, flags are true/false, the
// colour is an array of three integers and texts escape every byte outside printable ASCII.
#pragma once

#include <cstdint>
#include <string>

namespace shimmerly {
class GlowUnit;
}

namespace shimmerly::cli {

// A JSON string literal of bytes: quote, backslash and every byte outside 0x20..0x7E escaped
// (the latter as \u00XX).
std::string jsonString(const std::string& bytes);

// The JSON object of one load: its status, the unit's fields and the stream diagnostic.
std::string presetJson(int32_t status, const GlowUnit& unit, const std::string& diagnostic);

// The readable form: one line per field with the control value it stands for, then status and
// diagnostic lines.
std::string presetText(int32_t status, const GlowUnit& unit, const std::string& diagnostic);

}  // namespace shimmerly::cli
