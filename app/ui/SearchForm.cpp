#include "app/ui/SearchForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/IO.h"
#include "app/MainCommands.h"
#include "app/Options.h"
#include "app/SearchDates.h"
#include "app/Utils.h"
#include "app/VVCLUtil.h"
#include "app/ui/FormUtils.h"
#include "core/StrUtils.h"

namespace {

QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }
std::u16string U(const QString& S) { return S.toStdU16String(); }

// An empty date edit shows its minimum, the first day a date can hold.
const QDate kEmptyDate(1899, 12, 30);

QDate DateOf(TDateTime D) { return kEmptyDate.addDays(static_cast<qint64>(std::floor(D))); }
TDateTime DateTimeOf(const QDate& D) { return static_cast<TDateTime>(kEmptyDate.daysTo(D)); }

template <class T>
T* Named(T* W, const char* Name) {
  W->setObjectName(Name);
  return W;
}

QDateEdit* MakeDateEdit(QWidget* Owner, const char* Name) {
  auto* E = Named(new QDateEdit(Owner), Name);
  E->setCalendarPopup(true);
  E->setMinimumDate(kEmptyDate);
  E->setSpecialValueText(" ");
  E->setDate(kEmptyDate);
  return E;
}

QComboBox* MakeCombo(QWidget* Owner, const char* Name, bool Editable) {
  auto* C = Named(new QComboBox(Owner), Name);
  C->setEditable(Editable);
  C->setInsertPolicy(QComboBox::NoInsert);
  if (Editable) OfferHistoryAsList(C);
  // A fixed list is at least as wide as its longest item, in whichever language its items came: the
  // dialog grows to fit it rather than cutting it off, also on a small screen.
  if (!Editable) {
    C->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    C->setSizePolicy(QSizePolicy::Minimum, C->sizePolicy().verticalPolicy());
  }
  return C;
}

}  // namespace

TSearch::TSearch(QWidget* Parent) : QDialog(Parent), Lang_(this, "TSearch") {
  setObjectName("Search");
  setWindowTitle("Search");
  setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
  auto* Layout = new QVBoxLayout(this);
  Pages = Named(new QTabWidget(this), "Pages");
  Layout->addWidget(Pages);
  Pages->addTab(BuildGeneralPage(), "General");
  Pages->addTab(BuildAdvancedPage(), "Advanced");
  BuildButtons(Layout);
  ConnectHandlers();
}

