#include "app/ui/FormUtils.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QScreen>
#include <QUrl>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/VVCLUtil.h"

namespace {

QString Msg(TMsgIndex Index) { return QString::fromStdU16String(GetMsgW(Index)); }

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
