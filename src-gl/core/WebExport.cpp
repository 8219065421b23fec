#include "WebExport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <system_error>

#include "ExportFolder.h"
#include "Imagestack.h"
#include "PictureDecode.h"
#include "Messages.h"
#include "SafeFile.h"
#include "TextNumbers.h"
#include "WebExportPictures.h"

const char* const webPlayerFiles[7] = {"kxo.js",      "timeline.js", "render-webgl.js", "render-canvas.js",
                                       "controls.js", "player.js",   "player.css"};
const char* const webPlayerFolder = "tunnelvista-player";
const int webPictureSides[4] = {0, 4096, 2048, 1024};

std::pair<int, int> ExportedSize(int width, int height, int side) {
  const int longest = std::max(width, height);
  if (side <= 0 || longest <= side) return {width, height};
  auto scaled = [&](int v) { return std::max(1, static_cast<int>(static_cast<double>(v) * side / longest + 0.5)); };
  return {scaled(width), scaled(height)};
}

namespace {

std::string InTarget(const WebExportOptions& o, const std::string& name) { return o.directory + "/" + name; }

// What writing `path` would replace, as the question about it says it: the path, and for a
// symbolic link (dangling or not) where it points; empty when nothing is there. ".." is resolved
// against directories that exist and those about to be made ("site/../kx.jar" names kx.jar
// beside "site" even before "site" exists); the last name is never followed.
std::string Existing(const std::string& path) {
  const std::filesystem::path spelled(path);
  std::error_code error;
  std::filesystem::path parent = std::filesystem::weakly_canonical(spelled.parent_path(), error);
  if (error) parent = spelled.parent_path();
  const std::string resolved = (parent / spelled.filename()).string();
  struct stat st {};
  if (::lstat(resolved.c_str(), &st) != 0) return {};
  if (!S_ISLNK(st.st_mode)) return path;
  const std::filesystem::path link = std::filesystem::read_symlink(resolved, error);
  return path + " (a symbolic link to " + (error ? std::string("?") : link.string()) + ")";
}

// A picture whose copy would land on its own file is in the target directory already, however
// the directory was spelled (a trailing slash, "." or "..", a symbolic link).
bool AlreadyThere(const Image& picture, const WebExportOptions& o) {
  if (picture.directory == o.directory) return true;
  std::error_code error;
  return std::filesystem::equivalent(picture.FullPath(), InTarget(o, picture.baseName), error);
}

bool Shrinks(const Image& picture, int side) { return side > 0 && std::max(picture.width, picture.height) > side; }

bool IsJpeg(const Image& picture) { return picture.kind == PictureKind::Jpeg || picture.kind == PictureKind::None; }

// The applet shows files as they are: a picture with a colour correction gets a corrected copy.
bool AppletCorrects(const Image& picture, const WebExportOptions& o) {
  return o.player == WebPlayer::Applet && !picture.colour.IsIdentity();
}

// Whether the export writes a JPEG copy of a picture, named NAME.jpg: the applet plays JPEG only
// and draws no corrections, and a reduced copy is always encoded as JPEG.
bool ConvertsToJpeg(const Image& picture, const WebExportOptions& o) {
  return (!IsJpeg(picture) && (o.player == WebPlayer::Applet || Shrinks(picture, o.pictureSide))) ||
         AppletCorrects(picture, o);
}

// What a copy in the export holds: the file, and the correction drawn into it (a picture shown
// twice with two corrections makes two copies).
std::string CopySource(const Image& picture, const WebExportOptions& o) {
  std::string source = picture.FullPath();
  if (AppletCorrects(picture, o))
    for (const auto* values : {&picture.colour.gain, &picture.colour.offset})
      for (float value : *values) source += "\n" + FormatGeneral(static_cast<double>(value), 9);
  return source;
}

std::string WithJpegExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".jpg";
}

const char* MimeType(const std::string& bytes) {
  const PictureKind kind =
      SniffPicture(reinterpret_cast<const unsigned char*>(bytes.data()), std::min<size_t>(bytes.size(), 16));
  if (kind == PictureKind::Png) return "image/png";
  if (kind == PictureKind::Webp) return "image/webp";
  return "image/jpeg";
}

