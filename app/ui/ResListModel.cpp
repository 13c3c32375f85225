#include "app/ui/ResListModel.h"

#include <QMimeData>
#include <QUrl>

#include "app/ResList.h"
#include "search/SrchRes.h"

const char* const TResListModel::kColumnCaptions[4] = {"Name", "Path", "Size", "Date/Time"};

int TResListModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : Published; }

int TResListModel::columnCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : 4; }

QVariant TResListModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= Results().Count()) return {};
  if (Role == Qt::DisplayRole)
    return QString::fromStdU16String(ResListCellText(Results(), Index.row(), Index.column()));
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
    if (Index.column() != 0 || Index.row() >= Results().Count() || Results().IsArchiveItem(Index.row())) continue;
    Urls.push_back(QUrl::fromLocalFile(QString::fromStdU16String(Results().GetFullName(Index.row()))));
  }
  if (Urls.isEmpty()) return nullptr;
  auto* Data = new QMimeData;
  Data->setUrls(Urls);
  return Data;
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
  Published = Results().Count();
  endResetModel();
}
