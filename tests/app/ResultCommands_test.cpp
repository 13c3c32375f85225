#include "app/ResultCommands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/MsgStr.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "platform/registry/RegStore.h"
#include "tests/TestFiles.h"
#include "tests/app/AppFixtures.h"

namespace {

TFoundFileInfo MakeInfo(const std::u16string& Name, bool InArchive, TScanEncoding Encoding = seAnsi) {
  TFoundFileInfo Info;
  Info.Name = Name;
  Info.InArchive = InArchive;
  Info.Encoding = Encoding;
  Info.Size = 20;
  return Info;
}

}  // namespace

TEST(ResultCommands, PreviewAskedTwiceDuringAConversionOpensOnceWhenItEnds) {
  TPendingPreview P;
  const TFoundFileInfo A = MakeInfo(u"/a.doc", false), B = MakeInfo(u"/b.doc", false);
  EXPECT_EQ(P.Request(false, A, false), TPendingPreview::prIgnored);
  EXPECT_EQ(P.Request(true, A, false), TPendingPreview::prOpenNow);
  EXPECT_EQ(P.Request(true, A, true), TPendingPreview::prDeferred);
  EXPECT_EQ(P.Request(true, B, true), TPendingPreview::prIgnored);
  TFoundFileInfo Out;
  EXPECT_FALSE(P.BusyChanged(true, Out));
  EXPECT_TRUE(P.BusyChanged(false, Out));
  EXPECT_EQ(Out.Name, u"/a.doc");
  EXPECT_FALSE(P.BusyChanged(false, Out));
  EXPECT_FALSE(P.PreviewPending);
}

TEST(ResultCommands, PreviewConvertsNameHitsOfConvertingSearchesOnly) {
  const TFoundFileInfo Name = MakeInfo(u"/a", false, seFileName), Content = MakeInfo(u"/a", false, seAnsi);
  EXPECT_TRUE(PreviewConvert(true, true, Content, smScanContents));
  EXPECT_FALSE(PreviewConvert(true, false, Name, smConvert));
  EXPECT_TRUE(PreviewConvert(false, false, Name, smConvert | smScanContents));
  EXPECT_FALSE(PreviewConvert(false, true, Name, smScanContents));
  EXPECT_FALSE(PreviewConvert(false, true, Content, smConvert));
}

TEST(ResultCommands, NamesAndFolders) {
  struct Case {
    std::u16string Name;
    bool InArchive;
    std::u16string Folder;
  } Cases[] = {
      {u"/a/b.zip|x/y.txt", true, u"/a"},
      {u"/a/b.zip|in.zip|deep/z.txt", true, u"/a"},
      {u"/top.zip|z.txt", true, u"/"},
      {u"/home/u/notes:v2.txt", false, u"/home/u"},
      // A "|" in a plain file's name is part of the name.
      {u"/home/u/a|b.txt", false, u"/home/u"},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ContainingFolder(MakeInfo(C.Name, C.InArchive)), C.Folder) << Utf16ToUtf8(C.Name);
  EXPECT_EQ(ItemArchiveName(u"/a/b.zip|in.zip|deep/z.txt"), u"/a/b.zip|in.zip");
  EXPECT_EQ(ItemFileName(u"/a/b.zip|in.zip|deep/z.txt"), u"z.txt");
  EXPECT_EQ(ExtractDialogTitle(MakeInfo(u"/a/b.zip|x/y.txt", true)),
            FormatMsgW(TMsgIndex::ExtractItemAs_s, {std::u16string(u"y.txt")}));
}

TEST(ResultCommands, RowMenuPlans) {
  auto Ids = [](const std::vector<TResultMenuItem>& Menu) {
    std::vector<int32_t> R;
    for (const auto& I : Menu) R.push_back(I.Id);
    return R;
  };
  const TFoundFileInfo Item = MakeInfo(u"/a.zip|b", true), Plain = MakeInfo(u"/a.txt", false);
  EXPECT_EQ(Ids(PlanResultMenu(Item, u"Preview", true)),
            (std::vector<int32_t>{rmPreview, rmSummarizer, rmExtract, rmNone, rmOpenFolder}));
  // An archive item never gets the file's own entries; a plain file shows the program's first.
  EXPECT_EQ(Ids(PlanResultMenu(Plain, u"Preview", false)),
            (std::vector<int32_t>{rmPreview, rmNone, rmOpenFolder, rmNone, rmOpen, rmCopyPath}));
  EXPECT_EQ(PlanResultMenu(Plain, u"Preview", false)[2].Caption,
            GetMsgW(TMsgIndex::OpenFolderContainingItem));
}

