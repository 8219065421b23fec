#include "ImagestackExport.h"

#include <cstring>
#include <filesystem>
#include <ostream>
#include <sstream>

#include "Imagestack.h"
#include "JpegDecode.h"
#include "Messages.h"
#include "SafeFile.h"
#include "TextNumbers.h"

namespace {

// The installer and plug-in pages that the page's object and embed forms point browsers to.
const char* const installerUrl = "https://www.java.com/update/1.5.0/jinstall-1_5-windows-i586.cab#Version=1,2,0,0";
const char* const pluginPageUrl = "https://www.java.com/products/plugin/index.html#download";

const char* Flag(bool value) { return value ? "true" : "false"; }

void PutBigEndian(std::ostream& out, const void* value) {
  unsigned char bytes[4];
  std::memcpy(bytes, value, 4);
  const char reversed[4] = {static_cast<char>(bytes[3]), static_cast<char>(bytes[2]), static_cast<char>(bytes[1]),
                            static_cast<char>(bytes[0])};
  out.write(reversed, 4);
}

void PutFloat(std::ostream& out, float value) { PutBigEndian(out, &value); }

void PutInt(std::ostream& out, int32_t value) { PutBigEndian(out, &value); }

}  // namespace

std::string HtmlColour(uint32_t colour) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (int shift : {0, 8, 16}) {
    const unsigned byte = (colour >> shift) & 0xFF;
    text += digits[byte >> 4];
    text += digits[byte & 0xF];
  }
  return text;
}

void WriteWebPage(std::ostream& out, const WebPageOptions& o) {
  const std::string w = std::to_string(o.width);
  const std::string h = std::to_string(o.height);
  const std::string duration = FormatFixed(static_cast<double>(o.duration), 6);
  const char* const tab4 = "\t    ";
  const std::string in4(4, ' '), in8(8, ' '), in12(12, ' ');
  out << "<html>\n";
  out << "<head><title>" << o.title << "</title></head>\n";
  out << "<body bgcolor=#" << HtmlColour(o.pageColour) << " text=#" << HtmlColour(o.textColour) << ">\n";
  out << "<h1 align=center>" << o.title << "</h1>\n";
  out << "<table border=0 cellpadding=1 cellspacing=0 align=center>\n";
  out << "<tr><td width=" << w << " height=" << h << " align=center bgcolor=#000000>\n";
  out << "<script language=\"JavaScript\" type=\"text/javascript\"><!--\n";
  out << in4 << "var _info = navigator.userAgent;\n";
  out << in4 << "var _ns = false;\n";
  out << in4 << "var _ns6 = false;\n";
  out << in4
      << "var _ie = (_info.indexOf(\"MSIE\") > 0 && _info.indexOf(\"Win\") > 0 && _info.indexOf(\"Windows 3.1\") < "
         "0);\n";
  out << "//--></script>\n";
  out << in4 << "<comment>\n";
  out << in8 << "<script language=\"JavaScript\" type=\"text/javascript\"><!--\n";
  out << in8
      << "var _ns = (navigator.appName.indexOf(\"Netscape\") >= 0 && ((_info.indexOf(\"Win\") > 0 && "
         "_info.indexOf(\"Win16\") < 0 && java.lang.System.getProperty(\"os.version\").indexOf(\"3.5\") < 0) || "
         "(_info.indexOf(\"Sun\") > 0) || (_info.indexOf(\"Linux\") > 0) || (_info.indexOf(\"AIX\") > 0) || "
         "(_info.indexOf(\"OS/2\") > 0) || (_info.indexOf(\"IRIX\") > 0)));\n";
  out << in8 << "var _ns6 = ((_ns == true) && (_info.indexOf(\"Mozilla/5\") >= 0));\n";
  out << "//--></script>\n";
  out << in4 << "</comment>\n";
  out << "<script language=\"JavaScript\" type=\"text/javascript\"><!--\n";
  out << in4
      << "if (_ie == true) document.writeln('<object classid=\"clsid:8AD9C840-044E-11D1-B3E9-00805F499D93\" WIDTH = "
      << w << " HEIGHT = " << h << "  codebase=\"" << installerUrl << "\"><noembed><xmp>');\n";
  out << in4 << "else if (_ns == true && _ns6 == false) document.writeln('<embed ' +\n";
  out << tab4 << "'type=\"application/x-java-applet;version=1.2\" \\\n";
  out << in12 << "CODE = \"kx.class\" \\\n";
  out << in12 << "ARCHIVE = \"" << o.archiveUrl << "\" \\\n";
  out << in12 << "WIDTH = " << w << " \\\n";
  out << in12 << "HEIGHT = " << h << " \\\n";
  out << in12 << "filename =\"" << o.dataUrl << "\" \\\n";
  out << in12 << "showControls =\"" << Flag(o.showControls) << "\" \\\n";
  out << in12 << "playForward =\"" << Flag(o.playForward) << "\" \\\n";
  out << in12 << "autoPlay =\"" << Flag(o.autoplay) << "\" \\\n";
  out << in12 << "duration =\"" << duration << "\" ' +\n";
  out << tab4 << "'scriptable=false ' +\n";
  out << tab4 << "'pluginspage=\"" << pluginPageUrl << "\"><noembed><xmp>');\n";
  out << "//--></script>\n";
  out << "<applet  CODE = \"kx.class\" ARCHIVE = \"" << o.archiveUrl << "\" WIDTH = " << w << " HEIGHT = " << h
      << "></xmp>\n";
  out << in4 << "<PARAM NAME=CODE VALUE = \"kx.class\" >\n";
  out << in4 << "<PARAM NAME=ARCHIVE VALUE = \"" << o.archiveUrl << "\" >\n";
  out << in4 << "<PARAM NAME=type VALUE=\"application/x-java-applet;version=1.2\">\n";
  out << in4 << "<PARAM NAME=scriptable VALUE=\"false\">\n";
  out << in4 << "<PARAM NAME=filename VALUE=\"" << o.dataUrl << "\">\n";
  out << in4 << "<PARAM NAME=showControls VALUE=\"" << Flag(o.showControls) << "\">\n";
  out << in4 << "<PARAM NAME=playForward VALUE=\"" << Flag(o.playForward) << "\">\n";
  out << in4 << "<PARAM NAME=autoPlay VALUE=\"" << Flag(o.autoplay) << "\">\n";
  out << in4 << "<PARAM NAME=duration VALUE=\"" << duration << "\">\n";
  out << "<font color=#FFFFFF>To see this applet<br>Java must be enabled</font>\n";
  out << "</applet>\n";
  out << "</noembed>\n";
  out << "</embed>\n";
  out << "</object>\n";
  out << "</td></tr>\n";
  out << "</table><br>\n";
  out << "<table border=0 width=400 align=center><tr><td align=center>\n";
  out << o.caption << "\n";
  out << "</td></tr></table>\n";
  out << "</body>\n";
  out << "</html>\n";
}

