#pragma once
// The files of an export, gathered in a hidden folder inside the target directory
// (".PAGE.part-PID-N", see PartFiles.h) and put in place together once every one is complete, the
// main file last. Until then nothing at the destinations changes; a failure, or the owner's
// giving up, removes the folder with everything in it.
//
// Files are created without following symbolic links, and putting them in place renames them
// over their destinations: a link there is replaced, never what it points to. Where the file
// system can swap two names, the destinations' old files are kept until every new one is in
// place, so a failure halfway puts them back.

#include <functional>
#include <string>
#include <vector>

class ExportFolder {
 public:
  ExportFolder() = default;
  ExportFolder(const ExportFolder&) = delete;
  ExportFolder& operator=(const ExportFolder&) = delete;
  ~ExportFolder();  // removes the folder and what is still in it

  // Makes the hidden folder in `directory` for an export whose main file is `mainName`, after
  // removing those that exports killed before they finished left there. Shows its message and
  // returns false when it cannot.
  bool Open(const std::string& directory, const std::string& mainName);

  // Writes `bytes` for `destination` (any path; usually in the directory) and flushes them to
  // disk; shows "Error writing file DESTINATION" and returns false on failure.
  bool Add(const std::string& destination, const std::string& bytes);
  // Copies the file `source` for `destination` a chunk at a time, asking `cancelled` (may be
  // empty) before each, so that a large file or one that never ends (a pipe) cannot hold up an
  // interruption. A source that cannot be opened or read is left to the caller to report (and
  // nothing is added); a write failure is shown as Add shows it.
  enum class CopyResult { Copied, NoSource, Cancelled, Failed };
  CopyResult AddCopy(const std::string& destination, const std::string& source, const std::function<bool()>& cancelled);
  // A folder `destination` of files added with AddToFolder. When a real directory is there, the
  // files go into it one by one; anything else there (a file, a symbolic link) is replaced by
  // the folder as a whole.
  bool AddFolder(const std::string& destination);
  bool AddToFolder(const std::string& name, const std::string& bytes);

  // Puts everything in place in the order added. A directory where a file would go stops it
  // before anything is moved ("Error opening file DESTINATION for writing"). Shows its message
  // and returns false on failure.
  bool Commit();

 private:
  struct Entry {
    std::string staged, destination;
    bool folder = false;
    std::vector<std::string> files;  // a folder's, by name
  };
  struct Move {
    std::string from, to;
    bool swapped = false;  // the old file now lies at `from`
    bool undoable = true;
  };
  bool WriteNew(const std::string& staged, const std::string& destination, const std::string& bytes);
  int CreateStaged(const std::string& staged, const std::string& destination);
  bool Finish(int fd, bool written, const std::string& staged);
  void Undo(std::vector<Move>& done);

  std::string folder_;
  std::vector<Entry> entries_;
  unsigned serial_ = 0;
};
