// Raster: the effect's own in-memory image. Rows lie back to back with no gap, row 0 is the
// BOTTOM row of the picture, and kind-1 pixels hold straight (not premultiplied) red, green,
// blue, alpha bytes. Owned memory comes from the installed memory source (the host's memory
// handles while a host record is current), else from the heap, and is always zero-filled.
// Sizes and offsets are 64-bit.
#pragma once

#include <cstdint>
#include <functional>

#include "core/pixel.h"

namespace shimmerly {

// Pixel layouts: element size in bytes in the comment.
enum PixelKind : int32_t {
  kPixelRgb = 0,       // 3: red, green, blue
  kPixelRgba = 1,      // 4: red, green, blue, alpha
  kPixelWord = 2,      // 4: one 32-bit value
  kPixelWord2 = 3,     // 8: two 32-bit values
  kPixelWord4 = 4,     // 16: four 32-bit values (the spread's sums)
  kPixelWord4Alt = 5,  // 16: as kind 4
  kPixelNone = 7       // no pixels
};

// Memory that a source other than the heap lends a raster, and how to give it back.
struct RasterBlock {
  void* address = nullptr;
  std::function<void()> release;
};
// A source of raster memory: fills block with `bytes` bytes and answers true, or answers false
// when it has nothing to offer now (the heap serves then). Raises the "bad allocation" failure
// when it offers memory but cannot give it.
using RasterMemorySource = bool (*)(uint64_t bytes, RasterBlock& block);
// Installs the source for owned raster memory from now on; null leaves only the heap.
void setRasterMemorySource(RasterMemorySource source);

// Bytes per element of a kind, 0 for a kind without pixels or an unknown kind.
int64_t pixelKindSize(int32_t kind);

class Raster {
 public:
  // Builds a raster of kind 0..5. Without supplied pixels the raster allocates
  // width × height × size zero bytes and owns them; with supplied pixels it uses them as they
  // are and owns nothing. Raises the "bad allocation" failure on any failure, leaving nothing
  // behind. memoryBudget must be 0 (see raster.cpp for why a budget is refused).
  Raster(int32_t width, int32_t height, int32_t kind, void* suppliedPixels = nullptr,
         int64_t memoryBudget = 0);
  // Creation from an image description: 3×8 bits gives kind 0, 4×8 kind 1, 1×32 kind 5; any
  // other combination raises eBaseError{101}.
  static Raster fromImageDescription(int32_t width, int32_t height, int32_t channels,
                                     int32_t bitsPerChannel);
  ~Raster();

  Raster(Raster&& other) noexcept;
  Raster& operator=(Raster&& other) noexcept;
  Raster(const Raster&) = delete;
  Raster& operator=(const Raster&) = delete;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t kind() const { return kind_; }
  int64_t elementSize() const { return pixelKindSize(kind_); }
  uint8_t* pixels() const { return pixels_; }

  // Address of element (x, y) by the layout rule; arguments are not checked.
  uint8_t* pixelAddress(int32_t x, int32_t y) const {
    return pixels_ + (static_cast<int64_t>(y) * width_ + x) * pixelKindSize(kind_);
  }
  // Kind-1 row pointer; arguments are not checked.
  RgbaPixel* rgbaRow(int32_t y) const {
    return reinterpret_cast<RgbaPixel*>(pixels_) + static_cast<int64_t>(y) * width_;
  }
  // Kind 1: address of the pixel at (x, y) clamped into the raster as readClamped clamps (each
  // coordinate limited to 0..size − 1). The raster must hold at least one pixel.
  RgbaPixel* clampedRgbaAddress(int32_t x, int32_t y) const {
    x = x < width_ - 1 ? x : width_ - 1;
    y = y < height_ - 1 ? y : height_ - 1;
    return rgbaRow(y < 0 ? 0 : y) + (x < 0 ? 0 : x);
  }
  // Kind 1: copies the pixel at the clamped coordinates; 0 when (x, y) was inside, -1 when it
  // had to clamp. The raster must hold at least one pixel.
  int readClamped(int32_t x, int32_t y, RgbaPixel* destination) const;

 private:
  void release() noexcept;

  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t kind_ = kPixelNone;
  uint8_t* pixels_ = nullptr;
  bool owns_ = false;
  // Gives back the source's block behind pixels_, when a memory source lent it; kept from
  // creation, since the source may answer differently by the time the raster is released.
  std::function<void()> releaseBlock_;
  void* heapBlock_ = nullptr;  // heap block behind pixels_, when no source lent one
};

}  // namespace shimmerly
