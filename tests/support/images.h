// Host frames made in code for tests: solid, gradient, checker and seeded noise images of
// PF_Pixel (alpha, red, green, blue), top row first, with an optional row gap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/host_api.h"

namespace shimmerly::testing {

struct HostFrame {
  int32_t width = 0;
  int32_t height = 0;
  int32_t rowGap = 0;  // pixels between the end of one row and the start of the next
  std::vector<PF_Pixel> pixels;

  int32_t rowbytes() const { return (width + rowGap) * 4; }
  PF_Pixel& at(int32_t x, int32_t rowFromTop) {
    return pixels[static_cast<size_t>(rowFromTop) * (width + rowGap) + x];
  }
  const PF_Pixel& at(int32_t x, int32_t rowFromTop) const {
    return pixels[static_cast<size_t>(rowFromTop) * (width + rowGap) + x];
  }
  // A world over this frame's pixels.
  PF_LayerDef world();
};

HostFrame solidFrame(int32_t width, int32_t height, PF_Pixel colour, int32_t rowGap = 0);
// Alpha 255, red rising along x, green along y, blue constant.
HostFrame gradientFrame(int32_t width, int32_t height, int32_t rowGap = 0);
HostFrame checkerFrame(int32_t width, int32_t height, int32_t cell, PF_Pixel a, PF_Pixel b);
// Every byte random from the seed; alphaZeroShare of the pixels fully transparent.
HostFrame noiseFrame(int32_t width, int32_t height, uint32_t seed, double alphaZeroShare = 0.25,
                     int32_t rowGap = 0);

}  // namespace shimmerly::testing
