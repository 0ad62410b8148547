// Rendering a run of frames through one plug-in session: still images, image sequences named by
// a frame pattern, or raw RGBA frames on standard input and output. The plug-in is loaded and set
// up once; each frame gets its controls at that frame (keyframes), one render command, and its
// output written complete (temporary file, then rename), in frame order, while later frames are
// read and rendered. Ctrl-C stops at the next row: the frame in progress is not written, frames
// rendered before it are written and stay.
#pragma once

#include <optional>

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
  std::optional<std::string> pngCompression;  // --png-compression text, checked before rendering
  std::optional<std::string> background;      // --background RRGGBB
  std::optional<int> threads;  // --threads: pipeline and render threads, 0 one per processor
  bool verbose = false;
  bool quiet = false;
};

// Adds INPUT, -o, --frames, --skip-missing, --raw, --overwrite, --preset, --png-compression,
// --background, --threads, --verbose and --quiet.
void addSequenceOptions(CLI::App& app, SequenceArgs& args);

// Runs the whole render; returns the exit code (kExitCancelled after Ctrl-C).
int renderSequence(SequenceArgs& args, const GlobalOptions& global);

}  // namespace shimmerly::cli
