#include "TextNumbers.h"

#include <locale.h>

#include <cerrno>
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

bool ParseFloatAt(const std::string& text, size_t& pos, float& value) {
  if (pos >= text.size()) return false;
  const char* start = text.c_str() + pos;
  char* end = nullptr;
  float parsed = strtof_l(start, &end, CLocale());
  if (end == start) return false;
  value = parsed;
  pos += static_cast<size_t>(end - start);
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
