// The label font and the contact-sheet grid, thumbnails and tile placement.
#include "cli/contact_sheet.h"

#include <gtest/gtest.h>

#include <set>

namespace shimmerly::cli {
namespace {

bool operator==(const PF_Pixel& a, const PF_Pixel& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

TEST(BitmapFont, EveryGlyphIsDistinctAndUnknownsFallBack) {
  std::set<std::vector<uint8_t>> seen;
  const char* chars = " !\"#%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]_|";
  for (const char* c = chars; *c; ++c) {
    const uint8_t* rows = glyphRows(*c);
    std::vector<uint8_t> bits(rows, rows + kGlyphHeight);
    for (uint8_t row : bits) EXPECT_LT(row, 32) << *c;
    EXPECT_TRUE(seen.insert(bits).second) << "glyph of '" << *c << "' repeats another";
  }
  EXPECT_EQ(glyphRows('g'), glyphRows('G'));
  EXPECT_EQ(glyphRows('~'), glyphRows('?'));
  EXPECT_EQ(glyphRows('\xe9'), glyphRows('?'));
}

TEST(BitmapFont, DrawsScaledGlyphsAndClips) {
  const PF_Pixel ink{255, 1, 2, 3};
  Canvas canvas(20, 20);
  drawText(canvas, 1, 2, "L", 2, ink);
  // "L": the left column all the way down, then the bottom row.
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      bool inGlyph = x >= 1 && x < 11 && y >= 2 && y < 16;
      bool inked = inGlyph && ((x - 1) / 2 == 0 || (y - 2) / 2 == 6);
      EXPECT_EQ(canvas.at(x, y) == ink, inked) << x << "," << y;
    }
  Canvas small(3, 3);
  drawText(small, -4, -3, "WW", 1, ink);  // partly off every edge
  EXPECT_EQ(textWidth("WW", 1), 11);
  EXPECT_EQ(textWidth("", 3), 0);
}

TEST(ContactSheet, GridHoldsEveryTileWithoutOverlap) {
  for (int32_t count : {1, 2, 5, 8, 17}) {
    SheetLayout layout = layoutSheet(count, 160, 90);
    EXPECT_LE(layout.columns, 4);
    EXPECT_GE(layout.columns * layout.rows, count);
    EXPECT_LT(layout.columns * (layout.rows - 1), count) << "an empty last row";
    for (int32_t i = 0; i < count; ++i) {
      EXPECT_GE(layout.tileX(i), 0);
      EXPECT_LE(layout.tileX(i) + layout.tileWidth, layout.width);
      EXPECT_LE(layout.tileY(i) + layout.tileHeight + layout.labelHeight, layout.height);
      for (int32_t j = 0; j < i; ++j) {
        bool apartX = layout.tileX(i) >= layout.tileX(j) + layout.tileWidth ||
                      layout.tileX(j) >= layout.tileX(i) + layout.tileWidth;
        bool apartY = layout.tileY(i) >= layout.tileY(j) + layout.tileHeight + layout.labelHeight ||
                      layout.tileY(j) >= layout.tileY(i) + layout.tileHeight + layout.labelHeight;
        EXPECT_TRUE(apartX || apartY) << count << ": " << i << " and " << j;
      }
    }
  }
  EXPECT_EQ(layoutSheet(9, 50, 50).columns, 3);
  EXPECT_THROW(layoutSheet(0, 10, 10), std::invalid_argument);
}

TEST(ContactSheet, ThumbnailsKeepAspectAndNeverGrow) {
  int32_t w = 0, h = 0;
  thumbnailSize(1920, 1080, 320, w, h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 180);
  thumbnailSize(100, 4000, 200, w, h);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 200);
  thumbnailSize(64, 48, 320, w, h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
}

TEST(ContactSheet, ShrinkAveragesColourByAlpha) {
  // 4 × 2 source: two opaque blocks (black, white) and one block of red half transparent.
  std::vector<PF_Pixel> src(4 * 2 + 2 * 2);  // rows of 6 pixels: a 2-pixel gap
  auto at = [&](int x, int y) -> PF_Pixel& { return src[y * 6 + x]; };
  for (int y = 0; y < 2; ++y) {
    at(0, y) = at(1, y) = PF_Pixel{255, 0, 0, 0};
    at(2, y) = PF_Pixel{255, 200, 0, 0};
    at(3, y) = PF_Pixel{0, 0, 255, 0};  // invisible green must not tint the average
  }
  Canvas out = shrinkImage(src.data(), 4, 2, 6 * 4, 2, 1);
  EXPECT_TRUE((out.at(0, 0) == PF_Pixel{255, 0, 0, 0}));
  EXPECT_TRUE((out.at(1, 0) == PF_Pixel{128, 200, 0, 0}));
}

TEST(ContactSheet, TilesFlattenOverCheckerAndCarryLabels) {
  SheetLayout layout = layoutSheet(2, 40, 20);
  Canvas sheet = makeSheet(layout);
  const PF_Pixel background = sheet.at(0, 0);
  Canvas tile(40, 20, PF_Pixel{0, 0, 0, 0});
  tile.at(5, 5) = PF_Pixel{255, 9, 8, 7};
  placeTile(sheet, layout, 1, tile, "Magic Glue 1");
  int32_t x0 = layout.tileX(1), y0 = layout.tileY(1);
  EXPECT_TRUE((sheet.at(x0 + 5, y0 + 5) == PF_Pixel{255, 9, 8, 7}));
  // Transparent pixels show two shades of checker, all opaque.
  EXPECT_EQ(sheet.at(x0, y0).alpha, 255);
  EXPECT_NE(sheet.at(x0, y0).red, sheet.at(x0 + 8, y0).red);
  // Tile 0 untouched; label ink somewhere in the band under tile 1.
  EXPECT_TRUE(sheet.at(layout.tileX(0), layout.tileY(0)) == background);
  int inked = 0;
  for (int32_t y = y0 + 20; y < y0 + 20 + layout.labelHeight; ++y)
    for (int32_t x = x0; x < x0 + 40; ++x) inked += !(sheet.at(x, y) == background);
  EXPECT_GT(inked, 10);
}

TEST(ContactSheet, LongLabelsAreCut) {
  EXPECT_EQ(fitLabel("Normal", 100, 1), "Normal");
  std::string cut = fitLabel("A Very Long Preset Name", 60, 1);
  EXPECT_LE(textWidth(cut, 1), 60);
  EXPECT_EQ(cut.substr(cut.size() - 3), "...");
  EXPECT_EQ(fitLabel("Wide", 3, 1), "");
}

}  // namespace
}  // namespace shimmerly::cli
