// Planning render runs: frames from lists or disk, missing inputs, single outputs, pipes and
// the refusal to replace existing outputs.
#include "cli/sequence_plan.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

class SequencePlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.path() / "in");
    std::filesystem::create_directory(dir.path() / "out");
    for (int f : {1, 2, 3, 5}) touch("in/shot." + pad(f) + ".png");
  }
  static std::string pad(int f) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", f);
    return text;
  }
  void touch(const std::string& name) { std::ofstream(dir.path() / name) << "x"; }
  std::string at(const std::string& name) const { return (dir.path() / name).string(); }
  SequenceRequest request(const std::string& in, const std::string& out) const {
    SequenceRequest r;
    r.input = in == "-" ? in : at(in);
    r.output = out == "-" ? out : at(out);
    return r;
  }
  static std::vector<Frame> framesOf(const SequencePlan& plan) {
    std::vector<Frame> frames;
    for (const PlannedFrame& f : plan.frames) frames.push_back(f.frame);
    return frames;
  }
  static std::string message(const SequenceRequest& r) {
    try {
      planSequence(r);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "(no error)";
  }

  testing::TempDir dir;
};

TEST_F(SequencePlanTest, FramesDefaultToThoseOnDisk) {
  SequencePlan plan = planSequence(request("in/shot.####.png", "out/glow.%04d.png"));
  EXPECT_EQ(framesOf(plan), (std::vector<Frame>{1, 2, 3, 5}));
  EXPECT_EQ(plan.frames[3].input, at("in/shot.0005.png"));
  EXPECT_EQ(plan.frames[3].output, at("out/glow.0005.png"));
  EXPECT_EQ(plan.frameCount(), 4);
}

TEST_F(SequencePlanTest, MissingFramesAreNamedOrSkipped) {
  SequenceRequest r = request("in/shot.####.png", "out/glow.####.png");
  r.frames = "2-7";
  EXPECT_EQ(message(r), "3 input frame(s) missing: 4,6-7 of '" + r.input +
                            "' (add --skip-missing to render the others)");
  r.skipMissing = true;
  SequencePlan plan = planSequence(r);
  EXPECT_EQ(framesOf(plan), (std::vector<Frame>{2, 3, 5}));
  EXPECT_EQ(plan.skipped, (std::vector<Frame>{4, 6, 7}));
  r.frames = "8-9";
  EXPECT_NE(message(r).find("none of the listed frames"), std::string::npos);
}

TEST_F(SequencePlanTest, ExistingOutputsNeedOverwrite) {
  touch("out/glow.0003.png");
  SequenceRequest r = request("in/shot.####.png", "out/glow.####.png");
  EXPECT_EQ(message(r), "1 output file(s) exist already (" + at("out/glow.0003.png") +
                            "); add --overwrite to replace them");
  r.frames = "1-2";
  EXPECT_NO_THROW(planSequence(r));
  r.frames.reset();
  r.overwrite = true;
  EXPECT_EQ(planSequence(r).frames.size(), 4u);
}

TEST_F(SequencePlanTest, SingleOutputTakesOneFrameOnly) {
  EXPECT_NE(message(request("in/shot.####.png", "out/one.png")).find("has no frame number but 4"),
            std::string::npos);
  SequenceRequest r = request("in/shot.####.png", "out/one.png");
  r.frames = "5";
  EXPECT_EQ(planSequence(r).frames.at(0).output, at("out/one.png"));
}

TEST_F(SequencePlanTest, StillInputRendersOncePerListedFrame) {
  SequenceRequest r = request("in/shot.0001.png", "out/anim.####.png");
  EXPECT_EQ(framesOf(planSequence(r)), (std::vector<Frame>{1}));
  r.frames = "10-12";
  SequencePlan plan = planSequence(r);
  EXPECT_EQ(framesOf(plan), (std::vector<Frame>{10, 11, 12}));
  EXPECT_EQ(plan.frames[2].input, at("in/shot.0001.png"));
  EXPECT_EQ(plan.frames[2].output, at("out/anim.0012.png"));
  EXPECT_EQ(message(request("in/none.png", "out/x.png")),
            "input '" + at("in/none.png") + "' does not exist");
}

TEST_F(SequencePlanTest, PipesNumberFramesFromTheFirstListed) {
  SequenceRequest r = request("-", "out/p.####.png");
  EXPECT_NE(message(r).find("needs their size: add --raw"), std::string::npos);
  r.raw = RawSize{4, 4};
  SequencePlan plan = planSequence(r);
  EXPECT_TRUE(plan.pipeIn);
  EXPECT_EQ(plan.firstFrame, 1);
  EXPECT_EQ(plan.frameCount(), -1);
  EXPECT_EQ(plan.outputFor(7), at("out/p.0007.png"));
  r.frames = "101-200";
  EXPECT_EQ(planSequence(r).firstFrame, 101);
  touch("out/p.0150.png");
  EXPECT_NE(message(r).find("exist already"), std::string::npos);
  SequenceRequest toFile = request("-", "out/single.png");
  toFile.raw = RawSize{4, 4};
  EXPECT_NE(message(toFile).find("need an output pattern"), std::string::npos);
  SequenceRequest through = request("-", "-");
  through.raw = RawSize{4, 4};
  EXPECT_TRUE(planSequence(through).pipeOut);
}

TEST_F(SequencePlanTest, FilesToAPipeAndMisplacedRaw) {
  SequencePlan plan = planSequence(request("in/shot.####.png", "-"));
  EXPECT_TRUE(plan.pipeOut);
  EXPECT_EQ(plan.frames.size(), 4u);
  EXPECT_EQ(plan.frames[0].output, "");
  SequenceRequest r = request("in/shot.####.png", "out/g.####.png");
  r.raw = RawSize{2, 2};
  EXPECT_NE(message(r).find("--raw describes frames on a pipe"), std::string::npos);
  EXPECT_EQ(message(request("in/shot.####.png", "nowhere/g.####.png")),
            "output folder '" + at("nowhere") + "' does not exist");
}

}  // namespace
}  // namespace shimmerly::cli
