// `shimmerly` and the plug-in's presets end to end, against a temporary home folder: saving
// from the command line (with the plug-in's own name rules and messages), the popup's list,
// rendering with a preset under explicit options, the interactive Save... flow on a terminal,
// and the about text.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "cli/image_io.h"
#include "support/pseudo_terminal.h"
#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

using shimmerly::testing::PseudoTerminal;
using shimmerly::testing::TempDir;

struct CommandResult {
  int status = -1;
  std::string output;  // standard output and standard error together
};

class PresetsCliTest : public ::testing::Test {
 protected:
  TempDir home;
  TempDir work;

  // Runs `shimmerly arguments` (after a launcher such as "setsid -w ", when given).
  CommandResult shimmerly(const std::string& arguments, const std::string& launcher = "") {
    CommandResult result;
    const std::string command = launcher + "'" SHIMMERLY_CLI_PATH "' " + arguments +
                                " --presets-home '" + home.str() + "' 2>&1 </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
      result.output.append(buffer.data(), got);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }
  std::string path(const char* name) const { return (work.path() / name).string(); }

  void writeSample() {
    Image image;
    image.width = 17;
    image.height = 11;
    for (int32_t y = 0; y < image.height; ++y)
      for (int32_t x = 0; x < image.width; ++x)
        image.rgba.insert(
            image.rgba.end(),
            {static_cast<uint8_t>(x * 15), 90, static_cast<uint8_t>(y * 20),
             static_cast<uint8_t>((x - 8) * (x - 8) + (y - 5) * (y - 5) < 12 ? 255 : 0)});
    writeImage(path("in.png"), image);
  }
  std::vector<uint8_t> rendered(const std::string& options, const char* out) {
    CommandResult r =
        shimmerly("render '" + path("in.png") + "' -o '" + path(out) + "' -q " + options);
    EXPECT_EQ(r.status, 0) << r.output;
    return readImage(path(out)).rgba;
  }
};

bool listed(const std::string& listing, const std::string& name) {
  return ("\n" + listing).find("\n" + name + "\n") != std::string::npos;
}

TEST_F(PresetsCliTest, SaveListAndRenderWithAPreset) {
  CommandResult saved = shimmerly("presets save 'Deep Glow' --glow-size 40 --blend screen");
  ASSERT_EQ(saved.status, 0) << saved.output;
  EXPECT_NE(saved.output.find("This preset will be available the next time the application is "
                              "started."),
            std::string::npos);

  CommandResult list = shimmerly("presets list");
  ASSERT_EQ(list.status, 0) << list.output;
  EXPECT_TRUE(listed(list.output, "Deep Glow")) << list.output;

  writeSample();
  const auto byPreset = rendered("--preset 'Deep Glow'", "preset.png");
  const auto byOptions = rendered("--glow-size 40 --blend screen", "options.png");
  EXPECT_EQ(byPreset, byOptions);
  // Explicit options go on top of the preset.
  const auto overridden = rendered("--preset 'Deep Glow' --glow-size 5", "over.png");
  const auto explicitOnly = rendered("--glow-size 5 --blend screen", "explicit.png");
  EXPECT_EQ(overridden, explicitOnly);
  EXPECT_NE(overridden, byPreset);

  CommandResult unknown =
      shimmerly("render '" + path("in.png") + "' -o '" + path("x.png") + "' --preset Nowhere");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.output.find("no preset named \"Nowhere\""), std::string::npos)
      << unknown.output;
  EXPECT_NE(unknown.output.find("Deep Glow"), std::string::npos);
}

TEST_F(PresetsCliTest, SavingUnderATakenNameNeedsForce) {
  ASSERT_EQ(shimmerly("presets save Twin --glow-size 10").status, 0);
  CommandResult again = shimmerly("presets save Twin --glow-size 70");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("This name is already taken as a preset"), std::string::npos);
  EXPECT_NE(again.output.find("--force"), std::string::npos);
  CommandResult forced = shimmerly("presets save Twin --glow-size 70 --force");
  EXPECT_EQ(forced.status, 0) << forced.output;
  EXPECT_NE(forced.output.find("Replaced"), std::string::npos);
  writeSample();
  EXPECT_EQ(rendered("--preset Twin", "twin.png"), rendered("--glow-size 70", "seventy.png"));
}

TEST_F(PresetsCliTest, SavingRefusesNamesThePlugInRefuses) {
  struct Case {
    const char* name;
    const char* message;
  };
  for (const Case& c : {Case{".hidden", "Presets cannot start with a period."},
                        Case{"a/b", "Error while saving preset. Try a different name."},
                        Case{"", "a preset needs a name"}}) {
    CommandResult r = shimmerly(std::string("presets save '") + c.name + "'");
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  CommandResult list = shimmerly("presets list");
  EXPECT_FALSE(listed(list.output, ".hidden"));
}

TEST_F(PresetsCliTest, SaveWithoutANameRunsThePlugInsPromptOnTheTerminal) {
  PseudoTerminal pty;
  pid_t child = pty.spawn(
      {SHIMMERLY_CLI_PATH, "presets", "save", "--glow-size", "33", "--presets-home", home.str()});
  ASSERT_TRUE(pty.waitFor("Set preset name:")) << pty.output();
  pty.send("Typed Here\r");
  ASSERT_TRUE(pty.waitFor("This preset will be available")) << pty.output();
  pty.send("\r");
  EXPECT_EQ(pty.waitExit(child), 0) << pty.output();
  EXPECT_TRUE(listed(shimmerly("presets list").output, "Typed Here"));
}

TEST_F(PresetsCliTest, SaveWithoutANameOrATerminalIsAnError) {
  // setsid leaves the command without a controlling terminal, whatever runs the test.
  CommandResult r = shimmerly("presets save", "setsid -w ");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("no terminal"), std::string::npos) << r.output;
}

TEST_F(PresetsCliTest, AboutWithAndWithoutDetails) {
  CommandResult plain = shimmerly("about");
  ASSERT_EQ(plain.status, 0) << plain.output;
  EXPECT_EQ(plain.output.rfind("Shimmerly for AE, v" SHIMMERLY_VERSION "\n", 0), 0u)
      << plain.output;
  EXPECT_EQ(plain.output.find("Build Number"), std::string::npos);
  CommandResult details = shimmerly("about --details");
  ASSERT_EQ(details.status, 0) << details.output;
  EXPECT_NE(details.output.find("\n\nPlug-in Name: Shimmerly.so \n\nBuild Number: 109"),
            std::string::npos)
      << details.output;
}

}  // namespace
}  // namespace shimmerly::cli
