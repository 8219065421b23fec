#pragma once
// The main window: the picture list, the duration field, the OpenGL view and the play bar. It shows
// the open project (a `Project`, made by the start-up and outliving the window); what the user asks
// of the project as a whole goes through its `ProjectController`.

#include <QMainWindow>
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
class ProjectController;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class TFormAbout;
class TFormBitmap;
class TFormImageList;
class TFormWebExport;

// The main window lays out its controls and shows the project in them; the view, the play bar,
// the menus and the project-wide commands are classes of their own that it owns.
class TmainForm : public QMainWindow {
 public:
  // `project`: the open project, which outlives the window. `bitmaps`: the play bar's pictures and
  // the handle sprite. `arguments`: the command line after the program's name.
  TmainForm(Project& project, TFormBitmap& bitmaps, const QStringList& arguments = {}, EditorFiles files = {});
  ~TmainForm() override;

  Project& project() const { return project_; }
  ImageStack* Stack() const { return project_.stack(); }  // the open document, if any
  // The main window's own windows, which its commands open and cancel (made after it, destroyed
  // before it).
  void SetWindows(TFormImageList* imageList, TFormAbout* about, TFormWebExport* webExport);
  ViewController& view() const { return *view_; }
  PlaybarController& playback() const { return *playback_; }
  EditorMenus& menus() const { return *menus_; }
  ProjectController& commands() const { return *commands_; }

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

  EditorFiles editorFiles;  // the data files and the texture budget, from the start-up

  // --- seams for tests ---
  std::function<void(int)> exitProcess;  // ends the program with this status (through the event loop)

  // --- showing the project ---
  void FormPaint();
  void ListBoxClick();
  void EditTimeChange();
  void ComboPlayChange();
  void ComboPaceChange();
  // The project's play and pace in their fields (the defaults without a project); no edit.
  void ShowPlaySettings();
  int SelectedPicture() const;  // the selected line, -1 when none
  // The list, the duration and the view from the open project, the play position at the start.
  void InitValues();
  void ClearPictureList();  // no lines (no project, or one about to open)
  // For the project's signals: the duration, shown in the field; the pictures after the stack's
  // elements were replaced.
  void ShowDuration(float seconds);
  void ShowChangedPictures();
  bool Opening() const { return project_.Opening(); }
  void CancelOpening();  // the strip's Cancel: the project is closed
  // The commands that need a project whose pictures have all been checked (Save, Export, ...).
  void EnableProjectCommands(bool on = true);
  bool ProjectCommandsEnabled() const;
  void ImageListClosed();  // the image list dialog's Done, Cancel or close box
  // A new project was made: its first picture selected, the view editing its child.
  void EditFirstPicture();
  void ExitClick();  // asks about unsaved changes, then ends the program

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildOpeningStrip();
  void LayoutControls();
  void FormShow();  // opens the project named on the command line, once
  void FormClose();
  void ConnectProject();
  void ShowOpeningProgress(int checked, int total, const QString& next);
  void OpeningFinished();

  Project& project_;
  TFormBitmap& bitmaps_;
  PlaybarController* playback_;  // children, made after the window's controls' panel
  ViewController* view_;
  std::unique_ptr<EditorMenus> menus_;
  ProjectController* commands_;  // a child
  QStringList arguments_;
  bool shown_ = false;
  bool programSetsFields_ = false;  // field changes made by the program are not edits
};

// What the duration field takes: seconds as digits with at most one decimal point.
inline const QRegularExpression durationPattern{QStringLiteral("\\s*[0-9]*\\.?[0-9]*\\s*")};
// The editor's dialogs: on top of the main window, not modal, only a close box.
constexpr Qt::WindowFlags dialogWindowFlags = Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                              Qt::MSWindowsFixedSizeDialogHint;

// Shows `dialog` without blocking, centred over its parent (the main window) when it appears.
void ShowOverMainWindow(QWidget* dialog);
