#include "app/ui/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/ResList.h"
#include "app/ResListPrint.h"
#include "app/Startup.h"
#include "app/Utils.h"
#include "app/VLocales.h"
#include "app/VVCLUtil.h"
#include "app/WHistList.h"
#include "app/ui/AboutForm.h"
#include "app/ui/BusyIndicator.h"
#include "app/ui/EditFiltersForm.h"
#include "app/ui/FormUtils.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/LogWindow.h"
#include "app/ui/MainActions.h"
#include "app/ui/MainWindowUtil.h"
#include "app/ui/PasswordForm.h"
#include "app/ui/PreferencesForm.h"
#include "app/ui/PreviewHost.h"
#include "app/ui/ResListModel.h"
#include "app/ui/SearchForm.h"
#include "app/ui/SelectFileTypesForm.h"
#include "app/ui/SelectPathsForm.h"
#include "app/ui/ShortcutNames.h"
#include "app/ui/WideSBar.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "core/VFileSys.h"
#include "core/WideStrings.h"
#include "search/QVConvIntf.h"
#include "search/SrchRes.h"
#include "viewer/ui/InputGuard.h"
#include "viewer/ui/PreviewForm.h"

namespace {

void ItemsOf(const QComboBox* Combo, TWideStringList& Items) {
  Items.Clear();
  for (int I = 0; I < Combo->count(); ++I) Items.Insert(Items.GetCount(), U(Combo->itemText(I)));
}

void SetItems(QComboBox* Combo, const TWideStringList& Items) {
  QString Text = Combo->currentText();
  Combo->clear();
  for (int32_t I = 0; I < Items.GetCount(); ++I) Combo->addItem(Q(Items.Get(I)));
  Combo->setEditText(Text);
}

QComboBox* MakeHistoryCombo(const char* Name) {
  auto* Combo = new QComboBox;
  Combo->setObjectName(QString::fromUtf8(Name));
  Combo->setEditable(true);
  Combo->setInsertPolicy(QComboBox::NoInsert);
  Combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  Combo->setMinimumContentsLength(16);
  OfferHistoryAsList(Combo);
  return Combo;
}

QCheckBox* MakeCheck(const char* Name, const char* Caption) {
  auto* Check = new QCheckBox(QString::fromUtf8(Caption));
  Check->setObjectName(QString::fromUtf8(Name));
  return Check;
}

// What the results keep at least when the splitter moves.
constexpr int kResultsReserve = 300;
// The options window's toolbar page.
constexpr int32_t kToolbarOptionsPage = 1;

}  // namespace

TMain::TMain(const TMainCommandLine& CommandLine, const std::string& Dir)
    : Settings_(ProgramSettings()),
      ProgramDir_(IncludeTrailingSlash(Dir)),
      Langs_(&Screen_),
      Clock_(std::make_unique<QElapsedTimer>()) {
  Clock_->start();
  setObjectName(QStringLiteral("Main"));
  LangForm_ = std::make_unique<TQtLangForm>(this, "TMain");
  Screen_.Forms.push_back(LangForm_.get());
  Run_ = std::make_unique<TSearchRun>(Scanner_, *this, Settings_);
  BuildWindow();
  FormCreate(CommandLine);
}

TMain::~TMain() {
  // Open previews go first: they report their closing to this window's View menu.
  const std::vector<TPreview*> Open = PreviewWindows();
  for (TPreview* W : Open) delete W;
  SetPreviewEnvironment({});
  SetPreviewHost(nullptr);
  LogWindowSink = nullptr;
  SetMsgLanguages(nullptr);
  Scanner_.Converters = nullptr;
  Converters_.reset();
  // The widgets go after the members: the list must not ask the result table for rows meanwhile.
  qApp->removeEventFilter(this);
  ResultView_->setModel(nullptr);
}

void TMain::BuildWindow() {
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  resize(860, 560);
  BuildSearchSide(BuildSearchPanel());
  BuildResultsList();
  BuildSplitter();
  BuildStatusBar();
  BuildMenus();
  ConnectSearchPanel();
}

QWidget* TMain::BuildSearchPanel() {
  auto* Panel = new QWidget;
  Panel->setObjectName(QStringLiteral("SearchPanel"));
  auto* Layout = new QVBoxLayout(Panel);
  Layout->addWidget(BuildWhatGroup());
  Layout->addWidget(BuildWhereGroup());
  Layout->addWidget(BuildOptionsGroup());
  Layout->addWidget(BuildFilterGroup());
  Layout->addLayout(BuildSearchButtons());
  Layout->addStretch(1);
  return Panel;
}

QGroupBox* TMain::BuildWhatGroup() {
  auto* WhatBox = WhatGroup_ = new QGroupBox(QStringLiteral("What to find"));
  WhatBox->setObjectName(QStringLiteral("WhatGroup"));
  auto* What = new QVBoxLayout(WhatBox);
  Pattern_ = MakeHistoryCombo("PatternCombo");
  What->addWidget(Pattern_);
  auto* ModeRow = new QHBoxLayout;
  ExactRadio_ = new QRadioButton(QStringLiteral("E&xact"));
  ExactRadio_->setObjectName(QStringLiteral("ExactRadio"));
  FuzzyRadio_ = new QRadioButton(QStringLiteral("&Fuzzy"));
  FuzzyRadio_->setObjectName(QStringLiteral("FuzzyRadio"));
  ExactRadio_->setChecked(true);
  LogicBox_ = new QComboBox;
  LogicBox_->setObjectName(QStringLiteral("LogicBox"));
  ModeRow->addWidget(ExactRadio_);
  ModeRow->addWidget(FuzzyRadio_);
  ModeRow->addWidget(LogicBox_, 1);
  What->addLayout(ModeRow);
  CaseSensCheck_ = MakeCheck("CaseSensCheck", "&Case sensitive");
  WholeWordsCheck_ = MakeCheck("WholeWordsCheck", "W&hole words");
  What->addWidget(CaseSensCheck_);
  What->addWidget(WholeWordsCheck_);
  InResultsCheck_ = MakeCheck("InResultsCheck", "Search in res&ults");
  What->addWidget(InResultsCheck_);
  return WhatBox;
}

QGroupBox* TMain::BuildWhereGroup() {
  auto* WhereBox = new QGroupBox(QStringLiteral("Where to find"));
  WhereBox->setObjectName(QStringLiteral("WhereGroup"));
  auto* Where = new QVBoxLayout(WhereBox);
  auto* PathRow = new QHBoxLayout;
  Paths_ = MakeHistoryCombo("PathCombo");
  BrowseBtn_ = new QPushButton(QStringLiteral("Bro&wse..."));
  BrowseBtn_->setObjectName(QStringLiteral("BrowseBtn"));
  PathRow->addWidget(Paths_, 1);
  PathRow->addWidget(BrowseBtn_);
  Where->addLayout(PathRow);
  auto* MaskLabel = new QLabel(QStringLiteral("File &types:"));
  MaskLabel->setObjectName(QStringLiteral("MaskLabel"));
  Masks_ = MakeHistoryCombo("MaskCombo");
  MaskLabel->setBuddy(Masks_);
  SelectBtn_ = new QPushButton(QStringLiteral("S&elect..."));
  SelectBtn_->setObjectName(QStringLiteral("SelExtBtn"));
  auto* MaskRow = new QHBoxLayout;
  MaskRow->addWidget(Masks_, 1);
  MaskRow->addWidget(SelectBtn_);
  Where->addWidget(MaskLabel);
  Where->addLayout(MaskRow);
  SubdirsCheck_ = MakeCheck("SubdirsCheck", "Su&bdirectories");
  FilesCheck_ = MakeCheck("FilesCheck", "Pl&ain files");
  ArchivesCheck_ = MakeCheck("ArchivesCheck", "A&rchives");
  auto* KindRow = new QHBoxLayout;
  KindRow->addWidget(FilesCheck_);
  KindRow->addWidget(ArchivesCheck_);
  Where->addWidget(SubdirsCheck_);
  Where->addLayout(KindRow);
  return WhereBox;
}

