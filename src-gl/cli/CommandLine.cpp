#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "CommandLineOptions.h"
#include "CommandLineWork.h"
#include "Imagestack.h"
#include "Job.h"
#include "Paths.h"
#include "Project.h"

using namespace command_line;

namespace {

const char* const versionText = "1.0";

// --render-frame, --export-web and --export-video.
void AddWorkOptions(QCommandLineParser& parser) {
  parser.addOption({QStringLiteral("render-frame"),
                    QStringLiteral("Draws the zoom at time T (0 to 1 along one pass) into the PNG file OUT."),
                    QStringLiteral("T OUT.png")});
  parser.addOption({QStringLiteral("export-web"),
                    QStringLiteral("Exports the project as a web page into the folder DIR, as Export to Web does with "
                                   "its defaults."),
                    QStringLiteral("DIR")});
  parser.addOption({QStringLiteral("export-video"),
                    QStringLiteral("Exports the zoom as a video: OUT.mp4 (H.264), OUT.webm (VP9) or OUT_%05d.png (a "
                                   "numbered PNG sequence)."),
                    QStringLiteral("OUT")});
}

// The size of what is drawn and how the zoom plays, for each of them.
void AddDrawingOptions(QCommandLineParser& parser) {
  parser.addOption({QStringLiteral("size"),
                    QStringLiteral("The picture's size for --render-frame (1280x960), the video's for --export-video "
                                   "(even sides; 1920x1080), or the page's for --export-web: fill (the HTML5 page "
                                   "fills the browser's window; its default) or a fixed box of 50x50 to 7680x4320 "
                                   "(the applet's: 50x50 to 800x600, default 320 on the first picture's longer "
                                   "side)."),
                    QStringLiteral("WxH|fill")});
  parser.addOption({QStringLiteral("play"),
                    QStringLiteral("How --render-frame, --export-web and --export-video play the zoom, for this run "
                                   "only (the project file is not changed): back (there and back again) or endless "
                                   "(inward forever, the last picture leading into the first). Default: the "
                                   "project's."),
                    QStringLiteral("endless|back")});
  parser.addOption({QStringLiteral("pace"),
                    QStringLiteral("The zoom's pace for this run only: eased (a smooth start and stop) or steady "
                                   "(every doubling takes the same time; endless zooms are always steady). Default: "
                                   "the project's."),
                    QStringLiteral("eased|steady")});
}

void AddVideoOptions(QCommandLineParser& parser) {
  parser.addOption(
      {QStringLiteral("fps"), QStringLiteral("Frames a second of --export-video (default 30)."), QStringLiteral("N")});
  parser.addOption({QStringLiteral("direction"),
                    QStringLiteral("What --export-video shows: in (from the first picture to the target frame; the "
                                   "default), out (the reverse), inout (in, then back out, looping) or outin (out, "
                                   "then back in, looping). An endless project's video is one pass that loops: in "
                                   "dives inward, out outward, inout is taken as in and outin as out."),
                    QStringLiteral("D")});
  parser.addOption({QStringLiteral("frame"),
                    QStringLiteral("How the pictures of --export-video and --render-frame meet the frame: fill "
                                   "(the video's default: brought just close enough that they cover every frame, "
                                   "also while the view turns) or fit (--render-frame's default: the first picture "
                                   "whole, as the editor shows it, the background beside it)."),
                    QStringLiteral("fill|fit")});
  parser.addOption({QStringLiteral("audio"),
                    QStringLiteral("A sound file (any kind FFmpeg reads) for --export-video's MP4 or WebM: cut to the "
                                   "video's length with a short fade-out, or played again from its start when "
                                   "shorter."),
                    QStringLiteral("FILE")});
  parser.addOption({QStringLiteral("duration"),
                    QStringLiteral("Seconds of one pass of --export-video (default: the project's)."),
                    QStringLiteral("S")});
  parser.addOption({QStringLiteral("crf"),
                    QStringLiteral("Constant quality of --export-video, lower is better: 0 to 51 for MP4 (default "
                                   "18), 0 to 63 for WebM (default 31)."),
                    QStringLiteral("N")});
  parser.addOption({QStringLiteral("speed"),
                    QStringLiteral("How hard --export-video's encoder works: fast, balanced (default) or small (a "
                                   "smaller file of the same quality, slower)."),
                    QStringLiteral("S")});
  parser.addOption({QStringLiteral("antialias"),
                    QStringLiteral("2 draws --export-video's frames at twice the size and filters them down; 1 (the "
                                   "default) does not."),
                    QStringLiteral("1|2")});
}

void AddWebOptions(QCommandLineParser& parser) {
  parser.addOption({QStringLiteral("player"),
                    QStringLiteral("What plays the exported page: html5 (default) or applet."), QStringLiteral("P")});
  parser.addOption({QStringLiteral("picture-size"),
                    QStringLiteral("The longest side of the exported pictures: 4096, 2048, 1024, or original "
                                   "(default)."),
                    QStringLiteral("N")});
}

void AddAlignOptions(QCommandLineParser& parser) {
  parser.addOption({QStringLiteral("align"),
                    QStringLiteral("Aligns each picture inside the one before it from the pictures themselves, prints "
                                   "the placements found and saves the project. Exits with 1 when a picture found no "
                                   "reliable match (it keeps its placement).")});
  parser.addOption({QStringLiteral("match-colours"),
                    QStringLiteral("Matches each picture's colours to the picture before it as that one is drawn, "
                                   "from the first picture on (which keeps its own), prints each correction (gain "
                                   "and offset for red, green and blue, and the difference at the border before "
                                   "and after, in levels of 255) and saves the project when any changed. A picture "
                                   "keeps its colours when the correction found is not clearly better at the border "
                                   "(\"kept\" and why). Exits with 1 when a picture overlaps its parent too little or "
                                   "finds no reliable match (it keeps its colours).")});
  parser.addOption({QStringLiteral("picture"),
                    QStringLiteral("With --align or --match-colours: only picture N (2 for the second picture of the "
                                   "list)."),
                    QStringLiteral("N")});
}

void AddImportOptions(QCommandLineParser& parser) {
  parser.addOption({QStringLiteral("import-sequence"),
                    QStringLiteral("Makes the pictures of the folder DIR (*.jpg, *.jpeg, *.png, *.webp), each the one "
                                   "before zoomed out about its centre, into the new project OUT.kx: each centred at "
                                   "1/F in the one before, then aligned as --align does (the results printed). The "
                                   "outermost picture is the widest view, found from the pictures at either end of "
                                   "the order (see --outermost)."),
                    QStringLiteral("DIR")});
  parser.addOption({QStringLiteral("factor"),
                    QStringLiteral("With --import-sequence: how many times larger each picture's view is than the "
                                   "next one's, above 1 (default 2; a tool that shrinks by 0.5 makes 2)."),
                    QStringLiteral("F")});
  parser.addOption({QStringLiteral("order"),
                    QStringLiteral("With --import-sequence: name (numbers compared as numbers, so img2 comes before "
                                   "img10; the default) or date (the files' modification times, oldest first)."),
                    QStringLiteral("name|date")});
  parser.addOption({QStringLiteral("outermost"),
                    QStringLiteral("With --import-sequence: which end of the order is the outermost picture: found "
                                   "(the default: the widest view, as the pictures show it; the first when they do "
                                   "not tell), first or last."),
                    QStringLiteral("found|first|last")});
  parser.addOption({QStringLiteral("reverse"),
                    QStringLiteral("With --import-sequence: the order turned around, so the last file is the "
                                   "outermost picture (--outermost last).")});
}

// The options in the order --help lists them.
void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      QStringLiteral("Tunnelvista Editor: infinite-zoom picture sequences.\n\n"
                     "Exit status of the work without a window:\n"
                     "  0  everything was done;\n"
                     "  1  something failed: a picture of the project could not be loaded (the output is\n"
                     "     still written where it can be, with a white placeholder for that picture), a\n"
                     "     picture found no reliable match (--align, --import-sequence,\n"
                     "     --match-colours) or too little overlap, or a file could not be written;\n"
                     "  2  options that cannot be used (nothing is done)."));
  parser.addHelpOption();
  parser.addVersionOption();
  AddWorkOptions(parser);
  AddDrawingOptions(parser);
  AddVideoOptions(parser);
  AddWebOptions(parser);
  AddAlignOptions(parser);
  AddImportOptions(parser);
  parser.addOption({QStringLiteral("force"),
                    QStringLiteral("Lets --export-web replace files in DIR, --export-video an existing OUT (for a "
                                   "PNG sequence: any of its frames), and --import-sequence an existing OUT.kx.")});
  parser.addOption({QStringLiteral("texture-budget"),
                    QStringLiteral("Memory for the pictures' textures, in MiB (default: 1024 or a quarter of the "
                                   "memory, whichever is smaller)."),
                    QStringLiteral("MiB")});
  parser.addPositionalArgument(QStringLiteral("project.kx"), QStringLiteral("The project to open or draw."));
}

