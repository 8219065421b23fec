#include "CommandLine.h"

#include <GL/gl.h>

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>
#include <tuple>
#include <unistd.h>

#include "AlignStack.h"
#include "Imagestack.h"
#include "Messages.h"
#include "OffscreenTarget.h"
#include "Paths.h"
#include "Renderer.h"
#include "SafeFile.h"
#include "VideoJob.h"
#include "TextNumbers.h"
#include "WebExport.h"

namespace {

const char* const versionText = "1.0";

void Fail(const QString& text) { std::fprintf(stderr, "tunnelvista: %s\n", text.toLocal8Bit().constData()); }

// The exit status of the work: 0 when everything was done; 1 when something failed, the work
// having done what it could (a picture that could not be loaded, one with no reliable match, a file
// that could not be written); 2 for options that cannot be used, before any work.
//
// A picture that could not be loaded was named on standard error when the project opened; the
// work goes on without it (a white placeholder where it is drawn), and the run fails at the end
// so that a script can tell.
int ExitStatus(bool done, const ImageStack& stack) {
  if (!done) return 1;
  for (int i = 0; i < stack.pictureCount(); ++i)
    if (!stack.images[static_cast<size_t>(i)]->loaded) {
      Fail(QStringLiteral("done, but not every picture of the project could be loaded (see above)"));
      return 1;
    }
  return 0;
}

void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      QStringLiteral("Tunnelvista Editor: infinite-zoom picture sequences.\n\n"
                     "Exit status of the work without a window:\n"
                     "  0  everything was done;\n"
                     "  1  something failed: a picture of the project could not be loaded (the output is\n"
                     "     still written where it can be, with a white placeholder for that picture), a\n"
                     "     picture found no reliable match (--align), or a file could not be written;\n"
                     "  2  options that cannot be used (nothing is done)."));
  parser.addHelpOption();
  parser.addVersionOption();
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
  parser.addOption({QStringLiteral("size"),
                    QStringLiteral("The picture's size for --render-frame (1280x960), the video's for --export-video "
                                   "(even sides; 1920x1080), or the zoom's box on the page for --export-web (50x50 to "
                                   "800x600; default 320 on the first picture's longer side)."),
                    QStringLiteral("WxH")});
  parser.addOption(
      {QStringLiteral("fps"), QStringLiteral("Frames a second of --export-video (default 30)."), QStringLiteral("N")});
  parser.addOption({QStringLiteral("direction"),
                    QStringLiteral("What --export-video shows: in (from the first picture to the target frame; the "
                                   "default), out (the reverse) or inout (there and back, looping)."),
                    QStringLiteral("D")});
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
  parser.addOption({QStringLiteral("player"),
                    QStringLiteral("What plays the exported page: html5 (default) or applet."), QStringLiteral("P")});
  parser.addOption({QStringLiteral("picture-size"),
                    QStringLiteral("The longest side of the exported pictures: 4096, 2048, 1024, or original "
                                   "(default)."),
                    QStringLiteral("N")});
  parser.addOption({QStringLiteral("align"),
                    QStringLiteral("Aligns each picture inside the one before it from the pictures themselves, prints "
                                   "the placements found and saves the project. Exits with 1 when a picture found no "
                                   "reliable match (it keeps its placement).")});
  parser.addOption({QStringLiteral("picture"),
                    QStringLiteral("With --align: only picture N (2 for the second picture of the list)."),
                    QStringLiteral("N")});
  parser.addOption({QStringLiteral("force"), QStringLiteral("Lets --export-web replace files in DIR.")});
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

bool ParseSize(const QString& text, int& width, int& height) {
  const QStringList parts = text.split(QLatin1Char('x'));
  bool okW = false, okH = false;
  if (parts.size() == 2) {
    width = parts[0].toInt(&okW);
    height = parts[1].toInt(&okH);
  }
  if (!okW || !okH || width < 1 || height < 1 || width > 65536 || height > 65536) {
    Fail(QStringLiteral("--size takes WIDTHxHEIGHT in pixels, such as 1280x960, not \"%1\"").arg(text));
    return false;
  }
  return true;
}

std::string AbsoluteFileName(const QString& argument) {
  return CommandLineProjectPath(QFile::encodeName(argument).toStdString(),
                                QFile::encodeName(QDir::currentPath()).toStdString());
}

