// Planning a render run: frames, input and output names, and the checks made before rendering.
#include "cli/sequence_plan.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace shimmerly::cli {
namespace {

namespace fs = std::filesystem;

bool fileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::string quoteList(const std::vector<std::string>& names, size_t most = 3) {
  std::string text;
  for (size_t i = 0; i < names.size() && i < most; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > most) text += ", ...";
  return text;
}

void checkOutputFolder(const std::string& output) {
  fs::path folder = fs::path(output).parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(folder, ec))
    throw std::runtime_error("output folder '" + folder.string() + "' does not exist");
}

}  // namespace

std::string SequencePlan::outputFor(Frame frame) const {
  if (pipeOut) return "";
  return outputPattern ? outputPattern->format(frame) : output;
}

SequencePlan planSequence(const SequenceRequest& request) {
  SequencePlan plan;
  plan.pipeIn = request.input == kPipeName;
  plan.pipeOut = request.output == kPipeName;
  plan.output = request.output;
  if (!plan.pipeIn) plan.inputPattern = FramePattern::parse(request.input);
  if (!plan.pipeOut) plan.outputPattern = FramePattern::parse(request.output);

  if (plan.pipeIn && !request.raw)
    throw std::runtime_error(
        "reading frames from standard input needs their size: add --raw WIDTHxHEIGHT");
  if (!plan.pipeIn && request.raw && !plan.pipeOut)
    throw std::runtime_error("--raw describes frames on a pipe: use '-' as input or output");

  std::optional<std::vector<Frame>> listed;
  if (request.frames) listed = parseFrameList(*request.frames);

  if (!plan.pipeOut) checkOutputFolder(request.output);

  if (plan.pipeIn) {
    if (!plan.pipeOut && !plan.outputPattern)
      throw std::runtime_error(
          "frames from a pipe need an output pattern such as out.####.png, "
          "or '-' to pipe them on");
    plan.firstFrame = listed ? listed->front() : 1;
    // The number of frames is not known in advance: refuse when any file of the output pattern
    // exists, so that no run starts that would have to stop halfway.
    if (plan.outputPattern && !request.overwrite) {
      std::vector<Frame> existing = plan.outputPattern->scanDisk();
      if (!existing.empty())
        throw std::runtime_error(std::to_string(existing.size()) +
                                 " output file(s) exist already (" +
                                 plan.outputPattern->format(existing.front()) +
                                 ", ...); add --overwrite to replace them");
    }
    return plan;
  }

  std::vector<Frame> frames;
  if (plan.inputPattern) {
    frames = listed ? *listed : plan.inputPattern->scanDisk();
    if (frames.empty())
      throw std::runtime_error("no input frames found for '" + request.input + "'");
  } else {
    // A still image: rendered once, or once per listed frame (animated controls vary).
    frames = listed ? *listed : std::vector<Frame>{1};
  }

  std::vector<Frame> missing;
  for (Frame frame : frames) {
    std::string input = plan.inputPattern ? plan.inputPattern->format(frame) : request.input;
    if (!fileExists(input)) {
      missing.push_back(frame);
      continue;
    }
    plan.frames.push_back({frame, input, plan.outputFor(frame)});
  }
  if (!missing.empty()) {
    if (!plan.inputPattern)
      throw std::runtime_error("input '" + request.input + "' does not exist");
    if (!request.skipMissing)
      throw std::runtime_error(std::to_string(missing.size()) +
                               " input frame(s) missing: " + describeFrames(missing) + " of '" +
                               request.input + "' (add --skip-missing to render the others)");
    if (plan.frames.empty())
      throw std::runtime_error("none of the listed frames of '" + request.input + "' exist");
    plan.skipped = missing;
  }
  plan.firstFrame = plan.frames.front().frame;

  if (!plan.pipeOut && !plan.outputPattern && plan.frames.size() > 1)
    throw std::runtime_error("output '" + request.output + "' has no frame number but " +
                             std::to_string(plan.frames.size()) +
                             " frames are rendered: use a pattern such as out.####.png");

  if (!plan.pipeOut && !request.overwrite) {
    std::vector<std::string> existing;
    for (const PlannedFrame& f : plan.frames)
      if (fileExists(f.output)) existing.push_back(f.output);
    if (!existing.empty())
      throw std::runtime_error(std::to_string(existing.size()) + " output file(s) exist already (" +
                               quoteList(existing) + "); add --overwrite to replace them");
  }
  return plan;
}

}  // namespace shimmerly::cli
