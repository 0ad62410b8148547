// Global set-up (version, flags, the plug-in's file name), the about text, and the change notice
// for controls other than the presets popup.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "host/lifecycle.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "host_fixture.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"

namespace shimmerly {
namespace {

using testing::InProcessHostTest;

struct SetupCase {
  int16_t major, minor;
  bool collapsedGroups;
};

class GlobalSetupTest : public InProcessHostTest,
                        public ::testing::WithParamInterface<SetupCase> {};

TEST_P(GlobalSetupTest, ReportsVersionAndFlags) {
  host().setHostVersion(GetParam().major, GetParam().minor);
  host().outData().out_flags2 = 0x5A5A;
  // The host driver clears out_data per call; send the command with a pre-set record instead.
  PF_OutData out;
  std::memset(&out, 0, sizeof out);
  out.out_flags = PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  out.out_flags2 = 0x5A5A;
  ASSERT_EQ(pluginMain(PF_Cmd_GLOBAL_SETUP, &host().inData(), &out, host().paramArray(), nullptr,
                       nullptr),
            PF_Err_NONE);
  EXPECT_EQ(out.my_version, 0x100000u);
  EXPECT_EQ(out.out_flags, 0x4000000);
  EXPECT_EQ(out.out_flags2, GetParam().collapsedGroups ? 8 : 0x5A5A);
  EXPECT_STREQ(pluginState().pluginFileName, "Shimmerly.so");
}

INSTANTIATE_TEST_SUITE_P(Hosts, GlobalSetupTest,
                         ::testing::Values(SetupCase{12, 9, false}, SetupCase{12, 10, true},
                                           SetupCase{13, 0, true}, SetupCase{9, 0, false}));

TEST(FileNameTest, TakesWhatFollowsTheLastSeparator) {
  char name[260];
  copyFileName("C:\\Program Files\\Host\\Plug-ins\\Shimmerly.aex", name);
  EXPECT_STREQ(name, "Shimmerly.aex");
  copyFileName("Shimmerly.aex", name);
  EXPECT_STREQ(name, "Shimmerly.aex");
  copyFileName("/usr/lib/host/Shimmerly.so", name);
  EXPECT_STREQ(name, "Shimmerly.so");
  copyFileName("", name);
  EXPECT_STREQ(name, "");
  const std::string longName(400, 'z');
  copyFileName(longName.c_str(), name);
  EXPECT_EQ(std::strlen(name), 259u);
}

TEST_F(InProcessHostTest, AboutTextWithoutShift) {
  host().globalSetup();
  const std::string text = host().about();
  EXPECT_EQ(text.rfind("Shimmerly for AE, v" SHIMMERLY_VERSION "\r", 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 4);
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(text.size() - 2), "  ");
  EXPECT_NE(text[text.size() - 3], ' ');
}

TEST_F(InProcessHostTest, AboutTextBeforeGlobalSetupShowsVersionZero) {
  std::memset(pluginState().pluginFileName, 0, sizeof pluginState().pluginFileName);
  EXPECT_EQ(host().about().rfind("Shimmerly for AE, v0.0.0\r", 0), 0u);
}

class ChangedControlTest : public InProcessHostTest,
                           public ::testing::WithParamInterface<int32_t> {};

// Whatever control changed, the popup returns to "Select A Preset" and the host is asked to
// refresh the controls and render again, nothing more.
TEST_P(ChangedControlTest, ResetsThePresetsPopup) {
  host().paramsSetup();
  host().param(PARAM_PRESETS).u.pd.value = GetParam() == PARAM_PRESETS ? 9 : 4;
  host().param(PARAM_MASK).u.pd.value = 3;
  pluginState().savePromptActive = true;
  const int32_t index = GetParam();
  EXPECT_EQ(host().userChangedParam(index), PF_Err_NONE);
  EXPECT_EQ(host().param(PARAM_PRESETS).u.pd.value, 1);
  EXPECT_EQ(host().param(PARAM_PRESETS).change_flags, PF_ChangeFlag_CHANGED_VALUE);
  EXPECT_EQ(host().outData().out_flags, 0x420000);
  EXPECT_EQ(host().param(PARAM_MASK).u.pd.value, 3);
  EXPECT_EQ(host().param(PARAM_MASK).change_flags, 0);
  EXPECT_FALSE(pluginState().savePromptActive);
}

// A slider, a popup, a checkbox, the colour, and the presets popup at a value past the end of
// the (empty) list of names.
INSTANTIATE_TEST_SUITE_P(Controls, ChangedControlTest,
                         ::testing::Values(PARAM_GLOW_SIZE, PARAM_BLEND_MODE, PARAM_SHOW_TARGET,
                                           PARAM_CUSTOM_COLOR, PARAM_PRESETS));

// Popup value 6 is the second name of the manager's list; the preset is written into the controls.
TEST_F(InProcessHostTest, ChoosingAStoredPresetAppliesIt) {
  host().globalSetup();
  GlowUnit first("GlowUnit"), second("GlowUnit");
  first.targetFeather = 5;
  second.targetFeather = 64;
  second.transferMode = TransferMode::Add;
  ASSERT_EQ(savePreset("Shimmerly", "Aaa first", first), 0);
  ASSERT_EQ(savePreset("Shimmerly", "Bbb second", second), 0);
  host().paramsSetup();
  const PresetNameList& names = pluginState().presetManager->list();
  const auto position = std::find(names.begin(), names.end(), "Bbb second") - names.begin();
  ASSERT_LT(static_cast<size_t>(position), names.size());
  host().param(PARAM_PRESETS).u.pd.value = static_cast<int32_t>(position) + 5;
  EXPECT_EQ(host().userChangedParam(PARAM_PRESETS), PF_Err_NONE);
  EXPECT_EQ(host().param(PARAM_GLOW_SIZE).u.fs_d.value, 64.0);
  EXPECT_EQ(host().param(PARAM_BLEND_MODE).u.pd.value, 5);
  EXPECT_EQ(host().param(PARAM_PRESETS).u.pd.value, 1);
  EXPECT_EQ(host().outData().out_flags, 0x420000);
}

}  // namespace
}  // namespace shimmerly
