#pragma once
// Numbers in files always use a point as decimal separator, whatever the user's locale:
// Qt sets the C library's locale from the environment, so printf/strtod are not used for files.

#include <string>

// printf's "%1.10f" of the value widened to double, in the C locale.
std::string FormatFixed(double value, int decimals);

// printf's "%.<digits>g" in the C locale: the shortest of fixed and scientific notation with up
// to `digits` significant digits, trailing zeros dropped.
std::string FormatGeneral(double value, int digits);

// strtof/strtol in the C locale. Parsing starts at text[pos] (no white space skipped);
// on success the value is stored, pos moves past the number and the result is true.
// On failure value and pos are left as they were.
// ParseFloatAt takes decimal numbers only: optional sign, digits, optional fraction, optional
// exponent ("1", "-.5", "5.", "+1e3"). "nan", "inf", "infinity" and hexadecimal numbers are not
// numbers (of "0x1p3" it takes the "0"), nor is a number beyond the float range ("1e39"); one
// too small to hold reads as 0 or the nearest denormal.
bool ParseFloatAt(const std::string& text, size_t& pos, float& value);
bool ParseLongAt(const std::string& text, size_t& pos, long long& value);
