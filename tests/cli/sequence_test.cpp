// `shimmerly render` over sequences, end to end on tiny generated frames: frame patterns and
// lists, keyframes against single-frame renders with the interpolated values, raw frames through
// pipes (and through ffmpeg when it is installed), the overlapped pipeline against the plain loop,
// --background, Ctrl-C, refusal to overwrite, and the contact sheet.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/contact_sheet.h"
#include "cli/flatten.h"
#include "cli/image_io.h"
#include "cli/raw_pipe.h"
#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

namespace fs = std::filesystem;
using shimmerly::testing::TempDir;

struct Outcome {
  int status = -1;  // exit code, or -1 when killed by a signal
  std::string err;  // standard error
};

// Runs shimmerly with the arguments; stdin/stdout from/to files when named ("" = /dev/null).
// `meanwhile` runs in this process while the child runs, with its process id.
Outcome runShimmerly(const std::vector<std::string>& args, const std::string& home,
                     const std::string& in = "", const std::string& out = "",
                     const std::function<void(pid_t)>& meanwhile = {}) {
  std::string errPath = home + "/stderr.txt";
  pid_t pid = fork();
  if (pid == 0) {
    setenv("HOME", home.c_str(), 1);
    int inFd = open(in.empty() ? "/dev/null" : in.c_str(), O_RDONLY);
    int outFd = open(out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    std::vector<char*> argv{const_cast<char*>(SHIMMERLY_CLI_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(SHIMMERLY_CLI_PATH, argv.data());
    _exit(127);
  }
  if (meanwhile) meanwhile(pid);
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errPath);
  std::stringstream text;
  text << err.rdbuf();
  run.err = text.str();
  return run;
}

Image patternImage(int32_t w, int32_t h, uint32_t seed) {
  Image image;
  image.width = w;
  image.height = h;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      bool spot = ((x * 7 + y * 3 + seed * 5) % 11) < 3;
      image.rgba.insert(image.rgba.end(),
                        {static_cast<uint8_t>(spot ? 250 : x * 9 + seed * 30),
                         static_cast<uint8_t>(spot ? 240 : 40), static_cast<uint8_t>(y * 13),
                         static_cast<uint8_t>(spot || (x + y) % 5 ? 255 : 120)});
    }
  return image;
}

std::vector<uint8_t> pixelsOf(const std::string& path) {
  return readImage(path).rgba;
}

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(work.path() / "in");
    fs::create_directory(work.path() / "out");
  }
  std::string at(const std::string& name) const { return (work.path() / name).string(); }
  Outcome shimmerly(std::vector<std::string> args, const std::string& in = "",
                    const std::string& out = "", const std::function<void(pid_t)>& meanwhile = {}) {
    return runShimmerly(args, home.str(), in, out, meanwhile);
  }
  // Frames in/shot.NNNN.png for the listed numbers.
  void makeShot(std::initializer_list<int> frames, int32_t w = 17, int32_t h = 11) {
    for (int f : frames) {
      char name[32];
      std::snprintf(name, sizeof name, "in/shot.%04d.png", f);
      writeImage(at(name), patternImage(w, h, static_cast<uint32_t>(f)));
    }
  }

  // Controls that make a visible glow on the pattern images; `look` adds a glow size.
  const std::vector<std::string> style{"--mask", "brightness",    "--glow-style",
                                       "front",  "--dark-cutoff", "40"};
  const std::vector<std::string> look = join(style, {"--glow-size", "3"});
  TempDir home;
  TempDir work;
};

TEST_F(SequenceTest, PatternsAndListsRenderEachFrameAsASingleRenderWould) {
  makeShot({1, 2, 3, 4});
  Outcome run = shimmerly(join({"render", at("in/shot.####.png"), "-o", at("out/g.%04d.png"),
                                "--frames", "1-2,4", "--quiet"},
                               look));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(at("out/g.0003.png")));
  for (int f : {1, 2, 4}) {
    std::string single = at("single.png");
    fs::remove(single);
    char in[32], out[32];
    std::snprintf(in, sizeof in, "in/shot.%04d.png", f);
    std::snprintf(out, sizeof out, "out/g.%04d.png", f);
    ASSERT_EQ(shimmerly(join({"render", at(in), "-o", single}, look)).status, 0);
    EXPECT_EQ(pixelsOf(at(out)), pixelsOf(single)) << "frame " << f;
  }
}

