// Preset files and names from anywhere: numbers that are not numbers or do not fit in every
// field (loaded, applied to the controls in both slider forms and rendered), names at and past
// the file-name limit with quotes, backslashes, separators, control bytes and invalid UTF-8, a
// megabyte of keys the record does not know, and an index file of 100,000 lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "../host/host_fixture.h"
#include "../presets/preset_test_support.h"
#include "host/params.h"
#include "presets/command_stream.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"
#include "support/images.h"

namespace shimmerly {
namespace {

namespace fs = std::filesystem;
constexpr const char* kProduct = "Shimmerly";

fs::path presetFolderOf(const fs::path& home) {
  return home / "Documents" / "Brindlex" / "Shimmerly" / "Shimmerly Presets";
}

// The default record's file with the line of `key` replaced by "key value".
std::string presetWith(const std::string& key, const std::string& value) {
  const std::string lines[] = {"Name \"GlowUnit\"",
                               "TargetType \"Alpha\"",
                               "TargetProcessing \"None\"",
                               "TargetBrightCutoff 1.000000",
                               "TargetDarkCutoff 0.250000",
                               "TargetFeather 0.000000",
                               "TargetShowTarget 0",
                               "ColorFrom \"CustomColor\"",
                               "CustomColor 1.000000 1.000000 1.000000",
                               "Boost 0.000000",
                               "Softness 0.800000",
                               "TransferMode \"Normal\"",
                               "CompositeOnOriginal 0"};
  std::string text = " begin GlowUnit\n\n";
  for (const std::string& line : lines) {
    const bool replaced = line.compare(0, key.size() + 1, key + " ") == 0;
    text += "  " + (replaced ? key + " " + value : line) + "\n\n";
  }
  return text + " end GlowUnit\n\n";
}

// ---- Numbers ----

// What each kind of field makes of one text: a real field takes finite "%lf" values and keeps
// its value otherwise; a colour channel takes finite "%f" values (clamped to 0..1), and an
// unreadable first value leaves all three channels 0; a flag reads "%d" from the front of the
// text and keeps its value when there is no number or it does not fit.
struct NumberText {
  const char* name;
  const char* text;
  std::optional<double> real;
  uint16_t channel;
  std::optional<bool> flag;
};

std::ostream& operator<<(std::ostream& os, const NumberText& n) {
  return os << n.name;
}

const NumberText kNumbers[] = {
    {"NaN", "nan", {}, 0, {}},
    {"NegativeNaN", "-nan", {}, 0, {}},
    {"Infinity", "inf", {}, 0, {}},
    {"NegativeInfinity", "-infinity", {}, 0, {}},
    {"Huge", "1e308", 1e308, 0, true},
    {"NegativeHuge", "-1e308", -1e308, 0, true},
    {"Overflowing", "1e999", {}, 0, true},
    {"NegativeZero", "-0", -0.0, 0, false},
    {"HexFloat", "0x1p-1", 0.5, 32768, false},
    {"Enormous", "1267650600228229401496703205376", 0x1p100, 65535, {}},
    {"Subnormal", "4.9e-324", 4.9e-324, 0, true},
    {"Garbage", "12abc", 12.0, 65535, true},
    {"Negative", "-7", -7.0, 0, true},
};

const char* const kNumberFields[] = {
    "TargetBrightCutoff", "TargetDarkCutoff", "TargetFeather",    "Boost",
    "Softness",           "CustomColor",      "TargetShowTarget", "CompositeOnOriginal"};

class NumberFieldTest : public testing::InProcessHostTest,
                        public ::testing::WithParamInterface<std::tuple<const char*, NumberText>> {
};

TEST_P(NumberFieldTest, LoadsAsDefinedAndRendersInBothSliderForms) {
  const char* key = std::get<0>(GetParam());
  const NumberText& number = std::get<1>(GetParam());
  const std::string field = key;
  const std::string value = field == "CustomColor"
                                ? std::string(number.text) + " " + number.text + " " + number.text
                                : number.text;
  fs::create_directories(presetFolderOf(home().path()));
  testing::writeBytes(presetFolderOf(home().path()) / "Hostile.smr", presetWith(field, value));

  GlowUnit unit("GlowUnit");
  ASSERT_EQ(loadPreset(kProduct, "Hostile", unit), 0) << lastStreamError();
  const GlowUnit defaults("GlowUnit");
  auto expectReal = [&](double actual, double fallback) {
    const double expected = number.real.value_or(fallback);
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(std::signbit(actual), std::signbit(expected));
  };
  if (field == "TargetBrightCutoff")
    expectReal(unit.targetBrightCutoff, defaults.targetBrightCutoff);
  if (field == "TargetDarkCutoff") expectReal(unit.targetDarkCutoff, defaults.targetDarkCutoff);
  if (field == "TargetFeather") expectReal(unit.targetFeather, defaults.targetFeather);
  if (field == "Boost") expectReal(unit.boost, defaults.boost);
  if (field == "Softness") expectReal(unit.softness, defaults.softness);
  if (field == "CustomColor") {
    EXPECT_EQ(unit.customColor.red, number.channel);
    EXPECT_EQ(unit.customColor.green, number.channel);
    EXPECT_EQ(unit.customColor.blue, number.channel);
  }
  if (field == "TargetShowTarget") {
    EXPECT_EQ(unit.targetShowTarget, number.flag.value_or(defaults.targetShowTarget));
  }
  if (field == "CompositeOnOriginal") {
    EXPECT_EQ(unit.compositeOnOriginal, number.flag.value_or(defaults.compositeOnOriginal));
  }
  EXPECT_EQ(unit.targetType, defaults.targetType);  // the other fields are untouched

  // Applied to the controls as the presets popup does, then rendered.
  for (bool floatForm : {true, false}) {
    host().setHostVersion(floatForm ? 13 : 12, floatForm ? 0 : 9);
    host().start();
    ASSERT_EQ(glowUnitToParams(&host().outData(), host().paramArray(), &unit), PF_Err_NONE);
    for (int32_t quality : {PF_Quality_HI, PF_Quality_LO}) {
      testing::HostFrame input = testing::noiseFrame(7, 6, 2);
      testing::HostFrame output = testing::solidFrame(7, 6, PF_Pixel{1, 2, 3, 4});
      PF_LayerDef in = input.world(), out = output.world();
      cli::FrameSettings frame;
      frame.quality = quality;
      EXPECT_EQ(host().render(in, out, frame), PF_Err_NONE);
    }
    host().finish();
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, NumberFieldTest,
                         ::testing::Combine(::testing::ValuesIn(kNumberFields),
                                            ::testing::ValuesIn(kNumbers)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) +
                                  std::get<1>(info.param).name;
                         });

// ---- Names ----

class HostileNames : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(home.presetFolder()); }
  PresetNameList listed() {
    PresetNameList list;
    EXPECT_EQ(listPresets(kProduct, list), 1);
    return list;
  }
  testing::TempHome home;
  testing::RecordingUi ui;
};

