#include "BenchPictures.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QImageWriter>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <system_error>

#include "JpegDecode.h"
#include "SafeFile.h"

namespace {

// The colour photographs of the corpus that are at least 1024 x 768.
const char* const cropSources[] = {"Wood.jpg", "plasma-Path-2560x1600.jpg", "Storm.jpg", "GreenMeadow.jpg"};

struct LargeSize {
  int width, height;
  const char* source;
};
// Common camera sizes of about 5, 9, 15, 20 and 24 megapixels.
const LargeSize largeSizes[] = {{2560, 1920, "Wood.jpg"},
                                {3456, 2592, "plasma-Path-2560x1600.jpg"},
                                {4480, 3360, "Storm.jpg"},
                                {5184, 3888, "Wood.jpg"},
                                {6000, 4000, "plasma-Path-2560x1600.jpg"}};

// The corpus photographs, decoded once each, top row first (RGB888).
class Photos {
 public:
  explicit Photos(std::string directory) : directory_(std::move(directory)) {}
  const QImage* Get(const std::string& name, std::string& error) {
    auto found = photos_.find(name);
    if (found != photos_.end()) return &found->second;
    const std::string path = directory_ + "/" + name;
    RgbaPicture picture;
    if (DecodeJpegRgba(path, 1, picture) != DecodeResult::Ok) {
      error = "cannot decode " + path;
      return nullptr;
    }
    const QImage rgba(picture.rgba.data(), picture.width, picture.height, picture.width * 4, QImage::Format_RGBA8888);
    // Bottom row first in the decode; mirrored() copies, so the picture's pixels may go.
    QImage upright = rgba.mirrored(false, true).convertToFormat(QImage::Format_RGB888);
    if (upright.isNull()) {
      error = "out of memory for " + path;
      return nullptr;
    }
    return &photos_.emplace(name, std::move(upright)).first->second;
  }

 private:
  std::string directory_;
  std::map<std::string, QImage> photos_;
};

bool WriteJpeg(const QImage& picture, const std::string& path, int quality, std::string& error) {
  // Qt's writer keeps libjpeg's default sampling for colour pictures: 4:2:0.
  QImageWriter writer(QString::fromStdString(path), "jpeg");
  writer.setQuality(quality);
  if (writer.write(picture)) return true;
  error = "cannot write " + path + ": " + writer.errorString().toStdString();
  return false;
}

// width x height made of copies of `photo` at its own size, every other column and row of
// copies mirrored so that the seams continue the picture.
QImage Mosaic(const QImage& photo, int width, int height) {
  QImage mosaic(width, height, QImage::Format_RGB888);
  if (mosaic.isNull()) return mosaic;
  const int tileWidth = photo.width(), tileHeight = photo.height();
  const QImage tiles[2][2] = {{photo, photo.mirrored(false, true)},
                              {photo.mirrored(true, false), photo.mirrored(true, true)}};
  for (int y = 0; y < height; ++y) {
    uchar* row = mosaic.scanLine(y);
    for (int x = 0; x < width; x += tileWidth) {
      const QImage& tile = tiles[(x / tileWidth) % 2][(y / tileHeight) % 2];
      const int pixels = std::min(tileWidth, width - x);
      std::memcpy(row + static_cast<size_t>(x) * 3, tile.constScanLine(y % tileHeight),
                  static_cast<size_t>(pixels) * 3);
    }
  }
  return mosaic;
}

std::string Absolute(const std::string& path) {
  std::error_code failure;
  const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
  return failure ? path : absolute.string();
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, bool quiet) {
  if (args.empty()) return -1;
  std::vector<std::string> words(args);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return -1;
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  pid_t child = 0;
  const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

WorkDirectory::~WorkDirectory() {
  std::error_code ignored;
  if (temporary_) std::filesystem::remove_all(path_, ignored);
}

bool WorkDirectory::Open(const std::string& given, std::string& error) {
  std::error_code failure;
  if (!given.empty()) {
    std::filesystem::create_directories(given, failure);
    if (failure || !std::filesystem::is_directory(given)) {
      error = "cannot make the directory " + given;
      return false;
    }
    path_ = Absolute(given);
    return true;
  }
  std::string pattern = (std::filesystem::temp_directory_path(failure) / "tunnelvista-bench.XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (failure || !mkdtemp(name.data())) {
    error = "cannot make a temporary directory";
    return false;
  }
  path_ = name.data();
  temporary_ = true;
  return true;
}

bool WriteLargePhotos(const std::string& photoDirectory, const std::string& directory, std::vector<std::string>& files,
                      std::string& error) {
  Photos photos(photoDirectory);
  files.clear();
  for (const LargeSize& size : largeSizes) {
    const QImage* photo = photos.Get(size.source, error);
    if (!photo) return false;
    const QImage mosaic = Mosaic(*photo, size.width, size.height);
    const double megapixels = size.width * static_cast<double>(size.height) / 1e6;
    const std::string path = Absolute(directory + "/photo-" + std::to_string(static_cast<int>(megapixels + 0.5)) +
                                      "mp-" + std::to_string(size.width) + "x" + std::to_string(size.height) + ".jpg");
    if (mosaic.isNull()) {
      error = "out of memory for " + path;
      return false;
    }
    if (!WriteJpeg(mosaic, path, 92, error)) return false;
    files.push_back(path);
  }
  return true;
}

bool WriteCrops(const std::string& photoDirectory, const std::string& directory, int count,
                std::vector<std::string>& files, std::string& error) {
  const int width = 1024, height = 768;
  const int sources = static_cast<int>(std::size(cropSources));
  Photos photos(photoDirectory);
  files.clear();
  for (int i = 0; i < count; ++i) {
    const QImage* photo = photos.Get(cropSources[i % sources], error);
    if (!photo) return false;
    // Offsets step by numbers prime to every source's range of offsets, so the crops of one
    // source all differ until a step count reaches its smallest range (257).
    const int k = i / sources;
    const int x = k * 37 % (photo->width() - width + 1), y = k * 61 % (photo->height() - height + 1);
    std::string number = std::to_string(i + 1);
    if (number.size() < 4) number.insert(0, 4 - number.size(), '0');
    const std::string path = Absolute(directory + "/picture-" + number + ".jpg");
    if (!WriteJpeg(photo->copy(x, y, width, height), path, 90, error)) return false;
    files.push_back(path);
  }
  return true;
}

bool WriteZoomProject(const std::string& path, const std::vector<std::string>& files, bool turned) {
  const std::string placement =
      turned ? "scale 0.5\r\ntranslate 0.04 -0.02\r\nrotate 2\r\n" : "scale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
  std::string text = "#Tunnelvista v1.0\r\nduration 10.0\r\nimages " + std::to_string(files.size()) + "\r\n\r\n";
  for (const std::string& file : files) text += "filename " + file + "\r\n" + placement + "\r\n";
  text += "target\r\nscale 0.5\r\ntranslate 0 0\r\nrotate 0\r\n";
  return WriteFileReplacing(path, text) == WriteResult::Ok;
}
