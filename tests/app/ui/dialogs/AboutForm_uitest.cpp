#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/ui/AboutForm.h"
#include "app/ui/SysInfoForm.h"
#include "tests/app/ui/dialogs/UiFixtures.h"

TEST(AboutForm, ShowsTheContactAndTheSystemReport) {
  TAbout A;
  ExpectObjectNames(&A, {"I", "lBuild", "pContact", "OKBtn", "SysInfoBtn", "lAllRights"});
  A.Sources = [] {
    TSysInfoSources S;
    S.SystemName = "Test system";
    S.CpuName = "Ünïcode CPU";
    return S;
  };
  WhenModal(
      [&](QDialog*) {
        EXPECT_FALSE(A.PContact->text().isEmpty());
        WhenModal(
            [&](QDialog* D) {
              auto* R = qobject_cast<TSysInfo*>(D);
              ASSERT_NE(R, nullptr);
              ExpectObjectNames(R, {"InfoMemo", "OKBtn", "CopyToClipBtn"});
              EXPECT_TRUE(R->InfoMemo->toPlainText().startsWith("Test system\n"));
              R->findChild<QPushButton*>("CopyToClipBtn")->click();
              // Copied as Unicode text: nothing is lost.
              EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("Central Processor: Ünïcode CPU"));
            },
            true);
        A.SysInfoBtn->click();
      },
      true);
  EXPECT_EQ(A.exec(), QDialog::Accepted);
}

// The box showed no picture and no build, and cut the contact text's last lines off.
TEST(AboutForm, PictureBuildAndTheWholeContactText) {
  TAbout A;
  A.show();
  QApplication::processEvents();
  auto* Picture = A.findChild<QLabel*>("I");
  ASSERT_NE(Picture, nullptr);
  EXPECT_FALSE(Picture->pixmap().isNull());
  EXPECT_GE(Picture->height(), Picture->pixmap().height());
  EXPECT_EQ(A.LBuild->text().toStdString(), "Build " + ProgramBuildNumber());
  // Every wrapped line of the contact text fits the label.
  EXPECT_GE(A.PContact->height(), A.PContact->heightForWidth(A.PContact->width()));
  EXPECT_TRUE(A.rect().contains(A.PContact->geometry()));
  A.close();
}
