#include "app/ui/qvShellTree.h"

#include <QCollator>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QStorageInfo>

#include "core/FileLayer.h"

namespace {

QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }

// The virtual root's folders: home, the file system's root, and the mounted volumes of real file systems.
std::vector<std::pair<std::u16string, QString>> DesktopFolders() {
  std::vector<std::pair<std::u16string, QString>> Folders{{QDir::homePath().toStdU16String(), "Home"},
                                                          {u"/", "File System"}};
  for (const QStorageInfo& V : QStorageInfo::mountedVolumes()) {
    const QString Path = V.rootPath();
    const bool Removable =
        Path.startsWith("/media") || Path.startsWith("/mnt") || Path.startsWith("/run/media");
    if (!V.isValid() || !V.isReady() || !Removable) continue;
    Folders.push_back({Path.toStdU16String(), V.displayName()});
  }
  return Folders;
}

}  // namespace

TFolderTreeModel::TFolderTreeModel(QObject* Parent) : QAbstractItemModel(Parent) { Top_.Loaded = true; }

std::unique_ptr<TFolderTreeModel::TNode> TFolderTreeModel::MakeNode(const std::u16string& Path,
                                                                    const QString& Name, TNode* Parent) {
  auto N = std::make_unique<TNode>();
  N->Path = Path;
  N->Name = Name;
  N->Parent = Parent;
  TNewNode New{Path};
  if (OnAddNode) OnAddNode(New);
  if (!New.CanAdd) return nullptr;
  N->HasCheckbox = New.ShowCheck;
  N->Checked = New.ShowCheck && New.Checked;
  return N;
}

void TFolderTreeModel::SetRoot(const std::u16string& Root) {
  std::u16string Trimmed = Root;
  while (!Trimmed.empty() && Trimmed.back() == u' ') Trimmed.pop_back();
  while (!Trimmed.empty() && Trimmed.front() == u' ') Trimmed.erase(Trimmed.begin());
  std::vector<std::pair<std::u16string, QString>> Tops;
  if (Trimmed == u"rfDesktop") {
    Tops = DesktopFolders();
  } else if (!Trimmed.empty()) {
    const QFileInfo Info(Q(Trimmed));
    if (!Info.isDir()) throw Exception("Error setting path: \"" + Utf16ToUtf8(Root) + "\"");
    Tops.push_back(
        {Info.absoluteFilePath().toStdU16String(), Info.fileName().isEmpty() ? "/" : Info.fileName()});
  }
  beginResetModel();
  RootText_ = Trimmed.empty() ? u" " : Trimmed;
  Top_.Children.clear();
  for (const auto& [Path, Name] : Tops)
    if (auto N = MakeNode(Path, Name, &Top_)) Top_.Children.push_back(std::move(N));
  endResetModel();
}

void TFolderTreeModel::Load(TNode* N) {
  if (N->Loaded) return;
  N->Loaded = true;
  QDir::Filters Filter = QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks;
  if (ObjectTypes & otHidden) Filter |= QDir::Hidden;
  if (ObjectTypes & otNonFolders) Filter |= QDir::Files;
  QFileInfoList Entries = QDir(Q(N->Path)).entryInfoList(Filter);
  QCollator Order;
  Order.setNumericMode(true);
  std::sort(Entries.begin(), Entries.end(), [&](const QFileInfo& A, const QFileInfo& B) {
    return Order.compare(A.fileName(), B.fileName()) < 0;
  });
  std::vector<std::unique_ptr<TNode>> Made;
  for (const QFileInfo& E : Entries)
    if (auto C = MakeNode(E.absoluteFilePath().toStdU16String(), E.fileName(), N))
      Made.push_back(std::move(C));
  if (Made.empty()) return;
  beginInsertRows(IndexOf(N), 0, static_cast<int>(Made.size()) - 1);
  N->Children = std::move(Made);
  endInsertRows();
}

TFolderTreeModel::TNode* TFolderTreeModel::Node(const QModelIndex& Index) const {
  return Index.isValid() ? static_cast<TNode*>(Index.internalPointer()) : const_cast<TNode*>(&Top_);
}

const TFolderTreeModel::TNode* TFolderTreeModel::NodeOf(const QModelIndex& Index) const {
  return Index.isValid() ? Node(Index) : nullptr;
}

QModelIndex TFolderTreeModel::IndexOf(const TNode* N) const {
  if (N == &Top_ || N == nullptr || N->Parent == nullptr) return {};
  const auto& Siblings = N->Parent->Children;
  for (size_t I = 0; I < Siblings.size(); ++I)
    if (Siblings[I].get() == N) return createIndex(static_cast<int>(I), 0, const_cast<TNode*>(N));
  return {};
}

QModelIndex TFolderTreeModel::index(int Row, int Column, const QModelIndex& Parent) const {
  TNode* P = Node(Parent);
  if (Column != 0 || Row < 0 || Row >= static_cast<int>(P->Children.size())) return {};
  return createIndex(Row, 0, P->Children[static_cast<size_t>(Row)].get());
}

QModelIndex TFolderTreeModel::parent(const QModelIndex& Index) const {
  if (!Index.isValid()) return {};
  return IndexOf(Node(Index)->Parent);
}

int TFolderTreeModel::rowCount(const QModelIndex& Parent) const {
  return static_cast<int>(Node(Parent)->Children.size());
}

