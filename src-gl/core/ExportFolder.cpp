#include "ExportFolder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "Messages.h"
#include "PartFiles.h"

namespace {

bool WriteAll(int fd, const char* data, size_t left) {
  while (left > 0) {
    const ssize_t n = ::write(fd, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

enum class Found { Nothing, Directory, Other };

Found What(const std::string& path, struct stat& st) {
  if (::lstat(path.c_str(), &st) != 0) return Found::Nothing;
  return S_ISDIR(st.st_mode) ? Found::Directory : Found::Other;
}

// Swaps the two names, or moves `from` to a free `to`; false with errno when the file system
// cannot (EINVAL) or something else fails.
bool RenameFlags(const std::string& from, const std::string& to, unsigned flags) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) == 0;
}

}  // namespace

ExportFolder::~ExportFolder() {
  if (folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);  // links in it are removed, never followed
}

bool ExportFolder::Open(const std::string& directory, const std::string& mainName) {
  const std::string main = directory + "/" + mainName;
  RemoveStaleParts(main);
  const std::string stem = PartStem(main);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = stem + std::to_string(attempt);
    if (::mkdir(name.c_str(), 0700) == 0) {
      folder_ = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  ShowPlainMessage("Error opening file " + main + " for writing\n");
  return false;
}

int ExportFolder::CreateStaged(const std::string& staged, const std::string& destination) {
  const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) ShowPlainMessage("Error opening file " + destination + " for writing\n");
  return fd;
}

// Flushes and closes the staged file; one not completely written is removed at once, so a full
// disk gets its room back.
bool ExportFolder::Finish(int fd, bool written, const std::string& staged) {
  bool ok = written && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) ::unlink(staged.c_str());
  return ok;
}

bool ExportFolder::WriteNew(const std::string& staged, const std::string& destination, const std::string& bytes) {
  const int fd = CreateStaged(staged, destination);
  if (fd < 0) return false;
  if (Finish(fd, WriteAll(fd, bytes.data(), bytes.size()), staged)) return true;
  ShowPlainMessage("Error writing file " + destination + "\n");
  return false;
}

bool ExportFolder::Add(const std::string& destination, const std::string& bytes) {
  Entry entry;
  entry.staged = folder_ + "/" + std::to_string(serial_++);
  entry.destination = destination;
  if (!WriteNew(entry.staged, destination, bytes)) return false;
  entries_.push_back(std::move(entry));
  return true;
}

ExportFolder::CopyResult ExportFolder::AddCopy(const std::string& destination, const std::string& source,
                                               const std::function<bool()>& cancelled) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return CopyResult::NoSource;
  Entry entry;
  entry.staged = folder_ + "/" + std::to_string(serial_++);
  entry.destination = destination;
  const int out = CreateStaged(entry.staged, destination);
  CopyResult result = out < 0 ? CopyResult::Failed : CopyResult::Copied;
  std::vector<char> chunk(out < 0 ? 0 : 65536);
  while (result == CopyResult::Copied) {
    if (cancelled && cancelled()) {
      result = CopyResult::Cancelled;
      break;
    }
    const ssize_t n = ::read(in, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;  // an interrupting signal is seen at the next turn
    if (n == 0) break;
    if (n < 0)
      result = CopyResult::NoSource;
    else if (!WriteAll(out, chunk.data(), static_cast<size_t>(n)))
      result = CopyResult::Failed;
  }
  ::close(in);
  if (out < 0) return result;
  if (Finish(out, result == CopyResult::Copied, entry.staged)) {
    entries_.push_back(std::move(entry));
    return result;
  }
  if (result == CopyResult::Copied) result = CopyResult::Failed;
  if (result == CopyResult::Failed) ShowPlainMessage("Error writing file " + destination + "\n");
  return result;
}

bool ExportFolder::AddFolder(const std::string& destination) {
  Entry entry;
  entry.staged = folder_ + "/" + std::to_string(serial_++);
  entry.destination = destination;
  entry.folder = true;
  // As the folder will be once in place (0777 less the umask), unlike the hidden one around it.
  if (::mkdir(entry.staged.c_str(), 0777) != 0) {
    ShowPlainMessage("Unable to create the player's folder:\n\n    " + destination);
    return false;
  }
  entries_.push_back(std::move(entry));
  return true;
}

bool ExportFolder::AddToFolder(const std::string& name, const std::string& bytes) {
  Entry& folder = entries_.back();
  if (!WriteNew(folder.staged + "/" + name, folder.destination + "/" + name, bytes)) return false;
  folder.files.push_back(name);
  return true;
}

bool ExportFolder::Commit() {
  // Every move decided and checked before the first is made.
  std::vector<Move> moves;
  for (const Entry& entry : entries_) {
    struct stat st {};
    const Found there = What(entry.destination, st);
    if (entry.folder && there == Found::Directory) {
      for (const std::string& name : entry.files) {
        const std::string to = entry.destination + "/" + name;
        if (What(to, st) == Found::Directory) {
          ShowPlainMessage("Error opening file " + to + " for writing\n");
          return false;
        }
        moves.push_back({entry.staged + "/" + name, to});
      }
    } else if (!entry.folder && there == Found::Directory) {
      ShowPlainMessage("Error opening file " + entry.destination + " for writing\n");
      return false;
    } else {
      moves.push_back({entry.staged, entry.destination});
    }
  }
  std::vector<Move> done;
  for (Move& move : moves) {
    struct stat st {};
    const Found there = What(move.to, st);
    if (there == Found::Other && S_ISREG(st.st_mode)) (void)::chmod(move.from.c_str(), st.st_mode & 07777);
    bool ok;
    if (there == Found::Nothing) {
      ok = RenameFlags(move.from, move.to, RENAME_NOREPLACE);
      if (!ok && errno == EINVAL) ok = ::rename(move.from.c_str(), move.to.c_str()) == 0;
    } else {
      ok = move.swapped = RenameFlags(move.from, move.to, RENAME_EXCHANGE);
      if (!ok && errno == EINVAL) {
        // A file system that cannot swap: the old file goes for good.
        ok = ::rename(move.from.c_str(), move.to.c_str()) == 0;
        move.undoable = false;
      }
    }
    if (!ok) {
      ShowPlainMessage("Error writing file " + move.to + "\n");
      Undo(done);
      return false;
    }
    done.push_back(move);
  }
  return true;
}

void ExportFolder::Undo(std::vector<Move>& done) {
  for (auto it = done.rbegin(); it != done.rend(); ++it) {
    if (it->swapped)
      (void)RenameFlags(it->from, it->to, RENAME_EXCHANGE);
    else if (it->undoable)
      (void)::rename(it->to.c_str(), it->from.c_str());  // the new file goes back to be removed
  }
}
