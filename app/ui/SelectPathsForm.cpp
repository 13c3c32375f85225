#include "app/ui/SelectPathsForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/ui/MessageDlg.h"
#include "app/ui/qvShellTree.h"
#include "core/WSSDic.h"
#include "core/WideStrings.h"

namespace {

QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }

// The narrowest list panel, and the least the tree keeps.
constexpr int kMinListPanelWidth = 196;
constexpr int kMinTreeWidth = 88;

}  // namespace

bool AskSavedSetName(TMsgIndex CaptionMsg, TMsgIndex LabelMsg, std::u16string& Name,
                     const std::vector<std::u16string>& Names) {
  TWideStringList History;
  for (const auto& N : Names) History.Add(N);
  return QueryString(static_cast<int32_t>(CaptionMsg), static_cast<int32_t>(LabelMsg), Name, &History, false);
}

bool ConfirmDeleteSavedSet(TMsgIndex QuestionMsg, const std::u16string& Name) {
  return AskYesNoFmt(QuestionMsg, {DoubleAmpersands(Name)});
}

TSelectPaths::TSelectPaths(QWidget* Parent) : QDialog(Parent) {
  setObjectName("SelectPaths");
  setWindowTitle("Select Paths");
  setSizeGripEnabled(true);
  setMinimumSize(400, 300);
  auto* Grid = new QGridLayout(this);
  auto* Split = new QSplitter(this);
  ShellTree = new TShTreeView(Split);
  ShellTree->setObjectName("ShellTree");
  ShellTree->setMinimumWidth(kMinTreeWidth);
  ShellTree->Model()->ObjectTypes = otFolders | otHidden;
  auto* PR = new QWidget(Split);
  PR->setObjectName("PR");
  PR->setMinimumWidth(kMinListPanelWidth);
  auto* Right = new QGridLayout(PR);
  RecursCheck = new QCheckBox("Su&bdirectories", PR);
  RecursCheck->setObjectName("RecursCheck");
  SavedPathsCombo = new QComboBox(PR);
  SavedPathsCombo->setObjectName("SavedPathsCombo");
  SaveBtn = new QPushButton("&Save...", PR);
  SaveBtn->setObjectName("SaveBtn");
  auto* ExtSaveBtn = new QToolButton(PR);
  ExtSaveBtn->setObjectName("ExtSaveBtn");
  auto* SavePopup = new QMenu(ExtSaveBtn);
  SavePopup->setObjectName("SavePopup");
  QAction* PopSave = SavePopup->addAction("&Save...");
  PopSave->setObjectName("SaveItem");
  QAction* PopDelete = SavePopup->addAction("D&elete...");
  PopDelete->setObjectName("DeleteItem");
  ExtSaveBtn->setMenu(SavePopup);
  ExtSaveBtn->setPopupMode(QToolButton::InstantPopup);
  PathList = new QTreeWidget(PR);
  PathList->setObjectName("PathList");
  PathList->setHeaderLabels({"Selected paths"});
  PathList->setRootIsDecorated(false);
  PathList->setAcceptDrops(true);
  PathList->setDragEnabled(true);
  PathList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  SortCheck = new QCheckBox("S&ort directories", PR);
  SortCheck->setObjectName("SortCheck");
  auto* ClearBtn = new QPushButton("&Clear", PR);
  ClearBtn->setObjectName("ClearBtn");
  Right->addWidget(RecursCheck, 0, 0, 1, 3);
  Right->addWidget(SavedPathsCombo, 1, 0);
  Right->addWidget(SaveBtn, 1, 1);
  Right->addWidget(ExtSaveBtn, 1, 2);
  Right->addWidget(PathList, 2, 0, 1, 3);
  Right->addWidget(SortCheck, 3, 0);
  Right->addWidget(ClearBtn, 3, 1, 1, 2);
  Grid->addWidget(Split, 0, 0, 1, 4);
  auto* RefreshBtn = new QPushButton("&Refresh", this);
  RefreshBtn->setObjectName("RefreshBtn");
  auto* OK = new QPushButton("OK", this);
  OK->setObjectName("OKBtn");
  OK->setDefault(true);
  auto* Cancel = new QPushButton("Cancel", this);
  Cancel->setObjectName("CancelBtn");
  Grid->addWidget(RefreshBtn, 1, 0);
  Grid->addWidget(OK, 1, 2);
  Grid->addWidget(Cancel, 1, 3);

  ShellTree->setAcceptDrops(true);
  for (QWidget* Target : {ShellTree->viewport(), PathList->viewport()}) Target->installEventFilter(this);
  TFolderTreeModel* Model = ShellTree->Model();
  Model->OnAddNode = [this](TFolderTreeModel::TNewNode& Node) {
    // Only real folders can be chosen; the virtual root's own entries are folders too.
    Node.ShowCheck = QFileInfo(Q(Node.Path)).isDir();
    Node.Checked = Node.ShowCheck && Selection_.Contains(Node.Path);
  };
  Model->OnChecked = [this](const std::u16string& Path, bool Checked) {
    if (Checked ? Selection_.Add(Path) : Selection_.Remove(Path)) FillList();
  };
  Selection_.OnNodeCheck = [Model](const std::u16string& Path, bool Checked) {
    Model->SetChecked(Path, Checked);
  };
  connect(PathList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* Item, int) {
    if (Filling_ || Item->checkState(0) == Qt::Checked) return;
    // Unticking a row removes its path once the list's own notification is over; the path, not the
    // row, travels, so an earlier removal cannot make it take another row.
    const std::u16string Path = Item->text(0).toStdU16String();
    QTimer::singleShot(0, this, [this, Path] {
      if (Selection_.Remove(Path)) FillList();
    });
  });
  connect(PathList, &QTreeWidget::itemDoubleClicked, this, [](QTreeWidgetItem* Item) {
    Item->setCheckState(0, Item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  });
  connect(PathList->header(), &QHeaderView::sectionClicked, this, [this] {
    if (!SortCheck->isChecked()) {
      Selection_.Sort();
      FillList();
    }
  });
  connect(SortCheck, &QCheckBox::toggled, this, [this](bool On) {
    Selection_.SortPaths = On;
    if (On && !Filling_) {
      Selection_.Sort();
      FillList();
    }
  });
  connect(ClearBtn, &QPushButton::clicked, this, [this] { ClearAll(); });
  connect(RefreshBtn, &QPushButton::clicked, this, [this] { ShellTree->RefreshNode(); });
  connect(SaveBtn, &QPushButton::clicked, this, [this] { SaveSet(); });
  connect(PopSave, &QAction::triggered, this, [this] { SaveSet(); });
  connect(PopDelete, &QAction::triggered, this, [this] { DeleteSet(); });
  connect(SavePopup, &QMenu::aboutToShow, this, [this, PopSave, PopDelete] {
    PopSave->setEnabled(!Selection_.Paths().empty());
    PopDelete->setEnabled(SavedPathsCombo->currentIndex() >= 0);
  });
  connect(SavedPathsCombo, &QComboBox::activated, this,
          [this](int) { ChooseSet(SavedPathsCombo->currentText().toStdU16String()); });
  connect(OK, &QPushButton::clicked, this, &QDialog::accept);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
  AskSetName = [](std::u16string& Name, const std::vector<std::u16string>& Names) {
    return AskSavedSetName(TMsgIndex::SavePaths, TMsgIndex::SaveSelectedPathsAs, Name, Names);
  };
  ConfirmDelete = [](const std::u16string& Name) {
    return ConfirmDeleteSavedSet(TMsgIndex::AskDeleteSavedPaths_s, Name);
  };
  resize(640, 420);
}

