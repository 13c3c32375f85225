#include "app/ui/SysInfoForm.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TSysInfo::TSysInfo(QWidget* Parent) : QDialog(Parent) {
  setObjectName("SysInfo");
  setWindowTitle("System Information");
  setSizeGripEnabled(true);
  auto* Layout = new QVBoxLayout(this);
  InfoMemo = new QPlainTextEdit(this);
  InfoMemo->setObjectName("InfoMemo");
  InfoMemo->setReadOnly(true);
  InfoMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  Layout->addWidget(InfoMemo);
  auto* Row = new QHBoxLayout;
  auto* CopyToClipBtn = new QPushButton("&Clipboard Copy", this);
  CopyToClipBtn->setObjectName("CopyToClipBtn");
  auto* OKBtn = new QPushButton("OK", this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  Row->addWidget(CopyToClipBtn);
  Row->addStretch();
  Row->addWidget(OKBtn);
  Layout->addLayout(Row);
  // The whole report goes to the clipboard as Unicode text, so no name or path loses characters.
  connect(CopyToClipBtn, &QPushButton::clicked, this,
          [this] { QGuiApplication::clipboard()->setText(InfoMemo->toPlainText()); });
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  resize(560, 420);
}

void TSysInfo::BuildReport() {
  TSysInfoSources S;
  if (Sources) {
    S = Sources();
  } else {
    const QScreen* Screen = QGuiApplication::primaryScreen();
    S = CollectSysInfoSources(nullptr, Screen != nullptr ? Screen->depth() : 0);
  }
  QStringList Lines;
  for (const std::string& L : BuildSystemReport(S)) Lines << QString::fromStdString(L);
  InfoMemo->setPlainText(Lines.join('\n'));
}

void TSysInfo::showEvent(QShowEvent* Event) {
  BuildReport();
  QDialog::showEvent(Event);
}
