// Samples of any depth and channel count to 8-bit straight RGBA, and straight RGBA to
// associated floats.
#include "cli/sample_reduction.h"

#include <cmath>

namespace shimmerly::cli {
namespace {

// The channels a pixel's red, green, blue and alpha come from (-1: none, alpha then 255).
struct Sources {
  int colour[3];
  int alpha;
  int used;
};

Sources sourcesOf(ChannelLayout layout) {
  Sources s{{-1, -1, -1}, layout.alpha, 0};
  if (s.alpha >= layout.channels) s.alpha = -1;
  if (s.alpha < 0 && layout.channels == 2) s.alpha = 1;
  int colours = 0;
  for (int c = 0; c < layout.channels && colours < 3; ++c)
    if (c != s.alpha) s.colour[colours++] = c;
  // One or two colour channels: the first is grey (a second without alpha is dropped).
  if (colours < 3) {
    s.colour[1] = s.colour[2] = s.colour[0];
    colours = colours > 0 ? 1 : 0;
  }
  s.used = colours + (s.alpha >= 0 ? 1 : 0);
  return s;
}

template <typename Sample, typename Reduce>
void reduceAll(const Sample* samples, int64_t pixels, ChannelLayout layout, uint8_t* rgba,
               Reduce reduce, uint8_t opaque) {
  const Sources s = sourcesOf(layout);
  for (int64_t i = 0; i < pixels; ++i, samples += layout.channels, rgba += 4) {
    for (int c = 0; c < 3; ++c) rgba[c] = s.colour[c] >= 0 ? reduce(samples[s.colour[c]]) : 0;
    rgba[3] = s.alpha >= 0 ? reduce(samples[s.alpha]) : opaque;
  }
}

}  // namespace

uint8_t reduceFloat(double v) {
  if (!(v > 0)) return 0;  // NaN too
  if (v >= 1) return 255;
  return static_cast<uint8_t>(std::floor(v * 255 + 0.5));
}

int droppedChannels(ChannelLayout layout) {
  return layout.channels - sourcesOf(layout).used;
}

void rgbaFrom8(const uint8_t* samples, int64_t pixels, ChannelLayout layout, uint8_t* rgba) {
  reduceAll(
      samples, pixels, layout, rgba, [](uint8_t v) { return v; }, 255);
}

void rgbaFrom16(const uint16_t* samples, int64_t pixels, ChannelLayout layout, uint8_t* rgba) {
  reduceAll(
      samples, pixels, layout, rgba, [](uint16_t v) { return reduce16(v); }, 255);
}

void rgbaFromFloat(const float* samples, int64_t pixels, ChannelLayout layout, bool associated,
                   uint8_t* rgba) {
  const Sources s = sourcesOf(layout);
  if (!associated || s.alpha < 0) {
    reduceAll(
        samples, pixels, layout, rgba, [](float v) { return reduceFloat(v); }, 255);
    return;
  }
  for (int64_t i = 0; i < pixels; ++i, samples += layout.channels, rgba += 4) {
    const double alpha = samples[s.alpha];
    rgba[3] = reduceFloat(alpha);
    for (int c = 0; c < 3; ++c)
      rgba[c] = alpha > 0 && s.colour[c] >= 0 ? reduceFloat(samples[s.colour[c]] / alpha) : 0;
  }
}

void associatedFromRgba(const uint8_t* rgba, int64_t pixels, float* samples) {
  for (int64_t i = 0; i < pixels; ++i, rgba += 4, samples += 4) {
    const double alpha = rgba[3] / 255.0;
    for (int c = 0; c < 3; ++c) samples[c] = static_cast<float>(rgba[c] / 255.0 * alpha);
    samples[3] = static_cast<float>(alpha);
  }
}

std::string describeReduction(const std::string& sampleKind, int dropped) {
  std::string what;
  if (!sampleKind.empty()) what = sampleKind + " samples reduced to 8 bits";
  if (dropped > 0) {
    if (!what.empty()) what += "; ";
    what +=
        std::to_string(dropped) + (dropped == 1 ? " channel" : " channels") + " past RGBA dropped";
  }
  return what;
}

}  // namespace shimmerly::cli
