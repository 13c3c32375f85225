// Window placement, the splitter clamp, the logic box's items, the mask and path validation with the
// user's consent, and the size boxes.
#include "app/VVCLUtil.h"

#include <gtest/gtest.h>

#include "app/Startup.h"
#include "core/StrUtils.h"
#include "tests/app/LogCapture.h"

namespace {

TEST(FormUtils, FitRectToScreen) {
  struct Case {
    TRect32 In, Out;
  };
  const Case Cases[] = {
      {{0, 0, 20, 20}, {0, 0, 112, 56}},           {{100, 100, 500, 400}, {100, 100, 500, 400}},
      {{-50, -20, 350, 280}, {0, 0, 400, 300}},    {{900, 700, 1300, 1000}, {624, 468, 1024, 768}},
      {{0, 0, 3000, 2000}, {-14, -14, 1024, 768}},  // at most 14 larger: its frame just off the screen
  };
  for (const auto& C : Cases) {
    TRect32 R = C.In;
    FitRectToScreen(R, 1024, 768);
    EXPECT_EQ(R, C.Out) << C.In.Left << "," << C.In.Top;
  }
}

TEST(FormUtils, ClampSplitterKeepsTheMinimumWhenBoundsCross) {
  EXPECT_EQ(ClampSplitter(1000, 280, 308, 500), 500);
  EXPECT_EQ(ClampSplitter(1000, 280, 308, 100), 280);
  EXPECT_EQ(ClampSplitter(1000, 280, 308, 900), 692);
  EXPECT_EQ(ClampSplitter(400, 280, 308, 300), 280);
}

TEST(FormUtils, LogicItemsKeepAValidIndex) {
  int32_t Index = 2;
  EXPECT_EQ(LogicComboItems(true, Index).size(), 3u);
  EXPECT_EQ(Index, 2);
  EXPECT_EQ(LogicComboItems(false, Index),
            (std::vector<std::u16string>{GetMsgW(TMsgIndex::OrLogic), GetMsgW(TMsgIndex::AndLogic)}));
  EXPECT_EQ(Index, 0);
  Index = 1;
  LogicComboItems(false, Index);
  EXPECT_EQ(Index, 1);
}

TEST(FormUtils, ValidateMaskListAsksOnceAndDropsEveryInvalidMask) {
  TDialogScript Script;
  std::u16string Text = u"txt a|b doc c:d";
  EXPECT_TRUE(ValidateMaskList(Text));
  ASSERT_EQ(Script.Shown.size(), 1u);
  EXPECT_EQ(Script.Shown[0].Text,
            WideAddPeriod(FormatMsgW(TMsgIndex::AskDelInvMasks_s, {std::u16string(u"a|b")})));
  EXPECT_EQ(Script.Shown[0].DlgType, mtError);
  EXPECT_EQ(Text, u"*.txt;*.doc");

  Script.Answers = {mrNo};
  Text = u"txt a|b";
  EXPECT_FALSE(ValidateMaskList(Text));
  EXPECT_EQ(Text, u"txt a|b");
}

TEST(FormUtils, ValidatePathListDropsRelativePaths) {
  TDialogScript Script;
  std::u16string Text = u"/home/u rel/x /tmp";
  EXPECT_TRUE(ValidatePathList(Text));
  EXPECT_EQ(Script.Shown.size(), 1u);
  EXPECT_EQ(Text, u"/home/u;/tmp");
  Script.Shown.clear();
  Text = u"/only/good";
  EXPECT_TRUE(ValidatePathList(Text));
  EXPECT_TRUE(Script.Shown.empty());
}

TEST(FormUtils, SizeEditText) {
  EXPECT_EQ(NormalizeSizeEditText(u" 12 "), u"12");
  EXPECT_EQ(NormalizeSizeEditText(u"007"), u"7");
  EXPECT_EQ(NormalizeSizeEditText(u"-3"), u"");
  EXPECT_EQ(NormalizeSizeEditText(u"x"), u"");
  EXPECT_EQ(NormalizeSizeEditText(u""), u"");
}

}  // namespace

namespace {

TEST(FormUtils, LinkTargets) {
  const std::u16string Dir = u"/opt/scry/";
  EXPECT_EQ(LinkTarget(u"help@example.org", Dir), u"mailto:help@example.org");
  EXPECT_EQ(LinkTarget(u"www.example.org", Dir), u"http://www.example.org");
  EXPECT_EQ(LinkTarget(u"/usr/share/doc/x.html", Dir), u"/usr/share/doc/x.html");
  EXPECT_EQ(LinkTarget(u"readme.txt", Dir), u"/opt/scry/readme.txt");
}

TEST(FormUtils, FirstAvailableFontAndVersionText) {
  auto Installed = [](const std::string& Name) { return Name == "DejaVu Sans" || Name == "Noto Sans"; };
  EXPECT_EQ(FirstAvailableFont({"Tahoma", "Noto Sans", "DejaVu Sans"}, Installed), "Noto Sans");
  EXPECT_EQ(FirstAvailableFont({"Tahoma"}, Installed), "");
  std::string Version, Build;
  EXPECT_FALSE(GetFileVersionText(u"/no/such/module.so", Version, Build));
  RegisterProgramVersion();
  ASSERT_TRUE(GetFileVersionText(u"/opt/scry/Scryline", Version, Build));
  EXPECT_EQ(Version, "0.1.0.0");
  EXPECT_EQ(Build, "0.1.0");
}

}  // namespace