TEST_F(SequenceTest, FramesDefaultToDiskAndMissingOnesAreNamed) {
  makeShot({3, 4, 6});
  Outcome run = shimmerly({"render", at("in/shot.####.png"), "-o", at("out/g.####.png"), "-v"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 3) << run.err;
  for (const char* name : {"out/g.0003.png", "out/g.0004.png", "out/g.0006.png"})
    EXPECT_TRUE(fs::exists(at(name))) << name;

  Outcome missing =
      shimmerly({"render", at("in/shot.####.png"), "-o", at("out/m.####.png"), "--frames", "3-7"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("2 input frame(s) missing: 5,7"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(at("out/m.0003.png")));
  Outcome skipped = shimmerly({"render", at("in/shot.####.png"), "-o", at("out/m.####.png"),
                               "--frames", "3-7", "--skip-missing"});
  EXPECT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_NE(skipped.err.find("skipping 2 missing input frame(s): 5,7"), std::string::npos)
      << skipped.err;
  EXPECT_TRUE(fs::exists(at("out/m.0006.png")));
}

TEST_F(SequenceTest, KeyframesMatchSingleRendersWithTheInterpolatedValues) {
  makeShot({1});
  const std::vector<std::string> animated{"--glow-size",       "0@1,40@3",   "--color",
                                          "FF0000@1,0000FF@3", "--softness", "30@2,90@3"};
  ASSERT_EQ(shimmerly(join({"render", at("in/shot.0001.png"), "-o", at("out/k.####.png"),
                            "--frames", "0-4", "--mask", "brightness", "--glow-style", "front"},
                           animated))
                .status,
            0);
  // Frame: glow size, colour (each channel rounded to nearest), softness; held outside the keys.
  const std::vector<std::vector<std::string>> expected{{"0", "FF0000", "30"},
                                                       {"0", "FF0000", "30"},
                                                       {"20", "800080", "30"},
                                                       {"40", "0000FF", "90"},
                                                       {"40", "0000FF", "90"}};
  for (int f = 0; f <= 4; ++f) {
    std::string single = at("s" + std::to_string(f) + ".png");
    ASSERT_EQ(shimmerly({"render", at("in/shot.0001.png"), "-o", single, "--mask", "brightness",
                         "--glow-style", "front", "--glow-size", expected[f][0], "--color",
                         expected[f][1], "--softness", expected[f][2]})
                  .status,
              0);
    char out[32];
    std::snprintf(out, sizeof out, "out/k.%04d.png", f);
    EXPECT_EQ(pixelsOf(at(out)), pixelsOf(single)) << "frame " << f;
  }
  EXPECT_NE(pixelsOf(at("out/k.0001.png")), pixelsOf(at("out/k.0003.png")));
}

TEST_F(SequenceTest, ControlsThatCannotBeAnimatedRefuseKeyframes) {
  makeShot({1});
  for (auto [option, value] :
       {std::pair{"--blend", "screen@1,add@5"}, std::pair{"--mask", "alpha@1"},
        std::pair{"--glow-style", "in@1,out@2"}}) {
    Outcome run =
        shimmerly({"render", at("in/shot.0001.png"), "-o", at("out/x.png"), option, value});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(std::string(option) + ": the control \""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("cannot be animated"), std::string::npos) << run.err;
  }
  Outcome bad = shimmerly(
      {"render", at("in/shot.0001.png"), "-o", at("out/x.png"), "--glow-size", "10@1,2000@5"});
  EXPECT_NE(bad.err.find("--glow-size: 2000 is outside the valid range"), std::string::npos)
      << bad.err;
  EXPECT_FALSE(fs::exists(at("out/x.png")));
}

// Writes frames of the shot as one raw RGBA stream.
void writeRaw(const std::string& path, const std::vector<Image>& frames, size_t extraBytes = 0) {
  std::ofstream out(path, std::ios::binary);
  for (const Image& image : frames)
    out.write(reinterpret_cast<const char*>(image.rgba.data()),
              static_cast<std::streamsize>(image.rgba.size()));
  out << std::string(extraBytes, '\x7f');
}

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST_F(SequenceTest, RawPipeFramesMatchFileRendersAndAreNumberedFromTheFirst) {
  makeShot({1, 2, 3});
  std::vector<Image> frames;
  for (int f = 1; f <= 3; ++f) frames.push_back(patternImage(17, 11, static_cast<uint32_t>(f)));
  writeRaw(at("in.raw"), frames);
  const std::vector<std::string> animated{"--glow-size", "1@1,6@3"};
  Outcome piped = shimmerly(
      join(join({"render", "-", "--raw", "17x11", "-o", "-", "--quiet"}, style), animated),
      at("in.raw"), at("out.raw"));
  ASSERT_EQ(piped.status, 0) << piped.err;
  ASSERT_EQ(
      shimmerly(join(join({"render", at("in/shot.####.png"), "-o", at("out/f.####.png")}, style),
                     animated))
          .status,
      0);
  std::vector<uint8_t> raw = readAll(at("out.raw"));
  ASSERT_EQ(raw.size(), 3u * 17 * 11 * 4);
  for (int f = 1; f <= 3; ++f) {
    std::vector<uint8_t> expected = pixelsOf(at("out/f.000" + std::to_string(f) + ".png"));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), raw.begin() + (f - 1) * 17 * 11 * 4))
        << "frame " << f;
  }
  // From a pipe into a pattern, numbered from the first of --frames.
  Outcome numbered =
      shimmerly({"render", "-", "--raw", "17x11", "-o", at("out/p.####.png"), "--frames", "11"},
                at("in.raw"));
  ASSERT_EQ(numbered.status, 0) << numbered.err;
  for (const char* name : {"out/p.0011.png", "out/p.0012.png", "out/p.0013.png"})
    EXPECT_TRUE(fs::exists(at(name))) << name;
  EXPECT_FALSE(fs::exists(at("out/p.0014.png")));
}

