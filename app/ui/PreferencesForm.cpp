#include "app/ui/PreferencesForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/MsgStr.h"
#include "app/OptionPages.h"
#include "app/Options.h"
#include "app/WHistList.h"
#include "app/ui/ArchiveOptionsFrame.h"
#include "app/ui/CustomizeToolbarForm.h"
#include "core/WideStrings.h"

namespace {

QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }

QButtonGroup* RadioGroup(QWidget* Owner, QVBoxLayout* Layout, const char* Name, const char* Title,
                         std::initializer_list<const char*> Captions) {
  auto* Box = new QGroupBox(Title, Owner);
  Box->setObjectName(Name);
  auto* BoxLayout = new QVBoxLayout(Box);
  auto* Group = new QButtonGroup(Owner);
  int Id = 0;
  for (const char* Caption : Captions) {
    auto* R = new QRadioButton(Caption, Box);
    R->setObjectName(QString("%1%2").arg(Name).arg(Id));
    Group->addButton(R, Id++);
    BoxLayout->addWidget(R);
  }
  Layout->addWidget(Box);
  return Group;
}

QPushButton* Button(QWidget* Owner, const char* Name, const char* Caption) {
  auto* B = new QPushButton(Caption, Owner);
  B->setObjectName(Name);
  return B;
}

QFont FontOf(const TFontRec& Rec) {
  QFont F(QString::fromStdString(Rec.Name));
  if (Rec.Height < 0) F.setPixelSize(-Rec.Height);
  F.setBold(Rec.Style & fsBold);
  F.setItalic(Rec.Style & fsItalic);
  return F;
}

}  // namespace

// --- Interface page -----------------------------------------------------------------------------------

TInterfaceOptions::TInterfaceOptions(TPreferencesHooks& Hooks, QWidget* Parent)
    : QWidget(Parent), Hooks(Hooks) {
  setObjectName("InterfaceOptions");
  auto* Layout = new QVBoxLayout(this);
  InterfaceStyleRadio = RadioGroup(this, Layout, "InterfaceStyleRadio", "Interface Style",
                                   {"&Use search dialog", "&Don't use search dialog"});
  auto* Misc = new QGroupBox("Miscellaneous", this);
  Misc->setObjectName("MiscGroup");
  auto* MiscLayout = new QHBoxLayout(Misc);
  lSample = new QLabel("Font for Lists, Trees, etc.", Misc);
  lSample->setObjectName("lSample");
  lSample->setFrameShape(QFrame::Panel);
  MainFontBtn = Button(Misc, "MainFontBtn", "Main &Font");
  ClearHistBtn = Button(Misc, "ClearHistBtn", "&Clear History");
  ClearHistBtn->setToolTip("Clear all history lists.");
  WarningsOnBtn = Button(Misc, "WarningsOnBtn", "&Warnings On");
  WarningsOnBtn->setToolTip("Enable all warnings which were disabled.");
  for (QWidget* W : {static_cast<QWidget*>(lSample), static_cast<QWidget*>(MainFontBtn),
                     static_cast<QWidget*>(ClearHistBtn), static_cast<QWidget*>(WarningsOnBtn)})
    MiscLayout->addWidget(W);
  Layout->addWidget(Misc);
  AnimRadio = RadioGroup(
      this, Layout, "AnimRadio", "Animation",
      {"Show animation in the &toolbar", "Show animation in the &status bar", "Do&n't show animation "});
  Layout->addStretch();
  connect(InterfaceStyleRadio, &QButtonGroup::idClicked, this, [this](int Id) {
    if (!Loading && this->Hooks.SetInterfaceStyle) this->Hooks.SetInterfaceStyle(Id == 0 ? 1 : 0);
  });
  connect(AnimRadio, &QButtonGroup::idClicked, this, [this](int Id) {
    if (!Loading && this->Hooks.SetAnimationMode) this->Hooks.SetAnimationMode(Id);
  });
  connect(WarningsOnBtn, &QPushButton::clicked, this, [this] {
    Settings.ViewOptions.WarningBits = 0;
    WarningsOnBtn->setEnabled(false);
  });
  connect(ClearHistBtn, &QPushButton::clicked, this, [this] {
    // The histories are emptied in the store, and the main window reloads its (now empty) lists.
    TWideStringList Empty;
    for (const char* Name : {"Pattern", "Paths", "Masks"}) SaveHistory(kProgramRegKey, Name, Empty);
    if (this->Hooks.LoadHistories) this->Hooks.LoadHistories();
  });
  connect(MainFontBtn, &QPushButton::clicked, this, [this] { ChooseFont(); });
}