QGroupBox* TMain::BuildOptionsGroup() {
  auto* HowBox = new QGroupBox(QStringLiteral("Options"));
  HowBox->setObjectName(QStringLiteral("OptionsGroup"));
  auto* How = new QVBoxLayout(HowBox);
  DirectScanCheck_ = MakeCheck("DirectScanCheck", "&Direct scan");
  ConvToTextCheck_ = MakeCheck("ConvToTextCheck", "Co&nvert to text (slower)");
  AnsiCheck_ = MakeCheck("AnsiCheck", "ANSI");
  OemCheck_ = MakeCheck("OemCheck", "OEM");
  UnicodeCheck_ = MakeCheck("UnicodeCheck", "Unicode");
  SkipBinaryCheck_ = MakeCheck("SkipBinaryCheck", "S&kip non-text files");
  How->addWidget(DirectScanCheck_);
  auto* CharsetRow = new QHBoxLayout;
  CharsetRow->addWidget(AnsiCheck_);
  CharsetRow->addWidget(OemCheck_);
  CharsetRow->addWidget(UnicodeCheck_);
  How->addLayout(CharsetRow);
  FiltersBtn_ = new QPushButton(QStringLiteral("Fi&lters..."));
  FiltersBtn_->setObjectName(QStringLiteral("FiltersBtn"));
  auto* ConvertRow = new QHBoxLayout;
  ConvertRow->addWidget(ConvToTextCheck_, 1);
  ConvertRow->addWidget(FiltersBtn_);
  How->addLayout(ConvertRow);
  How->addWidget(SkipBinaryCheck_);
  return HowBox;
}

QGroupBox* TMain::BuildFilterGroup() {
  FilterBox_ = new QGroupBox(QStringLiteral("Filter files by date and size"));
  FilterBox_->setObjectName(QStringLiteral("FilterBox"));
  FilterBox_->setCheckable(true);
  FilterBox_->setChecked(false);
  auto* Filter = new QFormLayout(FilterBox_);
  DateCheck_ = MakeCheck("DateCheck", "Date");
  DateFromEdit_ = new QDateEdit;
  DateToEdit_ = new QDateEdit;
  for (QDateEdit* Edit : {DateFromEdit_, DateToEdit_}) {
    Edit->setCalendarPopup(true);
    Edit->setMinimumDate(kDateOrigin);
    Edit->setSpecialValueText(QStringLiteral(" "));  // the open bound shows empty
    Edit->setDate(kDateOrigin);
  }
  DateFromEdit_->setObjectName(QStringLiteral("DateFromEdit"));
  DateToEdit_->setObjectName(QStringLiteral("DateToEdit"));
  auto* DateRow = new QHBoxLayout;
  DateRow->addWidget(DateFromEdit_);
  DateRow->addWidget(DateToEdit_);
  Filter->addRow(DateCheck_, DateRow);
  SizeCheck_ = MakeCheck("SizeCheck", "File size");
  SizeFromEdit_ = new QLineEdit;
  SizeFromEdit_->setObjectName(QStringLiteral("SizeFromEdit"));
  SizeToEdit_ = new QLineEdit;
  SizeToEdit_->setObjectName(QStringLiteral("SizeToEdit"));
  SizeUnits_ = new QComboBox;
  SizeUnits_->setObjectName(QStringLiteral("SizeUnitsBox"));
  SizeUnits_->addItems({QStringLiteral("bytes"), QStringLiteral("Kbytes"), QStringLiteral("Mbytes")});
  auto* SizeRow = new QHBoxLayout;
  SizeRow->addWidget(SizeFromEdit_);
  SizeRow->addWidget(SizeToEdit_);
  SizeRow->addWidget(SizeUnits_);
  Filter->addRow(SizeCheck_, SizeRow);
  return FilterBox_;
}

QHBoxLayout* TMain::BuildSearchButtons() {
  auto* Buttons = new QHBoxLayout;
  StartBtn_ = new QPushButton(QStringLiteral("Start"));
  StartBtn_->setObjectName(QStringLiteral("StartBtn"));
  StartBtn_->setDefault(true);
  StopBtn_ = new QPushButton(QStringLiteral("Stop"));
  StopBtn_->setObjectName(QStringLiteral("StopBtn"));
  PauseBtn_ = new QPushButton(QStringLiteral("Pause"));
  PauseBtn_->setObjectName(QStringLiteral("PauseBtn"));
  PauseBtn_->setCheckable(true);
  Buttons->addWidget(StartBtn_);
  Buttons->addWidget(StopBtn_);
  Buttons->addWidget(PauseBtn_);
  return Buttons;
}

void TMain::BuildSearchSide(QWidget* Panel) {
  SearchPanel_ = new QScrollArea;
  SearchPanel_->setObjectName(QStringLiteral("SearchScroll"));
  SearchPanel_->setWidget(Panel);
  SearchPanel_->setWidgetResizable(true);

  // The search side: "<<" folds the panel to a narrow strip holding ">>", which unfolds it.
  SearchSide_ = new QWidget;
  SearchSide_->setObjectName(QStringLiteral("SearchSide"));
  SearchSide_->setMinimumWidth(kSearchPanelWidth);
  SearchSide_->setAutoFillBackground(true);
  auto* Side = new QVBoxLayout(SearchSide_);
  Side->setContentsMargins(0, 0, 0, 0);
  Side->setSpacing(0);
  CollapseBtn_ = new QToolButton;
  CollapseBtn_->setObjectName(QStringLiteral("CollapseBtn"));
  CollapseBtn_->setText(QStringLiteral("<<"));
  CollapseBtn_->setAutoRaise(true);
  ExpandBtn_ = new QToolButton;
  ExpandBtn_->setObjectName(QStringLiteral("ExpandBtn"));
  ExpandBtn_->setText(QStringLiteral(">>"));
  ExpandBtn_->setAutoRaise(true);
  ExpandBtn_->hide();
  auto* SideTop = new QHBoxLayout;
  SideTop->addWidget(ExpandBtn_);
  SideTop->addStretch(1);
  SideTop->addWidget(CollapseBtn_);
  Side->addLayout(SideTop);
  Side->addWidget(SearchPanel_, 1);
  Side->addStretch(0);  // keeps ">>" at the top of the folded strip
  connect(CollapseBtn_, &QToolButton::clicked, this, [this] { SetSearchPanelCollapsed(true); });
  connect(ExpandBtn_, &QToolButton::clicked, this, [this] { SetSearchPanelCollapsed(false); });
  SearchSide_->installEventFilter(this);
  WhatGroup_->installEventFilter(this);
}

