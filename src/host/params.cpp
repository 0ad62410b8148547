// The effect's controls: definitions handed to the host at parameter set-up, slider access in
// both of the host's slider forms, and the control <-> GlowUnit conversions used by presets.
#include "host/params.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/errors.h"
#include "host/plugin_state.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"

namespace shimmerly {
namespace {

constexpr int32_t kFlagsA = PF_ParamFlag_CANNOT_TIME_VARY | PF_ParamFlag_SUPERVISE;  // 0x42
constexpr int32_t kFlagsB = PF_ParamFlag_SUPERVISE | PF_ParamFlag_COLLAPSE_TWIRLY;   // 0x60
constexpr int32_t kFlagsC = PF_ParamFlag_COLLAPSE_TWIRLY;                            // 0x20

constexpr const char* kMaskChoices = "None|Layer Alpha|Layer Brightness|Layer Brightness+Alpha";
constexpr const char* kGlowStyleChoices = "Glow In Front|In-Glow|Out-Glow";
constexpr const char* kColorFromChoices = "Custom Color|This Layer";
constexpr const char* kBlendChoices =
    "Normal|Screen|Multiply|Overlay|Add|Magic Glue 1|Magic Glue 2|Magic Glue 3";

struct SliderSpec {
  int32_t id;
  const char* name;
  float validMin, validMax, sliderMin, sliderMax, dephault;
};

constexpr SliderSpec kBrightCutoff{4, "Bright Cutoff", 0, 100, 0, 100, 100};
constexpr SliderSpec kDarkCutoff{5, "Dark Cutoff", 0, 100, 0, 100, 25};
constexpr SliderSpec kGlowSize{9, "Glow Size", 0, 1000, 0, 100, 22};
constexpr SliderSpec kSoftness{15, "Softness", 0, 100, 0, 100, 80};
constexpr SliderSpec kTransBoost{12, "Trans/Boost", -100, 100, -100, 100, 0};

PF_Fixed toFixed(float x) {
  return static_cast<PF_Fixed>(std::lround(static_cast<double>(x) * 65536.0));
}

// Adds definitions one by one through the host; stops at the first error.
class ParamAdder {
 public:
  explicit ParamAdder(PF_InData* in_data) : in_(in_data) {}

  PF_Err popup(int32_t id, const char* name, int32_t flags, int32_t value, int32_t count,
               const char* choices, int32_t uiFlags = 0) {
    PF_ParamDef def = start(PF_Param_POPUP, id, name, flags);
    def.ui_flags = uiFlags;
    def.u.pd.value = value;
    def.u.pd.dephault = value;
    def.u.pd.num_choices = count;
    def.u.pd.names = choices;
    return add(def);
  }

  PF_Err checkbox(int32_t id, const char* text) {
    PF_ParamDef def = start(PF_Param_CHECKBOX, id, "", kFlagsA);
    def.u.bd.name = text;
    return add(def);
  }

  PF_Err group(PF_ParamType type, int32_t id, const char* name, int32_t flags) {
    PF_ParamDef def = start(type, id, name, flags);
    return add(def);
  }

  PF_Err color(int32_t id, const char* name) {
    PF_ParamDef def = start(PF_Param_COLOR, id, name, 0);
    def.u.cd.value = PF_Pixel{255, 255, 255, 255};
    def.u.cd.dephault = def.u.cd.value;
    return add(def);
  }

  // Float form on hosts with float sliders; otherwise the fixed form with the same ranges and
  // default in 16.16, so that an older host still gets usable controls.
  PF_Err slider(const SliderSpec& s) {
    if (pluginState().hostHasFloatSliders) {
      PF_ParamDef def = start(PF_Param_FLOAT_SLIDER, s.id, s.name, kFlagsB);
      PF_FloatSliderDef& f = def.u.fs_d;
      f.valid_min = s.validMin;
      f.valid_max = s.validMax;
      f.slider_min = s.sliderMin;
      f.slider_max = s.sliderMax;
      f.dephault = s.dephault;
      f.value = s.dephault;
      f.precision = 1;
      f.display_flags = 0;
      f.curve_tolerance = 0.05f;
      return add(def);
    }
    PF_ParamDef def = start(PF_Param_FIX_SLIDER, s.id, s.name, kFlagsB);
    PF_FixedSliderDef& f = def.u.fd;
    f.valid_min = toFixed(s.validMin);
    f.valid_max = toFixed(s.validMax);
    f.slider_min = toFixed(s.sliderMin);
    f.slider_max = toFixed(s.sliderMax);
    f.dephault = toFixed(s.dephault);
    f.value = f.dephault;
    f.precision = 1;
    return add(def);
  }

