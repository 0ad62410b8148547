// Animated control values for the command-line host: "10@1,60@48" is a list of value@frame keys,
// linear in between and held before the first and after the last key; a plain "10" is constant.
// Colours interpolate each 8-bit channel and round to nearest. Values are parsed by a callback so
// that each control keeps its own syntax and range check. Errors: std::invalid_argument, one line.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/frame_pattern.h"

namespace shimmerly::cli {

// One "value@frame" item as written; hasFrame is false for a plain value.
struct KeyText {
  std::string value;
  Frame frame = 0;
  bool hasFrame = false;
};

// True when the text carries keyframes ("@" anywhere).
bool isKeyframed(std::string_view text);

// Splits "v@f,v@f" into its items. A plain value gives one item without a frame; keyframes must
// all carry frames and no frame may repeat. Items come back sorted by frame.
std::vector<KeyText> splitKeyframes(std::string_view text);

struct Rgb8 {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Rgb8&) const = default;
};

inline double lerpValue(double a, double b, double t) {
  return a + (b - a) * t;
}
inline Rgb8 lerpValue(const Rgb8& a, const Rgb8& b, double t) {
  auto channel = [t](uint8_t x, uint8_t y) {
    return static_cast<uint8_t>(static_cast<int>(x + (y - x) * t + 0.5));
  };
  return {channel(a.red, b.red), channel(a.green, b.green), channel(a.blue, b.blue)};
}

// A value over time: sorted keys, linear in between, held outside.
template <class T>
class Track {
 public:
  struct Key {
    Frame frame;
    T value;
  };

  Track() = default;
  explicit Track(T constant) : keys_{{0, constant}} {}

  // Parses plain or keyframed text; parseValue turns one value's text into T (and throws
  // std::invalid_argument for a bad or out-of-range value).
  static Track parse(std::string_view text, const std::function<T(std::string_view)>& parseValue) {
    Track track;
    for (const KeyText& item : splitKeyframes(text))
      track.keys_.push_back({item.frame, parseValue(item.value)});
    track.animated_ = track.keys_.size() > 1 || isKeyframed(text);
    return track;
  }

  T valueAt(Frame frame) const {
    if (keys_.empty()) return T{};
    if (frame <= keys_.front().frame) return keys_.front().value;
    if (frame >= keys_.back().frame) return keys_.back().value;
    size_t i = 1;
    while (keys_[i].frame < frame) ++i;
    const Key& a = keys_[i - 1];
    const Key& b = keys_[i];
    if (frame == b.frame) return b.value;
    double t = static_cast<double>(frame - a.frame) / static_cast<double>(b.frame - a.frame);
    return lerpValue(a.value, b.value, t);
  }

  bool animated() const { return animated_; }
  const std::vector<Key>& keys() const { return keys_; }

 private:
  std::vector<Key> keys_;
  bool animated_ = false;
};

using ScalarTrack = Track<double>;
using ColorTrack = Track<Rgb8>;

// "RRGGBB" (an optional leading '#' or "0x"), hexadecimal.
Rgb8 parseHexColor(std::string_view text);

}  // namespace shimmerly::cli
