// --export-web and --export-video: the exports the editor's dialogs make, without a window; Ctrl+C
// cancels them.

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <tuple>

#include "CommandLineWork.h"
#include "Imagestack.h"
#include "Messages.h"
#include "Paths.h"
#include "Project.h"
#include "TextNumbers.h"
#include "VideoExportJob.h"
#include "VideoRequest.h"
#include "WebExportJob.h"
#include "WebExportRequest.h"

namespace command_line {

namespace {

// Ctrl+C or a polite kill during an export cancels it, so its temporary files go too.
// Read on the export's own threads too: lock-free, so the handler may set it.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);
void Interrupt(int) { interrupted = true; }

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

// The words of the exports' options.
const WordOption<WebPlayer> playerWords{"player", {{"html5", WebPlayer::Html5}, {"applet", WebPlayer::Applet}}};
const WordOption<int> pictureSideWords{"picture-size",
                                       {{"4096", 4096}, {"2048", 2048}, {"1024", 1024}, {"original", 0}}};
const WordOption<WebPageSize> pageSizeWords{"size", {{"fill", WebPageSize::FillWindow}}};
const WordOption<VideoDirection> directionWords{"direction",
                                                {{"in", VideoDirection::In},
                                                 {"out", VideoDirection::Out},
                                                 {"inout", VideoDirection::InOut},
                                                 {"outin", VideoDirection::OutIn}}};
const WordOption<VideoSpeed> speedWords{
    "speed", {{"fast", VideoSpeed::Fast}, {"balanced", VideoSpeed::Balanced}, {"small", VideoSpeed::Small}}};

// What --export-web's options ask for, checked before the project is opened.
struct WebChoices {
  WebPlayer player = WebPlayer::Html5;
  int pictureSide = 0;  // 0: the original files
  bool sized = false;   // a fixed box of width x height; otherwise the page fills the window
  int width = 0, height = 0;
};

// --size for the page: fill, or a box within the player's limits. A message on failure.
bool ParseWebPageSize(const QCommandLineParser& parser, WebChoices& choices) {
  if (!parser.isSet(QStringLiteral("size"))) return true;
  const QString text = parser.value(QStringLiteral("size"));
  if (const WebPageSize* size = pageSizeWords.Find(text)) {
    if (*size == WebPageSize::FillWindow && choices.player == WebPlayer::Applet) {
      Fail(QStringLiteral("--size fill is for the html5 player; the applet's page has a fixed box (WxH)"));
      return false;
    }
    return true;
  }
  choices.sized = true;
  if (!ParseSize(text, choices.width, choices.height)) return false;
  if (WebExportRequest::SizeWithinLimits(choices.width, choices.height, choices.player)) return true;
  const bool applet = choices.player == WebPlayer::Applet;
  Fail(QStringLiteral("--size for --export-web%1 runs from %2x%3 to %4x%5%6")
           .arg(applet ? QStringLiteral(" --player applet") : QString())
           .arg(webMinWidth)
           .arg(webMinHeight)
           .arg(WebMaxWidth(choices.player))
           .arg(WebMaxHeight(choices.player))
           .arg(applet ? QString() : QStringLiteral(", or fill")));
  return false;
}

// The player, the pictures' side and the page's size; a message on failure.
bool ParseWebChoices(const QCommandLineParser& parser, WebChoices& choices) {
  if (!ParseWord(parser, playerWords, choices.player) || !ParseWord(parser, pictureSideWords, choices.pictureSide))
    return false;
  if (choices.pictureSide > 0 && choices.player == WebPlayer::Applet) {
    Fail(QStringLiteral("--picture-size is for the html5 player; the applet shows the original files"));
    return false;
  }
  return ParseWebPageSize(parser, choices);
}

// The dialog's defaults, with the project's duration and the size asked for (a fixed box when
// one is given, else the one the first picture proposes; the box's values stay in the page for a
// fill too).
WebExportRequest WebRequest(const QCommandLineParser& parser, const WebChoices& choices, const ImageStack& stack) {
  int width = choices.width, height = choices.height;
  if (!choices.sized) {
    const Image& first = *stack.images[0];
    std::tie(width, height) = DefaultWebSize(first.width, first.height);
  }
  WebExportRequest request;
  request.player = choices.player;
  request.pageSize = choices.sized ? WebPageSize::Fixed : WebPageSize::FillWindow;
  request.pictureSide = choices.pictureSide;
  request.directory = AbsoluteFileName(parser.value(QStringLiteral("export-web")));
  while (request.directory.size() > 1 && request.directory.back() == '/') request.directory.pop_back();
  request.duration = FormatGeneral(static_cast<double>(stack.duration), 15);
  request.width = std::to_string(width);
  request.height = std::to_string(height);
  const QString appDir = QCoreApplication::applicationDirPath();
  request.archiveTemplate = DataFilePath(Encoded(appDir), "kx.jar");
  request.playerDirectory = DataFilePath(Encoded(appDir), "web/player");
  return request;
}

// Writes the planned export; Ctrl+C or a polite kill stops it between two files, and what it
// wrote goes.
int RunWebExport(WebExportOptions options, const ImageStack& stack) {
  interrupted = false;
  options.cancelled = [] { return interrupted.load(); };
  const InterruptHandlers handlers;
  WebExportJob job(stack, std::move(options));
  ProgressPrinter printer(stdout, "step");
  RunJob(job, printer);
  return ExitStatus(job.Result() == WebExportResult::Ok, stack);
}

}  // namespace

// --export-web: what the dialog writes with its defaults, asking nothing.
int ExportWebCommand(const QCommandLineParser& parser, const QString& project, const PlayOverride& play) {
  WebChoices choices;
  if (!ParseWebChoices(parser, choices)) return 2;
  Project open;
  if (!OpenForWork(open, project)) return 1;
  ImageStack& stack = *open.stack();
  play.ApplyTo(stack);
  if (stack.pictureCount() < 1) {
    Fail(QStringLiteral("the project holds no pictures to export"));
    return 1;
  }
  if (!stack.SameDirectory())
    Fail(QStringLiteral("warning: the pictures lie in more than one directory; the page may not find them all"));
  WebExportPlan plan = PlanWebExport(WebRequest(parser, choices, stack), stack);
  if (!plan.refusal.empty()) {
    Fail(QString::fromStdString(plan.refusal));
    return 2;
  }
  if (!parser.isSet(QStringLiteral("force")) && !plan.replaced.empty()) {
    QString list;
    for (const std::string& path : plan.replaced) list += QStringLiteral("\n    ") + QFile::decodeName(path.c_str());
    Fail(QStringLiteral("these files exist already (--force replaces them):") + list);
    return 1;
  }
  return RunWebExport(std::move(plan.options), stack);
}

namespace {

// The video's settings from the options, checked before the project is opened so that a mistake
// is said at once. A message on failure.
bool ParseVideoRequest(const QCommandLineParser& parser, VideoRequest& request) {
  VideoSettings& settings = request.settings;
  settings.path = AbsoluteFileName(parser.value(QStringLiteral("export-video")));
  if (parser.isSet(QStringLiteral("size")) &&
      !ParseSize(parser.value(QStringLiteral("size")), settings.width, settings.height))
    return false;
  if (parser.isSet(QStringLiteral("fps")) && !ParseNumber(parser, "fps", settings.fps)) return false;
  if (parser.isSet(QStringLiteral("duration"))) {
    if (!ParseNumber(parser, "duration", settings.duration)) return false;
    request.ownDuration = true;
  }
  if (!ParseWord(parser, directionWords, settings.direction) || !ParseWord(parser, frameWords, settings.frame) ||
      !ParseWord(parser, speedWords, settings.speed))
    return false;
  if (parser.isSet(QStringLiteral("audio"))) settings.audio = AbsoluteFileName(parser.value(QStringLiteral("audio")));
  for (auto [option, target] :
       {std::pair<const char*, int*>{"crf", &settings.crf}, {"antialias", &settings.antialias}}) {
    if (!parser.isSet(QLatin1String(option))) continue;
    bool ok = false;
    *target = parser.value(QLatin1String(option)).toInt(&ok);
    if (!ok) {
      Fail(QStringLiteral("--%1 takes a whole number, not \"%2\"")
               .arg(QLatin1String(option), parser.value(QLatin1String(option))));
      return false;
    }
  }
  std::string error;
  switch (request.Check(maxVideoDuration, error)) {
    case VideoRefusal::Duration:
      Fail(QStringLiteral("--duration takes the seconds of one pass, more than 0"));
      return false;
    case VideoRefusal::NoFile:
    case VideoRefusal::Settings:
      Fail(QString::fromStdString(error));
      return false;
    case VideoRefusal::None:
      break;
  }
  return true;
}

}  // namespace

int ExportVideoCommand(const QCommandLineParser& parser, const QString& project, size_t budget,
                       const PlayOverride& play) {
  VideoRequest request;
  if (!ParseVideoRequest(parser, request)) return 2;
  // As the dialog asks and the other works refuse: nothing the user has is replaced unasked.
  const std::string replaced = request.Replaced();
  if (!replaced.empty() && !parser.isSet(QStringLiteral("force"))) {
    Fail(QStringLiteral("%1 exists already (--force replaces it)").arg(QFile::decodeName(replaced.c_str())));
    return 2;
  }
  Project open;
  if (!OpenForWork(open, project)) return 1;
  play.ApplyTo(*open.stack());
  VideoExportJob job(*open.stack(), request.settings, budget);
  ProgressPrinter printer(stdout, "frame");
  interrupted = false;
  {
    const InterruptHandlers handlers;
    RunJob(job, printer, [] { return interrupted.load(); });
  }
  if (job.StartFailed()) {
    Fail(QString::fromStdString(job.Error()));
    return 1;
  }
  const VideoResult result = job.Result();
  if (job.ReducedToLimit() > 0) ShowMaxImageSizeMessage(job.ReducedToLimit());
  if (!job.RendererMessage().empty()) ShowPlainMessage(job.RendererMessage());
  if (result != VideoResult::Ok) {
    Fail(QString::fromStdString(job.Error().empty() ? std::string("the export was cancelled") : job.Error()));
    return 1;
  }
  return ExitStatus(true, *open.stack());
}

}  // namespace command_line
