#pragma once
// Small JPEG files made to cost a decoder as much as possible: headers that claim far more than
// the data holds, thousands of scans, data cut short. Each starts as a real picture encoded with
// libjpeg, so everything but the one fault is well formed.

#include <string>

enum class JpegCoding { Baseline, Progressive, Arithmetic, ArithmeticProgressive };

// A width x height picture (smooth colours and some texture, so no scan is empty), in memory.
// `components` 1 writes greyscale. Rows from `flatFrom` on (when not negative) are flat grey.
std::string EncodeJpeg(int width, int height, JpegCoding coding, int components = 3, int quality = 90,
                       int flatFrom = -1);

// The frame header changed to claim width x height pixels; the data stays as it was.
std::string WithDeclaredSize(std::string jpeg, int width, int height);

// A flat greyscale progressive picture whose one AC scan is repeated until the file has
// `acScans` of them: valid to libjpeg (a first AC scan over coefficients already sent raises no
// warning), a few tens of bytes a scan, every one a pass over the whole picture.
std::string ManyScansJpeg(int side, int acScans);

// The first `bytes` bytes followed by an end-of-image marker, as a file cut short and "repaired".
std::string CutAndClosed(const std::string& jpeg, size_t bytes);
