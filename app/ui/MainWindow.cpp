#include "app/ui/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
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
#include <QUrl>
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
    : Settings(ProgramSettings()),
      ProgramDir(IncludeTrailingBackslash(Dir)),
      Langs(&Screen),
      Clock(std::make_unique<QElapsedTimer>()) {
  Clock->start();
  setObjectName(QStringLiteral("Main"));
  LangForm = std::make_unique<TQtLangForm>(this, "TMain");
  Screen.Forms.push_back(LangForm.get());
  Run = std::make_unique<TSearchRun>(Scanner, *this, Settings);
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
  Scanner.Converters = nullptr;
  Converters.reset();
  // The widgets go after the members: the list must not ask the result table for rows meanwhile.
  qApp->removeEventFilter(this);
  ResultView->setModel(nullptr);
}

void TMain::BuildWindow() {
  setWindowTitle(QString::fromUtf8(kApplicationTitle));
  resize(860, 560);

  // ---- The search panel ----
  auto* Panel = new QWidget;
  Panel->setObjectName(QStringLiteral("SearchPanel"));
  auto* Layout = new QVBoxLayout(Panel);

  auto* WhatBox = WhatGroup = new QGroupBox(QStringLiteral("What to find"));
  WhatBox->setObjectName(QStringLiteral("WhatGroup"));
  auto* What = new QVBoxLayout(WhatBox);
  Pattern = MakeHistoryCombo("PatternCombo");
  What->addWidget(Pattern);
  auto* ModeRow = new QHBoxLayout;
  ExactRadio = new QRadioButton(QStringLiteral("E&xact"));
  ExactRadio->setObjectName(QStringLiteral("ExactRadio"));
  FuzzyRadio = new QRadioButton(QStringLiteral("&Fuzzy"));
  FuzzyRadio->setObjectName(QStringLiteral("FuzzyRadio"));
  ExactRadio->setChecked(true);
  LogicBox = new QComboBox;
  LogicBox->setObjectName(QStringLiteral("LogicBox"));
  ModeRow->addWidget(ExactRadio);
  ModeRow->addWidget(FuzzyRadio);
  ModeRow->addWidget(LogicBox, 1);
  What->addLayout(ModeRow);
  CaseSensCheck = MakeCheck("CaseSensCheck", "&Case sensitive");
  WholeWordsCheck = MakeCheck("WholeWordsCheck", "W&hole words");
  What->addWidget(CaseSensCheck);
  What->addWidget(WholeWordsCheck);
  InResultsCheck = MakeCheck("InResultsCheck", "Search in res&ults");
  What->addWidget(InResultsCheck);
  Layout->addWidget(WhatBox);

  auto* WhereBox = new QGroupBox(QStringLiteral("Where to find"));
  WhereBox->setObjectName(QStringLiteral("WhereGroup"));
  auto* Where = new QVBoxLayout(WhereBox);
  auto* PathRow = new QHBoxLayout;
  Paths = MakeHistoryCombo("PathCombo");
  BrowseBtn = new QPushButton(QStringLiteral("Bro&wse..."));
  BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
  PathRow->addWidget(Paths, 1);
  PathRow->addWidget(BrowseBtn);
  Where->addLayout(PathRow);
  auto* MaskLabel = new QLabel(QStringLiteral("File &types:"));
  MaskLabel->setObjectName(QStringLiteral("MaskLabel"));
  Masks = MakeHistoryCombo("MaskCombo");
  MaskLabel->setBuddy(Masks);
  SelectBtn = new QPushButton(QStringLiteral("S&elect..."));
  SelectBtn->setObjectName(QStringLiteral("SelExtBtn"));
  auto* MaskRow = new QHBoxLayout;
  MaskRow->addWidget(Masks, 1);
  MaskRow->addWidget(SelectBtn);
  Where->addWidget(MaskLabel);
  Where->addLayout(MaskRow);
  SubdirsCheck = MakeCheck("SubdirsCheck", "Su&bdirectories");
  FilesCheck = MakeCheck("FilesCheck", "Pl&ain files");
  ArchivesCheck = MakeCheck("ArchivesCheck", "A&rchives");
  auto* KindRow = new QHBoxLayout;
  KindRow->addWidget(FilesCheck);
  KindRow->addWidget(ArchivesCheck);
  Where->addWidget(SubdirsCheck);
  Where->addLayout(KindRow);
  Layout->addWidget(WhereBox);

  auto* HowBox = new QGroupBox(QStringLiteral("Options"));
  HowBox->setObjectName(QStringLiteral("OptionsGroup"));
  auto* How = new QVBoxLayout(HowBox);
  DirectScanCheck = MakeCheck("DirectScanCheck", "&Direct scan");
  ConvToTextCheck = MakeCheck("ConvToTextCheck", "Co&nvert to text (slower)");
  AnsiCheck = MakeCheck("AnsiCheck", "ANSI");
  OemCheck = MakeCheck("OemCheck", "OEM");
  UnicodeCheck = MakeCheck("UnicodeCheck", "Unicode");
  SkipBinaryCheck = MakeCheck("SkipBinaryCheck", "S&kip non-text files");
  How->addWidget(DirectScanCheck);
  auto* CharsetRow = new QHBoxLayout;
  CharsetRow->addWidget(AnsiCheck);
  CharsetRow->addWidget(OemCheck);
  CharsetRow->addWidget(UnicodeCheck);
  How->addLayout(CharsetRow);
  FiltersBtn = new QPushButton(QStringLiteral("Fi&lters..."));
  FiltersBtn->setObjectName(QStringLiteral("FiltersBtn"));
  auto* ConvertRow = new QHBoxLayout;
  ConvertRow->addWidget(ConvToTextCheck, 1);
  ConvertRow->addWidget(FiltersBtn);
  How->addLayout(ConvertRow);
  How->addWidget(SkipBinaryCheck);
  Layout->addWidget(HowBox);

  FilterBox = new QGroupBox(QStringLiteral("Filter files by date and size"));
  FilterBox->setObjectName(QStringLiteral("FilterBox"));
  FilterBox->setCheckable(true);
  FilterBox->setChecked(false);
  auto* Filter = new QFormLayout(FilterBox);
  DateCheck = MakeCheck("DateCheck", "Date");
  DateFromEdit = new QDateEdit;
  DateToEdit = new QDateEdit;
  for (QDateEdit* Edit : {DateFromEdit, DateToEdit}) {
    Edit->setCalendarPopup(true);
    Edit->setMinimumDate(kDateOrigin);
    Edit->setSpecialValueText(QStringLiteral(" "));  // the open bound shows empty
    Edit->setDate(kDateOrigin);
  }
  DateFromEdit->setObjectName(QStringLiteral("DateFromEdit"));
  DateToEdit->setObjectName(QStringLiteral("DateToEdit"));
  auto* DateRow = new QHBoxLayout;
  DateRow->addWidget(DateFromEdit);
  DateRow->addWidget(DateToEdit);
  Filter->addRow(DateCheck, DateRow);
  SizeCheck = MakeCheck("SizeCheck", "File size");
  SizeFromEdit = new QLineEdit;
  SizeFromEdit->setObjectName(QStringLiteral("SizeFromEdit"));
  SizeToEdit = new QLineEdit;
  SizeToEdit->setObjectName(QStringLiteral("SizeToEdit"));
  SizeUnits = new QComboBox;
  SizeUnits->setObjectName(QStringLiteral("SizeUnitsBox"));
  SizeUnits->addItems({QStringLiteral("bytes"), QStringLiteral("Kbytes"), QStringLiteral("Mbytes")});
  auto* SizeRow = new QHBoxLayout;
  SizeRow->addWidget(SizeFromEdit);
  SizeRow->addWidget(SizeToEdit);
  SizeRow->addWidget(SizeUnits);
  Filter->addRow(SizeCheck, SizeRow);
  Layout->addWidget(FilterBox);

  auto* Buttons = new QHBoxLayout;
  StartBtn = new QPushButton(QStringLiteral("Start"));
  StartBtn->setObjectName(QStringLiteral("StartBtn"));
  StartBtn->setDefault(true);
  StopBtn = new QPushButton(QStringLiteral("Stop"));
  StopBtn->setObjectName(QStringLiteral("StopBtn"));
  PauseBtn = new QPushButton(QStringLiteral("Pause"));
  PauseBtn->setObjectName(QStringLiteral("PauseBtn"));
  PauseBtn->setCheckable(true);
  Buttons->addWidget(StartBtn);
  Buttons->addWidget(StopBtn);
  Buttons->addWidget(PauseBtn);
  Layout->addLayout(Buttons);
  Layout->addStretch(1);

  SearchPanel = new QScrollArea;
  SearchPanel->setObjectName(QStringLiteral("SearchScroll"));
  SearchPanel->setWidget(Panel);
  SearchPanel->setWidgetResizable(true);

  // The search side: "<<" folds the panel to a narrow strip holding ">>", which unfolds it.
  SearchSide = new QWidget;
  SearchSide->setObjectName(QStringLiteral("SearchSide"));
  SearchSide->setMinimumWidth(kSearchPanelWidth);
  SearchSide->setAutoFillBackground(true);
  auto* Side = new QVBoxLayout(SearchSide);
  Side->setContentsMargins(0, 0, 0, 0);
  Side->setSpacing(0);
  CollapseBtn = new QToolButton;
  CollapseBtn->setObjectName(QStringLiteral("CollapseBtn"));
  CollapseBtn->setText(QStringLiteral("<<"));
  CollapseBtn->setAutoRaise(true);
  ExpandBtn = new QToolButton;
  ExpandBtn->setObjectName(QStringLiteral("ExpandBtn"));
  ExpandBtn->setText(QStringLiteral(">>"));
  ExpandBtn->setAutoRaise(true);
  ExpandBtn->hide();
  auto* SideTop = new QHBoxLayout;
  SideTop->addWidget(ExpandBtn);
  SideTop->addStretch(1);
  SideTop->addWidget(CollapseBtn);
  Side->addLayout(SideTop);
  Side->addWidget(SearchPanel, 1);
  Side->addStretch(0);  // keeps ">>" at the top of the folded strip
  connect(CollapseBtn, &QToolButton::clicked, this, [this] { SetSearchPanelCollapsed(true); });
  connect(ExpandBtn, &QToolButton::clicked, this, [this] { SetSearchPanelCollapsed(false); });
  SearchSide->installEventFilter(this);
  WhatBox->installEventFilter(this);

  // ---- The results list ----
  ResultView = new QTreeView;
  ResultView->setObjectName(QStringLiteral("ResList"));
  Model = new TResListModel([this]() -> TSearchResults& { return Run->Results(); }, this);
  ResultView->setModel(Model);
  ResultView->setRootIsDecorated(false);
  ResultView->setUniformRowHeights(true);
  ResultView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ResultView->setSelectionBehavior(QAbstractItemView::SelectRows);
  ResultView->setDragEnabled(true);
  ResultView->setDragDropMode(QAbstractItemView::DragOnly);
  ResultView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ResultView, &QWidget::customContextMenuRequested, this, &TMain::ResListContextMenu);
  ResultView->header()->setSectionsMovable(true);
  ResultView->header()->setSectionsClickable(true);
  ResultView->header()->setMinimumSectionSize(50);
  const int Widths[4] = {108, 140, 60, 84};
  for (int I = 0; I < 4; ++I) ResultView->header()->resizeSection(I, Widths[I]);
  connect(ResultView->header(), &QHeaderView::sectionClicked, this, &TMain::ResListHeaderClick);
  // A double click or Enter on a row previews it.
  connect(ResultView, &QTreeView::doubleClicked, this, [this](const QModelIndex&) { PreviewExec(); });
  ResultView->installEventFilter(this);
  connect(ResultView->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this] { UpdatePreviewPrintActions(); });
  connect(ResultView->header(), &QHeaderView::sectionDoubleClicked, this,
          [this](int Section) { ResultView->resizeColumnToContents(Section); });

  Splitter = new QSplitter;
  Splitter->setObjectName(QStringLiteral("Splitter"));
  Splitter->addWidget(SearchSide);
  Splitter->addWidget(ResultView);
  Splitter->setStretchFactor(1, 1);
  Splitter->setChildrenCollapsible(false);
  connect(Splitter, &QSplitter::splitterMoved, this, [this](int, int) {
    if (SearchCollapsed) return;
    int Wanted = ClampSplitter(width() - Splitter->handleWidth() - 8, kSearchPanelWidth, kResultsReserve,
                               SearchSide->width());
    if (Wanted != SearchSide->width()) Splitter->setSizes({Wanted, width() - Wanted});
  });
  setCentralWidget(Splitter);

  StatusBar = new TWideStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->AddPanel({u"", 0, 0, 0});
  StatusBar->AddPanel({u"", 50, 0, 1});
  setStatusBar(StatusBar);
  // Panel 0 holds the status-bar animation; the other one lies over the toolbar's Start button.
  StatusAnim = new TBusyIndicator(StatusBar->PanelLabel(0));
  StatusAnim->setObjectName(QStringLiteral("StatusBarAnimation"));
  StatusAnim->hide();

  BuildMenus();

  // Escape during a search asks whether to stop it, whichever control has the focus.
  auto* Escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(Escape, &QShortcut::activated, this, [this] {
    if (Run->Busy) Run->AskStop();
  });
  connect(StartBtn, &QPushButton::clicked, this, [this] { SearchStartExec(); });
  connect(StopBtn, &QPushButton::clicked, this, [this] { SearchStopExec(); });
  connect(PauseBtn, &QPushButton::clicked, this, [this] {
    // The click only asks; the pause runs its waiting loop after the click has been handled.
    QTimer::singleShot(0, this, [this] { SearchPauseExec(); });
  });
  connect(BrowseBtn, &QPushButton::clicked, this, &TMain::BrowsePathsExec);
  connect(SelectBtn, &QPushButton::clicked, this, &TMain::SelectFileTypesExec);
  connect(FiltersBtn, &QPushButton::clicked, this, &TMain::EditFiltersExec);
  connect(ExactRadio, &QRadioButton::toggled, this, [this](bool) { FillLogicBox(); });
  connect(DirectScanCheck, &QCheckBox::clicked, this, [this](bool On) {
    if (!On && !ConvToTextCheck->isChecked()) ConvToTextCheck->setChecked(true);
    UpdateControls();
  });
  connect(ConvToTextCheck, &QCheckBox::clicked, this, [this](bool On) {
    if (!On && !DirectScanCheck->isChecked()) DirectScanCheck->setChecked(true);
    UpdateControls();
  });
  connect(FilesCheck, &QCheckBox::clicked, this, [this](bool On) {
    bool Files = On, Archives = ArchivesCheck->isChecked();
    ClickFilesArchives(true, Files, Archives);
    SetFilesArchives(Files, Archives);
  });
  connect(ArchivesCheck, &QCheckBox::clicked, this, [this](bool On) {
    bool Files = FilesCheck->isChecked(), Archives = On;
    ClickFilesArchives(false, Files, Archives);
    SetFilesArchives(Files, Archives);
  });
  connect(InResultsCheck, &QCheckBox::toggled, this, [this](bool) { UpdateControls(); });
  for (QCheckBox* Check : {DateCheck, SizeCheck})
    connect(Check, &QCheckBox::toggled, this, [this] { UpdateControls(); });
  connect(FilterBox, &QGroupBox::toggled, this, [this] { UpdateControls(); });
  connect(Paths->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { Paths->setEditText(Q(ParsePathList(U(Paths->currentText())))); });
  connect(Masks->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { Masks->setEditText(Q(NormalizeMasks(U(Masks->currentText())))); });
  for (QLineEdit* Edit : {SizeFromEdit, SizeToEdit})
    connect(Edit, &QLineEdit::editingFinished, this,
            [Edit] { Edit->setText(Q(NormalizeSizeEditText(U(Edit->text())))); });
}

