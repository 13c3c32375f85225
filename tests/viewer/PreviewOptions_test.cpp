// Numbers typed into the preview options: clamped into range, kept when not a number, and carried by the
// saved settings value.
#include "viewer/PreviewOptions.h"

#include <gtest/gtest.h>

#include "app/Options.h"

namespace {

TEST(PreviewOptions, NumbersClampedOrKept) {
  struct TCase {
    const char16_t* Text;
    int32_t Lo, Hi;
    uint8_t Old, New;
    bool Changed;
  };
  const TCase Cases[] = {
      {u"0", 1, 16, 8, 1, true},
      {u"99", 1, 16, 8, 16, true},
      {u"x", 1, 16, 8, 8, false},
      {u"", 1, 16, 8, 8, false},
      {u" 4 ", 1, 16, 8, 4, true},
      {u"8", 1, 16, 8, 8, false},
      {u"100", 0, 64, 16, 64, true},
      {u"-5", 0, 64, 16, 0, true},
      {u"+7", 0, 64, 16, 7, true},
      {u"3x", 0, 64, 16, 16, false},
      {u"99999999999", 0, 64, 16, 16, false},
      {u"-", 0, 64, 16, 16, false},
  };
  for (const TCase& C : Cases) {
    uint8_t V = C.Old;
    EXPECT_EQ(CommitNumberText(C.Text, C.Lo, C.Hi, V), C.Changed);
    EXPECT_EQ(V, C.New);
  }
}

TEST(PreviewOptions, EditsCommittedAndSaved) {
  TSettings S;
  SetDefaultOptions(S);
  S.ViewOptions.TabSize = 8;
  S.ViewOptions.GutterWidth = 16;
  S.ViewOptions.PageMode = 0;
  EXPECT_FALSE(CommitPreviewEdits(S.ViewOptions, u"8", u"16", 0));
  EXPECT_FALSE(CommitPreviewEdits(S.ViewOptions, u"x", u"y", 5));
  EXPECT_TRUE(CommitPreviewEdits(S.ViewOptions, u"0", u"100", 2));
  EXPECT_EQ(S.ViewOptions.TabSize, 1);
  EXPECT_EQ(S.ViewOptions.GutterWidth, 64);
  EXPECT_EQ(S.ViewOptions.PageMode, 2);
  // The saved value carries them.
  TSettings Read;
  SetDefaultOptions(Read);
  ASSERT_EQ(CheckOptionsValue(EncodeOptions(S)), TOptionsCheck::Ok);
  DecodeOptions(EncodeOptions(S), Read);
  EXPECT_EQ(Read.ViewOptions, S.ViewOptions);
}

}  // namespace
