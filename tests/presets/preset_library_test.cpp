// The preset library over a temporary home folder: loading ordinary and damaged files, the
// listing order of index and folder, saving with its message, names that must never reach the
// file system, and saves that replace the old preset only when complete.
#include "presets/preset_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "preset_test_support.h"
#include "presets/command_stream.h"
#include "presets/glow_unit.h"
#include "presets/preset_folder.h"

namespace shimmerly {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::RecordingUi;
using testing::TempHome;
using testing::treeOf;
using testing::writeBytes;

constexpr const char* kProduct = "Shimmerly";
constexpr const char* kSaveFailed = "Error while saving preset. Try a different name.";

class Library : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(home.presetFolder()); }
  // Puts a fixture from tests/data/presets into the preset folder under name.
  void install(const char* fixture, const std::string& name) {
    fs::copy_file(fs::path(SHIMMERLY_TEST_DATA_DIR) / "presets" / fixture,
                  home.presetFolder() / name, fs::copy_options::overwrite_existing);
  }
  void preset(const std::string& fileName, const std::string& bytes = "") {
    writeBytes(home.presetFolder() / fileName, bytes);
  }
  std::string defaultText() {
    GlowUnit unit("GlowUnit");
    EXPECT_EQ(savePreset(kProduct, "__default", unit), 0);
    return readBytes(home.presetFolder() / "__default.smr");
  }
  PresetNameList listed() {
    PresetNameList list;
    EXPECT_EQ(listPresets(kProduct, list), 1);
    return list;
  }

  TempHome home;
  RecordingUi ui;
};

TEST_F(Library, LoadsACompleteFileAndSavesTheSameBytes) {
  install("complete.smr", "Full.smr");
  GlowUnit unit("GlowUnit");
  ASSERT_EQ(loadPreset(kProduct, "Full", unit), 0);
  EXPECT_STREQ(unit.name, "GlowUnit");
  EXPECT_EQ(unit.targetType, TargetType::Brightness);
  EXPECT_EQ(unit.targetProcessing, TargetProcessing::EdgesOnly);
  EXPECT_EQ(unit.targetBrightCutoff, 255.0);
  EXPECT_EQ(unit.targetDarkCutoff, 127.5);
  EXPECT_EQ(unit.targetFeather, 40.0);
  EXPECT_FALSE(unit.targetShowTarget);
  EXPECT_EQ(unit.colorFrom, ColorFrom::Layer);
  EXPECT_EQ(unit.customColor.red, 65535);
  EXPECT_EQ(unit.customColor.green, 32896);
  EXPECT_EQ(unit.customColor.blue, 514);
  EXPECT_EQ(unit.boost, 1.25);
  EXPECT_EQ(unit.softness, 0.9);
  EXPECT_EQ(unit.transferMode, TransferMode::Screen);
  EXPECT_TRUE(unit.compositeOnOriginal);
  // The warning about the begin line's two tokens was cleared by the later commands.
  EXPECT_STREQ(lastStreamError(), "");

  ASSERT_EQ(savePreset(kProduct, "Again", unit), 0);
  EXPECT_EQ(readBytes(home.presetFolder() / "Again.smr"),
            readBytes(home.presetFolder() / "Full.smr"));
  EXPECT_TRUE(ui.messages.empty());
}

struct LoadCase {
  const char* fixture;
  int32_t status;
  double feather;  // TargetFeather afterwards; the unit starts at 7
};

class LoadFixtures : public Library, public ::testing::WithParamInterface<LoadCase> {};

INSTANTIATE_TEST_SUITE_P(
    Files, LoadFixtures,
    ::testing::Values(LoadCase{"crlf.smr", 0, 12.5}, LoadCase{"no_end_line.smr", 0, 33.0},
                      LoadCase{"ends_after_class.smr", -1, 33.0},
                      LoadCase{"notloaded.smr", -1, 33.0}, LoadCase{"no_name.smr", -1, 33.0},
                      LoadCase{"other_class_end.smr", -1, 33.0},
                      LoadCase{"unknown_keys.smr", 0, 33.0},  // text after the end is not read
                      LoadCase{"end_of_stream.smr", -3, 7.0}),
    [](const auto& info) {
      std::string name = info.param.fixture;
      return name.substr(0, name.find('.'));
    });

TEST_P(LoadFixtures, StatusAndFieldsReadBeforeTheFailure) {
  install(GetParam().fixture, "Case.smr");
  GlowUnit unit("GlowUnit");
  unit.targetFeather = 7.0;
  EXPECT_EQ(loadPreset(kProduct, "Case", unit), GetParam().status);
  EXPECT_EQ(unit.targetFeather, GetParam().feather);
  // Exactly the loadable files are listed.
  EXPECT_EQ(listed(), GetParam().status == 0 ? PresetNameList{"Case"} : PresetNameList{});
}

