// File > Import Sequence...: the dialog's order and factor, and the aligned project it makes.

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
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

}  // namespace
