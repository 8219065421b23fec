#pragma once
// Small text helpers for names and paths.

#include <string>

// Overwrites, in place, every `from` in `text` with `to`.
void CharReplace(std::string& text, char from, char to);

// The project named on the command line as a full path: a relative name is taken relative to
// `currentDirectory`; a name with a drive ("C:...") is kept as written; '\' becomes '/'.
std::string CommandLineProjectPath(const std::string& argument, const std::string& currentDirectory);

// atof in the C locale: the longest valid leading number after blanks, 0 when there is none.
double LeadingNumber(const std::string& text);

// atol: the leading decimal integer after blanks ("12.9" and "12e3" give 12), 0 when there is
// none; values beyond 32 bits are held at the nearest end.
long LeadingInteger(const std::string& text);
