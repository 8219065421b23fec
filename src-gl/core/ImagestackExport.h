#pragma once
// What the web export writes: the page, the applet's data file, copies of the applet archive and
// of the pictures. Every file goes to a temporary file beside its destination first and replaces
// it only when complete, so a failed write never damages a file that was already there.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

class ImageStack;

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