bool ParseBudget(const QString& text, size_t& bytes) {
  bool ok = false;
  const qlonglong mib = text.toLongLong(&ok);
  if (!ok || mib < 16 || mib > (1ll << 30)) {
    Fail(QStringLiteral("--texture-budget takes a number of MiB from 16 up, not \"%1\"").arg(text));
    return false;
  }
  bytes = static_cast<size_t>(mib) << 20;
  return true;
}

// The kinds of work without a window, one per run, each with the number of file names it takes.
struct Work {
  enum Kind { ImportSequence, ExportVideo, Align, MatchColours, ExportWeb, RenderFrame } kind;
  const char* option;
  int files;
  const char* usage;
};
const Work works[] = {
    {Work::ImportSequence, "import-sequence", 1,
     "--import-sequence DIR takes exactly one project file to write and no other work (see --help)"},
    {Work::ExportVideo, "export-video", 1, "--export-video OUT takes exactly one project file (see --help)"},
    {Work::Align, "align", 1, "--align takes exactly one project file and no other work (see --help)"},
    {Work::MatchColours, "match-colours", 1,
     "--match-colours takes exactly one project file and no other work (see --help)"},
    {Work::ExportWeb, "export-web", 1,
     "--export-web DIR takes exactly one project file and no --render-frame (see --help)"},
    {Work::RenderFrame, "render-frame", 2, "--render-frame T OUT.png takes exactly one project file (see --help)"},
};

