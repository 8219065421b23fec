#pragma once
// The hidden temporaries the program writes beside a destination before it is complete:
// ".NAME.part-PID-N", NAME the destination's file name (cut to leave room for the rest), PID the
// writing process, N a serial number or random letters. A process killed before it could remove
// its own leaves them behind; the next write of the same destination removes them.

#include <string>

// "DIRECTORY/.NAME.part-PID-" for `path`, to which the caller adds N. DIRECTORY is empty for a
// path without one.
std::string PartStem(const std::string& path);

// Removes the temporaries of `path` (regular files, and folders with all they hold) that
// processes no longer running left: only names of exactly that form, only this user's, never
// those of a process that still runs (this one included). Symbolic links are never followed.
void RemoveStaleParts(const std::string& path);
