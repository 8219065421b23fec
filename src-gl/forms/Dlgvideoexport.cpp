#include "Dlgvideoexport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "Dialogs.h"
#include "Messages.h"
#include "Paths.h"
#include "TextNumbers.h"
#include "main.h"

namespace {

struct SizePreset {
  const char* label;
  int width, height;  // 0: from the first picture, -1: the fields as typed
};
const SizePreset sizePresets[] = {
    {"1280 x 720", 1280, 720},        {"1920 x 1080", 1920, 1080}, {"3840 x 2160", 3840, 2160},
    {"First picture's aspect", 0, 0}, {"Custom", -1, -1},
};
constexpr int defaultSizePreset = 1;
constexpr int firstPicturePreset = 3;
constexpr int customSizePreset = 4;
// The longer side of a video in the first picture's aspect.
constexpr int aspectLongSide = 1920;

const double fpsPresets[] = {24, 25, 30, 50, 60};
constexpr int defaultFpsPreset = 2;

// The size, each side even, of a video whose longer side is `longSide` in the aspect w : h.
QSize EvenSizeInAspect(int w, int h, int longSide) {
  if (w < 1 || h < 1) return QSize(1920, 1080);
  auto even = [](double side) { return std::max(2, 2 * static_cast<int>(std::lround(side / 2))); };
  if (w >= h) return QSize(longSide, even(static_cast<double>(longSide) * h / w));
  return QSize(even(static_cast<double>(longSide) * w / h), longSide);
}

std::string Encoded(const QString& text) { return QFile::encodeName(text).toStdString(); }

}  // namespace

TFormVideoExport::TFormVideoExport(TmainForm* owner) : QDialog(owner, dialogWindowFlags), owner_(owner) {
  setObjectName(QStringLiteral("FormVideoExport"));
  setWindowTitle(QStringLiteral("Export Video"));
  auto* form = new QFormLayout(this);
  BuildFileRow(form);
  BuildSizeRow(form);
  BuildFpsRow(form);
  BuildTimingRows(form);
  BuildQualityRows(form);
  AddPreview(form);
  BuildButtons(form);
  ConnectControls();
  // Its settings, its preview and its file were for the project that went. A video being made
  // goes on from its own copy (its window-modal progress keeps the project in place meanwhile).
  connect(&owner_->project(), &Project::stackReplaced, this, [this] {
    if (isVisible() && !Running()) hide();
  });
}

// The file to write, with Browse.
void TFormVideoExport::BuildFileRow(QFormLayout* form) {
  EditFileName = new QLineEdit(this);
  EditFileName->setObjectName(QStringLiteral("EditFileName"));
  EditFileName->setMinimumWidth(320);
  ButtonBrowse = new QPushButton(QStringLiteral("Browse..."), this);
  ButtonBrowse->setObjectName(QStringLiteral("ButtonBrowse"));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(EditFileName);
  fileRow->addWidget(ButtonBrowse);
  form->addRow(QStringLiteral("File:"), fileRow);
}

// The size: a preset, the first picture's aspect or the sides as typed.
void TFormVideoExport::BuildSizeRow(QFormLayout* form) {
  ComboSize = new QComboBox(this);
  ComboSize->setObjectName(QStringLiteral("ComboSize"));
  for (const SizePreset& preset : sizePresets) ComboSize->addItem(QString::fromLatin1(preset.label));
  EditWidth = new QSpinBox(this);
  EditWidth->setObjectName(QStringLiteral("EditWidth"));
  EditHeight = new QSpinBox(this);
  EditHeight->setObjectName(QStringLiteral("EditHeight"));
  for (QSpinBox* side : {EditWidth, EditHeight}) {
    side->setRange(2, 65536);  // the GL's own limit is checked when drawing starts
    side->setSingleStep(2);
  }
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(ComboSize);
  sizeRow->addWidget(EditWidth);
  sizeRow->addWidget(EditHeight);
  form->addRow(QStringLiteral("Size:"), sizeRow);
}

// Frames a second: a preset or a rate as typed.
void TFormVideoExport::BuildFpsRow(QFormLayout* form) {
  ComboFps = new QComboBox(this);
  ComboFps->setObjectName(QStringLiteral("ComboFps"));
  for (double fps : fpsPresets) ComboFps->addItem(QString::number(fps));
  ComboFps->addItem(QStringLiteral("Custom"));
  EditFps = new QLineEdit(this);
  EditFps->setObjectName(QStringLiteral("EditFps"));
  auto* validator = new QDoubleValidator(0.001, maxFps, 3, EditFps);
  validator->setLocale(QLocale::c());  // a point, whatever the desktop's language
  validator->setNotation(QDoubleValidator::StandardNotation);
  EditFps->setValidator(validator);
  auto* fpsRow = new QHBoxLayout;
  fpsRow->addWidget(ComboFps);
  fpsRow->addWidget(EditFps);
  form->addRow(QStringLiteral("Frames a second:"), fpsRow);
}

