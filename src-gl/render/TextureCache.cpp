#include "TextureCache.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>
#include <unordered_set>

#include "TextureImage.h"
#include "image.h"

namespace {

// Uploads in flight beyond this many wait: finished levels that the GL thread has not taken yet
// must not pile up in memory.
const size_t maxWaitingResults = 4;

RgbaPicture FromRgb888(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  RgbaPicture out;
  out.width = rgb.width();
  out.height = rgb.height();
  out.rgba.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
  for (int y = 0; y < out.height; ++y) {
    const uint8_t* from = rgb.constScanLine(y);
    uint8_t* to = out.rgba.data() + static_cast<size_t>(out.height - 1 - y) * static_cast<size_t>(out.width) * 4;
    for (int x = 0; x < out.width; ++x, from += 3, to += 4) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      to[3] = 255;
    }
  }
  return out;
}

// Level 0 with its faded border, then its mipmaps.
std::vector<RgbaPicture> LevelsOf(RgbaPicture base) {
  ApplyEdgeFade(base);
  std::vector<RgbaPicture> levels = BuildMipChain(base);
  levels.insert(levels.begin(), std::move(base));
  return levels;
}

size_t BytesOf(const std::vector<RgbaPicture>& levels) {
  size_t bytes = 0;
  for (const RgbaPicture& level : levels) bytes += level.bytes();
  return bytes;
}

int PowerOfTwoAtLeast(double size) {
  int p = 1;
  while (p < size && p < (1 << 30)) p *= 2;
  return p;
}

}  // namespace

GLuint NewTexture(GLint magFilter, GLint minFilter) {
  GLuint id = 0;
  glGenTextures(1, &id);
  glBindTexture(GL_TEXTURE_2D, id);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
  return id;
}

TextureCache::TextureCache(size_t budgetBytes, int textureLimit, int workers, DecodeMemory* memory)
    : budget_(budgetBytes), limit_(std::max(1, textureLimit)), memory_(memory ? memory : &SharedDecodeMemory()) {
  for (int i = 0; i < std::max(1, workers); ++i) workers_.emplace_back([this] { Worker(); });
}

TextureCache::~TextureCache() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
    queue_.clear();
  }
  cancel_ = true;
  wakeWorkers_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void TextureCache::SetWakeUp(std::function<void()> wake) {
  std::lock_guard<std::mutex> hold(lock_);
  wake_ = std::move(wake);
}

std::string TextureCache::TakeMessage() { return std::exchange(message_, std::string()); }

