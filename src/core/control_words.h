// The words of the controls' menus, as the command line, the public library, the Python package
// and the host adapters spell them: one table, so that "screen" means Blend Mode 2 everywhere.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace shimmerly {

// A menu's named entries, in the order of their numbers from 1, and how many entries it has
// (Mask's shape targets 5-8 have numbers only).
struct MenuWords {
  std::string_view control;  // the control's name in snake case, as adapters and Python spell it
  std::span<const std::string_view> words;
  int32_t count;
};

extern const MenuWords kMaskWords;       // none, alpha, brightness, brightness-alpha; 8 entries
extern const MenuWords kGlowStyleWords;  // front, in, out
extern const MenuWords kColorFromWords;  // custom, layer
extern const MenuWords kBlendWords;      // normal, screen, ..., magic-glue-3

// The entry `text` names: one of the words, or a whole number from 1 to the count written in
// decimal digits. Nothing for anything else.
std::optional<int32_t> menuEntry(const MenuWords& menu, std::string_view text);

// What the menu takes, for an error message: `expected none, alpha, ..., or a number from 1 to
// 8, got "text"`.
std::string menuExpectation(const MenuWords& menu, std::string_view text);

}  // namespace shimmerly
