#include "CommandLineWork.h"

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

#include "Imagestack.h"
#include "Job.h"
#include "Paths.h"
#include "Project.h"

namespace command_line {

void Fail(const QString& text) { std::fprintf(stderr, "tunnelvista: %s\n", text.toLocal8Bit().constData()); }

int ExitStatus(bool done, const ImageStack& stack) {
  if (!done) return 1;
  for (int i = 0; i < stack.pictureCount(); ++i)
    if (!stack.images[static_cast<size_t>(i)]->loaded) {
      Fail(QStringLiteral("done, but not every picture of the project could be loaded (see above)"));
      return 1;
    }
  return 0;
}

std::string AbsoluteFileName(const QString& argument) {
  return CommandLineProjectPath(QFile::encodeName(argument).toStdString(),
                                QFile::encodeName(QDir::currentPath()).toStdString());
}

std::string Encoded(const QString& text) { return QFile::encodeName(text).toStdString(); }

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

void FailWord(const char* name, const std::vector<const char*>& listed, const QString& text) {
  QString words;
  for (size_t i = 0; i < listed.size(); ++i) {
    if (i > 0) words += i + 1 == listed.size() ? QStringLiteral(" or ") : QStringLiteral(", ");
    words += QLatin1String(listed[i]);
  }
  Fail(QStringLiteral("--%1 takes %2, not \"%3\"").arg(QLatin1String(name), words, text));
}

bool OpenForWork(Project& project, const QString& argument) {
  // The command line saves what it changes at once, and an editor may have the project open.
  project.WithoutRecovery();
  if (!project.Open(AbsoluteFileName(argument))) return false;
  WaitForOpening(project);
  if (!project.stack()) return false;
  const ImageStack& stack = *project.stack();
  // The work goes on with them, and a save keeps their new places: a script must be able to tell.
  for (int i = 0; i < stack.pictureCount(); ++i) {
    const Image& picture = *stack.images[static_cast<size_t>(i)];
    if (picture.foundElsewhere)
      Fail(QStringLiteral("picture %1 (%2) was not where the project says: %3")
               .arg(i + 1)
               .arg(QFile::decodeName(picture.fileName.c_str()), QFile::decodeName(picture.FoundNote().c_str())));
  }
  project.stack()->dirty = true;  // the keys are built afresh before anything is drawn or written
  return true;
}

void WaitForOpening(Project& project) {
  if (!project.Opening()) return;
  // The check's workers hand their results to this thread's event loop.
  QEventLoop loop;
  QObject::connect(&project, &Project::openingFinished, &loop, &QEventLoop::quit);
  QObject::connect(&project, &Project::stackReplaced, &loop, &QEventLoop::quit);
  loop.exec();
}

void PlayOverride::ApplyTo(ImageStack& stack) const {
  if (play) stack.playSettings.play = *play;
  if (pace) stack.playSettings.pace = *pace;
  stack.dirty = true;  // the keys follow the settings (the data file's too)
}

namespace {

// "back" on the command line; the project file's word for it is accepted too.
const WordOption<PlayMode> playWords{"play",
                                     {{"endless", PlayMode::Endless},
                                      {"back", PlayMode::ThereAndBack},
                                      {PlayModeWord(PlayMode::ThereAndBack), PlayMode::ThereAndBack, false}}};
const WordOption<Pace> paceWords{"pace", {{"eased", Pace::Eased}, {"steady", Pace::Steady}}};

}  // namespace

bool ParsePlayOverride(const QCommandLineParser& parser, PlayOverride& override) {
  return ParseWord(parser, playWords, override.play) && ParseWord(parser, paceWords, override.pace);
}

bool RunJob(Job& job, ProgressPrinter& printer, const std::function<bool()>& interrupted) {
  QEventLoop loop;
  bool completed = false;
  QObject::connect(&job, &Job::progress, &loop, [&printer](int done, int total) { printer.Show(done, total); });
  QObject::connect(&job, &Job::finished, &loop, [&](bool c) {
    completed = c;
    loop.quit();
  });
  QTimer poll;
  if (interrupted) {
    QObject::connect(&poll, &QTimer::timeout, &loop, [&job, &interrupted] {
      if (interrupted()) job.Cancel();
    });
    poll.start(50);
  }
  job.Start();
  loop.exec();
  return completed;
}

ProgressPrinter::ProgressPrinter(std::FILE* stream, const char* unit)
    : stream_(stream), unit_(unit), terminal_(isatty(fileno(stream)) == 1) {}

void ProgressPrinter::Show(int done, int total) {
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

}  // namespace command_line
