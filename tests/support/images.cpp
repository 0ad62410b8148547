// Host frames made in code for tests.
#include "support/images.h"

#include <random>

namespace shimmerly::testing {

PF_LayerDef HostFrame::world() {
  PF_LayerDef world{};
  world.width = width;
  world.height = height;
  world.rowbytes = rowbytes();
  world.data = pixels.data();
  world.pix_aspect_ratio = {1, 1};
  return world;
}

static HostFrame blankFrame(int32_t width, int32_t height, int32_t rowGap) {
  HostFrame frame;
  frame.width = width;
  frame.height = height;
  frame.rowGap = rowGap;
  frame.pixels.assign(static_cast<size_t>(width + rowGap) * height, PF_Pixel{0, 0, 0, 0});
  return frame;
}

HostFrame solidFrame(int32_t width, int32_t height, PF_Pixel colour, int32_t rowGap) {
  HostFrame frame = blankFrame(width, height, rowGap);
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x) frame.at(x, r) = colour;
  return frame;
}

HostFrame gradientFrame(int32_t width, int32_t height, int32_t rowGap) {
  HostFrame frame = blankFrame(width, height, rowGap);
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x)
      frame.at(x, r) = PF_Pixel{255, static_cast<uint8_t>(width > 1 ? x * 255 / (width - 1) : 0),
                                static_cast<uint8_t>(height > 1 ? r * 255 / (height - 1) : 0), 96};
  return frame;
}

HostFrame checkerFrame(int32_t width, int32_t height, int32_t cell, PF_Pixel a, PF_Pixel b) {
  HostFrame frame = blankFrame(width, height, 0);
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x) frame.at(x, r) = ((x / cell + r / cell) % 2) ? b : a;
  return frame;
}

HostFrame noiseFrame(int32_t width, int32_t height, uint32_t seed, double alphaZeroShare,
                     int32_t rowGap) {
  HostFrame frame = blankFrame(width, height, rowGap);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x) {
      PF_Pixel p{static_cast<uint8_t>(byte(rng)), static_cast<uint8_t>(byte(rng)),
                 static_cast<uint8_t>(byte(rng)), static_cast<uint8_t>(byte(rng))};
      if (unit(rng) < alphaZeroShare) p.alpha = 0;
      frame.at(x, r) = p;
    }
  return frame;
}

}  // namespace shimmerly::testing
