#pragma once
// The main window: the picture list, the duration field, the OpenGL view and the play bar. It shows
// the open project (a `Project`, made by the start-up and outliving the window) and forwards what
// the user asks for to it.

#include <QMainWindow>
#include <QOpenGLWidget>
#include <QPointer>
#include <QRegularExpression>
#include <cstdint>
#include <functional>
#include <memory>

#include "EditorFiles.h"
#include "Imagestack.h"
#include "Project.h"
#include "Renderer.h"
#include "Playbar.h"
#include "Transform.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;
class QUndoStack;
class QMenu;
class TAlignRun;
class TFormAbout;
class TFormBitmap;
class TFormImageList;
class TFormPlacement;
class TFormWebExport;
class WebExportJob;
class TmainForm;

// The OpenGL view. It only forwards: initialisation, size changes, painting and the mouse go to
// the main window's operations, which run with this widget's context current.
class TGLPanel : public QOpenGLWidget {
 public:
  explicit TGLPanel(TmainForm* form, QWidget* parent);
  ~TGLPanel() override;
  // Framebuffer pixels per logical pixel (mouse positions and sizes are scaled by it).
  double PixelRatio() const { return devicePixelRatioF(); }
  // The view's size in framebuffer pixels with the span fitted to the first picture.
  ViewGeometry Geometry() const;
  // Draws with this view's context; null until the context exists and after it has gone.
  Renderer* renderer() const { return renderer_.get(); }

 protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CleanUpGL();
  TmainForm* form_;
  std::unique_ptr<Renderer> renderer_;
};

// The play bar's paint box: shows the composed bar and passes the mouse to the play bar.
class TPlaybarBox : public QWidget {
 public:
  explicit TPlaybarBox(TmainForm* form, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TmainForm* form_;
};

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
  const QImage& HandleSprite() const;
  PlaybarGraphics& PlaybarPictures() const;

  // --- state ---
  Transform viewTransform;  // zoom and pan of the edit view; rotate stays 0
  uint32_t lastTick = 0;    // tick count at the last playback step
  Playbar playbar;
  bool playView = false;  // the view shows the zoom at the play position, not the edit view

  // The view's mouse: what a press started and where the mouse was last, in framebuffer pixels
  // with the origin at the view's top-left.
  bool panelDragging = false;
  Qt::MouseButton panelButton = Qt::LeftButton;
  DragMode panelDragMode = DragMode::Pan;
  int panelLastX = 0;
  int panelLastY = 0;
  Transform panelDragStart;  // the dragged element's placement at the press

  // --- controls ---
  QWidget* mainPanel;
  QListWidget* ListBox;
  TGLPanel* Panel;
  QLabel* Label1;
  QLineEdit* EditTime;
  TPlaybarBox* PaintBoxControls;
  QTimer* Timer;
  QWidget* OpeningStrip = nullptr;  // over the duration field while a project's pictures are checked
  QProgressBar* OpeningProgress;
  QPushButton* OpeningCancel;
  QAction* FileNew;
  QAction* FileOpen;
  QAction* Save;
  QAction* SaveAs;
  QAction* ExportToWeb;
  QAction* ExportVideo;  // enabled with Export to Web (mainVideo.cpp)
  QAction* Exit;
  QAction* EditUndo;
  QAction* EditRedo;
  QAction* EditImageList;
  QAction* EditPlacement;
  QAction* HelpContents;
  QAction* HelpGettingStarted;
  QAction* About;
  QAction* PlayKey;        // Space: play or pause
  QAction* ResetViewKey;   // Ctrl+0: the edit view back to its fitted size
  QAction* FullScreenKey;  // F11

  // Automatic alignment (mainAlign.cpp): Ctrl+L aligns the selected picture's child, Align All
  // every picture in turn; `aligning` is the run in progress (a child object), if any.
  QAction* EditAlign = nullptr;
  QAction* EditAlignAll = nullptr;
  TAlignRun* aligning = nullptr;
  // The web export in progress (a child object, mainExport.cpp), if any.
  WebExportJob* webExporting = nullptr;