// "--size goes with one of the works ...": options given without any work.
void FailWithoutWork(const QCommandLineParser& parser) {
  QString given;
  for (const QString& name : parser.optionNames())
    if (name != QLatin1String("texture-budget")) {
      given = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
      break;
    }
  QString names;
  for (const Work& work : works)
    names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("--") + QLatin1String(work.option);
  Fail(QStringLiteral("%1 goes with one of the works %2 (see --help)").arg(given, names));
}

// The work the options ask for, as an index into `works`; -1 after the message when none or
// another work is asked for too or the file names do not fit it.
int ChosenWork(const QCommandLineParser& parser) {
  const int count = static_cast<int>(sizeof works / sizeof works[0]);
  int chosen = -1, asked = 0;
  for (int i = 0; i < count; ++i)
    if (parser.isSet(QString::fromLatin1(works[i].option))) {
      ++asked;
      if (chosen < 0) chosen = i;
    }
  if (chosen < 0) {
    FailWithoutWork(parser);
    return -1;
  }
  if (asked > 1 || parser.positionalArguments().size() != works[chosen].files) {
    Fail(QString::fromLatin1(works[chosen].usage));
    return -1;
  }
  return chosen;
}

}  // namespace

bool IsCommandLineWork(const QStringList& arguments) {
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--")) return false;  // file names follow, whatever they look like
    if (const int length = EditorOptionLength(arguments, i)) {
      i += length - 1;
      continue;
    }
    // Work, help, the version, or a mistake, which the command line names without a display.
    if (a.size() > 1 && a.startsWith(QLatin1Char('-'))) return true;
  }
  return false;
}

int RunCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  QCoreApplication::setApplicationVersion(QString::fromLatin1(versionText));
  QStringList all = arguments;
  all.prepend(QStringLiteral("tunnelvista"));
  if (!parser.parse(all)) {
    FailParse(parser, arguments);
    return 2;
  }
  if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
    std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    std::printf("Tunnelvista Editor %s\n", versionText);
    return 0;
  }
  QStringList positional = parser.positionalArguments();
  PlayOverride play;
  if (!ParsePlayOverride(parser, play)) return 2;
  size_t budget = 0;
  if (parser.isSet(QStringLiteral("texture-budget")) &&
      !ParseBudget(parser.value(QStringLiteral("texture-budget")), budget))
    return 2;
  const int work = ChosenWork(parser);
  if (work < 0) return 2;
  switch (works[work].kind) {
    case Work::ImportSequence:
      return ImportSequenceCommand(parser, positional[0]);
    case Work::ExportVideo:
      return ExportVideoCommand(parser, positional[0], budget, play);
    case Work::Align:
      return AlignCommand(parser, positional[0]);
    case Work::MatchColours:
      return MatchColoursCommand(parser, positional[0]);
    case Work::ExportWeb:
      return ExportWebCommand(parser, positional[0], play);
    case Work::RenderFrame:
      break;
  }
  // --render-frame T OUT.png: the option's value is T, the output follows among the positionals.
  const QString timeText = parser.value(QStringLiteral("render-frame"));
  bool ok = false;
  const double t = timeText.toDouble(&ok);
  if (!ok || !(t >= 0.0 && t <= 1.0)) {
    Fail(QStringLiteral("the time T of --render-frame runs from 0 to 1, not \"%1\"").arg(timeText));
    return 2;
  }
  int width = 1280, height = 960;
  if (parser.isSet(QStringLiteral("size")) && !ParseSize(parser.value(QStringLiteral("size")), width, height)) return 2;
  VideoFrame frame = VideoFrame::Fit;
  if (!ParseWord(parser, frameWords, frame)) return 2;
  return RenderFrame(t, positional[0], width, height, budget, positional[1], play, frame);
}

bool TakeEditorOptions(QStringList& arguments, size_t& textureBudget) {
  QStringList files;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--")) {
      files += arguments.mid(i + 1);
      break;
    }
    const int length = EditorOptionLength(arguments, i);
    if (length == 0) {
      files << a;
      continue;
    }
    // Qt's own options stay in the program's arguments, where Qt reads them; only the budget is ours.
    if (a.startsWith(QLatin1String("--texture-budget"))) {
      if (a == QLatin1String("--texture-budget") && length < 2) {
        Fail(QStringLiteral("--texture-budget needs a number of MiB"));
        return false;
      }
      if (!ParseBudget(length == 2 ? arguments[i + 1] : a.mid(17), textureBudget)) return false;
    }
    i += length - 1;
  }
  arguments = files;
  return true;
}
