#include "app/ui/SelectFileTypesForm.h"

#include <QComboBox>
#include <QDropEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/PathSelection.h"
#include "app/Utils.h"
#include "app/ui/EditMasksForm.h"
#include "app/ui/SelectPathsForm.h"
#include "core/StrLst.h"
#include "core/WSSDic.h"

namespace {

QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }

}  // namespace

std::vector<TFileTypeSource> MimeFileTypeSource() {
  std::vector<TFileTypeSource> Types;
  QList<QMimeType> All = QMimeDatabase().allMimeTypes();
  // Sorted by name, so that the first type of a shared suffix is always the same one.
  std::sort(All.begin(), All.end(),
            [](const QMimeType& A, const QMimeType& B) { return A.name() < B.name(); });
  for (const QMimeType& T : All)
    for (const QString& Suffix : T.suffixes())
      Types.push_back({Suffix.toStdString(), T.comment().toStdString(), "", -1});
  return Types;
}

TSelectFileTypes::TSelectFileTypes(QWidget* Parent) : QDialog(Parent) {
  setObjectName("SelectFileTypes");
  setWindowTitle("Select File Types");
  setSizeGripEnabled(true);
  auto* Grid = new QGridLayout(this);
  auto MakeList = [this](const char* Name, const char* First, const char* Second) {
    auto* L = new QTreeWidget(this);
    L->setObjectName(Name);
    L->setHeaderLabels({First, Second});
    L->setRootIsDecorated(false);
    return L;
  };
  AllTypesList = MakeList("AllTypesList", "All Types", "Descriptions");
  SelTypesList = MakeList("SelTypesList", "Selected Types", "Descriptions");
  for (QTreeWidget* L : {AllTypesList, SelTypesList}) {
    L->setSelectionMode(QAbstractItemView::ExtendedSelection);
    L->setDragEnabled(true);
    L->setAcceptDrops(true);
    L->viewport()->installEventFilter(this);
  }
  AllRadio = new QRadioButton("&Accept all file types", this);
  AllRadio->setObjectName("AllRadio");
  SelectedRadio = new QRadioButton("Acc&ept selected file types only", this);
  SelectedRadio->setObjectName("SelectedRadio");
  MasksEdit = new QLineEdit(this);
  MasksEdit->setObjectName("MasksEdit");
  MasksEdit->setReadOnly(true);
  auto Make = [this](const char* Name, const char* Caption) {
    auto* B = new QPushButton(Caption, this);
    B->setObjectName(Name);
    return B;
  };
  QPushButton* RefreshBtn = Make("RefreshBtn", "&Refresh");
  ClearBtn = Make("ClearBtn", "&Clear");
  SaveBtn = Make("SaveBtn", "&Save...");
  EditMasksBtn = Make("EditMasksBtn", "...");
  DefinedTypesCombo = new QComboBox(this);
  DefinedTypesCombo->setObjectName("DefinedTypesCombo");
  auto* ExtDefBtn = new QToolButton(this);
  ExtDefBtn->setObjectName("ExtDefBtn");
  auto* SavePopup = new QMenu(ExtDefBtn);
  SavePopup->setObjectName("SavePopup");
  QAction* PopSave = SavePopup->addAction("&Save...");
  PopSave->setObjectName("SaveItem");
  QAction* PopDelete = SavePopup->addAction("&Delete...");
  PopDelete->setObjectName("DeleteItem");
  ExtDefBtn->setMenu(SavePopup);
  ExtDefBtn->setPopupMode(QToolButton::InstantPopup);
  QPushButton* OK = Make("OKBtn", "OK");
  QPushButton* Cancel = Make("CancelBtn", "Cancel");
  OK->setDefault(true);

  Grid->addWidget(AllRadio, 0, 0);
  Grid->addWidget(SelectedRadio, 0, 1);
  Grid->addWidget(AllTypesList, 1, 0);
  Grid->addWidget(SelTypesList, 1, 1);
  Grid->addWidget(RefreshBtn, 2, 0);
  Grid->addWidget(ClearBtn, 2, 1);
  auto* MaskRow = new QHBoxLayout;
  MaskRow->addWidget(MasksEdit, 1);
  MaskRow->addWidget(EditMasksBtn);
  Grid->addLayout(MaskRow, 3, 0, 1, 2);
  auto* GroupRow = new QHBoxLayout;
  GroupRow->addWidget(DefinedTypesCombo, 1);
  GroupRow->addWidget(SaveBtn);
  GroupRow->addWidget(ExtDefBtn);
  GroupRow->addStretch();
  GroupRow->addWidget(OK);
  GroupRow->addWidget(Cancel);
  Grid->addLayout(GroupRow, 4, 0, 1, 2);

  connect(AllRadio, &QRadioButton::clicked, this, [this] { SetAllTypes(true); });
  connect(SelectedRadio, &QRadioButton::clicked, this, [this] { SetAllTypes(false); });
  connect(AllTypesList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* Item, int Column) {
    if (!Filling_ && Column == 0) CheckType(Item->text(0).toStdString(), Item->checkState(0) == Qt::Checked);
  });
  connect(SelTypesList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* Item, int Column) {
    if (Filling_ || Column != 0 || Item->checkState(0) == Qt::Checked) return;
    // The row is not changed inside its own check notification: its mask (not its row, which an
    // earlier removal may have moved) is removed once the notification is over.
    const std::u16string Mask = Item->data(0, Qt::UserRole).toString().toStdU16String();
    QTimer::singleShot(0, this, [this, Mask] {
      if (Selection_.RemoveMask(Mask)) ShowSelection();
    });
  });
  // A double click toggles a row's box (a selected row's untick removes it).
  for (QTreeWidget* List : {AllTypesList, SelTypesList})
    connect(List, &QTreeWidget::itemDoubleClicked, this, [](QTreeWidgetItem* Item) {
      if (Item->flags() & Qt::ItemIsUserCheckable)
        Item->setCheckState(0, Item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });
  connect(AllTypesList->header(), &QHeaderView::sectionClicked, this,
          [this](int Section) { SortTypes(Section + 1); });
  connect(RefreshBtn, &QPushButton::clicked, this, [this] {
    FileTypes().Enumerate();
    FillAllTypes();
    ShowSelection();
  });
  connect(ClearBtn, &QPushButton::clicked, this, [this] {
    Selection_.Clear();
    ShowSelection();
  });
  connect(SaveBtn, &QPushButton::clicked, this, [this] { SaveGroup(); });
  connect(PopSave, &QAction::triggered, this, [this] { SaveGroup(); });
  connect(PopDelete, &QAction::triggered, this, [this] { DeleteGroup(); });
  connect(SavePopup, &QMenu::aboutToShow, this, [this, PopSave, PopDelete] {
    PopSave->setEnabled(SaveBtn->isEnabled());
    PopDelete->setEnabled(DefinedTypesCombo->currentIndex() >= 0);
  });
  connect(DefinedTypesCombo, &QComboBox::activated, this,
          [this](int) { ChooseGroup(DefinedTypesCombo->currentText().toStdU16String()); });
  connect(EditMasksBtn, &QPushButton::clicked, this, [this] {
    TEditMasks Editor(this);
    if (Localize) Localize(Editor.LangForm());
    std::u16string Text = MasksEdit->text().toStdU16String();
    if (!Editor.Execute(Text)) return;
    TWideStrLst Masks;
    SplitQuotedList(Masks, Text);
    Selection_.SetMasks(Masks);
    ShowSelection();
  });
  connect(OK, &QPushButton::clicked, this, &QDialog::accept);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
  AskGroupName = [](std::u16string& Name, const std::vector<std::u16string>& Names) {
    return AskSavedSetName(TMsgIndex::SaveFileTypes, TMsgIndex::SaveSelectedTypesAs, Name, Names);
  };
  ConfirmDelete = [](const std::u16string& Name) {
    return ConfirmDeleteSavedSet(TMsgIndex::AskDeleteSavedTypes_s, Name);
  };
  resize(640, 420);
}

