#include "search/PathsStg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The component texts of a node, from below the root down to it.
std::vector<std::u16string> Components(const TPathsStorage& S, const TPathNode* Node) {
  std::vector<std::u16string> Out;
  for (; Node != nullptr && Node != S.GetRoot(); Node = Node->Parent)
    Out.insert(Out.begin(), S.GetPath(Node, false));
  return Out;
}

bool IsNarrowName(const TPathNode* Node) { return (Node->Name & 1) != 0; }

TEST(PathsStorage, AddsEachDistinctPathOnceAndGivesItBack) {
  struct Case {
    std::u16string Path;
    bool IsNew;
    int SameNodeAs;  // index of an earlier case that must give the same node, or -1
  };
  const std::vector<Case> Cases = {
      {u"/a/x.txt", true, -1},
      {u"/a/x.txt", false, 0},  // repeated at once (the last-path shortcut)
      {u"/a/X.txt", true, -1},  // differs in case only: another file
      {u"/A/x.txt", true, -1},
      {u"/a/y.txt", true, -1},  // same folder as before
      {u"/a/x.txt", false, 0},  // back to an earlier file of the folder
      {u"/b/x.txt", true, -1},
      {u"/a/X.txt", false, 2},          // a folder met before, from the root again
      {u"/z.zip|dir/f.txt", true, -1},  // an archive item
      {u"/z.zip|dir/F.txt", true, -1},
      {u"/z.zip", true, -1},  // the archive itself is a file of its own
      {u"/a/", true, -1},     // a path ending in a separator: its last component is empty
      {u"/a/ä.txt", true, -1},
      {u"/a/Ä.txt", true, -1},
      {u"/a/ä.txt", false, 12},
  };
  TPathsStorage S;
  std::vector<TPathNode*> Nodes;
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Path.begin(), C.Path.end()));
    bool IsNew;
    TPathNode* Node = S.AddPath(C.Path, IsNew);
    ASSERT_NE(Node, nullptr);
    EXPECT_EQ(IsNew, C.IsNew);
    if (C.SameNodeAs >= 0) {
      EXPECT_EQ(Node, Nodes[static_cast<size_t>(C.SameNodeAs)]);
    }
    for (size_t I = 0; I < Nodes.size(); ++I) {
      if (Cases[I].Path != C.Path) {
        EXPECT_NE(Node, Nodes[I]);
      }
    }
    EXPECT_EQ(S.GetPath(Node, true), C.Path);
    Nodes.push_back(Node);
  }
  // Every path is found again as its own node, and the duplicate filter answers null for each.
  for (size_t I = 0; I < Cases.size(); ++I) {
    EXPECT_EQ(S.Find(Cases[I].Path), Nodes[I]);
    EXPECT_EQ(S.AddIfNew(Cases[I].Path), nullptr);
  }
  for (const char16_t* Missing : {u"/a/x.TXT", u"/a/x", u"/c/x.txt", u"/z.zip|dir/f.txT", u"/a", u""})
    EXPECT_EQ(S.Find(Missing), nullptr);
}

TEST(PathsStorage, CutsPathsAfterFolderAndArchiveSeparators) {
  TPathsStorage S;
  TPathNode* Item = S.Add(u"/z.zip|dir/f.txt");
  EXPECT_EQ(Components(S, Item), (std::vector<std::u16string>{u"/", u"z.zip|", u"dir/", u"f.txt"}));
  TPathNode* Nested = S.Add(u"/o.zip|in.tar|a\\b:c.txt");  // "\" and ":" are ordinary characters
  EXPECT_EQ(Components(S, Nested), (std::vector<std::u16string>{u"/", u"o.zip|", u"in.tar|", u"a\\b:c.txt"}));
  EXPECT_EQ(Item->Parent->Parent->Parent, Nested->Parent->Parent->Parent);  // one root folder "/"
}

TEST(PathsStorage, KeepsAsciiComponentsInEightBitsAndOthersInUtf16) {
  TPathsStorage S;
  TPathNode* Node = S.Add(u"/Ordner/Ä€.txt");
  EXPECT_FALSE(IsNarrowName(Node));
  EXPECT_TRUE(IsNarrowName(Node->Parent));
  EXPECT_EQ(S.GetPath(Node, false), u"Ä€.txt");
  EXPECT_EQ(S.GetPath(Node, true), u"/Ordner/Ä€.txt");
}

