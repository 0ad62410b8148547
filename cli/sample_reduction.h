// Reducing the samples of an image file to the engine's 8-bit straight RGBA, and back to the
// associated (premultiplied) samples that some formats store. Rounding, written once here:
//   8-bit:   kept as it is;
//   16-bit:  v -> (v·255 + 32767) / 65535 in whole numbers, the nearest 8-bit value (v / 257 never
//            ends in exactly one half), the same as libpng's scaling of 16-bit PNG;
//   floats:  NaN -> 0, clamped to 0..1, then x·255 rounded half up; no colour transform, the
//            values are taken as the display values they are written as.
// Channels: one is grey, two are grey and alpha, three are RGB, four RGBA; the alpha channel is
// the one the file names, and channels past the first three colours and the alpha are dropped.
// Associated colour is divided by its alpha before rounding (colour 0 where alpha is 0).
#pragma once

#include <cstdint>
#include <string>

namespace shimmerly::cli {

inline constexpr uint8_t reduce16(uint16_t v) {
  return static_cast<uint8_t>((uint32_t{v} * 255 + 32767) / 65535);
}
uint8_t reduceFloat(double v);

// Where a file's channels go: `channels` per pixel, `alpha` the index of the alpha channel or
// -1 for none (with two channels and none named, the second is alpha).
struct ChannelLayout {
  int channels = 4;
  int alpha = 3;
};
// How many of the layout's channels the reduction leaves out.
int droppedChannels(ChannelLayout layout);

// Interleaved samples of `pixels` pixels to straight RGBA, 4 bytes a pixel in `rgba`.
void rgbaFrom8(const uint8_t* samples, int64_t pixels, ChannelLayout layout, uint8_t* rgba);
void rgbaFrom16(const uint16_t* samples, int64_t pixels, ChannelLayout layout, uint8_t* rgba);
// `associated`: the colour samples are premultiplied by alpha.
void rgbaFromFloat(const float* samples, int64_t pixels, ChannelLayout layout, bool associated,
                   uint8_t* rgba);

// Straight RGBA to associated floats, 4 a pixel: colour c/255 · a/255, alpha a/255.
void associatedFromRgba(const uint8_t* rgba, int64_t pixels, float* samples);

// The line on standard error for a reduction that loses something, empty when nothing is lost:
// `sampleKind` names samples wider than 8 bits ("16-bit", "half-float"; empty for 8-bit ones).
std::string describeReduction(const std::string& sampleKind, int dropped);

}  // namespace shimmerly::cli
