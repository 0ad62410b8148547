// Frame patterns, frame lists and the scan for frames on disk.
#include "cli/frame_pattern.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

struct FormatCase {
  const char* pattern;
  Frame frame;
  const char* name;
};

class PatternFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PatternFormat, FormatsAndMatchesBack) {
  const FormatCase& c = GetParam();
  auto pattern = FramePattern::parse(c.pattern);
  ASSERT_TRUE(pattern);
  EXPECT_EQ(pattern->format(c.frame), c.name);
  EXPECT_EQ(pattern->match(c.name), c.frame);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, PatternFormat,
    ::testing::Values(FormatCase{"in/shot.####.png", 7, "in/shot.0007.png"},
                      FormatCase{"in/shot.####.png", 12345, "in/shot.12345.png"},
                      FormatCase{"a.%04d.png", 12, "a.0012.png"},
                      FormatCase{"a.%4d.png", 0, "a.0000.png"},
                      FormatCase{"a.%d.png", 12, "a.12.png"}, FormatCase{"#.pam", 3, "3.pam"},
                      FormatCase{"50%_glow.##.png", 5, "50%_glow.05.png"}));

TEST(FramePattern, MatchDemandsTheExactPadding) {
  auto pattern = FramePattern::parse("dir/shot.####.png");
  ASSERT_TRUE(pattern);
  EXPECT_FALSE(pattern->match("shot.001.png"));
  EXPECT_FALSE(pattern->match("shot.00001.png"));
  EXPECT_FALSE(pattern->match("shot.0001.jpg"));
  EXPECT_FALSE(pattern->match("shot..png"));
  EXPECT_FALSE(pattern->match("shot.00a1.png"));
  EXPECT_EQ(pattern->match("other/dir/shot.0001.png"), 1);
}

TEST(FramePattern, RejectsAmbiguousPatterns) {
  EXPECT_FALSE(FramePattern::parse("still.png"));
  EXPECT_FALSE(FramePattern::parse("50%.png"));
  EXPECT_FALSE(hasFrameToken("a%xd.png"));
  EXPECT_THROW(FramePattern::parse("a.##.b.##.png"), std::invalid_argument);
  EXPECT_THROW(FramePattern::parse("a.%02d.%d.png"), std::invalid_argument);
  EXPECT_THROW(FramePattern::parse("take_##/img.png"), std::invalid_argument);
  EXPECT_THROW(FramePattern::parse("a.%099d.png"), std::invalid_argument);
}

TEST(FramePattern, ScanFindsOnlyFramesOfThePattern) {
  testing::TempDir dir;
  auto touch = [&](const std::string& name) { std::ofstream(dir.path() / name) << "x"; };
  for (const char* name : {"shot.0001.png", "shot.0002.png", "shot.0010.png", "shot.0003.png",
                           "shot.001.png", "shot.0004.jpg", "take.0005.png"})
    touch(name);
  std::filesystem::create_directory(dir.path() / "shot.0006.png");
  auto pattern = FramePattern::parse(dir.str() + "/shot.####.png");
  ASSERT_TRUE(pattern);
  EXPECT_EQ(pattern->scanDisk(), (std::vector<Frame>{1, 2, 3, 10}));
  auto missing = FramePattern::parse(dir.str() + "/nowhere/shot.####.png");
  EXPECT_TRUE(missing->scanDisk().empty());
}

struct ListCase {
  const char* text;
  std::vector<Frame> frames;
};

class FrameListParse : public ::testing::TestWithParam<ListCase> {};

TEST_P(FrameListParse, ExpandsSortedAndUnique) {
  EXPECT_EQ(parseFrameList(GetParam().text), GetParam().frames);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FrameListParse,
    ::testing::Values(ListCase{"1-3,7", {1, 2, 3, 7}}, ListCase{"5,1-2,2", {1, 2, 5}},
                      ListCase{" 4 ", {4}}, ListCase{"0", {0}}, ListCase{"1-10x3", {1, 4, 7, 10}},
                      ListCase{"1-11x5", {1, 6, 11}},
                      ListCase{"1-10,20,30-32", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 31, 32}}));

class FrameListError : public ::testing::TestWithParam<const char*> {};

TEST_P(FrameListError, IsRefusedWithAMessage) {
  EXPECT_THROW(parseFrameList(GetParam()), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Bad, FrameListError,
                         ::testing::Values("", "3-1", "a", "1,,2", "-1", "1-", "2x2", "1-5x0",
                                           "0-99999999999", "1.5", "9223372036854775808"));

TEST(FrameList, DescribesRuns) {
  EXPECT_EQ(describeFrames({1, 2, 3, 7, 9, 10}), "1-3,7,9-10");
  EXPECT_EQ(describeFrames({1, 3, 5, 7}, 2), "1,3, ...");
  EXPECT_EQ(describeFrames({}), "");
}

}  // namespace
}  // namespace shimmerly::cli
