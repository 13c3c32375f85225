#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QMenu>
#include <fstream>
#include <sstream>

#include "app/IO.h"
#include "app/ui/MainActions.h"
#include "core/FileLayer.h"
#include "tests/app/ui/dialogs/UiFixtures.h"
#include "tests/core/FileFixtures.h"

TEST(ResultActions, PreviewEntriesAreNumberedNewestFirst) {
  QMenu View;
  View.addAction("Options");
  QAction* Separator = View.addSeparator();
  TPreviewMenu Menu(&View, Separator);
  std::vector<std::unique_ptr<QWidget>> Previews;
  for (int I = 0; I < 12; ++I) {
    Previews.push_back(std::make_unique<QWidget>());
    Menu.AddPreviewMenuItem(u"/d/R&D" + Utf8ToUtf16(std::to_string(I)) + u".txt", Previews.back().get());
  }
  QList<QAction*> A = View.actions();
  ASSERT_EQ(A.size(), 14);
  EXPECT_EQ(A[2]->text(), "0 /d/R&&D11.txt");
  EXPECT_EQ(A[12]->text(), "A /d/R&&D1.txt");
  // A preview that closes takes its entry along, and the others are numbered again.
  Previews[11].reset();
  A = View.actions();
  ASSERT_EQ(A.size(), 13);
  EXPECT_EQ(A[2]->text(), "0 /d/R&&D10.txt");
  EXPECT_EQ(A[12]->text(), "A /d/R&&D0.txt");
}

TEST(ResultActions, CopyPathAndExtractToAChosenFile) {
  TFoundFileInfo Plain;
  Plain.Name = u"/d/a b.txt";
  RunResultCommand(rmCopyPath, Plain, {});
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "/d/a b.txt");

  TTempFolder Dir;
  TFoundFileInfo Item;
  Item.Name = Utf8ToUtf16(std::string(SCRYLINE_TEST_DATA) + "/../../results/item.zip|docs/note.txt");
  Item.InArchive = true;
  WhenModal(
      [&](QDialog* D) {
        auto* F = qobject_cast<QFileDialog*>(D);
        ASSERT_NE(F, nullptr);
        EXPECT_TRUE(F->windowTitle().contains("note.txt"));
        F->setDirectory(QString::fromStdString(Dir.Path));
        F->selectFile("note.txt");
      },
      true);
  EXPECT_TRUE(ExtractItemTo(Item, nullptr));
  std::ifstream In(Dir / "note.txt");
  std::stringstream S;
  S << In.rdbuf();
  EXPECT_EQ(S.str(), "hello from the item\n");

  // A damaged path shows an error instead of a file.
  std::vector<std::u16string> Errors;
  MessageDlgHandler = [&](TMessageDlgRequest& R) {
    Errors.push_back(R.Text);
    return mrOk;
  };
  Item.Name = Utf8ToUtf16(Dir / "missing.zip") + u"|x.txt";
  WhenModal(
      [&](QDialog* D) { qobject_cast<QFileDialog*>(D)->selectFile(QString::fromStdString(Dir / "x.txt")); },
      true);
  EXPECT_FALSE(ExtractItemTo(Item, nullptr));
  EXPECT_EQ(Errors.size(), 1u);
  MessageDlgHandler = nullptr;
}
