// The recovery file: written while the project has unsaved changes, offered back after a crash,
// set aside when it cannot be read; and the restore as one undo step from the saved project.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <QUndoStack>
#include <algorithm>
#include <cctype>
#include <sstream>

#include "Messages.h"
#include "Project.h"
#include "SafeFile.h"

void Project::RecordRestore() {
  auto saved = std::make_unique<ImageStack>();
  saved->path = stack_->path;
  bool read = false;
  {
    const CollectedMessages quiet;  // nobody asked for this reading
    read = !saved->path.empty() && saved->ReadProjectFile();
  }
  if (!read) {
    // No saved project to go back to (never saved, gone, unreadable): the restored one differs.
    ChangesNoUndoReaches();
    return;
  }
  // The saved project's pictures are the restored project's own objects where the names match
  // (in order), so undoing shows them without reading them again.
  RestoreCommand::State before, after;
  std::vector<std::unique_ptr<Image>> parked;
  std::vector<bool> used(static_cast<size_t>(stack_->count()), false);
  for (int i = 0; i < saved->count(); ++i) {
    auto& element = saved->images[static_cast<size_t>(i)];
    const bool target = i == saved->count() - 1;
    int match = -1;
    for (int j = 0; j < stack_->count() && match < 0; ++j) {
      const Image& candidate = *stack_->images[static_cast<size_t>(j)];
      const bool candidateTarget = j == stack_->count() - 1;
      if (!used[static_cast<size_t>(j)] && target == candidateTarget &&
          (target || candidate.fileName == element->fileName))
        match = j;
    }
    if (match >= 0) {
      used[static_cast<size_t>(match)] = true;
      before.elements.push_back(
          {stack_->images[static_cast<size_t>(match)].get(), element->transform, element->colour});
    } else {
      before.elements.push_back({element.get(), element->transform, element->colour});
      parked.push_back(std::move(element));
    }
  }
  before.duration = saved->duration;
  before.play = saved->playSettings;
  for (const auto& element : stack_->images)
    after.elements.push_back({element.get(), element->transform, element->colour});
  after.duration = stack_->duration;
  after.play = stack_->playSettings;
  if (RestoreCommand::Same(before, after)) {
    RemoveRecovery();  // it held nothing the saved project lacks
    return;
  }
  undoStack_->push(new RestoreCommand(this, std::move(before), std::move(after), std::move(parked)));
}

namespace {

QString Local(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// Where a project that was never saved is kept; empty when there is no data folder.
std::string UntitledRecoveryPath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (folder.isEmpty()) return std::string();
  return QFile::encodeName(folder + QStringLiteral("/Untitled.kx.recovery")).toStdString();
}

}  // namespace

std::string Project::RecoveryPath() const {
  if (stack_ && !stack_->path.empty()) return stack_->path + ".recovery";
  return UntitledRecoveryPath();
}

void Project::WithoutRecovery() {
  recovery_ = false;
  recoveryTimer_->stop();
}

void Project::WriteRecovery() {
  if (!recovery_ || !Modified() || Opening()) return;
  const std::string path = RecoveryPath();
  if (path.empty()) return;
  if (stack_->path.empty()) QDir().mkpath(QFileInfo(Local(path)).absolutePath());
  if (recoveryWritten_ != path) RemoveRecovery();  // saved under another name since
  std::ostringstream text;
  stack_->SaveProject(text);
  // Silent: a recovery file that cannot be written must not interrupt the work it protects.
  if (WriteFileReplacing(path, text.str()) == WriteResult::Ok) recoveryWritten_ = path;
}

void Project::RemoveRecovery() {
  if (recoveryWritten_.empty()) return;
  QFile::remove(Local(recoveryWritten_));
  recoveryWritten_.clear();
}

std::string Project::OfferRecovery(const std::string& path) {
  if (!recovery_) return std::string();
  const std::string recovery = path.empty() ? UntitledRecoveryPath() : path + ".recovery";
  const QFileInfo recoveryFile(Local(recovery));
  if (recovery.empty() || !recoveryFile.isFile()) return std::string();
  std::string question;
  if (path.empty()) {
    question = "A project that was not saved was found from an earlier session.\n\nRestore it?";
  } else {
    const QFileInfo project(Local(path));
    if (project.exists() && recoveryFile.lastModified() <= project.lastModified()) {
      // Older than the project: the project was saved after it, so it holds nothing to recover.
      QFile::remove(Local(recovery));
      return std::string();
    }
    question = "Changes to " + QFile::encodeName(project.fileName()).toStdString() +
               " that were not saved were found from an earlier session.\n\nRestore them?";
  }
  if (AskYesNo(question, AppTitle)) return recovery;
  QFile::remove(Local(recovery));
  return std::string();
}

bool Project::RecoveryReadable(const std::string& recovery, const std::string& projectPath) {
  ImageStack trial;
  trial.path = recovery;
  std::vector<std::string> reasons;
  {
    CollectedMessages collected;
    if (trial.ReadProjectFile()) return true;
    reasons = std::move(collected.texts);
  }
  std::string reason = reasons.empty() ? std::string("it is damaged.") : reasons.front();
  while (!reason.empty() && std::isspace(static_cast<unsigned char>(reason.back()))) reason.pop_back();
  std::replace(reason.begin(), reason.end(), '\n', ' ');
  // Kept aside rather than offered again at every opening; a later one of the same name replaces it.
  const std::string aside = recovery + ".unreadable";
  QFile::remove(Local(aside));
  const bool kept = QFile::rename(Local(recovery), Local(aside));
  if (!kept) QFile::remove(Local(recovery));
  auto fileName = [](const std::string& path) {
    return QFile::encodeName(QFileInfo(Local(path)).fileName()).toStdString();
  };
  std::string text = "The recovery file " + fileName(recovery) + " cannot be read: " + reason;
  if (kept) text += "\n\nIt was kept as " + fileName(aside) + ".";
  if (!projectPath.empty()) text += "\n\n" + fileName(projectPath) + " opens as it was last saved.";
  ShowMessage(text, AppTitle, MessageIcon::Warning, MessageButtons::Ok);
  return false;
}
