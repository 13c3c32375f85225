#include "app/ui/MessageDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/Startup.h"
#include "app/ui/FormUtils.h"
#include "core/StrUtils.h"
#include "core/WideStrings.h"

namespace {

QString Msg(TMsgIndex Index) { return QString::fromStdU16String(GetMsgW(Index)); }

QPointer<QMessageBox> OpenBox;

// The window a box belongs to: the open modal dialog, else the active window, else the program's main
// window (a box raised while the program is busy and no window has the focus).
QWidget* DialogOwner() {
  if (QWidget* Modal = QApplication::activeModalWidget()) return Modal;
  if (QWidget* Active = QApplication::activeWindow()) return Active;
  for (QWidget* W : QApplication::topLevelWidgets())
    if (W->isVisible() && W->inherits("QMainWindow")) return W;
  return nullptr;
}
QPoint LastCentre;

// A box placed once it has its final size: the box lays out (and wraps) its text only as it shows, so a
// place computed before would put a box with a long text off its owner.
class TPlacedMessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;
  QWidget* Over = nullptr;  // centred over this window
  QPoint Centre;            // else, when not null, centred here

 protected:
  void showEvent(QShowEvent* Event) override {
    QMessageBox::showEvent(Event);
    if (!Centre.isNull())
      move(Centre - rect().center());
    else if (Over)
      CenterFormOver(this, Over);
  }
};

int ShowBox(TMessageDlgRequest& R) {
  QWidget* Owner = DialogOwner();
  TPlacedMessageBox Box(Owner);
  Box.setObjectName(QStringLiteral("MessageDlg"));
  Box.setWindowTitle(R.Caption.empty() ? QString::fromUtf8(kApplicationTitle)
                                       : QString::fromStdU16String(R.Caption));
  Box.setText(QString::fromStdU16String(R.Text));
  switch (R.DlgType) {
    case mtWarning:
      Box.setIcon(QMessageBox::Warning);
      break;
    case mtError:
      Box.setIcon(QMessageBox::Critical);
      break;
    case mtInformation:
      Box.setIcon(QMessageBox::Information);
      break;
    case mtConfirmation:
      Box.setIcon(QMessageBox::Question);
      break;
    default:
      break;
  }
  struct TButton {
    TMsgDlgButtons Bit;
    QMessageBox::StandardButton Qt;
    TMsgIndex Caption;
    int Result;
  };
  const TButton Buttons[] = {{mbYes, QMessageBox::Yes, TMsgIndex::Yes, mrYes},
                             {mbNo, QMessageBox::No, TMsgIndex::No, mrNo},
                             {mbOK, QMessageBox::Ok, TMsgIndex::OK, mrOk},
                             {mbCancel, QMessageBox::Cancel, TMsgIndex::Cancel, mrCancel},
                             {mbHelp, QMessageBox::Help, TMsgIndex::BtnHelp, mrCancel}};
  for (const auto& B : Buttons)
    if (R.Buttons & B.Bit) Box.addButton(B.Qt)->setText(Msg(B.Caption));
  QCheckBox* DontAsk = nullptr;
  if (R.ShowDontAsk) {
    DontAsk = new QCheckBox(QString::fromStdU16String(R.DontAskText));
    DontAsk->setChecked(R.DontAsk);
    Box.setCheckBox(DontAsk);
  }
  // A box shown again after a language change comes back where it was; any other over its owner, also
  // where no window manager places it.
  if (ReshowRequested && !LastCentre.isNull())
    Box.Centre = LastCentre;
  else
    Box.Over = Owner;
  if (R.FromCatalogue) OpenBox = &Box;
  Box.exec();
  LastCentre = Box.geometry().center();
  OpenBox = nullptr;
  if (DontAsk) R.DontAsk = DontAsk->isChecked();
  auto Clicked = Box.standardButton(Box.clickedButton());
  for (const auto& B : Buttons)
    if (Clicked == B.Qt) return B.Result;
  return (R.Buttons & mbCancel) ? mrCancel : (R.Buttons & mbNo) ? mrNo : mrOk;
}

}  // namespace

void InstallMessageDialogs() {
  MessageDlgHandler = ShowBox;
  CloseMessageDlgHandler = [] {
    if (OpenBox) OpenBox->done(QMessageBox::Cancel);
  };
}

bool QueryString(int32_t CaptionMsg, int32_t LabelMsg, std::u16string& Value, const TWideStringList* History,
                 bool AllowEmpty) {
  QDialog Dialog(DialogOwner());
  Dialog.setObjectName(QStringLiteral("QueryStringW"));
  Dialog.setWindowTitle(Msg(static_cast<TMsgIndex>(CaptionMsg)));
  auto* Layout = new QVBoxLayout(&Dialog);
  auto* Label = new QLabel(Msg(static_cast<TMsgIndex>(LabelMsg)));
  Layout->addWidget(Label);
  QLineEdit* Edit = nullptr;
  QComboBox* Combo = nullptr;
  if (History) {
    Combo = new QComboBox;
    Combo->setEditable(true);
    OfferHistoryAsList(Combo);
    for (int32_t I = 0; I < History->GetCount(); ++I)
      Combo->addItem(QString::fromStdU16String(History->Get(I)));
    Combo->setEditText(QString::fromStdU16String(Value));
    Label->setBuddy(Combo);
    Layout->addWidget(Combo);
  } else {
    Edit = new QLineEdit(QString::fromStdU16String(Value));
    Edit->selectAll();
    Label->setBuddy(Edit);
    Layout->addWidget(Edit);
  }
  auto* Box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  Box->button(QDialogButtonBox::Ok)->setText(Msg(TMsgIndex::OK));
  Box->button(QDialogButtonBox::Cancel)->setText(Msg(TMsgIndex::Cancel));
  Layout->addWidget(Box);
  auto Text = [&] { return Combo ? Combo->currentText() : Edit->text(); };
  QObject::connect(Box, &QDialogButtonBox::accepted, &Dialog, [&] {
    if (!AllowEmpty && WideTrim(Text().toStdU16String()).empty()) {
      if (Combo)
        Combo->setFocus();
      else
        Edit->setFocus();
      return;
    }
    Dialog.accept();
  });
  QObject::connect(Box, &QDialogButtonBox::rejected, &Dialog, &QDialog::reject);
  if (Dialog.exec() != QDialog::Accepted) return false;
  Value = Text().toStdU16String();
  return true;
}
