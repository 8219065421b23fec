#include "CommandLine.h"

#include <GL/gl.h>

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cmath>
#include <cstdio>

#include "Imagestack.h"
#include "Messages.h"
#include "OffscreenTarget.h"
#include "Paths.h"
#include "Renderer.h"
#include "SafeFile.h"

namespace {

const char* const versionText = "1.0";

void Fail(const QString& text) { std::fprintf(stderr, "tunnelvista: %s\n", text.toLocal8Bit().constData()); }

void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(QStringLiteral("Tunnelvista Editor: infinite-zoom picture sequences."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({QStringLiteral("render-frame"),
                    QStringLiteral("Draws the zoom at time T (0 to 1 along one pass) into the PNG file OUT."),
                    QStringLiteral("T OUT.png")});
  parser.addOption({QStringLiteral("size"), QStringLiteral("The picture's size for --render-frame (1280x960)."),
                    QStringLiteral("WxH")});
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
  return WriteFileReporting(AbsoluteFileName(output), png.toStdString()) ? 0 : 1;
}

}  // namespace

bool IsCommandLineWork(const QStringList& arguments) {
  for (const QString& a : arguments)
    if (a == QLatin1String("--render-frame") || a.startsWith(QLatin1String("--render-frame=")) ||
        a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("--version") ||
        a == QLatin1String("-v") || a == QLatin1String("--help-all"))
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
  // --render-frame T OUT.png: the option's value is T, the output follows among the positionals.
  QStringList positional = parser.positionalArguments();
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
  size_t budget = 0;
  if (parser.isSet(QStringLiteral("texture-budget")) &&
      !ParseBudget(parser.value(QStringLiteral("texture-budget")), budget))
    return 2;
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
