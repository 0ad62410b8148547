// A small built-in bitmap font for labels on contact sheets: 5 × 7 pixel glyphs on a 6-pixel
// advance for digits, capital letters and common punctuation; small letters draw as capitals and
// anything else as '?'. Draws into a Canvas of host pixels (alpha, red, green, blue), top row
// first, clipped at its edges, at an integer scale.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "host/host_api.h"

namespace shimmerly::cli {

// An image owned by the command-line host: width × height pixels, rows back to back, top first.
struct Canvas {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<PF_Pixel> pixels;

  Canvas() = default;
  Canvas(int32_t w, int32_t h, PF_Pixel fill = {0, 0, 0, 0})
      : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}
  PF_Pixel& at(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * width + x]; }
  const PF_Pixel& at(int32_t x, int32_t y) const {
    return pixels[static_cast<size_t>(y) * width + x];
  }
};

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = 6;

// The glyph of one character: seven rows, bit 4 the leftmost column.
const uint8_t* glyphRows(char c);

// Width in pixels of the text at the scale (no trailing gap).
int32_t textWidth(std::string_view text, int scale);

// Draws the text with its top-left corner at (x, y); pixels outside the canvas are skipped.
void drawText(Canvas& canvas, int32_t x, int32_t y, std::string_view text, int scale,
              PF_Pixel colour);

}  // namespace shimmerly::cli
