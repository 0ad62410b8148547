// Flattening a rendered frame over a solid colour (`shimmerly render --background RRGGBB`), so
// that a viewer that shows transparency as white still shows the glow: straight-alpha "over",
// every pixel made opaque.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/host_api.h"

namespace shimmerly::cli {

struct Rgb {
  uint8_t red = 0, green = 0, blue = 0;
};

// "RRGGBB" or "#RRGGBB" in hex digits of either case; throws std::runtime_error naming
// --background.
Rgb parseBackground(std::string_view text);

// Each channel becomes (c·a + bg·(255 − a)) / 255 rounded to nearest, and alpha 255. The sum is
// a whole number from 0 to 65025 and 255 is odd, so a quotient never ends in exactly one half:
// (sum + 127) / 255 in whole numbers is the nearest value.
void flattenOver(PF_Pixel* pixels, size_t count, Rgb background);

}  // namespace shimmerly::cli
