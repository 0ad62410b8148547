// The formats read and written through OpenImageIO, with fixtures made here by OpenImageIO
// itself: every format's round trip, 16-bit and float input reduced as cli/sample_reduction.h
// says (and 16-bit TIFF equal to 16-bit PNG), associated alpha divided out on input and put back
// in OpenEXR files, extra channels dropped with a line saying so, a damaged file of every format
// failing with one line and leaving no output, the same render from every lossless 8-bit format,
// frame patterns of the new formats, JPEG output flattened, and a host without its OpenImageIO
// module still rendering PNG and PAM and naming what it lacks.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>
#include <png.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "cli/sample_reduction.h"
#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

namespace fs = std::filesystem;
using shimmerly::testing::TempDir;

// Seeded random RGBA: every alpha from 0 to 255 turns up.
Image randomImage(int32_t width, int32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
  for (uint8_t& byte : image.rgba) byte = static_cast<uint8_t>(random());
  return image;
}

// Smooth opaque gradients, for the lossy formats.
Image smoothImage(int32_t width, int32_t height) {
  Image image{width, height, {}};
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      image.rgba.insert(image.rgba.end(), {static_cast<uint8_t>(x * 255 / (width - 1)),
                                           static_cast<uint8_t>(y * 255 / (height - 1)), 128, 255});
  return image;
}

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Writes samples of any type with OpenImageIO, as other programs make such files.
template <typename Sample>
void writeWithOiio(const std::string& path, int width, int height, int channels, int alpha,
                   OIIO::TypeDesc type, const std::vector<Sample>& samples, bool unassociated) {
  std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out) << OIIO::geterror();
  OIIO::ImageSpec header(width, height, channels, type);
  header.alpha_channel = alpha;
  if (unassociated) header.attribute("oiio:UnassociatedAlpha", 1);
  ASSERT_TRUE(out->open(path, header)) << out->geterror();
  ASSERT_TRUE(out->write_image(OIIO::BaseTypeFromC<Sample>::value, samples.data()))
      << out->geterror();
  ASSERT_TRUE(out->close());
}

struct FormatCase {
  ImageFormat format;
  const char* extension;
};

std::vector<FormatCase> availableCases() {
  std::vector<FormatCase> cases;
  size_t count = 0;
  const FormatInfo* formats = allFormats(count);
  for (size_t i = 0; i < count; ++i)
    if (formatAvailable(formats[i].format))
      cases.push_back({formats[i].format, formats[i].extensions[0] + 1});
  return cases;
}

std::string caseName(const ::testing::TestParamInfo<FormatCase>& info) {
  return info.param.extension;
}

class FormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTest, RoundTrips) {
  const FormatInfo& info = formatInfo(GetParam().format);
  TempDir dir;
  const std::string path = (dir.path() / (std::string("f.") + GetParam().extension)).string();
  ASSERT_EQ(outputFormatFor(path), GetParam().format);
  if (info.lossless) {
    const Image image = randomImage(37, 23, 26);
    writeImage(path, image);
    std::string reduction = "stale";
    const Image back = readImage(path, &reduction);
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.height, 23);
    EXPECT_EQ(back.rgba, image.rgba);
    EXPECT_EQ(reduction, "");
  } else if (info.format == ImageFormat::OpenExr) {
    // Half floats keep every 8-bit value; colour under zero alpha is not stored.
    Image image = randomImage(37, 23, 27);
    writeImage(path, image);
    const Image back = readImage(path);
    for (size_t i = 0; i < image.rgba.size(); i += 4)
      if (image.rgba[i + 3] == 0) image.rgba[i] = image.rgba[i + 1] = image.rgba[i + 2] = 0;
    EXPECT_EQ(back.rgba, image.rgba);
  } else {
    // Lossy: near on a smooth picture, and opaque.
    const Image image = smoothImage(64, 48);
    writeImage(path, image);
    const Image back = readImage(path);
    ASSERT_EQ(back.rgba.size(), image.rgba.size());
    double error = 0;
    for (size_t i = 0; i < image.rgba.size(); ++i) error += std::abs(back.rgba[i] - image.rgba[i]);
    EXPECT_LT(error / static_cast<double>(image.rgba.size()), 2.0);
    for (size_t i = 3; i < back.rgba.size(); i += 4) ASSERT_EQ(back.rgba[i], 255);
  }
  // Written whole or not at all: no temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_P(FormatTest, DamagedFileFailsWithOneLine) {
  if (GetParam().format == ImageFormat::Pam) GTEST_SKIP() << "PAM's damaged files: image_io_test";
  TempDir dir;
  const std::string whole = (dir.path() / (std::string("w.") + GetParam().extension)).string();
  writeImage(whole, randomImage(64, 48, 28));
  const std::string bytes = bytesOf(whole);
  // Cut short, and with its first bytes kept but the rest overwritten.
  const std::string cut = bytes.substr(0, bytes.size() / 2);
  std::string scrambled = bytes;
  for (size_t i = 8; i < scrambled.size(); ++i) scrambled[i] = static_cast<char>(i * 7);
  for (const std::string& content : {cut, scrambled}) {
    const std::string path = (dir.path() / (std::string("bad.") + GetParam().extension)).string();
    std::ofstream(path, std::ios::binary) << content;
    try {
      const Image image = readImage(path);
      ADD_FAILURE() << "read a damaged " << GetParam().extension << " file";
    } catch (const std::runtime_error& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Available, FormatTest, ::testing::ValuesIn(availableCases()), caseName);

TEST(FormatChoice, UnknownExtensionNamesTheAvailableOnes) {
  try {
    outputFormatFor("out.xyz");
    FAIL();
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(".exr"), std::string::npos) << message;
    EXPECT_NE(message.find(".tif"), std::string::npos) << message;
  }
  EXPECT_EQ(outputFormatFor("A.TIFF"), ImageFormat::Tiff);
  EXPECT_EQ(outputFormatFor("a.JPEG"), ImageFormat::Jpeg);
  EXPECT_NE(availableFormats().find("OpenEXR"), std::string::npos);
}

