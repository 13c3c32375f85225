#include "app/ui/VExtDlgs.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

TExtFileDialog::TExtFileDialog(bool Open, QWidget* Owner, const std::u16string& FileName,
                               const QString& Filter, int32_t FilterIndex, const QString& DefaultExt,
                               const QString& Title)
    : QFileDialog(Owner, Title) {
  setObjectName("ExtFileDialog");
  // The folder line lives in the dialog's own layout, so the widget-based dialog is used.
  setOption(QFileDialog::DontUseNativeDialog);
  setAcceptMode(Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  if (!Filter.isEmpty()) {
    const QStringList Filters = Filter.split(";;");
    setNameFilters(Filters);
    if (FilterIndex >= 1 && FilterIndex <= Filters.size()) selectNameFilter(Filters[FilterIndex - 1]);
  }
  setDefaultSuffix(DefaultExt);
  const QString Name = QString::fromStdU16String(FileName);
  const int Slash = Name.lastIndexOf('/');
  if (Slash >= 0) {
    setDirectory(Slash == 0 ? "/" : Name.left(Slash));
    selectFile(Name.mid(Slash + 1));
  } else {
    selectFile(Name);
  }
  FolderLine = new QLineEdit(this);
  FolderLine->setObjectName("FolderLine");
  FolderLine->setReadOnly(true);
  auto* Grid = qobject_cast<QGridLayout*>(layout());
  if (Grid != nullptr) {
    // Every row of the dialog moves down one; the line takes the top row.
    QList<std::tuple<QLayoutItem*, int, int, int, int>> Items;
    while (Grid->count() > 0) {
      int Row, Column, RowSpan, ColumnSpan;
      Grid->getItemPosition(0, &Row, &Column, &RowSpan, &ColumnSpan);
      Items.append({Grid->takeAt(0), Row, Column, RowSpan, ColumnSpan});
    }
    for (const auto& [Item, Row, Column, RowSpan, ColumnSpan] : Items)
      Grid->addItem(Item, Row + 1, Column, RowSpan, ColumnSpan);
    Grid->addWidget(FolderLine, 0, 0, 1, -1);
  }
  auto ShowFolder = [this](const QString& Folder) {
    FolderLine->setText(Folder);
    FolderLine->setCursorPosition(Folder.size());
  };
  connect(this, &QFileDialog::directoryEntered, this, ShowFolder);
  ShowFolder(directory().absolutePath());
  if (QScreen* Screen = QGuiApplication::primaryScreen()) {
    const QRect Area = Screen->availableGeometry();
    move(Area.center() - rect().center());
  }
}

bool ExtFileDialog(bool Open, QWidget* Owner, std::u16string& FileName, int32_t& FilterIndex,
                   const QString& Filter, const QString& DefaultExt, const QString& Title) {
  TExtFileDialog D(Open, Owner, FileName, Filter, FilterIndex, DefaultExt, Title);
  if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty()) return false;
  FileName = D.selectedFiles().join(QChar(0)).toStdU16String();
  FilterIndex = static_cast<int32_t>(D.nameFilters().indexOf(D.selectedNameFilter())) + 1;
  return true;
}

bool ExtSaveDialog(std::u16string& FileName, const QString& Title, const QString& DefaultExt,
                   int32_t& FilterIndex, const QString& Filter) {
  return ExtFileDialog(false, nullptr, FileName, FilterIndex, Filter, DefaultExt, Title);
}
