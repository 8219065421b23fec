#include "RecentProjects.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

#include "EditorSettings.h"
#include "Messages.h"

namespace {

const QString recentKey = QStringLiteral("recentProjects");

// The same project under another spelling ("a/../b.kx", a relative name) is one line.
QString Canonical(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

}  // namespace

RecentProjects::RecentProjects(QMenu* menu, std::function<void(const QString&)> open)
    : menu_(menu), open_(std::move(open)) {
  QObject::connect(menu_, &QMenu::aboutToShow, menu_, [this] { Fill(); });
  Fill();
}

QStringList RecentProjects::Projects() const {
  QStringList projects = EditorSettings().value(recentKey).toStringList();
  projects.removeAll(QString());
  projects.removeDuplicates();
  while (projects.size() > maxProjects) projects.removeLast();
  return projects;
}

void RecentProjects::Store(const QStringList& projects) {
  EditorSettings settings;
  if (projects.isEmpty())
    settings.remove(recentKey);
  else
    settings.setValue(recentKey, projects);
}

void RecentProjects::Add(const QString& path) {
  if (path.isEmpty()) return;
  const QString project = Canonical(path);
  QStringList projects = Projects();
  projects.removeAll(project);
  projects.prepend(project);
  while (projects.size() > maxProjects) projects.removeLast();
  Store(projects);
}

void RecentProjects::Clear() { Store({}); }

void RecentProjects::Choose(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    QStringList projects = Projects();
    projects.removeAll(path);
    Store(projects);
    ShowPlainMessage("The project " + QFile::encodeName(path).toStdString() +
                     " no longer exists. It was removed from the recent projects.");
    return;
  }
  open_(path);
}

// Filled as the menu opens (never from one of its own lines, which the filling deletes).
// "1 name.kx" with the full path as the tip; the first nine lines have their digit as key.
void RecentProjects::Fill() {
  menu_->clear();
  const QStringList projects = Projects();
  for (int i = 0; i < projects.size(); ++i) {
    const QString& path = projects[i];
    const QFileInfo file(path);
    QString name = file.fileName();
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* line = menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(name));
    line->setObjectName(QStringLiteral("RecentProject%1").arg(i + 1));
    line->setData(path);
    line->setToolTip(path);
    line->setStatusTip(path);
    const bool there = file.isFile();
    line->setEnabled(there);
    if (!there) line->setText(line->text() + QStringLiteral(" (not found)"));
    QObject::connect(line, &QAction::triggered, menu_, [this, path] { Choose(path); });
  }
  if (!projects.isEmpty()) menu_->addSeparator();
  QAction* clear = menu_->addAction(QStringLiteral("Clear"));
  clear->setObjectName(QStringLiteral("RecentClear"));
  clear->setEnabled(!projects.isEmpty());
  QObject::connect(clear, &QAction::triggered, menu_, [this] { Clear(); });
  menu_->menuAction()->setEnabled(true);
}
