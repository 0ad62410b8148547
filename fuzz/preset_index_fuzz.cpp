// Fuzz target: listPresets over an index file of arbitrary bytes, beside a fixed preset folder
// (two good presets, a broken one, a hidden one, a sub-folder and a file whose extension is in
// capitals). Every listed name must load, and every name the folder alone offers must be listed.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"

using namespace shimmerly;

namespace {

constexpr const char* kGoodPreset =
    " begin GlowUnit\n\n  Name \"GlowUnit\"\n\n  TargetType \"Brightness\"\n\n"
    "  TargetFeather 12.000000\n\n end GlowUnit\n\n";

void setUpFolder(const std::string& folder) {
  fuzzing::writeWholeFile(folder + "/Warm.smr", kGoodPreset);
  fuzzing::writeWholeFile(folder + "/Cold Glow.smr", kGoodPreset);
  fuzzing::writeWholeFile(folder + "/Broken.smr", " begin GlowUnit\n  TargetType\n");
  fuzzing::writeWholeFile(folder + "/.Hidden.smr", kGoodPreset);
  fuzzing::writeWholeFile(folder + "/Caps.SMR", kGoodPreset);
  if (mkdir((folder + "/Sub").c_str(), 0700) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    const std::string& f = fuzzing::privatePresetFolder();
    setUpFolder(f);
    return f;
  }();
  fuzzing::writeWholeFile(folder + "/Shimmerly Presets.idx", data, size);

  PresetNameList names;
  if (listPresets("Shimmerly", names) != 1) std::abort();
  for (const std::string& name : names) {
    if (name.empty() || name.size() > 255) std::abort();
    GlowUnit unit("GlowUnit");
    if (loadPreset("Shimmerly", name.c_str(), unit) != 0) std::abort();
  }
  for (const char* expected : {"Warm", "Cold Glow"}) {
    if (std::find(names.begin(), names.end(), expected) == names.end()) std::abort();
  }
  // Names the folder listing skips or that have no loadable file; the index may still name
  // ".Hidden", whose file loads.
  for (const char* never : {"Broken", "Caps.SMR", "Caps", "Sub", "Shimmerly Presets"}) {
    if (std::find(names.begin(), names.end(), never) != names.end()) std::abort();
  }
  return 0;
}
