#include "studio/mesh/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace kestrel::mesh_text {
namespace {

// Enough for any double in fixed notation with up to 20 decimals (309 integer digits).
constexpr size_t kBufferSize = 400;

std::string NonFinite(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

bool AllZeroDigits(const std::string& text) {
  for (char c : text)
    if (c >= '1' && c <= '9') return false;
  return true;
}

}  // namespace

std::string Fixed(double value, int decimals) {
  if (!std::isfinite(value)) return NonFinite(value);
  char buffer[kBufferSize];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return NonFinite(value);
  return std::string(buffer, result.ptr);
}

std::string FixedFinite(double value, int decimals) {
  if (!std::isfinite(value)) value = 0.0;
  std::string text = Fixed(value, decimals);
  if (!text.empty() && text[0] == '-' && AllZeroDigits(text)) text.erase(0, 1);
  return text;
}

std::string Significant8Fixed4(double value) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (value == 0.0) return "0.0000";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 7);
  std::string sci(buffer, result.ptr);  // "-d.ddddddde+XX"
  const size_t e = sci.find('e');
  const int exponent = std::atoi(sci.c_str() + e + 1);
  if (exponent >= 8) {
    sci[e] = 'E';
    return sci;
  }
  const bool negative = sci[0] == '-';
  std::string digits;  // the 8 significant digits
  for (size_t i = negative ? 1 : 0; i < e; ++i)
    if (sci[i] != '.') digits += sci[i];

  // Lay the digits out around the point, then round to 4 decimals, half away from zero.
  const int integerDigits = exponent + 1;
  std::string integer = integerDigits > 0 ? digits.substr(0, static_cast<size_t>(integerDigits)) : "0";
  std::string fraction = integerDigits > 0 ? digits.substr(static_cast<size_t>(integerDigits))
                                           : std::string(static_cast<size_t>(-integerDigits), '0') + digits;
  fraction.resize(std::max<size_t>(fraction.size(), 5), '0');
  const bool roundUp = fraction[4] >= '5';
  std::string number = integer + fraction.substr(0, 4);
  if (roundUp) {
    size_t i = number.size();
    while (i > 0 && number[i - 1] == '9') number[--i] = '0';
    if (i == 0)
      number.insert(number.begin(), '1');
    else
      ++number[i - 1];
  }
  std::string text = number.substr(0, number.size() - 4) + "." + number.substr(number.size() - 4);
  if (negative && !AllZeroDigits(text)) text.insert(text.begin(), '-');
  return text;
}

std::string IntMinDigits(int64_t value, int digits) {
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string text = std::to_string(magnitude);
  if (text.size() < static_cast<size_t>(digits)) text.insert(0, static_cast<size_t>(digits) - text.size(), '0');
  if (value < 0) text.insert(text.begin(), '-');
  return text;
}

std::string PadLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string PadRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string WithSeparator(std::string text, const std::string& separator) {
  if (separator == ".") return text;
  std::string out;
  for (char c : text) {
    if (c == '.')
      out += separator;
    else
      out += c;
  }
  return out;
}

}  // namespace kestrel::mesh_text