void TMain::BuildMenus() {
  // The eleven commands (Start ... Exit) belong to the commands layer; the menus and the toolbar show
  // its actions.
  Commands = new TMainActions(this);
  Commands->State = [this] { return CommandState(); };
  auto Act = [this](int32_t Index) { return Commands->ActionByIndex(Index); };
  auto MakeAction = [this](const char* Name, const char* Caption, auto Handler) {
    auto* Action = new QAction(QString::fromUtf8(Caption), this);
    Action->setObjectName(QString::fromUtf8(Name));
    connect(Action, &QAction::triggered, this, Handler);
    return Action;
  };
  mClear = MakeAction("mClear", "Clear Search Results", [this] {
    ClearResults();
    InResultsCheck->setChecked(false);
    SetStatusText(u"", false);
  });

  auto* File = menuBar()->addMenu(QStringLiteral("&File"));
  File->setObjectName(QStringLiteral("mFile"));
  File->addAction(Act(maPreview));
  File->addAction(Act(maPrint));
  File->addSeparator();
  File->addAction(Act(maExit));
  auto* Search = menuBar()->addMenu(QStringLiteral("&Search"));
  Search->setObjectName(QStringLiteral("mSearch"));
  Search->addAction(Act(maSearchStart));
  Search->addAction(Act(maSearchStop));
  Search->addAction(Act(maSearchPause));
  Search->addSeparator();
  Search->addAction(mClear);
  auto* View = mView = menuBar()->addMenu(QStringLiteral("&View"));
  View->setObjectName(QStringLiteral("mView"));
  mStatusBar = MakeAction("mStatusBar", "Status &Bar", [this](bool On) {
    Settings.ViewOptions.StatusBar = On;
    StatusBar->setVisible(On);
  });
  mStatusBar->setCheckable(true);
  mEnableLog =
      MakeAction("mEnableLog", "Enable Log Window", [this](bool On) { Settings.ViewOptions.LogWindow = On; });
  mEnableLog->setCheckable(true);
  View->addAction(mStatusBar);
  View->addAction(mEnableLog);
  View->addAction(Act(maShowLog));
  mLanguage = View->addMenu(QStringLiteral("Interface Language"));
  mLanguage->setObjectName(QStringLiteral("mLanguage"));
  View->addAction(Act(maOptions));
  // The open preview windows follow this separator, the newest first.
  PreviewSeparator = View->addSeparator();
  PreviewSeparator->setObjectName(QStringLiteral("PreviewSeparator"));
  PreviewMenu = std::make_unique<TPreviewMenu>(View, PreviewSeparator);
  auto* Help = menuBar()->addMenu(QStringLiteral("&Help"));
  Help->setObjectName(QStringLiteral("mHelp"));
  Help->addAction(Act(maHelp));
  auto* About = MakeAction("mAbout", "About", [this] { AboutExec(); });
  Help->addAction(About);
  connect(View, &QMenu::aboutToShow, this, [this] {
    mStatusBar->setChecked(Settings.ViewOptions.StatusBar);
    mEnableLog->setChecked(Settings.ViewOptions.LogWindow);
  });
  connect(Search, &QMenu::aboutToShow, this, [this, Act] {
    mClear->setEnabled(!Run->Busy);
    // The Start item names its key, F3, which the application hook handles.
    QAction* Start = Act(maSearchStart);
    Start->setText(Q(SearchMenuStartCaption(U(Start->text()))));
  });
}

