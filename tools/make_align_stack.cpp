// make_align_stack PHOTO DIRECTORY NAME [PICTURES [SEED [reset]]]
// Cuts a nested stack from a photograph (see align_stack.h) and writes its pictures and project;
// the exact placements are printed, one picture a line: scale, x, y, degrees.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TextNumbers.h"
#include "align_stack.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_align_stack PHOTO DIRECTORY NAME [PICTURES [SEED [reset]]]\n");
    return 2;
  }
  AlignStackOptions options;
  if (argc > 4) options.pictures = std::atoi(argv[4]);
  const unsigned seed = argc > 5 ? static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)) : 1u;
  const bool reset = argc > 6 && std::string(argv[6]) == "reset";
  if (options.pictures < 1 || options.pictures > 100) {
    std::fprintf(stderr, "make_align_stack: PICTURES runs from 1 to 100\n");
    return 2;
  }
  const cv::Mat photo = ReadPhoto(argv[1]);
  if (photo.empty()) {
    std::fprintf(stderr, "make_align_stack: cannot read %s\n", argv[1]);
    return 1;
  }
  std::mt19937 random(seed);
  const auto pictures = CutAlignStack(photo, options, random);
  if (pictures.empty() || !WriteAlignStack(pictures, argv[2], argv[3], reset)) {
    std::fprintf(stderr, "make_align_stack: cannot write the stack into %s\n", argv[2]);
    return 1;
  }
  for (const auto& p : pictures)
    std::printf("%s %s %s %s\n", FormatFixed(p.exactScale, 8).c_str(), FormatFixed(p.exactX, 8).c_str(),
                FormatFixed(p.exactY, 8).c_str(), FormatFixed(p.exactRotate, 6).c_str());
  return 0;
}