struct NameCase {
  const char* label;
  std::string name;
  bool saves;  // a single file name that the file system takes
};

std::ostream& operator<<(std::ostream& os, const NameCase& n) {
  return os << n.label;
}

const NameCase kNames[] = {
    {"FileNameOf255Bytes", std::string(251, 'n'), true},
    {"FileNameOf256Bytes", std::string(252, 'n'), false},
    {"Name255Bytes", std::string(255, 'x'), false},
    {"Name4000Bytes", std::string(4000, 'y'), false},
    {"Quotes", "say \"hi\" \"", true},
    {"QuotedWhole", "\"quoted\"", true},
    {"Backslash", "back\\slash", false},
    {"Slash", "a/b", false},
    {"DotDot", "..", false},
    {"Dot", ".", false},
    {"Tab", "tab\tname", false},
    {"ControlByte", std::string("bell\x07"), false},
    {"Escape", std::string("\x1b[31mred"), false},
    {"InvalidUtf8", std::string("\xff\xfe\xc0\x80 bad"), true},
    {"Utf8", "Glühen ✨", true},
    {"Pipe", "left|right", true},
    {"Hash", "#comment", true},
    {"EndOfStreamToken", "**EndOfStream**", true},
    {"Spaces", "  spaced  out  ", true},
    {"Semicolons", "a;b,c:d", true},
};