bool TFolderTreeModel::hasChildren(const QModelIndex& Parent) const {
  const TNode* N = Node(Parent);
  if (N->Loaded) return !N->Children.empty();
  // Not read yet: a folder may have sub-folders; reading now could hang on a slow mount.
  return QFileInfo(Q(N->Path)).isDir();
}

bool TFolderTreeModel::canFetchMore(const QModelIndex& Parent) const { return !Node(Parent)->Loaded; }

void TFolderTreeModel::fetchMore(const QModelIndex& Parent) { Load(Node(Parent)); }

QVariant TFolderTreeModel::data(const QModelIndex& Index, int Role) const {
  const TNode* N = NodeOf(Index);
  if (N == nullptr) return {};
  switch (Role) {
    case Qt::DisplayRole:
      return N->Name;
    case Qt::ToolTipRole:
      return Q(N->Path);
    case Qt::DecorationRole: {
      static QFileIconProvider Icons;
      return Icons.icon(QFileIconProvider::Folder);
    }
    case Qt::CheckStateRole:
      if (!N->HasCheckbox) return {};
      return N->Checked ? Qt::Checked : Qt::Unchecked;
    default:
      return {};
  }
}

bool TFolderTreeModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  TNode* N = Index.isValid() ? Node(Index) : nullptr;
  // Only a node that shows a box can be ticked, by key or by mouse.
  if (N == nullptr || Role != Qt::CheckStateRole || !N->HasCheckbox) return false;
  const bool Checked = Value.toInt() == Qt::Checked;
  if (Checked == N->Checked) return true;
  N->Checked = Checked;
  emit dataChanged(Index, Index, {Qt::CheckStateRole});
  if (OnChecked) OnChecked(N->Path, Checked);
  return true;
}

Qt::ItemFlags TFolderTreeModel::flags(const QModelIndex& Index) const {
  const TNode* N = NodeOf(Index);
  if (N == nullptr) return Qt::NoItemFlags;
  Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
  if (N->HasCheckbox) F |= Qt::ItemIsUserCheckable;
  return F;
}

TFolderTreeModel::TNode* TFolderTreeModel::Find(TNode* From, const std::u16string& Path) const {
  for (auto& C : From->Children) {
    if (C->Path == Path) return C.get();
    const std::u16string Prefix = C->Path == u"/" ? C->Path : C->Path + u"/";
    if (Path.compare(0, Prefix.size(), Prefix) == 0)
      if (TNode* Deeper = Find(C.get(), Path)) return Deeper;
  }
  return nullptr;
}

QModelIndex TFolderTreeModel::IndexOfPath(const std::u16string& Path) const {
  return IndexOf(Find(const_cast<TNode*>(&Top_), Path));
}

void TFolderTreeModel::SetChecked(const std::u16string& Path, bool Checked) {
  TNode* N = Find(&Top_, Path);
  if (N == nullptr || !N->HasCheckbox || N->Checked == Checked) return;
  N->Checked = Checked;
  const QModelIndex I = IndexOf(N);
  emit dataChanged(I, I, {Qt::CheckStateRole});
}

void TFolderTreeModel::Refresh() { SetRoot(RootText_); }

TShTreeView::TShTreeView(QWidget* Parent) : QTreeView(Parent), FolderModel_(new TFolderTreeModel(this)) {
  setModel(FolderModel_);
  setHeaderHidden(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(true);
}

void TShTreeView::ShowPath(const std::u16string& Path) {
  QModelIndex Parent;
  QModelIndex Found;
  for (bool Moved = true; Moved;) {
    Moved = false;
    FolderModel_->fetchMore(Parent);
    for (int Row = 0; Row < FolderModel_->rowCount(Parent); ++Row) {
      const QModelIndex I = FolderModel_->index(Row, 0, Parent);
      const std::u16string& P = FolderModel_->NodeOf(I)->Path;
      const std::u16string Prefix = P == u"/" ? P : P + u"/";
      if (P == Path || Path.compare(0, Prefix.size(), Prefix) == 0) {
        Found = I;
        if (P != Path) {
          expand(I);
          Parent = I;
          Moved = true;
        }
        break;
      }
    }
  }
  if (Found.isValid()) {
    setCurrentIndex(Found);
    scrollTo(Found);
  }
}

void TShTreeView::RefreshNode() {
  std::vector<std::u16string> Expanded;
  std::vector<QModelIndex> Pending{QModelIndex()};
  while (!Pending.empty()) {
    const QModelIndex Parent = Pending.back();
    Pending.pop_back();
    for (int Row = 0; Row < FolderModel_->rowCount(Parent); ++Row) {
      const QModelIndex I = FolderModel_->index(Row, 0, Parent);
      if (!isExpanded(I)) continue;
      Expanded.push_back(FolderModel_->NodeOf(I)->Path);
      Pending.push_back(I);
    }
  }
  const TFolderTreeModel::TNode* Current = FolderModel_->NodeOf(currentIndex());
  const std::u16string Selected = Current != nullptr ? Current->Path : std::u16string();
  FolderModel_->Refresh();
  // Parents come before their children in Expanded, so each path's node exists when it is looked up.
  for (const auto& Path : Expanded) {
    const QModelIndex I = FolderModel_->IndexOfPath(Path);
    if (!I.isValid()) continue;
    FolderModel_->fetchMore(I);
    expand(I);
  }
  if (!Selected.empty()) ShowPath(Selected);
}
