#include "demo_render.h"

#include <setjmp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "Parallel.h"
#include "image.h"

namespace {

// A large escape radius makes the normalised count smooth to well below one colour step.
const double escapeRadius = 256.0;
const double escapeRadius2 = escapeRadius * escapeRadius;
const double logEscapeRadius = std::log(escapeRadius);

// Interior points would each cost the full iteration limit; the two largest components are
// recognised directly, the rest by their orbit repeating exactly (which, in floating point,
// means it repeats for ever, so the answer is the one the full count would give).
bool InMainCardioidOrBulb(double x, double y) {
  const double xq = x - 0.25;
  const double q = xq * xq + y * y;
  if (q * (q + xq) <= 0.25 * y * y) return true;
  return (x + 1.0) * (x + 1.0) + y * y <= 0.0625;
}

struct Stop {
  double at;
  double r, g, b;
};

// A cycle from deep navy through teal and cream to amber, rust and plum, back to navy.
const Stop palette[] = {
    {0.00, 12, 18, 58},   {0.20, 24, 96, 160}, {0.38, 120, 200, 210}, {0.50, 250, 245, 220},
    {0.65, 250, 170, 50}, {0.80, 170, 50, 30}, {0.92, 50, 15, 40},    {1.00, 12, 18, 58},
};

// Colour cycles per unit of the square root of the escape count: on that scale the bands keep a
// similar width from the first picture (counts of tens) to the deepest (hundreds and more).
const double cyclesPerRoot = 0.35;

uint8_t ToByte(double value) {
  const double rounded = std::floor(value + 0.5);
  if (rounded <= 0.0) return 0;
  if (rounded >= 255.0) return 255;
  return static_cast<uint8_t>(rounded);
}

}  // namespace

double SmoothEscape(std::complex<double> c) {
  const double cx = c.real();
  const double cy = c.imag();
  if (InMainCardioidOrBulb(cx, cy)) return -1.0;

  double x = 0.0, y = 0.0, x2 = 0.0, y2 = 0.0;
  // The orbit is compared with a point saved at iterations 8, 24, 56, ...: the gaps double, so
  // a cycle of any length is caught soon after the orbit has settled on it.
  double savedX = 0.0, savedY = 0.0;
  int gap = 8, untilSave = 8;
  for (int n = 1; n <= demoMaxIterations; ++n) {
    y = 2.0 * x * y + cy;
    x = x2 - y2 + cx;
    x2 = x * x;
    y2 = y * y;
    const double modulus2 = x2 + y2;
    if (modulus2 > escapeRadius2) {
      // log|z| / log R lies in (1, 2] just past the radius and doubles per iteration, so the
      // count runs continuously from n to n + 1 across the escape boundaries.
      const double logModulus = 0.5 * std::log(modulus2);
      return n + 1.0 - std::log2(logModulus / logEscapeRadius);
    }
    if (x == savedX && y == savedY) return -1.0;
    if (--untilSave == 0) {
      savedX = x;
      savedY = y;
      gap *= 2;
      untilSave = gap;
    }
  }
  return -1.0;
}

Rgb EscapeColour(double escape) {
  if (escape < 0.0) return {0, 0, 0};
  double phase = std::sqrt(escape) * cyclesPerRoot;
  phase -= std::floor(phase);
  size_t i = 1;
  while (i + 1 < sizeof palette / sizeof palette[0] && palette[i].at < phase) ++i;
  const Stop& a = palette[i - 1];
  const Stop& b = palette[i];
  const double f = (phase - a.at) / (b.at - a.at);
  return {ToByte(a.r + (b.r - a.r) * f), ToByte(a.g + (b.g - a.g) * f), ToByte(a.b + (b.b - a.b) * f)};
}

std::vector<uint8_t> RenderPicture(const PlaneMap& map, int width, int height, int samplesPerSide) {
  const size_t w = static_cast<size_t>(width > 0 ? width : 0);
  const size_t h = static_cast<size_t>(height > 0 ? height : 0);
  const int n = samplesPerSide > 0 ? samplesPerSide : 1;
  std::vector<uint8_t> rgb(w * h * 3);
  const double samples = static_cast<double>(n) * n;
  ForEachParallel(h, [&](size_t row) {
    uint8_t* out = rgb.data() + row * w * 3;
    for (size_t column = 0; column < w; ++column) {
      double r = 0.0, g = 0.0, b = 0.0;
      for (int sy = 0; sy < n; ++sy) {
        for (int sx = 0; sx < n; ++sx) {
          const double px = static_cast<double>(column) + (sx + 0.5) / n;
          const double py = static_cast<double>(row) + (sy + 0.5) / n;
          const Rgb colour =
              EscapeColour(SmoothEscape(map.origin + map.extent * PixelFramePoint(px, py, width, height)));
          r += colour.r;
          g += colour.g;
          b += colour.b;
        }
      }
      out[column * 3 + 0] = ToByte(r / samples);
      out[column * 3 + 1] = ToByte(g / samples);
      out[column * 3 + 2] = ToByte(b / samples);
    }
  });
  return rgb;
}

