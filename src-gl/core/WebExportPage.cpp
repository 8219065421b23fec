// The HTML5 player's page: its text, the escaping it needs and the size it shows the zoom at.

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <cstdint>
#include <ostream>
#include <sstream>

#include "ImagestackExport.h"
#include "TextNumbers.h"
#include "WebExport.h"

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

namespace {

// "colours": per picture [gr, gg, gb, or, og, ob], or null for one drawn as its file has it;
// nothing when no picture is corrected, so such a page is what it always was.
void WriteColours(std::ostream& out, const std::vector<ColourCorrection>& colours) {
  if (std::all_of(colours.begin(), colours.end(), [](const ColourCorrection& c) { return c.IsIdentity(); })) return;
  out << ", \"colours\": [";
  for (size_t i = 0; i < colours.size(); ++i) {
    out << (i ? ", " : "");
    if (colours[i].IsIdentity()) {
      out << "null";
      continue;
    }
    const char* separator = "[";
    for (const auto* values : {&colours[i].gain, &colours[i].offset})
      for (float value : *values) {
        out << separator << FormatGeneral(static_cast<double>(value), 9);
        separator = ", ";
      }
    out << "]";
  }
  out << "]";
}

}  // namespace

void WriteHtml5Page(std::ostream& out, const WebPageOptions& o, const std::vector<std::pair<int, int>>& sizes,
                    const Transform* target, const std::vector<ColourCorrection>& colours) {
  const char* flag[] = {"false", "true"};
  std::ostringstream start;
  start << "Tunnelvista.start(document.getElementById(\"kx-player\"), {";
  start << "\"data\": " << JsonString(o.dataUrl) << ", \"width\": " << std::clamp(o.width, 1, maxWebPageWidth)
        << ", \"height\": " << std::clamp(o.height, 1, maxWebPageHeight);
  start << ", \"duration\": " << FormatGeneral(static_cast<double>(o.duration), 9);
  start << ", \"controls\": " << flag[o.showControls] << ", \"autoplay\": " << flag[o.autoplay]
        << ", \"forward\": " << flag[o.playForward];
  start << ", \"background\": \"#" << HtmlColour(o.pageColour) << "\", \"text\": \"#" << HtmlColour(o.textColour)
        << "\", \"sizes\": [";
  for (size_t i = 0; i < sizes.size(); ++i)
    start << (i ? ", [" : "[") << sizes[i].first << ", " << sizes[i].second << "]";
  start << "]";
  if (target) {
    start << ", \"target\": [";
    const char* separator = "";
    for (float value : {target->scale, target->translateX, target->translateY, target->rotate}) {
      start << separator << FormatGeneral(static_cast<double>(value), 9);
      separator = ", ";
    }
    start << "]";
  }
  // Settings newer than the page: only when they differ from what a page without them does.
  if (o.pageSize == WebPageSize::FillWindow) start << ", \"fill\": true";
  if (o.endless) start << ", \"play\": \"endless\"";
  if (o.steady) start << ", \"pace\": \"steady\"";
  WriteColours(start, colours);
  start << "});";
  const std::string script = start.str();
  const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(script), QCryptographicHash::Sha256);

  const std::string title = HtmlEscape(o.title);
  // A page that fills the window says so before anything is drawn, so the title and the caption
  // never show in the box layout first.
  out << "<!DOCTYPE html>\n"
      << (o.pageSize == WebPageSize::FillWindow ? "<html class=\"tv-fill\">" : "<html>")
      << "\n<head>\n<meta charset=\"utf-8\">\n";
  // Only the page's own scripts run (the player's files, the pictures' and the data file's
  // wrappers, and the start below by its hash) and only its own pictures show: a data file
  // naming pictures elsewhere cannot bring in anything. data: pictures are the wrappers' (pages
  // from disk); styles may be inline (the colours below, the caption).
  out << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'self' 'sha256-"
      << hash.toBase64().toStdString()
      << "'; style-src 'self' 'unsafe-inline'; img-src 'self' data:; connect-src 'self'; base-uri 'none'\">\n";
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
  out << "<script>" << script << "</script>\n</body>\n</html>\n";
}

std::pair<int, int> DefaultWebSize(int width, int height) {
  if (width <= 0 || height <= 0) return {320, 240};
  if (height < width) return {320, static_cast<int>(320.0 * height / width + 0.5)};
  return {static_cast<int>(320.0 * width / height + 0.5), 320};
}
