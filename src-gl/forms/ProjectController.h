#pragma once
// The window side of the project-wide commands (File: New, Open, Save, Save As, Export, Exit;
// Edit: Undo, Redo, Image List, Placement, Align; Help): the questions, the file dialogs, the
// progress of the project's jobs and the window's title. What a command does to the project is
// the project's (`Project`); this class asks the user, forwards, and shows what came of it.
// A child of the main window, made with it.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>

class Job;
class QMenu;
class QMimeData;
class RecentProjects;
class Project;
class WebExportJob;
class TFormAbout;
class TFormImageList;
class TFormPlacement;
class TFormWebExport;
class TmainForm;

class ProjectController : public QObject {
 public:
  // `form`: the main window, whose views and menus the commands use; `project`: the open project.
  ProjectController(TmainForm& form, Project& project);
  ~ProjectController() override;

  // The main window's own windows, which the commands open and cancel (made after it, destroyed
  // before it).
  void SetWindows(TFormImageList* imageList, TFormAbout* about, TFormWebExport* webExport);

  // --- File ---
  void FileNewClick();
  void FileOpenClick();
  // File > Open Recent: `menu` lists the projects last opened or saved; a chosen one opens as
  // File > Open would open it.
  void ShowRecentProjects(QMenu* menu);
  RecentProjects* recentProjects() const { return recent_.get(); }
  void OpenRecentClick(const QString& file);
  // A folder (or files) of pictures, each the one before zoomed out, as a new project (asking
  // first when the open one has changes); Align All then refines the placements.
  void ImportSequenceClick();
  // Closes the open project (nothing asked) and opens `file`.
  void OpenProjectFile(const QString& file);
  // Opens the project at `path` and shows it; its pictures are checked in the background, after
  // which the load messages come and the commands are enabled.
  void OpenKX(const std::string& path);
  // Files dropped on the window: the first project among them opens (asking first when the open
  // one has changes); otherwise the JPEG pictures are added at the end of the image list, which
  // opens for them (for a new project when none is open).
  void FilesDropped(const QStringList& files);
  // The project named on the command line, or a never saved one kept from a session that ended
  // unexpectedly; once, when the view is first ready.
  void OpenStartProject(const QStringList& arguments);
  // Save and Save As: true when the project was written.
  bool SaveClick();
  bool SaveAsClick();
  // Before the open project is replaced or the editor ends: when it has unsaved changes, asks
  // whether to save them. False when the user cancelled or the save did not happen; the project
  // must then stay.
  bool MaySetProjectAside();
  void ExportToWebClick();
  void StartWebExport();  // the export dialog's Done
  void ExportVideoClick();

  // --- Edit ---
  void UndoClick();
  void RedoClick();
  void EditImageListClick();
  void CancelImageListEditing();  // before the stack is replaced or discarded
  // The placement of the selected picture's child as numbers: applied as typed, one undo step.
  void EditPlacementClick();
  // The open placement dialog, if any, after the stack's elements changed: it names its element
  // where it is now, or closes when the element has gone.
  void PlacementFollowsList();
  // Alignment runs on a worker (the project's job); each placement found is one undo step.
  void AlignClick();
  void AlignAllClick();
  void StartAlign(int child);  // -1: every picture
  // Colours are matched on a worker too (the project's job); each correction is one undo step.
  // Align All, once it has run to its end, offers to match every picture's colours as well.
  void MatchColoursClick();
  void MatchAllColoursClick();

  // --- Help ---
  void HelpContentsClick();
  void HelpGettingStartedClick();
  void AboutClick();

  // "NAME* - Tunnelvista Editor" while modified, without the mark when saved.
  void UpdateTitle();

 private:
  void ShowProgress(Job* job);  // the project starts a job
  void WebExportFinished(const WebExportJob& job);
  QString PlacementCaption(int c) const;  // "b.jpg in a.jpg" for element c
  void OfferColourMatch();                // after Align All

  TmainForm& form_;
  Project& project_;
  QPointer<TFormImageList> imageList_;
  QPointer<TFormAbout> about_;
  QPointer<TFormWebExport> webExport_;
  QPointer<TFormPlacement> placementDialog_;  // Edit > Placement while it is open
  uint64_t placementElement_ = 0;             // the element it changes
  std::unique_ptr<RecentProjects> recent_;
  bool aligningAll_ = false;  // the alignment running is Align All
};

// The local files a drag carries that the main window takes: projects and JPEG pictures.
QStringList DroppableFiles(const QMimeData* data);
