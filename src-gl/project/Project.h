#pragma once
// The open project: the one ImageStack of the editor, its undo stack and clean state, the
// recovery file that keeps unsaved changes through a crash, and every long job on it (the check
// of the pictures while a project opens, the checks of pictures being added, the alignment, the
// web export), each a `Job` it owns. Windows show it and forward what the user asks for to its
// methods; it reports every change through the signals below. It lives on the window thread and
// is used there only (the jobs' workers hand their results back through queued calls).
//
// Elements are named by `Image::id` throughout: a step, a dialog or an alignment that outlives a
// change of the list still reaches its own element, or nothing.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Imagestack.h"
#include "ProjectCommands.h"
#include "Transform.h"

class AlignJob;
class ColourJob;
struct ColourRun;
struct AlignRun;
class Job;
class PictureCheckJob;
class QTimer;
class QUndoStack;
class VideoExportJob;
class WebExportJob;
struct VideoSettings;
struct WebExportOptions;

class Project : public QObject, private StepTarget {
  Q_OBJECT

 public:
  explicit Project(QObject* parent = nullptr);
  ~Project() override;

  // The open document; null when none is open. Windows may change an element's placement in place
  // while the user drags it, and record the drag with RecordPlacementChange at its end.
  ImageStack* stack() const { return stack_.get(); }
  // The project's edits, one step each; its clean state is the saved (or opened) project.
  QUndoStack* undoStack() const { return undoStack_; }
  // While the project is modified it is written to its recovery file at every tick (30 s).
  QTimer* recoveryTimer() const { return recoveryTimer_; }

  // The project has changes that are not saved (a project never saved counts as changed).
  bool Modified() const;
  // Its pictures are being checked (between `opened` and `openingFinished`).
  bool Opening() const { return opening_ != nullptr; }
  // The job that checks them, while it runs.
  PictureCheckJob* OpeningJob() const { return opening_; }
  // Work that reads the pictures (aligning, matching colours, exporting) would take those not yet
  // checked for unloadable: while the project opens it is refused, and said so under `title`.
  // True when refused.
  bool RefusedWhileOpening(const std::string& title) const;
  // The alignment and the exports in progress, if any (one of each at a time).
  AlignJob* Aligning() const { return aligning_; }
  ColourJob* MatchingColours() const { return matchingColours_; }
  WebExportJob* WebExporting() const { return webExporting_; }
  VideoExportJob* VideoExporting() const { return videoExporting_; }

  // --- the document as a whole ---
  // Replaces the open project (stopping its opening); nothing to undo afterwards.
  void SetStack(std::unique_ptr<ImageStack> stack);
  // Opens the project at `path` in the open one's place: offers its recovery file, reads the text,
  // emits `opened`, then checks the pictures in the background. False (and no project open) when
  // nothing could be read; the reason has been reported. False too when a slot of its signals
  // replaced it or stopped its opening.
  bool Open(const std::string& path);
  // At the start with no project named: offers the recovery file of a project that was never
  // saved and opens it, untitled. False when there was none or it was not wanted.
  bool OpenUntitledRecovery();
  // A new project of the pictures at `paths`, outermost first, each centred in the one before at
  // 1/`factor` of its size (BuildSequenceStack), to be saved at `path` (empty: untitled). Its
  // pictures are checked as an opened project's are (`opened` ... `openingFinished`); with
  // `alignAll`, Align All then refines the placements (StartAlign). False, the open project kept,
  // when there are no paths or the factor is not a number above 1; false as Open is when a slot
  // replaced it.
  bool NewSequence(const std::vector<std::string>& paths, double factor, const std::string& path, bool alignAll);
  // The opening's Cancel: the project is closed.
  void CancelOpening();
  // Writes the project to its path (Save) or to `path`, which it takes even when the write fails
  // (Save As). True when written.
  bool Save();
  bool SaveAs(const std::string& path);