void TMain::BuildResultsList() {
  ResultView_ = new QTreeView;
  ResultView_->setObjectName(QStringLiteral("ResList"));
  Model_ = new TResListModel([this]() -> TSearchResults& { return Run_->Results(); }, this);
  ResultView_->setModel(Model_);
  ResultView_->setRootIsDecorated(false);
  ResultView_->setUniformRowHeights(true);
  ResultView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ResultView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  ResultView_->setDragEnabled(true);
  ResultView_->setDragDropMode(QAbstractItemView::DragOnly);
  ResultView_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ResultView_, &QWidget::customContextMenuRequested, this, &TMain::ResListContextMenu);
  ResultView_->header()->setSectionsMovable(true);
  ResultView_->header()->setSectionsClickable(true);
  ResultView_->header()->setMinimumSectionSize(50);
  const int Widths[4] = {108, 140, 60, 84};
  for (int I = 0; I < 4; ++I) ResultView_->header()->resizeSection(I, Widths[I]);
  connect(ResultView_->header(), &QHeaderView::sectionClicked, this, &TMain::ResListHeaderClick);
  // A double click or Enter on a row previews it.
  connect(ResultView_, &QTreeView::doubleClicked, this, [this](const QModelIndex&) { PreviewExec(); });
  ResultView_->installEventFilter(this);
  connect(ResultView_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { UpdatePreviewPrintActions(); });
  connect(ResultView_->header(), &QHeaderView::sectionDoubleClicked, this,
          [this](int Section) { ResultView_->resizeColumnToContents(Section); });
}

void TMain::BuildSplitter() {
  Splitter_ = new QSplitter;
  Splitter_->setObjectName(QStringLiteral("Splitter"));
  Splitter_->addWidget(SearchSide_);
  Splitter_->addWidget(ResultView_);
  Splitter_->setStretchFactor(1, 1);
  Splitter_->setChildrenCollapsible(false);
  connect(Splitter_, &QSplitter::splitterMoved, this, [this](int, int) {
    if (SearchCollapsed_) return;
    int Wanted = ClampSplitter(width() - Splitter_->handleWidth() - 8, kSearchPanelWidth, kResultsReserve,
                               SearchSide_->width());
    if (Wanted != SearchSide_->width()) Splitter_->setSizes({Wanted, width() - Wanted});
  });
  setCentralWidget(Splitter_);
}

void TMain::BuildStatusBar() {
  StatusBar_ = new TWideStatusBar(this);
  StatusBar_->setObjectName(QStringLiteral("StatusBar"));
  StatusBar_->AddPanel({u"", 0, 0, 0});
  StatusBar_->AddPanel({u"", 50, 0, 1});
  setStatusBar(StatusBar_);
  // Panel 0 holds the status-bar animation; the other one lies over the toolbar's Start button.
  StatusAnim_ = new TBusyIndicator(StatusBar_->PanelLabel(0));
  StatusAnim_->setObjectName(QStringLiteral("StatusBarAnimation"));
  StatusAnim_->hide();
}

void TMain::ConnectSearchPanel() {
  // Escape during a search asks whether to stop it, whichever control has the focus. An open list (the
  // history a box offers while the user types) takes the key first: Escape closes it.
  auto* Escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(Escape, &QShortcut::activated, this, [this] {
    if (QWidget* Popup = QApplication::activePopupWidget()) {
      Popup->close();
      return;
    }
    if (Run_->Busy) Run_->AskStop();
  });
  connect(StartBtn_, &QPushButton::clicked, this, [this] { SearchStartExec(); });
  connect(StopBtn_, &QPushButton::clicked, this, [this] { SearchStopExec(); });
  connect(PauseBtn_, &QPushButton::clicked, this, [this] {
    // The click only asks; the pause runs its waiting loop after the click has been handled.
    QTimer::singleShot(0, this, [this] { SearchPauseExec(); });
  });
  connect(BrowseBtn_, &QPushButton::clicked, this, &TMain::BrowsePathsExec);
  connect(SelectBtn_, &QPushButton::clicked, this, &TMain::SelectFileTypesExec);
  connect(FiltersBtn_, &QPushButton::clicked, this, &TMain::EditFiltersExec);
  connect(ExactRadio_, &QRadioButton::toggled, this, [this](bool) { FillLogicBox(); });
  connect(DirectScanCheck_, &QCheckBox::clicked, this, [this](bool On) {
    if (!On && !ConvToTextCheck_->isChecked()) ConvToTextCheck_->setChecked(true);
    UpdateControls();
  });
  connect(ConvToTextCheck_, &QCheckBox::clicked, this, [this](bool On) {
    if (!On && !DirectScanCheck_->isChecked()) DirectScanCheck_->setChecked(true);
    UpdateControls();
  });
  connect(FilesCheck_, &QCheckBox::clicked, this, [this](bool On) {
    bool Files = On, Archives = ArchivesCheck_->isChecked();
    ClickFilesArchives(true, Files, Archives);
    SetFilesArchives(Files, Archives);
  });
  connect(ArchivesCheck_, &QCheckBox::clicked, this, [this](bool On) {
    bool Files = FilesCheck_->isChecked(), Archives = On;
    ClickFilesArchives(false, Files, Archives);
    SetFilesArchives(Files, Archives);
  });
  connect(InResultsCheck_, &QCheckBox::toggled, this, [this](bool) { UpdateControls(); });
  for (QCheckBox* Check : {DateCheck_, SizeCheck_})
    connect(Check, &QCheckBox::toggled, this, [this] { UpdateControls(); });
  connect(FilterBox_, &QGroupBox::toggled, this, [this] { UpdateControls(); });
  connect(Paths_->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { Paths_->setEditText(Q(ParsePathList(U(Paths_->currentText())))); });
  connect(Masks_->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { Masks_->setEditText(Q(NormalizeMasks(U(Masks_->currentText())))); });
  for (QLineEdit* Edit : {SizeFromEdit_, SizeToEdit_})
    connect(Edit, &QLineEdit::editingFinished, this,
            [Edit] { Edit->setText(Q(NormalizeSizeEditText(U(Edit->text())))); });
}

