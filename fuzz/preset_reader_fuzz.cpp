// Fuzz target: a preset file of arbitrary bytes, read through loadPreset from the preset folder.
// A preset that loads is saved again and reloaded: the second load must succeed and give the
// same enumerations, flags and colour, and writing it a second time must give the same bytes
// (reals below 10^9 included: larger ones lose digits in "%f" text, and reals written with
// hundreds of digits are cut on reading by the format's 255-byte token limit).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "presets/command_stream.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"

using namespace shimmerly;

namespace {

std::string readAll(const std::string& path) {
  std::string text;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
    std::fclose(file);
  }
  return text;
}

// Below 2^33 a real's "%f" text reads back as a double whose "%f" text is the same; larger
// reals may gain or lose a unit in the sixth decimal.
bool saneReal(double x) {
  return std::fabs(x) < 1e9;
}

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "preset round trip: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = fuzzing::privatePresetFolder();
  fuzzing::writeWholeFile(folder + "/fuzzed.smr", data, size);

  GlowUnit unit("GlowUnit");
  if (loadPreset("Shimmerly", "fuzzed", unit) != 0) return 0;
  check(std::string(unit.name) != "__notloaded", "loaded without a name");

  // The preset flow always saves under the unit name "GlowUnit"; keep the loaded name out of
  // the comparison the same way (a name with a quote cannot be written back unchanged).
  std::snprintf(unit.name, sizeof unit.name, "%s", "GlowUnit");
  check(savePreset("Shimmerly", "saved", unit) == 0, "save failed");
  const std::string first = readAll(folder + "/saved.smr");

  GlowUnit again("GlowUnit");
  check(loadPreset("Shimmerly", "saved", again) == 0, "saved preset does not load");
  check(std::string(targetTypeName(again.targetType)) == targetTypeName(unit.targetType),
        "TargetType");
  check(std::string(targetProcessingName(again.targetProcessing)) ==
            targetProcessingName(unit.targetProcessing),
        "TargetProcessing");
  check(std::string(colorFromName(again.colorFrom)) == colorFromName(unit.colorFrom), "ColorFrom");
  check(std::string(transferModeName(again.transferMode)) == transferModeName(unit.transferMode),
        "TransferMode");
  check(again.targetShowTarget == unit.targetShowTarget, "TargetShowTarget");
  check(again.compositeOnOriginal == unit.compositeOnOriginal, "CompositeOnOriginal");
  check(again.customColor.red == unit.customColor.red &&
            again.customColor.green == unit.customColor.green &&
            again.customColor.blue == unit.customColor.blue,
        "CustomColor");

  if (saneReal(unit.targetBrightCutoff) && saneReal(unit.targetDarkCutoff) &&
      saneReal(unit.targetFeather) && saneReal(unit.boost) && saneReal(unit.softness)) {
    check(savePreset("Shimmerly", "saved", again) == 0, "second save failed");
    check(readAll(folder + "/saved.smr") == first, "second save differs");
  }
  return 0;
}
