#include "core/WSPDicFast.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/VStream.h"

using WSPDicFast::TNode;
using WSPDicFast::TWideStrPtrDic;
using WSPDicFast::TWSPNode;

namespace {

// A dictionary whose nodes are of a class of its own, counting the nodes it makes.
class TCountedNode : public TWSPNode {};

class TCountingDic : public TWideStrPtrDic {
 public:
  std::unique_ptr<TNode> CreateNode() const override {
    ++Made;
    return std::make_unique<TCountedNode>();
  }
  mutable int Made = 0;
};

// Insert-if-absent as the path storage does it; answers the value stored under Key.
void* InsertIfAbsent(TWideStrPtrDic& Dic, const std::u16string& Key, void* Value) {
  TWSPNode& Search = Dic.SearchNode();
  Search.SetKey(Key);
  TNode* Parent;
  if (Dic.FindNode(Search, Parent)) return static_cast<TWSPNode*>(Parent)->Value;
  Search.Value = Value;
  Dic.InsertNode(Search, Parent);
  return Value;
}

void* Num(intptr_t N) { return reinterpret_cast<void*>(N); }

std::vector<std::u16string> KeysInOrder(const TWideStrPtrDic& Dic) {
  std::vector<std::u16string> Keys;
  Dic.ForEachInOrder([&](TNode& N) { Keys.push_back(static_cast<TWSPNode&>(N).GetKey()); });
  return Keys;
}

// Red-black and search-tree invariants of the subtree below X; answers its black height.
int CheckSubtree(const TWideStrPtrDic& Dic, TNode* X, TNode* Parent, int& Count) {
  if (X == Dic.NilNode()) return 1;
  ++Count;
  EXPECT_EQ(X->Parent, Parent);
  if (X->Red) {
    EXPECT_FALSE(X->Left->Red);
    EXPECT_FALSE(X->Right->Red);
  }
  if (X->Left != Dic.NilNode()) {
    EXPECT_LT(Dic.CompareNodes(*X->Left, *X), 0);
  }
  if (X->Right != Dic.NilNode()) {
    EXPECT_GT(Dic.CompareNodes(*X->Right, *X), 0);
  }
  const int L = CheckSubtree(Dic, X->Left, X, Count);
  const int R = CheckSubtree(Dic, X->Right, X, Count);
  EXPECT_EQ(L, R);
  return L + (X->Red ? 0 : 1);
}

TEST(WSPDicFast, EmptyDictionaryLookupMakesOneLookupNodeAndReusesIt) {
  TCountingDic Dic;
  EXPECT_EQ(Dic.Count(), 0);
  EXPECT_EQ(Dic.GetRoot(), Dic.NilNode());
  EXPECT_EQ(Dic.FindPtr(u"x"), nullptr);
  EXPECT_EQ(Dic.Made, 1);
  EXPECT_EQ(Dic.FindPtr(u"y"), nullptr);
  EXPECT_EQ(Dic.FindPtr(nullptr), nullptr);
  EXPECT_EQ(Dic.Made, 1);
}

TEST(WSPDicFast, DescendantNodeClassServesTheScratchNodesAndTheTree) {
  TCountingDic Dic;
  EXPECT_NE(dynamic_cast<TCountedNode*>(&Dic.SearchNode()), nullptr);
  InsertIfAbsent(Dic, u"k", Num(1));
  Dic.ForEachInOrder([](TNode& N) { EXPECT_NE(dynamic_cast<TCountedNode*>(&N), nullptr); });
}

TEST(WSPDicFast, InsertMovesTheKeyAndLookupIgnoresCase) {
  TWideStrPtrDic Dic;
  EXPECT_EQ(InsertIfAbsent(Dic, u"Alpha", Num(7)), Num(7));
  EXPECT_EQ(Dic.SearchNode().KeyRef(), 0u);  // the block went into the tree node
  EXPECT_EQ(Dic.Count(), 1);

  // An existing key keeps its value; the scratch node keeps the key it was given.
  EXPECT_EQ(InsertIfAbsent(Dic, u"ALPHA", Num(8)), Num(7));
  EXPECT_EQ(Dic.SearchNode().GetKey(), u"ALPHA");
  EXPECT_EQ(Dic.Count(), 1);

  void** P = Dic.FindPtr(u"aLpHa");
  ASSERT_NE(P, nullptr);
  EXPECT_EQ(*P, Num(7));
  *P = Num(9);
  EXPECT_EQ(*Dic.FindPtr(u"ALPHA"), Num(9));
  EXPECT_EQ(KeysInOrder(Dic), std::vector<std::u16string>{u"Alpha"});
}

TEST(WSPDicFast, LookupKeepsNoReferenceToTheCallersText) {
  TWideStrPtrDic Dic;
  InsertIfAbsent(Dic, u"name", Num(1));
  {
    auto Text = std::make_unique<std::u16string>(u"NAME");
    ASSERT_NE(Dic.FindPtr(Text->c_str()), nullptr);
  }
  // The text is gone; the next insertion and the destructor must not touch it (sanitizers watch).
  InsertIfAbsent(Dic, u"other", Num(2));
  EXPECT_EQ(Dic.Count(), 2);
}

TEST(WSPDicFast, VisitsInKeyOrderAndRootFirst) {
  TWideStrPtrDic Dic;
  for (const char16_t* K : {u"b", u"A", u"c"}) InsertIfAbsent(Dic, K, Num(1));
  EXPECT_EQ(KeysInOrder(Dic), (std::vector<std::u16string>{u"A", u"b", u"c"}));
  std::vector<TNode*> Pre;
  Dic.ForEachPreOrder([&](TNode& N) { Pre.push_back(&N); });
  ASSERT_EQ(Pre.size(), 3u);
  EXPECT_EQ(Pre[0], Dic.GetRoot());
  EXPECT_EQ(Pre[1], Dic.GetRoot()->Left);
  EXPECT_EQ(Pre[2], Dic.GetRoot()->Right);
}

TEST(WSPDicFast, ManyInsertionsKeepTheTreeBalancedAndEveryKeyFindable) {
  std::mt19937 Rng(1234);
  for (int Round = 0; Round < 3; ++Round) {
    TWideStrPtrDic Dic;
    std::vector<std::u16string> Keys;
    for (int I = 0; I < 600; ++I) {
      std::u16string K;
      const int Len = 1 + static_cast<int>(Rng() % 6);
      for (int J = 0; J < Len; ++J) K.push_back(static_cast<char16_t>(u'a' + Rng() % 5));
      if (Dic.FindPtr(K.c_str()) == nullptr) Keys.push_back(K);
      InsertIfAbsent(Dic, K, Num(static_cast<intptr_t>(Keys.size())));
    }
    int Count = 0;
    CheckSubtree(Dic, Dic.GetRoot(), nullptr, Count);
    EXPECT_FALSE(Dic.GetRoot()->Red);
    EXPECT_EQ(Count, Dic.Count());
    EXPECT_EQ(Dic.Count(), static_cast<int32_t>(Keys.size()));
    for (size_t I = 0; I < Keys.size(); ++I) {
      void** P = Dic.FindPtr(Keys[I].c_str());
      ASSERT_NE(P, nullptr);
      EXPECT_EQ(*P, Num(static_cast<intptr_t>(I + 1)));
    }
    std::vector<std::u16string> InOrder = KeysInOrder(Dic);
    EXPECT_TRUE(std::is_sorted(InOrder.begin(), InOrder.end()));  // lower-case ASCII: plain order
    Dic.Clear();
    EXPECT_EQ(Dic.Count(), 0);
    EXPECT_EQ(Dic.FindPtr(Keys[0].c_str()), nullptr);
    InsertIfAbsent(Dic, Keys[0], Num(1));
    EXPECT_EQ(Dic.Count(), 1);
  }
}

TEST(WSPDicFast, NodeRecordRoundTripsAndATruncatedRecordRaises) {
  TWideStrPtrDic Dic;
  InsertIfAbsent(Dic, u"k", Num(5));
  TVMemStream Stream;
  Dic.WriteNode(Stream, *Dic.GetRoot());
  const std::vector<uint8_t> Expected = {1, 0, 0, 0, 'k', 0, 5, 0, 0, 0};
  ASSERT_EQ(Stream.GetSize(), static_cast<int32_t>(Expected.size()));
  EXPECT_EQ(std::vector<uint8_t>(Stream.GetMemory(), Stream.GetMemory() + Stream.GetSize()), Expected);

  Stream.Seek(0);
  std::unique_ptr<TNode> Read = Dic.ReadNode(Stream);
  auto& W = dynamic_cast<TWSPNode&>(*Read);
  EXPECT_EQ(W.GetKey(), u"k");
  EXPECT_EQ(W.Value, Num(5));

  // Key read, value cut short: the half-made node is freed and the stream's error passes on.
  TVReadOnlyMemStream Cut(Stream.GetMemory(), 8);
  EXPECT_THROW(Dic.ReadNode(Cut), EVStream);
}

}  // namespace