TEST_F(Library, CrlfFileReadsFlagsAndModes) {
  install("crlf.smr", "Hand.smr");
  GlowUnit unit("GlowUnit");
  ASSERT_EQ(loadPreset(kProduct, "Hand", unit), 0);
  EXPECT_TRUE(unit.targetShowTarget);
  EXPECT_EQ(unit.transferMode, TransferMode::Add);
}

TEST_F(Library, EmptyFilesMissingFilesAndUnknownTokens) {
  preset("Zero.smr");
  GlowUnit unit("GlowUnit");
  EXPECT_EQ(loadPreset(kProduct, "Zero", unit), -1);
  EXPECT_STREQ(unit.name, "__notloaded");
  EXPECT_EQ(loadPreset(kProduct, "Missing", unit), -1);

  std::string junk = " begin GlowUnit\n\n  Name \"GlowUnit\"\n\n";
  for (int i = 0; i < 99; ++i) junk += " w" + std::to_string(i);
  preset("Ninety-nine.smr", junk + "\n  TargetFeather 5.000000\n\n end GlowUnit\n\n");
  preset("Hundred.smr", junk + " w99\n  TargetFeather 5.000000\n\n end GlowUnit\n\n");
  EXPECT_EQ(loadPreset(kProduct, "Ninety-nine", unit), 0);
  EXPECT_EQ(unit.targetFeather, 5.0);
  EXPECT_EQ(loadPreset(kProduct, "Hundred", unit), -1);
  // The hundredth unknown token is w99 ("begin" and "GlowUnit" were skipped by their own
  // command); its position is the line feed behind it.
  EXPECT_EQ(std::string(lastStreamError()),
            "Scene error: unknown command <<w99>> for class <<GlowUnit>> at byte " +
                std::to_string((junk + " w99").size()) + ".");
}

TEST_F(Library, EmptyLibraryListsNothing) {
  EXPECT_EQ(listed(), PresetNameList{});
#ifdef _WIN32
  // Windows names only a documents folder that exists: the product's folders go, it stays.
  fs::remove_all(home.home() / "Documents" / "Brindlex");
#else
  fs::remove_all(home.home() / "Documents");
#endif
  EXPECT_EQ(listed(), PresetNameList{});
  EXPECT_TRUE(fs::is_directory(home.presetFolder()));  // listing creates the folders
}

TEST_F(Library, IndexFirstThenFolderOrderWithoutRepeats) {
  const std::string text = defaultText();
  fs::remove(home.presetFolder() / "__default.smr");
  for (const char* name : {"Alpha.smr", "Beta.smr", "Gamma.smr", "Delta.SMR", "Delta.SMR.smr",
                           ".Hidden.smr", "Plain", "Plain.smr", "Sub.smr"}) {
    preset(name, text);
  }
  fs::create_directories(home.presetFolder() / "Sub");
  fs::create_directories(home.presetFolder() / "Lonely");
  preset("Broken.smr", "not a preset");
  preset("Shimmerly Presets.idx", "Gamma\r\nMissing\n\nAlpha\rGamma\nBroken\n");
  EXPECT_EQ(listed(),
            (PresetNameList{"Gamma", "Alpha", "Gamma", "Beta", "Delta.SMR", "Plain", "Sub"}));
}