void TextureCache::BeginFrame() {
  ++frame_;
  // Requests of earlier frames that no worker has started are dropped: whatever is still needed
  // is asked for again, in this frame's order.
  std::lock_guard<std::mutex> hold(lock_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (it->frame < frame_ && !it->urgent) {
      auto entry = entries_.find(it->key);
      if (entry != entries_.end() && entry->second.pendingSide == it->side) entry->second.pendingSide = 0;
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
}

int TextureCache::LevelSideFor(const Image& image, double wantedSide) const {
  const int full = std::max(image.width, image.height);
  const int small = std::max(image.bitmap.width(), image.bitmap.height());
  if (!image.loaded || full <= small || wantedSide <= small) return 0;
  int side;
  if (image.source.isNull()) {
    const int denominator = ScaleDenominatorFor(image.width, image.height, static_cast<int>(std::ceil(wantedSide)));
    side = ScaledSide(full, denominator);
  } else {
    side = std::min(full, PowerOfTwoAtLeast(wantedSide));
  }
  side = std::min(side, limit_);
  // No one level may take more than half the budget (four bytes a texel, a third more for the
  // mipmaps).
  const double aspect = static_cast<double>(std::min(image.width, image.height)) / full;
  while (side > small && static_cast<double>(side) * side * aspect * 4 * 4 / 3 > budget_ / 2.0) side /= 2;
  auto it = entries_.find(image.Key());
  if (it != entries_.end() && it->second.failedSide > 0)
    while (side >= it->second.failedSide) side /= 2;
  return side > small ? side : 0;
}

const TextureLevel* TextureCache::Use(const Image& image, double wantedSide, bool urgent) {
  PictureKey key = image.Key();
  Entry& entry = entries_[key];
  entry.lastUsed = frame_;
  if (entry.small.id == 0 && !image.bitmap.isNull()) MakeSmall(image, entry);

  const int side = LevelSideFor(image, wantedSide);
  // A picture seen small (zooming out) keeps its large level only while the budget allows.
  if (side > 0) entry.largeUsed = frame_;
  if (side > entry.largeSide && side > entry.pendingSide) {
    const bool queued = entry.pendingSide > 0;
    entry.pendingSide = side;
    Ask(std::move(key), image, side, urgent, queued);
  }
  if (entry.large.id != 0) return &entry.large;
  if (entry.small.id != 0) return &entry.small;
  return nullptr;
}

void TextureCache::Ask(PictureKey key, const Image& image, int side, bool urgent, bool queued) {
  // The scale whose output is at least `side`: LevelSideFor chose `side` from these scales, or
  // capped it, and then the picture is reduced further after decoding.
  const int denominator = image.source.isNull() ? ScaleDenominatorFor(image.width, image.height, side) : 1;
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto waiting = queue_.end();
    if (queued) waiting = std::find_if(queue_.begin(), queue_.end(), [&key](const Request& r) { return r.key == key; });
    if (waiting != queue_.end()) {
      waiting->side = side;
      waiting->denominator = denominator;
      waiting->frame = frame_;
      if (!waiting->kept && image.source.isNull()) waiting->kept = image.kept;
      if (urgent && !waiting->urgent) {
        Request request = std::move(*waiting);
        request.urgent = true;
        queue_.erase(waiting);
        queue_.push_front(std::move(request));
        ++urgentWaiting_;
      }
    } else {
      Request request{std::move(key), {},          image.source, {},     image.width,
                      image.height,   denominator, side,         urgent, frame_};
      if (image.source.isNull()) {
        request.path = image.FullPath();
        request.kept = image.kept;
      }
      if (urgent) {
        queue_.push_front(std::move(request));
        ++urgentWaiting_;
      } else {
        queue_.push_back(std::move(request));
      }
    }
  }
  wakeWorkers_.notify_one();
}

void TextureCache::MakeSmall(const Image& image, Entry& entry) {
  RgbaPicture base = FromRgb888(image.bitmap);
  ReduceToFit(base, std::min(thumbnailSide, limit_));
  const std::vector<RgbaPicture> levels = LevelsOf(std::move(base));
  MakeRoom(BytesOf(levels), &entry);
  Upload(entry.small, levels);
}

void TextureCache::Worker() {
  for (;;) {
    Request request;
    {
      std::unique_lock<std::mutex> hold(lock_);
      wakeWorkers_.wait(hold, [this] { return stopping_ || (!queue_.empty() && results_.size() < maxWaitingResults); });
      if (stopping_) return;
      request = std::move(queue_.front());
      queue_.pop_front();
      ++running_;
    }
    Result result = Build(request);
    std::function<void()> wake;
    {
      std::lock_guard<std::mutex> hold(lock_);
      results_.push_back(std::move(result));
      --running_;
      wake = wake_;
    }
    resultReady_.notify_all();
    if (wake) wake();
  }
}

TextureCache::Result TextureCache::Build(const Request& request) {
  Result result{request.key, request.side, request.urgent, {}, MemoryHold(), MemoryHold()};
  // What the level needs besides the picture it is made from: the mipmaps (a third more) and,
  // when that picture is larger than the level, the halved copies (a third of it at most) and the
  // level itself.
  auto extraFor = [&request](int width, int height) {
    const size_t pictureBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    const int longer = std::max(width, height), shorter = std::min(width, height);
    if (longer <= request.side) return pictureBytes / 3 + 4096;
    const size_t levelShorter =
        static_cast<size_t>(std::max(1LL, static_cast<long long>(shorter) * request.side / std::max(1, longer)));
    const size_t levelBytes = static_cast<size_t>(request.side) * levelShorter * 4;
    return pictureBytes / 3 + levelBytes / 3 * 4 + 4096;
  };
  try {
    RgbaPicture base;
    bool ok;
    if (request.path.empty()) {
      const size_t bytes =
          static_cast<size_t>(request.source.width()) * static_cast<size_t>(request.source.height()) * 4 +
          extraFor(request.source.width(), request.source.height());
      ok = memory_->Reserve(bytes, &cancel_);
      if (ok) result.hold = MemoryHold(memory_, bytes);
      if (ok) base = FromRgb888(request.source);
      ok = ok && !base.empty();
    } else if (request.kept && request.kept->Take(request.denominator, base, result.keptHold)) {
      // Decoded by the check at this size or larger: only what is made of it is reserved.
      const size_t extra = extraFor(base.width, base.height);
      ok = memory_->Reserve(extra, &cancel_);
      if (ok) result.hold = MemoryHold(memory_, extra);
    } else {
      DecodeLimits limits;
      // The budget bounds what any header can make a decode allocate.
      limits.maxPixels = std::min<unsigned long long>(1ull << 28, budget_ / 4);
      limits.extraBytes =
          extraFor(ScaledSide(request.width, request.denominator), ScaledSide(request.height, request.denominator));
      limits.cancel = &cancel_;
      limits.memory = memory_;
      limits.hold = &result.hold;
      ok = DecodePictureRgba(request.path, request.denominator, base, limits) == DecodeResult::Ok;
    }
    if (ok) {
      ReduceToFit(base, request.side);
      result.levels = LevelsOf(std::move(base));
      const size_t bytes = BytesOf(result.levels);
      const size_t fromKept = std::min(result.keptHold.Bytes(), bytes);
      result.keptHold.ShrinkTo(fromKept);
      result.hold.ShrinkTo(bytes - fromKept);
    }
  } catch (const std::bad_alloc&) {
    result.levels.clear();
  }
  if (result.levels.empty()) {
    result.hold.Reset();
    result.keptHold.Reset();
  }
  return result;
}

bool TextureCache::Pump(double budgetMilliseconds) {
  std::vector<Result> done;
  {
    std::lock_guard<std::mutex> hold(lock_);
    done.swap(results_);
  }
  const auto start = std::chrono::steady_clock::now();
  bool changed = false;
  size_t taken = 0;
  for (; taken < done.size(); ++taken) {
    // An upload copies megabytes: past the budget the rest waits for the next call.
    if (budgetMilliseconds > 0 && taken > 0 &&
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() >
            budgetMilliseconds)
      break;
    Result& result = done[taken];
    auto it = entries_.find(result.key);
    if (it == entries_.end()) continue;  // no element shows it any more
    Entry& entry = it->second;
    if (entry.pendingSide == result.side) entry.pendingSide = 0;
    if (result.side <= entry.largeSide) continue;
    if (result.levels.empty()) {
      entry.failedSide = entry.failedSide > 0 ? std::min(entry.failedSide, result.side) : result.side;
      continue;
    }
    MakeRoom(BytesOf(result.levels), &entry);
    TextureLevel level;
    if (!Upload(level, result.levels)) {
      entry.failedSide = entry.failedSide > 0 ? std::min(entry.failedSide, result.side) : result.side;
      continue;
    }
    Free(entry.large);
    entry.large = level;
    entry.largeSide = result.side;
    changed = true;
  }
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (size_t i = 0; i < taken; ++i)
      if (done[i].urgent && urgentWaiting_ > 0) --urgentWaiting_;
    results_.insert(results_.begin(), std::make_move_iterator(done.begin() + static_cast<ptrdiff_t>(taken)),
                    std::make_move_iterator(done.end()));
  }
  if (taken > 0) wakeWorkers_.notify_all();
  return changed;
}

