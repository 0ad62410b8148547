// Splitting keyframe text and reading colours for animated controls.
#include "cli/keyframes.h"

#include <algorithm>
#include <charconv>

namespace shimmerly::cli {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

bool isKeyframed(std::string_view text) {
  return text.find('@') != std::string_view::npos;
}

std::vector<KeyText> splitKeyframes(std::string_view text) {
  std::vector<KeyText> items;
  if (!isKeyframed(text)) {
    items.push_back({std::string(trim(text)), 0, false});
    return items;
  }
  std::string_view rest = text;
  while (true) {
    size_t comma = rest.find(',');
    std::string_view item = trim(rest.substr(0, comma));
    size_t at = item.find('@');
    if (at == std::string_view::npos)
      throw std::invalid_argument("keyframe '" + std::string(item) +
                                  "' needs a frame: write value@frame, e.g. 10@1,60@48");
    std::string_view frameText = trim(item.substr(at + 1));
    Frame frame = 0;
    auto [end, ec] = std::from_chars(frameText.data(), frameText.data() + frameText.size(), frame);
    if (frameText.empty() || ec != std::errc() || end != frameText.data() + frameText.size() ||
        frame < 0)
      throw std::invalid_argument("bad keyframe frame '" + std::string(frameText) + "' in '" +
                                  std::string(text) + "'");
    items.push_back({std::string(trim(item.substr(0, at))), frame, true});
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  std::stable_sort(items.begin(), items.end(),
                   [](const KeyText& a, const KeyText& b) { return a.frame < b.frame; });
  for (size_t i = 1; i < items.size(); ++i)
    if (items[i].frame == items[i - 1].frame)
      throw std::invalid_argument("two keyframes at frame " + std::to_string(items[i].frame) +
                                  " in '" + std::string(text) + "'");
  return items;
}

Rgb8 parseHexColor(std::string_view text) {
  std::string_view hex = trim(text);
  if (hex.starts_with('#'))
    hex.remove_prefix(1);
  else if (hex.starts_with("0x") || hex.starts_with("0X"))
    hex.remove_prefix(2);
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
  if (hex.size() != 6 || ec != std::errc() || end != hex.data() + hex.size())
    throw std::invalid_argument("bad colour '" + std::string(text) +
                                "': write six hexadecimal digits RRGGBB, e.g. FF8800");
  return {static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value)};
}

}  // namespace shimmerly::cli
