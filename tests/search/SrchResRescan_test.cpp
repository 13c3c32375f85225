// The search within results: each stored row scanned again through the file scanner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "search/SrchRes.h"
#include "tests/search/FileScanTree.h"

namespace {

// An archive layer that takes nothing for an archive and records the items it is asked to read again.
class TRecordingArchives : public IArchiveWalk {
 public:
  struct TCall {
    std::u16string Path;
    int64_t Size;
    TDateTime Date;
  };
  bool IsEnabledArchiveName(const std::u16string&) override { return false; }
  TArchiveCheck CheckArchiveFile(const std::u16string&, TArchiveKind& Kind) override {
    Kind = akNone;
    return acNone;
  }
  bool ScanArchive(TFileScanner&, const std::u16string&, const std::u16string&, const TStrLst*, bool,
                   const TWideStrLst&) override {
    return true;
  }
  bool RescanArchiveItem(TFileScanner&, const std::u16string& Path, int64_t Size, TDateTime Date,
                         const std::vector<std::string>&) override {
    Calls.push_back({Path, Size, Date});
    return Answer;
  }
  std::vector<TCall> Calls;
  bool Answer = true;
};

TFoundFileInfo Row(const std::u16string& Name, int64_t Size = 1, TDateTime Date = 0, bool InArchive = false) {
  TFoundFileInfo I;
  I.Name = Name;
  I.Size = Size;
  I.Date = Date;
  I.InArchive = InArchive;
  return I;
}

class SearchInResultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Tree_.File("a.txt", "say hello");
    Tree_.File("b.txt", "nothing");
    Tree_.File("x|y.txt", "hello in a file whose name holds a bar");
    Log_.Attach(Scanner_, Tree_);
    Scanner_.Scanner.SetPattern(u"hello");
    Scanner_.Archives = &Archives_;
  }

  TScanTree Tree_;
  TFileScanner Scanner_;
  TRecordingArchives Archives_;
  TScanLog Log_;
  TSearchResults Results_;
};

TEST_F(SearchInResultsTest, PlainFilesAreReadAsTheyAreNowAndArchiveItemsGoToTheArchiveLayer) {
  const int64_t Big = int64_t{5} << 32;  // an item above 4 GB keeps its whole size
  Results_.Add(Row(Tree_.WidePath("b.txt")));
  Results_.Add(Row(Tree_.WidePath("z.zip") + u"|dir/f.txt", Big, 45000.5, true));
  Results_.Add(Row(Tree_.WidePath("a.txt"), 1));
  Results_.Add(Row(Tree_.WidePath("gone.txt")));
  Results_.Add(Row(Tree_.WidePath("x|y.txt")));  // a plain file, "|" or not
  Tree_.File("a.txt", "say hello again");        // grown since the search that found it

  EXPECT_TRUE(SearchInResults(Results_, Scanner_));

  EXPECT_EQ(Log_.Hits, (std::vector<std::string>{"a.txt", "x|y.txt"}));
  ASSERT_EQ(Log_.Infos.size(), 2u);
  EXPECT_EQ(Log_.Infos[0].Size, 15);
  EXPECT_FALSE(Log_.Infos[1].InArchive);
  EXPECT_EQ(Log_.ErrorsOf(sekPathNotFound).size() + Log_.ErrorsOf(sekOpenFailed).size(), 1u);
  ASSERT_EQ(Archives_.Calls.size(), 1u);
  EXPECT_EQ(Archives_.Calls[0].Path, Tree_.WidePath("z.zip") + u"|dir/f.txt");
  EXPECT_EQ(Archives_.Calls[0].Size, Big);
  EXPECT_EQ(Archives_.Calls[0].Date, 45000.5);
  EXPECT_EQ(Results_.Count(), 5);  // the table searched is only read
}

TEST_F(SearchInResultsTest, AStopAnswerEndsTheSearch) {
  Results_.Add(Row(Tree_.WidePath("a.txt")));
  Results_.Add(Row(Tree_.WidePath("z.zip") + u"|f.txt", 1, 0, true));
  Results_.Add(Row(Tree_.WidePath("x|y.txt")));
  Archives_.Answer = false;
  EXPECT_FALSE(SearchInResults(Results_, Scanner_));
  EXPECT_EQ(Log_.Hits, std::vector<std::string>{"a.txt"});
  EXPECT_EQ(Archives_.Calls.size(), 1u);

  // Stopped through the progress event at the first file.
  Log_ = TScanLog();
  Log_.Attach(Scanner_, Tree_);
  Scanner_.OnProgress = [](const std::u16string&, TScanProgressKind) { return false; };
  EXPECT_FALSE(SearchInResults(Results_, Scanner_));
  EXPECT_TRUE(Log_.Hits.empty());
}

TEST_F(SearchInResultsTest, RowsAddedToTheSearchedTableMeanwhileAreNotScanned) {
  // An owner that wrongly collects the new hits in the table being searched must not make it endless.
  Results_.Add(Row(Tree_.WidePath("a.txt")));
  int Found = 0;
  Scanner_.OnFound = [&](const TFoundFileInfo& Info) {
    ++Found;
    Results_.Add(Info);
  };
  EXPECT_TRUE(SearchInResults(Results_, Scanner_));
  EXPECT_EQ(Found, 1);
  EXPECT_EQ(Results_.Count(), 2);
}

}  // namespace
