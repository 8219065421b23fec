#pragma once
// What names the pixels an element of the stack shows. Elements that name the same file (the
// same path once made absolute and normal, and the same file on disk as it was when checked:
// device and inode, size, modification and change times, so that a file rewritten in place is
// another picture) have equal keys, and so share one decode and one set of textures in every
// renderer. A picture made in memory is named by its revision, which its copies keep.

#include <cstddef>
#include <cstdint>
#include <string>

struct FileIdentity {
  std::string path;  // absolute and lexically normal; empty: not known
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified = 0;  // nanoseconds since the epoch
  // The inode's last change (any write, rename or change of its times, which no one can set back),
  // in nanoseconds: a file given back its old size and modification time is still another file.
  int64_t changed = 0;

  bool Known() const { return !path.empty(); }
  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size && modified == other.modified &&
           changed == other.changed && path == other.path;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The regular file at `path` as it is now; unknown (empty path) when it cannot be looked at or is
// not a regular file.
FileIdentity IdentifyFile(const std::string& path);

struct FileIdentityHash {
  size_t operator()(const FileIdentity& file) const;
};

struct PictureKey {
  FileIdentity file;              // a picture read from a file...
  uint64_t revision = 0;          // ...or, without a file, the revision of its pixels...
  const void* element = nullptr;  // ...or, without either, the element itself: nothing shares it

  bool operator==(const PictureKey& other) const {
    return revision == other.revision && element == other.element && file == other.file;
  }
  bool operator!=(const PictureKey& other) const { return !(*this == other); }
};

struct PictureKeyHash {
  size_t operator()(const PictureKey& key) const;
};
