#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>

#include "app/MultiLan.h"
#include "app/ui/PasswordForm.h"
#include "app/ui/QtLang.h"
#include "app/ui/SelectPathsForm.h"
#include "core/FileLayer.h"

TEST(DialogLanguages, LanguageFilesReachTheDialogsControlsByName) {
  TEnterPassword Password;
  TSelectPaths Paths;
  TQtLangScreen Screen;
  Screen.Forms = {&Password.LangForm(), &Paths.LangForm()};
  TMultiLang Languages(&Screen);
  Languages.AddLanguage("English", 1);
  const int32_t German =
      Languages.LoadLanguageFile(Utf8ToUtf16(std::string(SCRYLINE_TEST_DATA) + "/lng/qvsrchde.lng"));
  Languages.SetLanguageIndex(German);
  EXPECT_EQ(Password.windowTitle(), "Kennwort eingeben");
  EXPECT_EQ(Password.findChild<QPushButton*>("OKBtn")->text(), "Weiter");
  EXPECT_EQ(Password.ShowPWDCheck->text(), "&Kennwort zeigen");
  EXPECT_EQ(Paths.RecursCheck->text(), "&Unterordner");
  // Back to the designed texts.
  Languages.SetLanguageIndex(0);
  EXPECT_EQ(Password.windowTitle(), "Enter Password");
  EXPECT_EQ(Password.ShowPWDCheck->text(), "&Show password");
  EXPECT_EQ(Paths.RecursCheck->text(), "Su&bdirectories");
}
