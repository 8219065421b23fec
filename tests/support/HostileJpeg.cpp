#include "HostileJpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

struct Encoder {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  unsigned char* buffer = nullptr;
  unsigned long size = 0;

  Encoder(int width, int height, int components) {
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
  }
  ~Encoder() {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
  }
  std::string Finish(const std::vector<JSAMPLE>& pixels) {
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(cinfo.image_width) * static_cast<size_t>(cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + stride * cinfo.next_scanline);
      jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return std::string(reinterpret_cast<const char*>(buffer), size);
  }
};

// Where the marker `code` (0xFFxx) first appears, or npos.
size_t FindMarker(const std::string& jpeg, unsigned char code, size_t from = 0) {
  for (size_t i = from; i + 1 < jpeg.size(); ++i)
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF && static_cast<unsigned char>(jpeg[i + 1]) == code) return i;
  return std::string::npos;
}

}  // namespace

std::string EncodeJpeg(int width, int height, JpegCoding coding, int components, int quality, int flatFrom) {
  Encoder e(width, height, components);
  jpeg_set_quality(&e.cinfo, quality, TRUE);
  if (coding == JpegCoding::Progressive || coding == JpegCoding::ArithmeticProgressive)
    jpeg_simple_progression(&e.cinfo);
  e.cinfo.arith_code = coding == JpegCoding::Arithmetic || coding == JpegCoding::ArithmeticProgressive;
  std::vector<JSAMPLE> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) *
                              static_cast<size_t>(components));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                   static_cast<size_t>(components) +
               static_cast<size_t>(c)] =
            flatFrom >= 0 && y >= flatFrom
                ? 100
                : static_cast<JSAMPLE>((x * (c + 1) + y * 3 + ((x * 7 + y * 13) % 17) * 5) & 0xFF);
  return e.Finish(pixels);
}

std::string WithDeclaredSize(std::string jpeg, int width, int height) {
  // Any frame header: baseline, extended, progressive, and their arithmetic forms.
  for (unsigned char code : {0xC0, 0xC1, 0xC2, 0xC9, 0xCA}) {
    const size_t sof = FindMarker(jpeg, code);
    if (sof == std::string::npos) continue;
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 0xFF);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xFF);
    return jpeg;
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

std::string ManyScansJpeg(int side, int acScans) {
  Encoder e(side, side, 1);
  jpeg_set_quality(&e.cinfo, 90, TRUE);
  // One DC scan and one AC scan of everything; the AC scan is then repeated.
  static jpeg_scan_info script[2];
  script[0] = {1, {0, 0, 0, 0}, 0, 0, 0, 0};
  script[1] = {1, {0, 0, 0, 0}, 1, 63, 0, 0};
  e.cinfo.scan_info = script;
  e.cinfo.num_scans = 2;
  const std::string jpeg = e.Finish(std::vector<JSAMPLE>(static_cast<size_t>(side) * static_cast<size_t>(side), 128));
  // The AC scan runs from its tables (if any came just before it) or its SOS to the end marker.
  const size_t firstScan = FindMarker(jpeg, 0xDA);
  size_t acScan = FindMarker(jpeg, 0xDA, firstScan + 2);
  const size_t tables = FindMarker(jpeg, 0xC4, firstScan + 2);
  if (tables != std::string::npos && tables < acScan) acScan = tables;
  const size_t end = jpeg.size() - 2;
  EXPECT_NE(acScan, std::string::npos);
  const std::string scan = jpeg.substr(acScan, end - acScan);
  std::string out = jpeg.substr(0, end);
  out.reserve(out.size() + scan.size() * static_cast<size_t>(acScans));
  for (int i = 1; i < acScans; ++i) out += scan;
  return out + "\xFF\xD9";
}

std::string CutAndClosed(const std::string& jpeg, size_t bytes) { return jpeg.substr(0, bytes) + "\xFF\xD9"; }