TEST(Reduction, SixteenBitTiffEqualsSixteenBitPngAndSaysSo) {
  TempDir dir;
  // Every 16-bit value once, as RGBA samples of a 128 × 128 frame.
  std::vector<uint16_t> samples(128 * 128 * 4);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<uint16_t>((i * 40503) & 0xffff);
  const std::string tiff = (dir.path() / "s.tif").string();
  const std::string png = (dir.path() / "s.png").string();
  writeWithOiio(tiff, 128, 128, 4, 3, OIIO::TypeDesc::UINT16, samples, true);
  writeWithOiio(png, 128, 128, 4, 3, OIIO::TypeDesc::UINT16, samples, true);
  std::string tiffNote, pngNote;
  const Image fromTiff = readImage(tiff, &tiffNote);
  const Image fromPng = readImage(png, &pngNote);
  for (size_t i = 0; i < samples.size(); ++i)
    ASSERT_EQ(fromTiff.rgba[i], std::lround(samples[i] / 257.0)) << i;
  EXPECT_EQ(fromTiff.rgba, fromPng.rgba);
  EXPECT_EQ(tiffNote, "16-bit samples reduced to 8 bits");
  EXPECT_EQ(pngNote, tiffNote);
}

TEST(Reduction, FloatExrIsClampedRoundedAndMadeStraight) {
  TempDir dir;
  const std::string path = (dir.path() / "f.exr").string();
  // Associated, as OpenEXR stores it: (1, 0.5, 0.25) at half alpha; out of range and NaN;
  // colour under zero alpha.
  const std::vector<float> samples = {0.5f, 0.25f, 0.125f, 0.5f, 2.0f, -1.0f,  NAN,   1.0f,
                                      0.3f, 0.3f,  0.3f,   0.0f, 0.0f, 0.125f, 0.25f, 0.5f};
  writeWithOiio(path, 2, 2, 4, 3, OIIO::TypeDesc::FLOAT, samples, false);
  std::string note;
  const Image image = readImage(path, &note);
  EXPECT_EQ(image.rgba,
            (std::vector<uint8_t>{255, 128, 64, 128, 255, 0, 0, 255, 0, 0, 0, 0, 0, 64, 128, 128}));
  EXPECT_EQ(note, "32-bit float samples reduced to 8 bits");
}