int RenderFrame(double t, const QString& output, int width, int height, size_t budget, const QString& project) {
  std::unique_ptr<ImageStack> stack = OpenProject(AbsoluteFileName(project));
  if (!stack) return 1;
  if (stack->pictureCount() < 1) {
    Fail(QStringLiteral("the project holds no pictures to draw"));
    return 1;
  }
  OffscreenTarget target;
  std::string error;
  if (!target.Create(width, height, error)) {
    Fail(QString::fromStdString(error));
    return 1;
  }
  RendererOptions options;
  options.textureBudget = budget;
  options.waitForLevels = true;
  Renderer renderer(options);
  if (renderer.ExceedsLimit(*stack)) ShowMaxImageSizeMessage(renderer.TextureLimit());
  Renderer::SetViewGlState();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const Image& first = *stack->images[0];
  renderer.DrawZoom(*stack, t, ViewGeometry::Fitted(width, height, first.width, first.height));
  glFinish();
  const std::string message = renderer.TakeMessage();
  if (!message.empty()) ShowPlainMessage(message);
  const QImage frame = target.Read();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (frame.isNull() || !frame.save(&buffer, "PNG")) {
    Fail(QStringLiteral("the frame could not be encoded as PNG"));
    return 1;
  }
  return ExitStatus(WriteFileReporting(AbsoluteFileName(output), png.toStdString()), *stack);
}

std::string Encoded(const QString& text) { return QFile::encodeName(text).toStdString(); }

// Ctrl+C or a polite kill during an export cancels it, so its temporary files go too.
volatile std::sig_atomic_t interrupted = 0;
void Interrupt(int) { interrupted = 1; }

// SIGINT and SIGTERM set `interrupted` for as long as this lives.
class InterruptHandlers {
 public:
  InterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = Interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~InterruptHandlers() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }
  InterruptHandlers(const InterruptHandlers&) = delete;
  InterruptHandlers& operator=(const InterruptHandlers&) = delete;

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

// --export-web: what the dialog writes with its defaults, asking nothing.
int ExportWebCommand(const QCommandLineParser& parser, const QString& project) {
  WebExportOptions options;
  const QString player = parser.value(QStringLiteral("player"));
  if (player == QLatin1String("applet"))
    options.player = WebPlayer::Applet;
  else if (!player.isEmpty() && player != QLatin1String("html5")) {
    Fail(QStringLiteral("--player takes html5 or applet, not \"%1\"").arg(player));
    return 2;
  }
  const QString side = parser.value(QStringLiteral("picture-size"));
  if (!side.isEmpty() && side != QLatin1String("original")) {
    options.pictureSide = -1;
    for (int choice : webPictureSides)
      if (choice > 0 && side == QString::number(choice)) options.pictureSide = choice;
    if (options.pictureSide < 0) {
      Fail(QStringLiteral("--picture-size takes 4096, 2048, 1024 or original, not \"%1\"").arg(side));
      return 2;
    }
    if (options.player == WebPlayer::Applet) {
      Fail(QStringLiteral("--picture-size is for the html5 player; the applet shows the original files"));
      return 2;
    }
  }
  int width = 0, height = 0;
  const bool sized = parser.isSet(QStringLiteral("size"));
  if (sized) {
    if (!ParseSize(parser.value(QStringLiteral("size")), width, height)) return 2;
    if (width < 50 || width > 800 || height < 50 || height > 600) {
      Fail(QStringLiteral("--size for --export-web runs from 50x50 to 800x600"));
      return 2;
    }
  }

  std::unique_ptr<ImageStack> stack = OpenProject(AbsoluteFileName(project));
  if (!stack) return 1;
  if (stack->pictureCount() < 1) {
    Fail(QStringLiteral("the project holds no pictures to export"));
    return 1;
  }
  if (!stack->SameDirectory())
    Fail(QStringLiteral("warning: the pictures lie in more than one directory; the page may not find them all"));
  if (!sized) {
    const Image& first = *stack->images[0];
    std::tie(width, height) = DefaultWebSize(first.width, first.height);
  }

  const QString appDir = QCoreApplication::applicationDirPath();
  options.directory = AbsoluteFileName(parser.value(QStringLiteral("export-web")));
  while (options.directory.size() > 1 && options.directory.back() == '/') options.directory.pop_back();
  options.pageName = "index.html";
  options.archiveTemplate = DataFilePath(Encoded(appDir), "kx.jar");
  options.playerDirectory = DataFilePath(Encoded(appDir), "web/player");
  WebPageOptions& page = options.page;
  page.title = "Tunnelvista";
  page.caption = "This file was created automatically by the <i>Tunnelvista</i> Editor";
  page.dataUrl = "default.kxo";
  page.archiveUrl = "kx.jar";
  page.duration = std::clamp(stack->duration, 1.0f, 200.0f);
  if (!(page.duration >= 1.0f)) page.duration = 1.0f;
  page.width = std::clamp(width, 50, 800);
  page.height = std::clamp(height, 50, 600);
  if (options.player == WebPlayer::Applet) page.height += 20;  // the applet's controls lie inside its box

  if (!parser.isSet(QStringLiteral("force"))) {
    const std::vector<std::string> existing = ExistingWebExportFiles(*stack, options);
    if (!existing.empty()) {
      QString list;
      for (const std::string& path : existing) list += QStringLiteral("\n    ") + QFile::decodeName(path.c_str());
      Fail(QStringLiteral("these files exist already (--force replaces them):") + list);
      return 1;
    }
  }
  // Ctrl+C or a polite kill stops the export between two files; what it wrote goes.
  interrupted = 0;
  options.cancelled = [] { return interrupted != 0; };
  const InterruptHandlers handlers;
  return ExitStatus(ExportWeb(*stack, options) == WebExportResult::Ok, *stack);
}