bool TextureCache::ResultsWaiting() {
  std::lock_guard<std::mutex> hold(lock_);
  return !results_.empty();
}

void TextureCache::WaitForUrgent() {
  for (;;) {
    Pump();
    std::unique_lock<std::mutex> hold(lock_);
    if (urgentWaiting_ == 0) return;
    resultReady_.wait_for(hold, std::chrono::milliseconds(20), [this] { return !results_.empty(); });
  }
}

bool TextureCache::Upload(TextureLevel& level, const std::vector<RgbaPicture>& levels) {
  while (glGetError() != GL_NO_ERROR) {
  }
  const GLuint id = NewTexture(GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels.size()) - 1);
  GLenum error = GL_NO_ERROR;
  for (size_t i = 0; i < levels.size() && error == GL_NO_ERROR; ++i) {
    glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, levels[i].width, levels[i].height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, levels[i].rgba.data());
    error = glGetError();
  }
  if (id == 0 || error != GL_NO_ERROR) {
    if (id != 0) glDeleteTextures(1, &id);
    if (!reportedOutOfMemory_) {
      reportedOutOfMemory_ = true;
      message_ =
          "The graphics memory could not hold some of the pictures at the resolution they are seen at.\n"
          "They are shown at a lower resolution.";
    }
    return false;
  }
  level.id = id;
  level.width = levels[0].width;
  level.height = levels[0].height;
  level.bytes = BytesOf(levels);
  resident_ += level.bytes;
  return true;
}

void TextureCache::Free(TextureLevel& level) {
  if (level.id != 0) {
    glDeleteTextures(1, &level.id);
    resident_ -= std::min(resident_, level.bytes);
  }
  level = TextureLevel();
}

void TextureCache::MakeRoom(size_t bytes, const Entry* keep) {
  // Large levels go first, then small ones (made again from the thumbnail when next drawn), each
  // the one used longest ago; what this frame draws stays.
  for (bool large : {true, false}) {
    while (resident_ + bytes > budget_) {
      Entry* oldest = nullptr;
      for (auto& [key, entry] : entries_) {
        const TextureLevel& level = large ? entry.large : entry.small;
        const uint64_t used = large ? entry.largeUsed : entry.lastUsed;
        if (&entry != keep && level.id != 0 && used < frame_ &&
            (!oldest || used < (large ? oldest->largeUsed : oldest->lastUsed)))
          oldest = &entry;
      }
      if (!oldest) break;
      if (large) {
        Free(oldest->large);
        oldest->largeSide = 0;
      } else {
        Free(oldest->small);
      }
    }
  }
}

void TextureCache::Release() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.clear();
    results_.clear();
    urgentWaiting_ = 0;
  }
  for (auto& [key, entry] : entries_) {
    Free(entry.small);
    Free(entry.large);
  }
  entries_.clear();
}

void TextureCache::Retain(const std::vector<const Image*>& alive) {
  std::unordered_set<PictureKey, PictureKeyHash> shown;
  for (const Image* image : alive) shown.insert(image->Key());
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (shown.count(it->first) == 0) {
      Free(it->second.small);
      Free(it->second.large);
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}