TEST(ResultCommands, ExtractAnItemToAChosenFile) {
  TTempFolder Dir;
  const std::string Dest = Dir / "out.txt";
  const std::u16string Zip = Utf8ToUtf16(AppTestData("results/item.zip"));
  ExtractResultItem(MakeInfo(Zip + u"|docs/note.txt", true), Dest, nullptr);
  EXPECT_EQ(ReadFileBytes(Dest), "hello from the item\n");
  EXPECT_THROW(ExtractResultItem(MakeInfo(Zip + u"x|docs/note.txt", true), Dir / "none.txt", nullptr),
               Exception);
}

// An archive item with a "|" in its own name, beside the item b.txt of a folder "a": extracted by the
// row's path in parts, each gives its own bytes and offers its own name.
TEST(ResultCommands, ItemWithABarInItsNameIsExtractedByItsOwnPath) {
  TTempFolder Dir;
  const std::string Zip = AppTestData("results/bar.zip");
  struct TCase {
    std::string Item, Bytes;
    std::u16string Name;
  };
  for (const TCase& C : {TCase{"a|b.txt", "needle: the bar is in my name\n", u"a|b.txt"},
                         TCase{"a/b.txt", "needle: I lie in folder a\n", u"b.txt"}}) {
    TFoundFileInfo Info = MakeInfo(Utf8ToUtf16(Zip + "|" + C.Item), true);
    Info.ItemPath = {Zip, C.Item};
    EXPECT_EQ(ResultFileName(Info), C.Name);
    EXPECT_EQ(ContainingFolder(Info), Utf8ToUtf16(AppTestData("results")));
    const std::string Dest = Dir / "out.txt";
    ExtractResultItem(Info, Dest, nullptr);
    EXPECT_EQ(ReadFileBytes(Dest), C.Bytes) << C.Item;
  }
}

TEST(ResultCommands, SummarizerArguments) {
  EXPECT_EQ(SummarizerArguments("/t/QV1 x", true, true),
            (std::vector<std::string>{"/UNICODE=/t/QV1 x", "/DELETEINPUTFILE"}));
  EXPECT_EQ(SummarizerArguments("/a.txt", false, false), (std::vector<std::string>{"/a.txt"}));
}

TEST(ResultCommands, FindSummarizerReadsTheMachineKey) {
  TTempFolder User, Machine;
  TRegStore Store({User.Path, Machine.Path});
  SetRegStore(&Store);
  std::string Path;
  EXPECT_FALSE(FindSummarizer(Path));
  const std::string KeyFolder = Machine.Path + "/Quorvane/QVSynopta";
  std::filesystem::create_directories(KeyFolder);
  auto WriteExec = [&](const std::string& Exec) {
    std::ofstream F(KeyFolder + "/Exec.val", std::ios::binary);
    const uint32_t Type = REG_SZ;
    F.write(reinterpret_cast<const char*>(&Type), 4);
    F << Exec;
  };
  WriteExec(Machine.Path + "/bin/ext.so");
  EXPECT_FALSE(FindSummarizer(Path));  // the folder has no summarizer
  std::filesystem::create_directories(Machine.Path + "/bin");
  std::ofstream(Machine.Path + "/bin/QVSynopta") << "#!/bin/sh\n";
  EXPECT_TRUE(FindSummarizer(Path));
  EXPECT_EQ(Path, Machine.Path + "/bin/QVSynopta");
  WriteExec("");
  EXPECT_FALSE(FindSummarizer(Path));
  SetRegStore(nullptr);
}

// A fake program: records what the summarizer would get, and fails where a test says.
struct TFakeSummarizerEnv {
  bool ConvertOk = true;
  bool StartOk = true;
  std::string ConvertError;
  std::vector<std::string> Started;
  std::vector<std::u16string> Errors;
  std::string ExtractedTo;

  TSummarizerEnv Env() {
    TSummarizerEnv E;
    E.ExtractItem = [this](const std::string& Path, const std::string& Dest) {
      ExtractedTo = Dest;
      ExtractResultItem(MakeInfo(Utf8ToUtf16(Path), true), Dest, nullptr);
    };
    E.Convert = [this](TSummarizerEnv::TConversion& C) {
      if (!ConvertOk) {
        C.ErrorText = ConvertError;
        return false;
      }
      C.Text = "TEXT:" + ReadFileBytes(C.File);
      C.IsUnicode = true;
      return true;
    };
    E.Start = [this](const std::string& Program, const std::vector<std::string>& Args) {
      Started = Args;
      Started.insert(Started.begin(), Program);
      return StartOk;
    };
    E.ShowError = [this](const std::u16string& M) { Errors.push_back(M); };
    return E;
  }
};

