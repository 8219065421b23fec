#include "WebExport.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <system_error>

#include "Imagestack.h"
#include "JpegDecode.h"
#include "Messages.h"
#include "SafeFile.h"
#include "TextNumbers.h"

const char* const webPlayerFiles[7] = {"kxo.js",      "timeline.js", "render-webgl.js", "render-canvas.js",
                                       "controls.js", "player.js",   "player.css"};
const char* const webPlayerFolder = "tunnelvista-player";
const int webPictureSides[4] = {0, 4096, 2048, 1024};

namespace {

constexpr int jpegQuality = 90;

std::string InTarget(const WebExportOptions& o, const std::string& name) { return o.directory + "/" + name; }

// Whether writing `path` would replace a file, resolving ".." against directories that exist
// and those about to be made: "site/../kx.jar" names kx.jar beside "site" even before "site"
// exists.
bool WouldReplace(const std::string& path) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
  return std::filesystem::exists(error ? std::filesystem::path(path) : resolved, error);
}

// A picture whose copy would land on its own file is in the target directory already, however
// the directory was spelled (a trailing slash, "." or "..", a symbolic link).
bool AlreadyThere(const Image& picture, const WebExportOptions& o) {
  if (picture.directory == o.directory) return true;
  std::error_code error;
  return std::filesystem::equivalent(picture.FullPath(), InTarget(o, picture.baseName), error);
}

bool Shrinks(const Image& picture, int side) { return side > 0 && std::max(picture.width, picture.height) > side; }

// Whether the export writes the picture's file (the wrapper beside it is always written).
bool WritesPicture(const Image& picture, const WebExportOptions& o) {
  if (!AlreadyThere(picture, o)) return true;
  return o.player == WebPlayer::Html5 && Shrinks(picture, o.pictureSide);
}

const Image& Picture(const ImageStack& stack, int i) { return *stack.images[static_cast<size_t>(i)]; }

std::string Wrapped(const char* function, const std::string& name, const std::string& value) {
  return std::string("Tunnelvista.") + function + "(" + JsonString(name) + ", " + JsonString(value) + ");\n";
}

std::string DataFile(ImageStack& stack, float duration) {
  std::ostringstream data;
  WriteOptimizedData(data, stack, duration);
  return data.str();
}

std::string PageText(const ImageStack& stack, const WebExportOptions& o,
                     const std::vector<std::pair<int, int>>& sizes) {
  std::ostringstream html;
  if (o.player == WebPlayer::Html5)
    WriteHtml5Page(html, o.page, sizes,
                   stack.count() > stack.pictureCount() ? &stack.images.back()->transform : nullptr);
  else
    WriteWebPage(html, o.page);
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

bool WriteHtml5Files(ImageStack& stack, const WebExportOptions& o, const std::string& data,
                     const std::vector<std::string>& player) {
  if (!WriteFileReporting(InTarget(o, o.page.dataUrl + ".js"), Wrapped("provideData", o.page.dataUrl, Base64(data))))
    return false;
  const std::string folder = InTarget(o, webPlayerFolder);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) {
    ShowPlainMessage("Unable to create the player's folder:\n\n    " + folder);
    return false;
  }
  for (size_t i = 0; i < player.size(); ++i)
    if (!WriteFileReporting(folder + "/" + webPlayerFiles[i], player[i])) return false;
  for (int i = 0; i < stack.pictureCount(); ++i) {
    const Image& picture = Picture(stack, i);
    std::string jpeg;
    if (!ExportedPicture(picture, o.pictureSide, jpeg)) return false;
    if (WritesPicture(picture, o) && !WriteFileReporting(InTarget(o, picture.baseName), jpeg)) return false;
    if (!WriteFileReporting(InTarget(o, picture.baseName + ".js"),
                            Wrapped("providePicture", picture.baseName, "data:image/jpeg;base64," + Base64(jpeg))))
      return false;
  }
  return true;
}

}  // namespace

