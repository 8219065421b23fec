// Export Video: the menu item, and the settings dialog filled from the project.

#include "mainVideo.h"

#include <QAction>
#include <QMenu>
#include <QProgressDialog>

#include "Dlgvideoexport.h"
#include "main.h"

QAction* AddExportVideoAction(TmainForm& form, QMenu* menu) {
  QAction* action = menu->addAction(QStringLiteral("Export Video..."), &form, [&form] { form.ExportVideoClick(); });
  action->setObjectName(QStringLiteral("ExportVideo"));
  // It needs what Export to Web needs: a project whose pictures have all been checked.
  action->setEnabled(form.ExportToWeb->isEnabled());
  QObject::connect(form.ExportToWeb, &QAction::enabledChanged, action, &QAction::setEnabled);
  return action;
}

void TmainForm::ExportVideoClick() {
  if (!Stack() || Stack()->pictureCount() < 1 || !ExportVideo->isEnabled()) return;
  StopPlay();
  auto* dialog = findChild<TFormVideoExport*>();
  if (!dialog) dialog = new TFormVideoExport(this);
  if (dialog->Running()) {
    if (dialog->Progress) dialog->Progress->raise();
    return;
  }
  dialog->ShowForExport();
}