void TSelectPaths::DropTreeNodeOnList() {
  const TFolderTreeModel::TNode* N = ShellTree->Model()->NodeOf(ShellTree->currentIndex());
  if (N == nullptr || !N->HasCheckbox || N->Checked) return;
  if (Selection_.Add(N->Path)) FillList();
}

void TSelectPaths::DropRowsOnTree() {
  std::vector<std::u16string> Paths;
  for (QTreeWidgetItem* Item : PathList->selectedItems()) Paths.push_back(Item->text(0).toStdU16String());
  bool Changed = false;
  for (const auto& P : Paths) Changed |= Selection_.Remove(P);
  if (Changed) FillList();
}

bool TSelectPaths::eventFilter(QObject* Watched, QEvent* Event) {
  const bool OnList = Watched == PathList->viewport();
  auto* Drag = dynamic_cast<QDropEvent*>(Event);
  if (Drag == nullptr || (Event->type() != QEvent::DragEnter && Event->type() != QEvent::DragMove &&
                          Event->type() != QEvent::Drop))
    return QDialog::eventFilter(Watched, Event);
  // Only drags between the two: tree to list, list to tree.
  const QObject* Wanted = OnList ? static_cast<QObject*>(ShellTree) : static_cast<QObject*>(PathList);
  if (Drag->source() != Wanted) {
    Drag->ignore();
    return true;
  }
  Drag->setDropAction(Qt::CopyAction);
  Drag->accept();
  if (Event->type() == QEvent::Drop) OnList ? DropTreeNodeOnList() : DropRowsOnTree();
  return true;
}