TEST(Reduction, HalfExrWithADepthChannelDropsIt) {
  TempDir dir;
  const std::string path = (dir.path() / "z.exr").string();
  std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(path);
  OIIO::ImageSpec header(1, 1, 5, OIIO::TypeDesc::HALF);
  header.channelnames = {"R", "G", "B", "A", "Z"};
  header.alpha_channel = 3;
  header.z_channel = 4;
  const float pixel[5] = {0.25f, 0.5f, 0.75f, 1.0f, 1000.0f};
  ASSERT_TRUE(out->open(path, header));
  ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, pixel));
  ASSERT_TRUE(out->close());
  std::string note;
  const Image image = readImage(path, &note);
  EXPECT_EQ(image.rgba, (std::vector<uint8_t>{64, 128, 191, 255}));
  EXPECT_EQ(note, "half-float samples reduced to 8 bits; 1 channel past RGBA dropped");
}

TEST(AssociatedAlpha, ExrIsWrittenPremultipliedAndReadStraight) {
  TempDir dir;
  const std::string path = (dir.path() / "p.exr").string();
  const Image image{1, 1, {200, 100, 50, 128}};
  writeImage(path, image);
  std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path);
  ASSERT_TRUE(in);
  float stored[4];
  ASSERT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, stored));
  const double alpha = 128 / 255.0;
  EXPECT_NEAR(stored[0], 200 / 255.0 * alpha, 1e-3);
  EXPECT_NEAR(stored[1], 100 / 255.0 * alpha, 1e-3);
  EXPECT_NEAR(stored[3], alpha, 1e-3);
  EXPECT_EQ(readImage(path).rgba, image.rgba);
}

TEST(AssociatedAlpha, TiffMarkedAssociatedIsMadeStraight) {
  TempDir dir;
  const std::string path = (dir.path() / "a.tif").string();
  // 8-bit associated: (100, 50, 0) at alpha 200 is straight (128, 64, 0).
  writeWithOiio(path, 1, 1, 4, 3, OIIO::TypeDesc::UINT8, std::vector<uint8_t>{100, 50, 0, 200},
                false);
  EXPECT_EQ(readImage(path).rgba, (std::vector<uint8_t>{128, 64, 0, 200}));
}

TEST(Channels, GreyTiffBecomesRgb) {
  TempDir dir;
  const std::string path = (dir.path() / "g.tif").string();
  writeWithOiio(path, 2, 1, 1, -1, OIIO::TypeDesc::UINT8, std::vector<uint8_t>{7, 250}, true);
  std::string note = "stale";
  EXPECT_EQ(readImage(path, &note).rgba, (std::vector<uint8_t>{7, 7, 7, 255, 250, 250, 250, 255}));
  EXPECT_EQ(note, "");
}

// ---- `shimmerly render` with these formats ----

struct CommandResult {
  int status;
  std::string output;
};

CommandResult shimmerly(const TempDir& home, const std::string& arguments,
                        const std::string& cli = SHIMMERLY_CLI_PATH) {
  CommandResult result{-1, {}};
  const std::string command =
      "HOME='" + home.str() + "' '" + cli + "' render " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), got);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Opaque-cornered shapes on a partly transparent ground, for renders.
Image renderInput() {
  Image image = randomImage(48, 32, 29);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 48; ++x) {
      uint8_t* p = &image.rgba[(static_cast<size_t>(y) * 48 + x) * 4];
      const bool shape = (x - 20) * (x - 20) + (y - 15) * (y - 15) < 80;
      p[3] = shape ? 255 : static_cast<uint8_t>(p[3] / 4);
    }
  return image;
}

TEST(RenderFormats, LosslessInputsRenderTheSameBytes) {
  TempDir home, dir;
  const Image input = renderInput();
  std::string first;
  for (const char* ext : {"png", "pam", "tif", "tga", "bmp", "dpx"}) {
    const std::string in = (dir.path() / (std::string("in.") + ext)).string();
    const std::string out = (dir.path() / (std::string("out-") + ext + ".pam")).string();
    writeImage(in, input);
    const CommandResult result = shimmerly(home, "'" + in + "' -o '" + out + "' -q");
    ASSERT_EQ(result.status, 0) << result.output;
    const std::string bytes = bytesOf(out);
    if (first.empty())
      first = bytes;
    else
      EXPECT_EQ(bytes, first) << ext;
  }
}

TEST(RenderFormats, DamagedInputGivesOneLineAndNoOutput) {
  TempDir home, dir;
  for (const char* ext : {"tif", "tga", "jpg", "exr", "dpx", "bmp", "webp"}) {
    const std::string in = (dir.path() / (std::string("in.") + ext)).string();
    writeImage(in, renderInput());
    const std::string bytes = bytesOf(in);
    std::ofstream(in, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 3);
    const std::string out = (dir.path() / (std::string("out.") + ext)).string();
    const CommandResult result = shimmerly(home, "'" + in + "' -o '" + out + "' -q");
    EXPECT_NE(result.status, 0) << ext;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    EXPECT_NE(result.output.find(in), std::string::npos) << result.output;
    EXPECT_FALSE(fs::exists(out)) << ext;
  }
}

