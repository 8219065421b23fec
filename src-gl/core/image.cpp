#include "image.h"

#include <GL/glu.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "Messages.h"

namespace {

const double identityMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

int textureLimitOverride = 0;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

size_t LastSeparator(const std::string& text) { return text.find_last_of("/\\"); }

// "C:..." — a name written on Windows with a drive letter.
bool HasDrive(const std::string& name) {
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

std::string Slashes(std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

}  // namespace

Image::Image() { ResetMatrix(); }

Image::~Image() {
  if (textureId != 0) glDeleteTextures(1, &textureId);
}

void Image::ResolvePath(const std::string& projectPath) {
  size_t last = LastSeparator(fileName);
  baseName = last == std::string::npos ? fileName : fileName.substr(last + 1);
  std::string namePart = last == std::string::npos ? std::string() : fileName.substr(0, last);

  if (HasDrive(fileName)) {
    directory = namePart;  // kept as written: it names a Windows drive and will not be found here
    return;
  }
  if (!fileName.empty() && fileName[0] == '/') {
    directory = last == 0 ? std::string("/") : namePart;
    directory = Slashes(directory);
    return;
  }
  // Relative to the project's directory. A single separator at the very start carries no
  // directory of its own.
  size_t projectLast = LastSeparator(projectPath);
  std::string projectPart = projectLast == std::string::npos ? std::string() : projectPath.substr(0, projectLast);
  if (projectLast == 0) projectPart = "/";
  if (last == 0) namePart.clear();
  if (namePart.empty())
    directory = projectPart;
  else if (projectPart.empty())
    directory = namePart;
  else if (projectPart == "/")
    directory = "/" + namePart;
  else
    directory = projectPart + "/" + namePart;
  directory = Slashes(directory);
}

std::string Image::FullPath() const {
  if (directory.empty()) return baseName;
  if (IsSeparator(directory.back())) return directory + baseName;
  return directory + "/" + baseName;
}

void Image::ResetMatrix() { std::copy(identityMatrix, identityMatrix + 16, modelMatrix); }

void Image::SetMatrix(const double matrix[16]) { std::copy(matrix, matrix + 16, modelMatrix); }

bool Image::CoversView(const double view[16]) const {
  GLdouble projection[16];
  GLdouble product[16];
  GLint viewport[4];
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  glPushMatrix();
  glLoadMatrixd(view);
  glMultMatrixd(modelMatrix);
  glGetDoublev(GL_MODELVIEW_MATRIX, product);
  glPopMatrix();

  Extents e = ElementExtents(width, height);
  float sx = e.ex;
  float sy = e.ey;
  float m = std::min(sx, sy) * 0.2f;  // the faded band, one tenth of the shorter side each edge
  sx -= m;
  sy -= m;

  const double corners[4][2] = {{static_cast<double>(viewport[0]), static_cast<double>(viewport[1])},
                                {static_cast<double>(viewport[0]), static_cast<double>(viewport[3])},
                                {static_cast<double>(viewport[2]), static_cast<double>(viewport[1])},
                                {static_cast<double>(viewport[2]), static_cast<double>(viewport[3])}};
  for (const auto& corner : corners) {
    GLdouble x = 0, y = 0, z = 0;
    if (gluUnProject(corner[0], corner[1], 0.0, product, projection, viewport, &x, &y, &z) != GL_TRUE) return false;
    if (!(x >= -sx / 2 && x <= sx / 2 && y >= -sy / 2 && y <= sy / 2)) return false;
  }
  return true;
}

int TextureLimit() {
  if (textureLimitOverride > 0) return textureLimitOverride;
  GLint limit = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &limit);
  return limit > 0 ? limit : 1024;
}

void SetTextureLimit(int limit) { textureLimitOverride = limit > 0 ? limit : 0; }

void ShowMaxImageSizeMessage() {
  std::string m = std::to_string(TextureLimit());
  ShowMessage("Your graphics hardware supports images of size " + m + " by " + m +
                  " pixels.\nOne or more of the selected images will be displayed at a lower\nresolution to meet "
                  "these constraints.",
              "Max Image Size Exceeded", MessageIcon::None, MessageButtons::Ok);
}

void ForEachParallel(size_t count, const std::function<void(size_t)>& job) {
  size_t threads = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) job(i);
    return;
  }
  // An exception (an allocation that fails on a huge picture) must not end the program from a
  // worker thread: the first one is handed to the caller once every thread has stopped.
  std::atomic<size_t> next{0};
  std::mutex failureLock;
  std::exception_ptr failure;
  auto worker = [&] {
    for (size_t i = next++; i < count; i = next++) {
      try {
        job(i);
      } catch (...) {
        std::lock_guard<std::mutex> hold(failureLock);
        if (!failure) failure = std::current_exception();
      }
    }
  };
  std::vector<std::thread> pool;
  for (size_t k = 1; k < threads; ++k) pool.emplace_back(worker);
  worker();
  for (auto& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}