QWidget* TSearch::BuildGeneralPage() {
  auto* General = Named(new QWidget(Pages), "GeneralPage");
  auto* G = new QGridLayout(General);
  PatternCmb = MakeCombo(General, "PatternCmb", true);
  PathsCmb = MakeCombo(General, "PathsCmb", true);
  MasksCmb = MakeCombo(General, "MasksCmb", true);
  auto Label = [](QWidget* Owner, const char* Name, const char* Caption, QWidget* Buddy) {
    auto* L = Named(new QLabel(Caption, Owner), Name);
    L->setBuddy(Buddy);
    return L;
  };
  auto* BrowseBtn = Named(new QPushButton("Bro&wse...", General), "BrowseBtn");
  auto* SelExtBtn = Named(new QPushButton("S&elect...", General), "SelExtBtn");
  SubdirsCheck = Named(new QCheckBox("Su&bdirectories", General), "SubdirsCheck");
  FilesCheck = Named(new QCheckBox("Pl&ain files", General), "FilesCheck");
  ArchivesCheck = Named(new QCheckBox("A&rchives", General), "ArchivesCheck");
  SearchInResultsCheck = Named(new QCheckBox("&Search in results", General), "SearchInResultsCheck");
  WarningLabel =
      Named(new QLabel("Date and size filtering is on (see \"Advanced\").", General), "WarningLabel");
  WarningLabel->hide();
  auto* Options = Named(new QGroupBox("Options", General), "OptionsGroup");
  auto* O = new QGridLayout(Options);
  ExactRadio = Named(new QRadioButton("E&xact", Options), "ExactRadio");
  FuzzyRadio = Named(new QRadioButton("Fu&zzy", Options), "FuzzyRadio");
  LogicCmb = MakeCombo(Options, "LogicCmb", false);
  CaseCheck = Named(new QCheckBox("&Case sensitive", Options), "CaseCheck");
  WholeWordsCheck = Named(new QCheckBox("Whole words onl&y", Options), "WholeWordsCheck");
  O->addWidget(ExactRadio, 0, 0);
  O->addWidget(FuzzyRadio, 0, 1);
  O->addWidget(LogicCmb, 0, 2);
  O->addWidget(CaseCheck, 1, 0);
  O->addWidget(WholeWordsCheck, 1, 1);
  G->addWidget(Label(General, "lPattern", "&Text to find:", PatternCmb), 0, 0);
  G->addWidget(PatternCmb, 0, 1, 1, 3);
  G->addWidget(Label(General, "lPaths", "&Path(s):", PathsCmb), 1, 0);
  G->addWidget(PathsCmb, 1, 1, 1, 2);
  G->addWidget(BrowseBtn, 1, 3);
  G->addWidget(SubdirsCheck, 2, 1);
  G->addWidget(FilesCheck, 2, 2);
  G->addWidget(ArchivesCheck, 2, 3);
  G->addWidget(Label(General, "lMasks", "F&ile type(s):", MasksCmb), 3, 0);
  G->addWidget(MasksCmb, 3, 1, 1, 2);
  G->addWidget(SelExtBtn, 3, 3);
  G->addWidget(SearchInResultsCheck, 4, 0, 1, 2);
  G->addWidget(WarningLabel, 5, 0, 1, 4);
  G->addWidget(Options, 6, 0, 1, 4);
  connect(BrowseBtn, &QPushButton::clicked, this, [this] {
    std::u16string Paths = U(PathsCmb->currentText());
    bool Subdirs = SubdirsCheck->isChecked();
    if (BrowsePaths && BrowsePaths(Paths, Subdirs)) {
      PathsCmb->setEditText(Q(Paths));
      SubdirsCheck->setChecked(Subdirs);
    }
  });
  connect(SelExtBtn, &QPushButton::clicked, this, [this] {
    std::u16string Masks = U(MasksCmb->currentText());
    if (SelectTypes && SelectTypes(Masks)) MasksCmb->setEditText(Q(Masks));
  });
  return General;
}

