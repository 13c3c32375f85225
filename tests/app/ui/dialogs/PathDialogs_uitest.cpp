#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/Options.h"
#include "app/Utils.h"
#include "app/ui/SelectPathsForm.h"
#include "app/ui/qvShellTree.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/WSSDic.h"
#include "tests/app/ui/dialogs/UiFixtures.h"
#include "tests/core/FileFixtures.h"

namespace {

// a/, a/b/, .hidden/, f.txt and a link back to the folder itself.
void MakeTree(const TTempFolder& Dir) {
  std::filesystem::create_directories(Dir / "a/b");
  std::filesystem::create_directories(Dir / ".hidden");
  std::ofstream(Dir / "f.txt") << "x";
  std::filesystem::create_directory_symlink(Dir.Path, Dir / "loop");
}

QStringList Names(TFolderTreeModel& M, const QModelIndex& Parent) {
  M.fetchMore(Parent);
  QStringList R;
  for (int I = 0; I < M.rowCount(Parent); ++I) R << M.index(I, 0, Parent).data().toString();
  return R;
}

}  // namespace

TEST(ShellTree, ListsFoldersLazilyAndOnlyBoxedNodesTick) {
  TTempFolder Dir;
  MakeTree(Dir);
  TShTreeView View;
  TFolderTreeModel& M = *View.Model();
  std::vector<std::pair<std::u16string, bool>> Ticks;
  M.OnAddNode = [&](TFolderTreeModel::TNewNode& Node) {
    Node.ShowCheck = Node.Path != Utf8ToUtf16(Dir.Path);  // the root node has no box
    Node.Checked = Node.Path == Utf8ToUtf16(Dir / "a/b");
  };
  M.OnChecked = [&](const std::u16string& P, bool C) { Ticks.emplace_back(P, C); };
  M.SetRoot(Utf8ToUtf16(Dir.Path));
  ASSERT_EQ(M.rowCount(), 1);
  const QModelIndex Root = M.index(0, 0);
  EXPECT_EQ(Names(M, Root), QStringList({"a"}));  // no files, no hidden folder, no link
  M.ObjectTypes = otFolders | otHidden;
  M.Refresh();
  EXPECT_EQ(Names(M, M.index(0, 0)), QStringList({".hidden", "a"}));
  const QModelIndex A = M.IndexOfPath(Utf8ToUtf16(Dir / "a"));
  ASSERT_TRUE(A.isValid());
  Names(M, A);
  const QModelIndex B = M.IndexOfPath(Utf8ToUtf16(Dir / "a/b"));
  EXPECT_EQ(B.data(Qt::CheckStateRole).toInt(), Qt::Checked);

  // Space on the root (no box) changes nothing; on a folder it ticks it once.
  View.show();
  for (const QModelIndex& I : {M.index(0, 0), A}) {
    View.setCurrentIndex(I);
    QKeyEvent Press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QKeyEvent Release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(&View, &Press);
    QApplication::sendEvent(&View, &Release);
  }
  EXPECT_FALSE(M.index(0, 0).data(Qt::CheckStateRole).isValid());
  ASSERT_EQ(Ticks.size(), 1u);
  EXPECT_EQ(Ticks[0], std::make_pair(Utf8ToUtf16(Dir / "a"), true));
  EXPECT_FALSE(M.setData(M.index(0, 0), Qt::Checked, Qt::CheckStateRole));

  // A refresh reads a new folder and keeps what was expanded and selected.
  View.expand(M.index(0, 0));
  View.expand(M.IndexOfPath(Utf8ToUtf16(Dir / "a")));
  View.setCurrentIndex(M.IndexOfPath(Utf8ToUtf16(Dir / "a/b")));
  std::filesystem::create_directories(Dir / "a/c");
  View.RefreshNode();
  EXPECT_TRUE(View.isExpanded(M.IndexOfPath(Utf8ToUtf16(Dir / "a"))));
  EXPECT_TRUE(M.IndexOfPath(Utf8ToUtf16(Dir / "a/c")).isValid());
  EXPECT_EQ(M.NodeOf(View.currentIndex())->Path, Utf8ToUtf16(Dir / "a/b"));

  // A blank root gives an empty tree; a root that is no folder is refused and the old one stays.
  EXPECT_THROW(M.SetRoot(u"/nonexistent/folder"), Exception);
  EXPECT_EQ(M.Root(), Utf8ToUtf16(Dir.Path));
  M.SetRoot(u" ");
  EXPECT_EQ(M.rowCount(), 0);
  M.SetRoot(u"rfDesktop");
  EXPECT_GE(M.rowCount(), 2);
}