void TInterfaceOptions::LoadPage() {
  Loading = true;
  InterfaceStyleRadio->button(Settings.ViewOptions.InterfaceStyle == 1 ? 0 : 1)->setChecked(true);
  AnimRadio->button(std::min<int>(Settings.ViewOptions.Animation, 2))->setChecked(true);
  lSample->setFont(FontOf(Settings.MainFont));
  WarningsOnBtn->setEnabled(Settings.ViewOptions.WarningBits != 0);
  Loading = false;
}

void TInterfaceOptions::ChooseFont() {
  bool OK = false;
  const QFont Font = QFontDialog::getFont(&OK, FontOf(Settings.MainFont), this);
  if (!OK) return;
  Settings.MainFont.Name = Font.family().toStdString();
  if (Font.pixelSize() > 0) Settings.MainFont.Height = -Font.pixelSize();
  Settings.MainFont.Style = static_cast<uint8_t>((Font.bold() ? fsBold : 0) | (Font.italic() ? fsItalic : 0));
  lSample->setFont(FontOf(Settings.MainFont));
  if (Hooks.ApplyMainFont) Hooks.ApplyMainFont();
}

// --- Toolbar page -------------------------------------------------------------------------------------

TToolbarOptions::TToolbarOptions(TPreferencesHooks& Hooks, QWidget* Parent) : QWidget(Parent), Hooks(Hooks) {
  setObjectName("ToolbarOptions");
  auto* Layout = new QVBoxLayout(this);
  auto* Group = new QGroupBox("Toolbar options", this);
  Group->setObjectName("ToolbarGroup");
  auto* GroupLayout = new QVBoxLayout(Group);
  const char* Names[4] = {"UseLargeBtnCheck", "ShowBtnTxtCheck", "FlatBtnCheck", "ShowToolTipsCheck"};
  const char* Captions[4] = {"Use &large toolbar buttons", "Show &button text", "Use &flat toolbar buttons",
                             "Show tool &tips"};
  for (int i = 0; i < 4; ++i) {
    Boxes[i] = new QCheckBox(Captions[i], Group);
    Boxes[i]->setObjectName(Names[i]);
    GroupLayout->addWidget(Boxes[i]);
    connect(Boxes[i], &QCheckBox::toggled, this, [this, i](bool On) {
      if (Loading) return;
      bool* Flags[4] = {&Settings.ViewOptions.LargeButtons, &Settings.ViewOptions.ButtonCaptions,
                        &Settings.ViewOptions.FlatToolbar, &Settings.ViewOptions.ToolTips};
      *Flags[i] = On;
      if (this->Hooks.BuildToolbar) this->Hooks.BuildToolbar(i != 3);
    });
  }
  SelTBBtnsBtn = Button(Group, "SelTBBtnsBtn", "&Select toolbar buttons...");
  GroupLayout->addWidget(SelTBBtnsBtn);
  Layout->addWidget(Group);
  Layout->addStretch();
  connect(SelTBBtnsBtn, &QPushButton::clicked, this, [this] {
    if (Customize == nullptr) {
      Customize = new TCustomizeToolbar(window());
      Customize->RebuildToolbar = [this] {
        if (this->Hooks.BuildToolbar) this->Hooks.BuildToolbar(true);
      };
      Customize->ActionIcon = this->Hooks.ActionIcon;
    }
    Customize->exec();
  });
}

void TToolbarOptions::LoadPage() {
  Loading = true;
  const bool Values[4] = {Settings.ViewOptions.LargeButtons, Settings.ViewOptions.ButtonCaptions,
                          Settings.ViewOptions.FlatToolbar, Settings.ViewOptions.ToolTips};
  for (int i = 0; i < 4; ++i) Boxes[i]->setChecked(Values[i]);
  Loading = false;
}

// --- System page --------------------------------------------------------------------------------------

