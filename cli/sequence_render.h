// Rendering a run of frames through one plug-in session: still images, image sequences named by
// a frame pattern, or raw RGBA frames on standard input and output. The plug-in is loaded and set
// up once; each frame gets its controls at that frame (keyframes), one render command, and its
// output written complete (temporary file, then rename) before the next frame starts. Ctrl-C
// stops at the next row: the frame in progress is not written, finished frames stay.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_registry.h"
#include "cli/control_options.h"
#include "cli/sequence_plan.h"

namespace shimmerly::cli {

struct SequenceArgs {
  SequenceRequest request;
  std::string raw;  // --raw text, parsed into request.raw
  ControlOptions controls;
  std::optional<std::string> preset;  // applied through the presets popup before the controls
  bool verbose = false;
  bool quiet = false;
};

// Adds INPUT, -o, --frames, --skip-missing, --raw, --overwrite, --preset, --verbose and --quiet.
void addSequenceOptions(CLI::App& app, SequenceArgs& args);

// Runs the whole render; returns the exit code (kExitCancelled after Ctrl-C).
int renderSequence(SequenceArgs& args, const GlobalOptions& global);

}  // namespace shimmerly::cli