std::string JsonString(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == 0x7F) {
      out += "\\u00";
      out += digits[c >> 4];
      out += digits[c & 0xF];
    } else if (c == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";  // line ends inside a JavaScript string
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  return out;
}

std::string Base64(const std::string& bytes) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  auto byte = [&bytes](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k])); };
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    for (int shift : {18, 12, 6, 0}) out += alphabet[(v >> shift) & 63];
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const uint32_t v = byte(i) << 16 | (two ? byte(i + 1) << 8 : 0);
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += two ? alphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

void WriteHtml5Page(std::ostream& out, const WebPageOptions& o, const std::vector<std::pair<int, int>>& sizes,
                    const Transform* target) {
  const std::string title = HtmlEscape(o.title);
  const char* flag[] = {"false", "true"};
  out << "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n";
  out << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out << "<title>" << title << "</title>\n";
  // An empty icon: otherwise the browser asks the server for /favicon.ico and logs the 404.
  out << "<link rel=\"icon\" href=\"data:,\">\n";
  out << "<link rel=\"stylesheet\" href=\"" << webPlayerFolder << "/player.css\">\n";
  out << "<style>body { background: #" << HtmlColour(o.pageColour) << "; color: #" << HtmlColour(o.textColour)
      << "; }</style>\n";
  out << "</head>\n<body>\n";
  out << "<h1 style=\"text-align: center\">" << title << "</h1>\n";
  out << "<div id=\"kx-player\"></div>\n";
  out << "<div class=\"kx-caption\" style=\"text-align: center\">\n" << o.caption << "\n</div>\n";
  for (const char* file : webPlayerFiles)
    if (std::string(file).find(".js") != std::string::npos)
      out << "<script src=\"" << webPlayerFolder << "/" << file << "\"></script>\n";
  out << "<script>Tunnelvista.start(document.getElementById(\"kx-player\"), {";
  out << "\"data\": " << JsonString(o.dataUrl) << ", \"width\": " << o.width << ", \"height\": " << o.height;
  out << ", \"duration\": " << FormatGeneral(static_cast<double>(o.duration), 9);
  out << ", \"controls\": " << flag[o.showControls] << ", \"autoplay\": " << flag[o.autoplay]
      << ", \"forward\": " << flag[o.playForward];
  out << ", \"background\": \"#" << HtmlColour(o.pageColour) << "\", \"text\": \"#" << HtmlColour(o.textColour)
      << "\", \"sizes\": [";
  for (size_t i = 0; i < sizes.size(); ++i)
    out << (i ? ", [" : "[") << sizes[i].first << ", " << sizes[i].second << "]";
  out << "]";
  if (target) {
    out << ", \"target\": [";
    const char* separator = "";
    for (float value : {target->scale, target->translateX, target->translateY, target->rotate}) {
      out << separator << FormatGeneral(static_cast<double>(value), 9);
      separator = ", ";
    }
    out << "]";
  }
  out << "});</script>\n</body>\n</html>\n";
}

std::pair<int, int> ExportedSize(int width, int height, int side) {
  const int longest = std::max(width, height);
  if (side <= 0 || longest <= side) return {width, height};
  auto scaled = [&](int v) { return std::max(1, static_cast<int>(static_cast<double>(v) * side / longest + 0.5)); };
  return {scaled(width), scaled(height)};
}