TSystemOptions::TSystemOptions(TPreferencesHooks& Hooks, QWidget* Parent) : QWidget(Parent), Hooks(Hooks) {
  setObjectName("SystemOptions");
  auto* Layout = new QVBoxLayout(this);
  auto* SizeRow = new QHBoxLayout;
  auto* lMaxSize = new QLabel("Skip &files larger than:", this);
  lMaxSize->setObjectName("lMaxSize");
  MaxSizeEdit = new QLineEdit(this);
  MaxSizeEdit->setObjectName("MaxSizeEdit");
  MaxSizeEdit->setMaximumWidth(60);
  lMaxSize->setBuddy(MaxSizeEdit);
  auto* lMb = new QLabel("Mb", this);
  lMb->setObjectName("lMb");
  SizeRow->addWidget(lMaxSize);
  SizeRow->addWidget(MaxSizeEdit);
  SizeRow->addWidget(lMb);
  SizeRow->addStretch();
  Layout->addLayout(SizeRow);
  auto* lExclude = new QLabel("&Exclude the following directories from search:", this);
  lExclude->setObjectName("lExclude");
  ExcludePathsList = new QListWidget(this);
  ExcludePathsList->setObjectName("ExcludePathsList");
  ExcludePathsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lExclude->setBuddy(ExcludePathsList);
  Layout->addWidget(lExclude);
  auto* ListRow = new QHBoxLayout;
  ListRow->addWidget(ExcludePathsList);
  auto* ListButtons = new QVBoxLayout;
  QPushButton* AddBtn = Button(this, "AddBtn", "&Add");
  QPushButton* DelBtn = Button(this, "DelBtn", "De&lete");
  ListButtons->addWidget(AddBtn);
  ListButtons->addWidget(DelBtn);
  ListButtons->addStretch();
  ListRow->addLayout(ListButtons);
  Layout->addLayout(ListRow);
  connect(MaxSizeEdit, &QLineEdit::editingFinished, this, [this] { NormalizeMaxSize(); });
  connect(AddBtn, &QPushButton::clicked, this, [this] { AddFolder(); });
  connect(DelBtn, &QPushButton::clicked, this, [this] { DeleteSelected(); });
}

void TSystemOptions::LoadPage() {
  MaxSizeEdit->setText(QString::number(std::clamp(Settings.MaxScanSize / kBytesPerMb, 1, kMaxScanSizeMb)));
  RefreshList();
}

void TSystemOptions::NormalizeMaxSize() {
  MaxSizeEdit->setText(QString::number(
      ParseSizeMb(MaxSizeEdit->text().toStdU16String(), kDefaultScanSizeMb, 1, kMaxScanSizeMb)));
}

void TSystemOptions::SavePage() {
  Settings.MaxScanSize =
      ParseSizeMb(MaxSizeEdit->text().toStdU16String(), kDefaultScanSizeMb, 1, kMaxScanSizeMb) * kBytesPerMb;
}

void TSystemOptions::RefreshList() {
  ExcludePathsList->clear();
  for (int32_t i = 0; i < Settings.ExcludedDirs.GetCount(); ++i)
    ExcludePathsList->addItem(Q(Settings.ExcludedDirs.Get(i)));
}

void TSystemOptions::AddFolder() {
  if (!Hooks.BrowseForFolder) return;
  const std::u16string Folder = Hooks.BrowseForFolder(GetMsgW(TMsgIndex::SelectExcludeDir));
  if (Folder.empty()) return;
  const int32_t Index = AddExcludedDir(Settings.ExcludedDirs, Folder);
  RefreshList();
  ExcludePathsList->clearSelection();
  ExcludePathsList->setCurrentRow(Index);
}

void TSystemOptions::DeleteSelected() {
  std::vector<int32_t> Rows;
  for (int i = 0; i < ExcludePathsList->count(); ++i)
    if (ExcludePathsList->item(i)->isSelected()) Rows.push_back(i);
  DeleteExcludedDirs(Settings.ExcludedDirs, Rows);
  RefreshList();
}

// --- The window ---------------------------------------------------------------------------------------

