// The .kx project file: CR LF text, a point as decimal separator in every locale.
//
// The reader works on white-space separated tokens, the way the format has always been read
// (scanf "%s %f" style), so hand-edited files with other line layouts still open; only a
// picture's file name is bound to a line: it is the rest of the line after its keyword.
//
// The project's settings (play, pace, then the pictures' colour corrections) follow the target
// frame's block, one "KEYWORD VALUE..." line each, and only those that differ from their defaults
// are written (no line for a picture drawn as its file has it): a project with default
// settings is byte for byte what the program has always written, and older copies of the program,
// whose reader stops after the target frame's rotation, open newer projects as there and back
// with the eased pace. Reading them never fails an open: a line this program does not know, or a
// value it does not know, is passed over without a word (the setting keeps its default), so a
// project written by a newer copy opens as near to what it was as this one can show.

#include <climits>
#include <cmath>
#include <memory>
#include <ostream>
#include <sstream>

#include "Imagestack.h"
#include "Messages.h"
#include "Paths.h"
#include "PictureCheck.h"
#include "SafeFile.h"
#include "TextNumbers.h"

namespace {

const char* const lineEnd = "\r\n";

std::string Fixed(float value) { return FormatFixed(static_cast<double>(value), 10); }

void WriteTransform(std::ostream& out, const Transform& t) {
  out << "scale " << Fixed(t.scale) << lineEnd;
  out << "translate " << Fixed(t.translateX) << ' ' << Fixed(t.translateY) << lineEnd;
  out << "rotate " << Fixed(t.rotate) << lineEnd;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

enum class Token { Match, Mismatch, End };

class TokenReader {
 public:
  explicit TokenReader(const std::string& text) : text_(text) {}

  // Skips white space, line ends included; false at the end of the text.
  bool SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
    return pos_ < text_.size();
  }

  // The next run of non-blank characters, compared whole with `expected`.
  Token Keyword(const char* expected) {
    if (!SkipSpace()) return Token::End;
    size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_])) ++pos_;
    return text_.compare(start, pos_ - start, expected) == 0 ? Token::Match : Token::Mismatch;
  }

  // A number that does not parse leaves `value` alone and its characters unread.
  void Float(float& value) {
    SkipSpace();
    ParseFloatAt(text_, pos_, value);
  }

  bool Integer(long long& value) {
    SkipSpace();
    return ParseLongAt(text_, pos_, value);
  }

  // From where reading stands to the end of its line (without the line end), moving past the line
  // end; false at the end of the text.
  bool Line(std::string& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    line.assign(text_, pos_, end - pos_);
    pos_ = end + 1;
    return true;
  }

  // After the blanks (which may cross line ends): the rest of the line, without its line end.
  void RestOfLine(std::string& value) {
    if (!SkipSpace()) return;
    size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) end = text_.size();
    size_t stop = end;
    if (stop > pos_ && text_[stop - 1] == '\r') --stop;
    value.assign(text_, pos_, stop - pos_);
    pos_ = end;
  }

 private:
  const std::string& text_;
  size_t pos_ = 0;
};

const char* const unexpectedFormat = "Unexpected file format.";

// What a stored colour correction may hold: anything beyond is taken for damage, not a look.
constexpr float maxStoredGain = 16.0f;
constexpr float maxStoredOffset = 1.0f;

bool SkipBlanks(const std::string& line, size_t& pos) {
  const size_t start = pos;
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  return pos > start || pos == line.size();
}

// "colour N GR GG GB OR OG OB" after its keyword (at `pos`): picture N (from 1) of `pictures`
// and its correction; false for anything else (a missing or extra number, one out of range).
bool ParseColourLine(const std::string& line, size_t pos, int pictures, int& picture, ColourCorrection& colour) {
  long long n = 0;
  if (!SkipBlanks(line, pos) || !ParseLongAt(line, pos, n) || n < 1 || n > pictures) return false;
  float values[6];
  for (float& value : values)
    if (!SkipBlanks(line, pos) || !ParseFloatAt(line, pos, value) || !std::isfinite(value)) return false;
  SkipBlanks(line, pos);
  if (pos != line.size()) return false;
  for (size_t c = 0; c < 3; ++c) {
    if (!(values[c] > 0.0f && values[c] <= maxStoredGain && std::fabs(values[c + 3]) <= maxStoredOffset)) return false;
    colour.gain[c] = values[c];
    colour.offset[c] = values[c + 3];
  }
  picture = static_cast<int>(n - 1);
  return true;
}

