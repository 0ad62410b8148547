// Progress of a render run on standard error: a redrawn bar (frames done, rate, time left) when
// the stream is a terminal, one line per frame with --verbose, nothing with --quiet. The clock
// and the stream are injected so that tests can drive both; times are seconds as doubles.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/frame_pattern.h"

namespace shimmerly::cli {

enum class ProgressMode { Quiet, Bar, Verbose };

// --quiet wins, then --verbose; otherwise a bar only on a terminal.
ProgressMode chooseProgressMode(bool quiet, bool verbose, bool streamIsTerminal);

// Seconds since an arbitrary start, from a steady clock.
double steadySeconds();

class ProgressReporter {
 public:
  using Clock = std::function<double()>;

  // totalFrames < 0: unknown (frames from a pipe); the bar then shows no time left.
  ProgressReporter(ProgressMode mode, std::ostream& out, int64_t totalFrames,
                   Clock clock = steadySeconds);
  // Ends a bar's line that neither finish nor interrupted ended (a run that failed), so that
  // an error message starts on a line of its own.
  ~ProgressReporter();
  ProgressReporter(const ProgressReporter&) = delete;
  ProgressReporter& operator=(const ProgressReporter&) = delete;

  // A frame's render starts. Frames may overlap (one written while the next renders): each
  // frameDone, in the same order, is timed from its own frameStarted.
  void frameStarted(Frame frame);
  // Row progress inside the current frame, as the plug-in reports it (current of total).
  void rowProgress(int64_t current, int64_t total);
  void frameDone(Frame frame, std::string_view output);
  // Ends the bar's line: a last full redraw with a summary, or a note that the run stopped.
  void finish();
  void interrupted();

  int64_t framesDone() const { return done_; }
  // The line the bar would draw now (without the carriage return); for tests and redraws.
  std::string barLine() const;

 private:
  void redraw(bool force);
  double fractionOfFrame() const;

  ProgressMode mode_;
  std::ostream& out_;
  int64_t total_;
  Clock clock_;
  double start_ = 0;
  double frameStart_ = 0;
  std::deque<double> starts_;  // of frames started and not yet done, oldest first
  double lastDraw_ = -1e300;
  int64_t done_ = 0;
  int64_t rowCurrent_ = 0;
  int64_t rowTotal_ = 0;
  size_t drawnWidth_ = 0;
  std::string lastLine_;
  bool ended_ = false;
};

// "1:05", "12:00:03": a duration rounded to whole seconds.
std::string formatDuration(double seconds);

}  // namespace shimmerly::cli