TEST(ResultCommands, SummarizerGetsAPlainFileAsItIs) {
  TFakeSummarizerEnv Fake;
  EXPECT_TRUE(LaunchSummarizer("/opt/s/QVSynopta", MakeInfo(u"/d/a b.txt", false), false, true, Fake.Env()));
  EXPECT_EQ(Fake.Started, (std::vector<std::string>{"/opt/s/QVSynopta", "/d/a b.txt"}));
}

TEST(ResultCommands, SummarizerTemporaryFilesAreLeftOnlyToAStartedSummarizer) {
  const std::u16string Item = Utf8ToUtf16(AppTestData("results/item.zip")) + u"|docs/note.txt";
  // Converted on an empty pattern: extracted, converted to a text file the summarizer deletes.
  {
    TFakeSummarizerEnv Fake;
    ASSERT_TRUE(LaunchSummarizer("/s", MakeInfo(Item, true), true, true, Fake.Env()));
    ASSERT_EQ(Fake.Started.size(), 3u);
    EXPECT_EQ(Fake.Started[2], "/DELETEINPUTFILE");
    const std::string TextFile = Fake.Started[1].substr(std::string("/UNICODE=").size());
    EXPECT_EQ(ReadFileBytes(TextFile), "TEXT:hello from the item\n");
    EXPECT_FALSE(FileExists(Fake.ExtractedTo));  // the extracted item is gone
    ForceDeleteFile(TextFile);
  }
  // A failed conversion shows the converter's text, or the catalogue's, and leaves no temporary file.
  for (const std::string& Error : {std::string("broken"), std::string()}) {
    TFakeSummarizerEnv Fake;
    Fake.ConvertOk = false;
    Fake.ConvertError = Error;
    EXPECT_FALSE(LaunchSummarizer("/s", MakeInfo(Item, true), true, true, Fake.Env()));
    ASSERT_EQ(Fake.Errors.size(), 1u);
    if (Error.empty())
      EXPECT_EQ(Fake.Errors[0], FormatMsgW(TMsgIndex::FileConvError_s, {Utf8ToUtf16(Fake.ExtractedTo)}));
    else
      EXPECT_EQ(Fake.Errors[0], u"broken");
    EXPECT_FALSE(FileExists(Fake.ExtractedTo));
    EXPECT_TRUE(Fake.Started.empty());
  }
  // A failed extraction leaves no temporary file either.
  {
    TFakeSummarizerEnv Fake;
    const std::u16string Missing = Utf8ToUtf16(AppTestData("results/none.zip")) + u"|docs/note.txt";
    EXPECT_FALSE(LaunchSummarizer("/s", MakeInfo(Missing, true), false, false, Fake.Env()));
    EXPECT_EQ(Fake.Errors.size(), 1u);
    EXPECT_FALSE(Fake.ExtractedTo.empty());
    EXPECT_FALSE(FileExists(Fake.ExtractedTo));
  }
  // A summarizer that does not start: the error names it and the file is deleted.
  {
    TFakeSummarizerEnv Fake;
    Fake.StartOk = false;
    EXPECT_FALSE(LaunchSummarizer("/s", MakeInfo(Item, true), false, false, Fake.Env()));
    EXPECT_EQ(Fake.Errors,
              std::vector<std::u16string>{FormatMsgW(TMsgIndex::ExecuteError_s, {std::u16string(u"/s")})});
    EXPECT_FALSE(FileExists(Fake.ExtractedTo));
  }
}

TEST(ResultCommands, PreviewMenuCaptions) {
  EXPECT_EQ(PreviewMenuCaption(u"/a/R&D.txt"), u" /a/R&&D.txt");
  EXPECT_LE(PreviewMenuCaption(u"/" + std::u16string(200, u'x') + u"/f.txt").size(), 1u + 80u);
  std::vector<std::u16string> Captions;
  for (int I = 0; I < 38; ++I) Captions.push_back(PreviewMenuCaption(u"/f" + Utf8ToUtf16(std::to_string(I))));
  RenumberPreviewCaptions(Captions);
  EXPECT_EQ(Captions[0], u"0 /f0");
  EXPECT_EQ(Captions[9], u"9 /f9");
  EXPECT_EQ(Captions[10], u"A /f10");
  EXPECT_EQ(Captions[35], u"Z /f35");
  EXPECT_EQ(Captions[36], u"  /f36");
  // Renumbering again after a window closed keeps the names.
  Captions.erase(Captions.begin());
  RenumberPreviewCaptions(Captions);
  EXPECT_EQ(Captions[0], u"0 /f1");
  EXPECT_EQ(Captions[35], u"Z /f36");
  EXPECT_EQ(Captions[36], u"  /f37");
}
