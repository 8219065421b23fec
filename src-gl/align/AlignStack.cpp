#include "AlignStack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "Affine.h"
#include "Imagestack.h"

namespace {

// The largest scale a seam is taken at (a zoom of about 5 % a pass).
constexpr float maxSeamScale = 0.95f;

// An answer whose corners lie this close to the placement the child had (in the parent's
// pixels) changes nothing anyone could see: the placement stays, to the last digit.
constexpr double unchangedMove = 0.25;
// What an answer must gain over the placement the child had, both measured where they stand,
// before it replaces it: less local disagreement by this many parent pixels, or a correlation
// higher by this much.
constexpr double betterResidual = 0.25;
constexpr double betterCorrelation = 0.01;

bool SameFile(const Image& a, const Image& b) {
  if (!a.loaded || !b.loaded) return false;
  if (a.Key() == b.Key()) return true;
  // One file under two names (a link, another spelling of the path).
  return a.file.Known() && b.file.Known() && a.file.device == b.file.device && a.file.inode == b.file.inode;
}

struct Descriptor {
  int fd = -1;
  explicit Descriptor(const std::string& path)
      : fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
};

// Fills `buffer` from `fd` unless the file ends or fails first.
bool ReadFully(int fd, std::vector<char>& buffer) {
  size_t got = 0;
  while (got < buffer.size()) {
    const ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// Whether two regular files hold the same bytes: a copy of a picture under another name.
bool SameBytes(const std::string& a, const std::string& b, const std::atomic<bool>* cancel) {
  // Opened without waiting (a FIFO put in a picture's place has no writer).
  const Descriptor fa(a), fb(b);
  struct stat sa = {};
  struct stat sb = {};
  if (fa.fd < 0 || fb.fd < 0 || ::fstat(fa.fd, &sa) != 0 || ::fstat(fb.fd, &sb) != 0) return false;
  if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size) return false;
  if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) return true;
  constexpr off_t block = 1 << 20;
  std::vector<char> ba, bb;
  for (off_t left = sa.st_size; left > 0; left -= block) {
    if (cancel && cancel->load()) return false;
    ba.resize(static_cast<size_t>(std::min(left, block)));
    bb.resize(ba.size());
    if (!ReadFully(fa.fd, ba) || !ReadFully(fb.fd, bb) || ba != bb) return false;
  }
  return true;
}

bool SamePixels(const AlignSource& a, const AlignSource& b, const std::atomic<bool>* cancel) {
  if (!a.path.empty() && !b.path.empty()) return SameBytes(a.path, b.path, cancel);
  return a.path.empty() && b.path.empty() && !a.pixels.isNull() && a.pixels == b.pixels;
}

// How far the child's corners move between two placements, in the parent's pixels.
double CornerMove(const Transform& from, const Transform& to, const AlignTask& t) {
  const Extents e = ElementExtents(t.child.width, t.child.height);
  const Affine a = Affine::Placement(from), b = Affine::Placement(to);
  double worst = 0;
  for (const auto& [x, y] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
    double ax, ay, bx, by;
    a.Map(x * e.ex / 2.0, y * e.ey / 2.0, ax, ay);
    b.Map(x * e.ex / 2.0, y * e.ey / 2.0, bx, by);
    worst = std::max(worst, std::hypot(ax - bx, ay - by));
  }
  return worst * std::max(t.parent.width, t.parent.height);
}

AlignResult KeptAs(const AlignTask& t, const char* why, const PlacementMeasure* measure = nullptr) {
  AlignResult kept;
  kept.status = AlignStatus::Kept;
  kept.transform = t.current;
  kept.fromHint = true;
  kept.why = why;
  if (measure) {
    kept.confidence = measure->confidence;
    kept.correlation = measure->correlation;
    kept.residual = measure->residual;
  }
  return kept;
}

// The answer against the placement the child had, each measured where it stands: the answer
// replaces it only when it is clearly better, and when nothing was found the placement it had
// stays as a good one if it holds on its own.
AlignResult KeepOrReplace(const AlignTask& t, AlignResult r, const std::atomic<bool>* cancel,
                          const AlignOptions& options) {
  if (!t.hinted || t.guessed || (r.status != AlignStatus::Aligned && r.status != AlignStatus::NoMatch)) return r;
  const bool found = r.status == AlignStatus::Aligned;
  if (found && CornerMove(t.current, r.transform, t) < unchangedMove) {
    AlignResult kept = KeptAs(t, "the placement it had is as good");
    // What was found is the same placement to a fraction of a pixel: its measure is this one's.
    kept.confidence = r.confidence;
    kept.correlation = r.correlation;
    kept.residual = r.residual;
    kept.matches = r.matches;
    return kept;
  }
  std::vector<Transform> placements{t.current};
  if (found) placements.push_back(r.transform);
  bool readable = true;
  const std::vector<PlacementMeasure> m = MeasurePlacements(t.parent, t.child, placements, cancel, readable, options);
  if (cancel && cancel->load()) {
    r.status = AlignStatus::Cancelled;
    return r;
  }
  const PlacementMeasure& had = m[0];
  if (!had.holds) return r;
  if (!found) return KeptAs(t, "the placement it had holds, and nothing better was found", &had);
  const PlacementMeasure& now = m[1];
  const bool better = now.measured && (now.residual < had.residual - betterResidual ||
                                       now.correlation > had.correlation + betterCorrelation);
  return better ? r : KeptAs(t, "the placement it had is as good", &had);
}

// Nothing in a picture's pixels says where it lies inside itself: it matches itself whole. The
// placement someone gave it stays; without one there is none to give.
AlignResult SamePicture(const AlignTask& t) {
  if (t.hinted && !t.guessed) return KeptAs(t, "same picture as its parent");
  AlignResult none;
  none.why = "the same picture as its parent";
  return none;
}

AlignResult AlignTaskPair(const AlignTask& t, const std::atomic<bool>* cancel, AlignOptions options) {
  if (!t.seam && (t.samePicture || SamePixels(t.parent, t.child, cancel))) return SamePicture(t);
  if (t.seam) options.maxScale = maxSeamScale;
  AlignResult r = AlignPictures(t.parent, t.child, t.hinted ? &t.current : nullptr, cancel, options);
  if (!t.seam && r.status == AlignStatus::NoMatch && r.whole) return SamePicture(t);
  // The seam must lead inward: a first picture found about as large as the last, or larger,
  // would make a zoom that hardly goes anywhere, and is what a picture that holds itself gives
  // when it matches itself whole.
  if (t.seam && r.status == AlignStatus::Aligned && !(r.transform.scale < maxSeamScale)) {
    r.status = AlignStatus::NoMatch;
    r.why = "the first picture was not found inside the last";
  }
  return KeepOrReplace(t, std::move(r), cancel, options);
}

}  // namespace

