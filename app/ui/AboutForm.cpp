#include "app/ui/AboutForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/MsgStr.h"
#include "app/ui/Pictures.h"
#include "app/ui/SysInfoForm.h"

namespace {

// The contact text wraps at this width; the box grows downwards to show all of it.
constexpr int kContactWidth = 340;

// The maker's page, which the name below the notice links to.
constexpr char kMakerLink[] = "<a href=\"https://scryline.example.org/\">Quorvane</a>";

}  // namespace

TAbout::TAbout(QWidget* Parent) : QDialog(Parent), Lang_(this, "TAbout") {
  setObjectName("About");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setStyleSheet("TAbout { background: white; }");
  auto* Layout = new QVBoxLayout(this);
  Layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* I = new QLabel(this);
  I->setObjectName("I");
  I->setPixmap(AboutPicture());
  LBuild = new QLabel(this);
  LBuild->setObjectName("lBuild");
  LBuild->setAlignment(Qt::AlignRight);
  if (const std::string Build = ProgramBuildNumber(); !Build.empty())
    LBuild->setText(QString("Build ") + QString::fromStdString(Build));
  PContact = new QLabel(this);
  PContact->setObjectName("pContact");
  PContact->setWordWrap(true);
  PContact->setFixedWidth(kContactWidth);
  PContact->setTextFormat(Qt::RichText);
  PContact->setOpenExternalLinks(true);
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
  for (QWidget* W : {static_cast<QWidget*>(I), static_cast<QWidget*>(LBuild), static_cast<QWidget*>(PContact),
                     static_cast<QWidget*>(Notice)})
    Layout->addWidget(W);
  Layout->addLayout(Row);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(SysInfoBtn, &QPushButton::clicked, this, [this] {
    if (SysInfo == nullptr) {
      SysInfo = new TSysInfo(this);
      SysInfo->Sources = Sources;
      if (Localize) Localize(SysInfo->LangForm());
    }
    SysInfo->exec();
  });
  LanguageChanged();
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
  PContact->setText(Html);
  // The label's height follows its wrapped text, so no line is cut off.
  PContact->setMinimumHeight(PContact->heightForWidth(kContactWidth));
}

void TAbout::showEvent(QShowEvent* Event) {
  LanguageChanged();
  QDialog::showEvent(Event);
}
