#include "app/ui/MainActions.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "app/IO.h"
#include "app/MainForm.h"
#include "app/MsgStr.h"
#include "app/Options.h"
#include "app/ui/Pictures.h"
#include "app/ui/VExtDlgs.h"
#include "archive/ArcNested.h"
#include "core/EndingSignals.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"

namespace {

class TAppMessageEvent : public QEvent {
 public:
  explicit TAppMessageEvent(const TAppMessage& Message)
      : QEvent(static_cast<QEvent::Type>(AppMessageEventType())), Message(Message) {}
  TAppMessage Message;
};

QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }

}  // namespace

int AppMessageEventType() {
  static const int Type = QEvent::registerEventType();
  return Type;
}

TMainActions::TMainActions(QMainWindow* Window) : QObject(Window), Window_(Window) {
  for (int32_t I = 0; I < kMainActionCount; ++I) {
    QAction* A = new QAction(QString::fromUtf8(MainActionTable[I].Caption), Window);
    A->setObjectName(QString::fromUtf8(MainActionTable[I].Name));
    if (*MainActionTable[I].ShortCut != '\0')
      A->setShortcut(QKeySequence(QString::fromUtf8(MainActionTable[I].ShortCut)));
    // F1 asks for help in every window, which the key hook sees; the action's key only names it in the
    // menu, and takes effect only where the action's own widget has the focus (its open menu).
    if (I == maHelp) A->setShortcutContext(Qt::WidgetShortcut);
    A->setCheckable(I == maSearchPause || I == maSearchFiles || I == maSearchArchives);
    A->setIcon(ToolbarActionIcon(I));
    connect(A, &QAction::triggered, this, [this, I] { RunAction(I); });
    Window->addAction(A);
    Actions_[static_cast<size_t>(I)] = A;
  }
  Bar_ = new QToolBar(Window);
  Bar_->setObjectName("ToolBar");
  Window->addToolBar(Bar_);
  Bar_->installEventFilter(this);
}

TMainActions::~TMainActions() {
  if (qApp != nullptr) qApp->removeEventFilter(this);
}

QAction* TMainActions::ActionByIndex(int32_t Index) const {
  const int32_t A = ::ActionByIndex(Index);
  return A < 0 ? nullptr : Actions_[static_cast<size_t>(A)];
}

QToolButton* TMainActions::ToolButtonByTag(int32_t Tag) const {
  for (QAction* A : Bar_->actions())
    if (A->data().toInt() == Tag && A->property("ToolbarTag").isValid())
      return qobject_cast<QToolButton*>(Bar_->widgetForAction(A));
  return nullptr;
}

void TMainActions::BuildToolbar(bool Paused, bool Files, bool Archives) {
  Bar_->setUpdatesEnabled(false);
  for (QAction* A : Bar_->actions()) {
    Bar_->removeAction(A);
    if (A->property("ToolbarTag").isValid()) delete A;
  }
  const TToolbarPlan Plan = PlanToolbar(Settings_.ToolbarButtons, Paused, Files, Archives, false);
  Bar_->setVisible(Plan.Visible);
  Bar_->setIconSize(Settings_.ViewOptions.LargeButtons ? QSize(kLargeImageSize, kLargeImageSize)
                                                       : QSize(kSmallImageSize, kSmallImageSize));
  Bar_->setToolButtonStyle(Settings_.ViewOptions.ButtonCaptions ? Qt::ToolButtonTextUnderIcon
                                                                : Qt::ToolButtonIconOnly);
  for (const TToolButtonPlan& B : Plan.Buttons) {
    // Each button has an action of its own that posts its tag, so that the command runs after the click.
    QAction* Source = Actions_[static_cast<size_t>(B.Tag)];
    // The menu's Start item may carry its key after a tab; a button shows the caption alone.
    QAction* Button = new QAction(Source->icon(), Source->text().section(u'\t', 0, 0), Bar_);
    Button->setObjectName(QString("tb") + Source->objectName().mid(3));
    Button->setData(B.Tag);
    Button->setProperty("ToolbarTag", B.Tag);
    Button->setCheckable(B.CheckStyle);
    Button->setChecked(B.Down);
    Button->setEnabled(Source->isEnabled());
    Button->setToolTip(Settings_.ViewOptions.ToolTips ? Q(GetMsgW(ActionHintMsg(B.Tag))) : QString());
    connect(Button, &QAction::triggered, this,
            [this, Tag = B.Tag] { PostAppMessage(MakeRunActionMessage(Tag)); });
    connect(Source, &QAction::changed, Button, [Source, Button] { Button->setEnabled(Source->isEnabled()); });
    Bar_->addAction(Button);
  }
  Bar_->setUpdatesEnabled(true);
  UpdateActions();
}

