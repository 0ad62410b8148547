// Contact-sheet grid, thumbnails and labels.
#include "cli/contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace shimmerly::cli {
namespace {

constexpr PF_Pixel kBackground{255, 28, 28, 32};
constexpr PF_Pixel kLabelColour{255, 235, 235, 235};
constexpr uint8_t kCheckerLight = 102;
constexpr uint8_t kCheckerDark = 76;
constexpr int32_t kCheckerCell = 8;

}  // namespace

SheetLayout layoutSheet(int32_t count, int32_t tileWidth, int32_t tileHeight, int32_t columns) {
  if (count < 1 || tileWidth < 1 || tileHeight < 1)
    throw std::invalid_argument("a contact sheet needs at least one tile");
  SheetLayout layout;
  if (columns <= 0) {
    columns = static_cast<int32_t>(std::ceil(std::sqrt(static_cast<double>(count))));
    if (tileWidth > tileHeight) columns = std::min(columns, 4);
  }
  layout.columns = std::min(columns, count);
  layout.rows = (count + layout.columns - 1) / layout.columns;
  layout.tileWidth = tileWidth;
  layout.tileHeight = tileHeight;
  layout.labelScale = tileWidth >= 240 ? 2 : 1;
  layout.labelHeight = kGlyphHeight * layout.labelScale + 8;
  layout.gap = 8;
  layout.width = layout.gap + layout.columns * (tileWidth + layout.gap);
  layout.height = layout.gap + layout.rows * (tileHeight + layout.labelHeight + layout.gap);
  return layout;
}

void thumbnailSize(int32_t w, int32_t h, int32_t maxSide, int32_t& outW, int32_t& outH) {
  int32_t longest = std::max(w, h);
  if (longest <= maxSide) {
    outW = w;
    outH = h;
    return;
  }
  outW = std::max<int32_t>(1, static_cast<int32_t>(static_cast<int64_t>(w) * maxSide / longest));
  outH = std::max<int32_t>(1, static_cast<int32_t>(static_cast<int64_t>(h) * maxSide / longest));
}

Canvas shrinkImage(const PF_Pixel* pixels, int32_t width, int32_t height, int64_t rowbytes,
                   int32_t outW, int32_t outH) {
  Canvas out(outW, outH);
  const auto* base = reinterpret_cast<const uint8_t*>(pixels);
  for (int32_t oy = 0; oy < outH; ++oy) {
    int64_t y0 = static_cast<int64_t>(oy) * height / outH;
    int64_t y1 = std::max(y0 + 1, static_cast<int64_t>(oy + 1) * height / outH);
    for (int32_t ox = 0; ox < outW; ++ox) {
      int64_t x0 = static_cast<int64_t>(ox) * width / outW;
      int64_t x1 = std::max(x0 + 1, static_cast<int64_t>(ox + 1) * width / outW);
      uint64_t a = 0, r = 0, g = 0, b = 0;
      for (int64_t y = y0; y < y1; ++y) {
        const auto* row = reinterpret_cast<const PF_Pixel*>(base + y * rowbytes);
        for (int64_t x = x0; x < x1; ++x) {
          const PF_Pixel& p = row[x];
          a += p.alpha;
          r += static_cast<uint64_t>(p.red) * p.alpha;
          g += static_cast<uint64_t>(p.green) * p.alpha;
          b += static_cast<uint64_t>(p.blue) * p.alpha;
        }
      }
      uint64_t n = static_cast<uint64_t>((y1 - y0) * (x1 - x0));
      PF_Pixel& o = out.at(ox, oy);
      o.alpha = static_cast<uint8_t>((a + n / 2) / n);
      if (a > 0) {
        o.red = static_cast<uint8_t>((r + a / 2) / a);
        o.green = static_cast<uint8_t>((g + a / 2) / a);
        o.blue = static_cast<uint8_t>((b + a / 2) / a);
      }
    }
  }
  return out;
}

Canvas makeSheet(const SheetLayout& layout) {
  return Canvas(layout.width, layout.height, kBackground);
}

std::string fitLabel(std::string_view label, int32_t maxWidth, int scale) {
  if (textWidth(label, scale) <= maxWidth) return std::string(label);
  std::string cut(label);
  while (!cut.empty() && textWidth(cut + "...", scale) > maxWidth) cut.pop_back();
  return cut.empty() ? std::string() : cut + "...";
}

void placeTile(Canvas& sheet, const SheetLayout& layout, int32_t index, const Canvas& tile,
               std::string_view label) {
  int32_t left = layout.tileX(index);
  int32_t top = layout.tileY(index);
  // Centre a tile smaller than the cell (a thumbnail keeps its aspect ratio).
  int32_t ox = left + (layout.tileWidth - tile.width) / 2;
  int32_t oy = top + (layout.tileHeight - tile.height) / 2;
  for (int32_t y = 0; y < tile.height; ++y) {
    int32_t sy = oy + y;
    if (sy < 0 || sy >= sheet.height) continue;
    const PF_Pixel* src = &tile.pixels[static_cast<size_t>(y) * tile.width];
    PF_Pixel* dst = &sheet.pixels[static_cast<size_t>(sy) * sheet.width];
    for (int32_t x = 0; x < tile.width; ++x) {
      int32_t sx = ox + x;
      if (sx < 0 || sx >= sheet.width) continue;
      uint32_t back = ((x / kCheckerCell + y / kCheckerCell) & 1) ? kCheckerDark : kCheckerLight;
      uint32_t a = src[x].alpha;
      auto over = [&](uint8_t c) {
        return static_cast<uint8_t>((c * a + back * (255 - a) + 127) / 255);
      };
      dst[sx] = PF_Pixel{255, over(src[x].red), over(src[x].green), over(src[x].blue)};
    }
  }
  std::string text = fitLabel(label, layout.tileWidth, layout.labelScale);
  int32_t tx = left + (layout.tileWidth - textWidth(text, layout.labelScale)) / 2;
  int32_t ty = top + layout.tileHeight + 4;
  drawText(sheet, tx, ty, text, layout.labelScale, kLabelColour);
}

}  // namespace shimmerly::cli
