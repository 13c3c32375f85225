#include "app/ui/ArchiveOptionsFrame.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/Options.h"
#include "app/ui/QtLang.h"
#include "archive/ArcScan.h"

TArchiveOptions::TArchiveOptions(QWidget* Parent) : QWidget(Parent), Page_(ProgramSettings()) {
  setObjectName("ArchiveOptions");
  // Its controls are its own for the language files ("ArchiveOptions.lMaxSize"), apart from the options
  // window's controls of the same names.
  setProperty(kLanguageFrame, true);
  auto* Grid = new QGridLayout(this);
  auto* LArchives = new QLabel("&Supported archives:", this);
  LArchives->setObjectName("lArchives");
  ArchivesCheckList = new QListWidget(this);
  ArchivesCheckList->setObjectName("ArchivesCheckList");
  LArchives->setBuddy(ArchivesCheckList);
  auto* CheckAllBtn = new QPushButton("&Enable all", this);
  CheckAllBtn->setObjectName("CheckAllBtn");
  CheckAllBtn->setProperty("tag", 0);
  auto* UncheckAllBtn = new QPushButton("D&isable all", this);
  UncheckAllBtn->setObjectName("UncheckAllBtn");
  UncheckAllBtn->setProperty("tag", 1);
  for (QPushButton* B : {CheckAllBtn, UncheckAllBtn})
    connect(B, &QPushButton::clicked, this, [this, B] {
      const bool Checked = B->property("tag").toInt() == 0;
      for (int I = 0; I < ArchivesCheckList->count(); ++I)
        ArchivesCheckList->item(I)->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
    });
  ProcessSubArchivesCheck = new QCheckBox("&Process subarchives", this);
  ProcessSubArchivesCheck->setObjectName("ProcessSubArchivesCheck");
  ProcessSubArchivesCheck->setChecked(true);
  SkipEncryptedArchivesCheck = new QCheckBox("S&kip password-protected archives", this);
  SkipEncryptedArchivesCheck->setObjectName("SkipEncryptedArchivesCheck");
  // Grayed is shown, never reached by a click: from grayed a click ticks the box, then clicks alternate.
  connect(SkipEncryptedArchivesCheck, &QCheckBox::clicked, this, [this] {
    SkipState_ = TArchiveOptionsPage::ClickSkipBox(SkipState_);
    ShowSkipState();
  });
  auto* LMaxSize = new QLabel("Skip &archives larger than:", this);
  LMaxSize->setObjectName("lMaxSize");
  MaxSizeEdit = new QLineEdit(this);
  MaxSizeEdit->setObjectName("MaxSizeEdit");
  MaxSizeEdit->setFixedWidth(42);
  LMaxSize->setBuddy(MaxSizeEdit);
  connect(MaxSizeEdit, &QLineEdit::editingFinished, this, [this] { NormalizeMaxSize(); });
  auto* LMb = new QLabel("Mb", this);
  LMb->setObjectName("lMb");
  Grid->addWidget(LArchives, 0, 0, 1, 3);
  Grid->addWidget(ArchivesCheckList, 1, 0, 3, 2);
  Grid->addWidget(CheckAllBtn, 1, 2);
  Grid->addWidget(UncheckAllBtn, 2, 2);
  Grid->addWidget(ProcessSubArchivesCheck, 4, 0, 1, 3);
  Grid->addWidget(SkipEncryptedArchivesCheck, 5, 0, 1, 3);
  Grid->addWidget(LMaxSize, 6, 0);
  Grid->addWidget(MaxSizeEdit, 6, 1);
  Grid->addWidget(LMb, 6, 2);
}

void TArchiveOptions::LoadArchiveList(const TMultiLang* Languages) {
  const std::vector<std::u16string> Captions = ArchiveListCaptions(Languages);
  // Existing rows are reused in order, so a language change only renames and re-checks them.
  for (size_t I = 0; I < Captions.size(); ++I) {
    QListWidgetItem* Item = static_cast<int>(I) < ArchivesCheckList->count()
                                ? ArchivesCheckList->item(static_cast<int>(I))
                                : new QListWidgetItem(ArchivesCheckList);
    Item->setText(QString::fromStdU16String(Captions[I]));
    Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
    Item->setCheckState(ArcInfos[static_cast<int>(I) + kFirstDecodedKind].Enabled ? Qt::Checked
                                                                                  : Qt::Unchecked);
  }
}

void TArchiveOptions::LoadPage(const TMultiLang* Languages, int32_t& PasswordAskMode) {
  AskMode_ = &PasswordAskMode;
  TArchivePageValues V;
  Page_.LoadPage(Languages, PasswordAskMode, V);
  LoadArchiveList(Languages);
  ProcessSubArchivesCheck->setChecked(V.ProcessSubArchives);
  SkipState_ = V.SkipEncrypted;
  ShowSkipState();
  MaxSizeEdit->setText(QString::fromStdU16String(V.MaxSize));
}

TArchivePageValues TArchiveOptions::Values() const {
  TArchivePageValues V;
  for (int I = 0; I < ArchivesCheckList->count(); ++I)
    V.Checked.push_back(ArchivesCheckList->item(I)->checkState() == Qt::Checked);
  V.ProcessSubArchives = ProcessSubArchivesCheck->isChecked();
  V.SkipEncrypted = SkipState_;
  V.MaxSize = MaxSizeEdit->text().toStdU16String();
  return V;
}

void TArchiveOptions::ShowSkipState() {
  SkipEncryptedArchivesCheck->setTristate(SkipState_ == csGrayed);
  SkipEncryptedArchivesCheck->setCheckState(SkipState_ == csGrayed    ? Qt::PartiallyChecked
                                            : SkipState_ == csChecked ? Qt::Checked
                                                                      : Qt::Unchecked);
}

void TArchiveOptions::SavePage() {
  int32_t Unused = 0;
  Page_.SavePage(Values(), AskMode_ != nullptr ? *AskMode_ : Unused);
}

void TArchiveOptions::NormalizeMaxSize() {
  MaxSizeEdit->setText(
      QString::number(TArchiveOptionsPage::GetMaxSizeMb(MaxSizeEdit->text().toStdU16String())));
}