void TMainActions::LocalizeActions() {
  for (int32_t I = 0; I < kMainActionCount; ++I) {
    Actions_[static_cast<size_t>(I)]->setText(Q(GetMsgW(ActionCaptionMsg(I))));
    Actions_[static_cast<size_t>(I)]->setToolTip(Q(GetMsgW(ActionHintMsg(I))));
  }
  for (QAction* A : Bar_->actions())
    if (A->property("ToolbarTag").isValid()) {
      const int32_t Tag = A->data().toInt();
      A->setText(Actions_[static_cast<size_t>(Tag)]->text().section(u'\t', 0, 0));
      A->setToolTip(Settings_.ViewOptions.ToolTips ? Q(GetMsgW(ActionHintMsg(Tag))) : QString());
    }
}

void TMainActions::UpdateActions() {
  const TMainEnables E = ComputeMainEnables(State ? State() : TMainState());
  for (int32_t I = 0; I < kMainActionCount; ++I) Actions_[static_cast<size_t>(I)]->setEnabled(E.Actions[I]);
}

void TMainActions::PostAppMessage(const TAppMessage& Message) {
  QApplication::postEvent(this, new TAppMessageEvent(Message));
}

void TMainActions::InstallHook() { qApp->installEventFilter(this); }

void TMainActions::RunAction(int32_t Index) {
  // Only an enabled action runs: a Start posted before a search began must not start a second one.
  QAction* A = ActionByIndex(Index);
  if (A == nullptr || !A->isEnabled()) return;
  if (const auto& H = Handlers[static_cast<size_t>(Index)]) H();
}

bool TMainActions::event(QEvent* Event) {
  if (Event->type() != AppMessageEventType()) return QObject::event(Event);
  const TAppMessageDecision D = DecodeAppMessage(static_cast<TAppMessageEvent*>(Event)->Message);
  switch (D.Kind) {
    case amRunAction:
      RunAction(D.Action);
      break;
    case amUserInterrupt:
      if (OnUserInterrupt) OnUserInterrupt();
      break;
    case amFillFromHistory:
      if (OnFillFromHistory) OnFillFromHistory();
      break;
    default:
      break;
  }
  return true;
}

bool TMainActions::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == Bar_ && Event->type() == QEvent::MouseButtonDblClick) {
    // Only the free area: a double click on a button is two clicks of that button.
    if (Bar_->childAt(static_cast<QMouseEvent*>(Event)->position().toPoint()) == nullptr &&
        OnToolbarDoubleClick)
      OnToolbarDoubleClick();
    return false;
  }
  if (Event->type() != QEvent::KeyPress) return QObject::eventFilter(Watched, Event);
  auto* Key = static_cast<QKeyEvent*>(Event);
  TAppKeyState S;
  switch (Key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      S.Key = akEnter;
      break;
    case Qt::Key_F3:
      S.Key = akF3;
      break;
    default:
      if (Key->key() >= Qt::Key_F1 && Key->key() <= Qt::Key_F12) {
        S.Key = akFunction;
        S.FunctionNumber = Key->key() - Qt::Key_F1 + 1;
      }
  }
  if (S.Key == akOther) return false;
  // Each key press reaches the filter once per object on its way; act at the first, the focus widget.
  if (Watched != QApplication::focusWidget() && QApplication::focusWidget() != nullptr) return false;
  S.Ctrl = Key->modifiers() & Qt::ControlModifier;
  S.Alt = Key->modifiers() & Qt::AltModifier;
  S.Shift = Key->modifiers() & Qt::ShiftModifier;
  S.MainWindowActive =
      QApplication::activeWindow() == Window_ && QApplication::activeModalWidget() == nullptr;
  S.FocusOnButton = qobject_cast<QAbstractButton*>(QApplication::focusWidget()) != nullptr;
  S.ResultsFocused = ResultsFocused && ResultsFocused();
  bool InArchive = false;
  S.RowFocused = FocusedRow && FocusedRow(InArchive);
  S.FocusedRowInArchive = InArchive;
  S.LanguageCount = LanguageCount ? LanguageCount() : 0;
  const TAppKeyAction A = DecideAppKey(S);
  switch (A.Kind) {
    case kaNotHandled:
      return false;
    case kaSelectLanguage:
      if (SelectLanguage) SelectLanguage(A.Language);
      return true;
    case kaStartSearch:
      RunAction(maSearchStart);
      return true;
    case kaShowProperties:
      if (ShowProperties) ShowProperties();
      return true;
    case kaHelp:
      RunAction(maHelp);
      return true;
    case kaSwallow:
      return true;
  }
  return false;
}

