// Opening a project: the file is read at once and the window shows it; its pictures are checked
// on worker threads, the first ones first, and appear as they are ready. A strip under the
// picture list shows the progress and can cancel the opening.

#include <QAction>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include "EditorMenus.h"
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

void TmainForm::OpenKX(const std::string& path) {
  {
    // The lines of the project that was open name pictures that are gone.
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
  }
  menus_->EnableProjectCommands(false);
  // The project shows once its text is read (Project::opened), its pictures as they arrive.
  if (!project_.Open(path)) Panel->update();  // no project now
}

void TmainForm::ShowOpeningProgress(int checked, int total, const QString& next) {
  OpeningProgress->setRange(0, total);
  OpeningProgress->setValue(checked);
  if (!Opening()) {
    OpeningStrip->hide();
    return;
  }
  if (next.isEmpty()) return;
  // The picture in hand, as much of its name as fits.
  const QFontMetrics metrics = OpeningProgress->fontMetrics();
  const QString count = QStringLiteral("  %1 / %2").arg(checked).arg(total);
  const int room = OpeningProgress->width() - metrics.horizontalAdvance(count) - 12;
  const QString shown = room > metrics.horizontalAdvance(QStringLiteral("W..."))
                            ? metrics.elidedText(next, Qt::ElideMiddle, room)
                            : QString();
  OpeningProgress->setFormat(shown + QStringLiteral("  %v / %m"));
  OpeningProgress->setToolTip(QStringLiteral("Checking ") + next);
}

void TmainForm::OpeningFinished() {
  OpeningStrip->hide();
  const ImageStack* imageStack = project_.stack();
  if (!imageStack) return;
  for (int row = 0; row < ListBox->count() && row < imageStack->pictureCount(); ++row)
    MarkEntry(ListBox->item(row), *imageStack->images[static_cast<size_t>(row)]);
  view_->CheckTextureLimit();
  EnableProjectCommands();
  FormPaint();
  Panel->update();
}

void TmainForm::CancelOpening() {
  if (!Opening()) return;
  playback_->StopPlay();
  CancelImageListEditing();
  project_.CancelOpening();
  {
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
  }
  Panel->update();
}
