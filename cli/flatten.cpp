// Flattening host frames over a background colour.
#include "cli/flatten.h"

#include <stdexcept>
#include <string>

namespace shimmerly::cli {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint8_t over(uint32_t colour, uint32_t background, uint32_t alpha) {
  return static_cast<uint8_t>((colour * alpha + background * (255 - alpha) + 127) / 255);
}

}  // namespace

Rgb parseBackground(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '#') digits.remove_prefix(1);
  int value[6] = {};
  bool good = digits.size() == 6;
  for (size_t i = 0; good && i < 6; ++i) good = (value[i] = hexDigit(digits[i])) >= 0;
  if (!good)
    throw std::runtime_error("--background: expected a colour RRGGBB in hex, e.g. 202020, got \"" +
                             std::string(text) + "\"");
  return {static_cast<uint8_t>(value[0] * 16 + value[1]),
          static_cast<uint8_t>(value[2] * 16 + value[3]),
          static_cast<uint8_t>(value[4] * 16 + value[5])};
}

void flattenOver(PF_Pixel* pixels, size_t count, Rgb background) {
  for (size_t i = 0; i < count; ++i) {
    PF_Pixel& p = pixels[i];
    p.red = over(p.red, background.red, p.alpha);
    p.green = over(p.green, background.green, p.alpha);
    p.blue = over(p.blue, background.blue, p.alpha);
    p.alpha = 255;
  }
}

}  // namespace shimmerly::cli
