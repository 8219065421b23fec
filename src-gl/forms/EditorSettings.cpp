#include "EditorSettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void SaveWindowGeometry(const QWidget& window, const QString& key) {
  EditorSettings().setValue(key, window.saveGeometry());
}

namespace {

// Enough of the window's title bar to take it with the mouse.
bool ReachableOnAScreen(const QRect& frame) {
  const QRect caption(frame.topLeft(), QSize(frame.width(), std::min(frame.height(), 24)));
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect common = screen->availableGeometry().intersected(caption);
    if (common.width() >= std::min(caption.width(), 48) && common.height() > 0) return true;
  }
  return false;
}

}  // namespace

void RestoreWindowGeometry(QWidget& window, const QString& key, const QSize& fallbackSize) {
  const QByteArray stored = EditorSettings().value(key).toByteArray();
  if (stored.isEmpty()) return;
  if (window.restoreGeometry(stored) && ReachableOnAScreen(window.frameGeometry())) return;
  window.setWindowState(Qt::WindowNoState);
  window.resize(fallbackSize);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect placed(QPoint(), window.frameGeometry().size());
    placed.moveCenter(screen->availableGeometry().center());
    window.move(placed.topLeft());
  }
}
