#include "app/ui/AboutForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/MsgStr.h"
#include "app/ui/SysInfoForm.h"

namespace {

// The program's build, as the build system sets it.
#ifndef SCRYLINE_BUILD
#define SCRYLINE_BUILD ""
#endif

// The maker's page, which the name below the notice links to.
constexpr char kMakerLink[] = "<a href=\"https://scryline.example.org/\">Quorvane</a>";

}  // namespace

TAbout::TAbout(QWidget* Parent) : QDialog(Parent), Lang(this, "TAbout") {
  setObjectName("About");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setStyleSheet("TAbout { background: white; }");
  auto* Layout = new QVBoxLayout(this);
  auto* I = new QLabel("Scryline", this);
  I->setObjectName("I");
  QFont Big = I->font();
  Big.setPointSize(Big.pointSize() * 2);
  Big.setBold(true);
  I->setFont(Big);
  lBuild = new QLabel(this);
  lBuild->setObjectName("lBuild");
  lBuild->setAlignment(Qt::AlignRight);
  if (*SCRYLINE_BUILD != '\0') lBuild->setText(QString("Build ") + SCRYLINE_BUILD);
  pContact = new QLabel(this);
  pContact->setObjectName("pContact");
  pContact->setWordWrap(true);
  pContact->setTextFormat(Qt::RichText);
  pContact->setOpenExternalLinks(true);
  auto* Notice = new QLabel(QString("Copyright \u00A9 ") + kMakerLink + ". All rights reserved.", this);
  Notice->setObjectName("lAllRights");
  Notice->setOpenExternalLinks(true);
  auto* Row = new QHBoxLayout;
  SysInfoBtn = new QPushButton("&System Info", this);
  SysInfoBtn->setObjectName("SysInfoBtn");
  OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  Row->addWidget(SysInfoBtn);
  Row->addStretch();
  Row->addWidget(OKBtn);
  for (QWidget* W : {static_cast<QWidget*>(I), static_cast<QWidget*>(lBuild), static_cast<QWidget*>(pContact),
                     static_cast<QWidget*>(Notice)})
    Layout->addWidget(W);
  Layout->addLayout(Row);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(SysInfoBtn, &QPushButton::clicked, this, [this] {
    if (SysInfo == nullptr) {
      SysInfo = new TSysInfo(this);
      SysInfo->Sources = Sources;
    }
    SysInfo->exec();
  });
}

void TAbout::LanguageChanged() {
  // Web and mail addresses in the contact text become links.
  const QString Text = QString::fromStdU16String(GetMsgW(TMsgIndex::Contact));
  static const QRegularExpression Address(R"(https?://[^\s<>"]+|[\w.+-]+@[\w-]+(\.[\w-]+)+)");
  QString Html;
  qsizetype Done = 0;
  for (auto It = Address.globalMatch(Text); It.hasNext();) {
    const QRegularExpressionMatch M = It.next();
    const QString Target = M.captured(0);
    Html += Text.mid(Done, M.capturedStart() - Done).toHtmlEscaped();
    const QString Href = Target.contains("://") ? Target : "mailto:" + Target;
    Html += "<a href=\"" + Href.toHtmlEscaped() + "\">" + Target.toHtmlEscaped() + "</a>";
    Done = M.capturedEnd();
  }
  Html += Text.mid(Done).toHtmlEscaped();
  pContact->setText(Html);
}

void TAbout::showEvent(QShowEvent* Event) {
  LanguageChanged();
  QDialog::showEvent(Event);
}