QWidget* TSearch::BuildAdvancedPage() {
  auto* Advanced = Named(new QWidget(Pages), "AdvancedPage");
  auto* A = new QVBoxLayout(Advanced);
  auto* Mode = Named(new QGroupBox("Mode", Advanced), "ModeGroup");
  auto* M = new QGridLayout(Mode);
  ConvToTextCheck = Named(new QCheckBox("Co&nvert to text (slower)", Mode), "ConvToTextCheck");
  auto* FiltersBtn = Named(new QPushButton("Fi&lters...", Mode), "FiltersBtn");
  DirectScanCheck = Named(new QCheckBox("&Direct file scan (faster)", Mode), "DirectScanCheck");
  AnsiCheck = Named(new QCheckBox("&ANSI charset", Mode), "AnsiCheck");
  OemCheck = Named(new QCheckBox("&OEM charset (DOS)", Mode), "OemCheck");
  UnicodeCheck = Named(new QCheckBox("&Unicode", Mode), "UnicodeCheck");
  SkipBinaryCheck = Named(new QCheckBox("S&kip binary files", Mode), "SkipBinaryCheck");
  M->addWidget(ConvToTextCheck, 0, 0);
  M->addWidget(FiltersBtn, 0, 1);
  M->addWidget(DirectScanCheck, 1, 0);
  M->addWidget(AnsiCheck, 2, 0);
  M->addWidget(OemCheck, 2, 1);
  M->addWidget(UnicodeCheck, 2, 2);
  M->addWidget(SkipBinaryCheck, 3, 0);
  A->addWidget(Mode);
  auto* Filter = Named(new QGroupBox("Filter files by date and size", Advanced), "FilterGroup");
  auto* F = new QGridLayout(Filter);
  FilterDateCheck = Named(new QCheckBox("Da&te:", Filter), "FilterDateCheck");
  DateRangeRadio = Named(new QRadioButton("&from", Filter), "DateRangeRadio");
  MonthsRadio = Named(new QRadioButton("f&or the last", Filter), "MonthsRadio");
  DaysRadio = Named(new QRadioButton("fo&r the last", Filter), "DaysRadio");
  DateGroup_ = new QButtonGroup(this);
  DateGroup_->addButton(DateRangeRadio, 0);
  DateGroup_->addButton(MonthsRadio, 1);
  DateGroup_->addButton(DaysRadio, 2);
  DateEdit1 = MakeDateEdit(Filter, "DateEdit1");
  DateEdit2 = MakeDateEdit(Filter, "DateEdit2");
  MonthsEdit = Named(new QSpinBox(Filter), "MonthsEdit");
  MonthsEdit->setRange(0, 9999);
  MonthsEdit->setProperty("tag", 1);
  DaysEdit = Named(new QSpinBox(Filter), "DaysEdit");
  DaysEdit->setRange(0, 999999);
  DaysEdit->setProperty("tag", 2);
  SizeCheck = Named(new QCheckBox("File si&ze:", Filter), "SizeCheck");
  SizeEdit1 = Named(new QLineEdit(Filter), "SizeEdit1");
  SizeEdit2 = Named(new QLineEdit(Filter), "SizeEdit2");
  UnitsCmb = MakeCombo(Filter, "UnitsCmb", false);
  UnitsCmb->addItems({"bytes", "Kbytes", "Mbytes"});
  F->addWidget(FilterDateCheck, 0, 0);
  F->addWidget(DateRangeRadio, 0, 1);
  F->addWidget(DateEdit1, 0, 2);
  F->addWidget(DateEdit2, 0, 3);
  F->addWidget(MonthsRadio, 1, 1);
  F->addWidget(MonthsEdit, 1, 2);
  F->addWidget(Named(new QLabel("months", Filter), "lMonths"), 1, 3);
  F->addWidget(DaysRadio, 2, 1);
  F->addWidget(DaysEdit, 2, 2);
  F->addWidget(Named(new QLabel("days", Filter), "lDays"), 2, 3);
  F->addWidget(SizeCheck, 3, 0);
  F->addWidget(SizeEdit1, 3, 1);
  F->addWidget(SizeEdit2, 3, 2);
  F->addWidget(UnitsCmb, 3, 3);
  A->addWidget(Filter);
  A->addStretch();
  connect(FiltersBtn, &QPushButton::clicked, this, [this] {
    if (EditFilters) EditFilters();
  });
  return Advanced;
}

