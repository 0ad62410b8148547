// Byte-order conversion between RGBA images and PF_Pixel frames (see rgba_frames.h). As
// little-endian 32-bit words an RGBA pixel is R | G << 8 | B << 16 | A << 24 and a PF_Pixel
// A | R << 8 | G << 16 | B << 24: one is the other rotated by 8 bits, which compilers turn into
// vector shifts.
#include "api/rgba_frames.h"

#include <bit>
#include <cstring>

#include "core/render_threads.h"

namespace shimmerly {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the byte-order conversion reads pixels as little-endian words");

template <int Rotation>
void rotateRow(const uint8_t* from, uint8_t* to, int64_t width) {
  for (int64_t x = 0; x < width; ++x) {
    uint32_t word;
    std::memcpy(&word, from + x * 4, 4);
    word = std::rotl(word, Rotation);
    std::memcpy(to + x * 4, &word, 4);
  }
}

template <int Rotation>
void rotateRows(const uint8_t* from, int64_t fromStride, uint8_t* to, int64_t toStride,
                int32_t width, int32_t height, RenderPool* pool) {
  runRowBands(pool, height, [&](int64_t r0, int64_t r1, int) {
    for (int64_t r = r0; r < r1; ++r)
      rotateRow<Rotation>(from + r * fromStride, to + r * toStride, width);
  });
}

}  // namespace

void argbOfRgba(const uint8_t* from, int64_t fromStride, uint8_t* to, int64_t toStride,
                int32_t width, int32_t height, RenderPool* pool) {
  rotateRows<8>(from, fromStride, to, toStride, width, height, pool);
}

void rgbaOfArgb(const uint8_t* from, int64_t fromStride, uint8_t* to, int64_t toStride,
                int32_t width, int32_t height, RenderPool* pool) {
  rotateRows<24>(from, fromStride, to, toStride, width, height, pool);
}

}  // namespace shimmerly
