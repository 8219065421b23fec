#include "TextNumbers.h"

#include <locale.h>

#include <cerrno>
#include <cmath>
#include <charconv>
#include <cstdlib>

namespace {

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

}  // namespace

std::string FormatFixed(double value, int decimals) {
  // to_chars with a precision formats exactly as printf does in the "C" locale; the buffer
  // grows for values with many integer digits (up to 309 for the largest double).
  std::string out(64, '\0');
  for (;;) {
    auto result = std::to_chars(out.data(), out.data() + out.size(), value, std::chars_format::fixed, decimals);
    if (result.ec == std::errc()) {
      out.resize(static_cast<size_t>(result.ptr - out.data()));
      return out;
    }
    out.resize(out.size() * 2);
  }
}

std::string FormatGeneral(double value, int digits) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The length of the decimal number at text[pos]: optional sign, digits with an optional point
// (at least one digit on either side of it), optional exponent; 0 when there is none. An "e"
// without digits after it is not part of the number.
size_t DecimalLength(const std::string& text, size_t pos) {
  size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    ++i;
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      ++i;
      ++digits;
    }
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t e = i + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && IsDigit(text[e])) {
      while (e < text.size() && IsDigit(text[e])) ++e;
      i = e;
    }
  }
  return i - pos;
}

}  // namespace

bool ParseFloatAt(const std::string& text, size_t& pos, float& value) {
  if (pos >= text.size()) return false;
  const size_t length = DecimalLength(text, pos);
  if (length == 0) return false;
  // strtof alone would also take "nan", "inf" and hexadecimal numbers; it is given the decimal
  // number only.
  const std::string number = text.substr(pos, length);
  char* end = nullptr;
  const float parsed = strtof_l(number.c_str(), &end, CLocale());
  if (end != number.c_str() + number.size() || !std::isfinite(parsed)) return false;  // beyond the float range
  value = parsed;
  pos += length;
  return true;
}

bool ParseLongAt(const std::string& text, size_t& pos, long long& value) {
  if (pos >= text.size()) return false;
  const char* start = text.c_str() + pos;
  char* end = nullptr;
  errno = 0;
  long long parsed = strtoll_l(start, &end, 10, CLocale());
  if (end == start) return false;
  if (errno == ERANGE) return false;
  value = parsed;
  pos += static_cast<size_t>(end - start);
  return true;
}
