// The menus' word tables and the reading of a menu entry from a word or a number.
#include "core/control_words.h"

#include <charconv>

namespace shimmerly {
namespace {

constexpr std::string_view kMask[] = {"none", "alpha", "brightness", "brightness-alpha"};
constexpr std::string_view kGlowStyle[] = {"front", "in", "out"};
constexpr std::string_view kColorFrom[] = {"custom", "layer"};
constexpr std::string_view kBlend[] = {"normal", "screen",       "multiply",     "overlay",
                                       "add",    "magic-glue-1", "magic-glue-2", "magic-glue-3"};

}  // namespace

const MenuWords kMaskWords{"mask", kMask, 8};
const MenuWords kGlowStyleWords{"glow_style", kGlowStyle, 3};
const MenuWords kColorFromWords{"color_from", kColorFrom, 2};
const MenuWords kBlendWords{"blend", kBlend, 8};

std::optional<int32_t> menuEntry(const MenuWords& menu, std::string_view text) {
  for (size_t i = 0; i < menu.words.size(); ++i)
    if (text == menu.words[i]) return static_cast<int32_t>(i + 1);
  // Digits only: from_chars would also take a sign, and "2x" or " 2" are not entries.
  if (text.empty() || text.size() > 9) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  int32_t number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  if (number < 1 || number > menu.count) return std::nullopt;
  return number;
}

std::string menuExpectation(const MenuWords& menu, std::string_view text) {
  std::string message = "expected ";
  for (std::string_view word : menu.words) (message += word) += ", ";
  message += "or a number from 1 to " + std::to_string(menu.count) + ", got \"";
  message += text;
  return message + "\"";
}

}  // namespace shimmerly
