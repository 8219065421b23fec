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

double LeadingNumber(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\n' || text[pos] == '\r' ||
                               text[pos] == '\v' || text[pos] == '\f'))
    ++pos;
  float value = 0.0f;
  return ParseFloatAt(text, pos, value) ? value : 0.0;
}
