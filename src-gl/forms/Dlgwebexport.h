#pragma once
// The web export settings: target directory, file names, page texts and colours, applet options.
// The dialog edits a WebExportRequest: it fills its controls from one and reads one back; the
// rules and limits are the request's. The settings last for the run and are not saved.

#include <QWidget>
#include <cstdint>

#include "WebExport.h"
#include "WebExportRequest.h"

class Project;

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TFormWebExport : public QWidget {
  Q_OBJECT

 public:
  // `project`: the open project, whose pictures size the page and the estimate; each project that
  // finishes opening puts the settings back to their defaults. Done waits while it opens.
  // `parent`: the main window, over which it stays and whose window-modal dialogs block it.
  explicit TFormWebExport(const Project& project, QWidget* parent = nullptr);
  ~TFormWebExport() override;

  QLabel* Label1;
  QLineEdit* EditDirectory;
  QPushButton* ButtonBrowse;
  QGroupBox* GroupBox2;  // Webpage Options
  QLineEdit* EditWebFilename;
  QLineEdit* EditTitle;
  QPlainTextEdit* MemoCaption;
  QGroupBox* GroupBox3;  // Java Applet Options
  QLineEdit* EditDataFilename;
  QLineEdit* EditAppletFilename;
  QGroupBox* GroupBox1;  // Display Options
  QLineEdit* EditDuration;
  QCheckBox* CheckBoxShowControls;
  QCheckBox* CheckBoxAutoplay;
  QCheckBox* CheckBoxPlayForward;
  QLineEdit* EditWidth;
  QLineEdit* EditHeight;
  QCheckBox* CheckBoxConstrain;
  QGroupBox* GroupBox4;  // Webpage Colors
  QLabel* PanelColor;    // shows the page colour with the text colour on it
  QPushButton* ButtonPageColor;
  QPushButton* ButtonTextColor;
  QComboBox* ComboPlayer;       // HTML5 (the default) or the Java applet
  QComboBox* ComboPictureSize;  // the original files (the default) or a longest side
  QComboBox* ComboPageSize;     // HTML5: the page fills the window (the default) or has the fixed size
  QLabel* LabelWeight;          // what the folder will weigh
  QPushButton* ButtonDefaults;
  QPushButton* ButtonCancel;
  QPushButton* ButtonDone;

  // Colours as 24-bit RGB values with red in the low byte.
  uint32_t PageColour() const { return pageColour_; }
  uint32_t TextColour() const { return textColour_; }
  void SetColours(uint32_t page, uint32_t text);

  // The settings in the controls, and the controls set to `request` (the data files' places
  // are not the dialog's: they stay empty).
  WebExportRequest Request() const;
  void SetRequest(const WebExportRequest& request);

  WebPlayer Player() const;
  int PictureSide() const;  // 0: the original files
  // Enables the applet's fields only for the applet and the size fields only for a fixed size,
  // names the size fields for the page they size, and shows what the folder will weigh.
  void PlayerChange();

  // Takes the project's directory and duration (and names where the fields are empty) and its
  // size, then shows on top, not modal, centred over the main window when it appears.
  void ShowForExport();
  // The open project was replaced, opened or finished opening (see DlgwebexportRequest.cpp).
  void FollowProject();
  void EditChange();
  void EditDurationChange();
  void EditWidthChange();
  void EditHeightChange();
  void CheckBoxConstrainClick();
  void ButtonPageColorClick();
  void ButtonTextColorClick();
  void ButtonBrowseClick();
  void ButtonDefaultsClick();
  void ButtonDoneClick();
  void ButtonCancelClick();
  // Width "320" on a landscape first picture, else height "320"; the other side follows.
  void DefaultSize();

 signals:
  void exportRequested();  // Done
  void closed();           // Cancel or the close box

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The constructor's steps, in this order.
  void BuildFileFields();      // the directory, the page's and the data file's names, the caption
  void BuildDisplayOptions();  // duration, controls, size and colours
  void BuildOutputChoices();   // the player and the picture size, with the page's weight
  void BuildButtons();
  void SetTabOrder();
  void ConnectControls();
  bool FirstPictureSize(int& width, int& height) const;
  void AddPageSizeControls();
  QLabel* labelWidth_ = nullptr;
  QLabel* labelHeight_ = nullptr;
  const Project& project_;
  uint32_t pageColour_ = 0x404040;
  uint32_t textColour_ = 0xFFFFFF;
};