// Progress of long work: a bar redrawn in place when `stream` is a terminal, else a whole line at
// each tenth, so that a log file holds whole lines. `unit` names what is counted ("frame").
class ProgressPrinter {
 public:
  ProgressPrinter(std::FILE* stream, const char* unit)
      : stream_(stream), unit_(unit), terminal_(isatty(fileno(stream)) == 1) {}

  void Show(int done, int total) {
    if (total < 1) return;
    const int percent = static_cast<int>(100LL * done / total);
    if (terminal_) {
      const int barWidth = 40;
      const int filled = barWidth * percent / 100;
      std::fprintf(stream_, "\r[%s%s] %3d %%  %s %d of %d", std::string(static_cast<size_t>(filled), '#').c_str(),
                   std::string(static_cast<size_t>(barWidth - filled), ' ').c_str(), percent, unit_, done, total);
      if (done == total) std::fputc('\n', stream_);
      std::fflush(stream_);
    } else if (percent / 10 > lastTenth_) {
      lastTenth_ = percent / 10;
      std::fprintf(stream_, "%d %% (%s %d of %d)\n", lastTenth_ * 10, unit_, done, total);
      std::fflush(stream_);
    }
  }

 private:
  std::FILE* stream_;
  const char* unit_;
  bool terminal_;
  int lastTenth_ = 0;
};

// The video's progress on standard output.
class TerminalProgress : public VideoProgress {
 public:
  void Finished() override { finished = true; }
  void FramesDone(int done, int total) override { printer_.Show(done, total); }

  std::atomic<bool> finished{false};

 private:
  ProgressPrinter printer_{stdout, "frame"};
};

bool ParseNumber(const QCommandLineParser& parser, const char* option, double& value) {
  const QString text = parser.value(QLatin1String(option));
  bool ok = false;
  value = text.toDouble(&ok);  // QString reads a point whatever the locale
  if (!ok || !std::isfinite(value)) {
    Fail(QStringLiteral("--%1 takes a number, not \"%2\"").arg(QLatin1String(option), text));
    return false;
  }
  return true;
}