void TMain::BuildMenus() {
  // The eleven commands (Start ... Exit) belong to the commands layer; the menus and the toolbar show
  // its actions.
  Commands_ = new TMainActions(this);
  Commands_->State = [this] { return CommandState(); };
  auto Act = [this](int32_t Index) { return Commands_->ActionByIndex(Index); };
  auto MakeAction = [this](const char* Name, const char* Caption, auto Handler) {
    auto* Action = new QAction(QString::fromUtf8(Caption), this);
    Action->setObjectName(QString::fromUtf8(Name));
    connect(Action, &QAction::triggered, this, Handler);
    return Action;
  };
  MClear_ = MakeAction("mClear", "Clear Search Results", [this] {
    ClearResults();
    InResultsCheck_->setChecked(false);
    SetStatusText(u"", false);
  });

  MStatusBar_ = MakeAction("mStatusBar", "Status &Bar", [this](bool On) {
    Settings_.ViewOptions.StatusBar = On;
    StatusBar_->setVisible(On);
  });
  MStatusBar_->setCheckable(true);
  MEnableLog_ = MakeAction("mEnableLog", "Enable Log Window",
                           [this](bool On) { Settings_.ViewOptions.LogWindow = On; });
  MEnableLog_->setCheckable(true);
  auto* About = MakeAction("mAbout", "About", [this] { AboutExec(); });

  // The menus from a table: a menu's name, caption and items, a null item standing for a separator.
  struct TMenuPlan {
    const char* Name;
    const char* Caption;
    std::vector<QAction*> Items;
  };
  const TMenuPlan Plans[] = {
      {"mFile", "&File", {Act(maPreview), Act(maPrint), nullptr, Act(maExit)}},
      {"mSearch", "&Search", {Act(maSearchStart), Act(maSearchStop), Act(maSearchPause), nullptr, MClear_}},
      {"mView", "&View", {MStatusBar_, MEnableLog_, Act(maShowLog)}},
      {"mHelp", "&Help", {Act(maHelp), About}},
  };
  std::map<std::string, QMenu*> Menus;
  for (const TMenuPlan& Plan : Plans) {
    QMenu* Menu = menuBar()->addMenu(QString::fromUtf8(Plan.Caption));
    Menu->setObjectName(QString::fromUtf8(Plan.Name));
    for (QAction* Item : Plan.Items) {
      if (Item)
        Menu->addAction(Item);
      else
        Menu->addSeparator();
    }
    Menus[Plan.Name] = Menu;
  }
  QMenu* Search = Menus["mSearch"];
  QMenu* View = MView_ = Menus["mView"];
  MLanguage_ = View->addMenu(QStringLiteral("Interface Language"));
  MLanguage_->setObjectName(QStringLiteral("mLanguage"));
  View->addAction(Act(maOptions));
  // The open preview windows follow this separator, the newest first.
  PreviewSeparator_ = View->addSeparator();
  PreviewSeparator_->setObjectName(QStringLiteral("PreviewSeparator"));
  PreviewMenu_ = std::make_unique<TPreviewMenu>(View, PreviewSeparator_);
  connect(View, &QMenu::aboutToShow, this, [this] {
    MStatusBar_->setChecked(Settings_.ViewOptions.StatusBar);
    MEnableLog_->setChecked(Settings_.ViewOptions.LogWindow);
  });
  connect(Search, &QMenu::aboutToShow, this, [this, Act] {
    MClear_->setEnabled(!Run_->Busy);
    // The Start item names its key, F3, which the application hook handles.
    QAction* Start = Act(maSearchStart);
    Start->setText(Q(SearchMenuStartCaption(U(Start->text()))));
  });
}

void TMain::InstallCommands() {
  auto& H = Commands_->Handlers;
  // In the dialog style the search dialog asks first; a paused search just goes on.
  H[maSearchStart] = [this] {
    if (Settings_.ViewOptions.InterfaceStyle == 1 && !Run_->Paused)
      SearchDialogExec();
    else
      SearchStartExec();
  };
  H[maSearchStop] = [this] { SearchStopExec(); };
  // The pause runs its waiting loop after the click or the menu has been handled.
  H[maSearchPause] = [this] { QTimer::singleShot(0, this, [this] { SearchPauseExec(); }); };
  H[maSearchFiles] = [this] { SearchFilesExec(); };
  H[maSearchArchives] = [this] { SearchArchivesExec(); };
  H[maShowLog] = [this] { ShowLogExec(); };
  H[maPreview] = [this] { PreviewExec(); };
  H[maPrint] = [this] { PrintExec(); };
  H[maOptions] = [this] { OptionsExec(); };
  H[maHelp] = [this] { HelpExec(); };
  H[maExit] = [this] { ExitExec(); };
  Commands_->ResultsFocused = [this] { return ResultView_->hasFocus(); };
  Commands_->FocusedRow = [this](bool& InArchive) {
    QModelIndex Current = ResultView_->currentIndex();
    if (!Current.isValid() || Current.row() >= Results().Count()) return false;
    TFoundFileInfo Info;
    Results().GetInfo(Current.row(), Info);
    InArchive = Info.InArchive;
    return true;
  };
  Commands_->LanguageCount = [this] { return Langs_.GetLanguageCount(); };
  Commands_->SelectLanguage = [this](int32_t Language) { SetLanguage(Language); };
  Commands_->OnToolbarDoubleClick = [this] { OptionsExec(kToolbarOptionsPage); };
  Commands_->OnFillFromHistory = [this] { FillFromHistory(); };
  Commands_->ShowProperties = [this] { ShowFileProperties(); };
  Commands_->InstallHook();
  // Enter on the results list previews (see eventFilter); this filter comes after the hook, so it runs first.
  qApp->installEventFilter(this);
  Commands_->BuildToolbar(Run_->Paused, FilesCheck_->isChecked(), ArchivesCheck_->isChecked());
  Commands_->LocalizeActions();
  ToolbarAnim_ = new TBusyIndicator(Commands_->ToolBar());
  ToolbarAnim_->setObjectName(QStringLiteral("ToolbarAnimation"));
  ToolbarAnim_->hide();
  BusyAnimation_.Mode = static_cast<uint8_t>(std::min<int>(Settings_.ViewOptions.Animation, 2));
}

void TMain::SetAnimationMode(int32_t Mode) {
  Settings_.ViewOptions.Animation = static_cast<uint8_t>(std::clamp(Mode, 0, 2));
  BusyAnimation_.HasStartButton = Commands_->ToolButtonByTag(maSearchStart) != nullptr;
  BusyAnimation_.SetAnimationMode(Settings_.ViewOptions.Animation);
  ApplyAnimation();
}

void TMain::ApplyAnimation() {
  if (!ToolbarAnim_ || !StatusAnim_) return;
  const TAnimationPlace Place = BusyAnimation_.Place();
  QToolButton* Start = Commands_->ToolButtonByTag(maSearchStart);
  if (Place == apStartButton && Start) {
    ToolbarAnim_->setGeometry(Start->geometry());
    ToolbarAnim_->show();
    ToolbarAnim_->raise();
  } else {
    ToolbarAnim_->hide();
  }
  // The status bar's first panel is 16 pixels wide while it shows the animation.
  constexpr int kStatusAnimationWidth = 16;
  if (Place == apStatusBar) {
    StatusBar_->SetPanelWidth(0, kStatusAnimationWidth);
    StatusAnim_->setGeometry(0, 0, kStatusAnimationWidth,
                             std::max(kStatusAnimationWidth, StatusBar_->PanelLabel(0)->height()));
    StatusAnim_->show();
    StatusAnim_->raise();
  } else {
    StatusAnim_->hide();
    StatusBar_->SetPanelWidth(0, 0);
  }
  ToolbarAnim_->SetRunning(BusyAnimation_.Playing() && Place == apStartButton);
  StatusAnim_->SetRunning(BusyAnimation_.Playing() && Place == apStatusBar);
}

