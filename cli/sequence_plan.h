// What one render run reads and writes, decided before any pixel is touched: the input and output
// as single files, frame patterns ("####", "%04d") or "-" for raw frames on a pipe; the frames to
// render (from --frames or from the input frames found on disk); missing inputs; and outputs that
// exist already, which are refused unless overwriting was asked for. Errors are thrown as
// std::runtime_error with one line that names the files or frames concerned.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/frame_pattern.h"
#include "cli/raw_pipe.h"

namespace shimmerly::cli {

inline constexpr const char* kPipeName = "-";

struct SequenceRequest {
  std::string input;                  // a file, a pattern, or "-"
  std::string output;                 // a file, a pattern, or "-"
  std::optional<std::string> frames;  // --frames
  std::optional<RawSize> raw;         // --raw, the size of frames on the input pipe
  bool skipMissing = false;
  bool overwrite = false;
};

struct PlannedFrame {
  Frame frame = 0;
  std::string input;   // empty when the input is a pipe
  std::string output;  // empty when the output is a pipe
};

struct SequencePlan {
  bool pipeIn = false;
  bool pipeOut = false;
  // Files to render, in order. With a pipe on the input the frames are not known in advance:
  // this stays empty and frames are numbered from firstFrame as they arrive.
  std::vector<PlannedFrame> frames;
  Frame firstFrame = 1;
  std::vector<Frame> skipped;  // missing input frames left out under --skip-missing
  std::optional<FramePattern> inputPattern;
  std::optional<FramePattern> outputPattern;
  std::string output;

  // The output file of a frame ("" for a pipe).
  std::string outputFor(Frame frame) const;
  // Number of frames when known, else -1.
  int64_t frameCount() const { return pipeIn ? -1 : static_cast<int64_t>(frames.size()); }
};

// Decides the run; checks existence of inputs and outputs on disk.
SequencePlan planSequence(const SequenceRequest& request);

}  // namespace shimmerly::cli
