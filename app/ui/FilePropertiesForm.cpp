#include "app/ui/FilePropertiesForm.h"

#include <QFormLayout>
#include <QLabel>
#include <QMimeDatabase>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/IO.h"
#include "app/MsgStr.h"
#include "app/Utils.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"

namespace {

QString Q(const std::u16string& S) { return QString::fromStdU16String(S); }

}  // namespace

TFilePropertiesForm::TFilePropertiesForm(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FileProperties");
  setWindowTitle("Properties");
  setAttribute(Qt::WA_DeleteOnClose);
  setSizeGripEnabled(true);
  auto* Layout = new QVBoxLayout(this);
  Rows_ = new QFormLayout;
  Rows_->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  Layout->addLayout(Rows_);
  Name_ = AddRow("NameLabel", "Name:");
  Folder_ = AddRow("FolderLabel", "Folder:");
  Type_ = AddRow("TypeLabel", "Type:");
  Target_ = AddRow("TargetLabel", "Link to:");
  Size_ = AddRow("SizeLabel", "Size (bytes):");
  Modified_ = AddRow("ModifiedLabel", "Modified:");
  Created_ = AddRow("CreatedLabel", "Created:");
  Accessed_ = AddRow("AccessedLabel", "Accessed:");
  Owner_ = AddRow("OwnerLabel", "Owner:");
  Permissions_ = AddRow("PermissionsLabel", "Permissions:");
  // Only the names may be long enough to wrap.
  for (QLabel* Long : {Name_, Folder_, Target_}) Long->setWordWrap(true);
  auto* Row = new QHBoxLayout;
  auto* OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  Row->addStretch();
  Row->addWidget(OKBtn);
  Layout->addStretch(1);
  Layout->addLayout(Row);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  resize(460, sizeHint().height());
}

QLabel* TFilePropertiesForm::AddRow(const char* Name, const char* Caption) {
  auto* Label = new QLabel(QString::fromUtf8(Caption), this);
  Label->setObjectName(QString::fromUtf8(Name));
  auto* Shown = new QLabel(this);
  // The values are the file's, not designed texts: they carry no name, and can be selected and copied.
  Shown->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Shown->setTextFormat(Qt::PlainText);
  Label->setBuddy(Shown);
  Rows_->addRow(Label, Shown);
  return Shown;
}

bool TFilePropertiesForm::ShowFile(const std::u16string& Path) {
  TFileProperties P;
  std::string Error;
  if (!ReadFileProperties(Path, P, Error)) {
    ShowErrorText(FormatMsgW(TMsgIndex::PathNotExists_s, {Path}) + u".\r\n" + Utf8ToUtf16(Error));
    return false;
  }
  Name_->setText(Q(P.Name));
  Folder_->setText(Q(P.Folder));
  // The type by the file's contents and name, as the desktop names it.
  QMimeDatabase Types;
  const QMimeType Type =
      P.IsFolder ? Types.mimeTypeForName(QStringLiteral("inode/directory")) : Types.mimeTypeForFile(Q(Path));
  Type_->setText(Type.comment().isEmpty() ? Type.name() : Type.comment() + " (" + Type.name() + ")");
  Rows_->labelForField(Target_)->setVisible(P.IsLink);
  Target_->setVisible(P.IsLink);
  Target_->setText(Q(P.LinkTarget));
  Size_->setText(QString::fromStdString(IntToStrGrouped(P.Size)));
  Modified_->setText(Q(FormatDateTimeText(P.Modified)));
  Created_->setText(Q(FormatDateTimeText(P.Created)));
  Accessed_->setText(Q(FormatDateTimeText(P.Accessed)));
  Owner_->setText(QString::fromStdString(P.Owner + " : " + P.Group));
  Permissions_->setText(QString::fromStdString(PermissionsText(P.Mode)));
  // The rows take the height their texts need (a long name or type wraps).
  const int Width = width();
  adjustSize();
  resize(std::max(Width, width()), heightForWidth(std::max(Width, width())) > 0
                                       ? heightForWidth(std::max(Width, width()))
                                       : sizeHint().height());
  return true;
}

QString TFilePropertiesForm::Value(const char* LabelName) const {
  const auto* Label = findChild<QLabel*>(QString::fromUtf8(LabelName));
  const auto* Shown = Label != nullptr ? qobject_cast<QLabel*>(Label->buddy()) : nullptr;
  return Shown != nullptr ? Shown->text() : QString();
}