void TSelectFileTypes::DropTypesOnSelected() {
  if (Selection_.AllTypes) return;
  for (QTreeWidgetItem* Item : AllTypesList->selectedItems())
    Selection_.AddMask(u"*." + Item->text(0).toLower().toStdU16String());
  ShowSelection();
}

void TSelectFileTypes::DropRowsOnTypes() {
  for (QTreeWidgetItem* Item : SelTypesList->selectedItems())
    Selection_.RemoveMask(Item->data(0, Qt::UserRole).toString().toStdU16String());
  ShowSelection();
}

bool TSelectFileTypes::eventFilter(QObject* Watched, QEvent* Event) {
  auto* Drag = dynamic_cast<QDropEvent*>(Event);
  if (Drag == nullptr || (Event->type() != QEvent::DragEnter && Event->type() != QEvent::DragMove &&
                          Event->type() != QEvent::Drop))
    return QDialog::eventFilter(Watched, Event);
  const bool OnSelected = Watched == SelTypesList->viewport();
  // Only drags between the two lists.
  if (Drag->source() != (OnSelected ? AllTypesList : SelTypesList)) {
    Drag->ignore();
    return true;
  }
  Drag->setDropAction(Qt::CopyAction);
  Drag->accept();
  if (Event->type() == QEvent::Drop) OnSelected ? DropTypesOnSelected() : DropRowsOnTypes();
  return true;
}