TEST_F(SequenceTest, FramesOfAnotherSizeThanTheOutputPipeAreRefused) {
  makeShot({1});
  writeImage(at("in/shot.0002.png"), patternImage(9, 9, 2));
  Outcome mixed = shimmerly({"render", at("in/shot.####.png"), "-o", "-"}, "", at("mixed.raw"));
  EXPECT_EQ(mixed.status, 1);
  EXPECT_NE(mixed.err.find("frame 2 is 9x9 but the output pipe carries 17x11 frames"),
            std::string::npos)
      << mixed.err;
  Outcome declared = shimmerly({"render", at("in/shot.0001.png"), "-o", "-", "--raw", "16x11"}, "",
                               at("declared.raw"));
  EXPECT_EQ(declared.status, 1);
  EXPECT_NE(declared.err.find("frame 1 is 17x11 but the output pipe carries 16x11 frames"),
            std::string::npos)
      << declared.err;
  EXPECT_TRUE(readAll(at("declared.raw")).empty());
}

TEST_F(SequenceTest, ShortFinalRawFrameIsAnError) {
  writeRaw(at("short.raw"), {patternImage(8, 4, 1)}, 50);
  Outcome run =
      shimmerly({"render", "-", "--raw", "8x4", "-o", at("out/s.####.png")}, at("short.raw"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("input ended inside raw frame 2: 50 of 128 bytes"), std::string::npos)
      << run.err;
  EXPECT_TRUE(fs::exists(at("out/s.0001.png")));
  EXPECT_FALSE(fs::exists(at("out/s.0002.png")));
}

TEST_F(SequenceTest, ThroughFfmpegWhenInstalled) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg not installed";
  std::string command =
      "cd '" + work.str() + "' && HOME='" + home.str() +
      "' ffmpeg -loglevel error -f lavfi -i testsrc=size=32x24:rate=5 -frames:v 3 -f rawvideo "
      "-pix_fmt rgba - | '" SHIMMERLY_CLI_PATH
      "' render - --raw 32x24 -o - --glow-size 4 | "
      "ffmpeg -loglevel error -f rawvideo -pix_fmt rgba -s 32x24 -i - -y out/ff%d.png && "
      "ffmpeg -loglevel error -f lavfi -i testsrc=size=32x24:rate=5 -frames:v 3 -pix_fmt rgba "
      "-y in/src%d.png";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (int f = 1; f <= 3; ++f) {
    std::string single = at("t" + std::to_string(f) + ".png");
    ASSERT_EQ(shimmerly({"render", at("in/src" + std::to_string(f) + ".png"), "-o", single,
                         "--glow-size", "4"})
                  .status,
              0);
    EXPECT_EQ(pixelsOf(at("out/ff" + std::to_string(f) + ".png")), pixelsOf(single));
  }
}