void TMain::InstallCommands() {
  auto& H = Commands->Handlers;
  // In the dialog style the search dialog asks first; a paused search just goes on.
  H[maSearchStart] = [this] {
    if (Settings.ViewOptions.InterfaceStyle == 1 && !Run->Paused)
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
  Commands->ResultsFocused = [this] { return ResultView->hasFocus(); };
  Commands->FocusedRow = [this](bool& InArchive) {
    QModelIndex Current = ResultView->currentIndex();
    if (!Current.isValid() || Current.row() >= Results().Count()) return false;
    TFoundFileInfo Info;
    Results().GetInfo(Current.row(), Info);
    InArchive = Info.InArchive;
    return true;
  };
  Commands->LanguageCount = [this] { return Langs.GetLanguageCount(); };
  Commands->SelectLanguage = [this](int32_t Language) { SetLanguage(Language); };
  Commands->OnToolbarDoubleClick = [this] { OptionsExec(kToolbarOptionsPage); };
  Commands->OnFillFromHistory = [this] { FillFromHistory(); };
  Commands->InstallHook();
  // Enter on the results list previews (see eventFilter); this filter comes after the hook, so it runs first.
  qApp->installEventFilter(this);
  Commands->BuildToolbar(Run->Paused, FilesCheck->isChecked(), ArchivesCheck->isChecked());
  Commands->LocalizeActions();
  ToolbarAnim = new TBusyIndicator(Commands->ToolBar());
  ToolbarAnim->setObjectName(QStringLiteral("ToolbarAnimation"));
  ToolbarAnim->hide();
  BusyAnimation.Mode = static_cast<uint8_t>(std::min<int>(Settings.ViewOptions.Animation, 2));
}

void TMain::SetAnimationMode(int32_t Mode) {
  Settings.ViewOptions.Animation = static_cast<uint8_t>(std::clamp(Mode, 0, 2));
  BusyAnimation.HasStartButton = Commands->ToolButtonByTag(maSearchStart) != nullptr;
  BusyAnimation.SetAnimationMode(Settings.ViewOptions.Animation);
  ApplyAnimation();
}

void TMain::ApplyAnimation() {
  if (!ToolbarAnim || !StatusAnim) return;
  const TAnimationPlace Place = BusyAnimation.Place();
  QToolButton* Start = Commands->ToolButtonByTag(maSearchStart);
  if (Place == apStartButton && Start) {
    ToolbarAnim->setGeometry(Start->geometry());
    ToolbarAnim->show();
    ToolbarAnim->raise();
  } else {
    ToolbarAnim->hide();
  }
  // The status bar's first panel is 16 pixels wide while it shows the animation.
  constexpr int kStatusAnimationWidth = 16;
  if (Place == apStatusBar) {
    StatusBar->SetPanelWidth(0, kStatusAnimationWidth);
    StatusAnim->setGeometry(0, 0, kStatusAnimationWidth,
                            std::max(kStatusAnimationWidth, StatusBar->PanelLabel(0)->height()));
    StatusAnim->show();
    StatusAnim->raise();
  } else {
    StatusAnim->hide();
    StatusBar->SetPanelWidth(0, 0);
  }
  ToolbarAnim->SetRunning(BusyAnimation.Playing() && Place == apStartButton);
  StatusAnim->SetRunning(BusyAnimation.Playing() && Place == apStatusBar);
}

void TMain::LoadHistories() {
  TWideStringList Items;
  const std::string Names[3] = {"Pattern", "Paths", "Masks"};
  QComboBox* Boxes[3] = {Pattern, Paths, Masks};
  for (int I = 0; I < 3; ++I) {
    LoadComboHistory(Items, U(Boxes[I]->currentText()), Names[I]);
    SetItems(Boxes[I], Items);
  }
}

TMainState TMain::CommandState() const {
  TMainState S;
  S.Busy = Run->Busy;
  S.RowFocused = ResultView->currentIndex().isValid();
  S.TableEmpty = Run->Results().Count() == 0;
  S.ConvertersLoaded = Converters && Converters->Count() > 0;
  S.SearchInResults = InResultsCheck->isChecked();
  S.DirectScan = DirectScanCheck->isChecked();
  S.DateFilter = DateCheck->isChecked();
  S.SizeFilter = SizeCheck->isChecked();
  S.PreviewPending = PendingPreview.PreviewPending;
  return S;
}

void TMain::ExitExec() {
  Run->StopRequested = true;
  close();
}

void TMain::Localize(TQtLangForm& Form) {
  Langs.CaptureForm(0, Form);
  Langs.TranslateForm(Form);
}

void TMain::OptionsExec(int32_t Page) {
  TPreferencesHooks Hooks;
  int32_t AskMode = Run->PasswordAskMode;
  Hooks.PasswordAskMode = &AskMode;
  Hooks.Languages = &Langs;
  Hooks.ApplyMainFont = [this] { ApplyMainFont(); };
  Hooks.SetInterfaceStyle = [this](int32_t Style) { SetInterfaceStyle(Style); };
  Hooks.SetAnimationMode = [this](int32_t Mode) { SetAnimationMode(Mode); };
  Hooks.LoadHistories = [this] { LoadHistories(); };
  Hooks.BuildToolbar = [this](bool Recreate) {
    if (Recreate)
      Commands->BuildToolbar(Run->Paused, FilesCheck->isChecked(), ArchivesCheck->isChecked());
    else
      Commands->LocalizeActions();
  };
  Hooks.ActionIcon = [this](int32_t Action) {
    QAction* A = Commands->ActionByIndex(Action);
    return A ? A->icon() : QIcon();
  };
  Hooks.BrowseForFolder = [this](const std::u16string& Title) {
    return U(QFileDialog::getExistingDirectory(this, Q(Title)));
  };
  TPreferences Dialog(std::move(Hooks), this);
  Localize(Dialog.LangForm());
  Dialog.Execute(Page);
  Run->PasswordAskMode = static_cast<uint8_t>(std::clamp(AskMode, 0, 2));
}

void TMain::HelpExec() {
  std::u16string File = ChooseHelpFile(
      HelpChecked, Utf8ToUtf16(ProgramDir), [](const std::u16string& Name) { return WideFileExists(Name); },
      [](const std::u16string& Text) { MsgDlgText(Text, mtWarning, mbOK); });
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(Q(File))))
    ShowErrorText(FormatMsgW(TMsgIndex::ExecuteError_s, {File}));
}

