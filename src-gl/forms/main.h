#pragma once
// The main window: the picture list, the duration field, the OpenGL view and the play bar. It shows
// the open project (a `Project`, made by the start-up and outliving the window) and forwards what
// the user asks for to it.

#include <QMainWindow>
#include <QPointer>
#include <QRegularExpression>
#include <cstdint>
#include <functional>
#include <memory>

#include "EditorFiles.h"
#include "GLPanel.h"
#include "Imagestack.h"
#include "PlaybarController.h"
#include "Project.h"
#include "Transform.h"
#include "ViewController.h"

class EditorMenus;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class TAlignRun;
class TFormAbout;
class TFormBitmap;
class TFormImageList;
class TFormPlacement;
class TFormWebExport;
class WebExportJob;

// The main window lays out its controls and wires them to the project; the view, the play bar and
// the menus are classes of their own that it owns.
class TmainForm : public QMainWindow {
 public:
  // `project`: the open project, which outlives the window. `bitmaps`: the play bar's pictures and
  // the handle sprite. `arguments`: the command line after the program's name.
  TmainForm(Project& project, TFormBitmap& bitmaps, const QStringList& arguments = {}, EditorFiles files = {});
  ~TmainForm() override;

  Project& project() const { return project_; }
  ImageStack* Stack() const { return project_.stack(); }  // the open document, if any
  // The main window's own windows, which it opens and cancels (made after it, destroyed before it).
  void SetWindows(TFormImageList* imageList, TFormAbout* about, TFormWebExport* webExport);
  ViewController& view() const { return *view_; }
  PlaybarController& playback() const { return *playback_; }
  EditorMenus& menus() const { return *menus_; }

  // --- controls ---
  QWidget* mainPanel;
  QListWidget* ListBox;
  TGLPanel* Panel;
  QLabel* Label1;
  QLineEdit* EditTime;
  // How the project plays, beside the duration: "There and back" or "Endless"; "Eased" or
  // "Steady" (an endless project always plays steady, which the pace shows, disabled).
  QLabel* LabelPlay;
  QComboBox* ComboPlay;
  QLabel* LabelPace;
  QComboBox* ComboPace;
  QLabel* LabelTarget;              // what the target frame means in the project's mode
  QWidget* PaintBoxControls;        // the play bar (the play bar controller's)
  QWidget* OpeningStrip = nullptr;  // over the duration field while a project's pictures are checked
  QProgressBar* OpeningProgress;
  QPushButton* OpeningCancel;
  // The alignment run in progress (a child object, mainAlign.cpp), if any.
  TAlignRun* aligning = nullptr;
  // The web export in progress (a child object, mainExport.cpp), if any.
  WebExportJob* webExporting = nullptr;

  EditorFiles editorFiles;  // the data files and the texture budget, from the start-up

  // --- seams for tests ---
  std::function<void(int)> exitProcess;  // ends the program with this status (through the event loop)

  // --- repaint ---
  void FormPaint();
  void ListBoxClick();
  void EditTimeChange();
  void ComboPlayChange();
  void ComboPaceChange();
  // The project's play and pace in their fields (the defaults without a project); no edit.
  void ShowPlaySettings();
  int SelectedPicture() const;  // the selected line, -1 when none

  // --- document commands ---
  void FileNewClick();
  void FileOpenClick();
  // Closes the open project (nothing asked) and opens `file`.
  void OpenProjectFile(const QString& file);
  // Files dropped on the window: the first project among them opens (asking first when the open
  // one has changes); otherwise the JPEG pictures are added at the end of the image list, which
  // opens for them (for a new project when none is open).
  void FilesDropped(const QStringList& files);
  // Opens the project at `path` and shows it; its pictures are checked in the background, after
  // which the load messages come and the commands are enabled.
  void OpenKX(const std::string& path);
  bool Opening() const { return project_.Opening(); }
  void CancelOpening();  // the strip's Cancel: the project is closed
  void InitValues();
  // Save and Save As: true when the project was written.
  bool SaveClick();
  bool SaveAsClick();
  void ExitClick();
  // Before the open project is replaced or the editor ends: when it has unsaved changes, asks
  // whether to save them. False when the user cancelled or the save did not happen; the
  // project must then stay.
  bool MaySetProjectAside();
  // "NAME* - Tunnelvista Editor" while modified, without the mark when saved.
  void UpdateTitle();
  void UndoClick();
  void RedoClick();
  // For the project's signals: the duration, shown in the field; the pictures after the stack's
  // elements were replaced.
  void ShowDuration(float seconds);
  void ShowChangedPictures();
  void EditImageListClick();
  // The placement of the selected picture's child as numbers: applied as typed, one undo step.
  void EditPlacementClick();
  // The open placement dialog, if any, after the stack's elements changed: it names its element
  // where it is now, or closes when the element has gone.
  void PlacementFollowsList();
  void ExportToWebClick();
  void ExportVideoClick();
  void HelpContentsClick();
  void HelpGettingStartedClick();
  void AboutClick();
  void StartWebExport();          // the export dialog's Done
  void ImageListClosed();         // the image list dialog's Done, Cancel or close box
  void WebExportFinished();       // the export job's end
  void CancelImageListEditing();  // before the stack is replaced or discarded
  void FormShow();                // opens the project named on the command line
  // Alignment runs on a worker; each placement found is one undo step.
  void AlignClick();
  void AlignAllClick();
  void StartAlign(int child);  // -1: every picture
  // The placement found for the child `childId` in `parentId`: one undo step. False (nothing
  // changed) when that child no longer lies in that parent.
  bool ApplyAlignment(uint64_t childId, uint64_t parentId, const Transform& placement) {
    return project_.ApplyAlignment(childId, parentId, placement);
  }

  void EnableProjectCommands();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildOpeningStrip();
  void LayoutControls();
  void FormClose();
  void ConnectProject();
  void ShowOpeningProgress(int checked, int total, const QString& next);
  void OpeningFinished();

  Project& project_;
  TFormBitmap& bitmaps_;
  QPointer<TFormImageList> imageList_;
  QPointer<TFormAbout> about_;
  QPointer<TFormWebExport> webExport_;
  PlaybarController* playback_;  // children, made after the window's controls' panel
  ViewController* view_;
  std::unique_ptr<EditorMenus> menus_;
  QStringList arguments_;
  bool shown_ = false;
  bool programSetsFields_ = false;            // field changes made by the program are not edits
  QPointer<TFormPlacement> placementDialog_;  // Edit > Placement while it is open
  uint64_t placementElement_ = 0;             // the element it changes
  QString PlacementCaption(int c) const;      // "b.jpg in a.jpg" for element c
};

// What the duration field takes: seconds as digits with at most one decimal point.
inline const QRegularExpression durationPattern{QStringLiteral("\\s*[0-9]*\\.?[0-9]*\\s*")};
// The editor's dialogs: on top of the main window, not modal, only a close box.
constexpr Qt::WindowFlags dialogWindowFlags = Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                              Qt::MSWindowsFixedSizeDialogHint;

// Shows `dialog` without blocking, centred over its parent (the main window) when it appears.
void ShowOverMainWindow(QWidget* dialog);
