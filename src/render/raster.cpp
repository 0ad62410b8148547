// Raster creation, release and clamped reads. Owned element memory is zero-filled and comes
// from the host's memory handles while a host record with those callbacks is current, else
// from the heap; byte sizes are computed in 64 bits and refused rather than wrapped.
#include "render/raster.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "host/errors.h"
#include "host/plugin_state.h"

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

// The host's utility callbacks when a host record is current and offers all four memory-handle
// services, else null.
static const PF_UtilCallbacks* hostMemoryCallbacks() {
  const PF_InData* inData = pluginState().currentInData;
  if (inData == nullptr || inData->utils == nullptr) return nullptr;
  const PF_UtilCallbacks* utils = inData->utils;
  if (utils->host_new_handle == nullptr || utils->host_lock_handle == nullptr ||
      utils->host_unlock_handle == nullptr || utils->host_dispose_handle == nullptr)
    return nullptr;
  return utils;
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

  if (const PF_UtilCallbacks* utils = hostMemoryCallbacks()) {
    PF_Handle handle = utils->host_new_handle(static_cast<uint64_t>(bytes));
    if (handle == nullptr) throwBadAllocation();
    void* address = utils->host_lock_handle(handle);
    if (address == nullptr) {
      utils->host_dispose_handle(handle);
      throwBadAllocation();
    }
    std::memset(address, 0, static_cast<size_t>(bytes));
    memoryHandle_ = handle;
    hostUnlock_ = utils->host_unlock_handle;
    hostDispose_ = utils->host_dispose_handle;
    pixels_ = static_cast<uint8_t*>(address);
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
      memoryHandle_(other.memoryHandle_),
      heapBlock_(other.heapBlock_),
      hostUnlock_(other.hostUnlock_),
      hostDispose_(other.hostDispose_) {
  other.width_ = other.height_ = 0;
  other.kind_ = kPixelNone;
  other.pixels_ = nullptr;
  other.owns_ = false;
  other.memoryHandle_ = other.heapBlock_ = nullptr;
  other.hostUnlock_ = nullptr;
  other.hostDispose_ = nullptr;
}

Raster& Raster::operator=(Raster&& other) noexcept {
  if (this != &other) {
    release();
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(kind_, other.kind_);
    std::swap(pixels_, other.pixels_);
    std::swap(owns_, other.owns_);
    std::swap(memoryHandle_, other.memoryHandle_);
    std::swap(heapBlock_, other.heapBlock_);
    std::swap(hostUnlock_, other.hostUnlock_);
    std::swap(hostDispose_, other.hostDispose_);
  }
  return *this;
}

void Raster::release() noexcept {
  if (memoryHandle_ != nullptr) {
    hostUnlock_(memoryHandle_);
    hostDispose_(memoryHandle_);
  }
  std::free(heapBlock_);
  width_ = height_ = 0;
  kind_ = kPixelNone;
  pixels_ = nullptr;
  owns_ = false;
  memoryHandle_ = heapBlock_ = nullptr;
  hostUnlock_ = nullptr;
  hostDispose_ = nullptr;
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
