// The codes of the effect's four menus, counting from 1 like the host's popups: TargetType (the
// Mask control), TargetProcessing (what Glow Style becomes: 1 stays 1, 2 is 4, 3 is 5),
// ColorFrom (Glow Color From) and TransferMode (Blend Mode). Presets store them, the glow and
// the composite act on them; values outside the tables pass through unchanged.
#pragma once

#include <cstdint>

namespace shimmerly {

namespace TargetType {
enum : int32_t {
  None = 1,
  Alpha = 2,
  Brightness = 3,
  BrightnessAlpha = 4,
  Circle = 5,
  CircleAlpha = 6,
  Square = 7,
  SquareAlpha = 8
};
}
namespace TargetProcessing {
enum : int32_t { None = 1, Invert = 2, EdgesOnly = 3, InnerGlow = 4, OuterGlow = 5 };
}
namespace ColorFrom {
enum : int32_t { CustomColor = 1, Layer = 2 };
}
namespace TransferMode {
enum : int32_t {
  Normal = 1,
  Screen = 2,
  Multiply = 3,
  Overlay = 4,
  Add = 5,
  MagicGlue1 = 6,
  MagicGlue2 = 7,
  MagicGlue3 = 8
};
}

}  // namespace shimmerly
