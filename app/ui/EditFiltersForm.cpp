#include "app/ui/EditFiltersForm.h"

#include <QFileIconProvider>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Options.h"
#include "search/QVConvIntf.h"

namespace {

// The longest extension looked up for an icon.
constexpr int kMaxIconExtension = 15;

QIcon IconForExtension(const std::string& Ext) {
  static QMimeDatabase Db;
  const QString Name = "x." + QString::fromStdString(Ext.substr(0, kMaxIconExtension));
  const QMimeType Type = Db.mimeTypeForFile(Name, QMimeDatabase::MatchExtension);
  return QIcon::fromTheme(Type.iconName(), QIcon::fromTheme(Type.genericIconName()));
}

}  // namespace

TEditFilters::TEditFilters(TQVConverters& Converters, QWidget* Parent)
    : QDialog(Parent), Converters_(Converters), Lang_(this, "TEditFilters") {
  setObjectName("EditFilters");
  setSizeGripEnabled(true);
  setWindowTitle("Select Filters");
  auto* Layout = new QVBoxLayout(this);
  FiltersTree = new QTreeWidget(this);
  FiltersTree->setObjectName("FiltersTree");
  FiltersTree->setColumnCount(2);
  FiltersTree->header()->hide();
  Layout->addWidget(FiltersTree);
  connect(FiltersTree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* Item, int Column) {
    const int Index = FiltersTree->indexOfTopLevelItem(Item);
    if (Filling_ || Column != 0 || Index < 0) return;
    Filters_.SetChecked(Index, Item->checkState(0) == Qt::Checked);
  });

  auto* SizeRow = new QHBoxLayout;
  auto* SizeLabel = new QLabel("&Don't convert files larger than:", this);
  SizeLabel->setObjectName("lMaxSize");
  MaxSizeEdit = new QLineEdit(this);
  MaxSizeEdit->setObjectName("MaxSizeEdit");
  MaxSizeEdit->setMaximumWidth(60);
  SizeLabel->setBuddy(MaxSizeEdit);
  connect(MaxSizeEdit, &QLineEdit::editingFinished, this, [this] { NormalizeMaxSize(); });
  auto* Mb = new QLabel("Mb", this);
  Mb->setObjectName("lMb");
  SizeRow->addWidget(SizeLabel);
  SizeRow->addWidget(MaxSizeEdit);
  SizeRow->addWidget(Mb);
  SizeRow->addStretch();
  Layout->addLayout(SizeRow);

  auto* Buttons = new QHBoxLayout;
  auto AddButton = [&](const char* Name, const char* Caption) {
    auto* B = new QPushButton(Caption, this);
    B->setObjectName(Name);
    Buttons->addWidget(B);
    return B;
  };
  QPushButton* CheckAll = AddButton("CheckAllBtn", "&Enable all");
  QPushButton* UncheckAll = AddButton("UncheckAllBtn", "D&isable all");
  Buttons->addStretch();
  QPushButton* OK = AddButton("OKBtn", "OK");
  QPushButton* Cancel = AddButton("CancelBtn", "Cancel");
  OK->setDefault(true);
  Layout->addLayout(Buttons);
  connect(CheckAll, &QPushButton::clicked, this, [this] {
    Filters_.SetAll(false);
    FillTree();
  });
  connect(UncheckAll, &QPushButton::clicked, this, [this] {
    Filters_.SetAll(true);
    FillTree();
  });
  connect(OK, &QPushButton::clicked, this, &QDialog::accept);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
  resize(520, 360);
}

void TEditFilters::NormalizeMaxSize() {
  MaxSizeEdit->setText(QString::number(
      ParseSizeMb(MaxSizeEdit->text().toStdU16String(), kDefaultConvertSizeMb, 1, kMaxConvertSizeMb)));
}

void TEditFilters::FillTree() {
  Filling_ = true;
  FiltersTree->clear();
  for (int32_t I = 0; I < Converters_.Count(); ++I) {
    TQVConverter* C = Converters_.GetConverter(I);
    auto* Root = new QTreeWidgetItem(FiltersTree);
    Root->setText(0, QString::fromStdString(ConverterModuleName(C->GetFileName())));
    Root->setText(1, QString::fromStdString(C->GetDllInfo()));
    QFont Underlined = Root->font(0);
    Underlined.setUnderline(true);
    Root->setFont(0, Underlined);
    Root->setFont(1, Underlined);
    Root->setFlags(Root->flags() | Qt::ItemIsUserCheckable);
    Root->setCheckState(0, Filters_.IsDisabled(I) ? Qt::Unchecked : Qt::Checked);
    int32_t Count = 0;
    C->ListSupportedTypes(Count);
    for (int32_t J = 0; J < Count; ++J) {
      auto* Child = new QTreeWidgetItem(Root);
      const std::string Type = C->GetType(J);
      Child->setText(0, QString::fromStdString(Type));
      Child->setText(1, QString::fromStdString(C->GetTypeDescription(J)));
      Child->setIcon(0, IconForExtension(Type));
    }
    Root->setExpanded(!Filters_.IsDisabled(I));
  }
  FiltersTree->resizeColumnToContents(0);
  Filling_ = false;
}

bool TEditFilters::Execute() {
  Filters_.Load(Converters_);
  FiltersTree->setFont(QFont(QString::fromStdString(ProgramSettings().MainFont.Name)));
  FillTree();
  MaxSizeEdit->setText(QString::number(ConvertSizeMbOfSetting(ProgramSettings().MaxConvertSize)));
  const bool OK = exec() == QDialog::Accepted;
  FiltersTree->clear();
  if (OK) Filters_.Apply(Converters_, MaxSizeEdit->text().toStdU16String(), ProgramSettings());
  return OK;
}
