// colour_bench [PHOTO_DIR]
// The colour match measured on stacks cut from every corpus photograph whose pictures were given
// known changes of tone (30 % brighter, a cast of red x 0.85 and blue x 1.15, 25 % darker, a warm
// cast, 10 % darker): the mean absolute difference per channel, in levels of 255, where each
// child's faded border blends into its parent, before matching and after (each matched with its
// parent as corrected, from the first picture on); the time per pair; and the time for a pair of
// 12-megapixel pictures.
#include <QDir>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchPictures.h"
#include "ColourStack.h"
#include "SafeFile.h"
#include "colour_stack.h"

namespace {

const std::vector<ToneGains> changes{{1, 1, 1},          {1.3, 1.3, 1.3},  {0.85, 1, 1.15},
                                     {0.75, 0.75, 0.75}, {1.1, 1.05, 0.9}, {0.9, 0.9, 0.9}};

// The stack's pictures written into `directory`, and their tasks with exact placements.
std::vector<ColourTask> WriteStack(const std::vector<AlignStackPicture>& stack, const std::string& directory) {
  std::vector<ColourTask> tasks;
  for (size_t k = 0; k < stack.size(); ++k) {
    const std::string path = directory + "/tone_" + std::to_string(k + 1) + ".jpg";
    if (!WriteFileReporting(path, std::string(stack[k].jpeg.begin(), stack[k].jpeg.end()))) return {};
    if (k == 0) continue;
    ColourTask t;
    t.element = static_cast<int>(k);
    t.childId = k + 1;
    t.parentId = k;
    t.parent.path = directory + "/tone_" + std::to_string(k) + ".jpg";
    t.parent.width = stack[k - 1].width;
    t.parent.height = stack[k - 1].height;
    t.child.path = path;
    t.child.width = stack[k].width;
    t.child.height = stack[k].height;
    t.placement = stack[k].placement;
    tasks.push_back(std::move(t));
  }
  return tasks;
}

double Mean3(const std::array<double, 3>& v) { return (v[0] + v[1] + v[2]) / 3; }

}  // namespace

int main(int argc, char** argv) {
  const std::string photos = argc > 1 ? argv[1] : TV_PHOTO_DIR;
  const QStringList names = QDir(QString::fromStdString(photos)).entryList({"*.jpg"}, QDir::Files, QDir::Name);
  QTemporaryDir temp;
  std::array<double, 3> before{}, after{};
  std::vector<double> times;
  double megapixels = 0;
  int pairs = 0, noMatch = 0, worse = 0;
  std::printf("%-28s %5s  %-20s  %-20s  %s\n", "photo", "pair", "border before R G B", "border after R G B", "ms");
  for (const QString& name : names) {
    std::mt19937 random(17);
    const std::vector<AlignStackPicture> stack =
        CutToneStack(ReadPhoto(photos + "/" + name.toStdString()), changes, random, 1600, 2400);
    if (stack.size() < 2) continue;
    const std::string directory = temp.path().toStdString() + "/" + name.toStdString() + ".d";
    QDir().mkpath(QString::fromStdString(directory));
    const std::vector<ColourTask> tasks = WriteStack(stack, directory);
    std::vector<BenchClock::time_point> starts(tasks.size());
    std::vector<double> own(tasks.size());
    const auto results = RunColourTasks(
        tasks,
        [&](int done, int total) {
          if (done < total) starts[static_cast<size_t>(done)] = BenchClock::now();
        },
        [&](int i, const ColourMatchResult&) {
          own[static_cast<size_t>(i)] = Milliseconds(BenchClock::now() - starts[static_cast<size_t>(i)]);
        });
    for (size_t i = 0; i < results.size(); ++i) {
      const ColourMatchResult& r = results[i];
      ++pairs;
      if (r.status != ColourMatchStatus::Matched) {
        ++noMatch;
        std::printf("%-28s %2zu/%zu  %s\n", name.toUtf8().constData(), i + 2, i + 1, ColourMatchStatusText(r.status));
        continue;
      }
      for (size_t c = 0; c < 3; ++c) {
        before[c] += r.bandBefore[c];
        after[c] += r.bandAfter[c];
      }
      if (Mean3(r.bandAfter) > 2) ++worse;
      times.push_back(own[i]);
      megapixels += (tasks[i].parent.width * double(tasks[i].parent.height) +
                     tasks[i].child.width * double(tasks[i].child.height)) /
                    2e6;
      std::printf("%-28s %2zu/%zu  %6.1f %6.1f %6.1f  %6.1f %6.1f %6.1f  %5.0f%s\n", name.toUtf8().constData(), i + 2,
                  i + 1, r.bandBefore[0], r.bandBefore[1], r.bandBefore[2], r.bandAfter[0], r.bandAfter[1],
                  r.bandAfter[2], own[i], r.limited ? "  (limited)" : "");
    }
  }
  const int matched = pairs - noMatch;
  if (matched == 0) {
    std::printf("no pairs matched\n");
    return 1;
  }
  double total = 0;
  for (double t : times) total += t;
  std::printf("\n%d pairs, %d not matched, %d with more than 2 levels left at the border\n", pairs, noMatch, worse);
  std::printf("border difference, mean per channel (levels of 255): before %.2f %.2f %.2f, after %.2f %.2f %.2f\n",
              before[0] / matched, before[1] / matched, before[2] / matched, after[0] / matched, after[1] / matched,
              after[2] / matched);
  std::printf("time per pair: median %.0f ms; %.0f ms per 12 MP pair by the pixels\n", Median(times),
              total / megapixels * 12);

  // A pair of 12-megapixel pictures (4000 x 3000), timed alone.
  std::mt19937 random(3);
  const std::vector<AlignStackPicture> large =
      CutToneStack(ReadPhoto(photos + "/" + (names.isEmpty() ? std::string() : names[0].toStdString())),
                   {{1, 1, 1}, {1.3, 1.3, 1.3}}, random, 4000, 4000);
  if (large.size() == 2) {
    const std::string directory = temp.path().toStdString() + "/large";
    QDir().mkpath(QString::fromStdString(directory));
    const std::vector<ColourTask> tasks = WriteStack(large, directory);
    std::vector<double> largeTimes;
    for (int run = 0; run < 3; ++run) {
      const auto start = BenchClock::now();
      RunColourTasks(tasks);
      largeTimes.push_back(Milliseconds(BenchClock::now() - start));
    }
    std::printf("12 MP pair (%dx%d in %dx%d): median %.0f ms of 3 runs\n", large[1].width, large[1].height,
                large[0].width, large[0].height, Median(largeTimes));
  }
  return 0;
}
