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
