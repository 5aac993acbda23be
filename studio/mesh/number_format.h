// Number texts for the mesh dump and the VRML writer, independent of the process locale.
//
// Everything here writes "." as the decimal separator; the dump swaps in the user's separator
// afterwards. Reals are rounded from their exact binary value (as printf does), so a text never
// depends on which locale or C library happens to be active.
#pragma once

#include <cstdint>
#include <string>

namespace kestrel::mesh_text {

// Fixed notation with `decimals` digits after the point ("%.<decimals>f"). NaN is "NAN", infinities
// "INF" and "-INF"; a negative value keeps its sign even when it rounds to zero.
std::string Fixed(double value, int decimals);

// Like Fixed, but a value that is not finite is written as 0 and a value that rounds to zero has
// no sign: the form VRML readers accept for every input.
std::string FixedFinite(double value, int decimals);

// The value rounded to 8 significant digits, then written with exactly 4 decimals; in scientific
// notation ("1.2345679E+10") when more than 8 digits would precede the point.
std::string Significant8Fixed4(double value);

// "%.<digits>d": at least `digits` digits, zero-padded after any minus sign.
std::string IntMinDigits(int64_t value, int digits);

// Right-aligned ("%8d") and left-aligned ("%-8d") in `width` columns; wider texts are kept whole.
std::string PadLeft(const std::string& text, size_t width);
std::string PadRight(const std::string& text, size_t width);

// Replaces every "." by `separator`.
std::string WithSeparator(std::string text, const std::string& separator);

}  // namespace kestrel::mesh_text