bool ExportedPicture(const Image& picture, int side, std::string& jpeg) {
  const std::string path = picture.FullPath();
  if (!Shrinks(picture, side)) {
    if (ReadPictureFile(path, jpeg)) return true;  // a FIFO named as a picture would never end
    ShowPlainMessage("The image could not be found at its expected location:\n\n    " + path +
                     "\n\nUnable to copy image to target directory.");
    return false;
  }
  const auto [w, h] = ExportedSize(picture.width, picture.height, side);
  RgbaPicture decoded;
  QByteArray bytes;
  if (DecodeJpegRgba(path, ScaleDenominatorFor(picture.width, picture.height, side), decoded) == DecodeResult::Ok) {
    const QImage wrapped(decoded.rgba.data(), decoded.width, decoded.height, decoded.width * 4,
                         QImage::Format_RGBA8888);
    const QImage scaled = wrapped.mirrored()
                              .convertToFormat(QImage::Format_RGB888)
                              .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(jpegQuality);
    if (scaled.isNull() || !writer.write(scaled)) bytes.clear();
  }
  if (bytes.isEmpty()) {
    ShowPlainMessage("The image could not be reduced for the web:\n\n    " + path);
    return false;
  }
  jpeg.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
  return true;
}

std::pair<int, int> DefaultWebSize(int width, int height) {
  if (width <= 0 || height <= 0) return {320, 240};
  if (height < width) return {320, static_cast<int>(320.0 * height / width + 0.5)};
  return {static_cast<int>(320.0 * width / height + 0.5), 320};
}

std::vector<std::string> ExistingWebExportFiles(const ImageStack& stack, const WebExportOptions& o) {
  const bool html5 = o.player == WebPlayer::Html5;
  std::vector<std::string> paths = {InTarget(o, o.pageName), InTarget(o, o.page.dataUrl)};
  if (html5) {
    paths.push_back(InTarget(o, o.page.dataUrl + ".js"));
    for (const char* file : webPlayerFiles) paths.push_back(InTarget(o, std::string(webPlayerFolder) + "/" + file));
  } else {
    paths.push_back(InTarget(o, o.page.archiveUrl));
  }
  for (int i = 0; i < stack.pictureCount(); ++i) {
    const Image& picture = Picture(stack, i);
    if (WritesPicture(picture, o)) paths.push_back(InTarget(o, picture.baseName));
    if (html5) paths.push_back(InTarget(o, picture.baseName + ".js"));
  }
  std::vector<std::string> existing;
  for (const std::string& path : paths)
    if (WouldReplace(path)) existing.push_back(path);
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
    if (html5 && Shrinks(picture, o.pictureSide)) {
      // About a third of a byte a pixel at quality 90 for photographs, never more than the file.
      const auto [w, h] = ExportedSize(picture.width, picture.height, o.pictureSide);
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
  std::vector<std::string> player;
  if (html5 && !ReadPlayer(o.playerDirectory, player)) return WebExportResult::Failed;
  std::vector<std::pair<int, int>> sizes;
  for (int i = 0; i < stack.pictureCount(); ++i)
    sizes.push_back(ExportedSize(Picture(stack, i).width, Picture(stack, i).height, html5 ? o.pictureSide : 0));

  if (!WriteFileReporting(InTarget(o, o.pageName), PageText(stack, o, sizes))) return WebExportResult::Failed;
  const std::string data = DataFile(stack, o.page.duration);
  if (!WriteFileReporting(InTarget(o, o.page.dataUrl), data)) return WebExportResult::Failed;
  if (html5) return WriteHtml5Files(stack, o, data, player) ? WebExportResult::Ok : WebExportResult::Failed;

  // The applet: a missing archive template is reported, and the pictures are still copied (the
  // archive may already lie where the page looks for it).
  WebExportResult result = WebExportResult::Ok;
  std::string archive;
  if (!ReadWholeFile(o.archiveTemplate, archive)) {
    ShowMissingArchiveTemplate(o.archiveTemplate);
    result = WebExportResult::NoArchive;
  } else if (!WriteFileReporting(InTarget(o, o.page.archiveUrl), archive)) {
    return WebExportResult::Failed;
  }
  for (int i = 0; i < stack.pictureCount(); ++i) {
    const Image& picture = Picture(stack, i);
    if (WritesPicture(picture, o) && !picture.CopyTo(InTarget(o, picture.baseName))) return WebExportResult::Failed;
  }
  return result;
}