// The overlapped pipeline (the default) against one plain loop (--threads 1): the same bytes in
// every file and on the pipe, the same frames left out by --skip-missing, and the --verbose
// lines in frame order.
TEST_F(SequenceTest, OverlappedPipelineWritesWhatThePlainLoopWrites) {
  makeShot({1, 2, 3, 5, 6}, 61, 37);  // 4 and 7 missing
  const std::vector<std::string> frames{"--frames", "1-7", "--skip-missing", "-v"};
  auto verboseFrames = [](const std::string& err) {
    std::vector<std::string> seen;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind("frame ", 0) == 0) seen.push_back(line.substr(0, line.find(" ->")));
    return seen;
  };
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, {"--png-compression", "9", "--background", "102030"}}) {
    fs::remove_all(at("out"));
    fs::create_directory(at("out"));
    Outcome plain = shimmerly(join(
        join(join({"render", at("in/shot.####.png"), "-o", at("out/s.####.png"), "--threads", "1"},
                  frames),
             look),
        extra));
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const char* threads : {"0", "2", "4"}) {
      const std::string pattern = at(std::string("out/t") + threads + ".####.png");
      Outcome overlapped = shimmerly(join(
          join(
              join({"render", at("in/shot.####.png"), "-o", pattern, "--threads", threads}, frames),
              look),
          extra));
      ASSERT_EQ(overlapped.status, 0) << overlapped.err;
      EXPECT_EQ(verboseFrames(overlapped.err), verboseFrames(plain.err)) << overlapped.err;
      EXPECT_EQ(verboseFrames(plain.err),
                (std::vector<std::string>{"frame 1 (1/5)", "frame 2 (2/5)", "frame 3 (3/5)",
                                          "frame 5 (4/5)", "frame 6 (5/5)"}));
      for (int f = 1; f <= 7; ++f) {
        char a[32], b[32];
        std::snprintf(a, sizeof a, "out/s.%04d.png", f);
        std::snprintf(b, sizeof b, "out/t%s.%04d.png", threads, f);
        EXPECT_EQ(fs::exists(at(a)), f != 4 && f != 7) << a;
        EXPECT_EQ(fs::exists(at(b)), f != 4 && f != 7) << b;
        if (f != 4 && f != 7) {
          EXPECT_EQ(readAll(at(a)), readAll(at(b))) << b;
        }
      }
    }
  }
  // Raw frames through both.
  std::vector<Image> raw;
  for (uint32_t f = 1; f <= 5; ++f) raw.push_back(patternImage(61, 37, f));
  writeRaw(at("in.raw"), raw);
  for (const char* threads : {"1", "3"}) {
    Outcome piped = shimmerly(join({"render", "-", "--raw", "61x37", "-o", "-", "--threads",
                                    threads, "--background", "000000"},
                                   look),
                              at("in.raw"), at(std::string("out") + threads + ".raw"));
    ASSERT_EQ(piped.status, 0) << piped.err;
  }
  EXPECT_EQ(readAll(at("out1.raw")).size(), 5u * 61 * 37 * 4);
  EXPECT_EQ(readAll(at("out1.raw")), readAll(at("out3.raw")));
}

