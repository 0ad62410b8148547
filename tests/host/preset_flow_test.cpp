// The presets popup driven as a host drives it, with the boxes answered by a script: applying a
// stored preset, the Save... flow with its name rules and messages, and the repeated-notice rule
// of the "PrMr" host. Every notice must end with the popup back at 1 and out_flags 0x420000.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/entry.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "host_fixture.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"
#include "ui/scripted_backend.h"

namespace shimmerly {
namespace {

constexpr const char* kAvailable =
    "This preset will be available the next time the application is started.";
constexpr const char* kReplaceQuestion =
    "This name is already taken as a preset.\r\rWould you like to replace it?";
constexpr const char* kPeriod = "Presets cannot start with a period. Please try again.";
constexpr const char* kSaveFailed = "Error while saving preset file.";

using Messages = std::vector<std::string>;

class PresetFlowTest : public testing::InProcessHostTest {
 protected:
  ScriptedUiBackend boxes;

  void SetUp() override {
    InProcessHostTest::SetUp();
    setUiBackend(&boxes);
    pluginState().savePromptActive = false;
    host().paramsSetup();
  }
  void TearDown() override {
    setUiBackend(nullptr);
    InProcessHostTest::TearDown();
  }

  // Sets the popup as the user did and sends the notice; checks how every notice ends.
  void choose(int32_t popupValue) {
    host().param(PARAM_PRESETS).u.pd.value = popupValue;
    EXPECT_EQ(host().userChangedParam(PARAM_PRESETS), PF_Err_NONE);
    EXPECT_EQ(host().param(PARAM_PRESETS).u.pd.value, 1);
    EXPECT_EQ(host().param(PARAM_PRESETS).change_flags, PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(host().outData().out_flags, 0x420000);
  }
  void save() { choose(3); }

  // A look that differs from the defaults in a slider, a popup, the colour and a box.
  void setLook(float glowSize, int32_t blend) {
    host().param(PARAM_GLOW_SIZE).u.fs_d.value = glowSize;
    host().param(PARAM_BLEND_MODE).u.pd.value = blend;
    host().param(PARAM_CUSTOM_COLOR).u.cd.value = PF_Pixel{255, 10, 20, 30};
    host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = 1;
  }

  GlowUnit stored(const char* name) {
    GlowUnit unit("GlowUnit");
    EXPECT_EQ(loadPreset("Shimmerly", name, unit), 0) << name;
    return unit;
  }
  void storePreset(const char* name, double feather, int32_t mode) {
    GlowUnit unit("GlowUnit");
    unit.targetFeather = feather;
    unit.transferMode = mode;
    ASSERT_EQ(savePreset("Shimmerly", name, unit), 0);
  }
};

TEST_F(PresetFlowTest, NewNameSavesTheControlsAndSaysWhenTheyAppear) {
  setLook(40, 2);
  boxes.typeAndAccept("Warm Halo");
  save();
  ASSERT_EQ(boxes.promptsShown(), 1u);
  const auto& prompt = boxes.shown()[0];
  EXPECT_EQ(prompt.text, "Set preset name:");
  EXPECT_EQ(prompt.initialText, "");
  EXPECT_EQ(prompt.caption, "");
  EXPECT_EQ(boxes.messages(), Messages{kAvailable});
  GlowUnit unit = stored("Warm Halo");
  EXPECT_EQ(unit.targetFeather, 40.0);
  EXPECT_EQ(unit.transferMode, 2);
  EXPECT_EQ(unit.customColor.red, 10 * 257);
  EXPECT_EQ(unit.customColor.blue, 30 * 257);
  EXPECT_TRUE(unit.compositeOnOriginal);
  EXPECT_STREQ(unit.name, "GlowUnit");
  // Saving changes no control other than the popup.
  EXPECT_EQ(host().param(PARAM_GLOW_SIZE).change_flags, 0);
}

TEST_F(PresetFlowTest, ExistingNameAnsweredNoPromptsAgainWithThatName) {
  storePreset("Warm", 5, 1);
  setLook(40, 2);
  boxes.typeAndAccept("Warm");
  boxes.answerQuestion(2);
  boxes.cancelPrompt();
  save();
  ASSERT_EQ(boxes.shown().size(), 3u);
  const auto& question = boxes.shown()[1];
  EXPECT_EQ(question.kind, ScriptedUiBackend::Kind::Question);
  EXPECT_EQ(question.text, kReplaceQuestion);
  EXPECT_EQ(question.buttons, (std::vector<std::string>{"Yes", "No"}));
  EXPECT_EQ(question.caption, "Preset");
  EXPECT_EQ(boxes.shown()[2].kind, ScriptedUiBackend::Kind::Prompt);
  EXPECT_EQ(boxes.shown()[2].initialText, "Warm");
  EXPECT_TRUE(boxes.messages().empty());
  EXPECT_EQ(stored("Warm").targetFeather, 5.0);
}

TEST_F(PresetFlowTest, ExistingNameAnsweredYesIsReplacedWithoutAMessage) {
  storePreset("Warm", 5, 1);
  setLook(40, 2);
  boxes.typeAndAccept("Warm");
  boxes.answerQuestion(1);
  save();
  EXPECT_TRUE(boxes.messages().empty());
  EXPECT_EQ(stored("Warm").targetFeather, 40.0);
  EXPECT_EQ(stored("Warm").transferMode, 2);
}

TEST_F(PresetFlowTest, AQuestionThatCannotBeShownCountsAsNo) {
  storePreset("Warm", 5, 1);
  setLook(40, 2);
  boxes.typeAndAccept("Warm");  // no answer queued: the question gives -1
  save();
  EXPECT_EQ(boxes.promptsShown(), 2u);
  EXPECT_EQ(stored("Warm").targetFeather, 5.0);
}

TEST_F(PresetFlowTest, LeadingFullStopIsRefusedAndThePromptReturnsWithTheName) {
  boxes.typeAndAccept(".hidden");
  boxes.typeAndAccept("Shown");
  save();
  EXPECT_EQ(boxes.messages(), (Messages{kPeriod, kAvailable}));
  ASSERT_EQ(boxes.promptsShown(), 2u);
  EXPECT_EQ(boxes.shown()[2].initialText, ".hidden");
  EXPECT_FALSE(presetExists("Shimmerly", ".hidden"));
  EXPECT_TRUE(presetExists("Shimmerly", "Shown"));
}

TEST_F(PresetFlowTest, AnExistingPresetStartingWithAFullStopCanBeReplaced) {
  storePreset(".dot", 5, 1);
  setLook(40, 2);
  boxes.typeAndAccept(".dot");
  boxes.answerQuestion(1);
  save();
  EXPECT_TRUE(boxes.messages().empty());
  EXPECT_EQ(stored(".dot").targetFeather, 40.0);
}

class RefusedNameTest : public PresetFlowTest, public ::testing::WithParamInterface<const char*> {};

// Names that cannot be one file name never reach the file system: the library's message, and
// the prompt comes back with the name for the user to correct.
TEST_P(RefusedNameTest, IsRefusedWithTheLibrarysMessage) {
  boxes.typeAndAccept(GetParam());
  boxes.cancelPrompt();
  save();
  EXPECT_EQ(boxes.messages(), Messages{kPresetSaveFailedMessage});
  ASSERT_EQ(boxes.promptsShown(), 2u);
  EXPECT_EQ(boxes.shown()[2].initialText, GetParam());
  PresetNameList names;
  listPresets("Shimmerly", names);
  EXPECT_TRUE(names.empty());
}

INSTANTIATE_TEST_SUITE_P(Names, RefusedNameTest,
                         ::testing::Values("sub/name", "back\\slash", "bell\a", "tab\tname"));

struct SilentEnd {
  const char* label;
  void (*script)(ScriptedUiBackend&);
};

class SilentEndTest : public PresetFlowTest, public ::testing::WithParamInterface<SilentEnd> {};

TEST_P(SilentEndTest, SavesNothingAndShowsNothing) {
  GetParam().script(boxes);
  save();
  EXPECT_EQ(boxes.promptsShown(), 1u);
  EXPECT_TRUE(boxes.messages().empty());
  PresetNameList names;
  listPresets("Shimmerly", names);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(pluginState().savePromptActive);  // set by the flow, cleared by the next notice
}

INSTANTIATE_TEST_SUITE_P(
    Ends, SilentEndTest,
    ::testing::Values(SilentEnd{"Cancel", [](ScriptedUiBackend& b) { b.cancelPrompt(); }},
                      SilentEnd{"EmptyName", [](ScriptedUiBackend& b) { b.typeAndAccept(""); }},
                      SilentEnd{"NoPromptPossible", [](ScriptedUiBackend&) {}}),
    [](const ::testing::TestParamInfo<SilentEnd>& info) { return info.param.label; });

TEST_F(PresetFlowTest, AFailedSaveShowsTheLibrarysMessageThenItsOwn) {
  // The preset folder is a plain file: nothing can be created inside it, whoever runs the test.
  const auto folder = home().path() / "Documents" / "Brindlex" / "Shimmerly" / "Shimmerly Presets";
  std::filesystem::remove_all(folder);
  std::ofstream(folder) << "not a folder";
  boxes.typeAndAccept("Warm");
  save();
  EXPECT_EQ(boxes.messages(), (Messages{kPresetSaveFailedMessage, kSaveFailed}));
}

TEST_F(PresetFlowTest, ChoosingAStoredPresetLoadsTheNameAtItsPosition) {
  storePreset("First", 11, 3);
  storePreset("Second", 66, 5);
  pluginState().presetManager->setList({"First", "Second"});
  choose(6);
  EXPECT_EQ(host().param(PARAM_GLOW_SIZE).u.fs_d.value, 66.0);
  EXPECT_EQ(host().param(PARAM_BLEND_MODE).u.pd.value, 5);
  EXPECT_EQ(host().param(PARAM_GLOW_SIZE).change_flags, PF_ChangeFlag_CHANGED_VALUE);
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(PresetFlowTest, APresetThatNoLongerLoadsLeavesTheControlsAndSaysSo) {
  pluginState().presetManager->setList({"Gone"});
  setLook(40, 2);
  choose(5);
  EXPECT_EQ(boxes.messages(), Messages{"Error while loading preset."});
  EXPECT_EQ(host().param(PARAM_GLOW_SIZE).u.fs_d.value, 40.0);
  EXPECT_EQ(host().param(PARAM_BLEND_MODE).u.pd.value, 2);
}

TEST_F(PresetFlowTest, FixedItemsAndValuesPastTheListChangeNothing) {
  storePreset("Only", 66, 5);
  pluginState().presetManager->setList({"Only"});
  setLook(40, 2);
  for (int32_t value : {1, 2, 4, 6, 60}) {
    choose(value);
    EXPECT_EQ(host().param(PARAM_GLOW_SIZE).u.fs_d.value, 40.0) << value;
    EXPECT_EQ(host().param(PARAM_GLOW_SIZE).change_flags, 0) << value;
  }
  EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(PresetFlowTest, OutFlagsAreReplacedNotAdded) {
  pluginState().presetManager->setList({});
  host().param(PARAM_PRESETS).u.pd.value = 1;
  PF_OutData out{};
  out.out_flags = PF_OutFlag_DISPLAY_ERROR_MESSAGE | PF_OutFlag_SEND_UPDATE_PARAMS_UI;
  PF_UserChangedParamExtra extra{PARAM_PRESETS};
  EXPECT_EQ(pluginMain(PF_Cmd_USER_CHANGED_PARAM, &host().inData(), &out, host().paramArray(),
                       nullptr, &extra),
            PF_Err_NONE);
  EXPECT_EQ(out.out_flags, 0x420000);
}

class RepeatedSaveTest : public PresetFlowTest, public ::testing::WithParamInterface<bool> {};

// The "PrMr" host sends the "Save..." notice twice: only the first opens the prompt. Other hosts
// get a prompt each time.
TEST_P(RepeatedSaveTest, SecondNoticeOpensThePromptOnlyOffThePrMrHost) {
  const bool prmr = GetParam();
  if (prmr) host().setApplicationId(PF_FOURCC('P', 'r', 'M', 'r'));
  boxes.cancelPrompt();
  boxes.cancelPrompt();
  save();
  save();
  EXPECT_EQ(boxes.promptsShown(), prmr ? 1u : 2u);
  if (prmr) {
    EXPECT_FALSE(pluginState().savePromptActive);
    save();  // the flag was cleared: a third notice is a new request
    EXPECT_EQ(boxes.promptsShown(), 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(Hosts, RepeatedSaveTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "PrMr" : "Other";
                         });

TEST_F(PresetFlowTest, OnThePrMrHostAPresetChoiceAfterAFlowIsApplied) {
  host().setApplicationId(PF_FOURCC('P', 'r', 'M', 'r'));
  storePreset("Only", 66, 5);
  pluginState().presetManager->setList({"Only"});
  boxes.cancelPrompt();
  save();
  choose(5);
  EXPECT_EQ(host().param(PARAM_BLEND_MODE).u.pd.value, 5);
  EXPECT_FALSE(pluginState().savePromptActive);
}

}  // namespace
}  // namespace shimmerly
