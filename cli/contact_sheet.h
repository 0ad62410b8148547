// Contact-sheet assembly: thumbnails of one image rendered several ways, laid out in a grid with
// a label under each tile. Tiles are flattened over a grey checkerboard so that transparency
// shows and the sheet itself is opaque. Pixels are host PF_Pixel (alpha, red, green, blue),
// straight colour, top row first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/bitmap_font.h"

namespace shimmerly::cli {

struct SheetLayout {
  int32_t columns = 0;
  int32_t rows = 0;
  int32_t tileWidth = 0;
  int32_t tileHeight = 0;
  int32_t labelHeight = 0;  // the band under each tile that holds its label
  int32_t gap = 0;          // space around and between cells
  int32_t labelScale = 1;
  int32_t width = 0;
  int32_t height = 0;

  // Top-left corner of tile i.
  int32_t tileX(int32_t i) const { return gap + (i % columns) * (tileWidth + gap); }
  int32_t tileY(int32_t i) const { return gap + (i / columns) * (tileHeight + labelHeight + gap); }
};

// A grid for `count` tiles of the given size; columns 0 picks a near-square grid (at most 4
// columns when the tiles are wider than tall, so sheets stay readable).
SheetLayout layoutSheet(int32_t count, int32_t tileWidth, int32_t tileHeight, int32_t columns = 0);

// The size a w × h image takes when it is shrunk to fit maxSide (never enlarged).
void thumbnailSize(int32_t w, int32_t h, int32_t maxSide, int32_t& outW, int32_t& outH);

// Shrinks an image (rows `rowbytes` apart) to outW × outH by averaging the source pixels each
// target pixel covers, colour weighted by alpha.
Canvas shrinkImage(const PF_Pixel* pixels, int32_t width, int32_t height, int64_t rowbytes,
                   int32_t outW, int32_t outH);

// A blank sheet for the layout.
Canvas makeSheet(const SheetLayout& layout);

// Puts tile i onto the sheet over a checkerboard and writes its label centred below it, cut
// with "..." when it is wider than the tile.
void placeTile(Canvas& sheet, const SheetLayout& layout, int32_t index, const Canvas& tile,
               std::string_view label);

// The label text as it will fit into maxWidth pixels at the scale.
std::string fitLabel(std::string_view label, int32_t maxWidth, int scale);

}  // namespace shimmerly::cli
