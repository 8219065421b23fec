// The recovery file: written while the project has unsaved changes, offered back after a crash,
// set aside when it cannot be read; and the restore as one undo step from the saved project.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUndoStack>
#include <algorithm>
#include <cctype>
#include <sstream>

#include "Messages.h"
#include "SafeFile.h"
#include "main.h"

namespace {

// Restoring a recovery file: one step whose undo gives back the project as it was saved. Each
// state is its elements with their placements and the duration; an element of the saved project
// that the restored one lacks (its list was changed before the crash) is kept here, and checked
// the first time it is shown.
class RestoreCommand : public QUndoCommand {
 public:
  struct State {
    std::vector<std::pair<Image*, Transform>> elements;
    float duration = 10.0f;
  };
  RestoreCommand(TmainForm* form, State saved, State restored, std::vector<std::unique_ptr<Image>> parked)
      : QUndoCommand(QStringLiteral("Restore")),
        form_(form),
        saved_(std::move(saved)),
        restored_(std::move(restored)),
        parked_(std::move(parked)) {}
  void undo() override { Show(saved_); }
  void redo() override {
    if (first_)
      first_ = false;  // the restored project is what was opened
    else
      Show(restored_);
  }

 private:
  void Show(const State& state) {
    ImageStack* stack = form_->imageStack.get();
    if (!stack) return;
    std::vector<Image*> order;
    for (const auto& [element, placement] : state.elements) {
      element->transform = placement;
      if (!element->fileName.empty() && element->width == 0) element->LoadJpeg();
      order.push_back(element);
    }
    stack->Arrange(order, parked_);
    if (stack->pictureCount() > 0) {
      stack->targetFrame()->width = stack->images[static_cast<size_t>(stack->pictureCount() - 1)]->width;
      stack->targetFrame()->height = stack->images[static_cast<size_t>(stack->pictureCount() - 1)]->height;
    }
    form_->ShowDuration(state.duration);
    form_->ShowChangedPictures();
  }
  TmainForm* form_;
  State saved_, restored_;
  std::vector<std::unique_ptr<Image>> parked_;
  bool first_ = true;
};

}  // namespace

void TmainForm::RecordRestore() {
  auto saved = std::make_unique<ImageStack>();
  saved->path = imageStack->path;
  bool read = false;
  {
    const CollectedMessages quiet;  // nobody asked for this reading
    read = !saved->path.empty() && saved->ReadProjectFile();
  }
  if (!read) {
    // No saved project to go back to (never saved, gone, unreadable): the restored one differs.
    undoStack->resetClean();
    UpdateTitle();
    return;
  }
  // The saved project's pictures are the restored project's own objects where the names match
  // (in order), so undoing shows them without reading them again.
  RestoreCommand::State before, after;
  std::vector<std::unique_ptr<Image>> parked;
  std::vector<bool> used(static_cast<size_t>(imageStack->count()), false);
  for (int i = 0; i < saved->count(); ++i) {
    auto& element = saved->images[static_cast<size_t>(i)];
    const bool target = i == saved->count() - 1;
    int match = -1;
    for (int j = 0; j < imageStack->count() && match < 0; ++j) {
      const Image& candidate = *imageStack->images[static_cast<size_t>(j)];
      const bool candidateTarget = j == imageStack->count() - 1;
      if (!used[static_cast<size_t>(j)] && target == candidateTarget &&
          (target || candidate.fileName == element->fileName))
        match = j;
    }
    if (match >= 0) {
      used[static_cast<size_t>(match)] = true;
      before.elements.emplace_back(imageStack->images[static_cast<size_t>(match)].get(), element->transform);
    } else {
      before.elements.emplace_back(element.get(), element->transform);
      parked.push_back(std::move(element));
    }
  }
  before.duration = saved->duration;
  for (const auto& element : imageStack->images) after.elements.emplace_back(element.get(), element->transform);
  after.duration = imageStack->duration;
  auto same = [](const RestoreCommand::State& a, const RestoreCommand::State& b) {
    if (a.duration != b.duration || a.elements.size() != b.elements.size()) return false;
    for (size_t i = 0; i < a.elements.size(); ++i)
      if (a.elements[i].first != b.elements[i].first || !SamePlacement(a.elements[i].second, b.elements[i].second))
        return false;
    return true;
  };
  if (same(before, after)) {
    RemoveRecovery();  // it held nothing the saved project lacks
    return;
  }
  undoStack->push(new RestoreCommand(this, std::move(before), std::move(after), std::move(parked)));
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

std::string TmainForm::RecoveryPath() const {
  if (imageStack && !imageStack->path.empty()) return imageStack->path + ".recovery";
  return UntitledRecoveryPath();
}

void TmainForm::WriteRecovery() {
  if (!Modified() || Opening()) return;
  const std::string path = RecoveryPath();
  if (path.empty()) return;
  if (imageStack->path.empty()) QDir().mkpath(QFileInfo(Local(path)).absolutePath());
  if (recoveryWritten_ != path) RemoveRecovery();  // saved under another name since
  std::ostringstream text;
  imageStack->SaveProject(text);
  // Silent: a recovery file that cannot be written must not interrupt the work it protects.
  if (WriteFileReplacing(path, text.str()) == WriteResult::Ok) recoveryWritten_ = path;
}

void TmainForm::RemoveRecovery() {
  if (recoveryWritten_.empty()) return;
  QFile::remove(Local(recoveryWritten_));
  recoveryWritten_.clear();
}

std::string TmainForm::OfferRecovery(const std::string& path) {
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

bool TmainForm::RecoveryReadable(const std::string& recovery, const std::string& projectPath) {
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
