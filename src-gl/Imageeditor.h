#pragma once
// The image list editor: adds, removes, reorders and reloads the pictures of a project.

#include <QWidget>

class TFormImageList : public QWidget {
 public:
  TFormImageList();
  ~TFormImageList() override;

  bool newProject = false;

  void OpenForNewProject();  // File > New...
  void OpenForEditing();     // Edit > Image List...
};

extern TFormImageList* FormImageList;
