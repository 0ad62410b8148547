// shimmerly::menuWords, menuCount, menuEntry and shimmerly::overlaidControls: the menus' words
// from the one table the command line also reads, and a host's changes on top of a preset.
#include <string>
#include <vector>

#include "core/control_words.h"
#include "shimmerly/shimmerly.h"

namespace shimmerly {
namespace {

const MenuWords& wordsOf(Menu menu) {
  switch (menu) {
    case Menu::Mask:
      return kMaskWords;
    case Menu::GlowStyle:
      return kGlowStyleWords;
    case Menu::ColorFrom:
      return kColorFromWords;
    case Menu::Blend:
      return kBlendWords;
  }
  throw Error("shimmerly: unknown menu " + std::to_string(static_cast<int>(menu)));
}

template <typename T>
void takeChanged(T& into, const T& changed, const T& dephault) {
  if (!(changed == dephault)) into = changed;
}

}  // namespace

std::vector<std::string> menuWords(Menu menu) {
  const MenuWords& words = wordsOf(menu);
  return {words.words.begin(), words.words.end()};
}

int menuCount(Menu menu) {
  return wordsOf(menu).count;
}

int menuEntry(Menu menu, const std::string& text) {
  const MenuWords& words = wordsOf(menu);
  if (std::optional<int32_t> entry = shimmerly::menuEntry(words, text)) return *entry;
  throw Error("shimmerly: " + std::string(words.control) + ": " + menuExpectation(words, text));
}

Controls overlaidControls(const Controls& base, const Controls& changes) {
  const Controls d;
  Controls out = base;
  takeChanged(out.mask, changes.mask, d.mask);
  takeChanged(out.brightCutoff, changes.brightCutoff, d.brightCutoff);
  takeChanged(out.darkCutoff, changes.darkCutoff, d.darkCutoff);
  takeChanged(out.showTarget, changes.showTarget, d.showTarget);
  takeChanged(out.glowStyle, changes.glowStyle, d.glowStyle);
  takeChanged(out.glowSize, changes.glowSize, d.glowSize);
  takeChanged(out.softness, changes.softness, d.softness);
  takeChanged(out.colorFrom, changes.colorFrom, d.colorFrom);
  if (changes.color[0] != d.color[0] || changes.color[1] != d.color[1] ||
      changes.color[2] != d.color[2])
    for (int c = 0; c < 3; ++c) out.color[c] = changes.color[c];
  takeChanged(out.transBoost, changes.transBoost, d.transBoost);
  takeChanged(out.blend, changes.blend, d.blend);
  takeChanged(out.effectOnly, changes.effectOnly, d.effectOnly);
  return out;
}

}  // namespace shimmerly
