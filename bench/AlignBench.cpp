// align_bench [-v] [--akaze] [--stacks N] [--photo NAME] [--large-only] [PHOTO_DIR]
// Automatic alignment measured on stacks cut from every corpus photograph with exactly known
// placements (tools/align_stack.h): the error of the child's four corners in the parent's
// pixels (median, 95th percentile, worst), how many accepted answers are more than a pixel off,
// how often no reliable match was found, the time per pair; the same pairs again from a rough
// hint (every child reset to half its parent's size at the centre, as a user might leave it);
// pairs of unrelated photographs, which must all be "no reliable match"; and the time for pairs
// of 12-megapixel pictures.
#include <QDir>
#include <QStringList>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <string>
#include <vector>

#include "Affine.h"
#include "AlignPair.h"
#include "BenchPictures.h"
#include "SafeFile.h"
#include "align_stack.h"

namespace {

bool verbose = false;

struct Pair {
  AlignSource parent, child;
  AlignStackPicture truth;  // the child, with its exact placement
};

struct Row {
  explicit Row(std::string n) : name(std::move(n)) {}
  std::string name;
  std::vector<double> errors;  // worst corner of each aligned pair, parent pixels
  std::vector<double> times;   // milliseconds per pair
  std::vector<double> cpu;     // processor milliseconds per pair, all threads
  int pairs = 0, noMatch = 0;
  int wrong = 0;  // accepted answers more than a pixel off
};

// An accepted answer further off than this is wrong.
constexpr double wrongError = 1.0;

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(std::ceil(p * v.size())) - (p > 0 ? 1 : 0))];
}

AlignSource Written(const std::string& path, const AlignStackPicture& p) {
  AlignSource s;
  s.path = path;
  s.width = p.width;
  s.height = p.height;
  WriteFileReporting(path, std::string(p.jpeg.begin(), p.jpeg.end()));
  return s;
}

// The rough placement of a child reset by hand: half the parent's size, centred, upright.
Transform RoughHint() {
  Transform t;
  t.scale = 0.5f;
  return t;
}

void Measure(Row& row, const std::vector<Pair>& pairs, const AlignOptions& options, bool related, bool hinted) {
  const Transform hint = RoughHint();
  for (const Pair& p : pairs) {
    const auto start = BenchClock::now();
    const std::clock_t cpuStart = std::clock();
    const AlignResult r = AlignPictures(p.parent, p.child, hinted ? &hint : nullptr, nullptr, options);
    row.times.push_back(Milliseconds(BenchClock::now() - start));
    row.cpu.push_back(1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    ++row.pairs;
    if (r.status != AlignStatus::Aligned) {
      if (related && verbose)
        std::printf(
            "  -- %s (scale %.2f, %.1f degrees, %d x %d in %d x %d): %s (matches %d, correlation %.3f, "
            "residual %.2f, confidence %.2f)\n",
            p.child.path.c_str(), p.truth.exactScale, p.truth.exactRotate, p.child.width, p.child.height,
            p.parent.width, p.parent.height, r.why, r.matches, r.correlation, r.residual, r.confidence);
      ++row.noMatch;
      continue;
    }
    if (related) {
      const double error = CornerError(p.parent.width, p.parent.height, p.truth, r.transform);
      row.errors.push_back(error);
      if (error > wrongError) ++row.wrong;
      if (error > wrongError)
        std::printf("  !! %s%s: %.2f px off (confidence %.2f, correlation %.3f, %d matches)\n", p.child.path.c_str(),
                    hinted ? " from the hint" : "", error, r.confidence, r.correlation, r.matches);
    } else {
      std::printf("  !! unrelated pair aligned: %s in %s (confidence %.2f)\n", p.child.path.c_str(),
                  p.parent.path.c_str(), r.confidence);
    }
  }
}

void Print(const Row& r) {
  std::printf("%-28s %5d %8.1f%% %6d %9.3f %9.3f %9.3f %9.0f %9.0f %9.0f\n", r.name.c_str(), r.pairs,
              r.pairs ? 100.0 * r.noMatch / r.pairs : 0.0, r.wrong, Percentile(r.errors, 0.5),
              Percentile(r.errors, 0.95), r.errors.empty() ? 0.0 : *std::max_element(r.errors.begin(), r.errors.end()),
              Median(r.times), r.times.empty() ? 0.0 : *std::max_element(r.times.begin(), r.times.end()),
              Median(r.cpu));
}

}  // namespace