// The lines after the target frame's block: "play WORD", "pace WORD", "colour N ..."; anything
// else is left alone.
void ReadSettings(TokenReader& in, ImageStack& stack) {
  std::string line;
  while (in.Line(line)) {
    std::istringstream words(line);
    std::string keyword, value;
    if (!(words >> keyword >> value)) continue;
    if (keyword == "play") {
      ParsePlayMode(value, stack.playSettings.play);
    } else if (keyword == "pace") {
      ParsePace(value, stack.playSettings.pace);
    } else if (keyword == "colour") {
      int picture = 0;
      ColourCorrection colour;
      if (ParseColourLine(line, line.find("colour") + 6, stack.pictureCount(), picture, colour))
        stack.images[static_cast<size_t>(picture)]->colour = colour;
    }
  }
}

// keyword, then one or more numbers; false (after the message) when the keyword is missing or wrong.
bool ReadTransform(TokenReader& in, Transform& t) {
  if (in.Keyword("scale") != Token::Match) return false;
  in.Float(t.scale);
  if (in.Keyword("translate") != Token::Match) return false;
  in.Float(t.translateX);
  in.Float(t.translateY);
  if (in.Keyword("rotate") != Token::Match) return false;
  in.Float(t.rotate);
  return true;
}

}  // namespace

void ImageStack::SaveProject(std::ostream& out) const {
  const int pictures = pictureCount();
  out << "#Tunnelvista v1.0" << lineEnd;
  out << "duration " << Fixed(duration) << lineEnd;
  out << "images " << pictures << lineEnd;
  out << lineEnd;
  for (int i = 0; i < pictures; ++i) {
    out << "filename " << images[static_cast<size_t>(i)]->ProjectName(path) << lineEnd;
    WriteTransform(out, images[static_cast<size_t>(i)]->transform);
    out << lineEnd;
  }
  out << "target" << lineEnd;
  WriteTransform(out, images.empty() ? Transform() : images.back()->transform);
  const PlaySettings defaults;
  bool corrected = false;
  for (int i = 0; i < pictures; ++i) corrected = corrected || !images[static_cast<size_t>(i)]->colour.IsIdentity();
  if (playSettings != defaults || corrected) out << lineEnd;
  if (playSettings.play != defaults.play) out << "play " << PlayModeWord(playSettings.play) << lineEnd;
  if (playSettings.pace != defaults.pace) out << "pace " << PaceWord(playSettings.pace) << lineEnd;
  // Nine significant digits read back as the very same float.
  for (int i = 0; i < pictures; ++i) {
    const ColourCorrection& colour = images[static_cast<size_t>(i)]->colour;
    if (colour.IsIdentity()) continue;
    out << "colour " << i + 1;
    for (const auto* values : {&colour.gain, &colour.offset})
      for (float value : *values) out << ' ' << FormatGeneral(static_cast<double>(value), 9);
    out << lineEnd;
  }
}

bool ImageStack::SaveProject() {
  if (path.empty()) return false;
  std::ostringstream text;
  SaveProject(text);
  return WriteFileReporting(path, text.str());
}

