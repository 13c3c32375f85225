#include "app/ui/EditMasksForm.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/ui/MessageDlg.h"

TEditMasks::TEditMasks(QWidget* Parent) : QDialog(Parent) {
  setObjectName("EditMasks");
  setWindowTitle("Edit Masks");
  auto* Row = new QHBoxLayout(this);
  MasksBox = new QListWidget(this);
  MasksBox->setObjectName("MasksBox");
  Row->addWidget(MasksBox);
  auto* Buttons = new QVBoxLayout;
  auto Make = [&](const char* Name, const char* Caption) {
    auto* B = new QPushButton(Caption, this);
    B->setObjectName(Name);
    Buttons->addWidget(B);
    return B;
  };
  QPushButton* AddBtn = Make("AddBtn", "&Add");
  QPushButton* DelBtn = Make("DelBtn", "&Delete");
  QPushButton* EditBtn = Make("EditBtn", "&Edit");
  QPushButton* ClearBtn = Make("ClearBtn", "&Clear");
  Buttons->addStretch();
  QPushButton* OK = Make("OKBtn", "OK");
  QPushButton* Cancel = Make("CancelBtn", "Cancel");
  OK->setDefault(true);
  Row->addLayout(Buttons);
  connect(AddBtn, &QPushButton::clicked, this, [this] { AddMask(); });
  connect(EditBtn, &QPushButton::clicked, this, [this] { EditMask(); });
  connect(MasksBox, &QListWidget::itemDoubleClicked, this, [this] { EditMask(); });
  connect(DelBtn, &QPushButton::clicked, this, [this] { DeleteMask(); });
  connect(ClearBtn, &QPushButton::clicked, this, [this] {
    List_.Clear();
    Fill(-1);
  });
  connect(OK, &QPushButton::clicked, this, &QDialog::accept);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
  AskMask = [](int32_t CaptionMsg, int32_t LabelMsg, std::u16string& Text) {
    return QueryString(CaptionMsg, LabelMsg, Text, nullptr, false);
  };
  ConfirmAnyFile = [] { return AskYesNo(TMsgIndex::AskMaskMatchesAnyFile); };
}

void TEditMasks::Fill(int32_t Selected) {
  MasksBox->clear();
  for (const auto& M : List_.Items()) MasksBox->addItem(QString::fromStdU16String(M));
  if (Selected >= 0) MasksBox->setCurrentRow(Selected);
}

void TEditMasks::AddMask() {
  std::u16string Text;
  if (!AskMask(static_cast<int32_t>(TMsgIndex::EnterMask), static_cast<int32_t>(TMsgIndex::EnterNewFileMask),
               Text))
    return;
  const int32_t Index = List_.PutMask(Text, -1, ConfirmAnyFile);
  if (Index >= 0) Fill(Index);
}

void TEditMasks::EditMask() {
  if (MasksBox->count() == 0) return;
  if (MasksBox->currentRow() < 0) MasksBox->setCurrentRow(0);
  const int32_t Row = MasksBox->currentRow();
  std::u16string Text = List_.Items()[static_cast<size_t>(Row)];
  if (!AskMask(static_cast<int32_t>(TMsgIndex::EditMask), static_cast<int32_t>(TMsgIndex::EditFileMask),
               Text))
    return;
  const int32_t Index = List_.PutMask(Text, Row, ConfirmAnyFile);
  if (Index >= 0) Fill(Index);
}

void TEditMasks::DeleteMask() {
  if (MasksBox->count() == 0) return;
  if (MasksBox->currentRow() < 0) {
    MasksBox->setCurrentRow(0);
    return;  // the first entry is selected first, as a delete without a choice
  }
  List_.Delete(MasksBox->currentRow());
  Fill(-1);
}

bool TEditMasks::Execute(std::u16string& MaskText) {
  List_.SetText(MaskText);
  Fill(-1);
  if (exec() != QDialog::Accepted) return false;
  MaskText = List_.Text();
  return true;
}