// --- JPEG encoding ---
//
// libjpeg reports fatal errors through error_exit, which must not return; we leave with longjmp,
// which is only safe over frames without C++ objects. So the libjpeg conversation happens in
// CompressRows, a C-style function with plain data in its frame, and everything it changes that
// outlives the jump lies in the caller's frame.

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

void ErrorExit(j_common_ptr cinfo) {
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  longjmp(err->jump, 1);
}

void OutputMessage(j_common_ptr) {}  // libjpeg would print to stderr

// A growing malloc'ed buffer: `data` is null or owned by whoever holds the struct, at every
// moment, so a jump out of libjpeg can neither leak it nor free it twice.
struct MemoryDestination {
  jpeg_destination_mgr pub;
  unsigned char* data;
  size_t capacity;
  size_t used;  // set when compression finishes
};

const size_t firstCapacity = 1 << 18;

void InitDestination(j_compress_ptr cinfo) {
  MemoryDestination* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  dest->data = static_cast<unsigned char*>(std::malloc(firstCapacity));
  if (!dest->data) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  dest->capacity = firstCapacity;
  dest->pub.next_output_byte = dest->data;
  dest->pub.free_in_buffer = dest->capacity;
}

// Called when the buffer is full (free_in_buffer is then 0, whatever libjpeg had written).
boolean GrowDestination(j_compress_ptr cinfo) {
  MemoryDestination* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  const size_t old = dest->capacity;
  if (old > static_cast<size_t>(-1) / 2) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
  unsigned char* grown = static_cast<unsigned char*>(std::realloc(dest->data, old * 2));
  if (!grown) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
  dest->data = grown;
  dest->capacity = old * 2;
  dest->pub.next_output_byte = grown + old;
  dest->pub.free_in_buffer = old;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  MemoryDestination* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  dest->used = dest->capacity - dest->pub.free_in_buffer;
}

// 1 on success; on failure the caller finds the reason in err->pub and cleans up.
int CompressRows(jpeg_compress_struct* cinfo, ErrorManager* err, MemoryDestination* dest, const unsigned char* rgb,
                 int width, int height, int quality) {
  if (setjmp(err->jump)) return 0;
  jpeg_create_compress(cinfo);
  cinfo->dest = &dest->pub;
  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  // Fractal filaments are a pixel wide and strongly coloured; halving the chroma resolution
  // would smear them.
  for (int i = 0; i < cinfo->num_components; ++i) {
    cinfo->comp_info[i].h_samp_factor = 1;
    cinfo->comp_info[i].v_samp_factor = 1;
  }
  cinfo->optimize_coding = TRUE;
  cinfo->dct_method = JDCT_ISLOW;
  jpeg_start_compress(cinfo, TRUE);
  const size_t stride = static_cast<size_t>(width) * 3;
  while (cinfo->next_scanline < cinfo->image_height) {
    // libjpeg's row pointers are not const, but it only reads input rows.
    JSAMPROW row = const_cast<unsigned char*>(rgb + cinfo->next_scanline * stride);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return 1;
}

}  // namespace

bool EncodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality, std::vector<uint8_t>& jpeg,
                std::string& error) {
  if (width <= 0 || height <= 0 || rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    error = "picture size does not match its pixels";
    return false;
  }
  // Zeroed, so that cleaning up is safe however early libjpeg gives up.
  jpeg_compress_struct cinfo{};
  ErrorManager err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.output_message = OutputMessage;
  MemoryDestination dest{};
  dest.pub.init_destination = InitDestination;
  dest.pub.empty_output_buffer = GrowDestination;
  dest.pub.term_destination = TermDestination;
  const bool ok = CompressRows(&cinfo, &err, &dest, rgb.data(), width, height, quality) != 0;
  if (ok) {
    jpeg.assign(dest.data, dest.data + dest.used);
  } else {
    char message[JMSG_LENGTH_MAX];
    err.pub.format_message(reinterpret_cast<j_common_ptr>(&cinfo), message);
    error = message;
  }
  jpeg_destroy_compress(&cinfo);
  std::free(dest.data);
  return ok;
}
