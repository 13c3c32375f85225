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

int TResListModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Published; }

int TResListModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : 4; }

QVariant TResListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= Results().Count()) return {};
  if (Role == Qt::DisplayRole)
    return QString::fromStdU16String(ResListCellText(Results(), Index.row(), Index.column()));
  if (Role == Qt::DecorationRole && Index.column() <= rlcPath) {
    // Column 0: the icon of the file's type; column 1: for an archive item, the archive's icon.
    size_t Row = static_cast<size_t>(Index.row());
    if (RowIcons.size() <= Row) RowIcons.resize(Row + 1, {-1, -1});
    int& Cached = RowIcons[Row][static_cast<size_t>(Index.column())];
    if (Cached < 0) {
      if (Index.column() == rlcName)
        Cached = IconIndex(ResListCellText(Results(), Index.row(), rlcName));
      else if (Results().IsArchiveItem(Index.row()))
        Cached = IconIndex(Results().GetArchiveName(Index.row()));
      else
        Cached = kNoIcon;  // plain files: no icon in the path column
    }
    return Cached < static_cast<int>(Icons.size()) ? QVariant(Icons[static_cast<size_t>(Cached)])
                                                   : QVariant();
  }
  if (Role == Qt::TextAlignmentRole && Index.column() == rlcSize)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant TResListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 && Section < 4)
    return QString::fromUtf8(kColumnCaptions[Section]);
  return QAbstractTableModel::headerData(Section, Orientation, Role);
}

Qt::ItemFlags TResListModel::flags(const QModelIndex& Index) const {
  Qt::ItemFlags Flags = QAbstractTableModel::flags(Index);
  // An archive item has no file of its own to drag out.
  if (Index.isValid() && Index.row() < Results().Count() && !Results().IsArchiveItem(Index.row()))
    Flags |= Qt::ItemIsDragEnabled;
  return Flags;
}

QStringList TResListModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

QMimeData* TResListModel::mimeData(const QModelIndexList& Indexes) const {
  QList<QUrl> Urls;
  for (const QModelIndex& Index : Indexes) {
    if (Index.column() != 0 || Index.row() >= Results().Count() || Results().IsArchiveItem(Index.row()))
      continue;
    Urls.push_back(QUrl::fromLocalFile(QString::fromStdU16String(Results().GetFullName(Index.row()))));
  }
  if (Urls.isEmpty()) return nullptr;
  auto* Data = new QMimeData;
  Data->setUrls(Urls);
  return Data;
}

int TResListModel::IconIndex(const std::u16string& FileName) const {
  static const QMimeDatabase Types;
  QMimeType Type = Types.mimeTypeForFile(QString::fromStdU16String(FileName), QMimeDatabase::MatchExtension);
  auto Found = IconOfType.find(Type.name());
  if (Found != IconOfType.end()) return Found->second;
  QIcon Icon = QIcon::fromTheme(Type.iconName(), QIcon::fromTheme(Type.genericIconName()));
  if (Icon.isNull()) Icon = QFileIconProvider().icon(QFileIconProvider::File);
  Icons.push_back(Icon);
  int Index = static_cast<int>(Icons.size()) - 1;
  IconOfType.emplace(Type.name(), Index);
  return Index;
}

QModelIndexList TResListModel::match(const QModelIndex& Start, int Role, const QVariant& Value, int Hits,
                                     Qt::MatchFlags Flags) const {
  if (Role != Qt::DisplayRole || Start.column() != rlcName || !(Flags & Qt::MatchStartsWith))
    return QAbstractTableModel::match(Start, Role, Value, Hits, Flags);
  QModelIndexList Found;
  std::u16string Typed = Value.toString().toStdU16String();
  int Count = std::min(Published, Results().Count());
  for (int Step = 0; Step < Count && (Hits < 0 || Found.size() < Hits); ++Step) {
    int Row = (Start.row() + Step) % Count;
    if (!(Flags & Qt::MatchWrap) && Start.row() + Step >= Count) break;
    if (ResListNameMatches(ResListCellText(Results(), Row, rlcName), Typed))
      Found.push_back(index(Row, rlcName));
  }
  return Found;
}

void TResListModel::Refresh() {
  int Count = Results().Count();
  if (Count == Published) return;
  if (Count > Published) {
    beginInsertRows(QModelIndex(), Published, Count - 1);
    Published = Count;
    endInsertRows();
  } else {
    Reset();
  }
}

void TResListModel::Reset() {
  beginResetModel();
  RowIcons.clear();
  Published = Results().Count();
  endResetModel();
}