void TMain::AboutExec() {
  TAbout Dialog(this);
  Localize(Dialog.LangForm());
  // The system report names the converters this window loaded.
  Dialog.Sources = [this] {
    const QScreen* Screen = QGuiApplication::primaryScreen();
    return CollectSysInfoSources(Converters.get(), Screen != nullptr ? Screen->depth() : 0);
  };
  Dialog.exec();
}

void TMain::BrowsePathsExec() {
  if (Run->Busy) return;
  TSelectPaths Dialog(this);
  Localize(Dialog.LangForm());
  std::u16string Text = U(Paths->currentText());
  if (!Dialog.Execute(Text)) return;
  Paths->setEditText(Q(Text));
  SubdirsCheck->setChecked(Settings.FileOptions.Subdirectories);
}

void TMain::SelectFileTypesExec() {
  if (Run->Busy) return;
  SplitQuotedList(Settings.SearchMasks, U(Masks->currentText()));
  TSelectFileTypes Dialog(this);
  Localize(Dialog.LangForm());
  if (Dialog.Execute(Settings.SearchMasks)) Masks->setEditText(Q(JoinQuotedList(Settings.SearchMasks)));
}

void TMain::EditFiltersExec() {
  if (Run->Busy || !Converters) return;
  TEditFilters Dialog(*Converters, this);
  Localize(Dialog.LangForm());
  Dialog.Execute();
}

