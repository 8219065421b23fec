#pragma once
// Checking picture files once when a project opens: each file's kind and header for its size, and
// a decode at the smallest scale that still gives the thumbnail (which reads all of the data and
// so finds damage). Done on worker threads in list order, so the pictures the zoom shows
// first are ready first, while the caller goes on; results are applied on the caller's thread.
// A file listed several times (a stack that repeats one picture) is decoded once: the pictures
// naming it get one result, and one thumbnail between them. A caller that draws the pictures at
// once (the command line) says, from their headers, at what size it needs each: the check then
// decodes at that size, makes the thumbnail from it and keeps the decode for the texture
// (KeptDecode.h), so each file is decoded once.

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "KeptDecode.h"
#include "PictureDecode.h"
#include "PictureKey.h"

struct CheckedPicture {
  bool ok = false;  // a whole, undamaged picture of a kind the program draws
  // Not ok because the picture is larger than the program decodes (its declared size, or the
  // memory its decode needs: see DecodeMemory.h), not because it is damaged.
  bool tooLarge = false;
  PictureKind kind = PictureKind::None;        // what the file's first bytes say it is
  PictureFault fault = PictureFault::Missing;  // None when ok
  int width = 0;                               // full size from the header (when ok)
  int height = 0;
  QImage thumbnail;  // RGB888, longer side at most `thumbnailSide` (when ok)
  // The file checked in place of the one named, which did not exist; empty: the one named.
  std::string foundPath;
  // The file as it was throughout the check (when ok); unknown when it changed meanwhile.
  FileIdentity file;
  // The decode made at the size a texture needs (when asked for and kept); null otherwise.
  std::shared_ptr<KeptDecode> kept;
};

// Given every picture's header (kind None and size 0 x 0 where it could not be read), the longer
// side in pixels each picture is about to be drawn at (0 or less: none beyond the thumbnail).
using NeededSides = std::function<std::vector<int>(const std::vector<PictureInfo>& headers)>;

// Checks one file (any thread).
CheckedPicture CheckPicture(const std::string& path);
// The same with a thumbnail whose longer side is at most `side` instead of `thumbnailSide`;
// `cancel` raised stops the decode soon (the result is then not ok).
CheckedPicture CheckPicture(const std::string& path, int side, const std::atomic<bool>* cancel = nullptr);
// The same, decoding at the scale a texture whose longer side is `neededSide` would be decoded at
// when that is larger than the thumbnail's; the decode is then kept in `kept` when `mayKeep`
// agrees to its bytes.
CheckedPicture CheckPicture(const std::string& path, int side, const std::atomic<bool>* cancel, int neededSide,
                            const std::function<bool(size_t bytes)>& mayKeep);

class PictureCheck {
 public:
  // Starts checking `paths` on `workers` threads (0: one per core). `wake` is called on a worker
  // thread when results are waiting and the last wake-up has been answered by Take().
  // `relocate`, on a worker thread before each check, gives the file to check in place of the
  // path it is given, or empty to check that path.
  // `needed`, when given, is asked once every header has been read (on a worker thread), before
  // any picture is decoded.
  explicit PictureCheck(std::vector<std::string> paths, int workers = 0, std::function<void()> wake = {},
                        std::function<std::string(const std::string&)> relocate = {}, NeededSides needed = {});
  // Cancels: a decode in hand stops at once (libjpeg looks at the flag between rows of MCUs),
  // the workers return, and this returns.
  ~PictureCheck();
  PictureCheck(const PictureCheck&) = delete;
  PictureCheck& operator=(const PictureCheck&) = delete;

  size_t Total() const { return paths_.size(); }
  // Files checked so far, taken or not.
  size_t Checked() const { return checked_.load(); }
  bool Finished() const { return Checked() == Total(); }
  // The results finished since the last call, as (index in the list, result).
  std::vector<std::pair<size_t, CheckedPicture>> Take();
  // Blocks until every file is checked.
  void Wait();

 private:
  void Worker();
  // The first step when sides are needed: every header read (and every moved picture found), then
  // the sides asked for by the last worker to finish, while the others wait. False when stopping.
  bool ReadHeaders();
  // The file to check in place of paths_[i] (empty: that one).
  std::string Relocated(size_t i);
  // The check of `path`, or that of a file with the same identity that another worker made or is
  // making.
  CheckedPicture CheckOnce(const std::string& path, int neededSide);
  bool MayKeep(size_t bytes);

  // One file's check, shared by every place in the list that names it.
  struct SharedCheck {
    bool done = false;
    bool usable = false;  // the result is that of the identity it is filed under
    CheckedPicture result;
  };

  const std::vector<std::string> paths_;
  std::function<void()> wake_;
  std::function<std::string(const std::string&)> relocate_;
  NeededSides needed_;
  // With `needed_`: the headers, the files found in the named ones' place, the sides; the workers
  // that have read their share of the headers, and whether the sides are known.
  std::vector<PictureInfo> headers_;
  std::vector<std::string> moved_;
  std::vector<int> sides_;
  std::atomic<size_t> nextHeader_{0};
  size_t workerCount_ = 0;
  size_t headersDone_ = 0;
  bool planned_ = false;
  std::condition_variable planReady_;
  // Kept decodes take at most half the decode memory between them.
  std::atomic<size_t> keptBytes_{0};
  std::atomic<size_t> next_{0};
  std::atomic<size_t> checked_{0};
  std::atomic<bool> stopping_{false};
  std::mutex lock_;
  std::condition_variable allChecked_;
  std::vector<std::pair<size_t, CheckedPicture>> results_;
  bool wakePending_ = false;
  std::unordered_map<FileIdentity, std::shared_ptr<SharedCheck>, FileIdentityHash> shared_;
  std::condition_variable sharedDone_;
  std::vector<std::thread> workers_;
};