TEST(SelectPaths, ChosenPathsTypedPathsAndTheRowUntick) {
  SetDefaultOptions();
  TTempFolder Dir;
  MakeTree(Dir);
  TSelectPaths S;
  ExpectObjectNames(&S, {"ShellTree", "PathList", "RecursCheck", "SortCheck", "SavedPathsCombo", "SaveBtn",
                         "ExtSaveBtn", "ClearBtn", "RefreshBtn", "OKBtn", "CancelBtn"});
  S.AskSetName = [](std::u16string& Name, const std::vector<std::u16string>&) {
    Name = u"two";
    return true;
  };
  ProgramSettings().FileOptions.SortDirectories = true;
  const std::u16string A = Utf8ToUtf16(Dir / "a"), B = Utf8ToUtf16(Dir / "a/b");
  std::u16string Paths = u"/not/shown/deep";
  WhenModal(
      [&](QDialog*) {
        TFolderTreeModel& M = *S.ShellTree->Model();
        M.SetRoot(Utf8ToUtf16(Dir.Path));
        S.ShellTree->ShowPath(B);
        const QModelIndex IB = M.IndexOfPath(B), IA = M.IndexOfPath(A);
        ASSERT_TRUE(IB.isValid() && IA.isValid());
        // Ticking b and then a lists a first: the sort box is on.
        M.setData(IB, Qt::Checked, Qt::CheckStateRole);
        M.setData(IA, Qt::Checked, Qt::CheckStateRole);
        ASSERT_EQ(S.PathList->topLevelItemCount(), 3);
        EXPECT_EQ(S.PathList->topLevelItem(0)->text(0), "/not/shown/deep");
        EXPECT_EQ(S.PathList->topLevelItem(1)->text(0), QString::fromStdU16String(A));
        S.SaveSet();
        EXPECT_EQ(S.SavedPathsCombo->currentText(), "two");
        // Unticking a row removes it and unticks its folder in the tree.
        S.PathList->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
        QCoreApplication::processEvents();
        EXPECT_EQ(S.PathList->topLevelItemCount(), 2);
        EXPECT_EQ(IB.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
        // Dropping the tree's folder b on the list adds it again; dropping its row on the tree removes it.
        S.ShellTree->setCurrentIndex(IB);
        S.DropTreeNodeOnList();
        ASSERT_EQ(S.PathList->topLevelItemCount(), 3);
        EXPECT_EQ(IB.data(Qt::CheckStateRole).toInt(), Qt::Checked);
        S.PathList->clearSelection();
        S.PathList->topLevelItem(2)->setSelected(true);
        S.DropRowsOnTree();
        EXPECT_EQ(S.PathList->topLevelItemCount(), 2);
        EXPECT_EQ(IB.data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
        S.RecursCheck->setChecked(false);
      },
      true);
  ASSERT_TRUE(S.Execute(Paths));
  TWideStrLst Expected;
  Expected.Add(u"/not/shown/deep");
  Expected.Add(A);
  EXPECT_EQ(Paths, JoinQuotedList(Expected));
  EXPECT_FALSE(ProgramSettings().FileOptions.Subdirectories);
  EXPECT_TRUE(ProgramSettings().SavedPathSets.Get(u"two").find(B) != std::u16string::npos);

  std::u16string Kept = Paths;
  WhenModal(
      [&](QDialog*) {
        S.ClearAll();
        EXPECT_EQ(S.PathList->topLevelItemCount(), 0);
      },
      false);
  EXPECT_FALSE(S.Execute(Kept));
  EXPECT_EQ(Kept, Paths);
  SetDefaultOptions();
}