 private:
  PF_ParamDef start(PF_ParamType type, int32_t id, const char* name, int32_t flags) {
    PF_ParamDef def;
    std::memset(&def, 0, sizeof def);
    def.param_type = type;
    def.uu_id = id;
    def.flags = flags;
    in_->utils->ansi.strcpy(def.name, name);
    return def;
  }
  PF_Err add(PF_ParamDef& def) { return in_->inter.add_param(in_->effect_ref, -1, &def); }

  PF_InData* in_;
};

}  // namespace

int32_t buildPresetChoices(const PresetNameList& names, char* text) {
  size_t length = std::strlen(kPresetFixedChoices);
  std::memcpy(text, kPresetFixedChoices, length + 1);
  int32_t appended = 0;
  for (const std::string& name : names) {
    // "|" + name + terminator must fit; the first name that does not ends the list, so the
    // popup's values still match the manager's list position by position.
    if (length + 1 + name.size() + 1 > kPresetChoiceTextSize) break;
    text[length++] = '|';
    std::memcpy(text + length, name.c_str(), name.size() + 1);
    // A "|" inside a name would split it into two choices and shift every later choice away
    // from its name in the manager's list; it is shown as "/", which no file name holds.
    std::replace(text + length, text + length + name.size(), '|', '/');
    length += name.size();
    ++appended;
  }
  if (appended == 0) {
    std::memcpy(text + length, "|<None>", 8);
    return 5;
  }
  return appended + 4;
}

PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  PluginState& state = pluginState();
  std::vector<char> choices(kPresetChoiceTextSize);
  PresetNameList names;
  listPresets("Shimmerly", names);
  // The popup cannot be turned back into names without the manager.
  if (!state.presetManager) throwBadAllocation();
  state.presetManager->setList(names);
  int32_t presetCount = buildPresetChoices(names, choices.data());

  ParamAdder adder(in_data);
  PF_Err err;
  if (in_data->appl_id == PF_FOURCC('K', 'e', 'y', 'G')) {
    err = adder.popup(1, "Effect Presets", kFlagsA, 1, 1, "<Unavailable in FCP>",
                      PF_PUI_DISABLED | PF_PUI_NO_ECW_UI);
  } else {
    err = adder.popup(1, "Effect Presets", kFlagsA, 1, presetCount, choices.data());
  }
  if (err) return err;
  if ((err = adder.group(PF_Param_GROUP_START, 2, "Target", kFlagsC))) return err;
  if ((err = adder.popup(3, "Mask", kFlagsA, 2, 8, kMaskChoices))) return err;
  if ((err = adder.slider(kBrightCutoff))) return err;
  if ((err = adder.slider(kDarkCutoff))) return err;
  if ((err = adder.checkbox(6, "Show Target"))) return err;
  if ((err = adder.group(PF_Param_GROUP_END, 7, "", 0))) return err;
  if ((err = adder.popup(8, "Glow Style", kFlagsA, 3, 3, kGlowStyleChoices))) return err;
  if ((err = adder.slider(kGlowSize))) return err;
  if ((err = adder.slider(kSoftness))) return err;
  if ((err = adder.popup(10, "Glow Color From", kFlagsA, 1, 2, kColorFromChoices))) return err;
  if ((err = adder.color(11, "Custom Color"))) return err;
  if ((err = adder.slider(kTransBoost))) return err;
  if ((err = adder.popup(13, "Blend Mode", kFlagsA, 1, 8, kBlendChoices))) return err;
  if ((err = adder.checkbox(14, "Show Effect Only"))) return err;
  out_data->num_params = PARAM_COUNT;
  return PF_Err_NONE;
}

double readSliderValue(const PF_ParamDef* parameter) {
  if (pluginState().hostHasFloatSliders) return parameter->u.fs_d.value;
  return parameter->u.fd.value / 65536.0;
}

