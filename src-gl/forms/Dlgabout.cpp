#include "Dlgabout.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "main.h"

TFormAbout::TFormAbout(QWidget* parent) : QWidget(parent, dialogWindowFlags) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(QStringLiteral("About Tunnelvista"));
  setFixedSize(338, 276);
  setAutoFillBackground(true);
  QPalette white = palette();
  white.setColor(QPalette::Window, Qt::white);
  setPalette(white);
  ImageLogo = new QLabel(this);
  ImageLogo->setObjectName(QStringLiteral("ImageLogo"));
  ImageLogo->setGeometry(0, 0, 338, 256);
  ImageLogo->setPixmap(QPixmap(QStringLiteral(":/images/logo")));
  ImageLogo->installEventFilter(this);
}

TFormAbout::~TFormAbout() = default;

void TFormAbout::ShowAbout() { ShowOverMainWindow(this); }

void TFormAbout::ImageLogoClick() {
  hide();
  emit closed();
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ImageLogo && event->type() == QEvent::MouseButtonPress) {
    ImageLogoClick();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TFormAbout::closeEvent(QCloseEvent* event) {
  // Hidden, not destroyed: the box is shown again by the next "About...".
  event->accept();
  emit closed();
}

void TFormAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    ImageLogoClick();
    return;
  }
  QWidget::keyPressEvent(event);
}
