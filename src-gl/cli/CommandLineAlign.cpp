// --align: the pictures placed in their parents from their pixels, the results printed, the
// project saved.

#include <cstdio>
#include <string>
#include <vector>

#include "AlignJob.h"
#include "AlignRequest.h"
#include "CommandLineWork.h"
#include "Imagestack.h"
#include "Project.h"
#include "TextNumbers.h"

namespace command_line {

bool AlignAndPrint(Project& open, const AlignRequest& request, bool& changed) {
  const ImageStack* stack = open.stack();
  AlignJob job(request.Tasks(*stack));
  // Standard output carries the results; the progress goes to standard error.
  ProgressPrinter printer(stderr, "picture");
  RunJob(job, printer);
  const std::vector<AlignTask>& tasks = job.Tasks();
  bool allFound = true;
  for (size_t i = 0; i < tasks.size(); ++i) {
    const AlignTask& task = tasks[i];
    const AlignResult& r = job.Result(static_cast<int>(i));
    const Image& child = *stack->images[static_cast<size_t>(task.element)];
    std::string line = "picture " + std::to_string(task.element + 1) + " (" + child.fileName + "): ";
    if (r.status == AlignStatus::Aligned) {
      const Transform& t = r.transform;
      line += "scale " + FormatFixed(t.scale, 7) + " translate " + FormatFixed(t.translateX, 7) + " " +
              FormatFixed(t.translateY, 7) + " rotate " + FormatFixed(t.rotate, 4) + " confidence " +
              FormatFixed(r.confidence, 2) + " residual " + FormatFixed(r.residual, 2) + " px";
      changed = open.ApplyAlignment(task.childId, task.parentId, t) || changed;
    } else if (r.status == AlignStatus::Kept) {
      // A good placement kept is no failure: the project is as good as the alignment could make it.
      line += std::string("kept: ") + r.why;
      if (r.confidence > 0)
        line += " (confidence " + FormatFixed(r.confidence, 2) + " residual " + FormatFixed(r.residual, 2) + " px)";
    } else {
      line +=
          std::string(AlignStatusText(r.status)) + " (confidence " + FormatFixed(r.confidence, 2) + "); placement kept";
      allFound = false;
    }
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  return allFound;
}

bool ReadPictureNumber(const QCommandLineParser& parser, const char* whyNotTheFirst, int& picture) {
  if (!parser.isSet(QStringLiteral("picture"))) return true;
  bool ok = false;
  picture = parser.value(QStringLiteral("picture")).toInt(&ok);
  if (ok && picture >= 2) return true;
  Fail(QStringLiteral("--picture takes the number of a picture from 2 on (%1), not \"%2\"")
           .arg(QString::fromLatin1(whyNotTheFirst), parser.value(QStringLiteral("picture"))));
  return false;
}

int AlignCommand(const QCommandLineParser& parser, const QString& project) {
  int picture = -1;
  if (!ReadPictureNumber(parser, "the first has nothing to be placed in", picture)) return 2;
  Project open;
  if (!OpenForWork(open, project)) return 1;
  const ImageStack* stack = open.stack();
  const AlignRequest request{picture < 0 ? -1 : picture - 1};
  switch (request.Check(*stack)) {
    case AlignRefusal::NoSuchChild:
      Fail(QStringLiteral("the project has %1 pictures; there is no picture %2")
               .arg(stack->pictureCount())
               .arg(picture));
      return 2;
    case AlignRefusal::TooFewPictures:
      Fail(QStringLiteral("the project needs two pictures or more to align"));
      return 1;
    case AlignRefusal::None:
      break;
  }
  bool changed = false;
  const bool allFound = AlignAndPrint(open, request, changed);
  if (changed && !open.Save()) return 1;
  return ExitStatus(allFound, *stack);
}

}  // namespace command_line
