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

}  // namespace

// --export-web: what the dialog writes with its defaults, asking nothing.
int ExportWebCommand(const QCommandLineParser& parser, const QString& project, const PlayOverride& play) {
  WebPlayer player = WebPlayer::Html5;
  int pictureSide = 0;
  const QString playerName = parser.value(QStringLiteral("player"));
  if (playerName == QLatin1String("applet"))
    player = WebPlayer::Applet;
  else if (!playerName.isEmpty() && playerName != QLatin1String("html5")) {
    Fail(QStringLiteral("--player takes html5 or applet, not \"%1\"").arg(playerName));
    return 2;
  }
  const QString side = parser.value(QStringLiteral("picture-size"));
  if (!side.isEmpty() && side != QLatin1String("original")) {
    pictureSide = -1;
    for (int choice : webPictureSides)
      if (choice > 0 && side == QString::number(choice)) pictureSide = choice;
    if (pictureSide < 0) {
      Fail(QStringLiteral("--picture-size takes 4096, 2048, 1024 or original, not \"%1\"").arg(side));
      return 2;
    }
    if (player == WebPlayer::Applet) {
      Fail(QStringLiteral("--picture-size is for the html5 player; the applet shows the original files"));
      return 2;
    }
  }
  int width = 0, height = 0;
  const QString sizeText = parser.value(QStringLiteral("size"));
  const bool fill = sizeText == QLatin1String("fill");
  const bool sized = parser.isSet(QStringLiteral("size")) && !fill;
  if (fill && player == WebPlayer::Applet) {
    Fail(QStringLiteral("--size fill is for the html5 player; the applet's page has a fixed box (WxH)"));
    return 2;
  }
  if (sized) {
    if (!ParseSize(sizeText, width, height)) return 2;
    if (!WebExportRequest::SizeWithinLimits(width, height, player)) {
      Fail(QStringLiteral("--size for --export-web%1 runs from %2x%3 to %4x%5%6")
               .arg(player == WebPlayer::Applet ? QStringLiteral(" --player applet") : QString())
               .arg(webMinWidth)
               .arg(webMinHeight)
               .arg(WebMaxWidth(player))
               .arg(WebMaxHeight(player))
               .arg(player == WebPlayer::Applet ? QString() : QStringLiteral(", or fill")));
      return 2;
    }
  }

  std::unique_ptr<ImageStack> stack = OpenProject(AbsoluteFileName(project));
  if (!stack) return 1;
  play.ApplyTo(*stack);
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

  // The dialog's defaults, with the project's duration and the size asked for (a fixed box when
  // one is given; the box's values stay in the page for a fill too).
  WebExportRequest request;
  request.player = player;
  request.pageSize = sized ? WebPageSize::Fixed : WebPageSize::FillWindow;
  request.pictureSide = pictureSide;
  request.directory = AbsoluteFileName(parser.value(QStringLiteral("export-web")));
  while (request.directory.size() > 1 && request.directory.back() == '/') request.directory.pop_back();
  request.duration = FormatGeneral(static_cast<double>(stack->duration), 15);
  request.width = std::to_string(width);
  request.height = std::to_string(height);
  const QString appDir = QCoreApplication::applicationDirPath();
  request.archiveTemplate = DataFilePath(Encoded(appDir), "kx.jar");
  request.playerDirectory = DataFilePath(Encoded(appDir), "web/player");
  WebExportPlan plan = PlanWebExport(request, *stack);
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
  // Ctrl+C or a polite kill stops the export between two files; what it wrote goes.
  interrupted = false;
  plan.options.cancelled = [] { return interrupted.load(); };
  const InterruptHandlers handlers;
  WebExportJob job(*stack, plan.options);
  ProgressPrinter printer(stdout, "step");
  RunJob(job, printer);
  return ExitStatus(job.Result() == WebExportResult::Ok, *stack);
}

int ExportVideoCommand(const QCommandLineParser& parser, const QString& project, size_t budget,
                       const PlayOverride& play) {
  VideoRequest request;
  VideoSettings& settings = request.settings;
  settings.path = AbsoluteFileName(parser.value(QStringLiteral("export-video")));
  if (parser.isSet(QStringLiteral("size")) &&
      !ParseSize(parser.value(QStringLiteral("size")), settings.width, settings.height))
    return 2;
  if (parser.isSet(QStringLiteral("fps")) && !ParseNumber(parser, "fps", settings.fps)) return 2;
  if (parser.isSet(QStringLiteral("duration"))) {
    if (!ParseNumber(parser, "duration", settings.duration)) return 2;
    request.ownDuration = true;
  }
  const QString direction = parser.value(QStringLiteral("direction"));
  if (direction == QLatin1String("out"))
    settings.direction = VideoDirection::Out;
  else if (direction == QLatin1String("inout"))
    settings.direction = VideoDirection::InOut;
  else if (direction == QLatin1String("outin"))
    settings.direction = VideoDirection::OutIn;
  else if (!direction.isEmpty() && direction != QLatin1String("in")) {
    Fail(QStringLiteral("--direction takes in, out, inout or outin, not \"%1\"").arg(direction));
    return 2;
  }
  const QString frame = parser.value(QStringLiteral("frame"));
  if (frame == QLatin1String("fit"))
    settings.frame = VideoFrame::Fit;
  else if (!frame.isEmpty() && frame != QLatin1String("fill")) {
    Fail(QStringLiteral("--frame takes fill or fit, not \"%1\"").arg(frame));
    return 2;
  }
  if (parser.isSet(QStringLiteral("audio"))) settings.audio = AbsoluteFileName(parser.value(QStringLiteral("audio")));
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
  switch (request.Check(maxVideoDuration, error)) {
    case VideoRefusal::Duration:
      Fail(QStringLiteral("--duration takes the seconds of one pass, more than 0"));
      return 2;
    case VideoRefusal::NoFile:
    case VideoRefusal::Settings:
      Fail(QString::fromStdString(error));
      return 2;
    case VideoRefusal::None:
      break;
  }

  std::unique_ptr<ImageStack> stack = OpenProject(AbsoluteFileName(project));
  if (!stack) return 1;
  play.ApplyTo(*stack);
  VideoExportJob job(*stack, settings, budget);
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
  return ExitStatus(true, *stack);
}

}  // namespace command_line