bool IsUnplaced(const Transform& t) {
  return t.scale == 1.0f && t.translateX == 0.0f && t.translateY == 0.0f && t.rotate == 0.0f;
}

std::vector<AlignTask> AlignTasks(const ImageStack& stack, int child) {
  std::vector<AlignTask> tasks;
  const int pictures = stack.pictureCount();
  // An endless project's seam is aligned as a picture: its child is the target frame, which
  // shows the first picture.
  const bool endless = stack.playSettings.play == PlayMode::Endless && pictures >= 1;
  const int lastChild = endless ? pictures : pictures - 1;
  const int first = child < 0 ? 1 : child, last = child < 0 ? lastChild : child;
  if (child > lastChild || child == 0) return tasks;
  for (int c = first; c <= last; ++c) {
    AlignTask t;
    t.element = c;
    t.seam = c == pictures;
    t.childId = stack.images[static_cast<size_t>(c)]->id;
    t.parentId = stack.images[static_cast<size_t>(c - 1)]->id;
    t.parent = AlignSource::Of(*stack.images[static_cast<size_t>(c - 1)]);
    t.child = AlignSource::Of(*stack.images[t.seam ? size_t(0) : static_cast<size_t>(c)]);
    t.current = stack.images[static_cast<size_t>(c)]->transform;
    t.hinted = !IsUnplaced(t.current);
    t.samePicture =
        !t.seam && SameFile(*stack.images[static_cast<size_t>(c - 1)], *stack.images[static_cast<size_t>(c)]);
    tasks.push_back(std::move(t));
  }
  return tasks;
}

std::vector<AlignResult> RunAlignTasks(const std::vector<AlignTask>& tasks,
                                       const std::function<void(int, int)>& progress,
                                       const std::function<void(int, const AlignResult&)>& finished,
                                       const std::atomic<bool>* cancel, const AlignOptions& options) {
  std::vector<AlignResult> results(tasks.size());
  const int total = static_cast<int>(tasks.size());
  for (int i = 0; i < total; ++i) {
    if (progress) progress(i, total);
    if (cancel && cancel->load()) {
      for (int j = i; j < total; ++j) results[static_cast<size_t>(j)].status = AlignStatus::Cancelled;
      return results;
    }
    AlignResult& r = results[static_cast<size_t>(i)];
    r = AlignTaskPair(tasks[static_cast<size_t>(i)], cancel, options);
    if (r.status == AlignStatus::Cancelled) {
      for (int j = i + 1; j < total; ++j) results[static_cast<size_t>(j)].status = AlignStatus::Cancelled;
      return results;
    }
    if (finished) finished(i, r);
  }
  if (progress) progress(total, total);
  return results;
}
