// GlowUnit: the default record's exact text, the enumeration tables and their fallbacks, field
// reads with unusable tokens, colours through text, and a written-and-read-back property test.
#include "presets/glow_unit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "preset_test_support.h"
#include "presets/command_stream.h"
#include "presets/file_handle.h"
#include "presets/registry.h"

namespace shimmerly {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

std::string textOf(GlowUnit& unit) {
  TempDir dir;
  FileHandle out((dir.path() / "unit").string());
  EXPECT_EQ(out.create(), 0);
  CommandStream stream(&unit);
  stream.setOutput(&out);
  EXPECT_EQ(unit.writeRecord(stream), 0);
  out.close();
  return readBytes(dir.path() / "unit");
}

// Reads a record from a file the way the library does: the unit is root and pushed again.
int32_t readFileInto(GlowUnit& unit, const std::filesystem::path& path, size_t chunkSize) {
  FileHandle in(path.string());
  EXPECT_EQ(in.openRead(), 0);
  CommandStream stream(&unit, chunkSize);
  stream.setInput(&in);
  stream.push(&unit);
  while (stream.depth() > 1 && stream.hasInput()) {
    const int32_t status = stream.processTop();
    if (status != 0) return status;
  }
  return 0;
}

int32_t readInto(GlowUnit& unit, const std::string& bytes, size_t chunkSize = 50000) {
  TempDir dir;
  writeBytes(dir.path() / "unit", bytes);
  return readFileInto(unit, dir.path() / "unit", chunkSize);
}

TEST(GlowUnitText, DefaultRecordBytes) {
  GlowUnit unit("GlowUnit");
  EXPECT_EQ(textOf(unit),
            " begin GlowUnit\n\n"
            "  Name \"GlowUnit\"\n\n"
            "  TargetType \"Alpha\"\n\n"
            "  TargetProcessing \"None\"\n\n"
            "  TargetBrightCutoff 1.000000\n\n"
            "  TargetDarkCutoff 0.250000\n\n"
            "  TargetFeather 0.000000\n\n"
            "  TargetShowTarget 0\n\n"
            "  ColorFrom \"CustomColor\"\n\n"
            "  CustomColor 1.000000 1.000000 1.000000\n\n"
            "  Boost 0.000000\n\n"
            "  Softness 0.800000\n\n"
            "  TransferMode \"Normal\"\n\n"
            "  CompositeOnOriginal 0\n\n"
            " end GlowUnit\n\n");
}

struct Enumeration {
  const char* label;
  const char* (*name)(int32_t);
  int32_t (*code)(const char*);
  int32_t count;
  int32_t fallback;
};

class Enumerations : public ::testing::TestWithParam<Enumeration> {};

INSTANTIATE_TEST_SUITE_P(
    All, Enumerations,
    ::testing::Values(Enumeration{"TargetType", targetTypeName, targetTypeCode, 8, 2},
                      Enumeration{"TargetProcessing", targetProcessingName, targetProcessingCode, 5,
                                  1},
                      Enumeration{"ColorFrom", colorFromName, colorFromCode, 2, 1},
                      Enumeration{"TransferMode", transferModeName, transferModeCode, 8, 1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_P(Enumerations, CodesSurviveTheirNamesAndStrangersFallBack) {
  const Enumeration& e = GetParam();
  for (int32_t code = 1; code <= e.count; ++code) EXPECT_EQ(e.code(e.name(code)), code);
  for (int32_t stranger : {0, -1, e.count + 1, 1000}) {
    EXPECT_STREQ(e.name(stranger), e.name(e.fallback));
  }
  std::string lower = e.name(e.count);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(e.code(lower.c_str()), e.fallback);
  EXPECT_EQ(e.code(""), e.fallback);

  // Read through the stream: a known name, an unknown one, and a missing token.
  GlowUnit unit("GlowUnit");
  const std::string key = e.label;
  const std::string last = e.name(e.count);
  EXPECT_EQ(readInto(unit, key + " \"" + last + "\" "), 0);
  const int32_t* field = key == "TargetType"         ? &unit.targetType
                         : key == "TargetProcessing" ? &unit.targetProcessing
                         : key == "ColorFrom"        ? &unit.colorFrom
                                                     : &unit.transferMode;
  EXPECT_EQ(*field, e.count);
  EXPECT_EQ(readInto(unit, key + " Bogus "), 0);
  EXPECT_EQ(*field, e.fallback);
  EXPECT_EQ(readInto(unit, key + " \"" + last + "\" "), 0);
  EXPECT_EQ(readInto(unit, key + " "), 0);  // the input ends before the value
  EXPECT_EQ(*field, e.fallback);
}

TEST(GlowUnitFields, TargetTypeNamesReadByExactSpelling) {
  GlowUnit unit("GlowUnit");
  readInto(unit, "TargetType \"Circle\" ");
  EXPECT_EQ(unit.targetType, TargetType::Circle);
  readInto(unit, "TargetType \"alpha\" ");
  EXPECT_EQ(unit.targetType, TargetType::Alpha);
}

struct SwitchCase {
  const char* token;
  bool before;
  bool after;
};

class Switches : public ::testing::TestWithParam<SwitchCase> {};

INSTANTIATE_TEST_SUITE_P(
    Tokens, Switches,
    ::testing::Values(SwitchCase{"on", false, true}, SwitchCase{"2", false, true},
                      SwitchCase{"-1", false, true}, SwitchCase{"off", true, false},
                      SwitchCase{"0", true, false}, SwitchCase{"yes", true, true},
                      SwitchCase{"yes", false, false}, SwitchCase{"4294967296", true, true},
                      SwitchCase{"", true, true}));

TEST_P(Switches, BothFlagsReadOnOffAndNumbers) {
  for (const char* key : {"TargetShowTarget", "CompositeOnOriginal"}) {
    GlowUnit unit("GlowUnit");
    unit.targetShowTarget = unit.compositeOnOriginal = GetParam().before;
    EXPECT_EQ(readInto(unit, std::string(key) + " " + GetParam().token + " "), 0);
    EXPECT_EQ(std::strcmp(key, "TargetShowTarget") == 0 ? unit.targetShowTarget
                                                        : unit.compositeOnOriginal,
              GetParam().after)
        << key << " " << GetParam().token;
  }
}

TEST(GlowUnitFields, RealsKeepTheirValueWithoutAFiniteNumber) {
  for (const char* key :
       {"TargetBrightCutoff", "TargetDarkCutoff", "TargetFeather", "Boost", "Softness"}) {
    GlowUnit unit("GlowUnit");
    EXPECT_EQ(readInto(unit, std::string(key) + " 12.5 "), 0);
    double* field = std::strcmp(key, "TargetBrightCutoff") == 0 ? &unit.targetBrightCutoff
                    : std::strcmp(key, "TargetDarkCutoff") == 0 ? &unit.targetDarkCutoff
                    : std::strcmp(key, "TargetFeather") == 0    ? &unit.targetFeather
                    : std::strcmp(key, "Boost") == 0            ? &unit.boost
                                                                : &unit.softness;
    EXPECT_EQ(*field, 12.5);
    for (const char* bad : {"nan ", "inf ", "-infinity ", "1e400 ", "x ", ""}) {
      EXPECT_EQ(readInto(unit, std::string(key) + " " + bad), 0);
      EXPECT_EQ(*field, 12.5) << key << " " << bad;
    }
  }
}

TEST(GlowUnitColor, EverySixteenBitValueSurvivesTheTextTrip) {
  // One file with a CustomColor line per value; each command is checked as it is read.
  std::string text;
  for (uint32_t v = 0; v <= 65535; ++v) {
    char line[128];
    std::snprintf(line, sizeof line, "CustomColor %f %f %f\n", colorChannelFraction(v),
                  colorChannelFraction(static_cast<uint16_t>(65535 - v)), colorChannelFraction(v));
    text += line;
  }
  TempDir dir;
  writeBytes(dir.path() / "colors", text);
  FileHandle in((dir.path() / "colors").string());
  ASSERT_EQ(in.openRead(), 0);
  GlowUnit unit("GlowUnit");
  CommandStream stream(&unit);
  stream.setInput(&in);
  for (uint32_t v = 0; v <= 65535; ++v) {
    ASSERT_EQ(stream.processTop(), 0);
    ASSERT_EQ(unit.customColor.red, v);
    ASSERT_EQ(unit.customColor.green, 65535 - v);
  }
}

TEST(GlowUnitColor, KnownValuesOutOfRangeAndPartialColours) {
  struct Case {
    const char* tokens;
    Color16 expected;
  };
  const Case cases[] = {
      {"1.000000 0.501961 0.007843", {65535, 32896, 514}},
      {"0.000015 0 0", {1, 0, 0}},
      {"1.5 -0.5 0", {65535, 0, 0}},
      {"0.5 x 1", {32768, 0, 0}},  // green unreadable: green and blue stay 0
      {"nan 1 1", {0, 0, 0}},
      {"1e50 1 1", {0, 0, 0}},
      {"0.25 0.75", {16384, 49151, 0}},  // the input ends before blue
  };
  for (const Case& c : cases) {
    GlowUnit unit("GlowUnit");
    EXPECT_EQ(readInto(unit, std::string("CustomColor ") + c.tokens + " "), 0);
    EXPECT_EQ(unit.customColor.red, c.expected.red) << c.tokens;
    EXPECT_EQ(unit.customColor.green, c.expected.green) << c.tokens;
    EXPECT_EQ(unit.customColor.blue, c.expected.blue) << c.tokens;
  }
}

TEST(GlowUnitName, QuotesAreWrittenUnescapedAndCutTheNameOnReading) {
  GlowUnit unit("say \"hi\" there");
  const std::string text = textOf(unit);
  EXPECT_NE(text.find("  Name \"say \"hi\" there\"\n\n"), std::string::npos);
  GlowUnit back("GlowUnit");
  EXPECT_EQ(readInto(back, text), 0);
  EXPECT_STREQ(back.name, "say ");
}

TEST(GlowUnitName, MissingNameOrForeignEndFails) {
  GlowUnit unit("GlowUnit");
  EXPECT_EQ(readInto(unit, "Name "), -1);
  EXPECT_STREQ(lastStreamError(),
               "Error processing scene command <<Name>> for class <<GlowUnit>> at byte 4.");
  EXPECT_EQ(readInto(unit, "end Other "), -1);
  EXPECT_EQ(readInto(unit, "end GlowUnit"), -1);  // no blank behind the class name
  EXPECT_EQ(readInto(unit, "Name \"" + std::string(300, 'n') + "\" end GlowUnit "), 0);
  EXPECT_EQ(std::string(unit.name), std::string(255, 'n'));
}

TEST(GlowUnitRegistry, EveryConstructionRegistersAgain) {
  GlowUnit first("GlowUnit");
  Registry& registry = first.commandRegistry();
  Registry::Entry* entry = registry.findOrAdd("Softness", nullptr);
  const int32_t before = entry->references;
  { GlowUnit second("GlowUnit"); }
  EXPECT_EQ(entry->references, before + 1);
  EXPECT_NE(entry->handler, nullptr);
  registry.release(entry);
}

// What "%f" keeps of a real: six decimals.
double asWritten(double value) {
  char text[512];
  std::snprintf(text, sizeof text, "%f", value);
  return std::strtod(text, nullptr);
}

TEST(GlowUnitProperty, AnyRecordReadsBackFieldByField) {
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> real(-2000.0, 2000.0);
  for (int round = 0; round < 300; ++round) {
    GlowUnit unit("GlowUnit");
    std::string name;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) {
      char c = static_cast<char>(' ' + random() % 95);
      name += c == '"' ? '\'' : c;  // a quote would end the name
    }
    if (!name.empty() && name.back() == '\\') name.back() = '/';  // would escape the quote
    std::snprintf(unit.name, sizeof unit.name, "%s", name.c_str());
    unit.targetType = static_cast<int32_t>(random() % 10);
    unit.targetProcessing = static_cast<int32_t>(random() % 7);
    unit.colorFrom = static_cast<int32_t>(random() % 4);
    unit.transferMode = static_cast<int32_t>(random() % 10);
    unit.targetBrightCutoff = real(random);
    unit.targetDarkCutoff = real(random);
    unit.targetFeather = real(random) * 1e3;
    unit.boost = real(random) / 1e3;
    unit.softness = real(random) / 1e4;
    unit.targetShowTarget = random() % 2;
    unit.compositeOnOriginal = random() % 2;
    unit.customColor = {static_cast<uint16_t>(random()), static_cast<uint16_t>(random()),
                        static_cast<uint16_t>(random())};

    GlowUnit back("other");
    back.targetShowTarget = !unit.targetShowTarget;
    ASSERT_EQ(readInto(back, textOf(unit), 1 + random() % 64), 0);
    EXPECT_EQ(std::string(back.name), name);
    EXPECT_EQ(back.targetType, targetTypeCode(targetTypeName(unit.targetType)));
    EXPECT_EQ(back.targetProcessing,
              targetProcessingCode(targetProcessingName(unit.targetProcessing)));
    EXPECT_EQ(back.colorFrom, colorFromCode(colorFromName(unit.colorFrom)));
    EXPECT_EQ(back.transferMode, transferModeCode(transferModeName(unit.transferMode)));
    EXPECT_EQ(back.targetBrightCutoff, asWritten(unit.targetBrightCutoff));
    EXPECT_EQ(back.targetDarkCutoff, asWritten(unit.targetDarkCutoff));
    EXPECT_EQ(back.targetFeather, asWritten(unit.targetFeather));
    EXPECT_EQ(back.boost, asWritten(unit.boost));
    EXPECT_EQ(back.softness, asWritten(unit.softness));
    EXPECT_EQ(back.targetShowTarget, unit.targetShowTarget);
    EXPECT_EQ(back.compositeOnOriginal, unit.compositeOnOriginal);
    EXPECT_EQ(back.customColor.red, unit.customColor.red);
    EXPECT_EQ(back.customColor.green, unit.customColor.green);
    EXPECT_EQ(back.customColor.blue, unit.customColor.blue);
    // Written again, the record gives the same bytes.
    EXPECT_EQ(textOf(back), textOf(unit)) << round;
  }
}

// Everything a read leaves behind, for comparing two reads.
std::string outcomeOf(GlowUnit& unit, int32_t status) {
  char text[2048];
  std::snprintf(text, sizeof text,
                "%d|%s|%d|%d|%.17g|%.17g|%.17g|%d|%d|%u,%u,%u|%.17g|%.17g|%d|%d|%s", status,
                unit.name, unit.targetType, unit.targetProcessing, unit.targetBrightCutoff,
                unit.targetDarkCutoff, unit.targetFeather, unit.targetShowTarget, unit.colorFrom,
                unit.customColor.red, unit.customColor.green, unit.customColor.blue, unit.boost,
                unit.softness, unit.transferMode, unit.compositeOnOriginal, lastStreamError());
  return text;
}

TEST(GlowUnitDamaged, DamagedRecordsReadTheSameUnderAnyChunking) {
  GlowUnit model("GlowUnit");
  model.targetFeather = 12.5;
  model.customColor = {1, 514, 32896};
  const std::string original = textOf(model);
  const char* inserts[] = {
      "\"",          "#", "\\", "\n", "\r", " ", "end ", "Name ", "x", "\"\"", "**EndOfStream** ",
      "CustomColor "};
  std::mt19937 random(77);
  TempDir dir;
  for (int round = 0; round < 150; ++round) {
    std::string bytes = original;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const size_t at = random() % (bytes.size() + 1);
      switch (random() % 4) {
        case 0:
          bytes.insert(at, inserts[random() % std::size(inserts)]);
          break;
        case 1:
          if (at < bytes.size()) bytes.erase(at, 1 + random() % 8);
          break;
        case 2:
          if (at < bytes.size()) bytes[at] = static_cast<char>(random());
          break;
        default:
          bytes.resize(at);  // cut short
      }
    }
    writeBytes(dir.path() / "damaged", bytes);
    GlowUnit whole("GlowUnit");
    const std::string expected =
        outcomeOf(whole, readFileInto(whole, dir.path() / "damaged", 50000));
    for (size_t chunk : {2, 3, 7, 64}) {
      GlowUnit pieces("GlowUnit");
      ASSERT_EQ(outcomeOf(pieces, readFileInto(pieces, dir.path() / "damaged", chunk)), expected)
          << "chunk " << chunk << " round " << round;
    }
  }
}

}  // namespace
}  // namespace shimmerly