void TMain::NoteModalWindow(QObject* Watched, QEvent* Event) {
  if (Event->type() != QEvent::Show && Event->type() != QEvent::Hide) return;
  auto* Window = qobject_cast<QWidget*>(Watched);
  if (Window == nullptr || !Window->isWindow()) return;
  // A question, a dialog run modally, a menu or a pop-up menu: the user's attention is there.
  if (qobject_cast<QMenu*>(Window) == nullptr && !Window->isModal()) return;
  if (Event->type() == QEvent::Show) {
    if (!OpenModalWindows_.insert(Window).second) return;
    // A window may go without hiding first (watched once, however often it shows).
    if (!Window->property("AnimationWatched").toBool()) {
      Window->setProperty("AnimationWatched", true);
      connect(Window, &QObject::destroyed, this, [this, Window] {
        if (OpenModalWindows_.erase(Window) != 0) SetAnimationRunning();
      });
    }
  } else if (OpenModalWindows_.erase(Window) == 0) {
    return;
  }
  SetAnimationRunning();
}

void TMain::SetAnimationRunning() {
  BusyAnimation_.SetAnimationActive(Run_->Busy && !Run_->Paused && OpenModalWindows_.empty());
  ApplyAnimation();
}

void TMain::LoadHistories() {
  TWideStringList Items;
  const std::string Names[3] = {"Pattern", "Paths", "Masks"};
  QComboBox* Boxes[3] = {Pattern_, Paths_, Masks_};
  for (int I = 0; I < 3; ++I) {
    LoadComboHistory(Items, U(Boxes[I]->currentText()), Names[I]);
    SetItems(Boxes[I], Items);
  }
}

TMainState TMain::CommandState() const {
  TMainState S;
  S.Busy = Run_->Busy;
  S.RowFocused = ResultView_->currentIndex().isValid();
  S.TableEmpty = Run_->Results().Count() == 0;
  S.ConvertersLoaded = Converters_ && Converters_->Count() > 0;
  S.SearchInResults = InResultsCheck_->isChecked();
  S.DirectScan = DirectScanCheck_->isChecked();
  S.DateFilter = DateCheck_->isChecked();
  S.SizeFilter = SizeCheck_->isChecked();
  S.PreviewPending = PendingPreview_.PreviewPending;
  return S;
}

void TMain::ExitExec() {
  Run_->StopRequested = true;
  close();
}

void TMain::Localize(TQtLangForm& Form) {
  Langs_.CaptureForm(0, Form);
  Langs_.TranslateForm(Form);
}

void TMain::AddTranslatedWindow(QWidget* Window) {
  auto& Form = WindowForms_[Window];
  if (Form) return;
  Form = std::make_unique<TQtLangForm>(Window, "T" + Window->objectName().toStdString());
  Screen_.Forms.push_back(Form.get());
  Localize(*Form);
  connect(Window, &QObject::destroyed, this, [this, Window] {
    const auto It = WindowForms_.find(Window);
    if (It == WindowForms_.end()) return;
    std::erase(Screen_.Forms, It->second.get());
    WindowForms_.erase(It);
  });
}

void TMain::OptionsExec(int32_t Page) {
  TPreferencesHooks Hooks;
  int32_t AskMode = Run_->PasswordAskMode;
  Hooks.PasswordAskMode = &AskMode;
  Hooks.Languages = &Langs_;
  Hooks.Localize = [this](TQtLangForm& Form) { Localize(Form); };
  Hooks.ApplyMainFont = [this] { ApplyMainFont(); };
  Hooks.SetInterfaceStyle = [this](int32_t Style) { SetInterfaceStyle(Style); };
  Hooks.SetAnimationMode = [this](int32_t Mode) { SetAnimationMode(Mode); };
  Hooks.LoadHistories = [this] { LoadHistories(); };
  Hooks.BuildToolbar = [this](bool Recreate) {
    if (Recreate)
      Commands_->BuildToolbar(Run_->Paused, FilesCheck_->isChecked(), ArchivesCheck_->isChecked());
    else
      Commands_->LocalizeActions();
  };
  Hooks.ActionIcon = [this](int32_t Action) {
    QAction* A = Commands_->ActionByIndex(Action);
    return A ? A->icon() : QIcon();
  };
  Hooks.BrowseForFolder = [this](const std::u16string& Title) {
    return U(QFileDialog::getExistingDirectory(this, Q(Title)));
  };
  TPreferences Dialog(std::move(Hooks), this);
  Localize(Dialog.LangForm());
  Dialog.Execute(Page);
  Run_->PasswordAskMode = static_cast<uint8_t>(std::clamp(AskMode, 0, 2));
}

void TMain::HelpExec() {
  bool Warned = false;
  std::u16string File = ChooseHelpFile(
      HelpChecked_, Utf8ToUtf16(ProgramDir_), [](const std::u16string& Name) { return WideFileExists(Name); },
      [&Warned](const std::u16string& Text) {
        Warned = true;
        MsgDlgText(Text, mtWarning, mbOK);
      });
  if (!WideFileExists(File)) {
    // Asked again after the warning: the file is still missing, and the user is told so again.
    if (!Warned) MsgDlgText(FormatMsgW(TMsgIndex::HelpNotFound_s, {File}), mtWarning, mbOK);
    return;
  }
  // The desktop's browser first; when none opens the document, the program's own help window.
  const QString Document = Q(File);
  QPointer<TMain> Self(this);
  OpenWithDesktopOrElse(Document, [Self, Document] {
    if (Self) ShowHelpWindow(Document, Self);
  });
}

void TMain::AboutExec() {
  TAbout Dialog(this);
  Localize(Dialog.LangForm());
  Dialog.Localize = [this](TQtLangForm& Form) { Localize(Form); };
  // The system report names the converters this window loaded.
  Dialog.Sources = [this] {
    const QScreen* Screen = QGuiApplication::primaryScreen();
    return CollectSysInfoSources(Converters_.get(), Screen != nullptr ? Screen->depth() : 0);
  };
  Dialog.exec();
}

void TMain::BrowsePathsExec() {
  if (Run_->Busy) return;
  TSelectPaths Dialog(this);
  Localize(Dialog.LangForm());
  std::u16string Text = U(Paths_->currentText());
  if (!Dialog.Execute(Text)) return;
  Paths_->setEditText(Q(Text));
  SubdirsCheck_->setChecked(Settings_.FileOptions.Subdirectories);
}

void TMain::SelectFileTypesExec() {
  if (Run_->Busy) return;
  SplitQuotedList(Settings_.SearchMasks, U(Masks_->currentText()));
  TSelectFileTypes Dialog(this);
  Localize(Dialog.LangForm());
  Dialog.Localize = [this](TQtLangForm& Form) { Localize(Form); };
  if (Dialog.Execute(Settings_.SearchMasks)) Masks_->setEditText(Q(JoinQuotedList(Settings_.SearchMasks)));
}

void TMain::EditFiltersExec() {
  if (Run_->Busy || !Converters_) return;
  TEditFilters Dialog(*Converters_, this);
  Localize(Dialog.LangForm());
  Dialog.Execute();
}