TEST(PathsStorage, NumbersFoldersBeforeTheirEntriesAndSiblingsWithoutCaseThenExactly) {
  TPathsStorage S;
  // Added out of order, in 8-bit and UTF-16 forms mixed.
  const std::vector<std::u16string> Added = {u"/d/Zebra.txt", u"/d/apple.txt", u"/e/x",     u"/d/äpfel.txt",
                                             u"/d/a.txt",     u"/d/Äpfel.txt", u"/d/A.txt", u"/d/sub/b"};
  std::vector<TPathNode*> Nodes;
  for (const auto& P : Added) Nodes.push_back(S.Add(P));
  EXPECT_FALSE(S.IsNumbered());
  S.NumberNodes();
  EXPECT_TRUE(S.IsNumbered());

  // Tree order: "/d/" and everything below it, then "/e/". Siblings without case ("." before letters,
  // "ä" with "a"), and names equal without case by their code units (A before a, Ä before ä).
  const std::vector<std::u16string> Expected = {u"/d/A.txt",     u"/d/a.txt",     u"/d/Äpfel.txt",
                                                u"/d/äpfel.txt", u"/d/apple.txt", u"/d/sub/b",
                                                u"/d/Zebra.txt", u"/e/x"};
  std::vector<TPathNode*> Sorted;
  for (const auto& P : Expected) Sorted.push_back(S.Find(P));
  for (size_t I = 1; I < Sorted.size(); ++I) {
    SCOPED_TRACE(std::string(Expected[I].begin(), Expected[I].end()));
    EXPECT_LT(Sorted[I - 1]->Order, Sorted[I]->Order);
    EXPECT_LT(S.CompareNodes(Sorted[I - 1], Sorted[I]), 0);
    EXPECT_GT(S.CompareNodes(Sorted[I], Sorted[I - 1]), 0);
  }
  // A folder precedes its entries.
  EXPECT_LT(S.Find(u"/d/A.txt")->Parent->Order, S.Find(u"/d/A.txt")->Order);
  EXPECT_EQ(S.CompareItems(Nodes[0], Nodes[0]), 0);

  // A new node invalidates the numbering; the next comparison numbers again.
  S.Add(u"/d/0.txt");
  EXPECT_FALSE(S.IsNumbered());
  EXPECT_LT(S.CompareNodes(S.Find(u"/d/0.txt"), S.Find(u"/d/A.txt")), 0);
  EXPECT_TRUE(S.IsNumbered());
  // A path already stored changes nothing.
  S.Add(u"/d/A.txt");
  EXPECT_TRUE(S.IsNumbered());
}

TEST(PathsStorage, LongComponentsCompareLikeShortOnes) {
  // Past the stack buffer of the comparison (file names may be up to 255 bytes; archive items longer).
  const std::u16string Long(300, u'n');
  const std::u16string LongUpper(300, u'N');
  TPathsStorage S;
  TPathNode* A = S.Add(u"/" + Long);
  TPathNode* B = S.Add(u"/" + LongUpper);
  TPathNode* C = S.Add(u"/" + Long + u"x");
  EXPECT_NE(A, B);
  EXPECT_EQ(S.Find(u"/" + Long), A);
  EXPECT_EQ(S.Find(u"/" + LongUpper), B);
  EXPECT_LT(S.CompareNodes(B, A), 0);
  EXPECT_LT(S.CompareNodes(A, C), 0);
}

TEST(PathsStorage, PathWithoutSeparatorOrEmptyWorksOnAFreshOrClearedStorage) {
  // The folder cache starts empty; a path without folder must not continue from a missing node.
  for (int Round = 0; Round < 2; ++Round) {
    TPathsStorage S;
    if (Round == 1) {
      S.Add(u"/a/b");
      S.Clear();
      EXPECT_EQ(S.NodeCount(), 1);
      EXPECT_EQ(S.Find(u"/a/b"), nullptr);
    }
    bool IsNew;
    TPathNode* Empty = S.AddPath(u"", IsNew);
    ASSERT_NE(Empty, nullptr);
    EXPECT_TRUE(IsNew);
    TPathNode* X = S.AddPath(u"x", IsNew);
    ASSERT_NE(X, nullptr);
    EXPECT_TRUE(IsNew);
    EXPECT_EQ(X->Parent, S.GetRoot());
    EXPECT_EQ(S.AddPath(u"", IsNew), Empty);
    EXPECT_FALSE(IsNew);
    EXPECT_EQ(S.GetPath(X, true), u"x");
  }
}

TEST(PathsStorage, DeepPathsNeedNoDeepRecursion) {
  std::u16string Path;
  for (int I = 0; I < 20000; ++I) Path += u"d/";
  Path += u"f";
  TPathsStorage S;
  TPathNode* Node = S.Add(Path);
  TPathNode* Other = S.Add(u"/x");
  EXPECT_EQ(S.GetPath(Node, true), Path);
  // Root 0, "/" 1, "x" 2 ("/" sorts before "d/"), then the 20,000 folders and the file.
  EXPECT_LT(S.CompareNodes(Other, Node), 0);
  EXPECT_EQ(Node->Order, 20003);
}

}  // namespace
