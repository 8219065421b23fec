// What the editor keeps between runs: the recent projects and the main window's size and place.

#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <filesystem>

#include "EditorFixture.h"
#include "RecentProjects.h"

namespace {

struct Settings : EditorFixture {
  // The Open Recent menu's lines as the user sees them when it opens.
  QList<QAction*> RecentLines() {
    QMenu* menu = form->menus().OpenRecent;
    emit menu->aboutToShow();
    return menu->actions();
  }
};

TEST_F(Settings, OpenRecentListsProjectsMostRecentFirstAndOpensThem) {
  ProjectFiles project, other(2, "10.0", "other.kx");
  Start({QString::fromStdString(project.path)});
  dialogs.answers.push_back(QString::fromStdString(project.dir.File("copy.kx")));
  form->menus().SaveAs->trigger();
  dialogs.answers.push_back(QString::fromStdString(other.path));
  form->menus().FileOpen->trigger();
  WaitForOpen();
  const QStringList expected{QString::fromStdString(other.path), QString::fromStdString(project.dir.File("copy.kx")),
                             QString::fromStdString(project.path)};
  EXPECT_EQ(form->commands().recentProjects()->Projects(), expected);
  QList<QAction*> lines = RecentLines();
  ASSERT_EQ(lines.size(), 5);  // three projects, a separator, Clear
  EXPECT_EQ(lines[0]->text(), "&1 other.kx");

  // The same way as File > Open: unsaved changes are asked about first.
  form->EditTime->selectAll();
  QTest::keyClicks(form->EditTime, "21");
  reporter.answers = {MessageAnswer::Cancel};
  lines[2]->trigger();
  EXPECT_EQ(form->Stack()->path, other.path);
  reporter.answers = {MessageAnswer::Discard};
  lines[2]->trigger();
  WaitForOpen();
  EXPECT_EQ(form->Stack()->path, project.path);
  EXPECT_EQ(form->commands().recentProjects()->Projects().first(), QString::fromStdString(project.path));

  // A project that has gone shows disabled; one that goes after the menu opened is removed.
  std::filesystem::remove(project.dir.File("copy.kx"));
  lines = RecentLines();
  EXPECT_FALSE(lines[2]->isEnabled());
  std::filesystem::remove(other.path);
  reporter.messages.clear();
  lines[1]->trigger();
  EXPECT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(form->Stack()->path, project.path);
  EXPECT_EQ(form->commands().recentProjects()->Projects().size(), 2);
  RecentLines().last()->trigger();  // Clear
  EXPECT_TRUE(form->commands().recentProjects()->Projects().isEmpty());
  EXPECT_EQ(RecentLines().size(), 1);
}

TEST_F(Settings, TheMainWindowKeepsItsSizeAndPlace) {
  Start();
  const QSize designed = form->size();
  form->setGeometry(QRect(QPoint(60, 50), QSize(760, 560)));
  QTRY_COMPARE(form->size(), QSize(760, 560));
  const QRect kept = form->geometry();
  form->menus().Exit->trigger();
  windows.Destroy();
  Start();
  EXPECT_EQ(form->geometry(), kept);

  // What cannot be restored (another program's, or a damaged entry): the designed size, on the
  // screen.
  windows.Destroy();
  EditorSettings().setValue("mainWindow/geometry", QByteArray("not a geometry"));
  Start();
  EXPECT_EQ(form->size(), designed);
  EXPECT_TRUE(form->screen()->availableGeometry().intersects(form->frameGeometry()));
}

}  // namespace
