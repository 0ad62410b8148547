// Flattening over a background colour: hand-computed pixels at the rounding's edges, the
// opaque and transparent ends, and the colour's text form.
#include "cli/flatten.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace shimmerly::cli {
namespace {

// PF_Pixel is alpha, red, green, blue.
PF_Pixel px(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  return PF_Pixel{a, r, g, b};
}

TEST(FlattenTest, MixesStraightColourOverTheBackgroundRoundedToNearest) {
  std::vector<PF_Pixel> pixels{
      px(255, 10, 200, 30),    // opaque: the colour itself
      px(0, 250, 250, 250),    // transparent: the background, whatever the colour
      px(128, 255, 255, 255),  // 255·128 + 32·127 = 36704; /255 = 143.94 -> 144
      px(1, 255, 0, 100),      // 255 + 32·254 = 8383 -> 32.87 -> 33; 8128 -> 31.87 -> 32;
                               // 100 + 8128 = 8228 -> 32.27 -> 32
      px(64, 0, 0, 0),         // 32·191 = 6112 -> 23.97 -> 24
      px(200, 100, 33, 1),     // 20000+1760=21760 -> 85.33 -> 85; 6600+1760=8360 -> 32.78 -> 33;
                               // 200+1760=1960 -> 7.69 -> 8
  };
  flattenOver(pixels.data(), pixels.size(), Rgb{32, 32, 32});
  const std::vector<std::vector<int>> expected{{255, 10, 200, 30},   {255, 32, 32, 32},
                                               {255, 144, 144, 144}, {255, 33, 32, 32},
                                               {255, 24, 24, 24},    {255, 85, 33, 8}};
  for (size_t i = 0; i < pixels.size(); ++i) {
    const PF_Pixel& p = pixels[i];
    EXPECT_EQ((std::vector<int>{p.alpha, p.red, p.green, p.blue}), expected[i]) << "pixel " << i;
  }
}

TEST(FlattenTest, ChannelsOfTheBackgroundStayApart) {
  std::vector<PF_Pixel> pixels{px(51, 0, 0, 0)};  // a = 0.2: 0.8 of each background channel
  flattenOver(pixels.data(), 1, parseBackground("#FF8001"));
  // 255·204/255 = 204; 128·204 = 26112 -> 102.4 -> 102; 204/255 = 0.8 -> 1.
  EXPECT_EQ((std::vector<int>{pixels[0].red, pixels[0].green, pixels[0].blue}),
            (std::vector<int>{204, 102, 1}));
}

TEST(FlattenTest, BackgroundTextIsSixHexDigits) {
  const Rgb c = parseBackground("a0B1c2");
  EXPECT_EQ((std::vector<int>{c.red, c.green, c.blue}), (std::vector<int>{0xa0, 0xb1, 0xc2}));
  for (const char* bad : {"", "12345", "1234567", "12345g", "##123456", "0x1234"}) {
    try {
      parseBackground(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("--background"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace shimmerly::cli
