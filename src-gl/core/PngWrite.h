#pragma once
// Frames written as PNG (the command line's --render-frame): compressed for speed. At zlib's
// default level, compressing took most of a frame's time; its fastest level with run-length
// matching after the "sub" filter is some fifteen times faster on rendered photographs and writes
// files about as small. The pixels are the same at every level.

#include <QImage>
#include <string>

// `picture` as a PNG file in `png` (RGB, 8 bits a channel; a picture with alpha keeps it). False,
// with `png` empty, for a null picture or when there is no memory.
bool EncodePng(const QImage& picture, std::string& png);