// Whether the export writes the picture's file under `name` (the wrapper beside it is always
// written).
bool WritesPicture(const Image& picture, const std::string& name, const WebExportOptions& o) {
  if (name != picture.baseName || !AlreadyThere(picture, o) || ConvertsToJpeg(picture, o)) return true;
  return o.player == WebPlayer::Html5 && Shrinks(picture, o.pictureSide);
}

// A name the player takes: a plain file name in the page's folder (see kxo.js).
bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos;
}

const Image& Picture(const ImageStack& stack, int i) { return *stack.images[static_cast<size_t>(i)]; }

std::string Wrapped(const char* function, const std::string& name, const std::string& value) {
  return std::string("Tunnelvista.") + function + "(" + JsonString(name) + ", " + JsonString(value) + ");\n";
}

std::string DataFile(ImageStack& stack, float duration, const std::vector<std::string>& names) {
  std::ostringstream data;
  WriteOptimizedData(data, stack, duration, &names);
  return data.str();
}

std::string PageText(const ImageStack& stack, const WebExportOptions& o,
                     const std::vector<std::pair<int, int>>& sizes) {
  std::ostringstream html;
  if (o.player == WebPlayer::Html5) {
    std::vector<ColourCorrection> colours;
    for (int i = 0; i < stack.pictureCount(); ++i) colours.push_back(Picture(stack, i).colour);
    WriteHtml5Page(html, o.page, sizes,
                   stack.count() > stack.pictureCount() ? &stack.images.back()->transform : nullptr, colours);
  } else {
    WriteWebPage(html, o.page);
  }
  return html.str();
}

// The player's files, read before anything is written: a missing player stops the export before
// it has begun.
bool ReadPlayer(const std::string& folder, std::vector<std::string>& contents) {
  for (const char* name : webPlayerFiles) {
    std::string bytes;
    if (!ReadWholeFile(folder + "/" + name, bytes)) {
      ShowPlainMessage("The web player's files could not be found in the folder\n\n    " + folder + "\n\n(" + name +
                       " is missing). It belongs beside the program; reinstalling restores it.");
      return false;
    }
    contents.push_back(std::move(bytes));
  }
  return true;
}

// The bytes of the picture's file, only while it is still the kind of picture the project loaded:
// a regular file that starts as that kind does. Anything else put in its place (a text file, a
// device, a pipe) is never read or published. Shows its message when not.
bool ReadLoadedPicture(const Image& picture, std::string& bytes) {
  const std::string path = picture.FullPath();
  const PictureKind kind = IsJpeg(picture) ? PictureKind::Jpeg : picture.kind;
  if (!ReadPictureFile(path, bytes)) {  // regular files only, so a pipe is never waited on
    ShowPlainMessage("The image could not be found at its expected location:\n\n    " + path +
                     "\n\nUnable to copy image to target directory.");
    return false;
  }
  if (SniffPicture(reinterpret_cast<const unsigned char*>(bytes.data()), std::min<size_t>(bytes.size(), 16)) != kind) {
    bytes.clear();
    ShowPlainMessage(std::string("The image is no longer the ") + PictureKindName(kind) +
                     " picture the project opened:\n\n    " + path + "\n\nUnable to copy image to target directory.");
    return false;
  }
  return true;
}

// Pictures the project could not load are not exported: the export stops before it begins.
bool EveryPictureLoaded(const ImageStack& stack) {
  std::string missing;
  for (int i = 0; i < stack.pictureCount(); ++i)
    if (!Picture(stack, i).loaded) missing += "\n    " + Picture(stack, i).FullPath();
  if (missing.empty()) return true;
  ShowPlainMessage("These pictures could not be loaded, so the zoom cannot be exported:\n" + missing +
                   "\n\nNothing was written.");
  return false;
}

bool Cancelled(const WebExportOptions& o) {
  if (!o.cancelled || !o.cancelled()) return false;
  ShowPlainMessage("The export was interrupted; nothing was written.");
  return true;
}

// The steps of an export: the data file, each picture, the page.
int StepCount(const ImageStack& stack) { return stack.pictureCount() + 2; }

