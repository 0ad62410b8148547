// Writes the factory presets and their index into a folder, through the library's own writer,
// so that the files in presets/Shimmerly Presets are exactly what the plug-in itself saves.
// Each preset is given as the effect's control values and converted the way the controls are
// saved (cutoffs x 2.55, Trans/Boost x 0.01 + 1, Softness x 0.01, colours x 257).
// Usage: make_factory_presets OUTPUT-FOLDER
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "presets/glow_unit.h"
#include "presets/preset_library.h"

namespace {

using namespace shimmerly;

struct Look {
  const char* name;
  int32_t mask;       // Mask popup: 1 None, 2 Layer Alpha, 3 Brightness, 4 Brightness+Alpha
  double bright;      // Bright Cutoff, percent
  double dark;        // Dark Cutoff, percent
  int32_t style;      // Glow Style popup: 1 Glow In Front, 2 In-Glow, 3 Out-Glow
  double size;        // Glow Size, pixels
  double softness;    // Softness, percent
  int32_t colorFrom;  // 1 Custom Color, 2 This Layer
  uint8_t red, green, blue;
  double transBoost;  // Trans/Boost, percent
  int32_t blend;      // Blend Mode popup 1..8
  bool effectOnly;    // Show Effect Only
};

// In the order of the index file.
constexpr Look kLooks[] = {
    {"Soft White Bloom", 3, 100, 55, 1, 40, 90, 1, 255, 255, 255, 10, 2, false},
    {"Hot Highlights", 3, 100, 80, 1, 30, 80, 2, 255, 255, 255, 30, 5, false},
    {"Moonlight", 3, 100, 50, 1, 35, 85, 1, 170, 200, 255, 0, 2, false},
    {"Dreamy Haze", 1, 100, 25, 1, 40, 100, 2, 255, 255, 255, 40, 4, false},
    {"Candle Warmth", 4, 100, 55, 1, 28, 75, 2, 255, 255, 255, 15, 8, false},
    {"Inner Light", 4, 100, 40, 2, 10, 90, 1, 255, 200, 120, -30, 2, false},
    {"Electric Core", 4, 100, 50, 2, 8, 60, 1, 60, 140, 255, 0, 7, false},
    {"Neon Outline", 4, 100, 50, 3, 12, 50, 1, 0, 255, 234, 50, 5, false},
    {"Golden Halo", 4, 100, 60, 3, 30, 80, 1, 255, 196, 64, 60, 2, false},
    {"Ember Edge", 4, 100, 40, 3, 20, 60, 1, 255, 90, 20, 25, 6, false},
    {"Amber Tint", 3, 100, 45, 1, 18, 70, 1, 255, 170, 90, 20, 3, false},
    {"Glow Pass", 4, 100, 50, 1, 22, 80, 1, 255, 255, 255, 0, 1, true},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_factory_presets OUTPUT-FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  // The library writes into HOME's preset folder; point HOME at a scratch folder.
  const fs::path scratch = fs::temp_directory_path() / "shimmerly-factory-presets";
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  setenv("HOME", scratch.c_str(), 1);
  const fs::path written = scratch / "Documents" / "Brindlex" / "Shimmerly" / "Shimmerly Presets";

  const fs::path out = argv[1];
  fs::create_directories(out);
  std::ofstream index(out / "Shimmerly Presets.idx", std::ios::binary | std::ios::trunc);
  for (const Look& look : kLooks) {
    GlowUnit unit("GlowUnit");
    unit.targetType = look.mask;
    unit.targetProcessing = look.style;
    unit.targetBrightCutoff = look.bright * 2.55;
    unit.targetDarkCutoff = look.dark * 2.55;
    unit.targetFeather = look.size * 1.0;
    unit.targetShowTarget = false;
    unit.colorFrom = look.colorFrom;
    unit.customColor = {static_cast<uint16_t>(look.red * 257),
                        static_cast<uint16_t>(look.green * 257),
                        static_cast<uint16_t>(look.blue * 257)};
    unit.boost = look.transBoost * 0.01 + 1;
    unit.softness = look.softness * 0.01;
    unit.transferMode = look.blend;
    unit.compositeOnOriginal = look.effectOnly;
    if (savePreset("Shimmerly", look.name, unit) != 0) return 1;
    const std::string file = std::string(look.name) + ".smr";
    fs::copy_file(written / file, out / file, fs::copy_options::overwrite_existing);
    index << look.name << '\n';
  }
  fs::remove_all(scratch);
  return index ? 0 : 1;
}
