#include "PictureCheck.h"

#include <algorithm>
#include <exception>

#include "JpegDecode.h"
#include "PictureFormats.h"
#include "image.h"

namespace {

// A top-down RGB888 copy of a bottom-up RGBA picture, shrunk to `side`.
QImage Thumbnail(const RgbaPicture& picture, int side) {
  QImage rgba(picture.rgba.data(), picture.width, picture.height, picture.width * 4, QImage::Format_RGBA8888);
  QImage upright = rgba.mirrored(false, true);
  if (picture.width > side || picture.height > side)
    upright = upright.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return upright.convertToFormat(QImage::Format_RGB888);
}

// The picture reduced by a box of factor x factor pixels, counted from its top-left corner as a
// DCT scale is: a decode at a larger scale brought to the thumbnail's scale.
RgbaPicture BoxReduced(const RgbaPicture& picture, int factor) {
  RgbaPicture out;
  out.width = ScaledSide(picture.width, factor);
  out.height = ScaledSide(picture.height, factor);
  out.rgba.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 4);
  std::vector<uint32_t> sums(static_cast<size_t>(out.width) * 4, 0u);
  const size_t stride = static_cast<size_t>(picture.width) * 4, outStride = static_cast<size_t>(out.width) * 4;
  uint32_t rows = 0;
  int outRow = 0;
  for (int y = 0; y < picture.height; ++y) {  // from the top; rows are stored bottom-up
    AddBoxRow(picture.rgba.data() + static_cast<size_t>(picture.height - 1 - y) * stride,
              static_cast<uint32_t>(picture.width), factor, sums.data());
    if (++rows == static_cast<uint32_t>(factor) || y == picture.height - 1) {
      EmitBoxRow(sums.data(), static_cast<uint32_t>(picture.width), factor, rows,
                 out.rgba.data() + static_cast<size_t>(out.height - 1 - outRow) * outStride,
                 static_cast<uint32_t>(out.width));
      rows = 0;
      ++outRow;
    }
  }
  return out;
}

}  // namespace

CheckedPicture CheckPicture(const std::string& path) { return CheckPicture(path, thumbnailSide); }

CheckedPicture CheckPicture(const std::string& path, int side, const std::atomic<bool>* cancel) {
  return CheckPicture(path, side, cancel, 0, {});
}

CheckedPicture CheckPicture(const std::string& path, int side, const std::atomic<bool>* cancel, int neededSide,
                            const std::function<bool(size_t bytes)>& mayKeep) {
  CheckedPicture checked;
  const FileIdentity before = IdentifyFile(path);
  PictureInfo info;
  RgbaPicture small;
  try {
    checked.fault = ReadPictureInfo(path, info);
    checked.kind = info.kind;
    checked.tooLarge = checked.fault == PictureFault::TooLarge;
    if (checked.fault != PictureFault::None) return checked;
    const int thumbnailDenominator = ScaleDenominatorFor(info.width, info.height, side);
    int denominator = thumbnailDenominator;
    if (neededSide > side)
      denominator = std::min(denominator, ScaleDenominatorFor(info.width, info.height, neededSide));
    const bool larger = denominator < thumbnailDenominator;
    DecodeLimits limits;
    limits.cancel = cancel;
    // The thumbnail's copies (upright, reduced, RGB) are made while the decoded picture is held;
    // from a larger decode, its box reduction to the thumbnail's scale first.
    const size_t sideBytes = static_cast<size_t>(std::max(1, side)) * static_cast<size_t>(std::max(1, side));
    limits.extraBytes = static_cast<size_t>(ScaledSide(info.width, thumbnailDenominator)) *
                            static_cast<size_t>(ScaledSide(info.height, thumbnailDenominator)) * 4 * (larger ? 2 : 1) +
                        sideBytes * 7;
    MemoryHold hold;
    limits.hold = &hold;
    const DecodeResult result = DecodePictureRgba(path, denominator, small, limits);
    if (result != DecodeResult::Ok) {
      checked.tooLarge = result == DecodeResult::TooLarge;
      checked.fault = checked.tooLarge ? PictureFault::TooLarge : PictureFault::Damaged;
      return checked;
    }
    if (larger) {
      checked.thumbnail = Thumbnail(BoxReduced(small, thumbnailDenominator / denominator), side);
      const size_t bytes = small.bytes();
      if (mayKeep && mayKeep(bytes)) {
        hold.ShrinkTo(bytes);
        checked.kept = KeptDecode::Keep(std::move(small), denominator, std::move(hold), SharedDecodeMemory());
      }
    } else {
      checked.thumbnail = Thumbnail(small, side);
    }
    small = RgbaPicture();
  } catch (const std::bad_alloc&) {
    return CheckedPicture();
  }
  if (checked.thumbnail.isNull()) return CheckedPicture();  // (a kept decode goes with it)
  checked.ok = true;
  checked.fault = PictureFault::None;
  checked.width = info.width;
  checked.height = info.height;
  // Only a file that stayed the same while it was read may stand for others with its identity.
  if (before.Known() && IdentifyFile(path) == before) checked.file = before;
  if (!checked.file.Known()) checked.kept.reset();  // the texture reads the file as it is now
  return checked;
}