// The direction of the zoom and the seconds a pass.
void TFormVideoExport::BuildTimingRows(QFormLayout* form) {
  ComboDirection = new QComboBox(this);
  ComboDirection->setObjectName(QStringLiteral("ComboDirection"));
  ComboDirection->addItems({QStringLiteral("Zoom in"), QStringLiteral("Zoom out"), QStringLiteral("In and out"),
                            QStringLiteral("Out and in")});
  form->addRow(QStringLiteral("Direction:"), ComboDirection);
  // Shown for an endless project only.
  LabelLoop =
      new QLabel(QStringLiteral("This project is endless: the video is one pass, and loops seamlessly when "
                                "played in a loop. It zooms in or out (In and out zooms in, Out and in zooms out)."),
                 this);
  LabelLoop->setObjectName(QStringLiteral("LabelLoop"));
  LabelLoop->setWordWrap(true);
  LabelLoop->hide();
  form->addRow(LabelLoop);
  AddFrameAndSound(form);

  EditDuration = new QLineEdit(this);
  EditDuration->setObjectName(QStringLiteral("EditDuration"));
  EditDuration->setValidator(new QRegularExpressionValidator(durationPattern, EditDuration));
  form->addRow(QStringLiteral("Seconds a pass:"), EditDuration);
}

// The quality, the encoder's speed and antialiasing.
void TFormVideoExport::BuildQualityRows(QFormLayout* form) {
  EditQuality = new QSpinBox(this);
  EditQuality->setObjectName(QStringLiteral("EditQuality"));
  EditQuality->setRange(0, maxCrfVp9);
  EditQuality->setValue(defaultCrfH264);
  EditQuality->setToolTip(QStringLiteral("Constant quality (CRF): lower is better and larger"));
  form->addRow(QStringLiteral("Quality (CRF):"), EditQuality);

  ComboSpeed = new QComboBox(this);
  ComboSpeed->setObjectName(QStringLiteral("ComboSpeed"));
  ComboSpeed->addItems({QStringLiteral("Fast"), QStringLiteral("Balanced"), QStringLiteral("Smaller file")});
  ComboSpeed->setCurrentIndex(static_cast<int>(VideoSpeed::Balanced));
  ComboSpeed->setToolTip(QStringLiteral("The same quality either way: a smaller file takes longer to encode"));
  form->addRow(QStringLiteral("Encoding:"), ComboSpeed);

  CheckAntialias = new QCheckBox(QStringLiteral("Antialias (draw at twice the size, then filter down)"), this);
  CheckAntialias->setObjectName(QStringLiteral("CheckAntialias"));
  form->addRow(CheckAntialias);
}

void TFormVideoExport::BuildButtons(QFormLayout* form) {
  ButtonExport = new QPushButton(QStringLiteral("Export"), this);
  ButtonExport->setObjectName(QStringLiteral("ButtonExport"));
  ButtonExport->setDefault(true);
  ButtonCancel = new QPushButton(QStringLiteral("Cancel"), this);
  ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ButtonExport);
  buttons->addWidget(ButtonCancel);
  form->addRow(buttons);
}

// The presets chosen, the fields that follow them, and the controls' signals.
void TFormVideoExport::ConnectControls() {
  ComboSize->setCurrentIndex(defaultSizePreset);
  ComboFps->setCurrentIndex(defaultFpsPreset);
  SizeChange();
  FpsChange();
  connect(ComboSize, &QComboBox::currentIndexChanged, this, [this] { SizeChange(); });
  connect(ComboFps, &QComboBox::currentIndexChanged, this, [this] { FpsChange(); });
  connect(EditFileName, &QLineEdit::textChanged, this, [this] { FileNameChange(); });
  connect(EditQuality, &QSpinBox::valueChanged, this, [this] {
    if (!programSetsQuality_) qualityTouched_ = true;
  });
  connect(ButtonBrowse, &QPushButton::clicked, this, [this] { ButtonBrowseClick(); });
  connect(ButtonExport, &QPushButton::clicked, this, [this] { ButtonExportClick(); });
  connect(ButtonCancel, &QPushButton::clicked, this, [this] { hide(); });
}

TFormVideoExport::~TFormVideoExport() = default;

