#pragma once
// The main window's view: the OpenGL panel, the edit view's pan and zoom, the drags that change the
// selected picture's child and their undo steps, the keys' nudges, and painting.

#include <QObject>
#include <QImage>
#include <cstddef>
#include <functional>

#include "GLPanel.h"
#include "Imagestack.h"
#include "Project.h"
#include "Transform.h"

class QListWidget;
class PlaybarController;
class TGLPanel;

class ViewController : public QObject, public GLPanelClient {
 public:
  // `list`: the picture list, whose selected line is the picture the view edits. `panelParent`:
  // where the GL panel goes (the window lays it out). `textureBudget` and `handleSprite` go to
  // each renderer the panel makes.
  ViewController(Project& project, PlaybarController& playback, QListWidget* list, QWidget* panelParent,
                 size_t textureBudget, const QImage& handleSprite, QObject* parent);

  TGLPanel* Panel() const { return panel_; }
  ImageStack* Stack() const override { return project_.stack(); }
  int SelectedPicture() const;
  // Zoom and pan of the edit view; rotate stays 0.
  Transform& viewTransform() { return viewTransform_; }
  bool Dragging() const { return dragging_; }
  DragMode DragModeNow() const { return dragMode_; }
  Qt::MouseButton DragButton() const { return button_; }

  // Called once the panel's context exists (the window opens the command line's project then).
  std::function<void()> contextReady;

  // --- the mouse (positions in framebuffer pixels, origin at the view's top-left) ---
  void PanelMouseDown(Qt::MouseButton button, int X, int Y) override;
  void PanelMouseMove(int X, int Y) override;
  void PanelMouseUp(Qt::MouseButton button) override;
  // The wheel at (X, Y): `notches` (120ths of a turn / 120) zoom the edit view about that point,
  // a tenth per notch.
  void PanelWheel(int X, int Y, double notches) override;
  void JumpTo(float position) override;  // Home and End
  // A key's small change of the selected picture's child: Move by (a, b) logical pixels of the
  // screen (y down), Scale by the factor a, Rotate by a degrees counter-clockwise. One undo step,
  // merged with the step before while the same change is repeated. False when there is no child
  // to change (the key then does what it would otherwise do).
  bool NudgeChild(Nudge kind, double a, double b, bool repeated) override;
  // The child that the view's drags and keys change: the selected picture's next element, or -1.
  int EditedChild() const;
  void ForgetDrag() { dragElement_ = -1; }  // the project the drag belonged to has gone
  void ResetEditView();                     // the edit view back to its fitted size

  // --- the GL side (context current) ---
  void ContextMade() override;  // a new context with its renderer: then the window may open a project
  void Resized() override;
  void Paint() override;
  // Tells the user, once, what the renderer could not do (a level that did not fit), after the
  // paint that found it.
  void ShowRendererMessage();
  // The pictures larger than the view's texture limit get the "Max Image Size Exceeded" note.
  void CheckTextureLimit();
  // Makes the view's context current for work outside painting; false before the view exists.
  bool MakeViewCurrent();
  size_t TextureBudget() const override { return textureBudget_; }
  const QImage& HandleSprite() const override { return handleSprite_; }

 private:
  void RecordDrag();  // the end of a drag: one undo step when the placement changed

  Project& project_;
  PlaybarController& playback_;
  QListWidget* list_;
  TGLPanel* panel_;
  size_t textureBudget_;
  const QImage& handleSprite_;
  Transform viewTransform_;
  // What a press started and where the mouse was last.
  bool dragging_ = false;
  Qt::MouseButton button_ = Qt::LeftButton;
  DragMode dragMode_ = DragMode::Pan;
  int lastX_ = 0;
  int lastY_ = 0;
  int dragElement_ = -1;  // the element a left drag moves, -1 for none
  Transform dragStart_;   // its placement at the press
};
