#pragma once
// What the pieces of the command line share: the messages and the exit status, the parsing of
// option values, progress on a stream, and the work each option does.

#include <QCommandLineParser>
#include <QString>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "PlaySettings.h"
#include "VideoPlan.h"

class ImageStack;
class Job;
class Project;
struct AlignRequest;

namespace command_line {

// "tunnelvista: TEXT" on standard error.
void Fail(const QString& text);

// The exit status of the work: 0 when everything was done; 1 when something failed, the work
// having done what it could (a picture that could not be loaded, one with no reliable match, a file
// that could not be written); 2 for options that cannot be used, before any work.
//
// A picture that could not be loaded was named on standard error when the project opened; the
// work goes on without it (a white placeholder where it is drawn), and the run fails at the end
// so that a script can tell.
int ExitStatus(bool done, const ImageStack& stack);

// A file named on the command line, made absolute against the current directory.
std::string AbsoluteFileName(const QString& argument);
// A name as the file system spells it.
std::string Encoded(const QString& text);
// WIDTHxHEIGHT, each side 1 to 65536; a message on failure.
bool ParseSize(const QString& text, int& width, int& height);
// The value of --OPTION as a finite number; a message on failure.
bool ParseNumber(const QCommandLineParser& parser, const char* option, double& value);

// Opens the project named by `argument` in `project`, as the editor does but without windows
// and without recovery files, and waits until its pictures have been checked (those that failed
// are named on standard error). False, the reason said, when the project could not be read.
bool OpenForWork(Project& project, const QString& argument);
// Until the pictures of the project `project` is opening have all been checked.
void WaitForOpening(Project& project);

// An option that takes one of a few words, each standing for a value (--direction in|out|inout).
// A new word is a new line in the option's table; the message for any other value lists the words.
template <typename T>
struct Word {
  const char* text;
  T value;
  bool listed = true;  // named in the message; an alias that is not is accepted all the same
};

template <typename T>
struct WordOption {
  const char* name;  // without the dashes
  std::vector<Word<T>> words;

  // The value `text` stands for; null when it is none of the words.
  const T* Find(const QString& text) const {
    for (const Word<T>& word : words)
      if (text == QLatin1String(word.text)) return &word.value;
    return nullptr;
  }
  std::vector<const char*> Listed() const {
    std::vector<const char*> listed;
    for (const Word<T>& word : words)
      if (word.listed) listed.push_back(word.text);
    return listed;
  }
};

// "--NAME takes A, B or C, not "TEXT"".
void FailWord(const char* name, const std::vector<const char*>& listed, const QString& text);

// When --NAME is given, the value of its word goes to `value`; false, with the message, for any
// other text (an empty one too). When it is not given, `value` is left as it is.
template <typename T>
bool ParseWord(const QCommandLineParser& parser, const WordOption<T>& option, T& value) {
  const QString name = QLatin1String(option.name);
  if (!parser.isSet(name)) return true;
  const QString text = parser.value(name);
  const T* found = option.Find(text);
  if (!found) {
    FailWord(option.name, option.Listed(), text);
    return false;
  }
  value = *found;
  return true;
}
template <typename T>
bool ParseWord(const QCommandLineParser& parser, const WordOption<T>& option, std::optional<T>& value) {
  T given{};
  if (!parser.isSet(QLatin1String(option.name))) return true;
  if (!ParseWord(parser, option, given)) return false;
  value = given;
  return true;
}

// --play and --pace: the project's settings for this run only (the file is not changed).
struct PlayOverride {
  std::optional<PlayMode> play;
  std::optional<Pace> pace;
  void ApplyTo(ImageStack& stack) const;
};
// The two options' values (endless or back; eased or steady); a message on failure.
bool ParsePlayOverride(const QCommandLineParser& parser, PlayOverride& override);

// Progress of long work: a bar redrawn in place when `stream` is a terminal, else a whole line at
// each tenth, so that a log file holds whole lines. `unit` names what is counted ("frame").
class ProgressPrinter {
 public:
  ProgressPrinter(std::FILE* stream, const char* unit);

  void Show(int done, int total);

 private:
  std::FILE* stream_;
  const char* unit_;
  bool terminal_;
  int lastTenth_ = 0;
};

// Runs `job` to its end in an event loop of this thread, with its progress on `printer`;
// `interrupted` (may be empty) is asked every 50 ms and cancels the job when true. The job's
// `completed`.
bool RunJob(Job& job, ProgressPrinter& printer, const std::function<bool()>& interrupted = {});

// --frame's words, for --export-video and --render-frame.
inline const WordOption<VideoFrame> frameWords{"frame", {{"fill", VideoFrame::Fill}, {"fit", VideoFrame::Fit}}};

// --render-frame T OUT.png: the zoom at time t drawn offscreen into a PNG file, the first picture
// fitted to it or filling it as the video's frames do (`framing`).
int RenderFrame(double t, const QString& output, int width, int height, size_t budget, const QString& project,
                const PlayOverride& play, VideoFrame framing = VideoFrame::Fit);
// --export-web DIR: what the dialog writes with its defaults, asking nothing.
int ExportWebCommand(const QCommandLineParser& parser, const QString& project, const PlayOverride& play);
// --export-video OUT: the whole video, with a progress bar; 0 only when the file is in place.
int ExportVideoCommand(const QCommandLineParser& parser, const QString& project, size_t budget,
                       const PlayOverride& play);
// --align: each picture (or one) placed in its parent, the results printed, the project saved.
int AlignCommand(const QCommandLineParser& parser, const QString& project);
// Runs the alignment `request` asks for on the open project, with its progress on standard error,
// prints each picture's result on standard output and applies each placement found (`changed`
// when one was). True when every picture found a match.
bool AlignAndPrint(Project& open, const AlignRequest& request, bool& changed);
// --import-sequence DIR OUT.kx: the pictures of a folder as a new project, aligned and saved.
int ImportSequenceCommand(const QCommandLineParser& parser, const QString& output);
// --picture N of --align and --match-colours: true with `picture` left alone when not given, or
// set to N from 2 on; false after the message (which gives `whyNotTheFirst`) for anything else.
bool ReadPictureNumber(const QCommandLineParser& parser, const char* whyNotTheFirst, int& picture);
// --match-colours: each picture's (or one's) tones matched to its parent's, the corrections
// printed, the project saved when any changed.
int MatchColoursCommand(const QCommandLineParser& parser, const QString& project);

}  // namespace command_line