// --export-video: the whole video, with a progress bar; 0 only when the file is in place.
int ExportVideoCommand(const QCommandLineParser& parser, const QString& project, size_t budget) {
  VideoSettings settings;
  settings.path = AbsoluteFileName(parser.value(QStringLiteral("export-video")));
  if (parser.isSet(QStringLiteral("size")) &&
      !ParseSize(parser.value(QStringLiteral("size")), settings.width, settings.height))
    return 2;
  if (parser.isSet(QStringLiteral("fps")) && !ParseNumber(parser, "fps", settings.fps)) return 2;
  if (parser.isSet(QStringLiteral("duration"))) {
    if (!ParseNumber(parser, "duration", settings.duration)) return 2;
    if (!(settings.duration > 0)) {
      Fail(QStringLiteral("--duration takes the seconds of one pass, more than 0"));
      return 2;
    }
  }
  const QString direction = parser.value(QStringLiteral("direction"));
  if (direction == QLatin1String("out"))
    settings.direction = VideoDirection::Out;
  else if (direction == QLatin1String("inout"))
    settings.direction = VideoDirection::InOut;
  else if (!direction.isEmpty() && direction != QLatin1String("in")) {
    Fail(QStringLiteral("--direction takes in, out or inout, not \"%1\"").arg(direction));
    return 2;
  }
  const QString speed = parser.value(QStringLiteral("speed"));
  if (speed == QLatin1String("fast"))
    settings.speed = VideoSpeed::Fast;
  else if (speed == QLatin1String("small"))
    settings.speed = VideoSpeed::Small;
  else if (!speed.isEmpty() && speed != QLatin1String("balanced")) {
    Fail(QStringLiteral("--speed takes fast, balanced or small, not \"%1\"").arg(speed));
    return 2;
  }
  for (auto [option, target] :
       {std::pair<const char*, int*>{"crf", &settings.crf}, {"antialias", &settings.antialias}}) {
    if (!parser.isSet(QLatin1String(option))) continue;
    bool ok = false;
    *target = parser.value(QLatin1String(option)).toInt(&ok);
    if (!ok) {
      Fail(QStringLiteral("--%1 takes a whole number, not \"%2\"")
               .arg(QLatin1String(option), parser.value(QLatin1String(option))));
      return 2;
    }
  }
  // The settings alone are checked before the project is opened, so a mistake is said at once.
  std::string error;
  if (!CheckVideoSettings(settings, maxVideoDuration, error)) {
    Fail(QString::fromStdString(error));
    return 2;
  }

  std::unique_ptr<ImageStack> stack = OpenProject(AbsoluteFileName(project));
  if (!stack) return 1;
  TerminalProgress progress;
  VideoJob job(*stack, settings, &progress, budget);
  if (!job.Start()) {
    Fail(QString::fromStdString(job.Error()));
    return 1;
  }
  interrupted = 0;
  VideoResult result = VideoResult::Failed;
  {
    const InterruptHandlers handlers;
    while (!progress.finished) {
      if (interrupted) job.Cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    result = job.Wait();
  }
  if (job.ReducedToLimit() > 0) ShowMaxImageSizeMessage(job.ReducedToLimit());
  if (!job.RendererMessage().empty()) ShowPlainMessage(job.RendererMessage());
  if (result != VideoResult::Ok) {
    Fail(QString::fromStdString(job.Error().empty() ? std::string("the export was cancelled") : job.Error()));
    return 1;
  }
  return ExitStatus(true, *stack);
}

// --align: each picture (or one) placed in its parent, the results printed, the project saved.
int AlignCommand(const QCommandLineParser& parser, const QString& project) {
  int picture = -1;
  if (parser.isSet(QStringLiteral("picture"))) {
    bool ok = false;
    picture = parser.value(QStringLiteral("picture")).toInt(&ok);
    if (!ok || picture < 2) {
      Fail(QStringLiteral("--picture takes the number of a picture from 2 on (the first has nothing to be placed in), "
                          "not \"%1\"")
               .arg(parser.value(QStringLiteral("picture"))));
      return 2;
    }
  }
  std::unique_ptr<ImageStack> stack = OpenProject(AbsoluteFileName(project));
  if (!stack) return 1;
  if (picture > stack->pictureCount()) {
    Fail(QStringLiteral("the project has %1 pictures; there is no picture %2").arg(stack->pictureCount()).arg(picture));
    return 2;
  }
  const std::vector<AlignTask> tasks = AlignTasks(*stack, picture < 0 ? -1 : picture - 1);
  if (tasks.empty()) {
    Fail(QStringLiteral("the project needs two pictures or more to align"));
    return 1;
  }
  // Standard output carries the results; the progress goes to standard error.
  ProgressPrinter printer(stderr, "picture");
  const std::vector<AlignResult> results =
      RunAlignTasks(tasks, [&printer](int done, int total) { printer.Show(done, total); });
  bool allFound = true, changed = false;
  for (size_t i = 0; i < tasks.size(); ++i) {
    const AlignTask& task = tasks[i];
    const AlignResult& r = results[i];
    Image& child = *stack->images[static_cast<size_t>(task.element)];
    std::string line = "picture " + std::to_string(task.element + 1) + " (" + child.fileName + "): ";
    if (r.status == AlignStatus::Aligned) {
      const Transform& t = r.transform;
      line += "scale " + FormatFixed(t.scale, 7) + " translate " + FormatFixed(t.translateX, 7) + " " +
              FormatFixed(t.translateY, 7) + " rotate " + FormatFixed(t.rotate, 4) + " confidence " +
              FormatFixed(r.confidence, 2) + " residual " + FormatFixed(r.residual, 2) + " px";
      child.transform = t;
      changed = true;
    } else {
      line +=
          std::string(AlignStatusText(r.status)) + " (confidence " + FormatFixed(r.confidence, 2) + "); placement kept";
      allFound = false;
    }
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  if (changed) {
    stack->dirty = true;
    if (!stack->SaveProject()) return 1;
  }
  return ExitStatus(allFound, *stack);
}

}  // namespace

bool IsCommandLineWork(const QStringList& arguments) {
  for (const QString& a : arguments)
    if (a == QLatin1String("--render-frame") || a.startsWith(QLatin1String("--render-frame=")) ||
        a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("--version") ||
        a == QLatin1String("-v") || a == QLatin1String("--help-all") || a == QLatin1String("--export-web") ||
        a.startsWith(QLatin1String("--export-web=")) || a == QLatin1String("--export-video") ||
        a.startsWith(QLatin1String("--export-video=")) || a == QLatin1String("--align"))
      return true;
  return false;
}

int RunCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  QCoreApplication::setApplicationVersion(QString::fromLatin1(versionText));
  QStringList all = arguments;
  all.prepend(QStringLiteral("tunnelvista"));
  if (!parser.parse(all)) {
    Fail(parser.errorText());
    return 2;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    std::printf("Tunnelvista Editor %s\n", versionText);
    return 0;
  }
  QStringList positional = parser.positionalArguments();
  size_t budget = 0;
  if (parser.isSet(QStringLiteral("texture-budget")) &&
      !ParseBudget(parser.value(QStringLiteral("texture-budget")), budget))
    return 2;
  if (parser.isSet(QStringLiteral("export-video"))) {
    if (parser.isSet(QStringLiteral("render-frame")) || parser.isSet(QStringLiteral("export-web")) ||
        parser.isSet(QStringLiteral("align")) || positional.size() != 1) {
      Fail(QStringLiteral("--export-video OUT takes exactly one project file (see --help)"));
      return 2;
    }
    return ExportVideoCommand(parser, positional[0], budget);
  }
  if (parser.isSet(QStringLiteral("align"))) {
    if (parser.isSet(QStringLiteral("render-frame")) || parser.isSet(QStringLiteral("export-web")) ||
        parser.isSet(QStringLiteral("export-video")) || positional.size() != 1) {
      Fail(QStringLiteral("--align takes exactly one project file and no other work (see --help)"));
      return 2;
    }
    return AlignCommand(parser, positional[0]);
  }
  if (parser.isSet(QStringLiteral("export-web"))) {
    if (parser.isSet(QStringLiteral("render-frame")) || positional.size() != 1) {
      Fail(QStringLiteral("--export-web DIR takes exactly one project file and no --render-frame (see --help)"));
      return 2;
    }
    return ExportWebCommand(parser, positional[0]);
  }
  // --render-frame T OUT.png: the option's value is T, the output follows among the positionals.
  const QString timeText = parser.value(QStringLiteral("render-frame"));
  if (positional.size() != 2) {
    Fail(QStringLiteral("--render-frame T OUT.png takes exactly one project file (see --help)"));
    return 2;
  }
  bool ok = false;
  const double t = timeText.toDouble(&ok);
  if (!ok || !(t >= 0.0 && t <= 1.0)) {
    Fail(QStringLiteral("the time T of --render-frame runs from 0 to 1, not \"%1\"").arg(timeText));
    return 2;
  }
  int width = 1280, height = 960;
  if (parser.isSet(QStringLiteral("size")) && !ParseSize(parser.value(QStringLiteral("size")), width, height)) return 2;
  return RenderFrame(t, positional[0], width, height, budget, positional[1]);
}

bool TakeEditorOptions(QStringList& arguments, size_t& textureBudget) {
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    QString value;
    if (a == QLatin1String("--texture-budget")) {
      if (i + 1 >= arguments.size()) {
        Fail(QStringLiteral("--texture-budget needs a number of MiB"));
        return false;
      }
      value = arguments[i + 1];
      arguments.remove(i, 2);
    } else if (a.startsWith(QLatin1String("--texture-budget="))) {
      value = a.mid(17);
      arguments.remove(i, 1);
    } else {
      continue;
    }
    if (!ParseBudget(value, textureBudget)) return false;
    --i;
  }
  return true;
}
