// The progress bar and per-frame lines of a render run.
#include "cli/progress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace shimmerly::cli {
namespace {

constexpr int kBarCells = 24;
constexpr double kRedrawInterval = 0.1;  // seconds between bar redraws

}  // namespace

ProgressMode chooseProgressMode(bool quiet, bool verbose, bool streamIsTerminal) {
  if (quiet) return ProgressMode::Quiet;
  if (verbose) return ProgressMode::Verbose;
  return streamIsTerminal ? ProgressMode::Bar : ProgressMode::Quiet;
}

double steadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string formatDuration(double seconds) {
  if (!(seconds >= 0) || seconds > 1e8) return "--:--";
  auto whole = static_cast<int64_t>(seconds + 0.5);
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(whole / 3600),
                  static_cast<long long>(whole / 60 % 60), static_cast<long long>(whole % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(whole / 60),
                  static_cast<long long>(whole % 60));
  return text;
}

ProgressReporter::ProgressReporter(ProgressMode mode, std::ostream& out, int64_t totalFrames,
                                   Clock clock)
    : mode_(mode), out_(out), total_(totalFrames), clock_(std::move(clock)) {
  start_ = clock_();
  frameStart_ = start_;
}

ProgressReporter::~ProgressReporter() {
  if (mode_ == ProgressMode::Bar && !ended_ && drawnWidth_ > 0) out_ << "\n" << std::flush;
}

void ProgressReporter::frameStarted(Frame) {
  frameStart_ = clock_();
  starts_.push_back(frameStart_);
  rowCurrent_ = rowTotal_ = 0;
  redraw(false);
}

void ProgressReporter::rowProgress(int64_t current, int64_t total) {
  rowCurrent_ = std::max<int64_t>(0, current);
  rowTotal_ = std::max<int64_t>(0, total);
  redraw(false);
}

void ProgressReporter::frameDone(Frame frame, std::string_view output) {
  ++done_;
  double started = frameStart_;
  if (!starts_.empty()) {
    started = starts_.front();
    starts_.pop_front();
  }
  if (starts_.empty()) rowCurrent_ = rowTotal_ = 0;
  if (mode_ == ProgressMode::Verbose) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", clock_() - started);
    out_ << "frame " << frame;
    if (total_ >= 0) out_ << " (" << done_ << "/" << total_ << ")";
    out_ << " -> " << output << "  " << seconds << "\n" << std::flush;
  }
  redraw(total_ >= 0 && done_ == total_);
}

double ProgressReporter::fractionOfFrame() const {
  if (rowTotal_ <= 0) return 0;
  return std::min(1.0, static_cast<double>(rowCurrent_) / static_cast<double>(rowTotal_));
}

std::string ProgressReporter::barLine() const {
  double elapsed = clock_() - start_;
  double progressed = static_cast<double>(done_) + fractionOfFrame();
  double rate = elapsed > 0 ? progressed / elapsed : 0;
  char text[160];
  std::string line;
  if (total_ > 0) {
    int filled =
        static_cast<int>(kBarCells * std::min(1.0, progressed / static_cast<double>(total_)));
    line = "[" + std::string(filled, '#') + std::string(kBarCells - filled, '-') + "] ";
    std::snprintf(text, sizeof text, "%lld/%lld frames", static_cast<long long>(done_),
                  static_cast<long long>(total_));
  } else {
    std::snprintf(text, sizeof text, "%lld frames", static_cast<long long>(done_));
  }
  line += text;
  if (rate > 0) {
    std::snprintf(text, sizeof text, "  %.2f fps", rate);
    line += text;
    if (total_ > 0)
      line += "  " + formatDuration((static_cast<double>(total_) - progressed) / rate) + " left";
  }
  return line;
}

void ProgressReporter::redraw(bool force) {
  if (mode_ != ProgressMode::Bar || ended_) return;
  double now = clock_();
  if (!force && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  std::string line = barLine();
  if (line == lastLine_) return;  // nothing new to show
  lastLine_ = line;
  size_t width = line.size();
  // Blank out what a longer previous line left behind.
  if (line.size() < drawnWidth_) line.append(drawnWidth_ - line.size(), ' ');
  drawnWidth_ = width;
  out_ << '\r' << line << std::flush;
}

void ProgressReporter::finish() {
  if (ended_) return;
  redraw(true);
  ended_ = true;
  if (mode_ == ProgressMode::Bar) out_ << "\n" << std::flush;
}

void ProgressReporter::interrupted() {
  if (ended_) return;
  ended_ = true;
  if (mode_ == ProgressMode::Quiet) return;
  if (mode_ == ProgressMode::Bar) out_ << "\n";
  out_ << "interrupted after " << done_ << (done_ == 1 ? " frame" : " frames") << "\n"
       << std::flush;
}

}  // namespace shimmerly::cli