// --- Result commands ----------------------------------------------------------------------------------

int32_t ShowResultMenu(QWidget* Owner, const QPoint& ScreenPoint, const TFoundFileInfo& Info,
                       const TResultMenuHooks& Hooks) {
  QMenu Menu(Owner);
  Menu.setObjectName("ResultPopup");
  const QString PreviewCaption = QString::fromStdU16String(GetMsgW(TMsgIndex::Preview));
  for (const TResultMenuItem& Item :
       PlanResultMenu(Info, PreviewCaption.toStdU16String(), Hooks.SummarizerFound)) {
    if (Item.Id == rmNone) {
      Menu.addSeparator();
      continue;
    }
    QAction* A = Menu.addAction(Q(Item.Caption));
    A->setData(Item.Id);
  }
  QAction* Chosen = Menu.exec(ScreenPoint);
  const int32_t Id = Chosen != nullptr ? Chosen->data().toInt() : rmNone;
  if (Id != rmNone) RunResultCommand(Id, Info, Hooks);
  return Id;
}

void RunResultCommand(int32_t Id, const TFoundFileInfo& Info, const TResultMenuHooks& Hooks) {
  switch (Id) {
    case rmPreview:
      if (Hooks.Preview) Hooks.Preview();
      break;
    case rmSummarizer:
      if (Hooks.LaunchSummarizer) Hooks.LaunchSummarizer(Info);
      break;
    case rmOpenFolder:
      ExploreFolder(ContainingFolder(Info));
      break;
    case rmExtract:
      if (Info.InArchive) ExtractItemTo(Info, Hooks.ExtractPassword);
      break;
    case rmOpen:
      OpenWithDesktop(Info.Name);
      break;
    case rmCopyPath:
      QGuiApplication::clipboard()->setText(Q(Info.Name));
      break;
    default:
      break;
  }
}

void ExploreFolder(const std::u16string& Folder) { OpenWithDesktop(Folder); }

void OpenWithDesktop(const std::u16string& Path) {
  if (!WideFileExists(Path) && !WideDirExists(Path)) {
    ShowErrorText(FormatMsgW(TMsgIndex::PathNotExists_s, {Path}));
    return;
  }
  // The desktop's opener runs on its own; its exit status says why it failed (the freedesktop.org
  // codes: 2 a file it cannot reach, 3 no tool for the desktop, 4 the opening program failed).
  auto* Opener = new QProcess(qApp);
  Opener->setProgram(QStringLiteral("xdg-open"));
  Opener->setArguments({Q(Path)});
  Opener->setProcessChannelMode(QProcess::ForwardedChannels);
  // The opener and what it starts get the signals as the program had them before it blocked its own.
  Opener->setChildProcessModifier([] { RestoreSignalsInChild(); });
  QObject::connect(Opener, &QProcess::errorOccurred, Opener, [Opener, Path](QProcess::ProcessError Error) {
    if (Error != QProcess::FailedToStart) return;
    // The opener is missing (or cannot run): the system's "execvp" text would not tell the user what to
    // install.
    ShowErrorText(FormatMsgW(TMsgIndex::NoDesktopOpener_s, {Path}));
    Opener->deleteLater();
  });
  QObject::connect(Opener, &QProcess::finished, Opener,
                   [Opener, Path](int Code, QProcess::ExitStatus Status) {
                     Opener->deleteLater();
                     if (Status == QProcess::NormalExit && Code == 0) return;
                     switch (Status == QProcess::NormalExit ? Code : -1) {
                       case 2:
                         ShowErrorText(FormatMsgW(TMsgIndex::PathNotExists_s, {Path}));
                         break;
                       case 3:
                       case 4:
                         ShowErrorText(FormatMsgW(TMsgIndex::NoOpenHandler_s, {Path}));
                         break;
                       default:
                         ShowErrorText(FormatMsgW(TMsgIndex::ExecuteError_s, {Path}));
                         break;
                     }
                   });
  Opener->start();
}

