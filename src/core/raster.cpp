// Raster creation, release and clamped reads. Owned element memory is zero-filled and comes
// from the installed memory source when it offers some, else from the heap; byte sizes are
// computed in 64 bits and refused rather than wrapped.
#include "core/raster.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "core/errors.h"

namespace shimmerly {

int64_t pixelKindSize(int32_t kind) {
  switch (kind) {
    case kPixelRgb:
      return 3;
    case kPixelRgba:
    case kPixelWord:
      return 4;
    case kPixelWord2:
      return 8;
    case kPixelWord4:
    case kPixelWord4Alt:
      return 16;
    default:
      return 0;
  }
}

namespace {
std::atomic<RasterMemorySource> memorySource{nullptr};
}  // namespace

void setRasterMemorySource(RasterMemorySource source) {
  memorySource.store(source);
}

Raster::Raster(int32_t width, int32_t height, int32_t kind, void* suppliedPixels,
               int64_t memoryBudget) {
  const int64_t size = pixelKindSize(kind);
  if (size == 0) throwBadAllocation();
  if (width < 0 || height < 0) throwBadAllocation();
  // A memory budget would ask for the tile-cache form, which keeps only part of the pixels in
  // memory and the rest in a temporary file. Nothing in the effect passes a budget, so that
  // form is not built, and a budget is refused instead of silently taking more memory than the
  // caller allowed.
  if (memoryBudget != 0) throwBadAllocation();

  // width × height fits in 62 bits; the multiplication by the element size may not fit.
  const int64_t elements = static_cast<int64_t>(width) * height;
  if (elements > std::numeric_limits<int64_t>::max() / size) throwBadAllocation();
  const int64_t bytes = elements * size;
  if (static_cast<uint64_t>(bytes) > std::numeric_limits<size_t>::max()) throwBadAllocation();

  width_ = width;
  height_ = height;
  kind_ = kind;
  if (suppliedPixels != nullptr) {
    pixels_ = static_cast<uint8_t*>(suppliedPixels);
    owns_ = false;
    return;
  }
  owns_ = true;
  if (bytes == 0) return;  // no pixels to hold

  RasterBlock block;
  const RasterMemorySource source = memorySource.load();
  if (source != nullptr && source(static_cast<uint64_t>(bytes), block)) {
    std::memset(block.address, 0, static_cast<size_t>(bytes));
    releaseBlock_ = std::move(block.release);
    pixels_ = static_cast<uint8_t*>(block.address);
    return;
  }
  heapBlock_ = std::calloc(static_cast<size_t>(bytes), 1);
  if (heapBlock_ == nullptr) throwBadAllocation();
  pixels_ = static_cast<uint8_t*>(heapBlock_);
}

Raster Raster::fromImageDescription(int32_t width, int32_t height, int32_t channels,
                                    int32_t bitsPerChannel) {
  int32_t kind;
  if (channels == 3 && bitsPerChannel == 8)
    kind = kPixelRgb;
  else if (channels == 4 && bitsPerChannel == 8)
    kind = kPixelRgba;
  else if (channels == 1 && bitsPerChannel == 32)
    kind = kPixelWord4Alt;
  else
    throw eBaseError{101};
  return Raster(width, height, kind);
}

Raster::~Raster() {
  release();
}

Raster::Raster(Raster&& other) noexcept
    : width_(other.width_),
      height_(other.height_),
      kind_(other.kind_),
      pixels_(other.pixels_),
      owns_(other.owns_),
      releaseBlock_(std::move(other.releaseBlock_)),
      heapBlock_(other.heapBlock_) {
  other.width_ = other.height_ = 0;
  other.kind_ = kPixelNone;
  other.pixels_ = nullptr;
  other.owns_ = false;
  other.releaseBlock_ = nullptr;
  other.heapBlock_ = nullptr;
}

Raster& Raster::operator=(Raster&& other) noexcept {
  if (this != &other) {
    release();
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(kind_, other.kind_);
    std::swap(pixels_, other.pixels_);
    std::swap(owns_, other.owns_);
    std::swap(releaseBlock_, other.releaseBlock_);
    std::swap(heapBlock_, other.heapBlock_);
  }
  return *this;
}

void Raster::release() noexcept {
  if (releaseBlock_) releaseBlock_();
  std::free(heapBlock_);
  width_ = height_ = 0;
  kind_ = kPixelNone;
  pixels_ = nullptr;
  owns_ = false;
  releaseBlock_ = nullptr;
  heapBlock_ = nullptr;
}

int Raster::readClamped(int32_t x, int32_t y, RgbaPixel* destination) const {
  int status = 0;
  if (!(x >= 0 && x < width_ && y >= 0 && y < height_)) {
    status = -1;
    x = x < width_ - 1 ? x : width_ - 1;
    if (x < 0) x = 0;
    y = y < height_ - 1 ? y : height_ - 1;
    if (y < 0) y = 0;
  }
  std::memcpy(destination, pixelAddress(x, y), sizeof(RgbaPixel));
  return status;
}

}  // namespace shimmerly
