#pragma once
// What the web export writes: the page, the applet's data file, copies of the applet archive and
// of the pictures. Every file goes to a temporary file beside its destination first and replaces
// it only when complete, so a failed write never damages a file that was already there.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

class ImageStack;

// How large the HTML5 page shows the zoom: a fixed box of width x height CSS pixels, or the whole
// window (the applet's page always has the fixed box).
enum class WebPageSize { Fixed, FillWindow };
// The largest fixed box of the HTML5 page.
constexpr int maxWebPageWidth = 7680;
constexpr int maxWebPageHeight = 4320;

// The page's values. Colours are 24-bit RGB with red in the low byte.
struct WebPageOptions {
  std::string title;
  std::string caption;     // may hold HTML and line breaks; written as it is
  std::string archiveUrl;  // relative to the page, forward slashes
  std::string dataUrl;
  float duration = 15.0f;
  bool showControls = true;
  bool autoplay = true;
  bool playForward = true;
  int width = 320;
  int height = 240;
  uint32_t pageColour = 0x404040;
  uint32_t textColour = 0xFFFFFF;
  // The HTML5 page only; each is written into its settings only when it is not the default, so
  // a page with the defaults is the one that was always written.
  WebPageSize pageSize = WebPageSize::Fixed;
  bool endless = false;  // dives inward forever (the last picture leads into the first) instead of there and back
  bool steady = false;   // the zoom's logarithm changes at one rate instead of easing in and out
};

// The 56 lines of the page, each ending in '\n'.
void WriteWebPage(std::ostream& out, const WebPageOptions& options);

// RRGGBB for a colour with red in the low byte.
std::string HtmlColour(uint32_t colour);

// The data file: signature, duration, the pictures' names and placements, the keyframes
// (rebuilt first when the stack is dirty, which it stays; plain arithmetic, no GL context needed).
// `names` replace the pictures' own names when given (one a picture).
void WriteOptimizedData(std::ostream& out, ImageStack& stack, float duration,
                        const std::vector<std::string>* names = nullptr);

// True when `archiveUrl` puts the archive beside the page or in a directory above it: a bare
// name, "/name", or "../" groups right up to the start ("../../kx.jar").
bool JarFileOK(const std::string& archiveUrl);

// The message for an applet archive template that cannot be read.
void ShowMissingArchiveTemplate(const std::string& templatePath);
