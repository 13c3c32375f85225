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
    : QWidget(Parent), Hooks_(Hooks) {
  setObjectName("InterfaceOptions");
  auto* Layout = new QVBoxLayout(this);
  InterfaceStyleRadio = RadioGroup(this, Layout, "InterfaceStyleRadio", "Interface Style",
                                   {"&Use search dialog", "&Don't use search dialog"});
  auto* Misc = new QGroupBox("Miscellaneous", this);
  Misc->setObjectName("MiscGroup");
  auto* MiscLayout = new QHBoxLayout(Misc);
  LSample = new QLabel("Font for Lists, Trees, etc.", Misc);
  LSample->setObjectName("lSample");
  LSample->setFrameShape(QFrame::Panel);
  MainFontBtn = Button(Misc, "MainFontBtn", "Main &Font");
  ClearHistBtn = Button(Misc, "ClearHistBtn", "&Clear History");
  ClearHistBtn->setToolTip("Clear all history lists.");
  WarningsOnBtn = Button(Misc, "WarningsOnBtn", "&Warnings On");
  WarningsOnBtn->setToolTip("Enable all warnings which were disabled.");
  for (QWidget* W : {static_cast<QWidget*>(LSample), static_cast<QWidget*>(MainFontBtn),
                     static_cast<QWidget*>(ClearHistBtn), static_cast<QWidget*>(WarningsOnBtn)})
    MiscLayout->addWidget(W);
  Layout->addWidget(Misc);
  AnimRadio = RadioGroup(
      this, Layout, "AnimRadio", "Animation",
      {"Show animation in the &toolbar", "Show animation in the &status bar", "Do&n't show animation "});
  Layout->addStretch();
  connect(InterfaceStyleRadio, &QButtonGroup::idClicked, this, [this](int Id) {
    if (!Loading_ && this->Hooks_.SetInterfaceStyle) this->Hooks_.SetInterfaceStyle(Id == 0 ? 1 : 0);
  });
  connect(AnimRadio, &QButtonGroup::idClicked, this, [this](int Id) {
    if (!Loading_ && this->Hooks_.SetAnimationMode) this->Hooks_.SetAnimationMode(Id);
  });
  connect(WarningsOnBtn, &QPushButton::clicked, this, [this] {
    Settings_.ViewOptions.WarningBits = 0;
    WarningsOnBtn->setEnabled(false);
  });
  connect(ClearHistBtn, &QPushButton::clicked, this, [this] {
    // The histories are emptied in the store, and the main window reloads its (now empty) lists.
    TWideStringList Empty;
    for (const char* Name : {"Pattern", "Paths", "Masks"}) SaveHistory(kProgramRegKey, Name, Empty);
    if (this->Hooks_.LoadHistories) this->Hooks_.LoadHistories();
  });
  connect(MainFontBtn, &QPushButton::clicked, this, [this] { ChooseFont(); });
}

void TInterfaceOptions::LoadPage() {
  Loading_ = true;
  InterfaceStyleRadio->button(Settings_.ViewOptions.InterfaceStyle == 1 ? 0 : 1)->setChecked(true);
  AnimRadio->button(std::min<int>(Settings_.ViewOptions.Animation, 2))->setChecked(true);
  LSample->setFont(FontOf(Settings_.MainFont));
  WarningsOnBtn->setEnabled(Settings_.ViewOptions.WarningBits != 0);
  Loading_ = false;
}

void TInterfaceOptions::ChooseFont() {
  bool OK = false;
  const QFont Font = QFontDialog::getFont(&OK, FontOf(Settings_.MainFont), this);
  if (!OK) return;
  Settings_.MainFont.Name = Font.family().toStdString();
  if (Font.pixelSize() > 0) Settings_.MainFont.Height = -Font.pixelSize();
  Settings_.MainFont.Style =
      static_cast<uint8_t>((Font.bold() ? fsBold : 0) | (Font.italic() ? fsItalic : 0));
  LSample->setFont(FontOf(Settings_.MainFont));
  if (Hooks_.ApplyMainFont) Hooks_.ApplyMainFont();
}

// --- Toolbar page -------------------------------------------------------------------------------------

TToolbarOptions::TToolbarOptions(TPreferencesHooks& Hooks, QWidget* Parent) : QWidget(Parent), Hooks_(Hooks) {
  setObjectName("ToolbarOptions");
  auto* Layout = new QVBoxLayout(this);
  auto* Group = new QGroupBox("Toolbar options", this);
  Group->setObjectName("ToolbarGroup");
  auto* GroupLayout = new QVBoxLayout(Group);
  const char* Names[4] = {"UseLargeBtnCheck", "ShowBtnTxtCheck", "FlatBtnCheck", "ShowToolTipsCheck"};
  const char* Captions[4] = {"Use &large toolbar buttons", "Show &button text", "Use &flat toolbar buttons",
                             "Show tool &tips"};
  for (int I = 0; I < 4; ++I) {
    Boxes[I] = new QCheckBox(Captions[I], Group);
    Boxes[I]->setObjectName(Names[I]);
    GroupLayout->addWidget(Boxes[I]);
    connect(Boxes[I], &QCheckBox::toggled, this, [this, I](bool On) {
      if (Loading_) return;
      bool* Flags[4] = {&Settings_.ViewOptions.LargeButtons, &Settings_.ViewOptions.ButtonCaptions,
                        &Settings_.ViewOptions.FlatToolbar, &Settings_.ViewOptions.ToolTips};
      *Flags[I] = On;
      if (this->Hooks_.BuildToolbar) this->Hooks_.BuildToolbar(I != 3);
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
        if (this->Hooks_.BuildToolbar) this->Hooks_.BuildToolbar(true);
      };
      Customize->ActionIcon = this->Hooks_.ActionIcon;
      if (this->Hooks_.Localize) this->Hooks_.Localize(Customize->LangForm());
    }
    Customize->exec();
  });
}