void TMain::SearchDialogExec() {
  TSearchFormState State;
  State.Fields = Fields();
  for (QComboBox* Box : {Pattern_, Paths_, Masks_}) {
    QStringList& Items = Box == Pattern_ ? State.PatternItems
                         : Box == Paths_ ? State.PathItems
                                         : State.MaskItems;
    for (int I = 0; I < Box->count(); ++I) Items << Box->itemText(I);
  }
  State.SearchInResultsEnabled = InResultsCheck_->isEnabled();
  State.ConvertEnabled = Converters_ && Converters_->Count() > 0;
  TSearch Dialog(this);
  Localize(Dialog.LangForm());
  Dialog.BrowsePaths = [this](std::u16string& Text, bool& Subdirectories) {
    TSelectPaths Paths(this);
    Localize(Paths.LangForm());
    if (!Paths.Execute(Text)) return false;
    Subdirectories = Settings_.FileOptions.Subdirectories;
    return true;
  };
  Dialog.SelectTypes = [this](std::u16string& Text) {
    SplitQuotedList(Settings_.SearchMasks, Text);
    TSelectFileTypes Types(this);
    Localize(Types.LangForm());
    Types.Localize = [this](TQtLangForm& Form) { Localize(Form); };
    if (!Types.Execute(Settings_.SearchMasks)) return false;
    Text = JoinQuotedList(Settings_.SearchMasks);
    return true;
  };
  Dialog.EditFilters = [this] { EditFiltersExec(); };
  if (!Dialog.Execute(State)) return;
  // The window keeps what the dialog searched with, so the next showing starts from it.
  ShowAllFields(State.Fields);
  ShowFields(State.Fields);
  State.Fields.CheckedByDialog = true;
  Run_->SearchStartExec(State.Fields);
}

void TMain::ResListContextMenu(const QPoint& Pos) {
  QModelIndex Index = ResultView_->indexAt(Pos);
  if (!Index.isValid()) Index = ResultView_->currentIndex();
  if (!Index.isValid() || Index.row() >= Results().Count()) return;
  ResultView_->setCurrentIndex(Index);
  TFoundFileInfo Info;
  Results().GetInfo(Index.row(), Info);
  TResultMenuHooks Hooks;
  Hooks.Preview = [this] { Commands_->ActionByIndex(maPreview)->trigger(); };
  std::string Summarizer;
  Hooks.SummarizerFound = FindSummarizer(Summarizer);
  Hooks.LaunchSummarizer = [this, Summarizer](const TFoundFileInfo& Found) {
    if (Converters_)
      StartSummarizer(Summarizer, Found, Pattern_->currentText().isEmpty(), ConvToTextCheck_->isChecked(),
                      *Converters_);
  };
  Hooks.ExtractPassword = ExtractPasswordHook(Info);
  // A right click shows the menu at the mouse; the menu key at the focused row.
  QPoint At = Pos;
  if (!ResultView_->viewport()->rect().contains(At)) At = ResultView_->visualRect(Index).bottomLeft();
  ShowResultMenu(this, ResultView_->viewport()->mapToGlobal(At), Info, Hooks);
}

void TMain::FormCreate(const TMainCommandLine& CommandLine) {
  DebugMode_ = CommandLine.DebugMode;
  Run_->DebugMode = CommandLine.DebugMode;
  Run_->TimeMode = CommandLine.TimeMode;
  MemoryMode = CommandLine.MemoryMode;
  if (CommandLine.LogToFile) OpenLogFile(Utf16ToUtf8(LogFileNameFor(CommandLine.ProgramPath)));

  Scanner_.Archives = &ArchiveWalk_;
  Scanner_.NormalizeMaskList = [](TWideStrLst& List) { NormalizeMaskList(List); };
  Scanner_.MatchMask = [](const std::string& Name, const std::string& Mask) {
    return MatchesMask(Name, Mask, true);
  };

  SetScreenFontCheck([](const std::string& Name) { return !FirstInstalledFont({Name}).empty(); });
  SetDefaultOptions();
  bool Loaded = false;
  try {
    Langs_.AddLanguage("English", 1);
    Langs_.OnChange = [this] { LanguageChanged(); };
    Loaded = LoadOptions();
    PrepareExcludedDirs(Settings_.ExcludedDirs, !Loaded, WideGetTempDir());
    LoadLanguages(Langs_, Utf8ToUtf16(ProgramDir_), kLanguageFileMask, LanguageFiles_, LangMenu_);
    LanguagesLoadedAt_ = NowDateTime();
    Langs_.CaptureForm(0, *LangForm_);
    if (!Loaded) {
      int32_t Index = LanguageIndexForLCID(Langs_, GetSystemDefaultLCID());
      if (Index >= 0) Settings_.ViewOptions.LanguageIndex = static_cast<uint8_t>(Index);
    }
    SetMsgLanguages(&Langs_);
    if (Settings_.ViewOptions.LanguageIndex < Langs_.GetLanguageCount())
      Langs_.SetLanguageIndex(Settings_.ViewOptions.LanguageIndex);
  } catch (const std::exception& E) {
    try {
      Log(StartupErrorLine(static_cast<int32_t>(TMsgIndex::ErrLoadOpt_s), E.what()));
    } catch (...) {
    }
  }
  // The language menu: one radio item per language, each selecting the language it shows.
  auto* Group = new QActionGroup(this);
  for (const TLanguageMenuItem& Item : LangMenu_.Items) {
    auto* Action = MLanguage_->addAction(Q(Item.Caption));
    Action->setObjectName(QString::fromStdString(Item.Name));
    Action->setCheckable(true);
    Action->setActionGroup(Group);
    if (Item.HotKey > 0)
      Action->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | (Qt::Key_F1 + Item.HotKey - 1)));
    int32_t Language = Item.LanguageIndex;
    connect(Action, &QAction::triggered, this, [this, Language] { SetLanguage(Language); });
  }
  MLanguage_->setEnabled(LangMenu_.Enabled);

  try {
    Converters_ = std::make_unique<TQVConverters>();
    Scanner_.Converters = Converters_.get();
    Run_->Converters = Converters_.get();
    LoadStartupConverters(*Converters_, ReadSharedFilesDir(), ProgramDir_, Settings_.DisabledConverters);
  } catch (const std::exception& E) {
    Log(StartupErrorLine(static_cast<int32_t>(TMsgIndex::ErrLoadConv_s), E.what()));
  }
  if (DebugMode_) LogArchiveLibraries();
  Run_->BindScanner();
  InstallPreviews();
  LogDisabledArchiveKinds();

  // Placement: the saved rectangle, fitted onto the screen.
  if (Settings_.ViewOptions.MainRect.Right > 0) {
    TRect32 Rect = Settings_.ViewOptions.MainRect;
    QRect Screen =
        QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
    if (Screen.isValid()) {
      FitRectToScreen(Rect, Screen.width(), Screen.height());
      setGeometry(Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top);
    }
    if (Settings_.ViewOptions.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  }
  ControlsFromSettings();
  ApplyMainFont();
  StatusBar_->setVisible(Settings_.ViewOptions.StatusBar);
  ApplyCommandLine(CommandLine);
  SetInterfaceStyle(Settings_.ViewOptions.InterfaceStyle);
  InstallCommands();
  UpdateControls();
  if (MemoryMode) {
    // When the program is idle, the memory figure follows what is allocated now.
    auto* Idle = new QTimer(this);
    connect(Idle, &QTimer::timeout, this, [this] {
      if (AllocatedMemory() != LastAllocMemSize_) SetStatusText(Status_, false);
    });
    Idle->start(500);
  }
}

