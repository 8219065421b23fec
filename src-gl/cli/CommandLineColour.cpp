// --match-colours: each picture's tones matched to its parent's as drawn, the corrections
// printed (or why a picture kept its own), the project saved when any changed.

#include <cstdio>
#include <string>
#include <vector>

#include "ColourJob.h"
#include "CommandLineWork.h"
#include "Imagestack.h"
#include "Project.h"
#include "TextNumbers.h"

namespace command_line {

namespace {

std::string Three(const std::array<float, 3>& v, int decimals) {
  return FormatFixed(v[0], decimals) + " " + FormatFixed(v[1], decimals) + " " + FormatFixed(v[2], decimals);
}

std::string Three(const std::array<double, 3>& v) {
  return FormatFixed(v[0], 1) + " " + FormatFixed(v[1], 1) + " " + FormatFixed(v[2], 1);
}

}  // namespace

int MatchColoursCommand(const QCommandLineParser& parser, const QString& project) {
  int picture = -1;
  if (!ReadPictureNumber(parser, "the first keeps its own colours", picture)) return 2;
  Project open;
  if (!OpenForWork(open, project)) return 1;
  const ImageStack* stack = open.stack();
  if (picture > stack->pictureCount()) {
    Fail(QStringLiteral("the project has %1 pictures; there is no picture %2").arg(stack->pictureCount()).arg(picture));
    return 2;
  }
  if (stack->pictureCount() < 2) {
    Fail(QStringLiteral("the project needs two pictures or more to match their colours"));
    return 1;
  }
  ColourJob job(ColourTasks(*stack, picture < 0 ? -1 : picture - 1));
  // Standard output carries the results; the progress goes to standard error.
  ProgressPrinter printer(stderr, "picture");
  RunJob(job, printer);
  const std::vector<ColourTask>& tasks = job.Tasks();
  bool allFound = true, changed = false;
  for (size_t i = 0; i < tasks.size(); ++i) {
    const ColourTask& task = tasks[i];
    const ColourMatchResult& r = job.Result(static_cast<int>(i));
    const Image& child = *stack->images[static_cast<size_t>(task.element)];
    std::string line = "picture " + std::to_string(task.element + 1) + " (" + child.fileName + "): ";
    if (r.status == ColourMatchStatus::Matched) {
      line += "gain " + Three(r.correction.gain, 4) + " offset " + Three(r.correction.offset, 4) + " border " +
              Three(r.bandBefore) + " -> " + Three(r.bandAfter) + " levels" + (r.limited ? " (limited)" : "");
      changed =
          (child.colour != r.correction && open.ApplyColourMatch(task.childId, task.parentId, r.correction)) || changed;
    } else {
      // Kept colours are the answer for pictures that match already; the others found nothing.
      line += ColourKeptReason(r) + (r.status == ColourMatchStatus::Kept ? "" : "; colours kept");
      allFound = allFound && r.status == ColourMatchStatus::Kept;
    }
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  if (changed && !open.Save()) return 1;
  return ExitStatus(allFound, *stack);
}

}  // namespace command_line