void Step(const WebExportOptions& o, int done, const ImageStack& stack) {
  if (o.progress) o.progress(done, StepCount(stack));
}

bool StageHtml5Files(ExportFolder& out, ImageStack& stack, const WebExportOptions& o, const std::string& data,
                     const std::vector<std::string>& player, const std::vector<std::string>& names) {
  if (!out.Add(InTarget(o, o.page.dataUrl + ".js"), Wrapped("provideData", o.page.dataUrl, Base64(data)))) return false;
  if (!out.AddFolder(InTarget(o, webPlayerFolder))) return false;
  for (size_t i = 0; i < player.size(); ++i)
    if (!out.AddToFolder(webPlayerFiles[i], player[i])) return false;
  std::set<std::string> staged;  // a picture shown twice is written once
  for (int i = 0; i < stack.pictureCount(); ++i) {
    if (Cancelled(o)) return false;
    const Image& picture = Picture(stack, i);
    const std::string& name = names[static_cast<size_t>(i)];
    if (!staged.insert(name).second) continue;
    std::string bytes;
    if (!ExportedPicture(picture, o.pictureSide, bytes)) return false;
    if (WritesPicture(picture, name, o) && !out.Add(InTarget(o, name), bytes)) return false;
    if (!out.Add(InTarget(o, name + ".js"),
                 Wrapped("providePicture", name, std::string("data:") + MimeType(bytes) + ";base64," + Base64(bytes))))
      return false;
    Step(o, i + 2, stack);
  }
  return true;
}

// Every path the export writes, in the order it names them. A player folder that is not a real
// directory (a link, a file) is replaced as a whole.
std::vector<std::string> Destinations(const ImageStack& stack, const WebExportOptions& o,
                                      const std::vector<std::string>& names) {
  const bool html5 = o.player == WebPlayer::Html5;
  std::vector<std::string> paths = {InTarget(o, o.pageName), InTarget(o, o.page.dataUrl)};
  if (html5) {
    paths.push_back(InTarget(o, o.page.dataUrl + ".js"));
    const std::string folder = InTarget(o, webPlayerFolder);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
      paths.push_back(folder);
    else
      for (const char* file : webPlayerFiles) paths.push_back(folder + "/" + file);
  } else {
    paths.push_back(InTarget(o, o.page.archiveUrl));
  }
  for (int i = 0; i < stack.pictureCount(); ++i) {
    const std::string& name = names[static_cast<size_t>(i)];
    if (WritesPicture(Picture(stack, i), name, o)) paths.push_back(InTarget(o, name));
    if (html5) paths.push_back(InTarget(o, name + ".js"));
  }
  return paths;
}

// A directory where a file would go stops the export before anything is written.
bool NoDirectoryInTheWay(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      ShowPlainMessage("Error opening file " + path + " for writing\n");
      return false;
    }
  }
  return true;
}

// Made when missing, with the folders above it; what was made is given back to be removed
// should the export fail.
bool MakeDirectory(const std::string& directory, std::vector<std::string>& made) {
  std::error_code error;
  for (std::filesystem::path p = directory; !p.empty() && !std::filesystem::exists(p, error); p = p.parent_path()) {
    made.push_back(p.string());
    if (p == p.parent_path()) break;
  }
  std::filesystem::create_directories(directory, error);
  if (std::filesystem::is_directory(directory, error)) return true;
  ShowPlainMessage("Unable to create target directory:\n\n    " + directory +
                   "\n\nThe directory name may be invalid or the location may be read-only.");
  return false;
}

void RemoveEmptyDirectories(const std::vector<std::string>& made) {
  for (const std::string& directory : made) ::rmdir(directory.c_str());  // only while empty
}

// The applet's copy of a picture: the JPEG file's bytes, or a JPEG made at its full size from a
// picture of another kind or with a colour correction.
bool AppletPicture(const Image& picture, std::string& jpeg) {
  if (!ReadLoadedPicture(picture, jpeg)) return false;
  if (IsJpeg(picture) && picture.colour.IsIdentity()) return true;
  jpeg.clear();
  return EncodedJpeg(picture, picture.width, picture.height, jpeg, picture.colour);
}

}  // namespace