void TMain::ApplyMainFont() {
  if (Settings_.MainFont.Name.empty()) return;
  QFont Font(QString::fromStdString(Settings_.MainFont.Name));
  // A negative height is the character height in pixels, a positive one the cell height.
  if (Settings_.MainFont.Height != 0) Font.setPixelSize(std::abs(Settings_.MainFont.Height));
  Font.setBold(Settings_.MainFont.Style & fsBold);
  Font.setItalic(Settings_.MainFont.Style & fsItalic);
  Font.setUnderline(Settings_.MainFont.Style & fsUnderline);
  Font.setStrikeOut(Settings_.MainFont.Style & fsStrikeOut);
  for (QWidget* W : std::initializer_list<QWidget*>{Pattern_, Paths_, Masks_, ResultView_}) W->setFont(Font);
}

void TMain::ApplyCommandLine(const TMainCommandLine& CommandLine) {
  // The pattern box starts with the option's text, empty without it, whatever the history holds.
  Pattern_->setEditText(Q(CommandLine.Text));
  if (!CommandLine.Path.empty()) Paths_->setEditText(Q(CommandLine.Path));
  if (!CommandLine.Mask.empty()) Masks_->setEditText(Q(CommandLine.Mask));
}

void TMain::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (!FirstShow_) return;
  FirstShow_ = false;
  // Log entries made during creation wait in the buffer until the log window can take them.
  LogWindowSink = [this](const std::string& Text, bool Show) { GetLogForm()->AddLine(Text, Show); };
  GetLogForm();
  FlushLogBuffer();
  for (QAction* Action : MLanguage_->actions())
    if (Action->objectName() == QStringLiteral("ml%1").arg(Langs_.GetLanguageIndex()))
      Action->setChecked(true);
  LoadHistories();
  // The first activation: empty boxes get the saved lists, and in the dialog style the search dialog
  // opens by itself. Both are posted, so they run once the window is up.
  Commands_->PostAppMessage(MakeFillFromHistoryMessage());
  if (Settings_.ViewOptions.InterfaceStyle == 1)
    Commands_->PostAppMessage(MakeRunActionMessage(maSearchStart));
}

void TMain::FillFromHistory() {
  Paths_->setEditText(Q(FillFromHistoryText(U(Paths_->currentText()), Settings_.SearchPaths)));
  Masks_->setEditText(Q(FillFromHistoryText(U(Masks_->currentText()), Settings_.SearchMasks)));
}

TLog* TMain::GetLogForm() {
  if (!LogForm_) {
    LogForm_ = new TLog(this);
    LogLangForm_ = std::make_unique<TQtLangForm>(LogForm_.data(), "TLog");
    Screen_.Forms.push_back(LogLangForm_.get());
    Langs_.CaptureForm(0, *LogLangForm_);
    Langs_.TranslateForm(*LogLangForm_);
    QRect Main = geometry();
    LogForm_->move(std::max(0, Main.right() - LogForm_->width() - 12),
                   std::max(0, Main.bottom() - LogForm_->height() - 32));
  }
  return LogForm_;
}

void TMain::ShowLogExec() {
  TLog* Form = GetLogForm();
  Form->show();
  Form->raise();
}

void TMain::closeEvent(QCloseEvent* Event) {
  Run_->StopRequested = true;
  // The previews close with the program (each stores its placement on the way).
  const std::vector<TPreview*> Open = PreviewWindows();
  for (TPreview* W : Open) delete W;
  CommitComboEdits();
  if (!WriteSettings()) {
    // The program closes all the same, but the user learns that this session's settings are gone.
    const std::string Text =
        FormatMsg(TMsgIndex::SettingsNotSaved_ss, {SettingsFolder(), std::strerror(SettingsError_)});
    Log(Text);
    ShowErrorText(Utf8ToUtf16(Text));
  }
  CloseLogFile();
  Event->accept();
}

