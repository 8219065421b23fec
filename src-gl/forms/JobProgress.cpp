#include "JobProgress.h"

#include <QProgressDialog>

#include "Job.h"

QProgressDialog* ShowJobProgress(Job* job, QWidget* owner, const QString& name, const QString& title,
                                 const QString& label) {
  auto* dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 0, owner);
  dialog->setObjectName(name);
  dialog->setWindowTitle(title);
  dialog->setWindowModality(Qt::WindowModal);
  dialog->setAutoClose(false);
  dialog->setAutoReset(false);
  dialog->setMinimumDuration(0);
  auto cancel = [job, dialog] {
    dialog->setLabelText(QStringLiteral("Cancelling..."));
    job->Cancel();
  };
  QObject::connect(dialog, &QProgressDialog::canceled, job, cancel);
  QObject::connect(dialog, &QDialog::rejected, job, cancel);  // Escape hides the dialog: the job stops too
  QObject::connect(job, &Job::progress, dialog, [dialog](int done, int total, const QString& what) {
    if (dialog->wasCanceled()) return;
    if (total > 1) {
      dialog->setMaximum(total);
      dialog->setValue(done);
    }
    if (!what.isEmpty()) dialog->setLabelText(what);
  });
  QObject::connect(job, &Job::finished, dialog, [dialog] {
    dialog->close();
    dialog->deleteLater();
  });
  dialog->show();
  return dialog;
}