  // --- edits, each one undo step ---
  // The duration as typed: with `undoable`, a step that merges with the typing before; otherwise
  // (the window put the text there) no step.
  void SetDuration(float seconds, bool undoable);
  // Play and pace as chosen in the window: one step. A change to endless refits the target frame
  // to the first picture's shape when it is not (RefitFrame), so the first picture can be placed
  // in the last.
  void SetPlaySettings(const PlaySettings& settings);
  // A placement change made in place (a drag, keys, the placement dialog) of element `element`,
  // which was `before`: one step. With a `nudge`, merged into the step before when that one was
  // the same kind of nudge of the same element, repeated or within a second.
  void RecordPlacementChange(int element, const Transform& before, const Nudge* nudge = nullptr, bool repeated = false);
  // Sets the placement of the element `id` without a step (typed numbers while they are typed).
  void SetPlacement(uint64_t id, const Transform& placement);
  // The placement found for the child `childId` in `parentId`: one step. False (nothing changed)
  // when that child no longer lies in that parent.
  bool ApplyAlignment(uint64_t childId, uint64_t parentId, const Transform& placement);
  // Sets how the element `id` is drawn in tone without a step (typed numbers while they are typed).
  void SetColour(uint64_t id, const ColourCorrection& colour);
  // A change of the element `id`'s correction made in place (the placement dialog), which was
  // `before`: one step.
  void RecordColourChange(uint64_t id, const ColourCorrection& before);
  // The correction found for the child `childId` in `parentId`: one step. False (nothing changed)
  // when that child no longer lies in that parent.
  bool ApplyColourMatch(uint64_t childId, uint64_t parentId, const ColourCorrection& colour);
  // The image list's Done: `pictures` in their order, the stack's own and those of `added` (which
  // the stack takes). With `newProject`, or no project open, they make a new project; otherwise
  // the change is one step. `reloaded`: a picture of the stack was reloaded in place.
  void ApplyImageList(const std::vector<Image*>& pictures, std::vector<std::unique_ptr<Image>>& added, bool newProject,
                      bool reloaded);
  // The image list was cancelled; pictures it reloaded in place stay (`reloaded`), and are
  // changes that no undo reaches.
  void ImageListCancelled(bool reloaded);

  // --- the recovery file ---
  // Beside the project ("NAME.kx.recovery"), or in the application's data folder for a project
  // never saved. Written silently; gone after a save, a discard or an exit.
  std::string RecoveryPath() const;
  void WriteRecovery();
  void RemoveRecovery();
  // A recovery file newer than the project at `path` (or, with an empty path, one of an unsaved
  // project): asks whether to restore it and gives the file to read; empty when not restoring
  // (the file is then removed).
  std::string OfferRecovery(const std::string& path);
  // True when the recovery file can be read as a project; otherwise it is reported ("The recovery
  // file NAME cannot be read: ...") and set aside as NAME.unreadable, so it is not offered again.
  bool RecoveryReadable(const std::string& recovery, const std::string& projectPath);
  // For work without windows that saves what it changes at once or not at all (the command
  // line): no recovery file is offered, removed or written, so the editor's stay where they are.
  void WithoutRecovery();
  // For work that draws the pictures as soon as they are open (the command line): when opening,
  // `plan` is given the stack read and makes what says, from the pictures' headers, at what size
  // each is about to be drawn, so that its check decodes it once at that size (PictureCheck.h).
  using OpeningPlan = std::function<NeededSides(const ImageStack& stack)>;
  void PlanOpening(OpeningPlan plan) { openingPlan_ = std::move(plan); }

  // --- long jobs; each is started here, reports through its own signals and goes after its end ---
  // Checks picture files on worker threads for a window (the image list's Add and Reload): the
  // owner takes the results from the job's check as they come. A file that a loaded element of
  // the project shows, unchanged since, is not decoded again: it gets that element's result.
  PictureCheckJob* CheckPictures(std::vector<std::string> paths);
  // Aligns the child of element `child` in its parent, or every picture with -1, on a worker:
  // each placement found is one undo step as it comes; at the end the pictures that kept their
  // placements are named in one message. Null (nothing started) when another alignment runs, the
  // project is opening (said), or there is nothing to align. `guessed`: the placements are a new
  // sequence's first guesses, to refine, never to keep (AlignRequest).
  AlignJob* StartAlign(int child, bool guessed = false);
  // Matches the colours of element `child` to its parent's, or of every picture from the second
  // on in order with -1, on a worker: each correction found is one undo step as it comes; at the
  // end the pictures that kept theirs are named in one message. Null (nothing started) when
  // colours are being matched or the project aligned, it is opening (said), or there is nothing
  // to match.
  ColourJob* StartMatchColours(int child);
  // Exports a copy of the project as `options` say (planned and confirmed already). Null when an
  // export runs or the project is opening (said).
  WebExportJob* StartWebExport(const WebExportOptions& options);
  // Makes a video of a copy of the project as `settings` say (checked already), drawing within
  // `textureBudget` bytes (0: the renderer's default). `observe` connects to the job before it
  // starts, so it hears a start that fails at once. Null when a video is being made or the project
  // is opening (said).
  VideoExportJob* StartVideoExport(const VideoSettings& settings, size_t textureBudget,
                                   const std::function<void(VideoExportJob&)>& observe = {});

