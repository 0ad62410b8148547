// The built-in test frame (see disc_frame.h).
#include "cli/disc_frame.h"

#include <algorithm>

namespace shimmerly::cli {

std::vector<PF_Pixel> discFrame(int32_t width, int32_t height, DiscGrid grid) {
  std::vector<PF_Pixel> pixels(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0),
                               PF_Pixel{0, 0, 0, 0});
  const int64_t cellX = std::max(8, width / 12), cellY = std::max(8, height / 8);
  const int64_t radius = std::min(cellX, cellY) / 3;
  // Shifted by half a cell, the disc centres fall on multiples of the cell size, 0 included.
  const int64_t shiftX = grid == DiscGrid::kCutByEdges ? cellX / 2 : 0;
  const int64_t shiftY = grid == DiscGrid::kCutByEdges ? cellY / 2 : 0;
  for (int64_t y = 0; y < height; ++y)
    for (int64_t x = 0; x < width; ++x) {
      const int64_t gx = x + shiftX, gy = y + shiftY;
      const int64_t dx = gx - ((gx / cellX) * cellX + cellX / 2);
      const int64_t dy = gy - ((gy / cellY) * cellY + cellY / 2);
      if (dx * dx + dy * dy < radius * radius)
        pixels[static_cast<size_t>(y * width + x)] =
            PF_Pixel{255, static_cast<uint8_t>(x * 255 / width), 160,
                     static_cast<uint8_t>(y * 255 / height)};
    }
  return pixels;
}

}  // namespace shimmerly::cli
