#pragma once
// FFmpeg's libraries write their complaints to standard error; the export says what failed in
// its own message instead, with the library's last complaint on the calling thread added.

#include <string>

// Sends the libraries' complaints to the calling thread's last complaint (once per process).
void QuietLibraries();
// " (the library's words)" when it said something on this thread since the last call.
std::string Complaint();
// Forgets what the libraries said on this thread so far.
void ForgetComplaint();
// FFmpeg's error `code` in words, the last complaint added.
std::string AvError(int code);
