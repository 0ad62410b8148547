// The render loop of `shimmerly render`: one session, many frames.
#include "cli/sequence_render.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/image_io.h"
#include "cli/plugin_host.h"
#include "cli/preset_access.h"
#include "cli/progress.h"
#include "cli/raw_pipe.h"
#include "cli/session.h"

namespace shimmerly::cli {
namespace {

// The frame being rendered, its buffers reused from frame to frame.
struct FrameBuffers {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<PF_Pixel> input;
  std::vector<PF_Pixel> output;

  void resize(int32_t w, int32_t h) {
    width = w;
    height = h;
    size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    input.resize(count);
    output.resize(count);
  }
  PF_LayerDef world(std::vector<PF_Pixel>& pixels, const FrameSettings& settings) {
    return layerOver(pixels, width, height, settings.pixelAspect);
  }
};

// Reads the next input frame; false at the end of a pipe.
class FrameSource {
 public:
  FrameSource(const SequencePlan& plan, std::optional<RawSize> raw) : plan_(plan) {
    if (plan.pipeIn) {
      setBinaryMode(stdin);
      rawSize_ = *raw;
      reader_.emplace(stdin, rawSize_);
    }
  }

  bool next(FrameBuffers& buffers, Frame& frame) {
    if (reader_) {
      if (buffers.width != rawSize_.width || buffers.height != rawSize_.height)
        buffers.resize(rawSize_.width, rawSize_.height);
      if (!reader_->read(buffers.input.data(), static_cast<int64_t>(rawSize_.width) * 4))
        return false;
      frame = plan_.firstFrame + reader_->framesRead() - 1;
      return true;
    }
    if (index_ >= plan_.frames.size()) return false;
    const PlannedFrame& planned = plan_.frames[index_++];
    frame = planned.frame;
    // A still input rendered for several frames is read once.
    if (planned.input != lastInput_) {
      Image image = readImage(planned.input);
      buffers.resize(image.width, image.height);
      std::vector<PF_Pixel> pixels = toHostPixels(image);
      buffers.input.swap(pixels);
      lastInput_ = planned.input;
    }
    return true;
  }