void TMain::SearchDialogExec() {
  TSearchFormState State;
  State.Fields = Fields();
  for (QComboBox* Box : {Pattern, Paths, Masks}) {
    QStringList& Items = Box == Pattern ? State.PatternItems
                         : Box == Paths ? State.PathItems
                                        : State.MaskItems;
    for (int I = 0; I < Box->count(); ++I) Items << Box->itemText(I);
  }
  State.SearchInResultsEnabled = InResultsCheck->isEnabled();
  State.ConvertEnabled = Converters && Converters->Count() > 0;
  TSearch Dialog(this);
  Localize(Dialog.LangForm());
  Dialog.BrowsePaths = [this](std::u16string& Text, bool& Subdirectories) {
    TSelectPaths Paths(this);
    Localize(Paths.LangForm());
    if (!Paths.Execute(Text)) return false;
    Subdirectories = Settings.FileOptions.Subdirectories;
    return true;
  };
  Dialog.SelectTypes = [this](std::u16string& Text) {
    SplitQuotedList(Settings.SearchMasks, Text);
    TSelectFileTypes Types(this);
    Localize(Types.LangForm());
    if (!Types.Execute(Settings.SearchMasks)) return false;
    Text = JoinQuotedList(Settings.SearchMasks);
    return true;
  };
  Dialog.EditFilters = [this] { EditFiltersExec(); };
  if (!Dialog.Execute(State)) return;
  // The window keeps what the dialog searched with, so the next showing starts from it.
  ShowAllFields(State.Fields);
  ShowFields(State.Fields);
  State.Fields.CheckedByDialog = true;
  Run->SearchStartExec(State.Fields);
}