TEST(RenderFormats, SequencesOfTheNewFormats) {
  TempDir home, dir;
  for (int frame = 1; frame <= 3; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "in.%04d.exr", frame);
    writeImage((dir.path() / name).string(), randomImage(24, 16, 30 + frame));
  }
  const CommandResult result =
      shimmerly(home, "'" + (dir.path() / "in.####.exr").string() + "' -o '" +
                          (dir.path() / "out.####.tif").string() + "' -q");
  ASSERT_EQ(result.status, 0) << result.output;
  for (int frame = 1; frame <= 3; ++frame) {
    char in[32], out[32], single[32];
    std::snprintf(in, sizeof in, "in.%04d.exr", frame);
    std::snprintf(out, sizeof out, "out.%04d.tif", frame);
    std::snprintf(single, sizeof single, "one.%04d.png", frame);
    const CommandResult one = shimmerly(home, "'" + (dir.path() / in).string() + "' -o '" +
                                                  (dir.path() / single).string() + "' -q");
    ASSERT_EQ(one.status, 0) << one.output;
    EXPECT_EQ(readImage((dir.path() / out).string()).rgba,
              readImage((dir.path() / single).string()).rgba)
        << frame;
  }
}

TEST(RenderFormats, ReductionIsSaidOnceAndJpegIsFlattened) {
  TempDir home, dir;
  std::vector<uint16_t> samples(8 * 8 * 4, 0);  // transparent black, 16-bit
  for (int frame = 1; frame <= 2; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "in.%d.tif", frame);
    writeWithOiio((dir.path() / name).string(), 8, 8, 4, 3, OIIO::TypeDesc::UINT16, samples, true);
  }
  const CommandResult result =
      shimmerly(home, "'" + (dir.path() / "in.#.tif").string() + "' -o '" +
                          (dir.path() / "out.#.jpg").string() + "' --verbose");
  ASSERT_EQ(result.status, 0) << result.output;
  size_t said = 0;
  for (size_t at = 0; (at = result.output.find("16-bit samples reduced", at)) != std::string::npos;
       ++at)
    ++said;
  EXPECT_EQ(said, 1u) << result.output;
  EXPECT_NE(result.output.find("flattened over black"), std::string::npos) << result.output;
  const Image out = readImage((dir.path() / "out.1.jpg").string());
  for (size_t i = 0; i < out.rgba.size(); i += 4) ASSERT_LE(out.rgba[i], 3) << i;
}

TEST(RenderFormats, WithoutItsModuleTheHostRendersPngAndNamesWhatItLacks) {
  TempDir home, dir;
  const fs::path cli = dir.path() / "shimmerly";
  fs::copy_file(SHIMMERLY_CLI_PATH, cli);
  fs::copy_file(SHIMMERLY_PLUGIN_PATH, dir.path() / fs::path(SHIMMERLY_PLUGIN_PATH).filename());
  const std::string png = (dir.path() / "in.png").string(), tif = (dir.path() / "in.tif").string();
  writeImage(png, renderInput());
  writeImage(tif, renderInput());

  CommandResult result = shimmerly(
      home, "'" + png + "' -o '" + (dir.path() / "out.png").string() + "' -q", cli.string());
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(fs::exists(dir.path() / "out.png"));
  result = shimmerly(home, "'" + png + "' -o '" + (dir.path() / "out.tif").string() + "' -q",
                     cli.string());
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.output.find("cannot write TIFF files (it writes PNG, PAM)"), std::string::npos)
      << result.output;
  result = shimmerly(home, "'" + tif + "' -o '" + (dir.path() / "out2.png").string() + "' -q",
                     cli.string());
  EXPECT_NE(result.status, 0);
  EXPECT_NE(result.output.find("unsupported image format (this build reads PNG, PAM)"),
            std::string::npos)
      << result.output;
  EXPECT_FALSE(fs::exists(dir.path() / "out.tif"));
  EXPECT_FALSE(fs::exists(dir.path() / "out2.png"));
}

}  // namespace
}  // namespace shimmerly::cli