void TFormVideoExport::AddFrameAndSound(QFormLayout* form) {
  ComboFrame = new QComboBox(this);
  ComboFrame->setObjectName(QStringLiteral("ComboFrame"));
  ComboFrame->addItems({QStringLiteral("Fill"), QStringLiteral("Fit")});  // in VideoFrame's order
  ComboFrame->setToolTip(
      QStringLiteral("Fill: the pictures are brought just close enough to cover every frame, also while the view "
                     "turns. Fit: the first picture whole, as the editor shows it, the background beside it."));
  form->addRow(QStringLiteral("Frame:"), ComboFrame);

  EditAudio = new QLineEdit(this);
  EditAudio->setObjectName(QStringLiteral("EditAudio"));
  EditAudio->setPlaceholderText(QStringLiteral("none"));
  EditAudio->setToolTip(
      QStringLiteral("A sound file for the video: cut to its length with a short fade-out, or "
                     "played again from its start when shorter"));
  ButtonAudioBrowse = new QPushButton(QStringLiteral("Browse..."), this);
  ButtonAudioBrowse->setObjectName(QStringLiteral("ButtonAudioBrowse"));
  auto* audioRow = new QHBoxLayout;
  audioRow->addWidget(EditAudio);
  audioRow->addWidget(ButtonAudioBrowse);
  form->addRow(QStringLiteral("Sound:"), audioRow);
  connect(ButtonAudioBrowse, &QPushButton::clicked, this, [this] {
    const QString name = Dialogs().OpenFileName(
        this, QStringLiteral("Sound for the Video"),
        QStringLiteral("Sound (*.mp3 *.m4a *.aac *.wav *.flac *.ogg *.opus *.webm *.mp4);;All files (*)"), QString());
    if (!name.isEmpty()) EditAudio->setText(name);
  });
}

void TFormVideoExport::SizeChange() {
  const int index = ComboSize->currentIndex();
  const bool custom = index == customSizePreset;
  EditWidth->setEnabled(custom);
  EditHeight->setEnabled(custom);
  if (custom || index < 0) return;
  QSize size(sizePresets[index].width, sizePresets[index].height);
  if (index == firstPicturePreset) {
    const ImageStack* stack = owner_->Stack();
    size = stack && stack->pictureCount() > 0
               ? EvenSizeInAspect(stack->images[0]->width, stack->images[0]->height, aspectLongSide)
               : QSize(1920, 1080);
  }
  EditWidth->setValue(size.width());
  EditHeight->setValue(size.height());
}

void TFormVideoExport::FpsChange() {
  const int index = ComboFps->currentIndex();
  const bool custom = index >= static_cast<int>(std::size(fpsPresets));
  EditFps->setEnabled(custom);
  if (!custom && index >= 0) EditFps->setText(QString::number(fpsPresets[index]));
}

void TFormVideoExport::FileNameChange() {
  if (qualityTouched_) return;
  VideoFormat format;
  std::string ignored;
  if (!VideoFormatFor(Encoded(EditFileName->text()), format, ignored)) return;
  programSetsQuality_ = true;
  EditQuality->setValue(format == VideoFormat::WebM ? defaultCrfVp9 : defaultCrfH264);
  programSetsQuality_ = false;
}

void TFormVideoExport::ShowForExport() {
  const ImageStack* stack = owner_->Stack();
  if (!stack) return;
  EditDuration->setText(QString::fromStdString(FormatGeneral(static_cast<double>(stack->duration), 15)));
  LabelLoop->setVisible(stack->playSettings.play == PlayMode::Endless);
  if (EditFileName->text().isEmpty() && !stack->path.empty()) {
    std::string name = stack->path;
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && name.find('/', dot) == std::string::npos) name.erase(dot);
    EditFileName->setText(QFile::decodeName(QByteArray::fromStdString(name + ".mp4")));
  }
  if (ComboSize->currentIndex() == firstPicturePreset) SizeChange();
  ShowOverMainWindow(this);
  StartPreview(*stack);
}

void TFormVideoExport::ButtonBrowseClick() {
  const QString name = Dialogs().SaveFileName(
      this, QStringLiteral("Export Video"),
      QStringLiteral("MP4 video (*.mp4);;WebM video (*.webm);;PNG sequence (*.png)"), QStringLiteral("mp4"));
  if (!name.isEmpty()) EditFileName->setText(name);
}

bool TFormVideoExport::Request(VideoRequest& request) const {
  const ImageStack* stack = owner_->Stack();
  request.SetTypedPath(Encoded(EditFileName->text().trimmed()), stack ? stack->path : std::string());
  VideoSettings& settings = request.settings;
  settings.width = EditWidth->value();
  settings.height = EditHeight->value();
  bool ok = false;
  settings.fps = QLocale::c().toDouble(EditFps->text().trimmed(), &ok);
  // A missing file name is said first (by the request's check).
  if (!ok && !settings.path.empty()) {
    ShowPlainMessage("The frame rate must be a number of frames a second, such as 30.");
    return false;
  }
  settings.direction = static_cast<VideoDirection>(std::clamp(ComboDirection->currentIndex(), 0, 3));
  settings.frame = ComboFrame->currentIndex() == 1 ? VideoFrame::Fit : VideoFrame::Fill;
  request.SetTypedAudio(Encoded(EditAudio->text().trimmed()), stack ? stack->path : std::string());
  settings.duration = LeadingNumber(Encoded(EditDuration->text()));
  request.ownDuration = true;
  settings.crf = EditQuality->value();
  settings.speed = static_cast<VideoSpeed>(std::clamp(ComboSpeed->currentIndex(), 0, 2));
  settings.antialias = CheckAntialias->isChecked() ? 2 : 1;
  return true;
}