bool ImageStack::ReadProject(const std::string& text) {
  TokenReader in(text);
  Token magic = in.Keyword("#Tunnelvista");
  if (magic == Token::End) {
    ShowPlainMessage("Unexpected end of file\n");
    return false;
  }
  Token version = in.Keyword("v1.0");
  if (magic != Token::Match || version != Token::Match) {
    ShowPlainMessage("Unexpected file type or version\nExpected #Tunnelvista v1.0");
    return false;
  }

  if (in.Keyword("duration") != Token::Match) {
    ShowPlainMessage(unexpectedFormat);
    return false;
  }
  in.Float(duration);

  if (in.Keyword("images") != Token::Match) {
    ShowPlainMessage(unexpectedFormat);
    return false;
  }
  long long pictures = 0;
  in.Integer(pictures);
  // Elements are created as they are read, so a huge count in a short file simply runs into the
  // end of the file; only counts that cannot be held are refused here.
  if (pictures < 0 || pictures >= INT_MAX) {
    ShowPlainMessage(unexpectedFormat);
    return false;
  }

  for (long long i = 0; i < pictures; ++i) {
    images.push_back(std::make_unique<Image>());
    Image& picture = *images.back();
    if (in.Keyword("filename") != Token::Match) {
      ShowPlainMessage(unexpectedFormat);
      return false;
    }
    in.RestOfLine(picture.fileName);
    picture.ResolvePath(path);
    if (!ReadTransform(in, picture.transform)) {
      ShowPlainMessage(unexpectedFormat);
      return false;
    }
  }

  images.push_back(std::make_unique<Image>());
  if (in.Keyword("target") != Token::Match || !ReadTransform(in, images.back()->transform)) {
    ShowPlainMessage(unexpectedFormat);
    return false;
  }
  ReadSettings(in, *this);
  return true;
}

bool ImageStack::ReadProjectFile() {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    ShowPlainMessage("Error opening file " + path + " for reading\n");
    return false;
  }
  return ReadProject(text);
}

std::unique_ptr<PictureCheck> ImageStack::StartCheck(std::function<void()> wake, int workers,
                                                     NeededSides needed) const {
  std::vector<std::string> paths;
  for (int i = 0; i < pictureCount(); ++i) paths.push_back(images[static_cast<size_t>(i)]->FullPath());
  // A picture not where the project says is looked for under the project's directory (the
  // project may have been moved with its pictures), on the workers, before its check.
  auto finder = std::make_shared<const MovedPictureFinder>(path);
  return std::make_unique<PictureCheck>(
      std::move(paths), workers, std::move(wake),
      [finder](const std::string& missing) { return finder->Find(missing); }, std::move(needed));
}

bool ImageStack::ApplyChecks(PictureCheck& check) {
  bool applied = false;
  const size_t pictures = static_cast<size_t>(pictureCount());
  for (auto& [i, checked] : check.Take()) {
    if (i >= pictures) continue;
    Image& picture = *images[i];
    // A file found elsewhere is used only when it is a good picture; otherwise the picture keeps
    // its place and fails as before.
    if (checked.ok && !checked.foundPath.empty()) {
      picture.directory = DirectoryPart(checked.foundPath);
      picture.foundElsewhere = true;
    }
    picture.Apply(std::move(checked));
    applied = true;
  }
  if (applied) {
    FitTargetFrame();
    dirty = true;
  }
  return applied;
}

void ImageStack::ReportFailedPictures() const {
  std::string failed;
  for (int i = 0; i < pictureCount(); ++i) {
    const Image& picture = *images[static_cast<size_t>(i)];
    if (!picture.loaded && !picture.fileName.empty()) failed += picture.FailedName() + "\n    ";
  }
  if (!failed.empty())
    ShowPlainMessage("There was an error loading the following files:\n\n    " + failed +
                     "\nThese files may not exist or may not be valid JPEG images.  You can\nreload these files by "
                     "selecting \"Image List\" from the Edit menu.");
}

void ImageStack::ReportFoundElsewhere() const {
  std::string found;
  for (int i = 0; i < pictureCount(); ++i) {
    const Image& picture = *images[static_cast<size_t>(i)];
    if (picture.foundElsewhere) found += "\n    " + picture.fileName + ":  " + picture.FoundNote();
  }
  if (!found.empty())
    ShowPlainMessage("These pictures were not where the project says, and were found elsewhere:\n" + found +
                     "\n\nThey are used from there, and saving the project keeps their new places. If one is "
                     "not the picture you meant, choose it again in the Image List (Edit menu).");
}

bool ImageStack::LoadProject() {
  if (!ReadProjectFile()) return false;
  const std::unique_ptr<PictureCheck> check = StartCheck();
  check->Wait();
  ApplyChecks(*check);
  ReportFailedPictures();
  dirty = true;
  return true;
}
