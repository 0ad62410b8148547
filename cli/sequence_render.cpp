// The render loop of `shimmerly render`: one session, many frames. The plug-in is driven from
// this thread only; reading ahead and encoding and writing behind run on the pipeline's threads
// (cli/frame_pipeline.h) unless --threads 1 asks for one plain loop.
#include "cli/sequence_render.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <deque>
#include <iostream>
#include <memory>
#include <set>
#include <thread>

#include "cli/flatten.h"
#include "cli/frame_pipeline.h"
#include "cli/image_io.h"
#include "cli/plugin_host.h"
#include "cli/preset_access.h"
#include "cli/progress.h"
#include "cli/raw_pipe.h"
#include "cli/session.h"

namespace shimmerly::cli {
namespace {

// One input frame, decoded into host pixels. A still input rendered for several frames shares
// its pixels.
struct InputFrame {
  Frame frame = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::shared_ptr<std::vector<PF_Pixel>> pixels;
};

// Reads the input frames in order; std::nullopt at the end of the plan or of a pipe.
class FrameSource {
 public:
  // `tellReductions`: say on standard error, once for each kind, when reading an input drops
  // precision or channels.
  FrameSource(const SequencePlan& plan, std::optional<RawSize> raw, bool tellReductions)
      : plan_(plan), tellReductions_(tellReductions) {
    if (plan.pipeIn) {
      setBinaryMode(stdin);
      rawSize_ = *raw;
      reader_.emplace(stdin, rawSize_);
    }
  }

  std::optional<InputFrame> next() {
    InputFrame in;
    if (reader_) {
      in.width = rawSize_.width;
      in.height = rawSize_.height;
      in.pixels = std::make_shared<std::vector<PF_Pixel>>(static_cast<size_t>(in.width) *
                                                          static_cast<size_t>(in.height));
      if (!reader_->read(in.pixels->data(), static_cast<int64_t>(rawSize_.width) * 4))
        return std::nullopt;
      in.frame = plan_.firstFrame + reader_->framesRead() - 1;
      return in;
    }
    if (index_ >= plan_.frames.size()) return std::nullopt;
    const PlannedFrame& planned = plan_.frames[index_++];
    in.frame = planned.frame;
    // A still input rendered for several frames is read once.
    if (planned.input != lastInput_ || !last_.pixels) {
      std::string reduction;
      Image image = readImage(planned.input, &reduction);
      if (tellReductions_ && !reduction.empty() && told_.insert(reduction).second)
        std::fprintf(stderr, "shimmerly: %s: %s (said once for all inputs alike)\n",
                     planned.input.c_str(), reduction.c_str());
      last_.width = image.width;
      last_.height = image.height;
      last_.pixels = std::make_shared<std::vector<PF_Pixel>>(toHostPixels(image));
      lastInput_ = planned.input;
    }
    in.width = last_.width;
    in.height = last_.height;
    in.pixels = last_.pixels;
    return in;
  }

