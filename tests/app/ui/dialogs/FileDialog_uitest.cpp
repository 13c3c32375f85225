#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <filesystem>

#include "app/ui/VExtDlgs.h"
#include "core/FileLayer.h"
#include "tests/app/ui/dialogs/UiFixtures.h"
#include "tests/core/FileFixtures.h"

TEST(FileDialog, FolderLineFollowsTheDialog) {
  TTempFolder Dir;
  std::filesystem::create_directories(Dir / "sub");
  TExtFileDialog D(false, nullptr, Utf8ToUtf16(Dir / "item.txt"), "Text (*.txt);;All (*)", 2, "txt",
                   "Extract");
  EXPECT_EQ(D.FolderLine->text(), QString::fromStdString(Dir.Path));
  EXPECT_EQ(D.directory().absolutePath(), QString::fromStdString(Dir.Path));
  EXPECT_EQ(D.selectedNameFilter(), "All (*)");
  D.setDirectory(QString::fromStdString(Dir / "sub"));
  emit D.directoryEntered(QString::fromStdString(Dir / "sub"));
  EXPECT_EQ(D.FolderLine->text(), QString::fromStdString(Dir / "sub"));

  // A bare name opens in the dialog's default folder with the name preset; OK gives the chosen file.
  std::u16string Name = u"out.txt";
  int32_t Index = 1;
  WhenModal(
      [&](QDialog* Dlg) {
        auto* F = qobject_cast<TExtFileDialog*>(Dlg);
        ASSERT_NE(F, nullptr);
        EXPECT_EQ(F->FolderLine->text(), F->directory().absolutePath());
        F->setDirectory(QString::fromStdString(Dir.Path));
        F->selectFile("out.txt");
      },
      true);
  EXPECT_TRUE(ExtSaveDialog(Name, "Extract", "txt", Index, "Text (*.txt)"));
  EXPECT_EQ(Name, Utf8ToUtf16(Dir / "out.txt"));
  EXPECT_EQ(Index, 1);
  WhenModal(nullptr, false);
  EXPECT_FALSE(ExtSaveDialog(Name, "Extract", "txt", Index, "Text (*.txt)"));
}
