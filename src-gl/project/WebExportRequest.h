#pragma once
// Every setting of a web export, as the export dialog holds it, with the rules that turn it into
// what ExportWeb writes: the names' checks and messages, the applet's location, the limits of the
// display values, the questions before a folder is made or files are replaced. The dialog edits
// one; --export-web fills one with the dialog's defaults; both plan it here, so they cannot
// disagree.

#include <cstdint>
#include <string>
#include <vector>

#include "WebExport.h"

class ImageStack;

// The limits of the display values (the page's duration in seconds, the zoom's box in pixels):
// the applet's box runs to 800 x 600, the HTML5 page's fixed box to maxWebPageWidth x
// maxWebPageHeight (7680 x 4320).
constexpr double webMinDuration = 1;
constexpr double webMaxDuration = 200;
constexpr int webMinWidth = 50;
constexpr int webMaxWidth = 800;
constexpr int webMinHeight = 50;
constexpr int webMaxHeight = 600;
int WebMaxWidth(WebPlayer player);
int WebMaxHeight(WebPlayer player);
// The applet draws its controls inside its box, below the zoom.
constexpr int appletControlsHeight = 20;

extern const char* const defaultWebCaption;

struct WebExportRequest {
  // Texts as typed, in the file system's encoding.
  std::string directory;  // the target; '\' counts as '/'
  std::string pageName = "index.html";
  std::string dataName = "default.kxo";
  std::string appletName = "kx.jar";  // the archive's place, relative to the page
  std::string title = "Tunnelvista";
  std::string caption = defaultWebCaption;
  std::string duration = "15";  // seconds; empty: 1
  // The HTML5 page fills the browser's window, or shows the zoom in a box of width x height; the
  // applet's page always has the box.
  WebPageSize pageSize = WebPageSize::FillWindow;
  std::string width, height;  // pixels; empty: the least
  bool showControls = true;
  bool autoplay = true;
  bool playForward = true;
  uint32_t pageColour = 0x404040;  // 24-bit RGB, red in the low byte
  uint32_t textColour = 0xFFFFFF;
  WebPlayer player = WebPlayer::Html5;
  int pictureSide = 0;  // HTML5: 0 for the original files, else the longest side
  // Where the program's data files lie.
  std::string archiveTemplate;  // the applet's kx.jar
  std::string playerDirectory;  // the HTML5 player's folder

  // The duration and the box as exported: limited silently to the player's limits above; the
  // applet's box grows by its controls when they are shown.
  float Duration() const;
  int Width() const;
  int Height() const;
  // The page's size as exported: the applet's is always the fixed box.
  WebPageSize PageSize() const { return player == WebPlayer::Applet ? WebPageSize::Fixed : pageSize; }
  // A --size the command line accepts for `player` (the dialog's fields are limited instead).
  static bool SizeWithinLimits(int width, int height, WebPlayer player);
};

// The folder the export dialog proposes: NAME-web beside the project file NAME.kx, so that the
// page and its copies of the pictures stay apart from the pictures themselves; for a project not
// saved yet, the first picture's folder.
std::string ProposedWebDirectory(const ImageStack& stack);

// The request the dialog shows for `stack`, from what it held (`typed`): the proposed directory
// and the project's duration every time, the names and texts only where they are empty.
WebExportRequest RequestForProject(WebExportRequest typed, const ImageStack& stack);

// What an export of a request would do, found without writing or asking anything.
struct WebExportPlan {
  std::string refusal;                // the first check that failed, in the user's words; empty: none
  bool makesDirectory = false;        // the target directory does not exist yet
  std::vector<std::string> replaced;  // files it would replace (links named with where they point)
  WebExportOptions options;           // for ExportWeb; its `cancelled` and `progress` are the caller's
};

// The checks in their order (page, data file and archive names, their folders, the archive's
// location), then the options and what already exists.
WebExportPlan PlanWebExport(const WebExportRequest& request, const ImageStack& stack);

// The dialog's way on: the refusal said, else the questions asked (make the directory, replace
// the files) through the message seam. True when the export may run.
bool ConfirmWebExport(const WebExportPlan& plan);
