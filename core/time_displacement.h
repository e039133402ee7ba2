#pragma once
// The contact's offset from local time is held as a 48-bit real (sign, 40-bit significand,
// 8-bit exponent): magnitudes from 2^-128 to about 1.7e38. Assigning a value rounds it to that
// precision; smaller magnitudes become 0, larger ones fail.

namespace palvane {

// The largest magnitude the 48-bit real holds.
double real48Max();

// Rounds a value to 48-bit real precision. Throws palvane::Error("Floating point overflow")
// when its magnitude is too large (or infinite) and "Invalid floating point operation" for NaN.
double toReal48(double value);

// The factor by which the spin box's hours become days (1/24 in extended precision).
inline constexpr long double kOneTwentyFourth = 1.0L / 24.0L;

// Hours from the spin box to days.
double hoursToDays(int hours);

} // namespace palvane