void TMain::ResListContextMenu(const QPoint& Pos) {
  QModelIndex Index = ResultView->indexAt(Pos);
  if (!Index.isValid()) Index = ResultView->currentIndex();
  if (!Index.isValid() || Index.row() >= Results().Count()) return;
  ResultView->setCurrentIndex(Index);
  TFoundFileInfo Info;
  Results().GetInfo(Index.row(), Info);
  TResultMenuHooks Hooks;
  Hooks.Preview = [this] { Commands->ActionByIndex(maPreview)->trigger(); };
  std::string Summarizer;
  Hooks.SummarizerFound = FindSummarizer(Summarizer);
  Hooks.LaunchSummarizer = [this, Summarizer](const TFoundFileInfo& Found) {
    if (Converters)
      StartSummarizer(Summarizer, Found, Pattern->currentText().isEmpty(), ConvToTextCheck->isChecked(),
                      *Converters);
  };
  Hooks.ExtractPassword = [this](const std::string& ArcName, const std::string& ItemName,
                                 std::string& Password) {
    TPasswordAnswer Answer = AskPassword(ItemName, ArcName);
    Password = Answer.Password;
    return Answer.Ok;
  };
  // A right click shows the menu at the mouse; the menu key at the focused row.
  QPoint At = Pos;
  if (!ResultView->viewport()->rect().contains(At)) At = ResultView->visualRect(Index).bottomLeft();
  ShowResultMenu(this, ResultView->viewport()->mapToGlobal(At), Info, Hooks);
}

void TMain::FormCreate(const TMainCommandLine& CommandLine) {
  DebugMode = CommandLine.DebugMode;
  Run->DebugMode = CommandLine.DebugMode;
  Run->TimeMode = CommandLine.TimeMode;
  MemoryMode = CommandLine.MemoryMode;
  if (CommandLine.LogToFile) OpenLogFile(Utf16ToUtf8(LogFileNameFor(CommandLine.ProgramPath)));

  Scanner.Archives = &ArchiveWalk;
  Scanner.NormalizeMaskList = [](TWideStrLst& List) { NormalizeMaskList(List); };
  Scanner.MatchMask = [](const std::string& Name, const std::string& Mask) {
    return MatchesMask(Name, Mask, true);
  };

  SetScreenFontCheck([](const std::string& Name) { return !FirstInstalledFont({Name}).empty(); });
  SetDefaultOptions();
  bool Loaded = false;
  try {
    Langs.AddLanguage("English", 1);
    Langs.OnChange = [this] { LanguageChanged(); };
    Loaded = LoadOptions();
    PrepareExcludedDirs(Settings.ExcludedDirs, !Loaded, WideGetTempDir());
    LoadLanguages(Langs, Utf8ToUtf16(ProgramDir), kLanguageFileMask, LanguageFiles, LangMenu);
    LanguagesLoadedAt = NowDateTime();
    Langs.CaptureForm(0, *LangForm);
    if (!Loaded) {
      int32_t Index = LanguageIndexForLCID(Langs, GetSystemDefaultLCID());
      if (Index >= 0) Settings.ViewOptions.LanguageIndex = static_cast<uint8_t>(Index);
    }
    SetMsgLanguages(&Langs);
    if (Settings.ViewOptions.LanguageIndex < Langs.GetLanguageCount())
      Langs.SetLanguageIndex(Settings.ViewOptions.LanguageIndex);
  } catch (const std::exception& E) {
    try {
      Log(StartupErrorLine(static_cast<int32_t>(TMsgIndex::ErrLoadOpt_s), E.what()));
    } catch (...) {
    }
  }
  // The language menu: one radio item per language, each selecting the language it shows.
  auto* Group = new QActionGroup(this);
  for (const TLanguageMenuItem& Item : LangMenu.Items) {
    auto* Action = mLanguage->addAction(Q(Item.Caption));
    Action->setObjectName(QString::fromStdString(Item.Name));
    Action->setCheckable(true);
    Action->setActionGroup(Group);
    if (Item.HotKey > 0)
      Action->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | (Qt::Key_F1 + Item.HotKey - 1)));
    int32_t Language = Item.LanguageIndex;
    connect(Action, &QAction::triggered, this, [this, Language] { SetLanguage(Language); });
  }
  mLanguage->setEnabled(LangMenu.Enabled);

  try {
    Converters = std::make_unique<TQVConverters>();
    Scanner.Converters = Converters.get();
    Run->Converters = Converters.get();
    LoadStartupConverters(*Converters, ReadSharedFilesDir(), ProgramDir, Settings.DisabledConverters);
  } catch (const std::exception& E) {
    Log(StartupErrorLine(static_cast<int32_t>(TMsgIndex::ErrLoadConv_s), E.what()));
  }
  if (DebugMode) LogArchiveLibraries();
  Run->BindScanner();
  InstallPreviews();
  LogDisabledArchiveKinds();

  // Placement: the saved rectangle, fitted onto the screen.
  if (Settings.ViewOptions.MainRect.Right > 0) {
    TRect32 Rect = Settings.ViewOptions.MainRect;
    QRect Screen =
        QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry() : QRect();
    if (Screen.isValid()) {
      FitRectToScreen(Rect, Screen.width(), Screen.height());
      setGeometry(Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top);
    }
    if (Settings.ViewOptions.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
  }
  ControlsFromSettings();
  ApplyMainFont();
  StatusBar->setVisible(Settings.ViewOptions.StatusBar);
  ApplyCommandLine(CommandLine);
  SetInterfaceStyle(Settings.ViewOptions.InterfaceStyle);
  InstallCommands();
  UpdateControls();
  if (MemoryMode) {
    // When the program is idle, the memory figure follows what is allocated now.
    auto* Idle = new QTimer(this);
    connect(Idle, &QTimer::timeout, this, [this] {
      if (AllocatedMemory() != LastAllocMemSize) SetStatusText(Status, false);
    });
    Idle->start(500);
  }
}

void TMain::ApplyMainFont() {
  if (Settings.MainFont.Name.empty()) return;
  QFont Font(QString::fromStdString(Settings.MainFont.Name));
  // A negative height is the character height in pixels, a positive one the cell height.
  if (Settings.MainFont.Height != 0) Font.setPixelSize(std::abs(Settings.MainFont.Height));
  Font.setBold(Settings.MainFont.Style & fsBold);
  Font.setItalic(Settings.MainFont.Style & fsItalic);
  Font.setUnderline(Settings.MainFont.Style & fsUnderline);
  Font.setStrikeOut(Settings.MainFont.Style & fsStrikeOut);
  for (QWidget* W : std::initializer_list<QWidget*>{Pattern, Paths, Masks, ResultView}) W->setFont(Font);
}

