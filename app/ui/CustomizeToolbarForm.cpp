#include "app/ui/CustomizeToolbarForm.h"

#include <QDropEvent>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/MainCommands.h"
#include "app/MsgStr.h"
#include "app/OptionPages.h"
#include "app/Options.h"

TCustomizeToolbar::TCustomizeToolbar(QWidget* Parent) : QDialog(Parent) {
  setObjectName("CustomizeToolbar");
  setWindowTitle("Customize Toolbar");
  auto* Grid = new QGridLayout(this);
  auto MakeList = [this](const char* Name) {
    auto* L = new QListWidget(this);
    L->setObjectName(Name);
    L->setSelectionMode(QAbstractItemView::ExtendedSelection);
    L->setDragDropMode(QAbstractItemView::DragDrop);
    L->setDefaultDropAction(Qt::MoveAction);
    L->viewport()->installEventFilter(this);
    connect(L, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
    return L;
  };
  AvailLst = MakeList("AvailLst");
  VisLst = MakeList("VisLst");
  auto* LAvail = new QLabel("&Available buttons:", this);
  LAvail->setObjectName("lAvail");
  LAvail->setBuddy(AvailLst);
  auto* LVis = new QLabel("&Visible buttons:", this);
  LVis->setObjectName("lVis");
  LVis->setBuddy(VisLst);
  auto MakeButton = [this](const char* Name, const char* Text) {
    auto* B = new QPushButton(Text, this);
    B->setObjectName(Name);
    return B;
  };
  AddToVisBtn = MakeButton("AddToVisBtn", "->");
  DelFromVisBtn = MakeButton("DelFromVisBtn", "<-");
  VisUpBtn = MakeButton("VisUpBtn", "Up");
  VisDownBtn = MakeButton("VisDownBtn", "Down");
  QPushButton* CloseBtn = MakeButton("CloseBtn", "Close");
  QPushButton* DefaultsBtn = MakeButton("DefaultsBtn", "&Defaults");
  CloseBtn->setDefault(true);
  Grid->addWidget(LAvail, 0, 0);
  Grid->addWidget(LVis, 0, 2);
  Grid->addWidget(AvailLst, 1, 0, 4, 1);
  Grid->addWidget(AddToVisBtn, 1, 1);
  Grid->addWidget(DelFromVisBtn, 2, 1);
  Grid->addWidget(VisLst, 1, 2, 4, 1);
  Grid->addWidget(VisUpBtn, 1, 3);
  Grid->addWidget(VisDownBtn, 2, 3);
  Grid->addWidget(DefaultsBtn, 5, 2);
  Grid->addWidget(CloseBtn, 5, 3);
  connect(AddToVisBtn, &QPushButton::clicked, this, [this] {
    const std::vector<int32_t> Rows = SelectedRows(VisLst);
    AddSelected(Rows.empty() ? -1 : Rows.back() + 1);
  });
  connect(DelFromVisBtn, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  connect(VisUpBtn, &QPushButton::clicked, this, [this] { MoveSelected(true); });
  connect(VisDownBtn, &QPushButton::clicked, this, [this] { MoveSelected(false); });
  connect(DefaultsBtn, &QPushButton::clicked, this, [this] { Defaults(); });
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(AvailLst, &QListWidget::itemDoubleClicked, this, [this] { AddSelected(); });
  connect(VisLst, &QListWidget::itemDoubleClicked, this, [this] { RemoveSelected(); });
}

void TCustomizeToolbar::showEvent(QShowEvent* Event) {
  FillLists();
  QDialog::showEvent(Event);
}

void TCustomizeToolbar::FillLists() {
  Filling_ = true;
  TToolbarButtonList List(Settings_.ToolbarButtons);
  auto Fill = [this](QListWidget* W, const std::vector<int32_t>& Actions) {
    W->clear();
    for (int32_t A : Actions) {
      auto* Item = new QListWidgetItem(QString::fromStdU16String(GetMsgW(ActionCaptionMsg(A))), W);
      Item->setData(Qt::UserRole, A);
      if (ActionIcon) Item->setIcon(ActionIcon(A));
    }
  };
  Fill(AvailLst, List.Available());
  Fill(VisLst, List.Visible());
  Filling_ = false;
  UpdateButtons();
}

std::vector<int32_t> TCustomizeToolbar::SelectedRows(QListWidget* List) const {
  std::vector<int32_t> Rows;
  for (int I = 0; I < List->count(); ++I)
    if (List->item(I)->isSelected()) Rows.push_back(I);
  return Rows;
}

void TCustomizeToolbar::UpdateButtons() {
  if (Filling_) return;
  TToolbarButtonList List(Settings_.ToolbarButtons);
  const std::vector<int32_t> Vis = SelectedRows(VisLst);
  AddToVisBtn->setEnabled(!SelectedRows(AvailLst).empty());
  DelFromVisBtn->setEnabled(!Vis.empty());
  VisUpBtn->setEnabled(List.CanMoveUp(Vis));
  VisDownBtn->setEnabled(List.CanMoveDown(Vis));
}

void TCustomizeToolbar::Changed() {
  FillLists();
  if (RebuildToolbar) RebuildToolbar();
}

void TCustomizeToolbar::AddSelected(int32_t Index) {
  std::vector<int32_t> Actions;
  for (int32_t Row : SelectedRows(AvailLst))
    Actions.push_back(AvailLst->item(Row)->data(Qt::UserRole).toInt());
  const int32_t First = TToolbarButtonList(Settings_.ToolbarButtons).Add(Actions, Index);
  Changed();
  if (First >= 0) {
    VisLst->setCurrentRow(First);
    VisLst->scrollToItem(VisLst->item(First));
  }
  AddToVisBtn->setEnabled(false);
}

void TCustomizeToolbar::RemoveSelected() {
  std::vector<int32_t> Actions;
  for (int32_t Row : SelectedRows(VisLst)) Actions.push_back(VisLst->item(Row)->data(Qt::UserRole).toInt());
  TToolbarButtonList(Settings_.ToolbarButtons).Remove(Actions);
  Changed();
  DelFromVisBtn->setEnabled(false);
}

void TCustomizeToolbar::MoveSelected(bool Up) {
  const std::vector<int32_t> Rows = SelectedRows(VisLst);
  TToolbarButtonList List(Settings_.ToolbarButtons);
  if (Up ? !List.CanMoveUp(Rows) : !List.CanMoveDown(Rows)) return;
  MoveVisible(Rows[0], Up ? Rows[0] - 1 : Rows[0] + 1);
}

void TCustomizeToolbar::MoveVisible(int32_t From, int32_t To) {
  const int32_t Row = TToolbarButtonList(Settings_.ToolbarButtons).MoveOnto(From, To);
  Changed();
  VisLst->setCurrentRow(Row);
  VisLst->scrollToItem(VisLst->item(Row));
}

void TCustomizeToolbar::Defaults() {
  TToolbarButtonList(Settings_.ToolbarButtons).Defaults();
  Changed();
}

bool TCustomizeToolbar::eventFilter(QObject* Watched, QEvent* Event) {
  // Drops are handled here, by the rules, instead of by the lists' own item moves.
  if (Event->type() != QEvent::Drop) return QDialog::eventFilter(Watched, Event);
  auto* Drop = static_cast<QDropEvent*>(Event);
  auto* Source = qobject_cast<QListWidget*>(Drop->source());
  const bool OnVis = Watched == VisLst->viewport();
  Drop->setDropAction(Qt::IgnoreAction);
  Drop->accept();
  if (OnVis && Source == AvailLst) {
    QListWidgetItem* Target = VisLst->itemAt(Drop->position().toPoint());
    AddSelected(Target != nullptr ? VisLst->row(Target) : -1);
  } else if (OnVis && Source == VisLst && SelectedRows(VisLst).size() == 1) {
    QListWidgetItem* Target = VisLst->itemAt(Drop->position().toPoint());
    if (Target != nullptr) MoveVisible(SelectedRows(VisLst)[0], VisLst->row(Target));
  } else if (!OnVis && Source == VisLst) {
    RemoveSelected();
  }
  return true;
}