void TSelectPaths::FillList() {
  Filling_ = true;
  PathList->clear();
  for (const auto& P : Selection_.Paths()) {
    auto* Item = new QTreeWidgetItem(PathList);
    Item->setText(0, Q(P));
    Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
    Item->setCheckState(0, Qt::Checked);
  }
  Filling_ = false;
  ShowState();
}

void TSelectPaths::FillSets() {
  SavedPathsCombo->clear();
  for (const auto& Name : SavedSetNames(Settings_.SavedPathSets)) SavedPathsCombo->addItem(Q(Name));
  SavedPathsCombo->setEnabled(SavedPathsCombo->count() > 0);
}

void TSelectPaths::ShowState() {
  const std::u16string Name = FindSavedSet(Settings_.SavedPathSets, Selection_.SetText());
  SavedPathsCombo->setCurrentIndex(Name.empty() ? -1 : SavedPathsCombo->findText(Q(Name)));
  SaveBtn->setEnabled(!Selection_.Paths().empty());
}

void TSelectPaths::SaveSet() {
  if (Selection_.Paths().empty()) return;
  std::u16string Name;
  if (!AskSetName(Name, SavedSetNames(Settings_.SavedPathSets)) || Name.empty()) return;
  Settings_.SavedPathSets.Put(Name, Selection_.SetText());
  FillSets();
  SavedPathsCombo->setCurrentIndex(SavedPathsCombo->findText(Q(Name)));
}

void TSelectPaths::ChooseSet(const std::u16string& Name) {
  const std::vector<std::u16string> Old = Selection_.Paths();
  for (const auto& P : Old) ShellTree->Model()->SetChecked(P, false);
  Selection_.SetPathsText(Settings_.SavedPathSets.Get(Name));
  for (const auto& P : Selection_.Paths()) ShellTree->Model()->SetChecked(P, true);
  FillList();
}

void TSelectPaths::DeleteSet() {
  if (SavedPathsCombo->currentIndex() < 0) return;
  const std::u16string Name = SavedPathsCombo->currentText().toStdU16String();
  if (!ConfirmDelete(Name)) return;
  Settings_.SavedPathSets.Delete(Name);
  FillSets();
  ShowState();
}

void TSelectPaths::ClearAll() {
  Selection_.Clear();
  FillList();
}

bool TSelectPaths::Execute(std::u16string& Paths) {
  Filling_ = true;
  RecursCheck->setChecked(Settings_.FileOptions.Subdirectories);
  SortCheck->setChecked(Settings_.FileOptions.SortDirectories);
  Filling_ = false;
  Selection_.SortPaths = Settings_.FileOptions.SortDirectories;
  Selection_.SetPathsText(Paths);
  FillSets();
  if (ShellTree->Model()->Root() == u" ")
    ShellTree->Model()->SetRoot(u"rfDesktop");
  else
    ShellTree->Model()->Refresh();
  FillList();
  ShellTree->ShowPath(Selection_.Paths().empty() ? u"/" : Selection_.Paths().front());
  if (exec() != QDialog::Accepted) return false;
  Paths = Selection_.PathsText();
  Settings_.FileOptions.Subdirectories = RecursCheck->isChecked();
  Settings_.FileOptions.SortDirectories = SortCheck->isChecked();
  return true;
}