PictureCheck::PictureCheck(std::vector<std::string> paths, int workers, std::function<void()> wake,
                           std::function<std::string(const std::string&)> relocate, NeededSides needed)
    : paths_(std::move(paths)), wake_(std::move(wake)), relocate_(std::move(relocate)), needed_(std::move(needed)) {
  size_t threads = workers > 0 ? static_cast<size_t>(workers) : std::max(1u, std::thread::hardware_concurrency());
  threads = std::min(threads, paths_.size());
  if (needed_) {
    headers_.resize(paths_.size());
    moved_.resize(paths_.size());
  }
  workerCount_ = threads;
  for (size_t k = 0; k < threads; ++k) workers_.emplace_back([this] { Worker(); });
}

PictureCheck::~PictureCheck() {
  stopping_ = true;
  {
    std::lock_guard<std::mutex> hold(lock_);  // a worker between its test and its wait sees it
  }
  planReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

std::string PictureCheck::Relocated(size_t i) {
  if (!relocate_) return std::string();
  try {
    return relocate_(paths_[i]);
  } catch (const std::exception&) {
    return std::string();  // out of memory: the named file is checked
  }
}

bool PictureCheck::ReadHeaders() {
  for (size_t i = nextHeader_++; i < paths_.size() && !stopping_; i = nextHeader_++) {
    moved_[i] = Relocated(i);
    PictureInfo info;
    if (ReadPictureInfo(moved_[i].empty() ? paths_[i] : moved_[i], info) != PictureFault::None) info = PictureInfo();
    headers_[i] = info;
  }
  std::unique_lock<std::mutex> hold(lock_);
  if (++headersDone_ < workerCount_) {
    planReady_.wait(hold, [this] { return planned_ || stopping_; });
    return !stopping_;
  }
  hold.unlock();
  std::vector<int> sides;
  if (!stopping_) {
    try {
      sides = needed_(headers_);
    } catch (const std::exception&) {
      sides.clear();  // the thumbnails' scale for all
    }
  }
  // A file named several times is decoded once, at the largest size any of its places needs.
  if (sides.size() == paths_.size()) {
    std::unordered_map<std::string, int> largest;
    for (size_t i = 0; i < sides.size(); ++i) {
      int& side = largest[moved_[i].empty() ? paths_[i] : moved_[i]];
      side = std::max(side, sides[i]);
    }
    for (size_t i = 0; i < sides.size(); ++i) sides[i] = largest[moved_[i].empty() ? paths_[i] : moved_[i]];
  }
  hold.lock();
  sides_ = std::move(sides);
  planned_ = true;
  hold.unlock();
  planReady_.notify_all();
  return !stopping_;
}

bool PictureCheck::MayKeep(size_t bytes) {
  const size_t limit = SharedDecodeMemory().Capacity() / 2;
  size_t kept = keptBytes_.load();
  while (kept + bytes <= limit)
    if (keptBytes_.compare_exchange_weak(kept, kept + bytes)) return true;
  return false;
}

void PictureCheck::Worker() {
  if (needed_ && !ReadHeaders()) return;
  for (size_t i = next_++; i < paths_.size() && !stopping_; i = next_++) {
    std::string moved = needed_ ? std::move(moved_[i]) : Relocated(i);
    const int side = i < sides_.size() ? sides_[i] : 0;
    CheckedPicture checked = CheckOnce(moved.empty() ? paths_[i] : moved, side);
    checked.foundPath = std::move(moved);
    bool wake = false;
    {
      std::lock_guard<std::mutex> hold(lock_);
      results_.emplace_back(i, std::move(checked));
      ++checked_;
      wake = !wakePending_;
      wakePending_ = true;
    }
    allChecked_.notify_all();
    if (wake && wake_) wake_();
  }
}

CheckedPicture PictureCheck::CheckOnce(const std::string& path, int neededSide) {
  const auto mayKeep = [this](size_t bytes) { return MayKeep(bytes); };
  const FileIdentity file = IdentifyFile(path);
  if (!file.Known()) return CheckPicture(path, thumbnailSide, &stopping_);  // missing: nothing to share
  std::shared_ptr<SharedCheck> shared;
  bool mine = false;
  {
    std::unique_lock<std::mutex> hold(lock_);
    auto [it, first] = shared_.try_emplace(file);
    if (first) it->second = std::make_shared<SharedCheck>();
    shared = it->second;
    mine = first;
    if (!mine) {
      // The worker checking the file files its result even when cancelled, so this wait ends.
      sharedDone_.wait(hold, [&shared] { return shared->done; });
      if (shared->usable) return shared->result;
    }
  }
  // the file changed under the other check
  if (!mine) return CheckPicture(path, thumbnailSide, &stopping_, neededSide, mayKeep);
  CheckedPicture checked;
  try {
    checked = CheckPicture(path, thumbnailSide, &stopping_, neededSide, mayKeep);
  } catch (const std::exception&) {
    checked = CheckedPicture();
  }
  // A damaged file fails the same way for every place that names it; a cancelled check or a file
  // that changed meanwhile stands for no one else.
  const bool usable = checked.ok ? checked.file == file : !stopping_ && IdentifyFile(path) == file;
  {
    std::lock_guard<std::mutex> hold(lock_);
    shared->done = true;
    shared->usable = usable;
    if (usable) shared->result = checked;
  }
  sharedDone_.notify_all();
  return checked;
}

std::vector<std::pair<size_t, CheckedPicture>> PictureCheck::Take() {
  std::lock_guard<std::mutex> hold(lock_);
  wakePending_ = false;
  return std::exchange(results_, {});
}

void PictureCheck::Wait() {
  std::unique_lock<std::mutex> hold(lock_);
  allChecked_.wait(hold, [this] { return checked_.load() == paths_.size(); });
}