bool ExportedPicture(const Image& picture, int side, std::string& bytes) {
  if (!ReadLoadedPicture(picture, bytes)) return false;
  if (!Shrinks(picture, side)) return true;
  bytes.clear();
  const auto [w, h] = ExportedSize(picture.width, picture.height, side);
  return EncodedJpeg(picture, w, h, bytes);
}

std::vector<std::string> ExportedNames(const ImageStack& stack, const WebExportOptions& o) {
  const size_t count = static_cast<size_t>(stack.pictureCount());
  std::vector<std::string> names(count);
  std::map<std::string, std::string> sourceOf;  // by name in the export: the file it copies
  std::set<std::string> used = {o.pageName, o.page.dataUrl, o.page.dataUrl + ".js", webPlayerFolder, o.page.archiveUrl};
  auto take = [&](size_t i, const std::string& name) {
    names[i] = name;
    sourceOf[name] = CopySource(Picture(stack, static_cast<int>(i)), o);
    used.insert(name);
    used.insert(name + ".js");
  };
  // Pictures in the target directory keep their names first: they are not copied.
  for (size_t i = 0; i < count; ++i) {
    const Image& picture = Picture(stack, static_cast<int>(i));
    if (PlainName(picture.baseName) && AlreadyThere(picture, o) && !ConvertsToJpeg(picture, o) &&
        !used.count(picture.baseName))
      take(i, picture.baseName);
  }
  // A copy never takes the name of a picture in the target directory: it would replace the file.
  for (size_t i = 0; i < count; ++i) {
    const Image& picture = Picture(stack, static_cast<int>(i));
    if (names[i].empty() && AlreadyThere(picture, o)) {
      used.insert(picture.baseName);
      used.insert(picture.baseName + ".js");
    }
  }
  for (size_t i = 0; i < count; ++i) {
    if (!names[i].empty()) continue;
    const Image& picture = Picture(stack, static_cast<int>(i));
    std::string name = picture.baseName;
    std::replace(name.begin(), name.end(), ':', '_');
    if (!PlainName(name)) name = "picture.jpg";
    if (ConvertsToJpeg(picture, o)) name = WithJpegExtension(name);
    const auto same = sourceOf.find(name);
    if (same != sourceOf.end() && same->second == CopySource(picture, o)) {
      names[i] = name;  // the same file twice in the stack
      continue;
    }
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = name.substr(stem.size());
    for (int k = 2; used.count(name); ++k) name = stem + "-" + std::to_string(k) + extension;
    take(i, name);
  }
  return names;
}

std::vector<std::string> ExistingWebExportFiles(const ImageStack& stack, const WebExportOptions& o) {
  std::vector<std::string> existing;
  for (const std::string& path : Destinations(stack, o, ExportedNames(stack, o))) {
    std::string said = Existing(path);
    if (!said.empty()) existing.push_back(std::move(said));
  }
  return existing;
}

uint64_t EstimateWebExportBytes(const ImageStack& stack, const WebExportOptions& o) {
  const bool html5 = o.player == WebPlayer::Html5;
  uint64_t total = 4096 + 64 * static_cast<uint64_t>(stack.pictureCount());  // page and data file
  std::error_code error;
  for (int i = 0; i < stack.pictureCount(); ++i) {
    const Image& picture = Picture(stack, i);
    const uintmax_t size = std::filesystem::file_size(picture.FullPath(), error);
    uint64_t bytes = error ? 0 : static_cast<uint64_t>(size);
    if ((html5 && Shrinks(picture, o.pictureSide)) || ConvertsToJpeg(picture, o)) {
      // About a third of a byte a pixel at quality 90 for photographs, never more than the file.
      const auto [w, h] = ExportedSize(picture.width, picture.height, html5 ? o.pictureSide : 0);
      const uint64_t estimate = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) / 3;
      bytes = bytes ? std::min(bytes, estimate) : estimate;
    }
    total += html5 ? bytes + (bytes + 2) / 3 * 4 : bytes;  // the picture and its base64 wrapper
  }
  if (html5) total += 200 * 1024;  // the player's files
  return total;
}

