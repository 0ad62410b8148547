// Parameter set-up as a host receives it (both slider forms, the presets popup, the FCP host,
// add_param failing midway), slider writes, and the conversions between controls and GlowUnit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/params.h"
#include "host/plugin_state.h"
#include "host_fixture.h"
#include "presets/glow_unit.h"

namespace shimmerly {
namespace {

using testing::InProcessHostTest;

struct Expected {
  int32_t index;
  int32_t id;
  const char* name;
  int32_t type;  // sliders: PF_Param_FLOAT_SLIDER, checked against the host's form
  int32_t flags;
};

constexpr Expected kControls[] = {
    {1, 1, "Effect Presets", PF_Param_POPUP, 0x42},
    {2, 2, "Target", PF_Param_GROUP_START, 0x20},
    {3, 3, "Mask", PF_Param_POPUP, 0x42},
    {4, 4, "Bright Cutoff", PF_Param_FLOAT_SLIDER, 0x60},
    {5, 5, "Dark Cutoff", PF_Param_FLOAT_SLIDER, 0x60},
    {6, 6, "", PF_Param_CHECKBOX, 0x42},
    {7, 7, "", PF_Param_GROUP_END, 0},
    {8, 8, "Glow Style", PF_Param_POPUP, 0x42},
    {9, 9, "Glow Size", PF_Param_FLOAT_SLIDER, 0x60},
    {10, 15, "Softness", PF_Param_FLOAT_SLIDER, 0x60},
    {11, 10, "Glow Color From", PF_Param_POPUP, 0x42},
    {12, 11, "Custom Color", PF_Param_COLOR, 0},
    {13, 12, "Trans/Boost", PF_Param_FLOAT_SLIDER, 0x60},
    {14, 13, "Blend Mode", PF_Param_POPUP, 0x42},
    {15, 14, "", PF_Param_CHECKBOX, 0x42},
};

struct SliderExpect {
  int32_t index;
  double validMin, validMax, sliderMin, sliderMax, dephault;
};

constexpr SliderExpect kSliders[] = {
    {PARAM_BRIGHT_CUTOFF, 0, 100, 0, 100, 100},   {PARAM_DARK_CUTOFF, 0, 100, 0, 100, 25},
    {PARAM_GLOW_SIZE, 0, 1000, 0, 100, 22},       {PARAM_SOFTNESS, 0, 100, 0, 100, 80},
    {PARAM_TRANS_BOOST, -100, 100, -100, 100, 0},
};

std::string sliderFormName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Float" : "Fixed";
}

class ParamsSetupTest : public InProcessHostTest, public ::testing::WithParamInterface<bool> {};

// Both slider forms carry the same controls, ranges and defaults.
TEST_P(ParamsSetupTest, DeclaresTheFifteenControls) {
  const bool floatSliders = GetParam();
  host().setHostVersion(floatSliders ? 13 : 12, floatSliders ? 10 : 9);
  host().paramsSetup();
  ASSERT_EQ(host().paramCount(), 16u);
  EXPECT_EQ(host().outData().num_params, 16);
  for (const Expected& e : kControls) {
    SCOPED_TRACE(e.index);
    const PF_ParamDef& def = host().param(e.index);
    int32_t type = e.type;
    if (type == PF_Param_FLOAT_SLIDER && !floatSliders) type = PF_Param_FIX_SLIDER;
    EXPECT_EQ(def.param_type, type);
    EXPECT_EQ(def.uu_id, e.id);
    EXPECT_STREQ(def.name, e.name);
    EXPECT_EQ(def.flags, e.flags);
  }
  for (const SliderExpect& s : kSliders) {
    SCOPED_TRACE(s.index);
    const PF_ParamDef& def = host().param(s.index);
    if (floatSliders) {
      const PF_FloatSliderDef& f = def.u.fs_d;
      EXPECT_EQ(f.valid_min, s.validMin);
      EXPECT_EQ(f.valid_max, s.validMax);
      EXPECT_EQ(f.slider_min, s.sliderMin);
      EXPECT_EQ(f.slider_max, s.sliderMax);
      EXPECT_EQ(f.dephault, s.dephault);
      EXPECT_EQ(f.value, s.dephault);
      EXPECT_EQ(f.precision, 1);
      EXPECT_FLOAT_EQ(f.curve_tolerance, 0.05f);
    } else {
      const PF_FixedSliderDef& f = def.u.fd;
      EXPECT_EQ(f.valid_min, s.validMin * 65536);
      EXPECT_EQ(f.valid_max, s.validMax * 65536);
      EXPECT_EQ(f.slider_min, s.sliderMin * 65536);
      EXPECT_EQ(f.slider_max, s.sliderMax * 65536);
      EXPECT_EQ(f.dephault, s.dephault * 65536);
      EXPECT_EQ(f.value, s.dephault * 65536);
      EXPECT_EQ(f.precision, 1);
    }
    EXPECT_EQ(readSliderValue(&def), s.dephault);
  }
  EXPECT_STREQ(host().param(PARAM_SHOW_TARGET).u.bd.name, "Show Target");
  EXPECT_STREQ(host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.name, "Show Effect Only");
  EXPECT_EQ(host().param(PARAM_MASK).u.pd.num_choices, 8);
  EXPECT_EQ(host().param(PARAM_MASK).u.pd.value, 2);
  EXPECT_STREQ(host().param(PARAM_MASK).u.pd.names,
               "None|Layer Alpha|Layer Brightness|Layer Brightness+Alpha");
  EXPECT_EQ(host().param(PARAM_GLOW_STYLE).u.pd.value, 3);
  EXPECT_STREQ(host().param(PARAM_BLEND_MODE).u.pd.names,
               "Normal|Screen|Multiply|Overlay|Add|Magic Glue 1|Magic Glue 2|Magic Glue 3");
  const PF_Pixel white{255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(&host().param(PARAM_CUSTOM_COLOR).u.cd.dephault, &white, 4), 0);
}

INSTANTIATE_TEST_SUITE_P(SliderForms, ParamsSetupTest, ::testing::Bool(), sliderFormName);

TEST_F(InProcessHostTest, EmptyLibraryGivesFiveChoicesEndingInNone) {
  host().paramsSetup();
  const PF_PopupDef& popup = host().param(PARAM_PRESETS).u.pd;
  EXPECT_EQ(popup.num_choices, 5);
  EXPECT_STREQ(popup.names, "Select A Preset|------------------|Save...|-----------------|<None>");
  EXPECT_EQ(host().param(PARAM_PRESETS).ui_flags, 0);
}

TEST_F(InProcessHostTest, FcpHostGetsADisabledPresetsPopup) {
  host().setApplicationId(PF_FOURCC('K', 'e', 'y', 'G'));
  host().paramsSetup();
  const PF_ParamDef& def = host().param(PARAM_PRESETS);
  EXPECT_EQ(def.u.pd.num_choices, 1);
  EXPECT_STREQ(def.u.pd.names, "<Unavailable in FCP>");
  EXPECT_EQ(def.ui_flags, PF_PUI_DISABLED | PF_PUI_NO_ECW_UI);
  EXPECT_EQ(host().paramCount(), 16u);
}

TEST_F(InProcessHostTest, AddParamFailingMidwayStopsSetUp) {
  int added = 0;
  host().addParamHook = [&added](const PF_ParamDef&) -> PF_Err {
    return ++added == 5 ? PF_Err_OUT_OF_MEMORY : PF_Err_NONE;
  };
  EXPECT_EQ(host().call(PF_Cmd_PARAMS_SETUP), PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(added, 5);
  EXPECT_EQ(host().paramCount(), 5u);  // the layer and the first four
  EXPECT_EQ(host().outData().num_params, 0);
  EXPECT_EQ(host().outData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
}

TEST(PresetChoicesTest, ListsNamesAfterTheFixedItems) {
  std::vector<char> text(kPresetChoiceTextSize);
  EXPECT_EQ(buildPresetChoices({"A", "B", "C"}, text.data()), 7);
  EXPECT_STREQ(text.data(), "Select A Preset|------------------|Save...|-----------------|A|B|C");
}

// Names that would overrun the choice text are left off; the text stays terminated and whole.
TEST(PresetChoicesTest, StopsBeforeOverrunningTheChoiceText) {
  std::vector<char> text(kPresetChoiceTextSize + 16, '\x7f');
  PresetNameList names(60, std::string(255, 'n'));
  const size_t fixed = std::strlen(kPresetFixedChoices);
  const size_t fit = (kPresetChoiceTextSize - 1 - fixed) / 256;
  EXPECT_EQ(buildPresetChoices(names, text.data()), static_cast<int32_t>(fit + 4));
  EXPECT_EQ(std::strlen(text.data()), fixed + fit * 256);
  EXPECT_LT(std::strlen(text.data()), kPresetChoiceTextSize);
  EXPECT_EQ(text[kPresetChoiceTextSize], '\x7f');
  // A name that fills exactly the last byte before the terminator still fits.
  const size_t room = kPresetChoiceTextSize - 1 - fixed - 1;
  EXPECT_EQ(buildPresetChoices({std::string(room, 'x')}, text.data()), 5);
  EXPECT_EQ(std::strlen(text.data()), kPresetChoiceTextSize - 1);
  EXPECT_EQ(buildPresetChoices({std::string(room + 1, 'x')}, text.data()), 5);
  EXPECT_STREQ(text.data(), "Select A Preset|------------------|Save...|-----------------|<None>");
}

class SliderValueTest : public InProcessHostTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    InProcessHostTest::SetUp();
    host().setHostVersion(GetParam() ? 13 : 11, 0);
    host().paramsSetup();
  }
};

TEST_P(SliderValueTest, NearlyEqualValueIsLeftAlone) {
  PF_ParamDef** params = host().paramArray();
  params[PARAM_GLOW_SIZE]->change_flags = 0;
  EXPECT_FALSE(setSliderValue(params, PARAM_GLOW_SIZE, 22.000005f));
  EXPECT_EQ(params[PARAM_GLOW_SIZE]->change_flags, 0);
  EXPECT_EQ(readSliderValue(params[PARAM_GLOW_SIZE]), 22.0);
  EXPECT_TRUE(setSliderValue(params, PARAM_GLOW_SIZE, 22.5f));
  EXPECT_EQ(params[PARAM_GLOW_SIZE]->change_flags, PF_ChangeFlag_CHANGED_VALUE);
  EXPECT_EQ(readSliderValue(params[PARAM_GLOW_SIZE]), 22.5);
}

TEST_P(SliderValueTest, AppliesARecordToTheControls) {
  PF_ParamDef** params = host().paramArray();
  GlowUnit unit("GlowUnit");
  unit.targetType = TargetType::Square;
  unit.targetProcessing = TargetProcessing::EdgesOnly;
  unit.targetBrightCutoff = 255;
  unit.targetDarkCutoff = 51;
  unit.targetFeather = 37.5;
  unit.targetShowTarget = true;
  unit.colorFrom = ColorFrom::Layer;
  unit.customColor = Color16{65535, 256, 32896};
  unit.boost = 1.5;
  unit.softness = 0.8;
  unit.transferMode = TransferMode::MagicGlue2;
  unit.compositeOnOriginal = true;
  host().outData().out_flags = PF_OutFlag_FORCE_RERENDER;
  EXPECT_EQ(glowUnitToParams(&host().outData(), params, &unit), PF_Err_NONE);
  EXPECT_EQ(host().outData().out_flags, PF_OutFlag_FORCE_RERENDER | PF_OutFlag_REFRESH_UI);
  EXPECT_EQ(params[PARAM_MASK]->u.pd.value, 7);
  EXPECT_EQ(params[PARAM_GLOW_STYLE]->u.pd.value, 3);
  EXPECT_FLOAT_EQ(readSliderValue(params[PARAM_BRIGHT_CUTOFF]), 100);
  EXPECT_FLOAT_EQ(readSliderValue(params[PARAM_DARK_CUTOFF]), 20);
  EXPECT_EQ(readSliderValue(params[PARAM_GLOW_SIZE]), 37.5);
  EXPECT_FLOAT_EQ(readSliderValue(params[PARAM_SOFTNESS]), 80);
  EXPECT_FLOAT_EQ(readSliderValue(params[PARAM_TRANS_BOOST]), 50);
  EXPECT_EQ(params[PARAM_SHOW_TARGET]->u.bd.value, 1);
  EXPECT_EQ(params[PARAM_GLOW_COLOR_FROM]->u.pd.value, 2);
  const PF_Pixel& c = params[PARAM_CUSTOM_COLOR]->u.cd.value;
  EXPECT_EQ(c.alpha, 255);
  EXPECT_EQ(c.red, 255);
  EXPECT_EQ(c.green, 0);
  EXPECT_EQ(c.blue, 128);
  EXPECT_EQ(params[PARAM_BLEND_MODE]->u.pd.value, 7);
  EXPECT_EQ(params[PARAM_SHOW_EFFECT_ONLY]->u.bd.value, 1);
  for (int32_t i = PARAM_PRESETS; i < PARAM_COUNT; ++i)
    EXPECT_EQ(params[i]->change_flags, PF_ChangeFlag_CHANGED_VALUE) << i;

  GlowUnit back("GlowUnit");
  paramsToGlowUnit(params, 2.0, back);
  EXPECT_EQ(back.targetType, 7);
  EXPECT_EQ(back.targetProcessing, 3);
  EXPECT_NEAR(back.targetBrightCutoff, 255, 1e-4);
  EXPECT_EQ(back.targetFeather, 75.0);
  EXPECT_TRUE(back.targetShowTarget);
  EXPECT_EQ(back.colorFrom, 2);
  EXPECT_EQ(back.customColor.red, 65535);
  EXPECT_EQ(back.customColor.green, 0);
  EXPECT_EQ(back.customColor.blue, 128 * 257);
  EXPECT_NEAR(back.boost, 1.5, 1e-6);
  EXPECT_NEAR(back.softness, 0.8, 1e-6);
  EXPECT_EQ(back.transferMode, 7);
  EXPECT_TRUE(back.compositeOnOriginal);
}

TEST_P(SliderValueTest, NoRecordChangesNothing) {
  host().outData().out_flags = 0;
  EXPECT_EQ(glowUnitToParams(&host().outData(), host().paramArray(), nullptr), PF_Err_NONE);
  EXPECT_EQ(host().outData().out_flags, 0);
}

INSTANTIATE_TEST_SUITE_P(SliderForms, SliderValueTest, ::testing::Bool(), sliderFormName);

}  // namespace
}  // namespace shimmerly