void TMain::ApplyCommandLine(const TMainCommandLine& CommandLine) {
  // The pattern box starts with the option's text, empty without it, whatever the history holds.
  Pattern->setEditText(Q(CommandLine.Text));
  if (!CommandLine.Path.empty()) Paths->setEditText(Q(CommandLine.Path));
  if (!CommandLine.Mask.empty()) Masks->setEditText(Q(CommandLine.Mask));
}

void TMain::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  if (!FirstShow) return;
  FirstShow = false;
  // Log entries made during creation wait in the buffer until the log window can take them.
  LogWindowSink = [this](const std::string& Text, bool Show) { GetLogForm()->AddLine(Text, Show); };
  GetLogForm();
  FlushLogBuffer();
  for (QAction* Action : mLanguage->actions())
    if (Action->objectName() == QStringLiteral("ml%1").arg(Langs.GetLanguageIndex()))
      Action->setChecked(true);
  LoadHistories();
  // The first activation: empty boxes get the saved lists, and in the dialog style the search dialog
  // opens by itself. Both are posted, so they run once the window is up.
  Commands->PostAppMessage(MakeFillFromHistoryMessage());
  if (Settings.ViewOptions.InterfaceStyle == 1) Commands->PostAppMessage(MakeRunActionMessage(maSearchStart));
}

void TMain::FillFromHistory() {
  Paths->setEditText(Q(FillFromHistoryText(U(Paths->currentText()), Settings.SearchPaths)));
  Masks->setEditText(Q(FillFromHistoryText(U(Masks->currentText()), Settings.SearchMasks)));
}

TLog* TMain::GetLogForm() {
  if (!LogForm) {
    LogForm = new TLog(this);
    LogLangForm = std::make_unique<TQtLangForm>(LogForm.data(), "TLog");
    Screen.Forms.push_back(LogLangForm.get());
    Langs.CaptureForm(0, *LogLangForm);
    Langs.TranslateForm(*LogLangForm);
    QRect Main = geometry();
    LogForm->move(std::max(0, Main.right() - LogForm->width() - 12),
                  std::max(0, Main.bottom() - LogForm->height() - 32));
  }
  return LogForm;
}

void TMain::ShowLogExec() {
  TLog* Form = GetLogForm();
  Form->show();
  Form->raise();
}

void TMain::closeEvent(QCloseEvent* Event) {
  Run->StopRequested = true;
  // The previews close with the program (each stores its placement on the way).
  const std::vector<TPreview*> Open = PreviewWindows();
  for (TPreview* W : Open) delete W;
  CommitComboEdits();
  if (!WriteSettings()) {
    // The program closes all the same, but the user learns that this session's settings are gone.
    const std::string Text =
        FormatMsg(TMsgIndex::SettingsNotSaved_ss, {SettingsFolder(), std::strerror(SettingsError)});
    Log(Text);
    ShowErrorText(Utf8ToUtf16(Text));
  }
  CloseLogFile();
  Event->accept();
}