 private:
  const SequencePlan& plan_;
  bool tellReductions_;
  std::set<std::string> told_;
  std::optional<RawFrameReader> reader_;
  RawSize rawSize_;
  size_t index_ = 0;
  std::string lastInput_;
  InputFrame last_;
};

bool stderrIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

// Worker threads of the output stage for --threads N: N, none for 1; 0 means one per processor.
// Encoding a frame takes several times as long as rendering it, so the render loop's thread
// and the read-ahead thread, idle most of the time, are not counted against the encoders.
int outputWorkers(int threads) {
  if (threads == 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  return threads <= 1 ? 0 : threads;
}

}  // namespace

void addSequenceOptions(CLI::App& app, SequenceArgs& args) {
  app.add_option("INPUT", args.request.input,
                 "input image (PNG, PAM, TIFF, TGA, JPEG, OpenEXR, DPX, BMP or WebP; the build's "
                 "list is in the error for any other), a frame pattern such as in/shot.####.png or "
                 "in/shot.%04d.png, or - for raw RGBA frames on standard input (with --raw)")
      ->required();
  app.add_option("-o,--output", args.request.output,
                 "output image (.png, .pam, .tif, .tga, .jpg, .exr, .dpx, .bmp or .webp), a frame "
                 "pattern, or - for raw RGBA frames on "
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
  app.add_option("--png-compression", args.pngCompression,
                 "PNG compression from 0 (fastest, largest) to 9 (slowest, smallest); default " +
                     std::to_string(kDefaultPngCompression));
  app.add_option("--background", args.background,
                 "flatten the output over this colour, RRGGBB in hex (e.g. 202020): every pixel "
                 "becomes opaque");
  app.add_option("--threads", args.threads,
                 "threads of the render and of the read, encode and write pipeline around it (0: "
                 "one per processor, the default; 1: one plain loop and one render thread)")
      ->check(CLI::Range(0, 256));
  app.add_flag("-v,--verbose", args.verbose, "one line per frame on standard error");
  app.add_flag("-q,--quiet", args.quiet, "no progress output");
  addControlOptions(app, args.controls);
}

int renderSequence(SequenceArgs& args, const GlobalOptions& global) {
  // Everything the user typed is checked before the plug-in does any work.
  if (!args.raw.empty()) args.request.raw = parseRawSize(args.raw);
  WriteOptions writeOptions;
  if (args.pngCompression) writeOptions.pngCompression = parsePngCompression(*args.pngCompression);
  std::optional<Rgb> background;
  if (args.background) background = parseBackground(*args.background);
  FrameSettings settings = frameSettingsFrom(args.controls);
  SequencePlan plan = planSequence(args.request);
  if (!plan.pipeOut) {
    // A format without alpha gets the frame flattened, over black unless --background says.
    const FormatInfo& format = formatInfo(outputFormatFor(plan.outputFor(plan.firstFrame)));
    if (!format.alpha && !background) {
      background = Rgb{};
      if (!args.quiet)
        std::fprintf(stderr,
                     "shimmerly: %s files hold no alpha: the output is flattened over black "
                     "(--background RRGGBB chooses the colour)\n",
                     format.name);
    }
  }
  if (plan.pipeOut && ::isatty(STDOUT_FILENO) == 1)
    throw std::runtime_error("refusing to write raw frames to a terminal: redirect the output");

  if (args.threads) useRenderThreads(*args.threads);
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
  const int workers = outputWorkers(args.threads.value_or(0));
  FrameSource source(plan, args.request.raw, !args.quiet);
  // Read ahead: one frame decoded while the current one renders.
  std::optional<InputAhead<InputFrame>> ahead;
  if (workers > 0) ahead.emplace([&source] { return source.next(); }, 1);
  auto nextInput = [&]() -> std::optional<InputFrame> {
    if (cancelRequested()) return std::nullopt;
    if (ahead) return ahead->next(cancelRequested);
    return source.next();
  };
  // Written behind: up to one frame per worker being encoded, and one more waiting.
  OrderedOutput output(workers, static_cast<size_t>(workers) + 1);
  std::deque<std::pair<Frame, std::string>> pending;  // submitted, not yet reported written
  auto reportWritten = [&] {
    for (int64_t n = output.takeCommitted(); n > 0 && !pending.empty(); --n) {
      progress.frameDone(pending.front().first, pending.front().second);
      pending.pop_front();
    }
    output.checkFailure();
  };

  std::optional<Frame> unfinished;  // the frame an interrupt stopped
  while (std::optional<InputFrame> in = nextInput()) {
    const Frame frame = in->frame;
    if (plan.pipeOut) {
      if (!writer) {
        // The frame size of the output pipe: --raw when given, else that of the first frame.
        pipeSize = args.request.raw ? *args.request.raw : RawSize{in->width, in->height};
        writer.emplace(stdout, pipeSize);
      }
      if (pipeSize.width != in->width || pipeSize.height != in->height) {
        output.drain();
        reportWritten();
        throw std::runtime_error("frame " + std::to_string(frame) + " is " +
                                 std::to_string(in->width) + "x" + std::to_string(in->height) +
                                 " but the output pipe carries " + std::to_string(pipeSize.width) +
                                 "x" + std::to_string(pipeSize.height) + " frames");
      }
    }
    applyControls(*host, args.controls, frame);
    auto rendered = std::make_shared<std::vector<PF_Pixel>>(in->pixels->size());
    PF_LayerDef input = layerOver(*in->pixels, in->width, in->height, settings.pixelAspect);
    PF_LayerDef out = layerOver(*rendered, in->width, in->height, settings.pixelAspect);
    progress.frameStarted(frame);
    PF_Err err = host->render(input, out, settings);
    if (err == PF_Interrupt_CANCEL || cancelRequested()) {
      unfinished = frame;
      break;
    }
    if (err != PF_Err_NONE) {
      output.drain();
      reportWritten();
      throw PluginError(
          "frame " + std::to_string(frame) + ": the render failed with code " + std::to_string(err),
          err);
    }
    const int32_t width = in->width, height = in->height;
    OrderedOutput::Job job;
    std::string name = plan.pipeOut ? "-" : plan.outputFor(frame);
    if (plan.pipeOut) {
      job.encode = [rendered, background] {
        if (background) flattenOver(rendered->data(), rendered->size(), *background);
        return OrderedOutput::Encoded();
      };
      job.commit = [rendered, width, &writer](const OrderedOutput::Encoded&) {
        writer->write(rendered->data(), static_cast<int64_t>(width) * 4);
        writer->flush();
      };
    } else {
      job.encode = [rendered, background, width, height, name, writeOptions] {
        if (background) flattenOver(rendered->data(), rendered->size(), *background);
        return encodeImage(name, fromHostPixels(rendered->data(), width, height, width),
                           writeOptions);
      };
      job.commit = [name](const OrderedOutput::Encoded& bytes) { writeFileWhole(name, bytes); };
    }
    pending.emplace_back(frame, name);
    output.submit(std::move(job));
    reportWritten();
  }
  // Frames rendered whole are written, also after an interrupt.
  output.drain();
  reportWritten();
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
