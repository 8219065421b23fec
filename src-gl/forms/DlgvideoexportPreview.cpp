// The video dialog's preview: the frame its settings give at the slider's place, drawn on the
// preview's own thread by the export's renderer, and the size and length of the video.

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QSlider>
#include <QSpinBox>

#include "Dlgvideoexport.h"
#include "PostCall.h"
#include "main.h"

namespace {

constexpr int previewSteps = 1000;

}  // namespace

void TFormVideoExport::AddPreview(QFormLayout* form) {
  PreviewImage = new QLabel(this);
  PreviewImage->setObjectName(QStringLiteral("PreviewImage"));
  PreviewImage->setAlignment(Qt::AlignCenter);
  PreviewImage->setMinimumSize(previewSide, previewSide * 9 / 16);
  form->addRow(PreviewImage);
  SliderPreview = new QSlider(Qt::Horizontal, this);
  SliderPreview->setObjectName(QStringLiteral("SliderPreview"));
  SliderPreview->setRange(0, previewSteps);
  SliderPreview->setToolTip(QStringLiteral("Where in the video the preview shows"));
  form->addRow(QStringLiteral("Preview:"), SliderPreview);
  LabelResult = new QLabel(this);
  LabelResult->setObjectName(QStringLiteral("LabelResult"));
  form->addRow(QStringLiteral("Video:"), LabelResult);

  auto update = [this] { UpdatePreview(); };
  connect(SliderPreview, &QSlider::valueChanged, this, update);
  connect(EditWidth, &QSpinBox::valueChanged, this, update);
  connect(EditHeight, &QSpinBox::valueChanged, this, update);
  connect(EditFps, &QLineEdit::textChanged, this, update);
  connect(EditDuration, &QLineEdit::textChanged, this, update);
  connect(ComboDirection, &QComboBox::currentIndexChanged, this, update);
  connect(ComboFrame, &QComboBox::currentIndexChanged, this, update);
}

void TFormVideoExport::StartPreview(const ImageStack& stack) {
  if (!preview_) {
    preview_ = std::make_unique<VideoPreview>(
        [this](int serial, const QImage& frame, const std::string&) {
          // Only the latest frame asked for is shown; one drawn for older settings is dropped.
          PostCall(this, [this, serial, frame] {
            if (serial == previewSerial_ && !frame.isNull()) PreviewImage->setPixmap(QPixmap::fromImage(frame));
          });
        },
        owner_->editorFiles.textureBudget);
  }
  preview_->SetStack(stack);
  UpdatePreview();
}

void TFormVideoExport::hideEvent(QHideEvent* event) {
  preview_.reset();
  QDialog::hideEvent(event);
}

void TFormVideoExport::UpdatePreview() {
  const ImageStack* stack = owner_->Stack();
  if (!preview_ || !stack || !isVisible()) return;
  bool fpsRead = false;
  QLocale::c().toDouble(EditFps->text().trimmed(), &fpsRead);
  VideoRequest request;
  if (!fpsRead || !Request(request)) {
    LabelResult->setText(QStringLiteral("The frame rate must be a number, such as 30."));
    return;
  }
  const VideoSettings& s = request.settings;
  const double duration = s.duration > 0 ? s.duration : stack->duration;
  const FramePlan plan = PlanFrames(duration, s.fps, s.direction, stack->playSettings.play == PlayMode::Endless);
  if (plan.total < 2 || s.width < 2 || s.height < 2) {
    LabelResult->setText(QStringLiteral("Too short or too small to be made."));
    return;
  }
  LabelResult->setText(QStringLiteral("%1 x %2, %3 s, %4 frames")
                           .arg(s.width)
                           .arg(s.height)
                           .arg(QLocale::c().toString(plan.total / s.fps, 'f', 1))
                           .arg(plan.total));
  int w = 0, h = 0;
  PreviewSize(s.width, s.height, w, h);
  preview_->Request(s, static_cast<double>(SliderPreview->value()) / previewSteps, w, h, ++previewSerial_);
}