bool ExtractItemTo(const TFoundFileInfo& Info, const TArcPasswordEvent& PasswordCallback) {
  std::u16string FileName = ResultFileName(Info);
  int32_t FilterIndex = 1;
  if (!ExtSaveDialog(FileName, Q(ExtractDialogTitle(Info)), QString(), FilterIndex, QString())) return false;
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  bool Done = false;
  // An encrypted item whose password question ends without a password makes the archive fail with
  // "Invalid password": the user cancelled, and the log says so instead of an error box.
  bool Refused = false;
  const TArcPasswordEvent Asking = [&](const std::string& ArcFileName, const std::string& ItemName,
                                       std::string& Password) {
    if (!PasswordCallback) return false;
    const bool Given = PasswordCallback(ArcFileName, ItemName, Password);
    Refused = !Given;
    return Given;
  };
  try {
    ExtractResultItem(Info, Utf16ToUtf8(FileName), Asking);
    Done = true;
  } catch (const Exception& E) {
    QGuiApplication::restoreOverrideCursor();
    if (Refused)
      Log(AddPeriod(FormatMsg(TMsgIndex::ExtractionCancelled_s, {Utf16ToUtf8(ResultFileName(Info))})), false,
          true);
    else
      ShowErrorText(Utf8ToUtf16(E.what()));
    return false;
  }
  QGuiApplication::restoreOverrideCursor();
  return Done;
}

bool StartSummarizer(const std::string& SummarizerPath, const TFoundFileInfo& Info, bool PatternEmpty,
                     bool ConvertBox, TQVConverters& Converters) {
  TSummarizerEnv Env;
  Env.ExtractItem = [](const std::string& Path, const std::string& Dest) {
    ExtractArchivePathToFile(Path, Dest, false, nullptr, nullptr, nullptr);
  };
  Env.Convert = [&Converters](TSummarizerEnv::TConversion& C) {
    return ConvertForSummarizer(Converters, C.Converter, C.File, C.Unicode, C.Text, C.IsUnicode, C.ErrorText);
  };
  Env.Start = [](const std::string& Program, const std::vector<std::string>& Args) {
    QStringList List;
    for (const auto& A : Args) List << QString::fromStdString(A);
    return QProcess::startDetached(QString::fromStdString(Program), List);
  };
  Env.ShowError = [](const std::u16string& M) { ShowErrorText(M); };
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  const bool Started = LaunchSummarizer(SummarizerPath, Info, PatternEmpty, ConvertBox, Env);
  QGuiApplication::restoreOverrideCursor();
  return Started;
}

QAction* TPreviewMenu::AddPreviewMenuItem(const std::u16string& Name, QWidget* PreviewForm) {
  auto* Item = new QAction(Q(PreviewMenuCaption(Name)), PreviewForm);
  QObject::connect(Item, &QAction::triggered, PreviewForm, [PreviewForm] {
    PreviewForm->show();
    PreviewForm->raise();
    PreviewForm->activateWindow();
  });
  // The entry is the window's and goes with it; the others are numbered again then.
  QObject::connect(PreviewForm, &QObject::destroyed, Menu_, [this, Item] {
    Items_.erase(std::remove(Items_.begin(), Items_.end(), Item), Items_.end());
    RenumberPreviewMenu();
  });
  // Right after the separator, so the newest window comes first; without one, before the last item.
  const QList<QAction*> All = Menu_->actions();
  const qsizetype At = All.indexOf(Separator_);
  QAction* Before =
      At >= 0 ? (At + 1 < All.size() ? All[At + 1] : nullptr) : (All.isEmpty() ? nullptr : All.back());
  Menu_->insertAction(Before, Item);
  Items_.insert(Items_.begin(), Item);
  RenumberPreviewMenu();
  return Item;
}

void TPreviewMenu::RemovePreviewMenuItem(QAction* Item) {
  Items_.erase(std::remove(Items_.begin(), Items_.end(), Item), Items_.end());
  delete Item;
  RenumberPreviewMenu();
}

void TPreviewMenu::RenumberPreviewMenu() {
  std::vector<std::u16string> Captions;
  for (QAction* A : Items_) Captions.push_back(A->text().toStdU16String());
  RenumberPreviewCaptions(Captions);
  for (size_t I = 0; I < Items_.size(); ++I) Items_[I]->setText(Q(Captions[I]));
}
