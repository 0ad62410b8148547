// The options that set the effect's controls and the host's frame settings (--mask, --glow-size,
// --downsample, ...). Values are kept as given and checked when applied, against the ranges the
// plug-in declared for each control; a bad value raises std::runtime_error naming the option and
// its valid range. Shared by every subcommand that renders.
#pragma once

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/plugin_host.h"

namespace shimmerly::cli {

struct ControlOptions {
  std::optional<std::string> mask;
  std::optional<double> brightCutoff;
  std::optional<double> darkCutoff;
  bool showTarget = false;
  std::optional<std::string> glowStyle;
  std::optional<double> glowSize;
  std::optional<double> softness;
  std::optional<std::string> colorFrom;
  std::optional<std::string> color;
  std::optional<double> transBoost;
  std::optional<std::string> blend;
  bool effectOnly = false;
  std::string quality = "high";
  std::string downsample = "1/1";
  std::string pixelAspect = "1/1";
  std::optional<std::string> extent;
};

void addControlOptions(CLI::App& app, ControlOptions& options);

// Writes the options that were given into the host's parameters; unset controls keep the
// plug-in's defaults.
void applyControls(PluginHost& host, const ControlOptions& options);

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
