// The public library's images against the engine's host pixels: straight RGBA bytes (R, G, B, A)
// on one side, PF_Pixel bytes (A, R, G, B) on the other. Strides are in bytes, rows are
// converted in bands on the given threads, and a conversion may work in place (from == to with
// the same stride).
#pragma once

#include <cstdint>

namespace shimmerly {

class RenderPool;

void argbOfRgba(const uint8_t* from, int64_t fromStride, uint8_t* to, int64_t toStride,
                int32_t width, int32_t height, RenderPool* pool);
void rgbaOfArgb(const uint8_t* from, int64_t fromStride, uint8_t* to, int64_t toStride,
                int32_t width, int32_t height, RenderPool* pool);

}  // namespace shimmerly
