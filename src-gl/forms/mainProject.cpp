// What the main window shows of the open project: the picture list, the duration field, the view
// after a change, and while a project opens the progress strip under the list. The project's
// signals reach the window here.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include "EditorMenus.h"
#include "Imageeditor.h"
#include "Paths.h"
#include "ProjectController.h"
#include "TextNumbers.h"
#include "main.h"

void TmainForm::ConnectProject() {
  connect(&project_, &Project::stackReplaced, this, [this] {
    view_->ForgetDrag();  // a drag under way belonged to the project that went
    if (!Opening()) OpeningStrip->hide();
  });
  connect(&project_, &Project::durationChanged, this, [this](float seconds) { ShowDuration(seconds); });
  connect(&project_, &Project::placementChanged, this, [this] { FormPaint(); });
  connect(&project_, &Project::colourChanged, this, [this] { FormPaint(); });
  connect(&project_, &Project::playSettingsChanged, this, [this] {
    ShowPlaySettings();
    commands_->PlacementFollowsList();  // the target frame's caption says what it places
    PaintBoxControls->update();
    Panel->update();
  });
  connect(&project_, &Project::stackReplaced, this, [this] { ShowPlaySettings(); });
  connect(&project_, &Project::pictureListChanged, this, [this] {
    ShowChangedPictures();
    commands_->PlacementFollowsList();
    if (project_.stack() && !Opening()) EnableProjectCommands();
  });
  connect(&project_, &Project::opened, this, [this] {
    InitValues();
    OpeningStrip->show();
    OpeningStrip->raise();
  });
  connect(&project_, &Project::picturesArrived, this, [this] {
    // The first picture's size fits the view's span; the selected picture shows as it arrives.
    view_->Resized();
    Panel->update();
  });
  connect(&project_, &Project::openingProgress, this, &TmainForm::ShowOpeningProgress);
  connect(&project_, &Project::openingFinished, this, &TmainForm::OpeningFinished);
}

void TmainForm::ShowPlaySettings() {
  const PlaySettings play = project_.stack() ? project_.stack()->playSettings : PlaySettings();
  const bool endless = play.play == PlayMode::Endless;
  const QSignalBlocker quietPlay(ComboPlay), quietPace(ComboPace);
  ComboPlay->setCurrentIndex(endless ? 1 : 0);
  // Endless plays steady whatever the pace says; the pace is kept for playing there and back.
  ComboPace->setCurrentIndex(play.EffectivePace() == Pace::Steady ? 1 : 0);
  ComboPace->setEnabled(!endless);
  LabelTarget->setText(endless ? QStringLiteral("Target frame: first picture in the last")
                               : QStringLiteral("Target frame: the end of the zoom"));
}

void TmainForm::ComboPlayChange() {
  ImageStack* imageStack = project_.stack();
  if (!imageStack) {
    ShowPlaySettings();
    return;
  }
  PlaySettings play = imageStack->playSettings;
  play.play = ComboPlay->currentIndex() == 1 ? PlayMode::Endless : PlayMode::ThereAndBack;
  project_.SetPlaySettings(play);
  if (play.play == PlayMode::Endless) playback_->playbar().forward = true;  // an endless zoom dives inward
  ShowPlaySettings();
}

void TmainForm::ComboPaceChange() {
  ImageStack* imageStack = project_.stack();
  if (!imageStack || imageStack->playSettings.play == PlayMode::Endless) {
    ShowPlaySettings();
    return;
  }
  PlaySettings play = imageStack->playSettings;
  play.pace = ComboPace->currentIndex() == 1 ? Pace::Steady : Pace::Eased;
  project_.SetPlaySettings(play);
}

void TmainForm::ShowDuration(float seconds) {
  // The project holds the duration exactly; the field shows it as printed, which is no edit.
  const QSignalBlocker quiet(EditTime);
  EditTime->setText(QString::fromStdString(FormatFixed(seconds, 1)));
}

void TmainForm::ShowChangedPictures() {
  view_->CheckTextureLimit();
  InitValues();
}

void TmainForm::EditTimeChange() {
  const ImageStack* imageStack = project_.stack();
  if (!imageStack) return;
  const QString typed = EditTime->text();
  const bool number =
      durationPattern.match(typed, 0, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
          .capturedLength() == typed.size();
  // Nothing or a lone point is on the way to a number: the duration stays as it is.
  if (number && !typed.contains(QRegularExpression(QStringLiteral("[0-9]")))) return;
  const std::string text = typed.toStdString();
  const float v = number ? static_cast<float>(LeadingNumber(text)) : -1.0f;
  if (!(v >= 0.0f && v <= 200.0f)) {
    // Putting the duration back runs this handler again when the text changes, which then
    // stores the printed value.
    EditTime->setText(QString::fromStdString(FormatFixed(imageStack->duration, 1)));
    return;
  }
  project_.SetDuration(v < 1.0f ? 1.0f : v, !programSetsFields_);
}

void TmainForm::InitValues() {
  const ImageStack* imageStack = project_.stack();
  {
    // Lines set here are not the user's choice of a picture.
    const QSignalBlocker quiet(ListBox);
    ListBox->clear();
    if (imageStack) {
      for (int i = 0; i < imageStack->pictureCount(); ++i) {
        const Image& picture = *imageStack->images[static_cast<size_t>(i)];
        ListBox->addItem(EntryName(picture));
        MarkEntry(ListBox->item(i), picture);
      }
      if (ListBox->count() > 0) ListBox->setCurrentRow(0);
    }
  }
  if (imageStack) {
    // A changed text runs EditTimeChange, which stores the value as shown: one decimal.
    programSetsFields_ = true;
    EditTime->setText(QString::fromStdString(FormatFixed(imageStack->duration, 1)));
    programSetsFields_ = false;
    ResetView(view_->viewTransform());
  }
  view_->Resized();
  playback_->playbar().position = 0.0f;
  FormPaint();
  Panel->update();
}

void TmainForm::ClearPictureList() {
  const QSignalBlocker quiet(ListBox);
  ListBox->clear();
}

void TmainForm::EnableProjectCommands(bool on) { menus_->EnableProjectCommands(on); }

bool TmainForm::ProjectCommandsEnabled() const { return menus_->ExportVideo->isEnabled(); }

// The project has taken the list (or kept its own, on a cancel): the view shows what it holds now.
void TmainForm::ImageListClosed() {
  FormPaint();
  Panel->update();
}

// As a click on the first line does: playback stops and the view shows the picture with its
// child's outline and handles, ready to be dragged.
void TmainForm::EditFirstPicture() {
  if (ListBox->count() == 0) return;
  {
    const QSignalBlocker quiet(ListBox);
    ListBox->setCurrentRow(0);
  }
  ListBoxClick();
  Panel->setFocus();
}

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
  for (int row = 0; row < ListBox->count() && row < imageStack->pictureCount(); ++row) {
    const Image& picture = *imageStack->images[static_cast<size_t>(row)];
    ListBox->item(row)->setText(EntryName(picture));
    MarkEntry(ListBox->item(row), picture);
  }
  view_->CheckTextureLimit();
  EnableProjectCommands();
  FormPaint();
  Panel->update();
  // Last: the note waits for an answer, and a picture taken from elsewhere is never silent.
  imageStack->ReportFoundElsewhere();
}

void TmainForm::CancelOpening() {
  if (!Opening()) return;
  playback_->StopPlay();
  commands_->CancelImageListEditing();
  project_.CancelOpening();
  ClearPictureList();
  Panel->update();
}
