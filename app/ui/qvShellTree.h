// The folder tree with check boxes that the path chooser shows: a tree view over a model of our own that
// lists folders lazily (a folder's children are read when it is first expanded). A node carries a check
// box only when OnAddNode says so; Space and clicks change only nodes that have one. Nodes are found by
// their path, so checks and expansion survive a refresh. Main thread only; no folder is watched.
#pragma once

#include <QAbstractItemModel>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Exception.h"

// The kinds of items listed (flags as the object types of the shell's enumeration).
enum TShellObjectType : uint32_t { otFolders = 32, otNonFolders = 64, otHidden = 128 };

class TFolderTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  struct TNode {
    std::u16string Path;  // empty for the virtual root's own node
    QString Name;
    TNode* Parent = nullptr;
    std::vector<std::unique_ptr<TNode>> Children;
    bool Loaded = false;
    bool HasCheckbox = false;
    bool Checked = false;
  };

  explicit TFolderTreeModel(QObject* Parent = nullptr);

  // "rfDesktop" (home, the file system's root and the mounted volumes), a folder path, or blank (empty).
  // A path that is no folder raises "Error setting path: "<text>"" and keeps the previous root.
  void SetRoot(const std::u16string& Root);
  const std::u16string& Root() const { return RootText_; }
  uint32_t ObjectTypes = otFolders;

  // A new node of the tree and what the host decides for it: CanAdd false leaves it out, ShowCheck false
  // hides its box, Checked ticks it.
  struct TNewNode {
    const std::u16string& Path;
    bool Checked = false;
    bool ShowCheck = true;
    bool CanAdd = true;
  };
  std::function<void(TNewNode& Node)> OnAddNode;
  // A box changed by the user.
  std::function<void(const std::u16string& Path, bool Checked)> OnChecked;

  // Ticks or unticks the node of Path when it is shown (no OnChecked).
  void SetChecked(const std::u16string& Path, bool Checked);
  // Rebuilds the tree from its root; the boxes come again from OnAddNode.
  void Refresh();
  QModelIndex IndexOfPath(const std::u16string& Path) const;
  const TNode* NodeOf(const QModelIndex& Index) const;

  QModelIndex index(int Row, int Column, const QModelIndex& Parent = {}) const override;
  QModelIndex parent(const QModelIndex& Index) const override;
  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& = {}) const override { return 1; }
  bool hasChildren(const QModelIndex& Parent = {}) const override;
  bool canFetchMore(const QModelIndex& Parent) const override;
  void fetchMore(const QModelIndex& Parent) override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role) override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;

 private:
  TNode* Node(const QModelIndex& Index) const;
  QModelIndex IndexOf(const TNode* N) const;
  std::unique_ptr<TNode> MakeNode(const std::u16string& Path, const QString& Name, TNode* Parent);
  void Load(TNode* N);
  TNode* Find(TNode* From, const std::u16string& Path) const;
  std::u16string RootText_ = u" ";
  TNode Top_;  // its children are the tree's top-level nodes
};

class TShTreeView : public QTreeView {
  Q_OBJECT
 public:
  explicit TShTreeView(QWidget* Parent = nullptr);
  TFolderTreeModel* Model() const { return FolderModel_; }
  // Expands the nodes on the way to Path that are shown, and selects the deepest.
  void ShowPath(const std::u16string& Path);
  // Reads the folders again; what was expanded and the selected folder are found again by path.
  void RefreshNode();

 private:
  TFolderTreeModel* FolderModel_;
};
