#pragma once
// Whole-file reading and writing for documents the user keeps.

#include <string>

enum class WriteResult { Ok, OpenFailed, WriteFailed };

// Replaces the file at `path` by `bytes` so that the old file survives any failure: the bytes go
// to a temporary file in the same directory, are flushed to disk, and only then renamed over
// the old one. The temporary file has no name until it is complete (where the file system
// allows) and that name (".NAME.part-PID-XXXXXX", see PartFiles.h) is at once renamed over the
// old one; what a save killed between those two steps left is removed by the next save of the
// same file. Symbolic links are followed, even to a file that does not exist yet (the link
// stays and its target is written), the old file's permissions are kept, and a path that names
// a character device is written to directly.
// When the directory refuses the temporary file but the old file is writable, the file is
// rewritten in place: room for the new bytes is taken first, and the old bytes are put back if
// a write fails.
// OpenFailed: the file could not be created or opened, or it is a directory, pipe, socket or
// block device (never opened for writing); WriteFailed: a write, the flush, the close or the
// rename failed, and the temporary file has been removed.
WriteResult WriteFileReplacing(const std::string& path, const std::string& bytes);

// WriteFileReplacing, showing "Error opening file %s for writing\n", "Error writing file %s\n"
// or, for a pipe, socket or block device, "Cannot write to %s: it is not a regular file.\n"
// (with the path) when it fails.
bool WriteFileReporting(const std::string& path, const std::string& bytes);

// Reads the whole file; false when it cannot be opened or read (a directory, for instance).
bool ReadWholeFile(const std::string& path, std::string& bytes);

// A write past the file size limit (RLIMIT_FSIZE) then fails with EFBIG, and the save with it,
// instead of the signal ending the program. The program calls it before it writes anything.
void IgnoreFileSizeSignal();

// Whether temporary files start without a name (the default); false makes every save use a
// named temporary file, as on file systems that have no unnamed ones. For tests.
void UseUnnamedTemporaryFiles(bool use);
