#include "image.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "Affine.h"
#include "EditView.h"
#include "Messages.h"
#include "Paths.h"
#include "ViewGeometry.h"

namespace {

const double identityMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

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

std::atomic<uint64_t> nextId{1};

}  // namespace

Image::Image() : id(nextId++) { ResetMatrix(); }

void Image::ResolvePath(const std::string& projectPath) {
  foundElsewhere = false;
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

std::string Image::ProjectName(const std::string& projectPath) const {
  if (!foundElsewhere) return fileName;
  const std::string project = DirectoryPart(projectPath);
  if (!project.empty()) {
    if (directory == project) return baseName;
    const std::string inside = project.back() == '/' ? project : project + "/";
    if (directory.compare(0, inside.size(), inside) == 0) return directory.substr(inside.size()) + "/" + baseName;
  }
  return FullPath();
}

std::string Image::FoundNote() const { return foundElsewhere ? "found in " + directory : std::string(); }

void Image::ResetMatrix() { std::copy(identityMatrix, identityMatrix + 16, modelMatrix); }

void Image::SetMatrix(const double matrix[16]) { std::copy(matrix, matrix + 16, modelMatrix); }

void Image::OpaqueCore(double& halfX, double& halfY) const {
  const Extents e = ElementExtents(width, height);
  float sx = e.ex;
  float sy = e.ey;
  const float m = std::min(sx, sy) * (2 * fadeBand);  // the faded band at each edge
  sx -= m;
  sy -= m;
  halfX = sx / 2.0;
  halfY = sy / 2.0;
}

bool Image::CoversView(const Affine& toView, const ViewGeometry& view) const {
  double hx, hy;
  OpaqueCore(hx, hy);
  return view.RectCoversView(toView, hx, hy);
}

void ShowMaxImageSizeMessage(int limit) {
  const std::string m = std::to_string(limit);
  ShowMessage("Your graphics hardware supports images of size " + m + " by " + m +
                  " pixels.\nOne or more of the selected images will be displayed at a lower\nresolution to meet "
                  "these constraints.",
              "Max Image Size Exceeded", MessageIcon::None, MessageButtons::Ok);
}