 signals:
  // Another document (or none) is open, or the open one's steps were forgotten: nothing that
  // referred to the old one (a drag, an index) holds.
  void stackReplaced();
  // A project's text was read and its pictures are about to be checked: show it.
  void opened();
  // Some pictures arrived during the opening (their sizes and thumbnails are known now).
  void picturesArrived();
  // `checked` of `total` pictures; `next` is the name of the one in hand (empty at the end).
  void openingProgress(int checked, int total, const QString& next);
  // Every picture has been checked and its failures reported.
  void openingFinished();
  // The stack's elements were replaced or rearranged (the image list, an undo, a restore).
  void pictureListChanged();
  // The element `id` has a new placement (an undo or redo, an alignment, typed numbers).
  void placementChanged(quint64 id);
  // The element `id` is drawn with another colour correction.
  void colourChanged(quint64 id);
  // The duration was set by a step (undo, redo, restore); the stack holds `seconds` exactly.
  void durationChanged(float seconds);
  // Play or pace were set by a step (the window's choice, undo, redo, restore).
  void playSettingsChanged();
  // The modified state or the name may have changed (the title shows both).
  void modifiedChanged(bool modified);
  // A job of the project's starts: emitted before the project connects to it, so an observer's
  // slots hear each of its signals before the project acts on them. `jobFinished` comes after the
  // job's own `finished`, once its threads have stopped; it is deleted soon after.
  void jobStarted(Job* job);
  void jobFinished(Job* job);

 private:
  ImageStack* StepStack() const override { return stack_.get(); }
  void StepPlacement(uint64_t id, const Transform& placement) override { SetPlacement(id, placement); }
  void StepColour(uint64_t id, const ColourCorrection& colour) override { SetColour(id, colour); }
  void StepDuration(float seconds) override;
  void StepPictureList() override {
    FitEndlessTarget();
    emit pictureListChanged();
  }
  void StepPlaySettings(const PlaySettings& settings, uint64_t target, const Transform& placement) override;
  // An endless project's target frame has the first picture's shape, whichever picture is first.
  void FitEndlessTarget();
  // Slots of the signals below may replace the project or stop its opening (Cancel closes it):
  // each of these compares `changes_` after every signal it emits and leaves what is no longer its
  // own. The replacements give the count they set, before their own signals.
  uint64_t Replace(std::unique_ptr<ImageStack> stack);
  bool ReadAndOpen(const std::string& file, const std::string& path, const std::string& recovery);
  bool BeginOpening();
  bool StartOpeningCheck();
  void OpeningStep();
  void EndOpening();
  uint64_t StopOpening();
  void Adopt(Job* job, const std::function<void()>& connectOwn = {});
  void ConnectAlignRun(AlignJob* job, const std::shared_ptr<AlignRun>& run);
  void ConnectColourRun(ColourJob* job, const std::shared_ptr<ColourRun>& run);
  void ForgetEdits();
  void ReplacePicturesUndoably(const std::vector<Image*>& pictures, std::vector<std::unique_ptr<Image>>& added);
  void RecordRestore();
  void ChangesNoUndoReaches();

  std::unique_ptr<ImageStack> stack_;
  QUndoStack* undoStack_;
  QTimer* recoveryTimer_;
  // Counts the projects replaced and the openings started or stopped.
  uint64_t changes_ = 0;
  PictureCheckJob* opening_ = nullptr;  // children, deleted after their end
  AlignJob* aligning_ = nullptr;
  ColourJob* matchingColours_ = nullptr;
  WebExportJob* webExporting_ = nullptr;
  VideoExportJob* videoExporting_ = nullptr;
  std::string recoveryWritten_;   // the recovery file last written or restored
  bool recovery_ = true;          // recovery files are offered and written
  bool alignWhenOpened_ = false;  // a new sequence: Align All once its pictures are checked
  OpeningPlan openingPlan_;
};