void TSelectFileTypes::FillAllTypes() {
  Filling_ = true;
  AllTypesList->clear();
  for (const auto& E : FileTypes().Entries()) {
    auto* Item = new QTreeWidgetItem(AllTypesList);
    Item->setText(0, QString::fromStdString(E.Extension));
    Item->setText(1, QString::fromStdString(E.Info.TypeName));
    Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
    Item->setCheckState(0, Selection_.IsTypeSelected(E.Extension) ? Qt::Checked : Qt::Unchecked);
  }
  AllTypesList->header()->setSortIndicator(std::abs(SortColumn_) - 1,
                                           SortColumn_ < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
  AllTypesList->header()->setSortIndicatorShown(true);
  Filling_ = false;
}

void TSelectFileTypes::ShowSelection() {
  Filling_ = true;
  const bool All = Selection_.AllTypes;
  AllRadio->setChecked(All);
  SelectedRadio->setChecked(!All);
  AllTypesList->setEnabled(!All);
  ClearBtn->setEnabled(!All);
  EditMasksBtn->setEnabled(!All);
  const std::u16string Text = Selection_.MasksText();
  MasksEdit->setText(Q(Text));
  SaveBtn->setEnabled(!All && !Text.empty());
  const std::u16string Group = All ? std::u16string() : FindSavedSet(Settings_.FileTypeGroups, Text);
  DefinedTypesCombo->setCurrentIndex(Group.empty() ? -1 : DefinedTypesCombo->findText(Q(Group)));
  SelTypesList->clear();
  if (!All)
    for (const TSelectedTypeRow& R : Selection_.Rows(FileTypes())) {
      auto* Item = new QTreeWidgetItem(SelTypesList);
      Item->setText(0, Q(R.Display));
      Item->setText(1, Q(R.Description));
      Item->setData(0, Qt::UserRole, Q(R.Mask));
      Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
      Item->setCheckState(0, Qt::Checked);
    }
  for (int I = 0; I < AllTypesList->topLevelItemCount(); ++I) {
    QTreeWidgetItem* Item = AllTypesList->topLevelItem(I);
    Item->setCheckState(0,
                        Selection_.IsTypeSelected(Item->text(0).toStdString()) ? Qt::Checked : Qt::Unchecked);
  }
  Filling_ = false;
}

void TSelectFileTypes::FillGroups() {
  DefinedTypesCombo->clear();
  for (const auto& Name : SavedSetNames(Settings_.FileTypeGroups)) DefinedTypesCombo->addItem(Q(Name));
  DefinedTypesCombo->setEnabled(DefinedTypesCombo->count() > 0);
}

void TSelectFileTypes::SetAllTypes(bool All) {
  if (All)
    Selection_.ChooseAll();
  else
    Selection_.ChooseSelected();
  ShowSelection();
}

void TSelectFileTypes::CheckType(const std::string& Ext, bool Checked) {
  if (Checked)
    Selection_.AddMask(u"*." + QString::fromStdString(Ext).toLower().toStdU16String());
  else
    for (const auto& M : std::vector<std::u16string>(Selection_.Masks()))
      if (MaskExtension(M) == Ext) Selection_.RemoveMask(M);
  ShowSelection();
}

void TSelectFileTypes::SaveGroup() {
  const std::u16string Text = MasksEdit->text().toStdU16String();
  if (Selection_.AllTypes || Text.empty()) return;
  std::u16string Name;
  if (!AskGroupName(Name, SavedSetNames(Settings_.FileTypeGroups)) || Name.empty()) return;
  Settings_.FileTypeGroups.Put(Name, Text);
  FillGroups();
  DefinedTypesCombo->setCurrentIndex(DefinedTypesCombo->findText(Q(Name)));
}

void TSelectFileTypes::ChooseGroup(const std::u16string& Name) {
  TWideStrLst Masks;
  SplitQuotedList(Masks, Settings_.FileTypeGroups.Get(Name));
  Selection_.SetMasks(Masks);
  Selection_.ChooseSelected();
  ShowSelection();
}

void TSelectFileTypes::DeleteGroup() {
  if (DefinedTypesCombo->currentIndex() < 0) return;
  const std::u16string Name = DefinedTypesCombo->currentText().toStdU16String();
  if (!ConfirmDelete(Name)) return;
  Settings_.FileTypeGroups.Delete(Name);
  FillGroups();
  ShowSelection();
}

void TSelectFileTypes::SortTypes(int32_t Column) {
  SortColumn_ = std::abs(SortColumn_) == Column ? -SortColumn_ : Column;
  FileTypes().Sort(std::abs(SortColumn_), SortColumn_ < 0);
  FillAllTypes();
}

bool TSelectFileTypes::Execute(TWideStrLst& Masks) {
  Selection_.SetMasks(Masks);
  if (!FileTypes().Ready) {
    if (!FileTypes().Source) FileTypes().Source = MimeFileTypeSource;
    FileTypes().WaitReady();
    FileTypes().Sort(1, false);
  }
  FillGroups();
  FillAllTypes();
  ShowSelection();
  if (exec() != QDialog::Accepted) return false;
  SplitQuotedList(Masks, MasksEdit->text().toStdU16String());
  return true;
}
