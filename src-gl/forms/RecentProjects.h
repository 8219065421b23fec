#pragma once
// File > Open Recent: the projects last opened or saved, most recent first, kept in the editor's
// settings. The menu is filled each time it opens, so a project that has gone since shows
// disabled (marked "not found"); one that goes while the menu is open is removed with a message
// when chosen.

#include <QString>
#include <QStringList>
#include <functional>

class QMenu;

class RecentProjects {
 public:
  static constexpr int maxProjects = 8;

  // `menu`: the Open Recent submenu (filled here); `open`: opens a chosen project that exists.
  RecentProjects(QMenu* menu, std::function<void(const QString&)> open);

  // `path` was opened or saved: first in the list, once.
  void Add(const QString& path);
  void Clear();
  QStringList Projects() const;      // most recent first
  void Choose(const QString& path);  // a line of the menu

 private:
  void Fill();
  void Store(const QStringList& projects);

  QMenu* menu_;
  std::function<void(const QString&)> open_;
};
