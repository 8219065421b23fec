#pragma once
// The about box: the product's logo; a click on it, Escape or the close box hides the box.

#include <QWidget>

class QLabel;

class TFormAbout : public QWidget {
  Q_OBJECT

 public:
  // `parent`: the main window, over which it stays and whose window-modal dialogs block it.
  explicit TFormAbout(QWidget* parent = nullptr);
  ~TFormAbout() override;

  QLabel* ImageLogo;

  void ShowAbout();  // not modal; centred over the main window when it appears
  void ImageLogoClick();

 signals:
  void closed();  // hidden by a click, Escape or the close box

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;  // Escape closes the box
  bool eventFilter(QObject* watched, QEvent* event) override;
};
