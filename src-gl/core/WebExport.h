#pragma once
// The whole web export, shared by the dialog and the command line: the page for the HTML5
// player or for the applet, the data file, the player's files or the applet archive, and the
// pictures. All or nothing: every file is written into a hidden folder in the target directory
// first and they are put in place together, the page last (ExportFolder.h); the export stops at
// the first failure and then leaves the directory as it was.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "ColourCorrection.h"
#include "ImagestackExport.h"
#include "Transform.h"

class ImageStack;
class Image;

enum class WebPlayer { Html5, Applet };

struct WebExportOptions {
  WebPageOptions page;  // page.dataUrl and page.archiveUrl are the data and archive names
  WebPlayer player = WebPlayer::Html5;
  int pictureSide = 0;              // 0: the original files; else the longest side of re-encoded pictures
  std::string directory;            // the target, '/' separators
  std::string pageName;             // "index.html", beside the pictures
  std::string archiveTemplate;      // applet: kx.jar to copy
  std::string playerDirectory;      // HTML5: the folder holding the player's files
  std::function<bool()> cancelled;  // asked between files: true stops the export (may be empty)
  // Told after each step (the data file, each picture, the page): `done` of `total` (may be empty).
  std::function<void(int done, int total)> progress;
};

enum class WebExportResult {
  Ok,
  NoArchive,  // applet: everything written but the archive, whose template is missing (reported)
  Failed,     // stopped at the first failure, which has been reported
};

// The player's files, in the order the page loads them (the style sheet last).
extern const char* const webPlayerFiles[7];
// The folder beside the page that holds them.
extern const char* const webPlayerFolder;

// The longest side choices of the export, 0 first (the original files).
extern const int webPictureSides[4];

// The page of the HTML5 player. `sizes` are the pictures' sizes as exported, in stack order;
// `target` the target frame's placement in the last picture (null: the player finds it in the keys);
// `colours` the pictures' colour corrections in stack order (none, or all identities: the page
// says nothing of them).
void WriteHtml5Page(std::ostream& out, const WebPageOptions& options, const std::vector<std::pair<int, int>>& sizes,
                    const Transform* target, const std::vector<ColourCorrection>& colours = {});

// `text` as a JSON (and JavaScript) string with its quotes; "</" cannot end a script element.
std::string JsonString(const std::string& text);
// `text` with &, <, >, " and ' as character references.
std::string HtmlEscape(const std::string& text);
std::string Base64(const std::string& bytes);

// The size a width x height picture is exported at for `side` (never larger than it was).
std::pair<int, int> ExportedSize(int width, int height, int side);

// The picture as the HTML5 page shows it: its file's bytes (JPEG, PNG or WebP), or the picture
// re-encoded as JPEG (quality 90) at `side` when its longest side is larger. Only a regular file
// that is still the kind of picture the project loaded is read. Shows its message and returns
// false on failure. (The applet plays JPEG only: it gets JPEG copies of the other kinds, named
// NAME.jpg, and a message says which.)
bool ExportedPicture(const Image& picture, int side, std::string& bytes);

// The page's size for a first picture of width x height: 320 on its longer side, the other
// rounded to keep the proportion (as the dialog fills it in).
std::pair<int, int> DefaultWebSize(int width, int height);

// The pictures' names in the export (and its data file), in stack order: their own, except that
// a name another picture of another folder has already becomes "NAME-2.jpg" ("-3", ...), a ':'
// becomes '_' (the player takes plain file names only), and a picture written as a JPEG copy of
// another kind is named NAME.jpg. Pictures in the target directory keep theirs: they are not
// copied.
std::vector<std::string> ExportedNames(const ImageStack& stack, const WebExportOptions& options);

// Every file the export would replace, in the order it names them: the path, followed for a
// symbolic link (dangling or not) by " (a symbolic link to TARGET)". A player folder that is not
// a directory is named itself.
std::vector<std::string> ExistingWebExportFiles(const ImageStack& stack, const WebExportOptions& options);

// What the folder will weigh, in bytes (re-encoded pictures estimated).
uint64_t EstimateWebExportBytes(const ImageStack& stack, const WebExportOptions& options);

// Writes the export into `options.directory`, made when missing (and removed again when the
// export fails): data file, the player's files (HTML5) or the archive (applet), the pictures,
// the page. Nothing is exported when a picture could not be loaded.
WebExportResult ExportWeb(ImageStack& stack, const WebExportOptions& options);