WebExportResult ExportWeb(ImageStack& stack, const WebExportOptions& o) {
  const bool html5 = o.player == WebPlayer::Html5;
  if (html5 && o.pictureSide > 0)
    for (int i = 0; i < stack.pictureCount(); ++i)
      if (AlreadyThere(Picture(stack, i), o) && Shrinks(Picture(stack, i), o.pictureSide)) {
        ShowPlainMessage(
            "The pictures lie in the target directory: their reduced copies would replace them.\n\n"
            "Choose another directory, or the original files.");
        return WebExportResult::Failed;
      }
  if (!EveryPictureLoaded(stack)) return WebExportResult::Failed;
  std::vector<std::string> player;
  if (html5 && !ReadPlayer(o.playerDirectory, player)) return WebExportResult::Failed;
  std::vector<std::pair<int, int>> sizes;
  for (int i = 0; i < stack.pictureCount(); ++i)
    sizes.push_back(ExportedSize(Picture(stack, i).width, Picture(stack, i).height, html5 ? o.pictureSide : 0));
  const std::vector<std::string> names = ExportedNames(stack, o);
  if (!NoDirectoryInTheWay(Destinations(stack, o, names))) return WebExportResult::Failed;

  std::vector<std::string> made;
  if (!MakeDirectory(o.directory, made)) return WebExportResult::Failed;
  WebExportResult result = WebExportResult::Ok;
  std::string convertedList;  // the applet's JPEG copies of other kinds
  std::string correctedList;  // and of pictures with a colour correction
  {
    ExportFolder out;  // removed, with whatever is left in it, at the end of this block
    bool ok = out.Open(o.directory, o.pageName);
    const std::string data = DataFile(stack, o.page.duration, names);
    ok = ok && out.Add(InTarget(o, o.page.dataUrl), data);
    if (ok) Step(o, 1, stack);
    if (ok && html5) {
      ok = StageHtml5Files(out, stack, o, data, player, names);
    } else if (ok) {
      // The applet: a missing archive template is reported, and the pictures are still copied
      // (the archive may already lie where the page looks for it).
      const auto copied = out.AddCopy(InTarget(o, o.page.archiveUrl), o.archiveTemplate, o.cancelled);
      if (copied == ExportFolder::CopyResult::NoSource) {
        ShowMissingArchiveTemplate(o.archiveTemplate);
        result = WebExportResult::NoArchive;
      } else {
        ok = copied == ExportFolder::CopyResult::Copied;
        if (copied == ExportFolder::CopyResult::Cancelled) (void)Cancelled(o);  // says so
      }
      std::set<std::string> staged, converted;
      for (int i = 0; ok && i < stack.pictureCount(); ++i) {
        const Image& picture = Picture(stack, i);
        const std::string& name = names[static_cast<size_t>(i)];
        std::string jpeg;
        if (WritesPicture(picture, name, o) && staged.insert(name).second)
          ok = !Cancelled(o) && AppletPicture(picture, jpeg) && out.Add(InTarget(o, name), jpeg);
        if (ok && ConvertsToJpeg(picture, o) && converted.insert(name).second)
          (AppletCorrects(picture, o) ? correctedList : convertedList) += "\n    " + picture.baseName + "  ->  " + name;
        if (ok) Step(o, i + 2, stack);
      }
    }
    // The page last: it is what a visitor opens.
    ok = ok && out.Add(InTarget(o, o.pageName), PageText(stack, o, sizes));
    ok = ok && !Cancelled(o) && out.Commit();
    if (ok) Step(o, StepCount(stack), stack);
    if (!ok) result = WebExportResult::Failed;
  }
  if (result == WebExportResult::Failed) RemoveEmptyDirectories(made);
  if (result != WebExportResult::Failed && !convertedList.empty())
    ShowPlainMessage(
        "The applet plays JPEG pictures only, so these pictures were written as JPEG copies "
        "(quality " +
        std::to_string(jpegQuality) + "):\n" + convertedList);
  if (result != WebExportResult::Failed && !correctedList.empty())
    ShowPlainMessage(
        "The applet shows pictures as their files have them, so these pictures were written as JPEG copies "
        "with their colour corrections (quality " +
        std::to_string(jpegQuality) + "):\n" + correctedList);
  return result;
}
