#pragma once
// Temporary folders and small picture files for tests.

#include <cstdint>
#include <functional>
#include <string>

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

struct Rgb {
  uint8_t r, g, b;
};

// Writes a baseline JPEG of width x height whose pixel (x, y), y = 0 at the top, is colour(x, y).
// `components` 1 writes greyscale (the red channel is used).
void WriteJpeg(const std::string& path, int width, int height, const std::function<Rgb(int, int)>& colour,
               int quality = 95, int components = 3);

// Path of a file in the shared test corpus (real photographs and broken JPEGs).
std::string CorpusFile(const std::string& relative);
