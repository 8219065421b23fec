#pragma once
// Whole-file reading and writing for documents the user keeps.

#include <string>

enum class WriteResult { Ok, OpenFailed, WriteFailed };

// Replaces the file at `path` by `bytes` so that the old file survives any failure: the bytes go
// to a temporary file in the same directory, are flushed to disk, and only then renamed over
// the old one. A symbolic link is followed (the link stays), the old file's permissions are
// kept, and a path that names a device or pipe is written to directly.
// OpenFailed: the temporary file (or the device) could not be opened; WriteFailed: a write,
// the flush, the close or the rename failed, and the temporary file has been removed.
WriteResult WriteFileReplacing(const std::string& path, const std::string& bytes);

// WriteFileReplacing, showing "Error opening file %s for writing\n" or "Error writing file %s\n"
// (with the path) when it fails.
bool WriteFileReporting(const std::string& path, const std::string& bytes);

// Reads the whole file; false when it cannot be opened or read (a directory, for instance).
bool ReadWholeFile(const std::string& path, std::string& bytes);
