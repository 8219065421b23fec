#include "PictureCheck.h"

#include <algorithm>
#include <exception>

#include "JpegDecode.h"
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

}  // namespace

CheckedPicture CheckPicture(const std::string& path) { return CheckPicture(path, thumbnailSide); }

CheckedPicture CheckPicture(const std::string& path, int side, const std::atomic<bool>* cancel) {
  CheckedPicture checked;
  const FileIdentity before = IdentifyFile(path);
  PictureInfo info;
  RgbaPicture small;
  try {
    checked.fault = ReadPictureInfo(path, info);
    checked.kind = info.kind;
    checked.tooLarge = checked.fault == PictureFault::TooLarge;
    if (checked.fault != PictureFault::None) return checked;
    const int denominator = ScaleDenominatorFor(info.width, info.height, side);
    DecodeLimits limits;
    limits.cancel = cancel;
    // The thumbnail's copies (upright, reduced, RGB) are made while the decoded picture is held.
    const size_t sideBytes = static_cast<size_t>(std::max(1, side)) * static_cast<size_t>(std::max(1, side));
    limits.extraBytes = static_cast<size_t>(ScaledSide(info.width, denominator)) *
                            static_cast<size_t>(ScaledSide(info.height, denominator)) * 4 +
                        sideBytes * 7;
    MemoryHold hold;
    limits.hold = &hold;
    const DecodeResult result = DecodePictureRgba(path, denominator, small, limits);
    if (result != DecodeResult::Ok) {
      checked.tooLarge = result == DecodeResult::TooLarge;
      checked.fault = checked.tooLarge ? PictureFault::TooLarge : PictureFault::Damaged;
      return checked;
    }
    checked.thumbnail = Thumbnail(small, side);
    small = RgbaPicture();
  } catch (const std::bad_alloc&) {
    return CheckedPicture();
  }
  if (checked.thumbnail.isNull()) return CheckedPicture();
  checked.ok = true;
  checked.fault = PictureFault::None;
  checked.width = info.width;
  checked.height = info.height;
  // Only a file that stayed the same while it was read may stand for others with its identity.
  if (before.Known() && IdentifyFile(path) == before) checked.file = before;
  return checked;
}

PictureCheck::PictureCheck(std::vector<std::string> paths, int workers, std::function<void()> wake,
                           std::function<std::string(const std::string&)> relocate)
    : paths_(std::move(paths)), wake_(std::move(wake)), relocate_(std::move(relocate)) {
  size_t threads = workers > 0 ? static_cast<size_t>(workers) : std::max(1u, std::thread::hardware_concurrency());
  threads = std::min(threads, paths_.size());
  for (size_t k = 0; k < threads; ++k) workers_.emplace_back([this] { Worker(); });
}

PictureCheck::~PictureCheck() {
  stopping_ = true;
  for (std::thread& worker : workers_) worker.join();
}

void PictureCheck::Worker() {
  for (size_t i = next_++; i < paths_.size() && !stopping_; i = next_++) {
    std::string moved;
    if (relocate_) {
      try {
        moved = relocate_(paths_[i]);
      } catch (const std::exception&) {
        moved.clear();  // out of memory: the named file is checked
      }
    }
    CheckedPicture checked = CheckOnce(moved.empty() ? paths_[i] : moved);
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

CheckedPicture PictureCheck::CheckOnce(const std::string& path) {
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
  if (!mine) return CheckPicture(path, thumbnailSide, &stopping_);  // the file changed under the other check
  CheckedPicture checked;
  try {
    checked = CheckPicture(path, thumbnailSide, &stopping_);
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
