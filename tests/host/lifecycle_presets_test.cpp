// Global set-up and the preset folder (the factory presets are seeded once, on first use only),
// and the about text with the details a host asks for, also with a plug-in file name too long
// for the host's 256-byte message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/plugin_host.h"
#include "host/entry.h"
#include "host/plugin_state.h"
#include "host_fixture.h"
#include "presets/preset_folder.h"
#include "presets/preset_library.h"
#include "support/temp_dir.h"

namespace shimmerly {
namespace {

namespace fs = std::filesystem;

// A preset file as the library writes it, with a chosen glow size.
std::string presetText(int feather) {
  const std::string lines[] = {" begin GlowUnit",
                               "  Name \"GlowUnit\"",
                               "  TargetType \"Alpha\"",
                               "  TargetProcessing \"None\"",
                               "  TargetBrightCutoff 1.000000",
                               "  TargetDarkCutoff 0.250000",
                               "  TargetFeather " + std::to_string(feather) + ".000000",
                               "  TargetShowTarget 0",
                               "  ColorFrom \"CustomColor\"",
                               "  CustomColor 1.000000 1.000000 1.000000",
                               "  Boost 0.000000",
                               "  Softness 0.800000",
                               "  TransferMode \"Normal\"",
                               "  CompositeOnOriginal 0",
                               " end GlowUnit"};
  std::string text;
  for (const std::string& line : lines) text += line + "\n\n";
  return text;
}

class SeedingTest : public testing::InProcessHostTest {
 protected:
  testing::TempDir install;
  void SetUp() override {
    InProcessHostTest::SetUp();
    resetPluginFolderCache();
    fs::create_directories(install.path() / "Shimmerly Presets");
    std::ofstream(install.path() / "Shimmerly Presets" / "Factory Glow.smr") << presetText(30);
  }
  void TearDown() override {
    resetPluginFolderCache();
    InProcessHostTest::TearDown();
  }
  PresetNameList listed() {
    PresetNameList names;
    listPresets("Shimmerly", names);
    return names;
  }
};

TEST_F(SeedingTest, FirstGlobalSetupSeedsTheFactoryPresetsAndLaterOnesDoNot) {
  cli::PluginHost installed(pluginMain, (install.path() / "Shimmerly.so").string());
  installed.globalSetup();
  EXPECT_EQ(listed(), PresetNameList{"Factory Glow"});
  // The user deletes it; the next load of the plug-in must not bring it back.
  fs::remove(home().path() / "Documents" / "Brindlex" / "Shimmerly" / "Shimmerly Presets" /
             "Factory Glow.smr");
  resetPluginFolderCache();
  installed.globalSetup();
  EXPECT_TRUE(listed().empty());
}

TEST_F(SeedingTest, AnExistingProductFolderIsNotSeeded) {
  fs::create_directories(home().path() / "Documents" / "Brindlex" / "Shimmerly");
  cli::PluginHost installed(pluginMain, (install.path() / "Shimmerly.so").string());
  installed.globalSetup();
  EXPECT_TRUE(listed().empty());
}

// The about text with details asked for through the host-services query; a file name that
// would overrun the host's message is shortened, and the build number still ends the text.
class AboutDetailsTest : public ::testing::TestWithParam<size_t> {};

TEST_P(AboutDetailsTest, EndsWithFileNameAndBuildNumberWithinTheMessage) {
  const std::string fileName = std::string(GetParam(), 'n') + ".so";
  cli::PluginHost host(pluginMain, "/opt/hosts/" + fileName);
  host.hostServicesHook = [](PF_ShimmerlyHostServices& services) { services.shift_key_down = 1; };
  std::memcpy(pluginState().pluginFileName, fileName.c_str(),
              std::min(fileName.size() + 1, sizeof pluginState().pluginFileName));
  pluginState().pluginFileName[sizeof pluginState().pluginFileName - 1] = '\0';
  const std::string text = host.about();
  pluginState().currentInData = nullptr;
  ASSERT_LE(text.size(), 255u);
  const std::string tail = "\r\rBuild Number: 109";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << text;
  const size_t name = text.find(" \r\rPlug-in Name: ");
  ASSERT_NE(name, std::string::npos) << text;
  const std::string shown = text.substr(name + 17, text.size() - tail.size() - 1 - (name + 17));
  EXPECT_EQ(fileName.compare(0, shown.size(), shown), 0);
  if (GetParam() < 20) {
    EXPECT_EQ(shown, fileName);
  }
  EXPECT_EQ(text.rfind("Shimmerly for AE, v" SHIMMERLY_VERSION "\r", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(FileNameLengths, AboutDetailsTest, ::testing::Values(6, 120, 255));

TEST(AboutTest, WithoutTheDetailsRequestTheTextEndsWithTwoBlanks) {
  cli::PluginHost host(pluginMain, "/opt/hosts/Shimmerly.so");
  host.hostServicesHook = [](PF_ShimmerlyHostServices& services) { services.shift_key_down = 0; };
  const std::string text = host.about();
  pluginState().currentInData = nullptr;
  EXPECT_EQ(text.find("Plug-in Name"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 3), ".  ");
}

}  // namespace
}  // namespace shimmerly
