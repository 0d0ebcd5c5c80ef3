#pragma once

// The program's value of pi, used for every degree-to-radian conversion.
inline constexpr double kPi = 3.141592653589793;
