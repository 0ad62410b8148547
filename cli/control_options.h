// The options that set the effect's controls and the host's frame settings (--mask, --glow-size,
// --downsample, ...). The sliders and the colour take keyframes, "10@1,60@48". Values are kept as
// given and checked when applied, against the ranges the plug-in declared for each control; a bad
// value raises std::runtime_error naming the option and its valid range. Shared by every
// subcommand that renders.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/frame_pattern.h"
#include "cli/plugin_host.h"

namespace shimmerly::cli {

struct ControlOptions {
  std::optional<std::string> mask;
  std::optional<std::string> brightCutoff;
  std::optional<std::string> darkCutoff;
  bool showTarget = false;
  std::optional<std::string> glowStyle;
  std::optional<std::string> glowSize;
  std::optional<std::string> softness;
  std::optional<std::string> colorFrom;
  std::optional<std::string> color;
  std::optional<std::string> transBoost;
  std::optional<std::string> blend;
  bool effectOnly = false;
  std::string quality = "high";
  std::string downsample = "1/1";
  std::string pixelAspect = "1/1";
  std::optional<std::string> extent;
};

void addControlOptions(CLI::App& app, ControlOptions& options);

// Writes the options that were given into the host's parameters, with keyframed values taken
// at `frame`; unset controls keep the plug-in's defaults. Every key of a keyframed option is
// checked, and keyframes on a control the plug-in declares as not animatable are refused.
void applyControls(PluginHost& host, const ControlOptions& options, Frame frame = 1);

// The frame settings the options describe.
FrameSettings frameSettingsFrom(const ControlOptions& options);

// Text forms used by `shimmerly params` and the option checks.
std::string formatNumber(double value);
// A slider's value, bounds and default as reals, from either slider form.
struct SliderRange {
  double validMin, validMax, sliderMin, sliderMax, dephault, value;
};
SliderRange sliderRange(const PF_ParamDef& def);

}  // namespace shimmerly::cli
