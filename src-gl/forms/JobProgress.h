#pragma once
// A running job's progress in the editor: a window-modal progress dialog with Cancel over the
// main window, which blocks editing meanwhile while the window keeps painting.

#include <QString>

class Job;
class QProgressDialog;
class QWidget;

// Shows the dialog (`name` as its object name) for `job` and follows it: `progress` moves the bar
// (a busy bar while a job has a single step) and names the step, Cancel or Escape cancels the job,
// and the dialog closes and goes when the job has finished.
QProgressDialog* ShowJobProgress(Job* job, QWidget* owner, const QString& name, const QString& title,
                                 const QString& label);