// --background flattens the render over the colour: every pixel opaque, and each the plain
// render's pixel put over the colour.
TEST_F(SequenceTest, BackgroundFlattensTheRenderOverTheColour) {
  makeShot({1});
  ASSERT_EQ(
      shimmerly(join({"render", at("in/shot.0001.png"), "-o", at("out/plain.png")}, look)).status,
      0);
  Outcome run = shimmerly(
      join({"render", at("in/shot.0001.png"), "-o", at("out/flat.png"), "--background", "#2040F0"},
           look));
  ASSERT_EQ(run.status, 0) << run.err;
  Image plain = readImage(at("out/plain.png"));
  std::vector<PF_Pixel> host = toHostPixels(plain);
  flattenOver(host.data(), host.size(), Rgb{0x20, 0x40, 0xF0});
  const Image flat = readImage(at("out/flat.png"));
  EXPECT_EQ(flat.rgba, fromHostPixels(host.data(), plain.width, plain.height, plain.width).rgba);
  size_t seeThrough = 0;
  for (size_t i = 3; i < plain.rgba.size(); i += 4) seeThrough += plain.rgba[i] < 255;
  EXPECT_GT(seeThrough, 0u);  // the input has transparent pixels for the colour to show through
  for (size_t i = 3; i < flat.rgba.size(); i += 4) ASSERT_EQ(flat.rgba[i], 255) << i;

  for (auto [option, value] :
       {std::pair{"--background", "12345"}, std::pair{"--png-compression", "12"}}) {
    Outcome bad =
        shimmerly({"render", at("in/shot.0001.png"), "-o", at("out/bad.png"), option, value});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find(option), std::string::npos) << bad.err;
    EXPECT_EQ(std::count(bad.err.begin(), bad.err.end(), '\n'), 1) << bad.err;
    EXPECT_FALSE(fs::exists(at("out/bad.png")));
  }
}

