#pragma once
// Small text helpers for names and paths.

#include <mutex>
#include <string>
#include <vector>

// Overwrites, in place, every `from` in `text` with `to`.
void CharReplace(std::string& text, char from, char to);

// The project named on the command line as a full path: a relative name is taken relative to
// `currentDirectory`; a name with a drive ("C:...") is kept as written; '\' becomes '/'.
std::string CommandLineProjectPath(const std::string& argument, const std::string& currentDirectory);

// atof in the C locale: the longest valid leading decimal number after blanks (as ParseFloatAt
// reads it: no nan, infinity or hexadecimal), 0 when there is none or it is beyond the float range.
double LeadingNumber(const std::string& text);

// atol: the leading decimal integer after blanks ("12.9" and "12e3" give 12), 0 when there is
// none; values beyond 32 bits are held at the nearest end.
long LeadingInteger(const std::string& text);

// The directory part of `path` ('/' or '\' separate), with '/' separators: "" for a bare name,
// "/" for a name at the root.
std::string DirectoryPart(const std::string& path);

// Finds the pictures of a project that was moved together with them: a picture whose name leads
// nowhere is looked for by its own name in the project's directory, then in the directories one
// level down, in sorted order (the first file wins). A web export's folder is never looked in:
// its pictures may be reduced or colour-corrected copies, which the next save would then keep.
// Those directories are listed once, when first needed. Any thread; several at once.
class MovedPictureFinder {
 public:
  explicit MovedPictureFinder(const std::string& projectPath);

  // The file to use in place of `path`: empty when `path` exists (whatever it is; also when that
  // cannot be told), or when no file of its name lies in those places.
  std::string Find(const std::string& path) const;

 private:
  // The directories looked in, the project's own first; export folders left out.
  const std::vector<std::string>& Places() const;

  std::string directory_;
  mutable std::once_flag listed_;
  mutable std::vector<std::string> places_;
};

// Whether `directory` holds what a web export writes: a page (*.html, *.htm) and a data file
// (*.kxo), whatever their names.
bool IsWebExportFolder(const std::string& directory);

// The path of the program's data file `name` ("TUNNELVISTA.html", "kx.jar", or a folder such as
// "web/player"), for the program in `programDirectory`. In a build tree the data lies beside the
// program; an installed program finds it in the share folder relative to its own
// (`installedDataFolder`, normally "../share/tunnelvista"). Beside the program when `name` is there
// or when there is no share folder; otherwise in the share folder, whether or not `name` is there,
// so that a message about a missing file names the place it belongs in.
std::string DataFilePath(const std::string& programDirectory, const std::string& name);
std::string DataFilePath(const std::string& programDirectory, const std::string& name,
                         const std::string& installedDataFolder);
