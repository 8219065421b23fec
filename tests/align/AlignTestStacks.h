#pragma once
// Stacks cut from the corpus photographs with known placements (tools/align_stack.h), written as
// JPEG files and a project into a temporary folder, and the measure the alignment is held to.

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Affine.h"
#include "TestFiles.h"
#include "TextNumbers.h"
#include "Transform.h"
#include "align_stack.h"

// Small pictures keep the tests quick, also under the sanitizers.
inline AlignStackOptions SmallStackOptions(int pictures) {
  AlignStackOptions o;
  o.pictures = pictures;
  o.minSide = 800;
  o.maxSide = 1200;
  return o;
}

// Writes NAME_1.jpg ... and NAME.kx into `dir`; the pictures with their exact placements.
inline std::vector<AlignStackPicture> WriteCorpusStack(const TempDir& dir, const std::string& photo, unsigned seed,
                                                       int pictures, bool reset, const std::string& name = "stack") {
  std::mt19937 random(seed);
  const auto stack = CutAlignStack(ReadPhoto(CorpusFile("photos/" + photo)), SmallStackOptions(pictures), random);
  if (!WriteAlignStack(stack, dir.path(), name, reset)) return {};
  return stack;
}

// Writes a project of the pictures named, each placed by its placement in the one before.
inline void WriteProject(const std::string& path, const std::vector<std::pair<std::string, Transform>>& pictures) {
  std::string text = "#Tunnelvista v1.0\r\nduration 10.0\r\nimages " + std::to_string(pictures.size()) + "\r\n\r\n";
  for (const auto& [name, t] : pictures)
    text += "filename " + name + "\r\nscale " + FormatFixed(t.scale, 10) + "\r\ntranslate " +
            FormatFixed(t.translateX, 10) + " " + FormatFixed(t.translateY, 10) + "\r\nrotate " +
            FormatFixed(t.rotate, 10) + "\r\n\r\n";
  WriteFileBytes(path, text + "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n\r\n");
}
