#pragma once
// Pictures for the benchmarks, made from the real photographs of the test corpus so that their
// detail per pixel, and so what they cost to decode, is a real photograph's; the projects that
// list them; and the little the benchmarks share for timing and for their work directory.

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

using BenchClock = std::chrono::steady_clock;

inline double Milliseconds(BenchClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Runs args[0] (looked up on PATH unless it holds a '/') with the other arguments and waits for
// it: its exit status, or -1 when it could not start or did not exit. `quiet` sends its output
// to /dev/null; otherwise it shares ours.
int RunProgram(const std::vector<std::string>& args, bool quiet);

// Where a benchmark writes its pictures: the directory given (made if missing, kept afterwards)
// or, without one, a fresh temporary directory removed with everything in it at the end.
class WorkDirectory {
 public:
  WorkDirectory() = default;
  ~WorkDirectory();
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;
  // False, with the reason in `error`, when the directory cannot be made.
  bool Open(const std::string& given, std::string& error);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool temporary_ = false;
};

// Writes the large photographs into `directory`: about 5, 9, 15, 20 and 24 megapixels, each a
// mosaic of mirrored tiles of one corpus photograph at its own resolution (nothing is scaled),
// JPEG quality 92 with 4:2:0 chroma. `files` gets their absolute paths, smallest first.
bool WriteLargePhotos(const std::string& photoDirectory, const std::string& directory, std::vector<std::string>& files,
                      std::string& error);

// Writes `count` different 1024 x 768 pictures into `directory`: crops of the corpus photographs
// taken in turn, each at its own offset, JPEG quality 90. `files` gets their absolute paths.
bool WriteCrops(const std::string& photoDirectory, const std::string& directory, int count,
                std::vector<std::string>& files, std::string& error);

// Writes a project at `path` that lists `files` in order, each at half the size of the one
// before; `turned` moves each slightly off centre and turns it by 2 degrees. The target frame
// is at half the size of the last picture. False when the file cannot be written.
bool WriteZoomProject(const std::string& path, const std::vector<std::string>& files, bool turned);
