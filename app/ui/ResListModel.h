// The results list's model: one row per row of the result table, four columns whose texts are computed
// on demand (app/ResList.h), so that lists of hundreds of thousands of hits cost no memory of their own.
// The row count is the published count: the search raises it at most every 100 ms while hits arrive.
// Found files that are not archive items can be dragged out as a list of files.
// Main thread only; the table outlives the model's use of it.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <array>
#include <functional>
#include <map>
#include <vector>

class TSearchResults;

class TResListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // Results answers the current table (the search may replace it).
  explicit TResListModel(std::function<TSearchResults&()> Results, QObject* Parent = nullptr)
      : QAbstractTableModel(Parent), Results_(std::move(Results)) {}

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;
  // The column captions change with the interface language.
  bool setHeaderData(int Section, Qt::Orientation Orientation, const QVariant& Value, int Role) override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& Indexes) const override;
  // Type-to-find: rows whose name begins with the typed text, without case.
  QModelIndexList match(const QModelIndex& Start, int Role, const QVariant& Value, int Hits,
                        Qt::MatchFlags Flags) const override;

  // The published row count := the table's count; rows beyond the table are never shown.
  void Refresh();
  // The list starts again from the table (after a sort or clearing).
  void Reset();
  // The designed column captions.
  static const char* const kColumnCaptions[4];

 private:
  // The icon of a file name by its type: an index into Icons, cached per row and column (-1: not yet).
  int IconIndex(const std::u16string& FileName) const;
  std::function<TSearchResults&()> Results_;
  std::array<QString, 4> Captions_{QString(kColumnCaptions[0]), QString(kColumnCaptions[1]),
                                   QString(kColumnCaptions[2]), QString(kColumnCaptions[3])};
  int Published_ = 0;
  mutable std::vector<std::array<int, 2>> RowIcons_;
  mutable std::vector<QIcon> Icons_;
  mutable std::map<QString, int> IconOfType_;
};
