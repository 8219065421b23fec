// Opening a project: the file is read at once and the window shows it; its pictures are checked
// on worker threads, the first ones first, and appear as they are ready. A strip under the
// picture list shows the progress and can cancel the opening.

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUndoStack>

#include <algorithm>

#include "Dlgwebexport.h"
#include "Imageeditor.h"
#include "main.h"

void TmainForm::BuildOpeningStrip() {
  OpeningStrip = new QWidget(mainPanel);
  OpeningStrip->setObjectName(QStringLiteral("OpeningStrip"));
  OpeningStrip->setAutoFillBackground(true);
  auto* row = new QHBoxLayout(OpeningStrip);
  row->setContentsMargins(3, 3, 3, 3);
  row->setSpacing(3);
  OpeningProgress = new QProgressBar(OpeningStrip);
  OpeningProgress->setObjectName(QStringLiteral("OpeningProgress"));
  OpeningProgress->setFormat(QStringLiteral("%v / %m"));
  OpeningProgress->setToolTip(QStringLiteral("Pictures checked"));
  OpeningCancel = new QPushButton(QStringLiteral("Cancel"), OpeningStrip);
  OpeningCancel->setObjectName(QStringLiteral("OpeningCancel"));
  OpeningCancel->setToolTip(QStringLiteral("Stop opening the project"));
  row->addWidget(OpeningProgress, 1);
  row->addWidget(OpeningCancel);
  connect(OpeningCancel, &QPushButton::clicked, this, [this] { CancelOpening(); });
  OpeningStrip->hide();
}

void TmainForm::OpenKX() {
  if (!imageStack) return;
  StopOpening();
  {
    // The lines of the project that was open name pictures that are gone.
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
  }
  for (QAction* action : {Save, SaveAs, ExportToWeb, EditImageList}) action->setEnabled(false);
  // Changes a crash kept from being saved are read in the project's place when the user wants
  // them; the project keeps its own name.
  const std::string projectPath = imageStack->path;
  std::string recovery = OfferRecovery(projectPath);
  if (!recovery.empty() && !RecoveryReadable(recovery, projectPath)) recovery.clear();
  if (!recovery.empty()) imageStack->path = recovery;
  const bool read = imageStack->ReadProjectFile();
  imageStack->path = projectPath;
  if (!read) {
    // No project now.
    SetImageStack(nullptr);
    Panel->update();
    return;
  }
  ForgetEdits();
  if (!recovery.empty()) {
    recoveryWritten_ = recovery;
    RecordRestore();  // one step from the saved project, so the project shows as changed
  }
  InitValues();
  QPointer<TmainForm> self(this);
  opening_ = imageStack->StartCheck([self] {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self] {
          if (self) self->OpeningStep();
        },
        Qt::QueuedConnection);
  });
  OpeningProgress->setRange(0, static_cast<int>(opening_->Total()));
  OpeningProgress->setValue(0);
  OpeningStrip->show();
  OpeningStrip->raise();
  OpeningStep();  // a project without pictures is open at once
}

void TmainForm::OpeningStep() {
  if (!opening_ || !imageStack) return;
  if (imageStack->ApplyChecks(*opening_)) {
    // The first picture's size fits the view's span; the selected picture shows as it arrives.
    PanelResize();
    Panel->update();
  }
  const size_t checked = opening_->Checked();
  OpeningProgress->setValue(static_cast<int>(checked));
  if (!opening_->Finished() && imageStack->pictureCount() > 0) {
    // The picture in hand (the workers take them in list order), as much of its name as fits.
    const size_t next = std::min(checked, static_cast<size_t>(imageStack->pictureCount() - 1));
    const QString name = QFile::decodeName(QByteArray::fromStdString(imageStack->images[next]->baseName));
    const QFontMetrics metrics = OpeningProgress->fontMetrics();
    const QString count = QStringLiteral("  %1 / %2").arg(checked).arg(opening_->Total());
    const int room = OpeningProgress->width() - metrics.horizontalAdvance(count) - 12;
    const QString shown = room > metrics.horizontalAdvance(QStringLiteral("W..."))
                              ? metrics.elidedText(name, Qt::ElideMiddle, room)
                              : QString();
    OpeningProgress->setFormat(shown + QStringLiteral("  %v / %m"));
    OpeningProgress->setToolTip(QStringLiteral("Checking ") + name);
    return;
  }
  if (!opening_->Finished()) return;
  imageStack->ApplyChecks(*opening_);  // results that came in since
  StopOpening();
  for (int row = 0; row < ListBox->count() && row < imageStack->pictureCount(); ++row)
    MarkEntry(ListBox->item(row), *imageStack->images[static_cast<size_t>(row)]);
  imageStack->ReportFailedPictures();
  CheckTextureLimit();
  EnableProjectCommands();
  if (FormWebExport) FormWebExport->ButtonDefaultsClick();
  FormPaint();
  Panel->update();
}

void TmainForm::StopOpening() {
  opening_.reset();
  if (OpeningStrip) OpeningStrip->hide();
}

void TmainForm::CancelOpening() {
  if (!opening_) return;
  StopPlay();
  CancelImageListEditing();
  SetImageStack(nullptr);
  {
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
  }
  Panel->update();
}
