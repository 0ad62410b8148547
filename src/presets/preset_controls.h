// A preset applied to the controls, in the units a user sees: what the plug-in's presets popup
// writes into its controls when the user picks a preset, for hosts that hold the controls
// themselves (the public library).
#pragma once

#include "shimmerly/shimmerly.h"

namespace shimmerly {

class GlowUnit;

// The controls after applying unit to `current`. Sliders take the preset's value narrowed to
// single precision, as a host's float slider stores it, unless it lies within 0.00001 of the
// current value, which then stays; the colour channels are the 16-bit channels / 257.
Controls appliedPreset(const GlowUnit& unit, const Controls& current);

}  // namespace shimmerly