void TToolbarOptions::LoadPage() {
  Loading_ = true;
  const bool Values[4] = {Settings_.ViewOptions.LargeButtons, Settings_.ViewOptions.ButtonCaptions,
                          Settings_.ViewOptions.FlatToolbar, Settings_.ViewOptions.ToolTips};
  for (int I = 0; I < 4; ++I) Boxes[I]->setChecked(Values[I]);
  Loading_ = false;
}

// --- System page --------------------------------------------------------------------------------------

TSystemOptions::TSystemOptions(TPreferencesHooks& Hooks, QWidget* Parent) : QWidget(Parent), Hooks_(Hooks) {
  setObjectName("SystemOptions");
  auto* Layout = new QVBoxLayout(this);
  auto* SizeRow = new QHBoxLayout;
  auto* LMaxSize = new QLabel("Skip &files larger than:", this);
  LMaxSize->setObjectName("lMaxSize");
  MaxSizeEdit = new QLineEdit(this);
  MaxSizeEdit->setObjectName("MaxSizeEdit");
  MaxSizeEdit->setMaximumWidth(60);
  LMaxSize->setBuddy(MaxSizeEdit);
  auto* LMb = new QLabel("Mb", this);
  LMb->setObjectName("lMb");
  SizeRow->addWidget(LMaxSize);
  SizeRow->addWidget(MaxSizeEdit);
  SizeRow->addWidget(LMb);
  SizeRow->addStretch();
  Layout->addLayout(SizeRow);
  auto* LExclude = new QLabel("&Exclude the following directories from search:", this);
  LExclude->setObjectName("lExclude");
  ExcludePathsList = new QListWidget(this);
  ExcludePathsList->setObjectName("ExcludePathsList");
  ExcludePathsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LExclude->setBuddy(ExcludePathsList);
  Layout->addWidget(LExclude);
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
  MaxSizeEdit->setText(QString::number(std::clamp(Settings_.MaxScanSize / kBytesPerMb, 1, kMaxScanSizeMb)));
  RefreshList();
}

void TSystemOptions::NormalizeMaxSize() {
  MaxSizeEdit->setText(QString::number(
      ParseSizeMb(MaxSizeEdit->text().toStdU16String(), kDefaultScanSizeMb, 1, kMaxScanSizeMb)));
}

void TSystemOptions::SavePage() {
  Settings_.MaxScanSize =
      ParseSizeMb(MaxSizeEdit->text().toStdU16String(), kDefaultScanSizeMb, 1, kMaxScanSizeMb) * kBytesPerMb;
}

void TSystemOptions::RefreshList() {
  ExcludePathsList->clear();
  for (int32_t I = 0; I < Settings_.ExcludedDirs.GetCount(); ++I)
    ExcludePathsList->addItem(Q(Settings_.ExcludedDirs.Get(I)));
}

void TSystemOptions::AddFolder() {
  if (!Hooks_.BrowseForFolder) return;
  const std::u16string Folder = Hooks_.BrowseForFolder(GetMsgW(TMsgIndex::SelectExcludeDir));
  if (Folder.empty()) return;
  const int32_t Index = AddExcludedDir(Settings_.ExcludedDirs, Folder);
  RefreshList();
  ExcludePathsList->clearSelection();
  ExcludePathsList->setCurrentRow(Index);
}

void TSystemOptions::DeleteSelected() {
  std::vector<int32_t> Rows;
  for (int I = 0; I < ExcludePathsList->count(); ++I)
    if (ExcludePathsList->item(I)->isSelected()) Rows.push_back(I);
  DeleteExcludedDirs(Settings_.ExcludedDirs, Rows);
  RefreshList();
}

// --- The window ---------------------------------------------------------------------------------------

TPreferences::TPreferences(TPreferencesHooks HooksArg, QWidget* Parent)
    : QDialog(Parent), Hooks_(std::move(HooksArg)), Lang_(this, "TPreferences") {
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
  InterfacePage = new TInterfaceOptions(Hooks_, Pages);
  ToolbarPage = new TToolbarOptions(Hooks_, Pages);
  SystemPage = new TSystemOptions(Hooks_, Pages);
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
  CurrentPage_ = Page;
  for (int I = 0; I < Pages->count(); ++I) Pages->widget(I)->setEnabled(I == Page);
  Pages->setCurrentIndex(Page);
  // Select the page's node without coming back here.
  const QSignalBlocker Block(OptionsTree);
  for (QTreeWidgetItemIterator It(OptionsTree); *It != nullptr; ++It)
    if ((*It)->data(0, Qt::UserRole).toInt() == Page) OptionsTree->setCurrentItem(*It);
}

void TPreferences::LanguageChanged() {
  BuildTree();
  ShowPage(CurrentPage_);
  ArchivePage->LoadArchiveList(Hooks_.Languages);
}

void TPreferences::Execute(int32_t Page) {
  static int32_t NoAskMode = 0;
  InterfacePage->LoadPage();
  ToolbarPage->LoadPage();
  SystemPage->LoadPage();
  ArchivePage->LoadPage(Hooks_.Languages,
                        Hooks_.PasswordAskMode != nullptr ? *Hooks_.PasswordAskMode : NoAskMode);
  ShowPage(Page >= 0 ? Page : CurrentPage_);
  exec();
}

void TPreferences::done(int Result) {
  SystemPage->SavePage();
  ArchivePage->SavePage();
  QDialog::done(Result);
}
