// Image files of the command-line host: every 8-bit PNG colour type and 16-bit reduction, PAM
// RGB and RGB_ALPHA, round trips, the PNG writer at every compression level (read back by libpng
// and by ffmpeg), damaged input, and writes that replace a file only when whole.
#include <gtest/gtest.h>

#include <png.h>
#include <ostream>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/image_io.h"
#include "support/temp_dir.h"

namespace shimmerly::cli {
namespace {

namespace fs = std::filesystem;
using shimmerly::testing::TempDir;

// Writes a 3 × 2 PNG of the given type with libpng's simple row interface.
struct PngCase {
  const char* name;
  int colorType;
  int bitDepth;
  std::vector<uint8_t> rows;          // packed rows, 2 of them
  std::vector<uint8_t> expectedRgba;  // 6 pixels
  bool palette = false;
};

void writeTestPng(const std::string& path, const PngCase& pngCase) {
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, 3, 2, pngCase.bitDepth, pngCase.colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (pngCase.palette) {
    png_color colours[3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    png_set_PLTE(png, info, colours, 3);
    png_byte alphas[3] = {255, 128, 0};
    png_set_tRNS(png, info, alphas, 3, nullptr);
  }
  png_write_info(png, info);
  const size_t rowBytes = pngCase.rows.size() / 2;
  for (int y = 0; y < 2; ++y)
    png_write_row(png, const_cast<png_bytep>(pngCase.rows.data() + y * rowBytes));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

std::string pngName(const ::testing::TestParamInfo<PngCase>& info) {
  return info.param.name;
}

void PrintTo(const PngCase& c, std::ostream* os) {
  *os << c.name;
}

class PngReadTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngReadTest, ReadsAsStraightRgba) {
  TempDir dir;
  const std::string path = (dir.path() / "in.png").string();
  writeTestPng(path, GetParam());
  Image image = readImage(path);
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.rgba, GetParam().expectedRgba);
}

INSTANTIATE_TEST_SUITE_P(
    ColourTypes, PngReadTest,
    ::testing::Values(
        PngCase{
            "Grey", PNG_COLOR_TYPE_GRAY, 8, {0, 128, 255, 1, 2, 3}, {0,   0,   0,   255, 128, 128,
                                                                     128, 255, 255, 255, 255, 255,
                                                                     1,   1,   1,   255, 2,   2,
                                                                     2,   255, 3,   3,   3,   255}},
        PngCase{
            "Grey1Bit", PNG_COLOR_TYPE_GRAY, 1, {0xA0, 0x40}, {255, 255, 255, 255, 0, 0, 0, 255,
                                                               255, 255, 255, 255, 0, 0, 0, 255,
                                                               255, 255, 255, 255, 0, 0, 0, 255}},
        PngCase{"GreyAlpha",
                PNG_COLOR_TYPE_GRAY_ALPHA,
                8,
                {10, 0, 20, 128, 30, 255, 40, 1, 50, 2, 60, 3},
                {10, 10, 10, 0, 20, 20, 20, 128, 30, 30, 30, 255,
                 40, 40, 40, 1, 50, 50, 50, 2,   60, 60, 60, 3}},
        PngCase{"PaletteWithTransparency",
                PNG_COLOR_TYPE_PALETTE,
                8,
                {0, 1, 2, 2, 1, 0},
                {255, 0, 0,   255, 0, 255, 0, 128, 0,   0, 255, 0,
                 0,   0, 255, 0,   0, 255, 0, 128, 255, 0, 0,   255},
                true},
        PngCase{"Rgb",
                PNG_COLOR_TYPE_RGB,
                8,
                {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
                {1,  2,  3,  255, 4,  5,  6,  255, 7,  8,  9,  255,
                 10, 11, 12, 255, 13, 14, 15, 255, 16, 17, 18, 255}},
        PngCase{
            "Rgba",
            PNG_COLOR_TYPE_RGB_ALPHA,
            8,
            {1, 2, 3, 0, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 255},
            {1,  2,  3,  0,  4,  5,  6,  7,  8,  9,  10, 11,
             12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 255}},
        // 16-bit samples are scaled to 8 bits: 0xFFFF -> 255, 0x8080 -> 128, 0x0101 -> 1.
        PngCase{"Rgba16",
                PNG_COLOR_TYPE_RGB_ALPHA,
                16,
                {0xFF, 0xFF, 0x80, 0x80, 0x01, 0x01, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0,    0,
                 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 1, 1, 1, 1, 1, 1, 1,    1,
                 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF},
                {255, 128, 1, 255, 0,   0,   0,   0,   128, 128, 128, 128,
                 1,   1,   1, 1,   255, 255, 255, 255, 0,   0,   0,   255}}),
    pngName);

Image testImage() {
  Image image;
  image.width = 5;
  image.height = 3;
  for (int i = 0; i < 5 * 3 * 4; ++i) image.rgba.push_back(static_cast<uint8_t>(i * 17 + 3));
  return image;
}

class RoundTripTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RoundTripTest, WritesAndReadsTheSamePixels) {
  TempDir dir;
  const std::string path = (dir.path() / GetParam()).string();
  const Image image = testImage();
  writeImage(path, image);
  Image back = readImage(path);
  EXPECT_EQ(back.width, 5);
  EXPECT_EQ(back.height, 3);
  EXPECT_EQ(back.rgba, image.rgba);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTripTest,
                         ::testing::Values("out.png", "out.pam", "OUT.PNG", "out.Pam"));

// A frame of several IDAT chunks' worth of rows: smooth gradients, hard edges and noise, so that
// every compression level has something to find and the filter sees each kind of row.
Image detailedImage(int32_t w, int32_t h) {
  Image image;
  image.width = w;
  image.height = h;
  uint32_t seed = 7;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const bool disc = (x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < h * h / 9;
      const auto noise = static_cast<uint8_t>(seed >> 27);
      image.rgba.insert(image.rgba.end(), {static_cast<uint8_t>(disc ? 250 : x * 255 / w),
                                           static_cast<uint8_t>(disc ? 240 - noise : y * 255 / h),
                                           static_cast<uint8_t>(20 + noise),
                                           static_cast<uint8_t>(x < w / 3 ? 255 : 90 + y % 7)});
    }
  return image;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(PngWriteTest, EveryCompressionLevelReadsBackAsTheSamePixels) {
  TempDir dir;
  const Image image = detailedImage(700, 900);  // about 2.5 MB of rows: several IDAT chunks at 0
  const bool haveFfmpeg = std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
  std::vector<size_t> sizes;
  for (int level = 0; level <= 9; ++level) {
    const std::string path = (dir.path() / ("l" + std::to_string(level) + ".png")).string();
    writeImage(path, image, WriteOptions{level});
    sizes.push_back(fileBytes(path).size());
    Image back = readImage(path);  // libpng checks every chunk's CRC and the zlib stream
    EXPECT_EQ(back.width, image.width) << "level " << level;
    EXPECT_EQ(back.height, image.height) << "level " << level;
    EXPECT_TRUE(back.rgba == image.rgba) << "level " << level;
    if (!haveFfmpeg) continue;
    const std::string raw = path + ".rgba";
    const std::string command =
        "ffmpeg -loglevel error -y -i '" + path + "' -f rawvideo -pix_fmt rgba '" + raw + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << "level " << level;
    EXPECT_TRUE(fileBytes(raw) == image.rgba) << "ffmpeg, level " << level;
  }
  // Level 0 stores the rows; every other level compresses, and 9 is no larger than 1.
  EXPECT_GT(sizes[0], image.rgba.size());
  for (int level = 1; level <= 9; ++level) EXPECT_LT(sizes[level], sizes[0] / 2) << level;
  EXPECT_LE(sizes[9], sizes[1]);
}

TEST(PngWriteTest, CompressionOptionTakesOneDigit) {
  EXPECT_EQ(parsePngCompression("0"), 0);
  EXPECT_EQ(parsePngCompression("9"), 9);
  for (const char* bad : {"", "10", "-1", "x", "1.5"}) {
    try {
      parsePngCompression(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("--png-compression"), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(encodeImage("x.png", testImage(), WriteOptions{10}), std::runtime_error);
}

TEST(PamReadTest, ReadsRgbWithOpaqueAlpha) {
  TempDir dir;
  const std::string path = (dir.path() / "in.pam").string();
  std::ofstream(path, std::ios::binary)
      << "P7\n# a comment\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n"
      << std::string("\x01\x02\x03\xfa\xfb\xfc", 6);
  Image image = readImage(path);
  EXPECT_EQ(image.rgba, (std::vector<uint8_t>{1, 2, 3, 255, 250, 251, 252, 255}));
}

struct DamagedCase {
  const char* name;
  std::string content;
};

std::string damagedName(const ::testing::TestParamInfo<DamagedCase>& info) {
  return info.param.name;
}

void PrintTo(const DamagedCase& c, std::ostream* os) {
  *os << c.name;
}

class DamagedInputTest : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedInputTest, FailsWithOneLineNamingTheFile) {
  TempDir dir;
  const std::string path = (dir.path() / "bad.img").string();
  std::ofstream(path, std::ios::binary) << GetParam().content;
  try {
    readImage(path);
    FAIL() << "read a damaged file";
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

std::string truncatedPng() {
  TempDir dir;
  const std::string path = (dir.path() / "t.png").string();
  writeImage(path, testImage());
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.substr(0, bytes.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, DamagedInputTest,
    ::testing::Values(
        DamagedCase{"Empty", ""}, DamagedCase{"Text", "hello, world\n"},
        DamagedCase{"TruncatedPng", truncatedPng()},
        DamagedCase{"PamDepth2", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 255\nENDHDR\nab"},
        DamagedCase{"PamMaxval65535", "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 3\nMAXVAL 65535\nENDHDR\n"},
        DamagedCase{"PamShortPixels", "P7\nWIDTH 4\nHEIGHT 4\nDEPTH 4\nMAXVAL 255\nENDHDR\nabc"},
        DamagedCase{"PamHugeSize",
                    "P7\nWIDTH 2000000000\nHEIGHT 2000000000\nDEPTH 4\nMAXVAL 255\nENDHDR\n"},
        DamagedCase{"PamNoEnd", "P7\nWIDTH 1\nHEIGHT 1\n"}),
    damagedName);

TEST(WriteImageTest, FailedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = (dir.path() / "keep.png").string();
  std::ofstream(path) << "old";
  Image broken = testImage();
  broken.rgba.resize(4);  // far fewer bytes than 5 × 3 pixels: refused before writing
  EXPECT_THROW(writeImage((dir.path() / "x.xyz").string(), testImage()), std::runtime_error);
  EXPECT_THROW(writeImage((dir.path() / "missing" / "x.png").string(), testImage()),
               std::runtime_error);
  EXPECT_THROW(writeImage(path, broken), std::runtime_error);
  std::ifstream in(path);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace shimmerly::cli