  EditorFiles editorFiles;  // the data files and the texture budget, from the start-up

  // --- seams for tests ---
  std::function<uint32_t()> tickSource;  // 32-bit milliseconds, wrapping
  std::function<void(int)> exitProcess;  // ends the program with this status (through the event loop)

  // --- view and repaint ---
  void FormPaint();
  void PanelResize();
  void ListBoxClick();
  void EditTimeChange();
  int SelectedPicture() const;  // the selected line, -1 when none

  // --- the view's mouse (positions in framebuffer pixels) ---
  void PanelMouseDown(Qt::MouseButton button, int X, int Y);
  void PanelMouseMove(int X, int Y);
  void PanelMouseUp(Qt::MouseButton button);
  // The wheel over the view at (X, Y): `notches` (120ths of a turn / 120) zoom the edit view
  // about that point, a tenth per notch.
  void PanelWheel(int X, int Y, double notches);
  // Home and End in the view: the zoom at the start or the end of the pass.
  void JumpTo(float position);
  // A key's small change of the selected picture's child: Move by (a, b) logical pixels of the
  // screen (y down), Scale by the factor a, Rotate by a degrees counter-clockwise. One undo step,
  // merged with the step before while the same change is repeated. False when there is no child
  // to change (the key then does what it would otherwise do).
  bool NudgeChild(Nudge kind, double a, double b, bool repeated);
  // A placement change made other than by a drag (keys, the placement dialog) of element
  // `element`, which was `before`: one undo step. With a `nudge`, merged into the step before when
  // that one was the same kind of nudge of the same element, repeated or within a second.
  void RecordPlacementChange(int element, const Transform& before, const Nudge* nudge = nullptr, bool repeated = false);
  // The child that the view's drags and keys change: the selected picture's next element, or -1.
  int EditedChild() const;

  // --- playback ---
  void PlayButtonClick();
  void NextFrame();
  void StopPlay();
  void TrackBarChange();
  void PaintBoxControlsMouseDown(int x);
  void PaintBoxControlsMouseMove(int x);
  void PaintBoxControlsMouseUp();

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
  void BuildAlignActions(QMenu* edit);
  void AlignClick();
  void AlignAllClick();
  void StartAlign(int child);  // -1: every picture
  // The placement found for the child `childId` in `parentId`: one undo step. False (nothing
  // changed) when that child no longer lies in that parent.
  bool ApplyAlignment(uint64_t childId, uint64_t parentId, const Transform& placement) {
    return project_.ApplyAlignment(childId, parentId, placement);
  }

  // --- the GL view's side (context current) ---
  void OpenGLSetupParams();
  void PaintView();
  // Tells the user, once, what the renderer could not do (a level that did not fit), after the
  // paint that found it.
  void ShowRendererMessage();
  // The pictures larger than the view's texture limit get the "Max Image Size Exceeded" note.
  void CheckTextureLimit();
  // Makes the view's context current for work outside painting; false before the view exists.
  bool MakeViewCurrent();

  void EnableProjectCommands();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildOpeningStrip();
  void LayoutControls();
  void FormClose();
  void ConnectProject();
  void ShowOpeningProgress(int checked, int total, const QString& next);
  void OpeningFinished();
  void RecordPlacement();  // the end of a drag: one undo step when the placement changed

  Project& project_;
  TFormBitmap& bitmaps_;
  QPointer<TFormImageList> imageList_;
  QPointer<TFormAbout> about_;
  QPointer<TFormWebExport> webExport_;
  QStringList arguments_;
  bool shown_ = false;
  bool programSetsFields_ = false;            // field changes made by the program are not edits
  int panelDragElement_ = -1;                 // the element a left drag moves, -1 for none
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