bool TMain::eventFilter(QObject* Watched, QEvent* Event) {
  NoteModalWindow(Watched, Event);
  // A click on the folded strip, or a double click on the "What to find" title, folds or unfolds.
  if (Watched == SearchSide_ && SearchCollapsed_ && Event->type() == QEvent::MouseButtonRelease) {
    SetSearchPanelCollapsed(false);
    return true;
  }
  if (Watched == WhatGroup_ && Event->type() == QEvent::MouseButtonDblClick) {
    SetSearchPanelCollapsed(!SearchCollapsed_);
    return true;
  }
  // Enter on the results list previews the focused row instead of starting a search.
  if (Watched == ResultView_ && Event->type() == QEvent::KeyPress) {
    auto* Key = static_cast<QKeyEvent*>(Event);
    if ((Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter) &&
        !(Key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      PreviewExec();
      return true;
    }
  }
  return QMainWindow::eventFilter(Watched, Event);
}

void TMain::SearchStartExec() {
  if (!Run_->Paused && Run_->Busy) return;
  TSearchFields F = Fields();
  Run_->SearchStartExec(F);
}

void TMain::ClearResults() {
  Run_->ClearResults();
  UpdateControls();
}

void TMain::SetStatusMessage(const std::function<std::u16string()>& Make, bool AddPeriod) {
  // A copy: Make may be the kept message itself, which SetStatusText forgets.
  std::function<std::u16string()> Keep = Make;
  SetStatusText(Keep(), AddPeriod);
  StatusMessage_ = std::move(Keep);
  StatusPeriod_ = AddPeriod;
}

void TMain::SetStatusText(const std::u16string& Text, bool AddPeriod) {
  StatusMessage_ = nullptr;
  Status_ = AddPeriod ? WideAddPeriod(Text) : Text;
  if (MemoryMode) LastAllocMemSize_ = AllocatedMemory();
  StatusBar_->SetPanelText(1, StatusLineText(Text, AddPeriod, MemoryMode, LastAllocMemSize_));
  StatusBar_->repaint();
}

void TMain::SaveSettings() { WriteSettings(); }

bool TMain::WriteSettings() {
  Settings_.SearchOptions.CaseSensitive = CaseSensCheck_->isChecked();
  Settings_.SearchOptions.WholeWords = WholeWordsCheck_->isChecked();
  Settings_.SearchOptions.Fuzzy = FuzzyRadio_->isChecked();
  Settings_.SearchOptions.LogicIndex = static_cast<uint8_t>(std::max(0, LogicBox_->currentIndex()));
  Settings_.ScanOptions.DirectScan = DirectScanCheck_->isChecked();
  // Without a converter the box is off because the program turned it off, not the user: the stored choice
  // stays, so conversion is on again at the first start that finds converters.
  if (Converters_ && Converters_->Count() > 0)
    Settings_.ScanOptions.ConvertToText = ConvToTextCheck_->isChecked();
  Settings_.ScanOptions.ANSI = AnsiCheck_->isChecked();
  Settings_.ScanOptions.OEM = OemCheck_->isChecked();
  Settings_.ScanOptions.Unicode = UnicodeCheck_->isChecked();
  Settings_.ScanOptions.SkipBinary = SkipBinaryCheck_->isChecked();
  Settings_.FileOptions.Subdirectories = SubdirsCheck_->isChecked();
  Settings_.FileOptions.PlainFiles = FilesCheck_->isChecked();
  Settings_.FileOptions.Archives = ArchivesCheck_->isChecked();
  Settings_.FileOptions.FilterOn = FilterBox_->isChecked();
  Settings_.FileOptions.DateFilterOn = DateCheck_->isChecked();
  Settings_.FileOptions.SizeFilterOn = SizeCheck_->isChecked();
  Settings_.FileOptions.DateFrom = DateOf(DateFromEdit_);
  Settings_.FileOptions.DateTo = DateOf(DateToEdit_);
  Settings_.FileOptions.SizeUnits = static_cast<uint8_t>(std::max(0, SizeUnits_->currentIndex()));
  Settings_.FileOptions.SizeFrom = SizeTextToBytes(U(SizeFromEdit_->text()), Settings_.FileOptions.SizeUnits);
  Settings_.FileOptions.SizeTo = SizeTextToBytes(U(SizeToEdit_->text()), Settings_.FileOptions.SizeUnits);
  SplitQuotedList(Settings_.SearchPaths, U(Paths_->currentText()));
  SplitQuotedList(Settings_.SearchMasks, U(Masks_->currentText()));
  QRect Normal = normalGeometry();
  Settings_.ViewOptions.MainRect = {Normal.left(), Normal.top(), Normal.right() + 1, Normal.bottom() + 1};
  Settings_.ViewOptions.Maximized = isMaximized();
  if (Langs_.GetLanguageIndex() >= 0)
    Settings_.ViewOptions.LanguageIndex = static_cast<uint8_t>(Langs_.GetLanguageIndex());
  for (int I = 0; I < kResListColumnCount; ++I) {
    Settings_.ResListColumns[static_cast<size_t>(I)].Width =
        std::min(kMaxResListColumnWidth, ResultView_->header()->sectionSize(I));
    Settings_.ResListColumns[static_cast<size_t>(I)].Position = ResultView_->header()->visualIndex(I);
  }
  // The first failure's system error is kept for the report.
  int Error = 0;
  auto Note = [&Error](bool Saved) {
    if (!Saved && Error == 0) Error = errno != 0 ? errno : EIO;
  };
  errno = 0;
  Note(SaveOptions());
  TWideStringList Items;
  std::string Names[3] = {"Pattern", "Paths", "Masks"};
  QComboBox* Boxes[3] = {Pattern_, Paths_, Masks_};
  for (int I = 0; I < 3; ++I) {
    ItemsOf(Boxes[I], Items);
    std::u16string Text = U(Boxes[I]->currentText());
    errno = 0;
    Note(SaveComboHistory(Items, Text, Names[I], I == 0));
    SetItems(Boxes[I], Items);
  }
  SettingsError_ = Error;
  return Error == 0;
}

void TMain::SetLanguage(int32_t Index) {
  try {
    ::SetLanguage(Langs_, LanguageFiles_, LanguagesLoadedAt_, Index,
                  [](const std::string& Line) { Log(Line); });
  } catch (const std::exception& E) {
    Log(E.what());
  }
}

void TMain::LanguageChanged() {
  FillLogicBox();
  SetCtrlShortcutPrefix(CtrlShortcutPrefix(Langs_.GetLanguageName(std::max(0, Langs_.GetLanguageIndex()))));
  HelpChecked_ = false;
  Commands_->LocalizeActions();
  for (QAction* Action : MLanguage_->actions())
    if (Action->objectName() == QStringLiteral("ml%1").arg(Langs_.GetLanguageIndex()))
      Action->setChecked(true);
  // The texts made from the catalogue are made again: the status line's and the previews' status bars.
  if (StatusMessage_) SetStatusMessage(StatusMessage_, StatusPeriod_);
  for (TPreview* W : PreviewWindows()) W->LanguageChanged();
  ReshowMessageDlg();
}

void TMain::ResListHeaderClick(int Column) {
  if (Column < 0 || Column > 3) return;
  std::u16string Focused;
  QModelIndex Current = ResultView_->currentIndex();
  if (Current.isValid() && Current.row() < Results().Count()) Focused = Results().GetFullName(Current.row());
  SortColumn = NextSortColumn(SortColumn, Column);
  bool Ascending = SortColumn > 0;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  SortSearchResults(Results(), Column, Ascending);
  Model_->Reset();
  QApplication::restoreOverrideCursor();
  ResultView_->header()->setSortIndicatorShown(true);
  ResultView_->header()->setSortIndicator(Column, Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  if (!Focused.empty()) {
    int32_t Row = Results().IndexOf(Focused);
    if (Row >= 0) {
      QModelIndex Index = Model_->index(Row, 0);
      ResultView_->setCurrentIndex(Index);
      ResultView_->scrollTo(Index);
    }
  }
}

// ---- ISearchHost ----

void TMain::ProcessMessages() { QCoreApplication::processEvents(); }

void TMain::WaitUntil(const std::function<bool()>& Done) {
  QEventLoop Loop;
  QTimer Check;
  connect(&Check, &QTimer::timeout, &Loop, [&] {
    if (Done()) Loop.quit();
  });
  Check.start(20);
  if (!Done()) Loop.exec();
}

uint32_t TMain::TickCount() { return static_cast<uint32_t>(Clock_->elapsed()); }

void TMain::RefreshRowCount() {
  Model_->Refresh();
  UpdatePreviewPrintActions();
}

void TMain::ClearSortMark() {
  if (SortColumn == -1) return;
  SortColumn = -1;
  ResultView_->header()->setSortIndicatorShown(false);
}

void TMain::FocusBox(TSearchBox Box) {
  QComboBox* Target = Box == sbPattern ? Pattern_
                      : Box == sbPaths ? Paths_
                      : Box == sbMasks ? Masks_
                                       : nullptr;
  if (Target) Target->setFocus();
}

void TMain::StateChanged() {
  if (Run_->Busy && !Run_->Paused)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  UpdateControls();
  // The animation shows while a search runs and stands still while it is paused (over the Start
  // button it hides then).
  BusyAnimation_.Paused = Run_->Paused;
  BusyAnimation_.HasStartButton = Commands_->ToolButtonByTag(maSearchStart) != nullptr;
  BusyAnimation_.ShowBusyAnimation(Run_->Busy);
  SetAnimationRunning();
}

void TMain::PostUserInterrupt() {
  QTimer::singleShot(0, this, [] { Log(TSearchRun::UserInterruptLine(NowDateTime())); });
}

TPasswordAnswer TMain::AskPassword(const std::string& ItemName, const std::string& ArcName) {
  TPasswordAnswer Answer;
  TEnterPassword Dialog(this);
  Localize(Dialog.LangForm());
  int32_t Mode = Run_->PasswordAskMode;
  std::u16string Password;
  Answer.Ok = Dialog.Execute(Utf8ToUtf16(ItemName), Utf8ToUtf16(ArcName), Mode, Password);
  Answer.Password = Utf16ToUtf8(Password);
  Answer.AskMode = static_cast<uint8_t>(std::clamp(Mode, 0, 2));
  return Answer;
}