class NameTest : public HostileNames, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameTest, SavesLoadsAndListsOrFailsCleanly) {
  const NameCase& c = GetParam();
  GlowUnit unit("GlowUnit");
  unit.targetFeather = 33;
  const int32_t status = savePreset(kProduct, c.name.c_str(), unit);
  if (!c.saves) {
    EXPECT_NE(status, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "Error while saving preset. Try a different name.");
    EXPECT_TRUE(fs::is_empty(home.presetFolder()));
    EXPECT_FALSE(presetExists(kProduct, c.name.c_str()));
    GlowUnit loaded("GlowUnit");
    EXPECT_EQ(loadPreset(kProduct, c.name.c_str(), loaded), -1);
    EXPECT_TRUE(listed().empty());
    return;
  }
  ASSERT_EQ(status, 0);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(presetExists(kProduct, c.name.c_str()));
  GlowUnit loaded("GlowUnit");
  ASSERT_EQ(loadPreset(kProduct, c.name.c_str(), loaded), 0);
  EXPECT_EQ(loaded.targetFeather, 33);
  EXPECT_EQ(listed(), PresetNameList{c.name});
  // Only the preset itself: no temporary file stays beside it.
  EXPECT_EQ(testing::treeOf(home.presetFolder()), std::vector<std::string>{c.name + ".smr"});
}