 private:
  const SequencePlan& plan_;
  std::optional<RawFrameReader> reader_;
  RawSize rawSize_;
  size_t index_ = 0;
  std::string lastInput_;
};

bool stderrIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace

void addSequenceOptions(CLI::App& app, SequenceArgs& args) {
  app.add_option("INPUT", args.request.input,
                 "input image (PNG or PAM), a frame pattern such as in/shot.####.png or "
                 "in/shot.%04d.png, or - for raw RGBA frames on standard input (with --raw)")
      ->required();
  app.add_option("-o,--output", args.request.output,
                 "output image (.png or .pam), a frame pattern, or - for raw RGBA frames on "
                 "standard output")
      ->required();
  app.add_option("--frames", args.request.frames,
                 "frames to render, e.g. 1-10,20,30-40 (default: the input frames found on disk; "
                 "with a pipe: the number of its first frame)");
  app.add_flag("--skip-missing", args.request.skipMissing,
               "leave out listed frames whose input file is missing");
  app.add_option("--raw", args.raw,
                 "size WIDTHxHEIGHT of raw RGBA frames on standard input, or the size that frames "
                 "written to standard output must have");
  app.add_flag("--overwrite", args.request.overwrite, "replace output files that exist");
  app.add_option("--preset", args.preset,
                 "apply the stored preset NAME (as chosen in the presets popup) before the "
                 "control options, which override it");
  app.add_flag("-v,--verbose", args.verbose, "one line per frame on standard error");
  app.add_flag("-q,--quiet", args.quiet, "no progress output");
  addControlOptions(app, args.controls);
}

int renderSequence(SequenceArgs& args, const GlobalOptions& global) {
  // Everything the user typed is checked before the plug-in does any work.
  if (!args.raw.empty()) args.request.raw = parseRawSize(args.raw);
  FrameSettings settings = frameSettingsFrom(args.controls);
  SequencePlan plan = planSequence(args.request);
  if (!plan.pipeOut) outputFormatFor(plan.outputFor(plan.firstFrame));
  if (plan.pipeOut && ::isatty(STDOUT_FILENO) == 1)
    throw std::runtime_error("refusing to write raw frames to a terminal: redirect the output");

  std::unique_ptr<PluginHost> host = openSession(global);
  if (args.preset) applyPreset(*host, *args.preset);
  applyControls(*host, args.controls, plan.firstFrame);  // checks every key of every control

  if (!plan.skipped.empty() && !args.quiet)
    std::fprintf(stderr, "shimmerly: skipping %zu missing input frame(s): %s\n",
                 plan.skipped.size(), describeFrames(plan.skipped).c_str());
  ProgressReporter progress(chooseProgressMode(args.quiet, args.verbose, stderrIsTerminal()),
                            std::cerr, plan.frameCount());
  host->progressHook = [&progress](int32_t current, int32_t total) {
    progress.rowProgress(current, total);
    return PF_Err_NONE;
  };

  FrameSource source(plan, args.request.raw);
  std::optional<RawFrameWriter> writer;
  RawSize pipeSize;
  if (plan.pipeOut) {
    setBinaryMode(stdout);
    // A reader that goes away must turn into a write error, not a silent death. (Windows has
    // no SIGPIPE: a broken pipe is a write error there already.)
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
  }

  installCancelHandler();
  FrameBuffers buffers;
  Frame frame = 0;
  std::optional<Frame> unfinished;  // the frame an interrupt stopped
  while (!cancelRequested() && source.next(buffers, frame)) {
    if (plan.pipeOut) {
      if (!writer) {
        // The frame size of the output pipe: --raw when given, else that of the first frame.
        pipeSize = args.request.raw ? *args.request.raw : RawSize{buffers.width, buffers.height};
        writer.emplace(stdout, pipeSize);
      }
      if (pipeSize.width != buffers.width || pipeSize.height != buffers.height)
        throw std::runtime_error(
            "frame " + std::to_string(frame) + " is " + std::to_string(buffers.width) + "x" +
            std::to_string(buffers.height) + " but the output pipe carries " +
            std::to_string(pipeSize.width) + "x" + std::to_string(pipeSize.height) + " frames");
    }
    applyControls(*host, args.controls, frame);
    PF_LayerDef input = buffers.world(buffers.input, settings);
    PF_LayerDef output = buffers.world(buffers.output, settings);
    progress.frameStarted(frame);
    PF_Err err = host->render(input, output, settings);
    if (err == PF_Interrupt_CANCEL || cancelRequested()) {
      unfinished = frame;
      break;
    }
    if (err != PF_Err_NONE)
      throw PluginError(
          "frame " + std::to_string(frame) + ": the render failed with code " + std::to_string(err),
          err);
    std::string name;
    if (plan.pipeOut) {
      writer->write(buffers.output.data(), static_cast<int64_t>(buffers.width) * 4);
      writer->flush();
      name = "-";
    } else {
      name = plan.outputFor(frame);
      writeImage(name, fromHostPixels(buffers.output.data(), buffers.width, buffers.height,
                                      buffers.width));
    }
    progress.frameDone(frame, name);
  }
  if (unfinished || cancelRequested()) {
    progress.interrupted();
    host->finish();  // the plug-in still gets its set-downs
    std::string what =
        unfinished ? "frame " + std::to_string(*unfinished) + " was not written; " : std::string();
    std::fprintf(stderr, "shimmerly: interrupted; %s%lld finished frame(s) kept\n", what.c_str(),
                 static_cast<long long>(progress.framesDone()));
    return kExitCancelled;
  }
  progress.finish();
  host->finish();
  return kExitOk;
}

}  // namespace shimmerly::cli
