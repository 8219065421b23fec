// colour_bench [PHOTO_DIR]
// The colour match measured on stacks cut from every corpus photograph:
// - changed tones: pictures given known changes of tone (30 % brighter, a cast of red x 0.85 and
//   blue x 1.15, 25 % darker, a warm cast, 10 % darker); the mean absolute difference per channel,
//   in levels of 255, where each child's faded border blends into its parent, before matching and
//   after (each matched with its parent as corrected, from the first picture on), and the time
//   per pair;
// - matched tones: the same stacks without a change, where no picture should gain a correction;
// - unrelated pairs: a child cut from another photograph, which should find no reliable match;
// and the time for a pair of 12-megapixel pictures.
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
const std::vector<ToneGains> unchanged(changes.size(), ToneGains{1, 1, 1});

// The stack's pictures written into `directory`, and their tasks with exact placements.
std::vector<ColourTask> WriteStack(const std::vector<AlignStackPicture>& stack, const std::string& directory) {
  QDir().mkpath(QString::fromStdString(directory));
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

// What one section's runs add up to.
struct Tally {
  std::array<double, 3> before{}, after{};
  int pairs = 0, matched = 0, kept = 0, unreliable = 0, other = 0, worse = 0;
  std::vector<double> times;
  double megapixels = 0;

  void Add(const ColourTask& task, const ColourMatchResult& r, double ms) {
    ++pairs;
    matched += r.status == ColourMatchStatus::Matched;
    kept += r.status == ColourMatchStatus::Kept;
    unreliable += r.status == ColourMatchStatus::Unreliable;
    if (r.status != ColourMatchStatus::Matched && r.status != ColourMatchStatus::Kept) {
      ++other;
      return;
    }
    for (size_t c = 0; c < 3; ++c) {
      before[c] += r.bandBefore[c];
      after[c] += r.bandAfter[c];
    }
    if (Mean3(r.bandAfter) > Mean3(r.bandBefore) + 0.05) ++worse;
    times.push_back(ms);
    megapixels += (task.parent.width * double(task.parent.height) + task.child.width * double(task.child.height)) / 2e6;
  }
  void Print(const char* title) const {
    const int measured = pairs - other;
    std::printf("%s: %d pairs: %d matched, %d kept, %d no reliable match, %d other; %d worse at the border\n", title,
                pairs, matched, kept, unreliable, other - unreliable, worse);
    if (measured > 0)
      std::printf(
          "  border difference, mean per channel (levels of 255): before %.2f %.2f %.2f, after %.2f %.2f %.2f\n",
          before[0] / measured, before[1] / measured, before[2] / measured, after[0] / measured, after[1] / measured,
          after[2] / measured);
  }
};

// Runs `tasks` in order, printing a line per pair, into `tally`.
void Run(const std::string& name, const std::vector<ColourTask>& tasks, Tally& tally) {
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
    tally.Add(tasks[i], r, own[i]);
    std::printf("%-28s %2zu/%zu  %6.1f %6.1f %6.1f  %6.1f %6.1f %6.1f  %5.0f  %-17s %3.0f%% %5.1f%s\n", name.c_str(),
                i + 2, i + 1, r.bandBefore[0], r.bandBefore[1], r.bandBefore[2], r.bandAfter[0], r.bandAfter[1],
                r.bandAfter[2], own[i], ColourMatchStatusText(r.status), 100 * r.explained, r.residual,
                r.limited ? "  (limited)" : "");
  }
}

void Header(const char* title) {
  std::printf("\n%s\n%-28s %5s  %-20s  %-20s  %5s  %-17s %4s %5s\n", title, "photo", "pair", "border before R G B",
              "border after R G B", "ms", "status", "fit", "resid");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string photos = argc > 1 ? argv[1] : TV_PHOTO_DIR;
  const QStringList names = QDir(QString::fromStdString(photos)).entryList({"*.jpg"}, QDir::Files, QDir::Name);
  QTemporaryDir temp;
  const std::string work = temp.path().toStdString();
  Tally changed, matched, unrelated;
  Header("changed tones");
  for (const QString& name : names) {
    std::mt19937 random(17);
    const auto stack = CutToneStack(ReadPhoto(photos + "/" + name.toStdString()), changes, random, 1600, 2400);
    if (stack.size() >= 2) Run(name.toStdString(), WriteStack(stack, work + "/" + name.toStdString() + ".c"), changed);
  }
  Header("matched tones");
  for (const QString& name : names) {
    std::mt19937 random(17);
    const auto stack = CutToneStack(ReadPhoto(photos + "/" + name.toStdString()), unchanged, random, 1600, 2400);
    if (stack.size() >= 2) Run(name.toStdString(), WriteStack(stack, work + "/" + name.toStdString() + ".m"), matched);
  }
  // The child of a stack cut from one photograph, from another photograph, where the first's was.
  Header("unrelated pairs");
  for (const QString& parent : names)
    for (const QString& child : names) {
      if (parent == child) continue;
      std::mt19937 random(23), childRandom(23);
      auto stack =
          CutToneStack(ReadPhoto(photos + "/" + parent.toStdString()), {{1, 1, 1}, {1, 1, 1}}, random, 1200, 1600);
      const auto other =
          CutToneStack(ReadPhoto(photos + "/" + child.toStdString()), {{1, 1, 1}, {1, 1, 1}}, childRandom, 1200, 1600);
      if (stack.size() < 2 || other.size() < 2) continue;
      const Transform placement = stack[1].placement;
      stack[1] = other[1];
      stack[1].placement = placement;
      const std::string pair = parent.section('.', 0, 0).toStdString() + "<" + child.section('.', 0, 0).toStdString();
      Run(pair, WriteStack(stack, work + "/" + pair), unrelated);
    }

  std::printf("\n");
  changed.Print("changed tones");
  matched.Print("matched tones");
  unrelated.Print("unrelated pairs");
  if (changed.pairs == changed.other) {
    std::printf("no pairs matched\n");
    return 1;
  }
  double total = 0;
  for (double t : changed.times) total += t;
  std::printf("time per pair: median %.0f ms; %.0f ms per 12 MP pair by the pixels\n", Median(changed.times),
              total / changed.megapixels * 12);

  // A pair of 12-megapixel pictures (4000 x 3000), timed alone.
  std::mt19937 random(3);
  const std::vector<AlignStackPicture> large =
      CutToneStack(ReadPhoto(photos + "/" + (names.isEmpty() ? std::string() : names[0].toStdString())),
                   {{1, 1, 1}, {1.3, 1.3, 1.3}}, random, 4000, 4000);
  if (large.size() == 2) {
    const std::vector<ColourTask> tasks = WriteStack(large, work + "/large");
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
