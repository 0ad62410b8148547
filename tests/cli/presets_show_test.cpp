// `shimmerly presets show`: the JSON and readable forms of a loaded preset, and the command end
// to end against a temporary home folder with factory and damaged preset files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/preset_report.h"
#include "presets/glow_unit.h"
#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

namespace fs = std::filesystem;
using shimmerly::testing::TempDir;

TEST(PresetReport, JsonStringsEscapeEveryByteOutsidePrintableAscii) {
  EXPECT_EQ(jsonString("plain ~ text"), "\"plain ~ text\"");
  EXPECT_EQ(jsonString("q\"b\\"), "\"q\\\"b\\\\\"");
  EXPECT_EQ(jsonString(std::string("\x01\t\n\x7f\xc3\xa9", 6)),
            "\"\\u0001\\u0009\\u000A\\u007F\\u00C3\\u00A9\"");
  EXPECT_EQ(jsonString(std::string(1, '\0')), "\"\\u0000\"");
}

TEST(PresetReport, JsonHoldsEveryFieldByItsKey) {
  GlowUnit unit("Caf\xc3\xa9");
  unit.targetType = TargetType::Square;
  unit.targetProcessing = 3;
  unit.targetBrightCutoff = 0.1;
  unit.targetDarkCutoff = -2.5;
  unit.targetFeather = 1e300;
  unit.targetShowTarget = true;
  unit.colorFrom = ColorFrom::Layer;
  unit.customColor = {1, 514, 65535};
  unit.boost = 1.5;
  unit.softness = 0;
  unit.transferMode = TransferMode::MagicGlue3;
  unit.compositeOnOriginal = false;
  EXPECT_EQ(presetJson(-3, unit, "Warning: <<x>>"),
            "{\"status\": -3, \"fields\": {\"Name\": \"Caf\\u00C3\\u00A9\", \"TargetType\": 7, "
            "\"TargetProcessing\": 3, \"TargetBrightCutoff\": 0.10000000000000001, "
            "\"TargetDarkCutoff\": -2.5, \"TargetFeather\": 1.0000000000000001e+300, "
            "\"TargetShowTarget\": true, \"ColorFrom\": 2, \"CustomColor\": [1, 514, 65535], "
            "\"Boost\": 1.5, \"Softness\": 0, \"TransferMode\": 8, \"CompositeOnOriginal\": "
            "false}, \"diagnostic\": \"Warning: <<x>>\"}");
}

TEST(PresetReport, ReadableFormNamesTheControls) {
  GlowUnit unit("GlowUnit");
  unit.targetBrightCutoff = 191.25;
  unit.boost = 0.7;
  unit.customColor = {65535, 32896, 0};
  const std::string text = presetText(0, unit, "");
  EXPECT_NE(text.find("TargetBrightCutoff   191.25                 Bright Cutoff: 75%\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Trans/Boost: -30%\n"), std::string::npos);
  EXPECT_NE(text.find("CustomColor          65535 32896 0          Custom Color: #FF8000\n"),
            std::string::npos);
  EXPECT_NE(text.find("status               0 loaded\n"), std::string::npos);
  EXPECT_EQ(text.find("diagnostic"), std::string::npos);
}

struct CommandRun {
  int status;
  std::string out;
};

CommandRun shimmerly(const std::string& arguments) {
  CommandRun run{-1, {}};
  FILE* pipe = popen(("'" SHIMMERLY_CLI_PATH "' " + arguments + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
    run.out.append(buffer.data(), got);
  }
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class PresetsShow : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(presets());
    fs::copy_file(fs::path(SHIMMERLY_FACTORY_PRESETS_DIR) / "Neon Outline.smr",
                  presets() / "Neon Outline.smr");
  }
  fs::path presets() const {
    return home.path() / "Documents" / "Brindlex" / "Shimmerly" / "Shimmerly Presets";
  }
  std::string homeOption() const { return "--presets-home '" + home.str() + "'"; }
  TempDir home;
};

TEST_F(PresetsShow, ByNameFromThePresetFolder) {
  const CommandRun json = shimmerly("presets show 'Neon Outline' --json " + homeOption());
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out.rfind("{\"status\": 0, \"fields\": {\"Name\": \"GlowUnit\", ", 0), 0u)
      << json.out;
  EXPECT_NE(json.out.find("\"TargetProcessing\": 3"), std::string::npos);
  EXPECT_NE(json.out.find("\"CustomColor\": [0, 65535, 60138]"), std::string::npos);
  EXPECT_NE(json.out.find("\"diagnostic\": \"\"}\n"), std::string::npos);

  const CommandRun text = shimmerly("presets " + homeOption() + " show 'Neon Outline'");
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("Glow Style: Out-Glow"), std::string::npos) << text.out;
}

TEST_F(PresetsShow, FilesAnywhereAndPresetsThatDoNotLoad) {
  const fs::path damaged = fs::path(SHIMMERLY_TEST_DATA_DIR) / "presets" / "ends_after_class.smr";
  const CommandRun json =
      shimmerly("presets show '" + damaged.string() + "' --json " + homeOption());
  EXPECT_EQ(json.status, 0);  // the status is in the object
  EXPECT_EQ(json.out.rfind("{\"status\": -1, ", 0), 0u) << json.out;
  EXPECT_NE(json.out.find("\"TargetFeather\": 33,"), std::string::npos);
  EXPECT_NE(json.out.find("\"diagnostic\": \"Error processing scene command <<end>> for class "
                          "<<GlowUnit>> at byte 75.\"}"),
            std::string::npos)
      << json.out;

  // A name that is not a file: read from the preset folder, where it is missing.
  const CommandRun missing = shimmerly("presets show Missing " + homeOption());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("shimmerly: preset \"Missing\" did not load (status -1)\n"),
            std::string::npos)
      << missing.out;
  // ".smr" at the end makes it a file name relative to the working folder.
  const CommandRun relative = shimmerly("presets show 'Neon Outline.smr' --json " + homeOption());
  EXPECT_EQ(relative.out.rfind("{\"status\": -1, ", 0), 0u) << relative.out;
}

}  // namespace
}  // namespace shimmerly::cli
