#include "core/RBTree.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

#include "core/IPDic.h"
#include "core/SPDic.h"
#include "core/StrLst.h"
#include "core/VStream.h"
#include "core/WSPDic.h"
#include "core/WSSDic.h"

namespace {

// Checks the red-black and search-tree invariants of a whole tree; returns the black height.
template <class Entry>
int CheckSubtree(const TGenericRBTree<Entry>& Tree, typename TGenericRBTree<Entry>::TNode* X,
                 typename TGenericRBTree<Entry>::TNode* Parent, int& Count) {
  if (X == Tree.NilNode()) return 1;
  ++Count;
  EXPECT_EQ(X->Parent, Parent);
  if (X->Red) {
    EXPECT_FALSE(X->Left->Red);
    EXPECT_FALSE(X->Right->Red);
  }
  if (X->Left != Tree.NilNode()) {
    EXPECT_LT(Tree.CompareData(X->Left->Data, X->Data), 0);
  }
  if (X->Right != Tree.NilNode()) {
    EXPECT_GT(Tree.CompareData(X->Right->Data, X->Data), 0);
  }
  const int L = CheckSubtree(Tree, X->Left, X, Count);
  const int R = CheckSubtree(Tree, X->Right, X, Count);
  EXPECT_EQ(L, R);
  return L + (X->Red ? 0 : 1);
}

template <class Entry>
void CheckInvariants(const TGenericRBTree<Entry>& Tree) {
  EXPECT_FALSE(Tree.GetRoot()->Red);
  EXPECT_FALSE(Tree.NilNode()->Red);
  EXPECT_EQ(Tree.NilNode()->Left, Tree.NilNode());
  EXPECT_EQ(Tree.NilNode()->Right, Tree.NilNode());
  int Count = 0;
  CheckSubtree(Tree, Tree.GetRoot(), static_cast<typename TGenericRBTree<Entry>::TNode*>(nullptr), Count);
  EXPECT_EQ(Count, Tree.Count());
}

std::u16string W(const char* S) { return std::u16string(S, S + std::char_traits<char>::length(S)); }

std::vector<uint8_t> Bytes(TVMemStream& S) {
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  return std::vector<uint8_t>(P, P + S.GetSize());
}

TEST(RBTree, RandomOperationsAgreeWithStdMapAndKeepInvariants) {
  std::mt19937 Rng(12345);
  TWideStrStrDic Dic;
  std::map<std::u16string, std::u16string> Model;
  for (int Step = 0; Step < 4000; ++Step) {
    std::u16string Key = W(std::to_string(Rng() % 300).c_str());
    const int Op = Rng() % 4;
    if (Op <= 1) {
      std::u16string Value = W(std::to_string(Step).c_str());
      const bool Fresh = Model.find(Key) == Model.end();
      EXPECT_EQ(Dic.Put(Key, Value), Fresh ? 1 : 0);
      Model[Key] = Value;
    } else if (Op == 2) {
      if (Model.erase(Key) == 1)
        Dic.Delete(Key);
      else
        EXPECT_THROW(Dic.Delete(Key), EDicError);
    } else {
      auto It = Model.find(Key);
      EXPECT_EQ(Dic.Exists(Key), It != Model.end());
      if (It != Model.end()) {
        EXPECT_EQ(Dic.Get(Key), It->second);
      }
    }
    CheckInvariants(Dic);
    ASSERT_EQ(Dic.Count(), static_cast<int32_t>(Model.size())) << "step " << Step;
  }
  // In-order iteration equals the model's order.
  TRBTreeIterator<TWideStrStrData> It(Dic);
  auto M = Model.begin();
  while (!It.IsEof()) {
    TWideStrStrData D;
    It.GetData(D);
    ASSERT_NE(M, Model.end());
    EXPECT_EQ(D.Key, M->first);
    EXPECT_EQ(D.Value, M->second);
    ++M;
    It.Next();
  }
  EXPECT_EQ(M, Model.end());
}

TEST(RBTree, Int32SetAndIntPtrDicFollowSignedOrderUnderRandomOperations) {
  std::mt19937 Rng(777);
  TRBTree Set;
  std::set<int32_t> Model;
  TIntPtrDic Dic;
  std::map<int32_t, intptr_t> DicModel;
  for (int Step = 0; Step < 4000; ++Step) {
    const int32_t V = static_cast<int32_t>(Rng() % 200) - 100;
    if (Rng() % 2) {
      EXPECT_EQ(Set.Add(V), Model.insert(V).second);
      const bool Fresh = DicModel.find(V) == DicModel.end();
      EXPECT_EQ(Dic.Put(V, reinterpret_cast<void*>(intptr_t{Step})), Fresh);
      DicModel[V] = Step;
    } else {
      EXPECT_EQ(Set.Remove(V), Model.erase(V) == 1);
      void** P = Dic.FindPtr(V);
      auto It = DicModel.find(V);
      ASSERT_EQ(P != nullptr, It != DicModel.end());
      if (P) {
        EXPECT_EQ(reinterpret_cast<intptr_t>(*P), It->second);
      }
    }
    CheckInvariants(Set);
    CheckInvariants(Dic);
  }
  std::vector<int32_t> Seen;
  for (auto* N = Set.FirstNode(); N; N = Set.NextNode(N)) Seen.push_back(N->Data);
  EXPECT_EQ(Seen, std::vector<int32_t>(Model.begin(), Model.end()));
}

TEST(RBTree, SignedKeyOrderAndPreOrderWalk) {
  TIntPtrDic Dic;
  for (int32_t K : {1, -1, 0}) Dic.Put(K, nullptr);
  std::vector<int32_t> Keys;
  for (auto* N = Dic.FirstNode(); N; N = Dic.NextNode(N)) Keys.push_back(N->Data.Key);
  EXPECT_EQ(Keys, (std::vector<int32_t>{-1, 0, 1}));

  TRBTree Set;
  for (int32_t V : {1, 2, 3}) Set.Add(V);  // balanced as 2 (1) (3)
  std::vector<int32_t> Pre;
  Set.ForEach([&](int32_t& V) { Pre.push_back(V); });
  EXPECT_EQ(Pre, (std::vector<int32_t>{2, 1, 3}));
}

TEST(RBTree, EmptyTreeAndIteratorEdges) {
  TWideStrStrDic Dic;
  EXPECT_EQ(Dic.Count(), 0);
  EXPECT_EQ(Dic.GetRoot(), Dic.NilNode());
  EXPECT_EQ(Dic.FirstNode(), nullptr);
  TRBTreeIterator<TWideStrStrData> Empty(Dic);
  EXPECT_TRUE(Empty.IsBof());
  EXPECT_TRUE(Empty.IsEof());
  TWideStrStrData D;
  try {
    Empty.GetData(D);
    FAIL();
  } catch (const ERBTreeError& E) {
    EXPECT_STREQ(E.what(), "No current value");
  }
  try {
    Empty.Next();
    FAIL();
  } catch (const ERBTreeError& E) {
    EXPECT_STREQ(E.what(), "EOF reached");
  }
  for (const char* K : {"b", "c", "a"}) Dic.Put(W(K), W(K));
  TRBTreeIterator<TWideStrStrData> It(Dic);
  EXPECT_FALSE(It.IsBof());  // Bof marks an empty tree only
  std::u16string Order;
  while (!It.IsEof()) {
    It.GetData(D);
    Order += D.Key;
    It.Next();
  }
  EXPECT_EQ(Order, u"abc");
  EXPECT_FALSE(It.IsBof());
  It.GetData(D);  // stays on the last entry
  EXPECT_EQ(D.Key, u"c");
  EXPECT_THROW(It.Next(), ERBTreeError);
}

TEST(RBTree, DeleteNodeRejectsNullAndNilNode) {
  TRBTree Set;
  Set.Add(1);
  for (auto* Node : {static_cast<TRBTree::TNode*>(nullptr), Set.NilNode()}) {
    try {
      Set.DeleteNode(Node);
      FAIL();
    } catch (const ERBTreeError& E) {
      EXPECT_STREQ(E.what(), "TRBTree.DeleteNode: invalid node");
    }
  }
  EXPECT_EQ(Set.Count(), 1);
}

TEST(RBTree, PutAddDeleteResultsAndMessages) {
  TWideStrStrDic Dic;
  EXPECT_EQ(Dic.Put(u"k", u"1"), 1);
  EXPECT_EQ(Dic.Put(u"k", u"2"), 0);
  EXPECT_EQ(Dic.Get(u"k"), u"2");
  try {
    Dic.Delete(u"abc");
    FAIL();
  } catch (const EDicError& E) {
    EXPECT_STREQ(E.what(), "Key 'abc' not found");
  }
  try {
    Dic.Get(u"\u00e4x");
    FAIL();
  } catch (const EDicError& E) {
    EXPECT_STREQ(E.what(), "Key '\xc3\xa4x' not found");
  }
}

TEST(RBTree, WideStrStrKeysAreOrdinalUpToNul) {
  struct Case {
    std::u16string A, B;
    int Sign;
  } Cases[] = {
      {u"a", u"A", 1},
      {u"B", u"a", -1},
      {u"a", u"a", 0},
      {u"ab", u"a", 1},
      {std::u16string(u"a\0x", 3), std::u16string(u"a\0y", 3), 0},
      {u"\uffff", u"a", 1},  // unsigned code units
  };
  for (const auto& C : Cases) {
    const int R = TWideStrStrDic::CompareKeys(C.A, C.B);
    EXPECT_EQ((R > 0) - (R < 0), C.Sign);
  }
  TWideStrStrDic Dic;
  Dic.Put(u"a", u"lower");
  Dic.Put(u"A", u"upper");
  EXPECT_EQ(Dic.Count(), 2);
  EXPECT_EQ(Dic.Get(u"a"), u"lower");
}

TEST(RBTree, FindPtrSurvivesDeletionOfOtherKeysIncludingTheRoot) {
  TIntPtrDic Dic;
  for (int32_t K = 0; K < 15; ++K) Dic.Put(K, reinterpret_cast<void*>(intptr_t{K * 10}));
  std::map<int32_t, void**> Addresses;
  for (int32_t K = 0; K < 15; ++K) Addresses[K] = Dic.FindPtr(K);
  // Delete the root again and again: each time a node with two children is relinked, not copied.
  std::set<int32_t> Gone;
  for (int Round = 0; Round < 10; ++Round) {
    const int32_t RootKey = Dic.GetRoot()->Data.Key;
    Dic.DeleteNode(Dic.GetRoot());
    Gone.insert(RootKey);
    CheckInvariants(Dic);
    for (const auto& [k, p] : Addresses) {
      if (Gone.count(k)) continue;
      EXPECT_EQ(Dic.FindPtr(k), p);
      EXPECT_EQ(reinterpret_cast<intptr_t>(*p), k * 10);
    }
  }
}

TEST(RBTree, WideStrStrRecordBytesAndRoundTrip) {
  TWideStrStrDic Dic;
  Dic.Put(u"k", u"vv");
  TVMemStream S;
  Dic.SaveToStream(S);
  EXPECT_EQ(Bytes(S),
            (std::vector<uint8_t>{1, 0, 0, 0, 0x01, 0, 0, 0, 0x6B, 0, 0x02, 0, 0, 0, 0x76, 0, 0x76, 0}));

  std::mt19937 Rng(5);
  TWideStrStrDic Big;
  for (int I = 0; I < 500; ++I) Big.Put(W(std::to_string(Rng()).c_str()), W(std::to_string(I).c_str()));
  Big.Put(u"", u"");
  Big.Put(u"\u00e4\U0001F600", u"x\u0000y");
  TVMemStream T;
  Big.SaveToStream(T);
  T.Seek(0);
  TWideStrStrDic Back;
  Back.Put(u"stale", u"gone");
  Back.LoadFromStream(T);
  CheckInvariants(Back);
  ASSERT_EQ(Back.Count(), Big.Count());
  EXPECT_FALSE(Back.Exists(std::u16string(u"stale")));
  for (auto* N = Big.FirstNode(); N; N = Big.NextNode(N)) EXPECT_EQ(Back.Get(N->Data.Key), N->Data.Value);
}

TEST(RBTree, LoadKeepsFirstDuplicateAndEntriesBeforeATruncatedRecord) {
  TVMemStream S;
  S.WriteInt32(3);
  for (const char16_t* Kv : {u"a", u"1", u"a", u"2"}) S.WriteWideString(Kv);
  S.WriteWideString(u"b");  // the value of the third record is missing
  S.Seek(0);
  TWideStrStrDic Dic;
  EXPECT_THROW(Dic.LoadFromStream(S), EVStream);
  EXPECT_EQ(Dic.Count(), 1);
  EXPECT_EQ(Dic.Get(u"a"), u"1");

  for (int32_t N : {0, -5}) {
    TVMemStream Z;
    Z.WriteInt32(N);
    Z.Seek(0);
    Dic.LoadFromStream(Z);
    EXPECT_EQ(Dic.Count(), 0);
  }
}

TEST(RBTree, IntPtrDicRecordIsTwoLittleEndianInt32) {
  TIntPtrDic Dic;
  Dic.Put(-2, reinterpret_cast<void*>(intptr_t{0x01020304}));
  TVMemStream S;
  Dic.SaveToStream(S);
  EXPECT_EQ(Bytes(S), (std::vector<uint8_t>{1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1}));
  S.Seek(0);
  TIntPtrDic Back;
  Back.LoadFromStream(S);
  EXPECT_EQ(reinterpret_cast<intptr_t>(*Back.FindPtr(-2)), 0x01020304);
}

TEST(RBTree, StringPointerDictionariesAgreeWithStdMapUnderTheirOwnOrder) {
  std::mt19937 Rng(99);
  TStrPtrDic Dic;
  TWideStrPtrDic Wide;
  auto Less = [&](const std::string& A, const std::string& B) { return Dic.CompareKeys(A, B) < 0; };
  std::map<std::string, intptr_t, decltype(Less)> Model(Less);
  const char* Letters = "aAbBcC";
  for (int Step = 0; Step < 3000; ++Step) {
    std::string Key;
    for (int I = 0, N = 1 + Rng() % 3; I < N; ++I) Key += Letters[Rng() % 6];
    const std::u16string Wkey(Key.begin(), Key.end());
    switch (Rng() % 3) {
      case 0: {
        const bool Fresh = Model.find(Key) == Model.end();
        EXPECT_EQ(Dic.Put(Key, reinterpret_cast<void*>(intptr_t{Step})), Fresh ? 1 : 0);
        EXPECT_EQ(Wide.Put(Wkey, reinterpret_cast<void*>(intptr_t{Step})), Fresh ? 1 : 0);
        Model[Key] = Step;
        break;
      }
      case 1: {
        const bool Present = Model.erase(Key) == 1;
        EXPECT_EQ(Dic.Remove(Key), Present);
        if (Present)
          Wide.Delete(Wkey);
        else
          EXPECT_THROW(Wide.Delete(Wkey), EDicError);
        break;
      }
      default: {
        auto It = Model.find(Key);
        void** P = Dic.FindPtr(Key);
        void** Wp = Wide.FindPtr(Wkey);
        ASSERT_EQ(P != nullptr, It != Model.end());
        ASSERT_EQ(Wp != nullptr, It != Model.end());
        if (P) {
          EXPECT_EQ(reinterpret_cast<intptr_t>(*P), It->second);
          EXPECT_EQ(reinterpret_cast<intptr_t>(*Wp), It->second);
        }
      }
    }
    CheckInvariants(Dic);
    CheckInvariants(Wide);
    ASSERT_EQ(Dic.Count(), static_cast<int32_t>(Model.size()));
    ASSERT_EQ(Wide.Count(), static_cast<int32_t>(Model.size()));
  }
}

TEST(RBTree, KeyOrdersOfTheStringDictionaries) {
  TStrPtrDic Insensitive;
  TCaseSensStrPtrDic Sensitive;
  TWideStrPtrDic Wide;
  Insensitive.Put("README.txt", nullptr);
  Sensitive.Put("README.txt", nullptr);
  Wide.Put(u"README.txt", nullptr);
  EXPECT_TRUE(Insensitive.Exists(std::string("readme.TXT")));
  EXPECT_FALSE(Sensitive.Exists(std::string("readme.TXT")));
  EXPECT_NE(Wide.FindPtr(u"readme.TXT"), nullptr);
  EXPECT_EQ(Wide.Add(u"Readme.txt", reinterpret_cast<void*>(1)), 0);  // present: keeps its value
  EXPECT_EQ(*Wide.FindPtr(u"README.txt"), nullptr);
  EXPECT_EQ(Wide.Add(u"other", reinterpret_cast<void*>(1)), 1);
  Sensitive.Put("readme.TXT", nullptr);
  EXPECT_EQ(Sensitive.Count(), 2);
  try {
    Insensitive.Get("abc");
    FAIL();
  } catch (const EDicError& E) {
    EXPECT_STREQ(E.what(), "Key 'abc' not found");
  }
}

TEST(RBTree, KeysAndValuesComeInKeyOrder) {
  TStrPtrDic Dic;
  for (const char* K : {"b", "C", "a"}) Dic.Put(K, const_cast<char*>(K));
  TStrLst Keys;
  TPointerVector Values;
  Dic.GetKeysAndValues(Keys, Values);
  ASSERT_EQ(Keys.GetCount(), 3);
  EXPECT_EQ(Keys.Get(0), "a");
  EXPECT_EQ(Keys.Get(2), "C");
  EXPECT_STREQ(static_cast<const char*>(Values.Get(1)), "b");
  TStrLst Only;
  Dic.GetKeys(Only);
  EXPECT_EQ(Only.Get(1), "b");

  TWideStrPtrDic Wide;
  for (const char16_t* K : {u"b", u"A"}) Wide.Put(K, nullptr);
  TWideStrLst Wkeys;
  Wide.GetKeys(Wkeys);
  ASSERT_EQ(Wkeys.GetCount(), 2);
  EXPECT_EQ(Wkeys.Get(0), u"A");

  TWideStrStrDic Wss;
  Wss.Put(u"k2", u"v2");
  Wss.Put(u"k1", u"v1");
  TWideStrLst K, V;
  Wss.GetKeysAndValues(K, V);
  ASSERT_EQ(V.GetCount(), 2);
  EXPECT_EQ(K.Get(0), u"k1");
  EXPECT_EQ(V.Get(1), u"v2");
}

struct TCounted : TObject {
  explicit TCounted(int& N) : Freed(N) {}
  ~TCounted() override { ++Freed; }
  int& Freed;
};

TEST(RBTree, FreeObjectsDeletesEveryValueOnce) {
  int Freed = 0;
  TStrPtrDic Dic;
  for (const char* K : {"a", "b", "c", "d"}) Dic.Put(K, static_cast<TObject*>(new TCounted(Freed)));
  Dic.Put("null", nullptr);
  Dic.FreeObjects();
  EXPECT_EQ(Freed, 4);
  Dic.Clear();
}

TEST(RBTree, StrPtrRecordAndRoundTrip) {
  TStrPtrDic Dic;
  Dic.Put("ab", reinterpret_cast<void*>(intptr_t{7}));
  TVMemStream S;
  Dic.SaveToStream(S);
  EXPECT_EQ(Bytes(S), (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 7, 0, 0, 0}));
  S.Seek(0);
  TStrPtrDic Back;
  Back.LoadFromStream(S);
  EXPECT_EQ(Back.Get("AB"), reinterpret_cast<void*>(intptr_t{7}));
}

}  // namespace
