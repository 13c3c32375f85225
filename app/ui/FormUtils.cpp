#include "app/ui/FormUtils.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QUrl>
#include <QWindow>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/VVCLUtil.h"

namespace {

QString Msg(TMsgIndex Index) { return QString::fromStdU16String(GetMsgW(Index)); }

// A press outside a history box's open list closes the list and then acts on what it pressed, as if no
// list had been open. The toolkit replays that press on some platforms and swallows it on others (X11):
// its own replay is turned off, and the press is given on here, once, on every platform.
class TPopupPressReplay : public QObject {
 public:
  // DropDown: the box's own list, which a press on the box's arrow only closes (the arrow would open it
  // again); for the list offered while typing, a press on the arrow opens the box's own list.
  TPopupPressReplay(QComboBox* Combo, bool DropDown) : QObject(Combo), Combo_(Combo), DropDown_(DropDown) {}

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    auto* Popup = qobject_cast<QWidget*>(Watched);
    if (Popup == nullptr || Event->type() != QEvent::MouseButtonPress) return false;
    const auto* Press = static_cast<QMouseEvent*>(Event);
    const QPoint Global = Press->globalPosition().toPoint();
    if (Popup->rect().contains(Popup->mapFromGlobal(Global))) return false;
    Popup->setAttribute(Qt::WA_NoMouseReplay);
    if (DropDown_ && OnArrow(Global)) return false;
    QWidget* Target = QApplication::widgetAt(Global);
    if (Target == nullptr || Target->window() == Popup) return false;
    // A window that a modal dialog blocks takes no press.
    const QWidget* Modal = QApplication::activeModalWidget();
    if (Modal != nullptr && Target->window() != Modal && !Modal->isAncestorOf(Target)) return false;
    QWindow* Window = Target->window()->windowHandle();
    if (Window == nullptr) return false;
    const QPoint Local = Window->mapFromGlobal(Global);
    // Posted: it is handled once the list has closed and given the mouse back.
    QCoreApplication::postEvent(
        Window, new QMouseEvent(QEvent::MouseButtonPress, Local, Local, Global, Press->button(),
                                Press->buttons(), Press->modifiers()));
    return false;
  }

 private:
  bool OnArrow(const QPoint& Global) const {
    QStyleOptionComboBox Option;
    Option.initFrom(Combo_);
    Option.editable = Combo_->isEditable();
    Option.subControls = QStyle::SC_All;
    return Combo_->style()->hitTestComplexControl(QStyle::CC_ComboBox, &Option, Combo_->mapFromGlobal(Global),
                                                  Combo_) == QStyle::SC_ComboBoxArrow;
  }

  QComboBox* Combo_;
  bool DropDown_;
};

}  // namespace

void MoveControlOnScreen(QWidget* Control, int Left, int Top) {
  QScreen* Screen = Control->screen() ? Control->screen() : QGuiApplication::primaryScreen();
  QRect Area = Screen ? Screen->availableGeometry() : QRect(0, 0, 1024, 768);
  int32_t X = Left - Area.left(), Y = Top - Area.top();
  ClampToScreen(X, Y, Control->frameGeometry().width(), Control->frameGeometry().height(), Area.width(),
                Area.height());
  Control->move(X + Area.left(), Y + Area.top());
}

void CenterFormOver(QWidget* Form, const QWidget* Over) {
  QRect Bounds;
  if (Over)
    Bounds = Over->frameGeometry();
  else if (QGuiApplication::primaryScreen())
    Bounds = QGuiApplication::primaryScreen()->availableGeometry();
  QPoint Corner =
      Bounds.center() - QPoint(Form->frameGeometry().width() / 2, Form->frameGeometry().height() / 2);
  MoveControlOnScreen(Form, Corner.x(), Corner.y());
}

void OfferHistoryAsList(QComboBox* Combo) {
  QCompleter* Completer = Combo->completer();
  if (Completer == nullptr) return;
  Completer->setCompletionMode(QCompleter::PopupCompletion);
  // Case-sensitive, as paths are: the box also takes a history entry's spelling for the typed text when
  // they match in this sensitivity.
  Completer->setCaseSensitivity(Qt::CaseSensitive);
  // Either list closes with Escape (the lists handle it) and keeps the press that closes it.
  Completer->popup()->installEventFilter(new TPopupPressReplay(Combo, false));
  Combo->view()->window()->installEventFilter(new TPopupPressReplay(Combo, true));
}

void LocalizeDialogButtons(QWidget* Form) {
  for (auto* Box : Form->findChildren<QDialogButtonBox*>()) {
    for (QAbstractButton* Button : Box->buttons()) {
      switch (Box->standardButton(Button)) {
        case QDialogButtonBox::Ok:
          Button->setText(Msg(TMsgIndex::OK));
          break;
        case QDialogButtonBox::Cancel:
          Button->setText(Msg(TMsgIndex::Cancel));
          break;
        case QDialogButtonBox::Yes:
          Button->setText(Msg(TMsgIndex::Yes));
          break;
        case QDialogButtonBox::No:
          Button->setText(Msg(TMsgIndex::No));
          break;
        case QDialogButtonBox::Help:
          Button->setText(Msg(TMsgIndex::BtnHelp));
          break;
        default:
          break;
      }
    }
  }
}

void PushCursor(Qt::CursorShape Cursor) { QApplication::setOverrideCursor(Cursor); }

void PopCursor() {
  if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

bool BrowseForFolder(QWidget* Owner, const std::u16string& Title, const std::u16string& Root,
                     std::u16string& Path) {
  QString Chosen = QFileDialog::getExistingDirectory(Owner, QString::fromStdU16String(Title),
                                                     QString::fromStdU16String(Root));
  if (Chosen.isEmpty()) return false;
  Path = Chosen.toStdU16String();
  return true;
}

bool OpenURL(const std::u16string& Target) {
  PushCursor(Qt::WaitCursor);
  QString Text = QString::fromStdU16String(Target);
  QUrl Url = Text.startsWith(u'/') ? QUrl::fromLocalFile(Text) : QUrl(Text);
  bool Started = QDesktopServices::openUrl(Url);
  PopCursor();
  if (!Started) ShowErrorText(FormatMsgW(TMsgIndex::ExecuteError_s, {Target}));
  return Started;
}

void OpenLink(const std::u16string& Text, const std::u16string& ProgramDir) {
  OpenURL(LinkTarget(Text, ProgramDir));
}

std::string FirstInstalledFont(const std::vector<std::string>& Names) {
  QStringList Families = QFontDatabase::families();
  return FirstAvailableFont(Names, [&](const std::string& Name) {
    return Families.contains(QString::fromStdString(Name), Qt::CaseInsensitive);
  });
}