TPreferences::TPreferences(TPreferencesHooks HooksArg, QWidget* Parent)
    : QDialog(Parent), Hooks(std::move(HooksArg)), Lang(this, "TPreferences") {
  setObjectName("Preferences");
  setWindowTitle("Options");
  setSizeGripEnabled(true);
  auto* Layout = new QVBoxLayout(this);
  auto* Row = new QHBoxLayout;
  OptionsTree = new QTreeWidget(this);
  OptionsTree->setObjectName("OptionsTree");
  OptionsTree->header()->hide();
  Pages = new QStackedWidget(this);
  Pages->setObjectName("PagePanel");
  InterfacePage = new TInterfaceOptions(Hooks, Pages);
  ToolbarPage = new TToolbarOptions(Hooks, Pages);
  SystemPage = new TSystemOptions(Hooks, Pages);
  ArchivePage = new TArchiveOptions(Pages);
  for (QWidget* P : {static_cast<QWidget*>(InterfacePage), static_cast<QWidget*>(ToolbarPage),
                     static_cast<QWidget*>(SystemPage), static_cast<QWidget*>(ArchivePage)})
    Pages->addWidget(P);
  Row->addWidget(OptionsTree);
  Row->addWidget(Pages, 1);
  Layout->addLayout(Row);
  auto* CloseBtn = Button(this, "CloseBtn", "Close");
  CloseBtn->setDefault(true);
  auto* ButtonRow = new QHBoxLayout;
  ButtonRow->addStretch();
  ButtonRow->addWidget(CloseBtn);
  Layout->addLayout(ButtonRow);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(OptionsTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* Item) {
    if (Item != nullptr) ShowPage(Item->data(0, Qt::UserRole).toInt());
  });
  BuildTree();
  resize(560, 400);
}

void TPreferences::BuildTree() {
  const QSignalBlocker Block(OptionsTree);
  OptionsTree->clear();
  auto Node = [](QTreeWidgetItem* Item, TMsgIndex Caption, int Page) {
    Item->setText(0, Q(GetMsgW(Caption)));
    Item->setData(0, Qt::UserRole, Page);
    return Item;
  };
  QTreeWidgetItem* Interface = Node(new QTreeWidgetItem(OptionsTree), TMsgIndex::OptionsInterface, 0);
  Node(new QTreeWidgetItem(Interface), TMsgIndex::OptionsToolbar, 1);
  Node(new QTreeWidgetItem(OptionsTree), TMsgIndex::OptionsSystem, 2);
  Node(new QTreeWidgetItem(OptionsTree), TMsgIndex::OptionsArchives, 3);
  Interface->setExpanded(true);
  QFont Bold = OptionsTree->font();
  Bold.setBold(true);
  OptionsTree->setFont(Bold);
  FitTreeWidth();
}

void TPreferences::FitTreeWidth() {
  // Wide enough for the longest caption at its depth, in the tree's (bold) font, whatever the language.
  const QFontMetrics Metrics(OptionsTree->font());
  int Widest = 0;
  for (QTreeWidgetItemIterator It(OptionsTree); *It != nullptr; ++It) {
    int Depth = 1;  // the root's own indentation (room for the expand mark)
    for (QTreeWidgetItem* P = (*It)->parent(); P != nullptr; P = P->parent()) ++Depth;
    Widest = std::max(Widest, Depth * OptionsTree->indentation() + Metrics.horizontalAdvance((*It)->text(0)));
  }
  // Item padding on both sides, the frame, and a vertical scroll bar should one appear.
  constexpr int kItemPadding = 16;
  const int Width = Widest + kItemPadding + 2 * OptionsTree->frameWidth() +
                    OptionsTree->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  OptionsTree->setMinimumWidth(Width);
  OptionsTree->setMaximumWidth(Width);
}

void TPreferences::ShowPage(int32_t Page) {
  CurrentPage = Page;
  for (int i = 0; i < Pages->count(); ++i) Pages->widget(i)->setEnabled(i == Page);
  Pages->setCurrentIndex(Page);
  // Select the page's node without coming back here.
  const QSignalBlocker Block(OptionsTree);
  for (QTreeWidgetItemIterator It(OptionsTree); *It != nullptr; ++It)
    if ((*It)->data(0, Qt::UserRole).toInt() == Page) OptionsTree->setCurrentItem(*It);
}

void TPreferences::LanguageChanged() {
  BuildTree();
  ShowPage(CurrentPage);
  ArchivePage->LoadArchiveList(Hooks.Languages);
}

void TPreferences::Execute(int32_t Page) {
  static int32_t NoAskMode = 0;
  InterfacePage->LoadPage();
  ToolbarPage->LoadPage();
  SystemPage->LoadPage();
  ArchivePage->LoadPage(Hooks.Languages,
                        Hooks.PasswordAskMode != nullptr ? *Hooks.PasswordAskMode : NoAskMode);
  ShowPage(Page >= 0 ? Page : CurrentPage);
  exec();
}

void TPreferences::done(int Result) {
  SystemPage->SavePage();
  ArchivePage->SavePage();
  QDialog::done(Result);
}