TEST_F(SequenceTest, InterruptKeepsFinishedFramesAndWritesNoPartialFile) {
  makeShot({1, 2}, 16, 16);
  // Frames 3 to 6 are large, so that the interrupt arrives while one of them is read, rendered
  // or written, however the pipeline's stages and a loaded machine happen to line up.
  Image large = patternImage(2400, 1600, 3);
  for (int frame = 3; frame <= 6; ++frame) {
    const std::string name = at("in/shot.000" + std::to_string(frame));
    writeImage(name + ".pam", large);
    fs::rename(name + ".pam", name + ".png");  // read by content, not name
  }
  Outcome run =
      shimmerly({"render", at("in/shot.####.png"), "-o", at("out/i.####.png"), "--glow-size", "200",
                 "--quiet"},
                "", "", [&](pid_t pid) {
                  auto start = std::chrono::steady_clock::now();
                  while (!fs::exists(at("out/i.0002.png")) &&
                         std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                  kill(pid, SIGINT);
                });
  EXPECT_EQ(run.status, 130) << run.err;
  // What is left is the frames finished before the signal, from the first on, each whole, and
  // the message counts them.
  std::vector<std::string> left;
  for (const fs::directory_entry& e : fs::directory_iterator(at("out")))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  ASSERT_GE(left.size(), 2u);
  ASSERT_LT(left.size(), 6u) << "the interrupt stopped nothing";
  for (size_t i = 0; i < left.size(); ++i) {
    EXPECT_EQ(left[i], "i.000" + std::to_string(i + 1) + ".png");
    EXPECT_EQ(readImage(at("out/" + left[i])).width, i < 2 ? 16 : 2400) << left[i];
  }
  EXPECT_NE(run.err.find(std::to_string(left.size()) + " finished frame(s) kept"),
            std::string::npos)
      << run.err;
}

TEST_F(SequenceTest, ExistingOutputsAreRefusedBeforeAnyRendering) {
  makeShot({1, 2, 3});
  std::ofstream(at("out/o.0002.png")) << "keep me";
  Outcome run = shimmerly({"render", at("in/shot.####.png"), "-o", at("out/o.####.png")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("1 output file(s) exist already (" + at("out/o.0002.png") +
                         "); add --overwrite"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(at("out/o.0001.png")));
  EXPECT_EQ(readAll(at("out/o.0002.png")).size(), 7u);
  Outcome again =
      shimmerly({"render", at("in/shot.####.png"), "-o", at("out/o.####.png"), "--overwrite"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readImage(at("out/o.0002.png")).width, 17);
}

TEST_F(SequenceTest, BlendModeContactSheetHasALabelledTilePerMode) {
  writeImage(at("in/still.png"), patternImage(40, 30, 1));
  Outcome run = shimmerly(join({"contact-sheet", at("in/still.png"), "-o", at("out/sheet.png"),
                                "--blend-modes", "--color-from", "layer"},
                               look));
  ASSERT_EQ(run.status, 0) << run.err;
  Image sheet = readImage(at("out/sheet.png"));
  SheetLayout layout = layoutSheet(8, 40, 30);
  EXPECT_EQ(sheet.width, layout.width);
  EXPECT_EQ(sheet.height, layout.height);
  // Each tile is the render with that blend mode.
  for (int mode : {1, 5}) {
    std::string single = at("b" + std::to_string(mode) + ".png");
    ASSERT_EQ(shimmerly(join({"render", at("in/still.png"), "-o", single, "--blend",
                              std::to_string(mode), "--color-from", "layer"},
                             look))
                  .status,
              0);
    Image render = readImage(single);
    int32_t x0 = layout.tileX(mode - 1), y0 = layout.tileY(mode - 1);
    size_t same = 0;
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        const uint8_t* s = &sheet.rgba[(static_cast<size_t>(y0 + y) * sheet.width + x0 + x) * 4];
        const uint8_t* r = &render.rgba[(static_cast<size_t>(y) * 40 + x) * 4];
        same += r[3] == 255 && s[0] == r[0] && s[1] == r[1] && s[2] == r[2];
      }
    EXPECT_GT(same, 40u * 30 / 2) << "mode " << mode;
  }
  Outcome refused =
      shimmerly({"contact-sheet", at("in/still.png"), "-o", at("out/sheet.png"), "--blend-modes"});
  EXPECT_NE(refused.err.find("exists already"), std::string::npos) << refused.err;
}

TEST_F(SequenceTest, PresetContactSheetHasATilePerFactoryPreset) {
  fs::path factory = fs::path(SHIMMERLY_CLI_PATH).parent_path() / "Shimmerly Presets";
  int32_t presets = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(factory))
    presets += e.path().extension() == ".smr";
  ASSERT_GT(presets, 1);
  writeImage(at("in/still.png"), patternImage(24, 16, 2));
  Outcome run = shimmerly({"contact-sheet", at("in/still.png"), "-o", at("out/p.png"), "-q"});
  ASSERT_EQ(run.status, 0) << run.err;
  Image sheet = readImage(at("out/p.png"));
  SheetLayout layout = layoutSheet(presets, 24, 16);
  EXPECT_EQ(sheet.width, layout.width);
  EXPECT_EQ(sheet.height, layout.height);
  // The presets give different looks: not every tile equals the first.
  auto tile = [&](int32_t i) {
    std::vector<uint8_t> pixels;
    for (int32_t y = 0; y < 16; ++y) {
      const uint8_t* row =
          &sheet.rgba[(static_cast<size_t>(layout.tileY(i) + y) * sheet.width + layout.tileX(i)) *
                      4];
      pixels.insert(pixels.end(), row, row + 24 * 4);
    }
    return pixels;
  };
  int32_t differing = 0;
  for (int32_t i = 1; i < presets; ++i) differing += tile(i) != tile(0);
  EXPECT_GE(differing, presets / 2);
}

// One plug-in load per run: global, parameter and sequence set-up once, one render command per
// frame, then the set-downs, whether the frames come from files or from a pipe.
TEST_F(SequenceTest, ARunSetsUpOnceAndRendersOncePerFrame) {
#ifndef SHIMMERLY_COUNTING_PLUGIN
  GTEST_SKIP() << "no stand-in plug-in on this platform";
#else
  makeShot({1, 2, 3});
  auto commands = [&] {
    std::string text;
    for (uint8_t c : readAll(home.str() + "/commands.log")) text += c == '\n' ? ' ' : char(c);
    fs::remove(home.str() + "/commands.log");
    return text;
  };
  Outcome files = shimmerly({"render", at("in/shot.####.png"), "-o", at("out/c.####.png"),
                             "--plugin", SHIMMERLY_COUNTING_PLUGIN});
  ASSERT_EQ(files.status, 0) << files.err;
  EXPECT_EQ(commands(), "1 4 5 11 11 11 8 3 ");
  for (int f = 1; f <= 3; ++f)
    EXPECT_EQ(pixelsOf(at("out/c.000" + std::to_string(f) + ".png")),
              pixelsOf(at("in/shot.000" + std::to_string(f) + ".png")));

  std::vector<Image> frames;
  for (uint32_t f = 1; f <= 4; ++f) frames.push_back(patternImage(5, 3, f));
  writeRaw(at("four.raw"), frames);
  Outcome piped =
      shimmerly({"render", "-", "--raw", "5x3", "-o", "-", "--plugin", SHIMMERLY_COUNTING_PLUGIN},
                at("four.raw"), at("four.out"));
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(commands(), "1 4 5 11 11 11 11 8 3 ");
  EXPECT_EQ(readAll(at("four.out")), readAll(at("four.raw")));
#endif
}

// Ctrl-C during frame 2 (the stand-in raises SIGINT itself and then asks the host whether to
// stop): frame 1 stays, frame 2 is not written, frame 3 is not started, the plug-in still gets
// its set-downs, and the exit status says interrupted.
TEST_F(SequenceTest, InterruptThroughTheAbortCallbackStopsTheFrameInProgress) {
#ifndef SHIMMERLY_COUNTING_PLUGIN
  GTEST_SKIP() << "no stand-in plug-in on this platform";
#else
  makeShot({1, 3});
  Image marked = patternImage(17, 11, 2);
  std::copy_n(std::vector<uint8_t>{2, 3, 4, 1}.begin(), 4, marked.rgba.begin());
  writeImage(at("in/shot.0002.png"), marked);
  // The plain loop, and the overlapped pipeline, where frame 1 is still being written and frame
  // 3 already read when frame 2 is stopped.
  for (const char* threads : {"1", "4"}) {
    SCOPED_TRACE(std::string("--threads ") + threads);
    fs::remove_all(at("out"));
    fs::create_directory(at("out"));
    Outcome run = shimmerly({"render", at("in/shot.####.png"), "-o", at("out/c.####.png"),
                             "--plugin", SHIMMERLY_COUNTING_PLUGIN, "-v", "--threads", threads});
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("interrupted; frame 2 was not written; 1 finished frame(s) kept"),
              std::string::npos)
        << run.err;
    std::string log;
    for (uint8_t c : readAll(home.str() + "/commands.log")) log += c == '\n' ? ' ' : char(c);
    EXPECT_EQ(log, "1 4 5 11 11 8 3 ");
    std::vector<std::string> left;
    for (const fs::directory_entry& e : fs::directory_iterator(at("out")))
      left.push_back(e.path().filename().string());
    EXPECT_EQ(left, (std::vector<std::string>{"c.0001.png"}));
    EXPECT_NE(run.err.find("frame 1 (1/3) -> "), std::string::npos) << run.err;
    EXPECT_LT(run.err.find("frame 1 (1/3) -> "), run.err.find("interrupted")) << run.err;
    fs::remove(home.str() + "/commands.log");
  }
#endif
}

}  // namespace
}  // namespace shimmerly::cli
