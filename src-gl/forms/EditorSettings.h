#pragma once
// What the editor keeps between runs: the windows' sizes and places and the recent projects, in
// the desktop's settings for the program (~/.config/Tunnelvista/Tunnelvista.conf). Projects and
// exports never depend on them.

#include <QSettings>
#include <QString>

class QWidget;

class EditorSettings : public QSettings {
 public:
  EditorSettings() : QSettings(QStringLiteral("Tunnelvista"), QStringLiteral("Tunnelvista")) {}
};

// The size and place of a top-level window under `key`. Restoring keeps the window as it is when
// nothing was stored, and puts it back to `fallbackSize` (centred on the primary screen) when the
// stored place lies on no screen there is now.
void SaveWindowGeometry(const QWidget& window, const QString& key);
void RestoreWindowGeometry(QWidget& window, const QString& key, const QSize& fallbackSize);
