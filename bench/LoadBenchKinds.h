#pragma once
// load_bench's PNG and WebP part (LoadBenchKinds.cpp).

#include <functional>
#include <string>
#include <vector>

// Writes each of `photographs` (JPEG) as PNG and as WebP into `work` and prints our decode and
// check against the libraries' own decode.
void MeasureOtherKinds(const std::vector<std::string>& photographs, const std::string& work, int repetitions);