int main(int argc, char** argv) {
  AlignOptions options;
  bool largeOnly = false;
  int stacks = 4;
  std::string only;  // one photograph's stacks alone
  std::string photoDir = TV_PHOTO_DIR;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-v")
      verbose = true;
    else if (a == "--large-only")
      largeOnly = true;
    else if (a == "--akaze")
      options.features = AlignFeatures::Akaze;
    else if (a == "--photo" && i + 1 < argc)
      only = argv[++i];
    else if (a == "--stacks" && i + 1 < argc)
      stacks = std::max(1, std::atoi(argv[++i]));
    else
      photoDir = a;
  }
  WorkDirectory work;
  std::string error;
  if (!work.Open("", error)) {
    std::fprintf(stderr, "align_bench: %s\n", error.c_str());
    return 1;
  }
  const QStringList names = QDir(QString::fromStdString(photoDir)).entryList({"*.jpg"}, QDir::Files, QDir::Name);
  std::printf("features: %s, %d stacks of 3 pictures per photograph (2 pairs each)\n",
              options.features == AlignFeatures::Akaze ? "AKAZE" : "SIFT", stacks);
  std::printf(
      "corner errors in parent pixels; times per pair: wall clock (median, max) and processor time of all\n"
      "threads (median)\n");
  std::printf("%-28s %5s %9s %6s %9s %9s %9s %9s %9s %9s\n", "photograph", "pairs", "no match", ">1 px", "median",
              "p95", "worst", "ms/pair", "ms max", "cpu ms");
  Row all("all related pairs");
  Row hinted("from a rough hint");
  auto add = [](Row& to, const Row& from) {
    to.errors.insert(to.errors.end(), from.errors.begin(), from.errors.end());
    to.times.insert(to.times.end(), from.times.begin(), from.times.end());
    to.cpu.insert(to.cpu.end(), from.cpu.begin(), from.cpu.end());
    to.pairs += from.pairs;
    to.noMatch += from.noMatch;
    to.wrong += from.wrong;
  };
  std::vector<std::vector<AlignStackPicture>> firsts;  // one stack per photograph, for the unrelated pairs
  std::vector<std::string> firstPaths;
  for (const QString& name : names) {
    if (!only.empty() && name.toStdString() != only) {
      firsts.emplace_back();  // the stacks' seeds stay those of the whole run
      firstPaths.emplace_back();
      continue;
    }
    const cv::Mat photo = largeOnly ? cv::Mat() : ReadPhoto(photoDir + "/" + name.toStdString());
    if (photo.empty()) continue;
    Row row(name.toStdString()), fromHint(name.toStdString() + " (hint)");
    for (int s = 0; s < stacks; ++s) {
      std::mt19937 random(1000u * static_cast<unsigned>(s) + static_cast<unsigned>(firsts.size()) + 1u);
      AlignStackOptions o;
      const auto stack = CutAlignStack(photo, o, random);
      std::vector<Pair> pairs;
      std::vector<AlignSource> sources;
      for (size_t k = 0; k < stack.size(); ++k)
        sources.push_back(
            Written(work.path() + "/" + name.toStdString() + "_" + std::to_string(s) + "_" + std::to_string(k) + ".jpg",
                    stack[k]));
      for (size_t k = 1; k < stack.size(); ++k) pairs.push_back({sources[k - 1], sources[k], stack[k]});
      Measure(row, pairs, options, true, false);
      Measure(fromHint, pairs, options, true, true);
      if (s == 0) {
        firsts.push_back(stack);
        firstPaths.push_back(sources[0].path);
      }
    }
    Print(row);
    Print(fromHint);
    add(all, row);
    add(hinted, fromHint);
  }
  Print(all);
  Print(hinted);

  // Unrelated: every photograph's first picture against every other's second.
  Row unrelated("unrelated pairs");
  std::vector<Pair> pairs;
  for (size_t a = 0; a < firsts.size(); ++a)
    for (size_t b = 0; b < firsts.size(); ++b)
      if (a != b && !firsts[a].empty() && firsts[b].size() > 1) {
        const std::string path = work.path() + "/unrelated_" + std::to_string(b) + ".jpg";
        AlignSource parent{firstPaths[a], {}, firsts[a][0].width, firsts[a][0].height};
        pairs.push_back({parent, Written(path, firsts[b][1]), firsts[b][1]});
      }
  Measure(unrelated, pairs, options, false, false);
  Print(unrelated);

  // 12-megapixel pairs (4000 x 3000), cut from the largest photograph (enlarged where needed).
  Row large("12 MP pairs");
  cv::Mat biggest;
  for (const QString& name : names) {
    cv::Mat p = ReadPhoto(photoDir + "/" + name.toStdString());
    if (!p.empty() && (biggest.empty() || p.total() > biggest.total())) biggest = p;
  }
  for (int s = 0; s < 3 && !biggest.empty(); ++s) {
    std::mt19937 random(77u + static_cast<unsigned>(s));
    AlignStackOptions o;
    o.pictures = 2;
    o.minSide = o.maxSide = 4000;
    o.aspect = 0.75;
    const auto stack = CutAlignStack(biggest, o, random);
    if (stack.size() < 2) continue;
    std::vector<AlignSource> sources;
    for (size_t k = 0; k < stack.size(); ++k)
      sources.push_back(
          Written(work.path() + "/large_" + std::to_string(s) + "_" + std::to_string(k) + ".jpg", stack[k]));
    std::vector<Pair> one{{sources[0], sources[1], stack[1]}};
    Measure(large, one, options, true, false);
  }
  Print(large);
  return 0;
}
