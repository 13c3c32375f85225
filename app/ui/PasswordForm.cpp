#include "app/ui/PasswordForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/MsgStr.h"

TEnterPassword::TEnterPassword(QWidget* Parent) : QDialog(Parent), Lang_(this, "TEnterPassword") {
  setObjectName("EnterPassword");
  setWindowTitle("Enter Password");
  auto* Layout = new QVBoxLayout(this);
  MsgMemo = new QPlainTextEdit(this);
  MsgMemo->setObjectName("MsgMemo");
  MsgMemo->setReadOnly(true);
  MsgMemo->setMaximumHeight(60);
  PWDEdit = new QLineEdit(this);
  PWDEdit->setObjectName("PWDEdit");
  PWDEdit->setEchoMode(QLineEdit::Password);
  ShowPWDCheck = new QCheckBox("&Show password", this);
  ShowPWDCheck->setObjectName("ShowPWDCheck");
  connect(ShowPWDCheck, &QCheckBox::toggled, this,
          [this](bool Show) { PWDEdit->setEchoMode(Show ? QLineEdit::Normal : QLineEdit::Password); });
  auto* Group = new QGroupBox(this);
  Group->setObjectName("AskModeRadio");
  auto* GroupLayout = new QVBoxLayout(Group);
  AskModeRadio = new QButtonGroup(this);
  const char* Modes[] = {"&Ask for a password next time", "&Don't ask, try to use stored passwords",
                         "&Never ask, skip password-protected files"};
  for (int I = 0; I < 3; ++I) {
    auto* R = new QRadioButton(Modes[I], Group);
    R->setObjectName(QString("AskModeRadio%1").arg(I));
    AskModeRadio->addButton(R, I);
    GroupLayout->addWidget(R);
  }
  auto* Buttons = new QDialogButtonBox(this);
  QPushButton* OK = Buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  OK->setObjectName("OKBtn");
  OK->setDefault(true);
  Buttons->addButton("Cancel", QDialogButtonBox::RejectRole)->setObjectName("CancelBtn");
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  for (QWidget* W :
       {static_cast<QWidget*>(MsgMemo), static_cast<QWidget*>(PWDEdit), static_cast<QWidget*>(ShowPWDCheck),
        static_cast<QWidget*>(Group), static_cast<QWidget*>(Buttons)})
    Layout->addWidget(W);
}

void TEnterPassword::LanguageChanged() {
  MsgMemo->setPlainText(
      QString::fromStdU16String(FormatMsgW(TMsgIndex::EnterPwdForItemFrom_ss, {Item_, Archive_})));
}

bool TEnterPassword::Execute(const std::u16string& ItemName, const std::u16string& ArchiveName, int32_t& Mode,
                             std::u16string& Password) {
  Password.clear();
  Item_ = ItemName;
  Archive_ = ArchiveName;
  LanguageChanged();
  AskModeRadio->button(0)->setChecked(true);
  PWDEdit->clear();
  PWDEdit->setFocus();
  const bool OK = exec() == QDialog::Accepted;
  if (OK) {
    Password = PWDEdit->text().toStdU16String();
    Mode = AskModeRadio->checkedId();
  }
  PWDEdit->clear();  // no password stays in the window
  return OK;
}