TEST_F(Library, SaveReplacesWithoutAskingAndLeavesNoTemporaryFile) {
  GlowUnit unit("GlowUnit");
  unit.targetFeather = 1.0;
  ASSERT_EQ(savePreset(kProduct, "Mine", unit), 0);
  unit.targetFeather = 2.0;
  ASSERT_EQ(savePreset(kProduct, "Mine", unit), 0);
  GlowUnit back("GlowUnit");
  ASSERT_EQ(loadPreset(kProduct, "Mine", back), 0);
  EXPECT_EQ(back.targetFeather, 2.0);
  EXPECT_TRUE(presetExists(kProduct, "Mine"));
  EXPECT_FALSE(presetExists(kProduct, "Yours"));
  EXPECT_EQ(treeOf(home.presetFolder()), std::vector<std::string>{"Mine.smr"});
  EXPECT_EQ(readBytes(home.presetFolder() / "Mine.smr"), [&] {
    GlowUnit expected("GlowUnit");
    expected.targetFeather = 2.0;
    savePreset(kProduct, "Expected", expected);
    return readBytes(home.presetFolder() / "Expected.smr");
  }());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(Library, EmptyNameSavesNothing) {
  GlowUnit unit("GlowUnit");
  EXPECT_EQ(savePreset(kProduct, "", unit), 0);
  EXPECT_EQ(treeOf(home.presetFolder()), std::vector<std::string>{});
  EXPECT_TRUE(ui.messages.empty());
}

class UnsafeNames : public Library, public ::testing::WithParamInterface<std::string> {};

INSTANTIATE_TEST_SUITE_P(Names, UnsafeNames,
                         ::testing::Values("../Escaped", "../../Escaped", "Sub/Escaped",
                                           "..\\Escaped", ".", "..", "Bad\nName", "Tab\tName",
                                           "/tmp/Escaped"));

TEST_P(UnsafeNames, NeverReachTheFileSystem) {
  // Files the name would point at if it were used as a path.
  fs::create_directories(home.presetFolder() / "Sub");
  const std::string text = defaultText();
  for (const fs::path& bait :
       {home.productFolder() / "Escaped.smr", home.presetFolder() / "Sub" / "Escaped.smr",
        home.presetFolder() / "..smr", home.presetFolder() / "...smr"}) {
    writeBytes(bait, text);
  }
  const std::vector<std::string> before = treeOf(home.home());

  GlowUnit unit("GlowUnit");
  EXPECT_EQ(loadPreset(kProduct, GetParam().c_str(), unit), -1);
  EXPECT_STREQ(unit.name, "__notloaded");
  EXPECT_FALSE(presetExists(kProduct, GetParam().c_str()));
  EXPECT_NE(savePreset(kProduct, GetParam().c_str(), unit), 0);
  EXPECT_EQ(ui.messages, std::vector<std::string>{kSaveFailed});
  EXPECT_EQ(treeOf(home.home()), before);
  EXPECT_FALSE(fs::exists("/tmp/Escaped.smr"));
}

TEST_F(Library, TooLongANameFailsWithTheMessage) {
  GlowUnit unit("GlowUnit");
  const std::string name(300, 'n');
  EXPECT_NE(savePreset(kProduct, name.c_str(), unit), 0);
  EXPECT_EQ(ui.messages, std::vector<std::string>{kSaveFailed});
  EXPECT_EQ(treeOf(home.presetFolder()), std::vector<std::string>{});
}

TEST_F(Library, AFailedWriteKeepsTheEarlierPreset) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
  GlowUnit unit("GlowUnit");
  unit.boost = 1.5;
  ASSERT_EQ(savePreset(kProduct, "Keep", unit), 0);
  const std::string before = readBytes(home.presetFolder() / "Keep.smr");
  // The temporary file beside the preset runs into a full device.
  fs::create_symlink("/dev/full", home.presetFolder() / ".Keep.smr.tmp");
  unit.boost = 0.5;
  EXPECT_NE(savePreset(kProduct, "Keep", unit), 0);
  EXPECT_EQ(ui.messages, std::vector<std::string>{kSaveFailed});
  EXPECT_EQ(readBytes(home.presetFolder() / "Keep.smr"), before);
  GlowUnit back("GlowUnit");
  ASSERT_EQ(loadPreset(kProduct, "Keep", back), 0);
  EXPECT_EQ(back.boost, 1.5);
}

TEST_F(Library, SavingNeverTouchesAPresetOfAHiddenName) {
  GlowUnit hidden("GlowUnit");
  hidden.targetFeather = 3.0;
  ASSERT_EQ(savePreset(kProduct, ".Keep", hidden), 0);
  GlowUnit unit("GlowUnit");
  ASSERT_EQ(savePreset(kProduct, "Keep", unit), 0);
  GlowUnit back("GlowUnit");
  ASSERT_EQ(loadPreset(kProduct, ".Keep", back), 0);
  EXPECT_EQ(back.targetFeather, 3.0);
  EXPECT_EQ(treeOf(home.presetFolder()), (std::vector<std::string>{".Keep.smr", "Keep.smr"}));
}

TEST_F(Library, NamesAreFileNamesByteForByte) {
  GlowUnit unit("GlowUnit");
#ifdef _WIN32
  // Windows file names hold no quote, and its file system does not tell case apart.
  for (const char* name : {".Dotted", "Spaced  Name", "Caf\xc3\xa9"}) {
#else
  for (const char* name : {".Dotted", "Spaced  Name", "Caf\xc3\xa9", "Quote\"d"}) {
#endif
    ASSERT_EQ(savePreset(kProduct, name, unit), 0) << name;
    EXPECT_TRUE(fs::exists(home.presetFolder() / (std::string(name) + ".smr")));
    EXPECT_TRUE(presetExists(kProduct, name));
  }
#ifdef _WIN32
  EXPECT_TRUE(presetExists(kProduct, "spaced  name"));
  EXPECT_EQ(listed(), (PresetNameList{"Caf\xc3\xa9", "Spaced  Name"}));
#else
  EXPECT_FALSE(presetExists(kProduct, "spaced  name"));
  // Names beginning with "." load but are not listed.
  EXPECT_EQ(listed(), (PresetNameList{"Caf\xc3\xa9", "Quote\"d", "Spaced  Name"}));
#endif
}

TEST(PresetManager, KeepsACopyOfTheList) {
  OrbixGlowUnitManager manager;
  PresetNameList names{"A", "B"};
  manager.setList(names);
  names.push_back("C");
  EXPECT_EQ(manager.list(), (PresetNameList{"A", "B"}));
  EXPECT_STREQ(manager.className(), "OrbixGlowUnitManager");
}

}  // namespace
}  // namespace shimmerly
