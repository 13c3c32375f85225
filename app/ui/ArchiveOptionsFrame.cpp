#include "app/ui/ArchiveOptionsFrame.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/Options.h"
#include "archive/ArcScan.h"

TArchiveOptions::TArchiveOptions(QWidget* Parent) : QWidget(Parent), Page(ProgramSettings()) {
  setObjectName("ArchiveOptions");
  auto* Grid = new QGridLayout(this);
  auto* lArchives = new QLabel("&Supported archives:", this);
  lArchives->setObjectName("lArchives");
  ArchivesCheckList = new QListWidget(this);
  ArchivesCheckList->setObjectName("ArchivesCheckList");
  lArchives->setBuddy(ArchivesCheckList);
  auto* CheckAllBtn = new QPushButton("&Enable all", this);
  CheckAllBtn->setObjectName("CheckAllBtn");
  CheckAllBtn->setProperty("tag", 0);
  auto* UncheckAllBtn = new QPushButton("D&isable all", this);
  UncheckAllBtn->setObjectName("UncheckAllBtn");
  UncheckAllBtn->setProperty("tag", 1);
  for (QPushButton* B : {CheckAllBtn, UncheckAllBtn})
    connect(B, &QPushButton::clicked, this, [this, B] {
      const bool Checked = B->property("tag").toInt() == 0;
      for (int i = 0; i < ArchivesCheckList->count(); ++i)
        ArchivesCheckList->item(i)->setCheckState(Checked ? Qt::Checked : Qt::Unchecked);
    });
  ProcessSubArchivesCheck = new QCheckBox("&Process subarchives", this);
  ProcessSubArchivesCheck->setObjectName("ProcessSubArchivesCheck");
  ProcessSubArchivesCheck->setChecked(true);
  SkipEncryptedArchivesCheck = new QCheckBox("S&kip password-protected archives", this);
  SkipEncryptedArchivesCheck->setObjectName("SkipEncryptedArchivesCheck");
  // Grayed is shown, never reached by a click: from grayed a click ticks the box, then clicks alternate.
  connect(SkipEncryptedArchivesCheck, &QCheckBox::clicked, this, [this] {
    SkipState = TArchiveOptionsPage::ClickSkipBox(SkipState);
    ShowSkipState();
  });
  auto* lMaxSize = new QLabel("Skip &archives larger than:", this);
  lMaxSize->setObjectName("lMaxSize");
  MaxSizeEdit = new QLineEdit(this);
  MaxSizeEdit->setObjectName("MaxSizeEdit");
  MaxSizeEdit->setFixedWidth(42);
  lMaxSize->setBuddy(MaxSizeEdit);
  connect(MaxSizeEdit, &QLineEdit::editingFinished, this, [this] { NormalizeMaxSize(); });
  auto* lMb = new QLabel("Mb", this);
  lMb->setObjectName("lMb");
  Grid->addWidget(lArchives, 0, 0, 1, 3);
  Grid->addWidget(ArchivesCheckList, 1, 0, 3, 2);
  Grid->addWidget(CheckAllBtn, 1, 2);
  Grid->addWidget(UncheckAllBtn, 2, 2);
  Grid->addWidget(ProcessSubArchivesCheck, 4, 0, 1, 3);
  Grid->addWidget(SkipEncryptedArchivesCheck, 5, 0, 1, 3);
  Grid->addWidget(lMaxSize, 6, 0);
  Grid->addWidget(MaxSizeEdit, 6, 1);
  Grid->addWidget(lMb, 6, 2);
}

void TArchiveOptions::LoadArchiveList(const TMultiLang* Languages) {
  const std::vector<std::u16string> Captions = ArchiveListCaptions(Languages);
  // Existing rows are reused in order, so a language change only renames and re-checks them.
  for (size_t i = 0; i < Captions.size(); ++i) {
    QListWidgetItem* Item = static_cast<int>(i) < ArchivesCheckList->count()
                                ? ArchivesCheckList->item(static_cast<int>(i))
                                : new QListWidgetItem(ArchivesCheckList);
    Item->setText(QString::fromStdU16String(Captions[i]));
    Item->setFlags(Item->flags() | Qt::ItemIsUserCheckable);
    Item->setCheckState(ArcInfos[static_cast<int>(i) + kFirstDecodedKind].Enabled ? Qt::Checked
                                                                                  : Qt::Unchecked);
  }
}

void TArchiveOptions::LoadPage(const TMultiLang* Languages, int32_t& PasswordAskMode) {
  AskMode = &PasswordAskMode;
  TArchivePageValues V;
  Page.LoadPage(Languages, PasswordAskMode, V);
  LoadArchiveList(Languages);
  ProcessSubArchivesCheck->setChecked(V.ProcessSubArchives);
  SkipState = V.SkipEncrypted;
  ShowSkipState();
  MaxSizeEdit->setText(QString::fromStdU16String(V.MaxSize));
}

TArchivePageValues TArchiveOptions::Values() const {
  TArchivePageValues V;
  for (int i = 0; i < ArchivesCheckList->count(); ++i)
    V.Checked.push_back(ArchivesCheckList->item(i)->checkState() == Qt::Checked);
  V.ProcessSubArchives = ProcessSubArchivesCheck->isChecked();
  V.SkipEncrypted = SkipState;
  V.MaxSize = MaxSizeEdit->text().toStdU16String();
  return V;
}

void TArchiveOptions::ShowSkipState() {
  SkipEncryptedArchivesCheck->setTristate(SkipState == csGrayed);
  SkipEncryptedArchivesCheck->setCheckState(SkipState == csGrayed    ? Qt::PartiallyChecked
                                            : SkipState == csChecked ? Qt::Checked
                                                                     : Qt::Unchecked);
}

void TArchiveOptions::SavePage() {
  int32_t Unused = 0;
  Page.SavePage(Values(), AskMode != nullptr ? *AskMode : Unused);
}

void TArchiveOptions::NormalizeMaxSize() {
  MaxSizeEdit->setText(
      QString::number(TArchiveOptionsPage::GetMaxSizeMb(MaxSizeEdit->text().toStdU16String())));
}
