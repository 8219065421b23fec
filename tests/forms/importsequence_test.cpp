// File > Import Sequence...: the dialog's order and factor, and the aligned project it makes.

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QUndoStack>
#include <cmath>

#include "Dlgimportsequence.h"
#include "EditorFixture.h"
#include "PictureFiles.h"
#include "Project.h"

namespace {

QStringList Lines(const QListWidget* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

TEST_F(EditorFixture, ImportSequenceBuildsTheStackInTheChosenOrderAndAlignsIt) {
  TempDir dir;
  // Innermost first on the disk: the dialog's Reversed makes the last in order the outermost.
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Wood.jpg"),
                                {dir.File("z10.png"), dir.File("z2.png"), dir.File("z1.png")}, 640, 480, 2.0));
  Start();
  dialogs.run = [&](QDialog& shown) {
    auto& dialog = dynamic_cast<TFormImportSequence&>(shown);
    EXPECT_FALSE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
    dialogs.answers.push_back(QString::fromStdString(dir.path()));
    QTest::mouseClick(dialog.ButtonFolder, Qt::LeftButton);
    EXPECT_EQ(Lines(dialog.ListOrder), QStringList({"1. z1.png", "2. z2.png", "3. z10.png"}));
    QTest::mouseClick(dialog.CheckBoxReversed, Qt::LeftButton);
    EXPECT_EQ(Lines(dialog.ListOrder), QStringList({"1. z10.png", "2. z2.png", "3. z1.png"}));
    EXPECT_EQ(dialog.EditFactor->value(), 2.0);
    EXPECT_TRUE(dialog.Buttons->button(QDialogButtonBox::Ok)->isEnabled());
    return int(QDialog::Accepted);
  };
  form->menus().FileImportSequence->trigger();
  WaitForOpen();
  QTRY_VERIFY_WITH_TIMEOUT(form->project().Aligning() == nullptr, 120000);

  const ImageStack* stack = form->Stack();
  ASSERT_NE(stack, nullptr);
  ASSERT_EQ(stack->pictureCount(), 3);
  const char* order[] = {"z10.png", "z2.png", "z1.png"};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(stack->images[static_cast<size_t>(i)]->baseName, order[i]);
  for (int i : {1, 2}) {
    const Transform& t = stack->images[static_cast<size_t>(i)]->transform;
    // Refined from the factor's placement, a picture's parent measured in its 640 pixels.
    EXPECT_LT(std::fabs(t.scale - 0.5f) * 640, 1.0);
    EXPECT_LT(std::hypot(t.translateX, t.translateY) * 640, 1.0);
  }
  EXPECT_TRUE(reporter.messages.empty());
  EXPECT_EQ(form->project().undoStack()->count(), 2);  // Align All's steps
  EXPECT_TRUE(form->project().Modified());
  EXPECT_EQ(form->ListBox->count(), 3);
}

bool AllHaveThumbnails(const QListWidget* list) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->icon().isNull()) return false;
  return true;
}

// Numbered closest first: the pictures, not the names, decide the outermost picture, off the
// window's thread; the two boxes still choose an end outright.
TEST_F(EditorFixture, ImportSequenceTakesTheWidestViewAsTheOutermostPicture) {
  TempDir zoom, unrelated;
  ASSERT_TRUE(
      WriteZoomSequence(CorpusFile("photos/Storm.jpg"), {zoom.File("c3.png"), zoom.File("c2.png")}, 640, 480, 2.0));
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Wood.jpg"), {unrelated.File("a.png")}, 640, 480, 2.0));
  ASSERT_TRUE(WriteZoomSequence(CorpusFile("photos/Storm.jpg"), {unrelated.File("b.png")}, 640, 480, 2.0));
  Start();
  dialogs.run = [&](QDialog& shown) {
    auto& dialog = dynamic_cast<TFormImportSequence&>(shown);
    dialogs.answers.push_back(QString::fromStdString(unrelated.path()));
    QTest::mouseClick(dialog.ButtonFolder, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Finding(); }, 30000));
    EXPECT_EQ(Lines(dialog.ListOrder), QStringList({"1. a.png", "2. b.png"}));
    EXPECT_TRUE(dialog.LabelOutermost->text().contains("the pictures do not tell"))
        << dialog.LabelOutermost->text().toStdString();

    dialogs.answers.push_back(QString::fromStdString(zoom.path()));
    QTest::mouseClick(dialog.ButtonFolder, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Finding(); }, 30000));
    EXPECT_EQ(Lines(dialog.ListOrder), QStringList({"1. c3.png", "2. c2.png"}));
    EXPECT_TRUE(dialog.LabelOutermost->text().startsWith("Outermost picture: c3.png, the last by name, the widest"))
        << dialog.LabelOutermost->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return AllHaveThumbnails(dialog.ListOrder); }, 30000));
    QTest::mouseClick(dialog.CheckBoxFind, Qt::LeftButton);
    EXPECT_EQ(Lines(dialog.ListOrder), QStringList({"1. c2.png", "2. c3.png"}));
    QTest::mouseClick(dialog.CheckBoxFind, Qt::LeftButton);
    QTest::mouseClick(dialog.CheckBoxReversed, Qt::LeftButton);
    EXPECT_FALSE(dialog.CheckBoxFind->isEnabled());
    EXPECT_EQ(Lines(dialog.ListOrder), QStringList({"1. c3.png", "2. c2.png"}));
    QTest::mouseClick(dialog.CheckBoxReversed, Qt::LeftButton);
    // Accepted while the pictures are looked at again: the answer is waited for.
    dialog.ComboBoxOrder->setCurrentIndex(1);
    EXPECT_TRUE(dialog.Finding());
    return int(QDialog::Accepted);
  };
  form->menus().FileImportSequence->trigger();
  WaitForOpen();
  QTRY_VERIFY_WITH_TIMEOUT(form->project().Aligning() == nullptr, 120000);
  const ImageStack* stack = form->Stack();
  ASSERT_NE(stack, nullptr);
  ASSERT_EQ(stack->pictureCount(), 2);
  EXPECT_EQ(stack->images[0]->baseName, "c3.png");
  EXPECT_LT(std::fabs(stack->images[1]->transform.scale - 0.5f) * 640, 1.0);
}

}  // namespace
