#pragma once
// The video export settings (file, size, frame rate, direction, frame, sound, duration, quality,
// antialiasing)
// and, while the video is made, its progress with Cancel. The export runs on its own threads
// (VideoExportJob); the editor keeps painting, and the progress dialog keeps the project from
// being edited meanwhile. The checks are the request's (VideoRequest), shared with --export-video.

#include <QDialog>
#include <QElapsedTimer>
#include <memory>

#include "VideoExportJob.h"
#include "VideoPreview.h"
#include "VideoRequest.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QSlider;
class QLineEdit;
class QProgressDialog;
class QPushButton;
class QSpinBox;
class TmainForm;

class TFormVideoExport : public QDialog {
 public:
  explicit TFormVideoExport(TmainForm* owner);
  ~TFormVideoExport() override;

  QLineEdit* EditFileName;
  QPushButton* ButtonBrowse;
  QComboBox* ComboSize;  // the presets, the first picture's aspect, custom
  QSpinBox* EditWidth;
  QSpinBox* EditHeight;
  QComboBox* ComboFps;  // 24, 25, 30, 50, 60, custom
  QLineEdit* EditFps;
  QComboBox* ComboDirection;  // zoom in, zoom out, in and out, out and in
  QLabel* LabelLoop;          // an endless project's video loops: one pass, in or out
  QComboBox* ComboFrame;      // fill, fit
  QLineEdit* EditAudio;       // a sound file; empty: none
  QPushButton* ButtonAudioBrowse;
  QLineEdit* EditDuration;  // seconds of one pass
  QSpinBox* EditQuality;    // CRF
  QComboBox* ComboSpeed;    // fast, balanced, small file
  QCheckBox* CheckAntialias;
  QLabel* PreviewImage;    // the frame the settings give at the slider's place
  QSlider* SliderPreview;  // 0 (the first frame) to previewSteps (the last)
  QLabel* LabelResult;     // the video's size, length and frames, or why it cannot be made
  QPushButton* ButtonExport;
  QPushButton* ButtonCancel;
  QProgressDialog* Progress = nullptr;  // while a video is made

  // Fills what depends on the project (its duration, a file name beside it) and shows the dialog.
  void ShowForExport();
  // The request in the controls; false, having said why, when the frame rate cannot be read.
  bool Request(VideoRequest& request) const;
  void ButtonExportClick();
  void ButtonBrowseClick();
  // A video is being made.
  bool Running() const { return job_ != nullptr; }

 protected:
  // The preview's thread, its context and textures go while the dialog is hidden.
  void hideEvent(QHideEvent* event) override;

 private:
  // The rows for how the pictures meet the frame and the sound.
  void AddFrameAndSound(QFormLayout* form);
  // The preview (DlgvideoexportPreview.cpp): its rows, drawing the open project, and asking for
  // the frame again whenever a setting or the slider changes.
  void AddPreview(QFormLayout* form);
  void StartPreview(const ImageStack& stack);
  void UpdatePreview();
  // The constructor's steps, in this order: one row (or a few) of the form each.
  void BuildFileRow(QFormLayout* form);
  void BuildSizeRow(QFormLayout* form);
  void BuildFpsRow(QFormLayout* form);
  void BuildTimingRows(QFormLayout* form);
  void BuildQualityRows(QFormLayout* form);
  void BuildButtons(QFormLayout* form);
  void ConnectControls();
  void SizeChange();
  void FpsChange();
  void FileNameChange();
  void ShowProgress(int done, int total);
  void ExportFinished();
  // Says where the finished video is and opens it or its folder when asked.
  void OfferToOpen(const std::string& path);

  TmainForm* owner_;
  bool qualityTouched_ = false;  // the user chose a CRF: a change of format keeps it
  bool programSetsQuality_ = false;
  QElapsedTimer clock_;
  VideoExportJob* job_ = nullptr;          // the project's, while it runs
  std::string made_;                       // the file the running export makes
  std::unique_ptr<VideoPreview> preview_;  // made when the dialog is first shown
  int previewSerial_ = 0;                  // of the latest frame asked for
};
