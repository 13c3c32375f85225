#include "app/ui/ResListModel.h"

#include <QFileIconProvider>
#include <QMimeData>
#include <QMimeDatabase>
#include <QUrl>
#include <limits>

#include "app/ResList.h"
#include "search/SrchRes.h"

namespace {

// A cached icon index that stands for no icon.
constexpr int kNoIcon = std::numeric_limits<int>::max();

}  // namespace

const char* const TResListModel::kColumnCaptions[4] = {"Name", "Path", "Size", "Date/Time"};

int TResListModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Published_; }

int TResListModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : 4; }

QVariant TResListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= Results_().Count()) return {};
  if (Role == Qt::DisplayRole)
    return QString::fromStdU16String(ResListCellText(Results_(), Index.row(), Index.column()));
  if (Role == Qt::DecorationRole && Index.column() <= rlcPath) {
    // Column 0: the icon of the file's type; column 1: for an archive item, the archive's icon.
    size_t Row = static_cast<size_t>(Index.row());
    if (RowIcons_.size() <= Row) RowIcons_.resize(Row + 1, {-1, -1});
    int& Cached = RowIcons_[Row][static_cast<size_t>(Index.column())];
    if (Cached < 0) {
      if (Index.column() == rlcName)
        Cached = IconIndex(ResListCellText(Results_(), Index.row(), rlcName));
      else if (Results_().IsArchiveItem(Index.row()))
        Cached = IconIndex(Results_().GetArchiveName(Index.row()));
      else
        Cached = kNoIcon;  // plain files: no icon in the path column
    }
    return Cached < static_cast<int>(Icons_.size()) ? QVariant(Icons_[static_cast<size_t>(Cached)])
                                                    : QVariant();
  }
  if (Role == Qt::TextAlignmentRole && Index.column() == rlcSize)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant TResListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 && Section < 4)
    return Captions_[static_cast<size_t>(Section)];
  return QAbstractTableModel::headerData(Section, Orientation, Role);
}

bool TResListModel::setHeaderData(int Section, Qt::Orientation Orientation, const QVariant& Value, int Role) {
  if (Orientation != Qt::Horizontal || (Role != Qt::DisplayRole && Role != Qt::EditRole) || Section < 0 ||
      Section >= 4)
    return false;
  Captions_[static_cast<size_t>(Section)] = Value.toString();
  emit headerDataChanged(Qt::Horizontal, Section, Section);
  return true;
}

Qt::ItemFlags TResListModel::flags(const QModelIndex& Index) const {
  Qt::ItemFlags Flags = QAbstractTableModel::flags(Index);
  // An archive item has no file of its own to drag out.
  if (Index.isValid() && Index.row() < Results_().Count() && !Results_().IsArchiveItem(Index.row()))
    Flags |= Qt::ItemIsDragEnabled;
  return Flags;
}

QStringList TResListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* TResListModel::mimeData(const QModelIndexList& Indexes) const {
  QList<QUrl> Urls;
  for (const QModelIndex& Index : Indexes) {
    if (Index.column() != 0 || Index.row() >= Results_().Count() || Results_().IsArchiveItem(Index.row()))
      continue;
    Urls.push_back(QUrl::fromLocalFile(QString::fromStdU16String(Results_().GetFullName(Index.row()))));
  }
  if (Urls.isEmpty()) return nullptr;
  auto* Data = new QMimeData;
  Data->setUrls(Urls);
  return Data;
}

int TResListModel::IconIndex(const std::u16string& FileName) const {
  static const QMimeDatabase Types;
  QMimeType Type = Types.mimeTypeForFile(QString::fromStdU16String(FileName), QMimeDatabase::MatchExtension);
  auto Found = IconOfType_.find(Type.name());
  if (Found != IconOfType_.end()) return Found->second;
  QIcon Icon = QIcon::fromTheme(Type.iconName(), QIcon::fromTheme(Type.genericIconName()));
  if (Icon.isNull()) Icon = QFileIconProvider().icon(QFileIconProvider::File);
  Icons_.push_back(Icon);
  int Index = static_cast<int>(Icons_.size()) - 1;
  IconOfType_.emplace(Type.name(), Index);
  return Index;
}

QModelIndexList TResListModel::match(const QModelIndex& Start, int Role, const QVariant& Value, int Hits,
                                     Qt::MatchFlags Flags) const {
  if (Role != Qt::DisplayRole || Start.column() != rlcName || !(Flags & Qt::MatchStartsWith))
    return QAbstractTableModel::match(Start, Role, Value, Hits, Flags);
  QModelIndexList Found;
  std::u16string Typed = Value.toString().toStdU16String();
  int Count = std::min(Published_, Results_().Count());
  for (int Step = 0; Step < Count && (Hits < 0 || Found.size() < Hits); ++Step) {
    int Row = (Start.row() + Step) % Count;
    if (!(Flags & Qt::MatchWrap) && Start.row() + Step >= Count) break;
    if (ResListNameMatches(ResListCellText(Results_(), Row, rlcName), Typed))
      Found.push_back(index(Row, rlcName));
  }
  return Found;
}

void TResListModel::Refresh() {
  int Count = Results_().Count();
  if (Count == Published_) return;
  if (Count > Published_) {
    beginInsertRows(QModelIndex(), Published_, Count - 1);
    Published_ = Count;
    endInsertRows();
  } else {
    Reset();
  }
}

void TResListModel::Reset() {
  beginResetModel();
  RowIcons_.clear();
  Published_ = Results_().Count();
  endResetModel();
}