void WriteOptimizedData(std::ostream& out, ImageStack& stack, float duration, const std::vector<std::string>* names) {
  static const char signature[] = "#Tunnelvista-optimized v1.0   ";
  static_assert(sizeof signature == 31, "the signature is 30 bytes");
  out.write(signature, 30);
  const char fixed[4] = {2, 0, 0, 0};
  out.write(fixed, 4);
  PutFloat(out, duration);
  const int pictures = stack.pictureCount();
  PutInt(out, pictures);
  for (int i = 0; i < pictures; ++i) {
    const Image& picture = *stack.images[static_cast<size_t>(i)];
    const std::string& name = names ? (*names)[static_cast<size_t>(i)] : picture.baseName;
    PutInt(out, static_cast<int32_t>(name.size()));
    out.write(name.data(), static_cast<std::streamsize>(name.size()));
    PutFloat(out, picture.transform.scale);
    PutFloat(out, picture.transform.translateX);
    PutFloat(out, picture.transform.translateY);
    PutFloat(out, picture.transform.rotate);
  }
  if (stack.dirty) stack.BuildKeyframes();  // the table must be current; drawing still rebuilds
  PutInt(out, stack.keyCount());
  for (const Keyframe& k : stack.keys)
    for (float value :
         {k.zoom, k.logZoom, k.x, k.y, k.rotate, k.time, k.logZoomSlope, k.xSlope, k.ySlope, k.rotateSlope})
      PutFloat(out, value);
}

bool JarFileOK(const std::string& archiveUrl) {
  const size_t last = archiveUrl.rfind('/');
  if (last == std::string::npos || last == 0) return true;
  long pos = static_cast<long>(last);
  while (pos >= 0) {
    if (pos < 2 || archiveUrl[static_cast<size_t>(pos)] != '/' || archiveUrl[static_cast<size_t>(pos - 1)] != '.' ||
        archiveUrl[static_cast<size_t>(pos - 2)] != '.')
      return false;
    pos -= 3;
  }
  return true;
}

bool ImageStack::SameDirectory() const {
  for (int i = 0; i + 1 < pictureCount(); ++i)
    if (images[static_cast<size_t>(i)]->directory != images[static_cast<size_t>(i + 1)]->directory) return false;
  return true;
}

void ShowMissingArchiveTemplate(const std::string& templatePath) {
  ShowPlainMessage(
      "The Java Archive (.jar) template could not be found at its expected location\nand may have been "
      "deleted.\n\n    " +
      templatePath + "\n\nUnable to create new .jar file.");
}

bool ImageStack::WriteWebFiles(const std::string& pagePath, const std::string& dataPath, const std::string& archivePath,
                               const WebPageOptions& page, const std::string& templatePath) {
  std::ostringstream html;
  WriteWebPage(html, page);
  if (!WriteFileReporting(pagePath, html.str())) return false;

  std::ostringstream data;
  WriteOptimizedData(data, *this, page.duration);
  if (!WriteFileReporting(dataPath, data.str())) return false;

  std::string archive;
  if (!ReadWholeFile(templatePath, archive)) {
    ShowMissingArchiveTemplate(templatePath);
    return false;
  }
  return WriteFileReporting(archivePath, archive);
}

bool Image::CopyTo(const std::string& destination) const {
  const std::string sourcePath = FullPath();
  std::string bytes;
  if (!ReadPictureFile(sourcePath, bytes)) {
    ShowPlainMessage("The image could not be found at its expected location:\n\n    " + sourcePath +
                     "\n\nUnable to copy image to target directory.");
    return false;
  }
  return WriteFileReporting(destination, bytes);
}