void TSearch::BuildButtons(QVBoxLayout* Layout) {
  auto* Buttons = new QDialogButtonBox(this);
  QPushButton* SearchBtn = Buttons->addButton("Search", QDialogButtonBox::AcceptRole);
  SearchBtn->setObjectName("SearchBtn");
  SearchBtn->setDefault(true);
  Buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("CancelBtn");
  Layout->addWidget(Buttons);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TSearch::ConnectHandlers() {
  connect(ExactRadio, &QRadioButton::toggled, this, [this] { FillLogic(LogicCmb->currentIndex()); });
  connect(PathsCmb->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { PathsCmb->setEditText(Q(ParsePathList(U(PathsCmb->currentText())))); });
  connect(MasksCmb->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { MasksCmb->setEditText(Q(NormalizeMasks(U(MasksCmb->currentText())))); });
  connect(FilterDateCheck, &QCheckBox::clicked, this, [this] { FilterDateCheckClick(); });
  connect(SizeCheck, &QCheckBox::clicked, this, [this] { SizeCheckClick(); });
  connect(DateGroup_, &QButtonGroup::idClicked, this, [this](int Id) {
    FilterDateCheckClick();
    DateRangeRadioClick(Id);
  });
  connect(MonthsEdit, &QSpinBox::valueChanged, this, [this] { DateRangeRadioClick(1); });
  connect(DaysEdit, &QSpinBox::valueChanged, this, [this] { DateRangeRadioClick(2); });
  connect(DateEdit1, &QDateEdit::userDateChanged, this, [this] { DateEdit1Change(); });
  for (QLineEdit* E : {SizeEdit1, SizeEdit2})
    connect(E, &QLineEdit::editingFinished, this,
            [E] { E->setText(Q(NormalizeSizeEditText(U(E->text())))); });
  connect(SearchInResultsCheck, &QCheckBox::clicked, this, [this] { SearchInResultsCheckClick(); });
  connect(ConvToTextCheck, &QCheckBox::clicked, this, [this](bool On) {
    bool Direct = DirectScanCheck->isChecked();
    ConvToTextClicked(On, Direct);
    DirectScanCheck->setChecked(Direct);
    UpdateCharsets();
  });
  connect(DirectScanCheck, &QCheckBox::clicked, this, [this](bool On) {
    bool Convert = ConvToTextCheck->isChecked();
    DirectScanClicked(On, Convert);
    ConvToTextCheck->setChecked(Convert);
    UpdateCharsets();
  });
  for (QCheckBox* C : {FilesCheck, ArchivesCheck})
    connect(C, &QCheckBox::clicked, this, [this, C] {
      bool Files = FilesCheck->isChecked(), Archives = ArchivesCheck->isChecked();
      ClickFilesArchives(C == FilesCheck, Files, Archives);
      FilesCheck->setChecked(Files);
      ArchivesCheck->setChecked(Archives);
    });
}

void TSearch::FillLogic(int Index) {
  int32_t I = Index;
  const std::vector<std::u16string> Items = LogicComboItems(ExactRadio->isChecked(), I);
  LogicCmb->clear();
  for (const auto& Item : Items) LogicCmb->addItem(Q(Item));
  LogicCmb->setCurrentIndex(I);
}

void TSearch::LanguageChanged() { FillLogic(LogicCmb->currentIndex()); }

void TSearch::UpdateCharsets() {
  const bool On = DirectScanCheck->isChecked() && DirectScanCheck->isEnabled();
  for (QCheckBox* C : {AnsiCheck, OemCheck, UnicodeCheck}) C->setEnabled(On);
}

void TSearch::UpdateWarning() {
  WarningLabel->setVisible(FilterDateCheck->isChecked() || SizeCheck->isChecked());
}

void TSearch::FilterDateCheckClick() {
  const bool Enabled = FilterDateCheck->isChecked() && !SearchInResultsCheck->isChecked();
  for (QRadioButton* R : {DateRangeRadio, MonthsRadio, DaysRadio}) R->setEnabled(Enabled);
  MonthsEdit->setEnabled(Enabled && MonthsRadio->isChecked());
  DaysEdit->setEnabled(Enabled && DaysRadio->isChecked());
  DateEdit1->setEnabled(Enabled && DateRangeRadio->isChecked());
  DateEdit2->setEnabled(Enabled && DateRangeRadio->isChecked());
  UpdateWarning();
}

void TSearch::SizeCheckClick() {
  const bool Enabled = SizeCheck->isChecked() && !SearchInResultsCheck->isChecked();
  for (QWidget* W :
       {static_cast<QWidget*>(SizeEdit1), static_cast<QWidget*>(SizeEdit2), static_cast<QWidget*>(UnitsCmb)})
    W->setEnabled(Enabled);
  UpdateWarning();
}

void TSearch::DateRangeRadioClick(int Tag) {
  if (DateUpdatingSpins_ || SpinsUpdatingDate_ || !isEnabled()) return;
  if (Tag == 0) return;
  if ((Tag == 1 && !MonthsRadio->isChecked()) || (Tag == 2 && !DaysRadio->isChecked())) return;
  SpinsUpdatingDate_ = true;
  const TDateTime Now = std::floor(Today());
  const TDateTime First = Tag == 1 ? MonthsBefore(Now, MonthsEdit->value()) : Now - DaysEdit->value();
  DateEdit1->setDate(DateOf(First));
  DateEdit2->setDate(kEmptyDate);
  SpinsUpdatingDate_ = false;
}

void TSearch::DateEdit1Change() {
  if (SpinsUpdatingDate_ || DateUpdatingSpins_) return;
  DateUpdatingSpins_ = true;
  int32_t Months = 0, Days = 0;
  const QDate D = DateEdit1->date();
  SpinsFromDate(DateTimeOf(D), Today(), Months, Days);
  MonthsEdit->setValue(Months);
  DaysEdit->setValue(Days);
  DateUpdatingSpins_ = false;
}

void TSearch::SearchInResultsCheckClick() {
  const bool Off = !SearchInResultsCheck->isChecked();
  for (QWidget* W : std::initializer_list<QWidget*>{
           SubdirsCheck, FilesCheck, ArchivesCheck, PathsCmb, MasksCmb, findChild<QPushButton*>("BrowseBtn"),
           findChild<QPushButton*>("SelExtBtn"), FilterDateCheck, SizeCheck})
    W->setEnabled(Off);
  FilterDateCheckClick();
  SizeCheckClick();
}

bool TSearch::CheckInput() {
  auto Refuse = [this](QWidget* Focus) {
    Pages->setCurrentIndex(0);
    Focus->setFocus();
    return false;
  };
  if (!SearchInResultsCheck->isChecked()) {
    std::u16string Paths = WideTrim(ParsePathList(U(PathsCmb->currentText())));
    if (!ValidatePathList(Paths)) return Refuse(PathsCmb);
    PathsCmb->setEditText(Q(Paths));
    if (Paths.empty()) {
      Pages->setCurrentIndex(0);
      ShowErrorMsg(TMsgIndex::SrchPathIsEmpty);
      return Refuse(PathsCmb);
    }
    std::u16string Masks = WideTrim(U(MasksCmb->currentText()));
    if (!ValidateMaskList(Masks) ||
        (IsAllFilesMask(Masks) && !AskYesNoOnce(TMsgIndex::AskNoFileTypes, kAllFilesMaskBit, true)))
      return Refuse(MasksCmb);
    MasksCmb->setEditText(Q(Masks));
  }
  std::u16string Pattern = U(PatternCmb->currentText());
  if (FuzzyRadio->isChecked() || LogicCmb->currentIndex() > 0) Pattern = WideTrim(Pattern);
  if (Pattern.empty() && !AskYesNoOnce(TMsgIndex::AskSearchIfEmptyPattern, kEmptyPatternBit, true))
    return Refuse(PatternCmb);
  return true;
}

void TSearch::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  if (QWidget* Owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr) {
    Owner->removeEventFilter(this);
    Owner->installEventFilter(this);
    CenterFormOver(this, Owner);
  }
}

