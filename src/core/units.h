// The factors between the units a user sees (percent) and the units the pixel work and the
// glow settings record use (bytes 0..255, fractions).
#pragma once

namespace shimmerly {

// Percent to a byte level: one unit in the last place above 2.55, the real that the cutoffs
// have always been scaled by.
inline constexpr double kPercentToByte = 2.5500000000000003;
inline constexpr double kByteToPercent = 0.39215686274509803;  // 100 / 255
inline constexpr double kPercent = 0.01;

}  // namespace shimmerly
