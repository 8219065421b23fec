// The web export dialog and its request: the controls filled from one and read back into one,
// and filled from the project each time the dialog is shown for an export.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "Dlgwebexport.h"
#include "Project.h"
#include "main.h"

namespace {

std::string Text(const QLineEdit* edit) { return QFile::encodeName(edit->text()).toStdString(); }
QString FromText(const std::string& text) { return QFile::decodeName(QByteArray::fromStdString(text)); }

}  // namespace

void TFormWebExport::ShowForExport() {
  if (const ImageStack* stack = project_.stack()) SetRequest(RequestForProject(Request(), *stack));
  if (EditWidth->text().isEmpty())
    DefaultSize();
  else
    EditWidthChange();
  PlayerChange();
  ShowOverMainWindow(this);
}

// Left open while another project takes the open one's place, the dialog exports that one: into
// its folder, for its duration, at its size once its pictures are known. With none, it closes.
void TFormWebExport::FollowProject() {
  if (!isVisible()) {
    EditChange();
    return;
  }
  const ImageStack* stack = project_.stack();
  if (!stack) {
    ButtonCancelClick();
    return;
  }
  SetRequest(RequestForProject(Request(), *stack));
  // The size follows the first picture once its size is known (the opening's end again).
  if (!project_.Opening() && stack->count() > 0 && stack->images[0]->loaded) DefaultSize();
  PlayerChange();
}

WebExportRequest TFormWebExport::Request() const {
  WebExportRequest r;
  r.directory = Text(EditDirectory);
  r.pageName = Text(EditWebFilename);
  r.dataName = Text(EditDataFilename);
  r.appletName = Text(EditAppletFilename);
  r.title = Text(EditTitle);
  r.caption = QFile::encodeName(MemoCaption->toPlainText()).toStdString();
  r.duration = Text(EditDuration);
  r.pageSize = ComboPageSize->currentIndex() == 1 ? WebPageSize::Fixed : WebPageSize::FillWindow;
  r.width = Text(EditWidth);
  r.height = Text(EditHeight);
  r.showControls = CheckBoxShowControls->isChecked();
  r.autoplay = CheckBoxAutoplay->isChecked();
  r.playForward = CheckBoxPlayForward->isChecked();
  r.pageColour = pageColour_;
  r.textColour = textColour_;
  r.player = Player();
  // The choice as shown, kept while the applet (which takes the original files) is chosen.
  const int side = ComboPictureSize->currentIndex();
  r.pictureSide = side > 0 && side < 4 ? webPictureSides[side] : 0;
  return r;
}

void TFormWebExport::SetRequest(const WebExportRequest& r) {
  EditDirectory->setText(FromText(r.directory));
  EditWebFilename->setText(FromText(r.pageName));
  EditTitle->setText(FromText(r.title));
  MemoCaption->setPlainText(FromText(r.caption));
  EditDuration->setText(FromText(r.duration));
  EditDataFilename->setText(FromText(r.dataName));
  EditAppletFilename->setText(FromText(r.appletName));
  EditWidth->setText(FromText(r.width));
  EditHeight->setText(FromText(r.height));
  CheckBoxShowControls->setChecked(r.showControls);
  CheckBoxAutoplay->setChecked(r.autoplay);
  CheckBoxPlayForward->setChecked(r.playForward);
  SetColours(r.pageColour, r.textColour);
  ComboPlayer->setCurrentIndex(r.player == WebPlayer::Applet ? 1 : 0);
  ComboPageSize->setCurrentIndex(r.pageSize == WebPageSize::Fixed ? 1 : 0);
  int side = 0;
  for (int i = 1; i < 4; ++i)
    if (webPictureSides[i] == r.pictureSide) side = i;
  ComboPictureSize->setCurrentIndex(side);
}
