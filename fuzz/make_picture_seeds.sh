#!/usr/bin/env bash
# Writes the seeds of fuzz_picture into a directory (default fuzz/corpus/picture): PNG files of a
# few tens of pixels in every colour type and depth (grey, grey and alpha, RGB, RGBA, palette with
# and without transparency, 8 and 16 bits, interlaced), lossy and lossless WebP with and without
# alpha, and a few broken ones.
#   fuzz/make_picture_seeds.sh [directory]
# Needs a C compiler and the headers of libpng and libwebp (libpng-dev, libwebp-dev).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-"$here/fuzz/corpus/picture"}
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/tunnelvista-seeds.XXXXXX")
trap 'rm -rf "$work"' EXIT

cat >"$work/seeds.c" <<'C'
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <webp/encode.h>

static unsigned char pixels[40 * 30 * 8];

static void Fill(int w, int h, int channels, int wide) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c) {
        int v = c == 0 ? x * 255 / (w - 1) : c == 1 ? y * 255 / (h - 1) : c == 2 ? ((x + 2 * y) % 11 < 5) * 255
                                                                               : 255 - x * 6;
        if (channels == 2 && c == 1) v = 255 - x * 6;
        if (v < 0) v = 0;
        if (wide) {
          pixels[((y * w + x) * channels + c) * 2] = (unsigned char)v;
          pixels[((y * w + x) * channels + c) * 2 + 1] = (unsigned char)(v ^ 0x5A);
        } else {
          pixels[(y * w + x) * channels + c] = (unsigned char)v;
        }
      }
}

static void Png(const char* dir, const char* name, int w, int h, int type, int depth, int interlace) {
  char path[512];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* f = fopen(path, "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, depth, type, interlace, 0, 0);
  int channels = type == 0 ? 1 : type == 4 ? 2 : type == 2 ? 3 : type == 6 ? 4 : 1;
  if (type == 3) {
    png_color palette[16];
    png_byte alpha[16];
    for (int i = 0; i < 16; ++i) {
      palette[i].red = (png_byte)(i * 16), palette[i].green = (png_byte)(255 - i * 16), palette[i].blue = 90;
      alpha[i] = (png_byte)(i * 17);
    }
    png_set_PLTE(png, info, palette, 16);
    if (interlace) png_set_tRNS(png, info, alpha, 16, NULL);
  }
  png_write_info(png, info);
  if (type == 3) {
    for (int i = 0; i < w * h; ++i) pixels[i] = (unsigned char)((i % w + i / w) & 15);
  } else {
    Fill(w, h, channels, depth == 16);
  }
  png_bytep rows[64];
  for (int y = 0; y < h; ++y) rows[y] = pixels + (size_t)y * w * channels * (depth / 8);
  png_write_image(png, rows);
  png_write_end(png, NULL);
  png_destroy_write_struct(&png, &info);
  fclose(f);
}

static void Webp(const char* dir, const char* name, int w, int h, int lossless, int alpha) {
  Fill(w, h, 4, 0);
  if (!alpha)
    for (int i = 0; i < w * h; ++i) pixels[i * 4 + 3] = 255;
  uint8_t* out = NULL;
  size_t size = lossless ? WebPEncodeLosslessRGBA(pixels, w, h, w * 4, &out) : WebPEncodeRGBA(pixels, w, h, w * 4, 80, &out);
  char path[512];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE* f = fopen(path, "wb");
  fwrite(out, 1, size, f);
  fclose(f);
  WebPFree(out);
}

int main(int argc, char** argv) {
  const char* dir = argv[1];
  Png(dir, "grey.png", 40, 30, 0, 8, 0);
  Png(dir, "grey16.png", 33, 17, 0, 16, 0);
  Png(dir, "grey-alpha.png", 33, 17, 4, 8, 0);
  Png(dir, "rgb.png", 40, 30, 2, 8, 0);
  Png(dir, "rgb16.png", 33, 17, 2, 16, 0);
  Png(dir, "rgba.png", 40, 30, 6, 8, 0);
  Png(dir, "rgba16-interlaced.png", 33, 17, 6, 16, 1);
  Png(dir, "palette.png", 40, 30, 3, 8, 0);
  Png(dir, "palette-alpha-interlaced.png", 33, 17, 3, 8, 1);
  Webp(dir, "lossy.webp", 40, 30, 0, 0);
  Webp(dir, "lossy-alpha.webp", 33, 17, 0, 1);
  Webp(dir, "lossless.webp", 40, 30, 1, 0);
  Webp(dir, "lossless-alpha.webp", 33, 17, 1, 1);
  (void)argc;
  return 0;
}
C
cc -O1 -o "$work/seeds" "$work/seeds.c" $(pkg-config --cflags --libs libpng libwebp)
"$work/seeds" "$out"
# Broken ones: cut short, and a checksum that fails.
head -c 120 "$out/rgb.png" >"$out/cut.png"
head -c 60 "$out/lossless.webp" >"$out/cut.webp"
python3 - "$out" <<'EOF'
import sys
data = bytearray(open(f"{sys.argv[1]}/rgba.png", "rb").read())
data[data.find(b"IDAT") + 8] ^= 0x55
open(f"{sys.argv[1]}/bad-crc.png", "wb").write(bytes(data))
EOF