bool TSearch::eventFilter(QObject* Watched, QEvent* Event) {
  const bool Placed = Event->type() == QEvent::Move || Event->type() == QEvent::Resize;
  if (Placed && isVisible() && parentWidget() != nullptr && Watched == parentWidget()->window())
    CenterFormOver(this, parentWidget()->window());
  return QDialog::eventFilter(Watched, Event);
}

void TSearch::done(int Result) {
  if (Result == QDialog::Accepted && !CheckInput()) return;  // the dialog stays open
  QDialog::done(Result);
}

bool TSearch::Execute(TSearchFormState& State) {
  TSearchFields& S = State.Fields;
  const QFont Main(QString::fromStdString(ProgramSettings().MainFont.Name));
  for (QComboBox* C : {PatternCmb, PathsCmb, MasksCmb}) C->setFont(Main);
  Pages->setCurrentIndex(0);
  auto SetCombo = [](QComboBox* C, const QStringList& Items, const std::u16string& Text) {
    C->clear();
    C->addItems(Items);
    C->setEditText(Q(Text));
  };
  SetCombo(PatternCmb, State.PatternItems, S.Pattern);
  SearchInResultsCheck->setEnabled(State.SearchInResultsEnabled);
  SearchInResultsCheck->setChecked(S.InResults);
  (S.Fuzzy ? FuzzyRadio : ExactRadio)->setChecked(true);
  FillLogic(S.LogicIndex);
  CaseCheck->setChecked(S.CaseSensitive);
  WholeWordsCheck->setChecked(S.WholeWords);
  SetCombo(PathsCmb, State.PathItems, S.Paths);
  SetCombo(MasksCmb, State.MaskItems, S.Masks);
  SubdirsCheck->setChecked(S.Subdirectories);
  FilesCheck->setChecked(S.PlainFiles);
  ArchivesCheck->setChecked(S.Archives);
  ConvToTextCheck->setChecked(S.ConvertToText);
  ConvToTextCheck->setEnabled(State.ConvertEnabled);
  DirectScanCheck->setChecked(S.DirectScan);
  AnsiCheck->setChecked(S.Ansi);
  OemCheck->setChecked(S.Oem);
  UnicodeCheck->setChecked(S.Unicode);
  SkipBinaryCheck->setChecked(S.SkipBinary);
  UpdateCharsets();
  FilterDateCheck->setChecked(S.FilterOn && S.DateFilterOn);
  if (!DateRangeRadio->isChecked() && !MonthsRadio->isChecked() && !DaysRadio->isChecked())
    DateRangeRadio->setChecked(true);
  SpinsUpdatingDate_ = true;
  DateEdit1->setDate(DateOf(S.DateFrom));
  DateEdit2->setDate(DateOf(S.DateTo));
  SpinsUpdatingDate_ = false;
  SizeCheck->setChecked(S.FilterOn && S.SizeFilterOn);
  SizeEdit1->setText(Q(S.SizeFromText));
  SizeEdit2->setText(Q(S.SizeToText));
  UnitsCmb->setCurrentIndex(S.SizeUnits);
  SearchInResultsCheckClick();
  if (exec() != QDialog::Accepted) return false;

  S.Pattern = U(PatternCmb->currentText());
  S.InResults = SearchInResultsCheck->isChecked();
  S.Fuzzy = FuzzyRadio->isChecked();
  S.LogicIndex = LogicCmb->currentIndex();
  S.CaseSensitive = CaseCheck->isChecked();
  S.WholeWords = WholeWordsCheck->isChecked();
  S.Paths = U(PathsCmb->currentText());
  S.Masks = U(MasksCmb->currentText());
  S.Subdirectories = SubdirsCheck->isChecked();
  S.PlainFiles = FilesCheck->isChecked();
  S.Archives = ArchivesCheck->isChecked();
  S.ConvertToText = ConvToTextCheck->isChecked();
  S.DirectScan = DirectScanCheck->isChecked();
  S.Ansi = AnsiCheck->isChecked();
  S.Oem = OemCheck->isChecked();
  S.Unicode = UnicodeCheck->isChecked();
  S.SkipBinary = SkipBinaryCheck->isChecked();
  S.DateFilterOn = FilterDateCheck->isChecked();
  S.SizeFilterOn = SizeCheck->isChecked();
  S.FilterOn = S.DateFilterOn || S.SizeFilterOn;
  S.DateFrom = DateTimeOf(DateEdit1->date());
  S.DateTo = DateTimeOf(DateEdit2->date());
  S.SizeFromText = U(SizeEdit1->text());
  S.SizeToText = U(SizeEdit2->text());
  S.SizeUnits = UnitsCmb->currentIndex();
  return true;
}
