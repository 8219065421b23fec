#include "Imageeditor.h"

TFormImageList* FormImageList = nullptr;

TFormImageList::TFormImageList()
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  FormImageList = this;
  setObjectName(QStringLiteral("FormImageList"));
  setWindowTitle(QStringLiteral("Image List Editor"));
  setFixedSize(428, 274);
}

TFormImageList::~TFormImageList() {
  if (FormImageList == this) FormImageList = nullptr;
}

void TFormImageList::OpenForNewProject() {
  newProject = true;
  show();
  raise();
}

void TFormImageList::OpenForEditing() {
  newProject = false;
  show();
  raise();
}
