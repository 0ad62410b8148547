// The progress reporter: quiet, verbose lines and the bar's frames, rate and time left, driven by
// a fake clock.
#include "cli/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <vector>

namespace shimmerly::cli {
namespace {

struct FakeClock {
  double now = 100;
  ProgressReporter::Clock fn() {
    return [this] { return now; };
  }
};

size_t count(const std::string& s, char c) {
  return std::count(s.begin(), s.end(), c);
}

TEST(Progress, ModeFollowsFlagsAndTerminal) {
  EXPECT_EQ(chooseProgressMode(true, true, true), ProgressMode::Quiet);
  EXPECT_EQ(chooseProgressMode(false, true, false), ProgressMode::Verbose);
  EXPECT_EQ(chooseProgressMode(false, false, true), ProgressMode::Bar);
  EXPECT_EQ(chooseProgressMode(false, false, false), ProgressMode::Quiet);
}

TEST(Progress, QuietWritesNothing) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Quiet, out, 3, clock.fn());
  for (Frame f = 1; f <= 3; ++f) {
    progress.frameStarted(f);
    progress.rowProgress(5, 10);
    clock.now += 1;
    progress.frameDone(f, "out.png");
  }
  progress.interrupted();
  progress.finish();
  EXPECT_EQ(out.str(), "");
}

TEST(Progress, VerboseWritesOneLinePerFrame) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Verbose, out, 2, clock.fn());
  progress.frameStarted(7);
  clock.now += 0.25;
  progress.frameDone(7, "glow.0007.png");
  progress.frameStarted(8);
  progress.frameDone(8, "glow.0008.png");
  progress.finish();
  std::string text = out.str();
  EXPECT_EQ(count(text, '\n'), 2u);
  EXPECT_EQ(count(text, '\r'), 0u);
  EXPECT_NE(text.find("frame 7 (1/2) -> glow.0007.png  0.25 s"), std::string::npos) << text;
  EXPECT_NE(text.find("frame 8 (2/2) -> glow.0008.png"), std::string::npos) << text;
}

TEST(Progress, BarShowsFramesRateAndTimeLeft) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Bar, out, 4, clock.fn());
  for (Frame f = 1; f <= 2; ++f) {
    progress.frameStarted(f);
    clock.now += 1;
    progress.frameDone(f, "x");
  }
  EXPECT_EQ(progress.barLine(), "[############------------] 2/4 frames  1.00 fps  0:02 left");
  // Drawn in place, the line not yet ended.
  EXPECT_EQ(out.str().substr(out.str().rfind('\r') + 1), progress.barLine());
}

TEST(Progress, RowsDriveTheBarWithinALongFrame) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Bar, out, 1, clock.fn());
  progress.frameStarted(1);
  clock.now += 10;
  progress.rowProgress(540, 1080);
  EXPECT_EQ(progress.barLine(), "[############------------] 0/1 frames  0.05 fps  0:10 left");
  EXPECT_NE(out.str().find("0:10 left"), std::string::npos);
}

TEST(Progress, BarRedrawsAreThrottled) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Bar, out, 10, clock.fn());
  progress.frameStarted(1);
  for (int row = 0; row < 1000; ++row) progress.rowProgress(row, 1000);
  EXPECT_EQ(count(out.str(), '\r'), 1u);
  clock.now += 0.2;
  progress.rowProgress(999, 1000);
  EXPECT_EQ(count(out.str(), '\r'), 2u);
  progress.finish();  // the same line as the last draw: not drawn again
  EXPECT_EQ(count(out.str(), '\r'), 2u);
  EXPECT_EQ(out.str().back(), '\n');
}

TEST(Progress, UnknownTotalShowsCountAndRateOnly) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Bar, out, -1, clock.fn());
  for (Frame f = 1; f <= 3; ++f) {
    progress.frameStarted(f);
    clock.now += 0.5;
    progress.frameDone(f, "-");
  }
  EXPECT_EQ(progress.barLine(), "3 frames  2.00 fps");
}

TEST(Progress, ShorterLinesBlankOutLongerOnes) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Bar, out, 2, clock.fn());
  progress.frameStarted(1);
  clock.now += 3600;
  progress.frameDone(1, "a");  // "... 1:00:00 left"
  progress.frameStarted(2);
  clock.now += 1;
  progress.frameDone(2, "b");  // "... 0:00 left", shorter
  progress.finish();
  // Every redraw covers at least the visible text of the one before it.
  std::vector<std::string> draws;
  std::stringstream text(out.str());
  for (std::string part; std::getline(text, part, '\r');)
    if (!part.empty()) draws.push_back(part.substr(0, part.find('\n')));
  ASSERT_GE(draws.size(), 3u);
  bool shrank = false;
  for (size_t i = 1; i < draws.size(); ++i) {
    std::string before = draws[i - 1].substr(0, draws[i - 1].find_last_not_of(' ') + 1);
    std::string now = draws[i].substr(0, draws[i].find_last_not_of(' ') + 1);
    shrank = shrank || now.size() < before.size();
    EXPECT_GE(draws[i].size(), before.size()) << draws[i];
  }
  EXPECT_TRUE(shrank);
}

TEST(Progress, InterruptedSaysHowFarItGot) {
  std::ostringstream out;
  FakeClock clock;
  ProgressReporter progress(ProgressMode::Verbose, out, 5, clock.fn());
  progress.frameStarted(1);
  progress.frameDone(1, "a");
  progress.frameStarted(2);
  progress.interrupted();
  EXPECT_NE(out.str().find("interrupted after 1 frame\n"), std::string::npos);
}

TEST(Progress, AnAbandonedBarEndsItsLine) {
  std::ostringstream out;
  FakeClock clock;
  {
    ProgressReporter progress(ProgressMode::Bar, out, 3, clock.fn());
    progress.frameStarted(1);
  }
  EXPECT_EQ(out.str().back(), '\n');
  std::ostringstream quiet;
  { ProgressReporter progress(ProgressMode::Bar, quiet, 3, clock.fn()); }
  EXPECT_EQ(quiet.str(), "");  // nothing drawn, nothing to end
}

TEST(Progress, DurationsFormat) {
  EXPECT_EQ(formatDuration(0), "0:00");
  EXPECT_EQ(formatDuration(65), "1:05");
  EXPECT_EQ(formatDuration(3725.4), "1:02:05");
  EXPECT_EQ(formatDuration(-1), "--:--");
}

}  // namespace
}  // namespace shimmerly::cli
