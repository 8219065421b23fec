#pragma once
// A sequence of pictures made to zoom through (each the one before, zoomed out by one factor about
// its centre, as outpainting tools write them into a folder): which files of a folder belong to
// it, their order, and the stack they make.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ImageStack;

enum class SequenceOrder {
  Name,  // by file name, numbers compared as numbers ("img2" before "img10")
  Date,  // by modification time, oldest first; the name decides between equal times
};

struct SequenceFile {
  std::string path;      // as found or given
  std::string name;      // the name without its directory
  int64_t modified = 0;  // nanoseconds since the epoch
};

// <0, 0 or >0 as `a` sorts before, with or after `b`: runs of digits compare by their value
// (then fewer leading zeros first), other characters without regard to ASCII case, and names
// equal so far by their bytes, so that no two different names compare equal.
int NaturalCompare(const std::string& a, const std::string& b);

// `files` in `order`, turned around when `reversed`. The first is the outermost picture.
std::vector<SequenceFile> OrderSequence(std::vector<SequenceFile> files, SequenceOrder order, bool reversed);

// The pictures of the folder `directory`: regular files (a link to one counts) named *.jpg,
// *.jpeg, *.png or *.webp in any case, or whose first bytes are a JPEG, PNG or WebP; in the
// folder's own order. False, with `error` set, when the folder cannot be read.
bool SequenceFolder(const std::string& directory, std::vector<SequenceFile>& files, std::string& error);
// Files chosen one by one: each with its name and time (0 when it cannot be read).
std::vector<SequenceFile> SequenceFiles(const std::vector<std::string>& paths);

// A zoom factor between neighbours: a finite number above 1.
bool SequenceFactorUsable(double factor);

// A new project of `paths`, outermost first: each picture centred in the one before at
// 1/`factor` of its size, upright, and the target frame as a new project has it (half of the
// last picture). A path under the folder of `projectPath` is stored relative to it. Null when
// there are no paths or the factor is not usable. The pictures are not checked yet.
std::unique_ptr<ImageStack> BuildSequenceStack(const std::vector<std::string>& paths, double factor,
                                               const std::string& projectPath);
