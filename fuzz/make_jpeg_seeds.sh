#!/usr/bin/env bash
# Writes the seeds of fuzz_jpeg into a directory (default fuzz/corpus/jpeg): pictures of a few tens
# of pixels in every kind of JPEG the loader meets (baseline and progressive, Huffman and
# arithmetic coding, greyscale, RGB, CMYK and YCCK, restart markers, the common and some odd
# subsamplings, sides that end inside a block) and a few broken ones. Small seeds keep each run of
# the target short, so a long fuzzing run gets through millions of inputs.
#   fuzz/make_jpeg_seeds.sh [directory]
# Needs cjpeg (libjpeg-turbo-progs), a C compiler and libjpeg's headers (libjpeg62-turbo-dev).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-"$here/fuzz/corpus/jpeg"}
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/tunnelvista-seeds.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Source pictures: colour ramps with a diagonal edge, so every block has detail.
python3 - "$work" <<'EOF'
import sys
work = sys.argv[1]
def ppm(name, w, h):
    pixels = bytearray()
    for y in range(h):
        for x in range(w):
            edge = 255 if (x + 2 * y) % 11 < 5 else 0
            pixels += bytes(((x * 255) // max(1, w - 1), (y * 255) // max(1, h - 1), edge))
    with open(f"{work}/{name}.ppm", "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + pixels)
ppm("picture", 40, 30)
ppm("odd", 33, 17)
ppm("strip", 64, 6)
ppm("tall", 9, 41)
ppm("dot", 1, 1)
EOF

q=(-quality 75)
seed() { # seed NAME SOURCE cjpeg-options...
  local name=$1 source=$2
  shift 2
  cjpeg "$@" -outfile "$out/$name.jpg" "$work/$source.ppm"
}
seed baseline-420 picture "${q[@]}"
seed baseline-444 picture "${q[@]}" -sample 1x1
seed baseline-422 picture "${q[@]}" -sample 2x1
seed baseline-440 picture "${q[@]}" -sample 1x2
seed baseline-411 picture "${q[@]}" -sample 4x1
seed baseline-221212 picture "${q[@]}" -sample 2x2,1x2,1x2
seed baseline-optimized picture "${q[@]}" -optimize
seed grey picture "${q[@]}" -grayscale
seed rgb picture "${q[@]}" -rgb
seed restart-rows picture "${q[@]}" -restart 1
seed restart-blocks picture "${q[@]}" -sample 1x1 -restart 3B
seed progressive-420 picture "${q[@]}" -progressive
seed progressive-444 picture "${q[@]}" -progressive -sample 1x1
seed progressive-grey picture "${q[@]}" -progressive -grayscale
seed progressive-restart picture "${q[@]}" -progressive -restart 1
seed arithmetic picture "${q[@]}" -arithmetic
seed arithmetic-progressive-restart picture "${q[@]}" -arithmetic -progressive -restart 2B
seed odd-sides odd "${q[@]}"
seed strip strip "${q[@]}" -sample 1x1
seed tall tall "${q[@]}" -progressive
seed one-pixel dot "${q[@]}"

# CMYK as Adobe applications write it (inverted, with the Adobe marker), plain CMYK without the
# marker, and YCCK: cjpeg reads no CMYK, so these come from libjpeg directly.
cat >"$work/cmyk.c" <<'EOF'
#include <stdio.h>
#include <string.h>
#include <jpeglib.h>
int main(int argc, char** argv) {
  const int width = 40, height = 30;
  struct jpeg_compress_struct c;
  struct jpeg_error_mgr e;
  FILE* file;
  JSAMPLE row[40 * 4];
  if (argc != 3 || !(file = fopen(argv[1], "wb"))) return 1;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, file);
  c.image_width = width;
  c.image_height = height;
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 75, TRUE);
  if (strcmp(argv[2], "ycck") == 0) jpeg_set_colorspace(&c, JCS_YCCK);
  if (strcmp(argv[2], "plain") == 0) c.write_Adobe_marker = FALSE;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    const int y = (int)c.next_scanline;
    for (int x = 0; x < width; ++x) {
      row[4 * x] = (JSAMPLE)(x * 6);
      row[4 * x + 1] = (JSAMPLE)(y * 8);
      row[4 * x + 2] = (JSAMPLE)((x + 2 * y) % 11 < 5 ? 250 : 10);
      row[4 * x + 3] = (JSAMPLE)(255 - x * 3);
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return fclose(file) == 0 ? 0 : 1;
}
EOF
cc -O1 -o "$work/cmyk" "$work/cmyk.c" -ljpeg
"$work/cmyk" "$out/cmyk-adobe.jpg" adobe
"$work/cmyk" "$out/cmyk-plain.jpg" plain
"$work/cmyk" "$out/ycck.jpg" ycck

# Broken: cut off in the middle of the data, and a 12-bit frame header this libjpeg refuses.
cut_short() { head -c $(($(stat -c %s "$1") * 3 / 4)) "$1" >"$2"; }
cut_short "$out/baseline-420.jpg" "$out/truncated-baseline.jpg"
cut_short "$out/progressive-420.jpg" "$out/truncated-progressive.jpg"
python3 - "$out/baseline-444.jpg" "$out/twelve-bit-header.jpg" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
frame = data.index(b"\xff\xc0")
data[frame + 1] = 0xC1  # extended sequential
data[frame + 4] = 12    # sample precision
open(sys.argv[2], "wb").write(data)
EOF
ls -l "$out"