void TFormVideoExport::ButtonExportClick() {
  ImageStack* stack = owner_->Stack();
  if (Running() || !stack) return;
  VideoRequest request;
  if (!Request(request) || !ConfirmVideoExport(request, stack->duration)) return;

  owner_->playback().StopPlay();
  // Where the video will be: a sequence's first frame stands for the sequence.
  made_ = request.settings.path;
  SequenceName sequence;
  std::string ignored;
  VideoFormat format = VideoFormat::Mp4;
  if (VideoFormatFor(made_, format, ignored) && format == VideoFormat::PngSequence &&
      ParseSequenceName(made_, sequence, ignored))
    made_ = sequence.Frame(0);
  // The project owns the job; the dialog follows it from before it starts to its end.
  owner_->project().StartVideoExport(request.settings, owner_->editorFiles.textureBudget, [this](VideoExportJob& job) {
    job_ = &job;
    connect(&job, &Job::progress, this, [this](int done, int total) { ShowProgress(done, total); });
    connect(&job, &Job::finished, this, [this] { ExportFinished(); });
  });
  if (!job_ || job_->StartFailed()) return;  // said when it finishes, with the dialog still open
  hide();
  clock_.start();
  if (!Progress) {
    Progress = new QProgressDialog(owner_);
    Progress->setObjectName(QStringLiteral("VideoProgress"));
    Progress->setWindowTitle(QStringLiteral("Export Video"));
    Progress->setWindowModality(Qt::WindowModal);
    Progress->setAutoClose(false);
    Progress->setAutoReset(false);
    Progress->setMinimumDuration(0);
    auto cancel = [this] {
      if (!job_) return;
      Progress->setLabelText(QStringLiteral("Cancelling..."));
      job_->Cancel();
    };
    connect(Progress, &QProgressDialog::canceled, this, cancel);
    connect(Progress, &QDialog::rejected, this, cancel);  // Escape hides the dialog: the export stops too
  }
  Progress->setRange(0, job_->TotalFrames());
  Progress->setValue(0);
  Progress->setLabelText(QStringLiteral("Frame 0 of %1").arg(job_->TotalFrames()));
  Progress->show();
}

void TFormVideoExport::ShowProgress(int done, int total) {
  if (!Progress || !job_ || Progress->wasCanceled()) return;
  Progress->setValue(done);
  QString text = QStringLiteral("Frame %1 of %2").arg(done).arg(total);
  if (done > 0 && done < total) {
    const qint64 left = clock_.elapsed() * (total - done) / done / 1000;
    text += left >= 60 ? QStringLiteral(", about %1 min %2 s left").arg(left / 60).arg(left % 60)
                       : QStringLiteral(", about %1 s left").arg(left);
  }
  Progress->setLabelText(text);
}

void TFormVideoExport::ExportFinished() {
  if (!job_) return;
  const bool startFailed = job_->StartFailed();
  const VideoResult result = job_->Result();
  const std::string error = job_->Error();
  const std::string rendererMessage = job_->RendererMessage();
  const std::string made = made_;
  job_ = nullptr;  // the project deletes it once its end has been heard
  if (startFailed) {
    ShowPlainMessage("The video cannot be made: " + error + ".");
    return;
  }
  if (Progress) Progress->hide();
  if (!rendererMessage.empty()) ShowPlainMessage(rendererMessage);
  if (result == VideoResult::Cancelled)
    ShowPlainMessage("The video export was cancelled; no file was written.");
  else if (result == VideoResult::Failed)
    ShowPlainMessage("The video could not be made: " + error + ".\n\nNo file was written.");
  else
    OfferToOpen(made);
}

void TFormVideoExport::OfferToOpen(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, std::max<size_t>(slash, 1));
  const MessageAnswer answer = ShowMessage("The video is ready:\n\n    " + path, "Export Video",
                                           MessageIcon::Information, MessageButtons::OpenFolderClose);
  if (answer != MessageAnswer::Open && answer != MessageAnswer::Folder) return;
  const std::string shown = answer == MessageAnswer::Open ? path : folder;
  if (!Dialogs().OpenUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(shown)))))
    ShowPlainMessage("No program could be opened to show:\n\n    " + shown);
}
