// --import-sequence DIR OUT.kx: the pictures of a folder, each the one before zoomed out by a
// factor about its centre, made into a project: ordered with the widest view outermost, each
// placed at 1/factor in the one before, then aligned from the pictures, the results printed and
// the project written.

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "AlignRequest.h"
#include "CommandLineWork.h"
#include "Imagestack.h"
#include "PictureSequence.h"
#include "Project.h"
#include "WidestView.h"

namespace command_line {

namespace {

const WordOption<SequenceOrder> orderWords{"order", {{"name", SequenceOrder::Name}, {"date", SequenceOrder::Date}}};
const WordOption<OutermostChoice> outermostWords{
    "outermost",
    {{"found", OutermostChoice::Found}, {"first", OutermostChoice::First}, {"last", OutermostChoice::Last}}};

// An absolute name without "." and ".." steps, so that names under the project's folder are seen
// to be (and stored relative to it).
std::string CleanAbsolute(const QString& argument) {
  return Encoded(QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(AbsoluteFileName(argument)))));
}

// Whether anything (a dangling link too) already has the name `path`.
bool Taken(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

struct ImportOptions {
  double factor = 2.0;
  SequenceOrder order = SequenceOrder::Name;
  OutermostChoice outermost = OutermostChoice::Found;
  std::string folder;
  std::string output;
};

bool ParseImportOptions(const QCommandLineParser& parser, const QString& output, ImportOptions& options) {
  if (parser.isSet(QStringLiteral("factor"))) {
    if (!ParseNumber(parser, "factor", options.factor)) return false;
    if (!SequenceFactorUsable(options.factor)) {
      Fail(QStringLiteral("--factor takes the zoom between neighbouring pictures, a number above 1 (2 when each "
                          "picture is the one before at half its size), not \"%1\"")
               .arg(parser.value(QStringLiteral("factor"))));
      return false;
    }
  }
  if (!ParseWord(parser, orderWords, options.order) || !ParseWord(parser, outermostWords, options.outermost))
    return false;
  if (parser.isSet(QStringLiteral("reverse"))) {
    if (parser.isSet(QStringLiteral("outermost")) && options.outermost != OutermostChoice::Last) {
      Fail(QStringLiteral("--reverse makes the last in order the outermost picture; --outermost %1 contradicts it")
               .arg(parser.value(QStringLiteral("outermost"))));
      return false;
    }
    options.outermost = OutermostChoice::Last;
  }
  options.folder = CleanAbsolute(parser.value(QStringLiteral("import-sequence")));
  options.output = CleanAbsolute(output);
  if (!QFileInfo(QFile::decodeName(QByteArray::fromStdString(options.folder))).isDir()) {
    Fail(QStringLiteral("--import-sequence takes a folder of pictures; %1 is not one")
             .arg(parser.value(QStringLiteral("import-sequence"))));
    return false;
  }
  if (Taken(options.output)) {
    if (QFileInfo(QFile::decodeName(QByteArray::fromStdString(options.output))).isDir()) {
      Fail(QStringLiteral("%1 is a folder, not a project file").arg(output));
      return false;
    }
    if (!parser.isSet(QStringLiteral("force"))) {
      Fail(QStringLiteral("%1 exists; --force replaces it").arg(output));
      return false;
    }
  }
  return true;
}

}  // namespace

int ImportSequenceCommand(const QCommandLineParser& parser, const QString& output) {
  ImportOptions options;
  if (!ParseImportOptions(parser, output, options)) return 2;
  std::vector<SequenceFile> files;
  std::string error;
  if (!SequenceFolder(options.folder, files, error)) {
    Fail(QStringLiteral("the folder %1 cannot be read: %2")
             .arg(parser.value(QStringLiteral("import-sequence")), QString::fromLocal8Bit(error.c_str())));
    return 2;
  }
  if (files.empty()) {
    Fail(QStringLiteral("the folder %1 holds no pictures (*.jpg, *.jpeg, *.png or *.webp)")
             .arg(parser.value(QStringLiteral("import-sequence"))));
    return 2;
  }
  files = OrderSequence(std::move(files), options.order, false);
  std::vector<std::string> paths;
  for (const SequenceFile& file : files) paths.push_back(file.path);
  if (paths.size() >= 2) {
    WidestView widest;
    if (options.outermost == OutermostChoice::Found) widest = FindWidestView(paths);
    const bool last = OutermostIsLast(options.outermost, widest);
    std::fprintf(stderr, "tunnelvista: outermost picture: %s, %s\n", (last ? files.back() : files.front()).name.c_str(),
                 OutermostReason(options.outermost, widest, options.order).c_str());
    if (last) std::reverse(paths.begin(), paths.end());
  }

  Project open;
  open.WithoutRecovery();  // written at once, or not at all
  if (!open.NewSequence(paths, options.factor, options.output, false)) return 2;
  WaitForOpening(open);
  bool allFound = true, changed = false;
  if (open.stack()->pictureCount() >= 2) allFound = AlignAndPrint(open, AlignRequest{-1, true}, changed);
  if (!open.Save()) return 1;
  return ExitStatus(allFound, *open.stack());
}

}  // namespace command_line