bool TMain::eventFilter(QObject* Watched, QEvent* Event) {
  // A click on the folded strip, or a double click on the "What to find" title, folds or unfolds.
  if (Watched == SearchSide && SearchCollapsed && Event->type() == QEvent::MouseButtonRelease) {
    SetSearchPanelCollapsed(false);
    return true;
  }
  if (Watched == WhatGroup && Event->type() == QEvent::MouseButtonDblClick) {
    SetSearchPanelCollapsed(!SearchCollapsed);
    return true;
  }
  // Enter on the results list previews the focused row instead of starting a search.
  if (Watched == ResultView && Event->type() == QEvent::KeyPress) {
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
  if (!Run->Paused && Run->Busy) return;
  TSearchFields F = Fields();
  Run->SearchStartExec(F);
}

void TMain::ClearResults() {
  Run->ClearResults();
  UpdateControls();
}

void TMain::SetStatusText(const std::u16string& Text, bool AddPeriod) {
  Status = AddPeriod ? WideAddPeriod(Text) : Text;
  if (MemoryMode) LastAllocMemSize = AllocatedMemory();
  StatusBar->SetPanelText(1, StatusLineText(Text, AddPeriod, MemoryMode, LastAllocMemSize));
  StatusBar->repaint();
}

void TMain::SaveSettings() { WriteSettings(); }

bool TMain::WriteSettings() {
  Settings.SearchOptions.CaseSensitive = CaseSensCheck->isChecked();
  Settings.SearchOptions.WholeWords = WholeWordsCheck->isChecked();
  Settings.SearchOptions.Fuzzy = FuzzyRadio->isChecked();
  Settings.SearchOptions.LogicIndex = static_cast<uint8_t>(std::max(0, LogicBox->currentIndex()));
  Settings.ScanOptions.DirectScan = DirectScanCheck->isChecked();
  // Without a converter the box is off because the program turned it off, not the user: the stored choice
  // stays, so conversion is on again at the first start that finds converters.
  if (Converters && Converters->Count() > 0)
    Settings.ScanOptions.ConvertToText = ConvToTextCheck->isChecked();
  Settings.ScanOptions.ANSI = AnsiCheck->isChecked();
  Settings.ScanOptions.OEM = OemCheck->isChecked();
  Settings.ScanOptions.Unicode = UnicodeCheck->isChecked();
  Settings.ScanOptions.SkipBinary = SkipBinaryCheck->isChecked();
  Settings.FileOptions.Subdirectories = SubdirsCheck->isChecked();
  Settings.FileOptions.PlainFiles = FilesCheck->isChecked();
  Settings.FileOptions.Archives = ArchivesCheck->isChecked();
  Settings.FileOptions.FilterOn = FilterBox->isChecked();
  Settings.FileOptions.DateFilterOn = DateCheck->isChecked();
  Settings.FileOptions.SizeFilterOn = SizeCheck->isChecked();
  Settings.FileOptions.DateFrom = DateOf(DateFromEdit);
  Settings.FileOptions.DateTo = DateOf(DateToEdit);
  Settings.FileOptions.SizeUnits = static_cast<uint8_t>(std::max(0, SizeUnits->currentIndex()));
  Settings.FileOptions.SizeFrom = SizeTextToBytes(U(SizeFromEdit->text()), Settings.FileOptions.SizeUnits);
  Settings.FileOptions.SizeTo = SizeTextToBytes(U(SizeToEdit->text()), Settings.FileOptions.SizeUnits);
  SplitQuotedList(Settings.SearchPaths, U(Paths->currentText()));
  SplitQuotedList(Settings.SearchMasks, U(Masks->currentText()));
  QRect Normal = normalGeometry();
  Settings.ViewOptions.MainRect = {Normal.left(), Normal.top(), Normal.right() + 1, Normal.bottom() + 1};
  Settings.ViewOptions.Maximized = isMaximized();
  if (Langs.GetLanguageIndex() >= 0)
    Settings.ViewOptions.LanguageIndex = static_cast<uint8_t>(Langs.GetLanguageIndex());
  for (int I = 0; I < kResListColumnCount; ++I) {
    Settings.ResListColumns[static_cast<size_t>(I)].Width =
        std::min(kMaxResListColumnWidth, ResultView->header()->sectionSize(I));
    Settings.ResListColumns[static_cast<size_t>(I)].Position = ResultView->header()->visualIndex(I);
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
  QComboBox* Boxes[3] = {Pattern, Paths, Masks};
  for (int I = 0; I < 3; ++I) {
    ItemsOf(Boxes[I], Items);
    std::u16string Text = U(Boxes[I]->currentText());
    errno = 0;
    Note(SaveComboHistory(Items, Text, Names[I], I == 0));
    SetItems(Boxes[I], Items);
  }
  SettingsError = Error;
  return Error == 0;
}

void TMain::SetLanguage(int32_t Index) {
  try {
    ::SetLanguage(Langs, LanguageFiles, LanguagesLoadedAt, Index, [](const std::string& Line) { Log(Line); });
  } catch (const std::exception& E) {
    Log(E.what());
  }
}

void TMain::LanguageChanged() {
  FillLogicBox();
  SetCtrlShortcutPrefix(CtrlShortcutPrefix(Langs.GetLanguageName(std::max(0, Langs.GetLanguageIndex()))));
  HelpChecked = false;
  Commands->LocalizeActions();
  for (QAction* Action : mLanguage->actions())
    if (Action->objectName() == QStringLiteral("ml%1").arg(Langs.GetLanguageIndex()))
      Action->setChecked(true);
  ReshowMessageDlg();
}

void TMain::ResListHeaderClick(int Column) {
  if (Column < 0 || Column > 3) return;
  std::u16string Focused;
  QModelIndex Current = ResultView->currentIndex();
  if (Current.isValid() && Current.row() < Results().Count()) Focused = Results().GetFullName(Current.row());
  SortColumn = NextSortColumn(SortColumn, Column);
  bool Ascending = SortColumn > 0;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  SortSearchResults(Results(), Column, Ascending);
  Model->Reset();
  QApplication::restoreOverrideCursor();
  ResultView->header()->setSortIndicatorShown(true);
  ResultView->header()->setSortIndicator(Column, Ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  if (!Focused.empty()) {
    int32_t Row = Results().IndexOf(Focused);
    if (Row >= 0) {
      QModelIndex Index = Model->index(Row, 0);
      ResultView->setCurrentIndex(Index);
      ResultView->scrollTo(Index);
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

uint32_t TMain::TickCount() { return static_cast<uint32_t>(Clock->elapsed()); }

void TMain::RefreshRowCount() {
  Model->Refresh();
  UpdatePreviewPrintActions();
}

void TMain::ClearSortMark() {
  if (SortColumn == -1) return;
  SortColumn = -1;
  ResultView->header()->setSortIndicatorShown(false);
}

void TMain::FocusBox(TSearchBox Box) {
  QComboBox* Target = Box == sbPattern ? Pattern : Box == sbPaths ? Paths : Box == sbMasks ? Masks : nullptr;
  if (Target) Target->setFocus();
}

void TMain::StateChanged() {
  if (Run->Busy && !Run->Paused)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
  UpdateControls();
  // The animation shows while a search runs and stands still while it is paused (over the Start
  // button it hides then).
  BusyAnimation.Paused = Run->Paused;
  BusyAnimation.HasStartButton = Commands->ToolButtonByTag(maSearchStart) != nullptr;
  BusyAnimation.ShowBusyAnimation(Run->Busy);
  BusyAnimation.SetAnimationActive(Run->Busy && !Run->Paused);
  ApplyAnimation();
}

void TMain::PostUserInterrupt() {
  QTimer::singleShot(0, this, [] { Log(TSearchRun::UserInterruptLine(NowDateTime())); });
}

TPasswordAnswer TMain::AskPassword(const std::string& ItemName, const std::string& ArcName) {
  TPasswordAnswer Answer;
  TEnterPassword Dialog(this);
  Localize(Dialog.LangForm());
  int32_t Mode = Run->PasswordAskMode;
  std::u16string Password;
  Answer.Ok = Dialog.Execute(Utf8ToUtf16(ItemName), Utf8ToUtf16(ArcName), Mode, Password);
  Answer.Password = Utf16ToUtf8(Password);
  Answer.AskMode = static_cast<uint8_t>(std::clamp(Mode, 0, 2));
  return Answer;
}
