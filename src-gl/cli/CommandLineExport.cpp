// --export-web and --export-video: the exports the editor's dialogs make, without a window; Ctrl+C
// cancels them.

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <tuple>

#include "CommandLineWork.h"
#include "Imagestack.h"
#include "Messages.h"
#include "Paths.h"
#include "VideoJob.h"
#include "WebExport.h"

namespace command_line {

namespace {

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

// The video's progress on standard output.
class TerminalProgress : public VideoProgress {
 public:
  void Finished() override { finished = true; }
  void FramesDone(int done, int total) override { printer_.Show(done, total); }

  std::atomic<bool> finished{false};

 private:
  ProgressPrinter printer_{stdout, "frame"};
};

}  // namespace

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

}  // namespace command_line
