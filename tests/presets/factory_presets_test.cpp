// The factory presets: each file is exactly what the library writes for its record, the index
// names every preset, the set covers the glow styles, colour sources, luminance targets and
// blend modes within the controls' ranges, and a first start seeds and lists them from the copy
// beside the plug-in module in the build folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "platform/files.h"
#include "preset_test_support.h"
#include "presets/glow_unit.h"
#include "presets/preset_folder.h"
#include "presets/preset_library.h"

namespace shimmerly {
namespace {

namespace fs = std::filesystem;
using testing::FakeHost;
using testing::readBytes;
using testing::TempHome;

const fs::path kSource = SHIMMERLY_FACTORY_PRESETS_DIR;
const fs::path kBuildFolder = SHIMMERLY_BUILD_DIR;

PresetNameList indexNames() {
  PresetNameList names;
  std::string text = readBytes(kSource / "Shimmerly Presets.idx");
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    names.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the index ends with a line feed";
  return names;
}

class FactoryPresets : public ::testing::Test {
 protected:
  // Seeds the temporary home from the build folder's copy, as on a first start.
  void SetUp() override {
    FakeHost host(
        (kBuildFolder / (std::string("Shimmerly") + platform::kPluginFileExtension)).string());
    ensurePresetFolder("Shimmerly");
  }
  TempHome home;
};

TEST_F(FactoryPresets, FirstStartListsThemInIndexOrder) {
  const PresetNameList names = indexNames();
  EXPECT_GE(names.size(), 10u);
  PresetNameList listed;
  listPresets("Shimmerly", listed);
  EXPECT_EQ(listed, names);
  // Every preset file is named in the index; nothing else lies in the folder.
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(kSource)) {
    ++files;
    const std::string name = entry.path().filename().string();
    if (name == "Shimmerly Presets.idx") continue;
    EXPECT_EQ(entry.path().extension(), ".smr");
    EXPECT_NE(std::find(names.begin(), names.end(), entry.path().stem().string()), names.end())
        << name;
  }
  EXPECT_EQ(files, names.size() + 1);
}

TEST_F(FactoryPresets, FilesAreTheWritersOwnBytes) {
  for (const std::string& name : indexNames()) {
    GlowUnit unit("GlowUnit");
    ASSERT_EQ(loadPreset("Shimmerly", name.c_str(), unit), 0) << name;
    ASSERT_EQ(savePreset("Shimmerly", ("Resaved " + name).c_str(), unit), 0);
    EXPECT_EQ(readBytes(home.presetFolder() / ("Resaved " + name + ".smr")),
              readBytes(kSource / (name + ".smr")))
        << name;
    EXPECT_EQ(readBytes(kBuildFolder / "Shimmerly Presets" / (name + ".smr")),
              readBytes(kSource / (name + ".smr")))
        << "build copy of " << name;
  }
}

TEST_F(FactoryPresets, CoverTheLooksWithinTheControlsRanges) {
  std::set<int32_t> styles, sources, targets, modes;
  bool effectOnly = false;
  for (const std::string& name : indexNames()) {
    GlowUnit unit("GlowUnit");
    ASSERT_EQ(loadPreset("Shimmerly", name.c_str(), unit), 0);
    SCOPED_TRACE(name);
    styles.insert(unit.targetProcessing);
    sources.insert(unit.colorFrom);
    targets.insert(unit.targetType);
    modes.insert(unit.transferMode);
    effectOnly |= unit.compositeOnOriginal;
    EXPECT_GE(unit.targetProcessing, 1);  // the Glow Style popup's values
    EXPECT_LE(unit.targetProcessing, 3);
    EXPECT_GE(unit.targetType, 1);  // the Mask popup's named values
    EXPECT_LE(unit.targetType, 4);
    EXPECT_LE(unit.targetDarkCutoff, unit.targetBrightCutoff);
    EXPECT_GE(unit.targetDarkCutoff, 0.0);
    EXPECT_LE(unit.targetBrightCutoff, 255.0);
    EXPECT_GT(unit.targetFeather, 0.0);
    EXPECT_LE(unit.targetFeather, 100.0);  // within the slider's own range
    EXPECT_GE(unit.boost, 0.0);
    EXPECT_LE(unit.boost, 2.0);
    EXPECT_GE(unit.softness, 0.0);
    EXPECT_LE(unit.softness, 1.0);
    EXPECT_FALSE(unit.targetShowTarget);
    // Colours are 8-bit control values times 257.
    EXPECT_EQ(unit.customColor.red % 257, 0);
    EXPECT_EQ(unit.customColor.green % 257, 0);
    EXPECT_EQ(unit.customColor.blue % 257, 0);
  }
  EXPECT_EQ(styles, (std::set<int32_t>{1, 2, 3}));
  EXPECT_EQ(sources, (std::set<int32_t>{1, 2}));
  EXPECT_TRUE(targets.count(TargetType::Brightness) && targets.count(TargetType::BrightnessAlpha));
  EXPECT_GE(modes.size(), 6u);
  EXPECT_TRUE(effectOnly);
}

}  // namespace
}  // namespace shimmerly