INSTANTIATE_TEST_SUITE_P(Names, NameTest, ::testing::ValuesIn(kNames),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(HostileNames, PopupShowsEveryNameAsOneChoice) {
  // A "|" inside a name must not split it into two popup choices: the popup's positions are
  // how a choice is turned back into a name.
  const PresetNameList names = {"left|right", "plain", "||", "a|b|c"};
  std::vector<char> text(kPresetChoiceTextSize);
  EXPECT_EQ(buildPresetChoices(names, text.data()), 8);
  const std::string choices(text.data());
  EXPECT_EQ(std::count(choices.begin(), choices.end(), '|'), 7);
  EXPECT_NE(choices.find("|left/right|plain|//|a/b/c"), std::string::npos);
}

TEST_F(HostileNames, NameFieldOfAnyLengthAndBytesLoads) {
  for (const std::string& name :
       {std::string(255, 'q'), std::string(256, 'q'), std::string(5000, 'q'),
        std::string("\xff\x01\x7f", 3), std::string("\\\"\\\"")}) {
    testing::writeBytes(home.presetFolder() / "Named.smr",
                        " begin GlowUnit\n  Name \"" + name + "\"\n end GlowUnit\n");
    GlowUnit unit("GlowUnit");
    ASSERT_EQ(loadPreset(kProduct, "Named", unit), 0);
    EXPECT_LE(std::strlen(unit.name), 255u);
  }
}

TEST_F(HostileNames, IndexLinesOfAnyBytesListOnlyLoadablePresets) {
  GlowUnit unit("GlowUnit");
  ASSERT_EQ(savePreset(kProduct, "Real", unit), 0);
  std::string index = "Real\r\n" + std::string(600, 'L') + "\n\x01\x02\n../Real\n/etc/passwd\n" +
                      std::string("Re\0al", 5) + "\n\xff\xfe\n\t\nReal";
  testing::writeBytes(home.presetFolder() / "Shimmerly Presets.idx", index);
  EXPECT_EQ(listed(), (PresetNameList{"Real", "Real"}));
}

// ---- Size ----

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(HostileNames, AMegabyteOfUnknownKeys) {
  // Unknown keys only: the hundredth in a row ends the load.
  std::string unknown = " begin GlowUnit\n";
  for (int i = 0; unknown.size() < (1u << 20); ++i)
    unknown += "  Unknown" + std::to_string(i) + " 1 2 3\n";
  unknown += "  Name \"GlowUnit\"\n end GlowUnit\n";
  testing::writeBytes(home.presetFolder() / "Unknown.smr", unknown);
  GlowUnit unit("GlowUnit");
  const auto start = Clock::now();
  EXPECT_EQ(loadPreset(kProduct, "Unknown", unit), -1);
  EXPECT_NE(std::string(lastStreamError()).find("Scene error: unknown command"), std::string::npos);

  // Unknown keys between known ones: the whole megabyte is read, the last value wins.
  std::string mixed = " begin GlowUnit\n  Name \"GlowUnit\"\n";
  int last = 0;
  for (int i = 0; mixed.size() < (1u << 20); ++i) {
    mixed += "  Unknown" + std::to_string(i) + " 1 2 3 4 5 6 7 8\n";
    mixed += "  TargetFeather " + std::to_string(last = i % 1000) + "\n";
  }
  mixed += " end GlowUnit\n";
  testing::writeBytes(home.presetFolder() / "Mixed.smr", mixed);
  ASSERT_EQ(loadPreset(kProduct, "Mixed", unit), 0);
  EXPECT_EQ(unit.targetFeather, last);

  // One token, one quoted token and one comment of a megabyte each before the fields.
  const std::string mega(1u << 20, 'M');
  testing::writeBytes(home.presetFolder() / "Long.smr",
                      " begin GlowUnit\n" + mega + "\n\"" + mega + "\"\n#" + mega +
                          "\n  Name \"Long\"\n  Softness 0.5\n end GlowUnit\n");
  ASSERT_EQ(loadPreset(kProduct, "Long", unit), 0);
  EXPECT_STREQ(unit.name, "Long");
  EXPECT_EQ(unit.softness, 0.5);
  // And an unclosed quote that runs to the end of a megabyte.
  testing::writeBytes(home.presetFolder() / "Open.smr",
                      " begin GlowUnit\n  Name \"GlowUnit\"\n  Boost 2\n\"" + mega);
  ASSERT_EQ(loadPreset(kProduct, "Open", unit), 0);
  EXPECT_EQ(unit.boost, 2);
  EXPECT_LT(secondsSince(start), 20.0);
}

TEST_F(HostileNames, AnIndexOf100000Lines) {
  GlowUnit unit("GlowUnit");
  ASSERT_EQ(savePreset(kProduct, "Warm", unit), 0);
  ASSERT_EQ(savePreset(kProduct, "Cold", unit), 0);
  std::string index;
  int warm = 0;
  for (int i = 0; i < 100000; ++i) {
    // Every 100th line names a real preset (each is loaded in full); the others are names
    // without a file, empty lines and lines longer than a name.
    if (i % 100 == 0) {
      index += "Warm\n";
      ++warm;
    } else if (i % 3 == 0) {
      index += "missing " + std::to_string(i) + "\r\n";
    } else if (i % 3 == 1) {
      index += "\n";
    } else {
      index += std::string(300, 'w') + "\n";
    }
  }
  testing::writeBytes(home.presetFolder() / "Shimmerly Presets.idx", index);
  const auto start = Clock::now();
  const PresetNameList list = listed();
  ASSERT_EQ(list.size(), static_cast<size_t>(warm) + 1);
  EXPECT_EQ(list.back(), "Cold");
  EXPECT_EQ(std::count(list.begin(), list.end(), "Warm"), warm);
  EXPECT_LT(secondsSince(start), 30.0);
  RecordProperty("seconds", std::to_string(secondsSince(start)));
}

}  // namespace
}  // namespace shimmerly
