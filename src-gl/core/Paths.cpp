#include "Paths.h"

#include <algorithm>

#include "TextNumbers.h"

void CharReplace(std::string& text, char from, char to) { std::replace(text.begin(), text.end(), from, to); }

std::string CommandLineProjectPath(const std::string& argument, const std::string& currentDirectory) {
  std::string path;
  if (argument.find(':') != std::string::npos || (!argument.empty() && argument[0] == '/')) {
    path = argument;
  } else {
    path = currentDirectory;
    if (path.empty() || path.back() != '/') path += '/';
    path += argument;
  }
  CharReplace(path, '\\', '/');
  return path;
}

namespace {

size_t SkipBlanks(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r' ||
                               text[pos] == '\v' || text[pos] == '\f'))
    ++pos;
  return pos;
}

}  // namespace

double LeadingNumber(const std::string& text) {
  size_t pos = SkipBlanks(text);
  float value = 0.0f;
  return ParseFloatAt(text, pos, value) ? value : 0.0;
}

long LeadingInteger(const std::string& text) {
  size_t pos = SkipBlanks(text);
  long long value = 0;
  if (!ParseLongAt(text, pos, value)) {
    // Too many digits: held at the end of the range in the number's direction.
    const size_t sign = pos < text.size() && (text[pos] == '-' || text[pos] == '+') ? pos + 1 : pos;
    if (sign < text.size() && text[sign] >= '0' && text[sign] <= '9')
      return text[pos] == '-' ? -2147483647L - 1 : 2147483647L;
    return 0;
  }
  if (value > 2147483647LL) return 2147483647L;
  if (value < -2147483648LL) return -2147483647L - 1;
  return static_cast<long>(value);
}
