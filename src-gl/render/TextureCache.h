#pragma once
// The textures of one GL context's pictures, within a byte budget.
//
// Every picture gets a small texture from its thumbnail as soon as it is drawn; pictures seen
// large get a level decoded at the size they need (a DCT scale of the file, capped by the GL
// limit), built on worker threads (decode, faded border, mipmaps) and uploaded here, on the GL
// thread, each level once. When the budget is passed, the large levels used longest ago go
// first. Entries are keyed by what names the pixels (PictureKey.h): elements that show the same
// file share one entry, so its levels are decoded, held and counted against the budget once; a
// reloaded picture whose file changed has another key and is built again.

#include <GL/gl.h>

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "JpegDecode.h"
#include "KeptDecode.h"
#include "PictureKey.h"

class Image;

// A new texture, bound, clamped at its edges, with these filters; rows of any length unpack.
GLuint NewTexture(GLint magFilter, GLint minFilter);

struct TextureLevel {
  GLuint id = 0;
  int width = 0;  // texels of level 0
  int height = 0;
  size_t bytes = 0;  // with the mipmap levels
};

class TextureCache {
 public:
  // `textureLimit`: the largest side a texture may have. `workers`: decoding threads. A level is
  // decoded and built in memory reserved from `memory` (null: SharedDecodeMemory()), which it
  // keeps until it is uploaded.
  TextureCache(size_t budgetBytes, int textureLimit, int workers, DecodeMemory* memory = nullptr);
  // Stops the workers (a decode in hand stops at once). Textures must have been released (with
  // the context current) before.
  ~TextureCache();
  TextureCache(const TextureCache&) = delete;
  TextureCache& operator=(const TextureCache&) = delete;

  // Called on a worker thread whenever a level is ready to upload (the editor asks for a repaint).
  void SetWakeUp(std::function<void()> wake);

  // A new frame: requests from now on are this frame's.
  void BeginFrame();
  // The texture to draw `image` with, asking for a level whose longer side is at least
  // `wantedSide` pixels (`urgent`: needed in this frame, else a prefetch). The best level
  // already resident is returned; null only when the picture has no pixels at all.
  const TextureLevel* Use(const Image& image, double wantedSide, bool urgent);
  // Asks for a level without drawing (prefetching along the direction of play).
  void Prefetch(const Image& image, double wantedSide) { Use(image, wantedSide, false); }

  // Uploads what the workers finished (GL thread). True when anything new became resident.
  // `budgetMilliseconds` > 0: stops uploading once that much time has passed (at least one
  // upload is made), so that an interactive view is never held up for long; the rest waits.
  bool Pump(double budgetMilliseconds = 0);
  // Finished levels not uploaded yet (a budgeted Pump left them).
  bool ResultsWaiting();
  // Blocks until every urgent request of this frame is resident or has failed, uploading as
  // results arrive (offscreen drawing: the same sharp frame on every run).
  void WaitForUrgent();

  // Deletes every texture (GL context current) and forgets every picture.
  void Release();
  // Forgets pictures that no element of `alive` shows (deleting their textures; context current).
  void Retain(const std::vector<const Image*>& alive);
  // Pictures with an entry (tests: elements that share a file share one).
  size_t Pictures() const { return entries_.size(); }

  // A message for the user when a level could not be uploaded (said once), then empty.
  std::string TakeMessage();

  size_t ResidentBytes() const { return resident_; }
  size_t Budget() const { return budget_; }
  int TextureLimit() const { return limit_; }
  // Tests use small limits to exercise reduction; 0 or less is ignored.
  void SetTextureLimit(int limit) {
    if (limit > 0) limit_ = limit;
  }
  // The side a level for this picture would have when `wantedSide` pixels are wanted.
  int LevelSideFor(const Image& image, double wantedSide) const;

 private:
  struct Entry {
    TextureLevel small;
    TextureLevel large;
    int largeSide = 0;       // longer side of `large`
    int pendingSide = 0;     // a job for this side is queued or running
    int failedSide = 0;      // a level of this side or more could not be made: ask for less
    uint64_t lastUsed = 0;   // the last frame that drew the picture
    uint64_t largeUsed = 0;  // the last frame that wanted more than the small texture
  };
  void Worker();
  // Queues the level `side` of the picture `image` shows. When a request for that picture still
  // waits for a worker (`queued`: another element showing it smaller asked first), that one asks
  // for this side instead, so a frame that shows the picture at several sizes decodes it once.
  void Ask(PictureKey key, const Image& image, int side, bool urgent, bool queued);
  void MakeSmall(const Image& image, Entry& entry);
  bool Upload(TextureLevel& level, const std::vector<RgbaPicture>& levels);
  void Free(TextureLevel& level);
  void MakeRoom(size_t bytes, const Entry* keep);

  size_t budget_;
  int limit_;
  size_t resident_ = 0;
  uint64_t frame_ = 1;
  std::unordered_map<PictureKey, Entry, PictureKeyHash> entries_;
  bool reportedOutOfMemory_ = false;

  // Shared with the workers.
  struct Request {
    PictureKey key;
    std::string path;  // the file to decode; empty: `source` holds the pixels
    QImage source;
    std::shared_ptr<KeptDecode> kept;  // the file decoded by its check at this size, when kept
    int width, height;                 // the picture's full size
    int denominator;
    int side;
    bool urgent;
    uint64_t frame;
  };
  struct Result {
    PictureKey key;
    int side;
    bool urgent;
    std::vector<RgbaPicture> levels;  // empty: the level could not be made
    MemoryHold hold;                  // the levels' share of the decode memory, until uploaded
    MemoryHold keptHold;              // the same, of what a kept decode held
  };
  Result Build(const Request& request);
  // What an upload failure means for the user, said once per cache.
  std::string message_;
  std::mutex lock_;
  std::condition_variable wakeWorkers_;
  std::condition_variable resultReady_;
  std::deque<Request> queue_;
  std::vector<Result> results_;
  size_t urgentWaiting_ = 0;
  int running_ = 0;
  bool stopping_ = false;
  std::atomic<bool> cancel_{false};  // raised when stopping: decodes in hand stop
  DecodeMemory* memory_;
  std::function<void()> wake_;
  std::vector<std::thread> workers_;
};
