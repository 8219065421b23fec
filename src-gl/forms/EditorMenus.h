#pragma once
// The main window's menus, their actions and the window's own keys: built once, enabled as the
// open project allows. The actions belong to the window (Qt parents) and call its commands.

class QAction;
class QMenu;
class TmainForm;

class EditorMenus {
 public:
  // Builds the menu bar of `form` and adds the keys that are in no menu.
  explicit EditorMenus(TmainForm& form);

  // The commands that need a project whose pictures have all been checked.
  void EnableProjectCommands(bool on);

  // The actions, named as the window's controls (object names too, for tests and look-ups).
  QAction* FileNew = nullptr;
  QAction* FileOpen = nullptr;
  QMenu* OpenRecent = nullptr;  // the projects last opened or saved (ProjectController's)
  QAction* FileImportSequence = nullptr;
  QAction* Save = nullptr;
  QAction* SaveAs = nullptr;
  QAction* ExportToWeb = nullptr;
  QAction* ExportVideo = nullptr;  // enabled with Export to Web
  QAction* Exit = nullptr;
  QAction* EditUndo = nullptr;
  QAction* EditRedo = nullptr;
  QAction* EditImageList = nullptr;
  QAction* EditPlacement = nullptr;
  QAction* EditAlign = nullptr;            // Ctrl+L: the selected picture's child
  QAction* EditAlignAll = nullptr;         // every picture in turn
  QAction* EditMatchColours = nullptr;     // the selected picture's colours to its parent's
  QAction* EditMatchAllColours = nullptr;  // every picture's from the second on, in order
  QAction* HelpContents = nullptr;
  QAction* HelpGettingStarted = nullptr;
  QAction* About = nullptr;
  QAction* PlayKey = nullptr;        // Space: play or pause
  QAction* ResetViewKey = nullptr;   // Ctrl+0: the edit view back to its fitted size
  QAction* FullScreenKey = nullptr;  // F11

 private:
  void BuildFileMenu(QMenu* file);
  void BuildEditMenu(QMenu* edit);
  void FollowUndoStack();
  void BuildAlignActions(QMenu* edit);
  void BuildHelpMenu(QMenu* help);
  void BuildWindowKeys();
  void NameActions();

  TmainForm& form_;
};