bool setSliderValue(PF_ParamDef* params[], int32_t index, float x) {
  PF_ParamDef* parameter = params[index];
  if (std::fabs(readSliderValue(parameter) - x) <= 0.00001) return false;
  if (pluginState().hostHasFloatSliders) {
    parameter->u.fs_d.value = x;
  } else {
    // Saturate instead of overflowing: a preset may carry any size.
    double fixed = std::trunc(static_cast<double>(x) * 65536.0);
    if (!(fixed >= std::numeric_limits<int32_t>::min()))
      fixed = std::numeric_limits<int32_t>::min();
    if (fixed > std::numeric_limits<int32_t>::max()) fixed = std::numeric_limits<int32_t>::max();
    parameter->u.fd.value = static_cast<PF_Fixed>(fixed);
  }
  parameter->change_flags = PF_ChangeFlag_CHANGED_VALUE;
  return true;
}

void paramsToGlowUnit(PF_ParamDef* params[], double sizeScale, GlowUnit& unit) {
  unit.targetType = params[PARAM_MASK]->u.pd.value;
  unit.targetProcessing = params[PARAM_GLOW_STYLE]->u.pd.value;
  unit.targetBrightCutoff = readSliderValue(params[PARAM_BRIGHT_CUTOFF]) * kPercentToByte;
  unit.targetDarkCutoff = readSliderValue(params[PARAM_DARK_CUTOFF]) * kPercentToByte;
  unit.targetFeather = readSliderValue(params[PARAM_GLOW_SIZE]) * sizeScale;
  unit.targetShowTarget = params[PARAM_SHOW_TARGET]->u.bd.value != 0;
  unit.colorFrom = params[PARAM_GLOW_COLOR_FROM]->u.pd.value;
  const PF_Pixel& colour = params[PARAM_CUSTOM_COLOR]->u.cd.value;
  unit.customColor.red = static_cast<uint16_t>(colour.red * 257);
  unit.customColor.green = static_cast<uint16_t>(colour.green * 257);
  unit.customColor.blue = static_cast<uint16_t>(colour.blue * 257);
  unit.boost = readSliderValue(params[PARAM_TRANS_BOOST]) * kPercent + 1;
  unit.softness = readSliderValue(params[PARAM_SOFTNESS]) * kPercent;
  unit.transferMode = params[PARAM_BLEND_MODE]->u.pd.value;
  unit.compositeOnOriginal = params[PARAM_SHOW_EFFECT_ONLY]->u.bd.value != 0;
}

PF_Err glowUnitToParams(PF_OutData* out_data, PF_ParamDef* params[], const GlowUnit* unit) {
  if (!unit) return PF_Err_NONE;
  out_data->out_flags |= PF_OutFlag_REFRESH_UI;
  for (int32_t i = PARAM_PRESETS; i < PARAM_COUNT; ++i)
    params[i]->change_flags = PF_ChangeFlag_CHANGED_VALUE;
  params[PARAM_MASK]->u.pd.value = unit->targetType;
  params[PARAM_GLOW_STYLE]->u.pd.value = unit->targetProcessing;
  setSliderValue(params, PARAM_GLOW_SIZE, static_cast<float>(unit->targetFeather));
  setSliderValue(params, PARAM_SOFTNESS, static_cast<float>(unit->softness * 100));
  setSliderValue(params, PARAM_BRIGHT_CUTOFF,
                 static_cast<float>(unit->targetBrightCutoff * kByteToPercent));
  setSliderValue(params, PARAM_DARK_CUTOFF,
                 static_cast<float>(unit->targetDarkCutoff * kByteToPercent));
  params[PARAM_SHOW_TARGET]->u.bd.value = unit->targetShowTarget ? 1 : 0;
  params[PARAM_GLOW_COLOR_FROM]->u.pd.value = unit->colorFrom;
  PF_Pixel& colour = params[PARAM_CUSTOM_COLOR]->u.cd.value;
  colour.red = static_cast<uint8_t>(unit->customColor.red / 257);
  colour.green = static_cast<uint8_t>(unit->customColor.green / 257);
  colour.blue = static_cast<uint8_t>(unit->customColor.blue / 257);
  colour.alpha = 255;
  setSliderValue(params, PARAM_TRANS_BOOST, static_cast<float>((unit->boost - 1) * 100));
  params[PARAM_BLEND_MODE]->u.pd.value = unit->transferMode;
  params[PARAM_SHOW_EFFECT_ONLY]->u.bd.value = unit->compositeOnOriginal ? 1 : 0;
  return PF_Err_NONE;
}

}  // namespace shimmerly
