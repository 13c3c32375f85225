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
int CheckSubtree(const TGenericRBTree<Entry>& tree, typename TGenericRBTree<Entry>::TNode* x,
                 typename TGenericRBTree<Entry>::TNode* parent, int& count) {
  if (x == tree.NilNode()) return 1;
  ++count;
  EXPECT_EQ(x->Parent, parent);
  if (x->Red) {
    EXPECT_FALSE(x->Left->Red);
    EXPECT_FALSE(x->Right->Red);
  }
  if (x->Left != tree.NilNode()) {
    EXPECT_LT(tree.CompareData(x->Left->Data, x->Data), 0);
  }
  if (x->Right != tree.NilNode()) {
    EXPECT_GT(tree.CompareData(x->Right->Data, x->Data), 0);
  }
  const int l = CheckSubtree(tree, x->Left, x, count);
  const int r = CheckSubtree(tree, x->Right, x, count);
  EXPECT_EQ(l, r);
  return l + (x->Red ? 0 : 1);
}

template <class Entry>
void CheckInvariants(const TGenericRBTree<Entry>& tree) {
  EXPECT_FALSE(tree.GetRoot()->Red);
  EXPECT_FALSE(tree.NilNode()->Red);
  EXPECT_EQ(tree.NilNode()->Left, tree.NilNode());
  EXPECT_EQ(tree.NilNode()->Right, tree.NilNode());
  int count = 0;
  CheckSubtree(tree, tree.GetRoot(), static_cast<typename TGenericRBTree<Entry>::TNode*>(nullptr), count);
  EXPECT_EQ(count, tree.Count());
}

std::u16string W(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

std::vector<uint8_t> Bytes(TVMemStream& s) {
  const auto* p = static_cast<const uint8_t*>(s.GetMemory());
  return std::vector<uint8_t>(p, p + s.GetSize());
}

TEST(RBTree, RandomOperationsAgreeWithStdMapAndKeepInvariants) {
  std::mt19937 rng(12345);
  TWideStrStrDic dic;
  std::map<std::u16string, std::u16string> model;
  for (int step = 0; step < 4000; ++step) {
    std::u16string key = W(std::to_string(rng() % 300).c_str());
    const int op = rng() % 4;
    if (op <= 1) {
      std::u16string value = W(std::to_string(step).c_str());
      const bool fresh = model.find(key) == model.end();
      EXPECT_EQ(dic.Put(key, value), fresh ? 1 : 0);
      model[key] = value;
    } else if (op == 2) {
      if (model.erase(key) == 1)
        dic.Delete(key);
      else
        EXPECT_THROW(dic.Delete(key), EDicError);
    } else {
      auto it = model.find(key);
      EXPECT_EQ(dic.Exists(key), it != model.end());
      if (it != model.end()) {
        EXPECT_EQ(dic.Get(key), it->second);
      }
    }
    CheckInvariants(dic);
    ASSERT_EQ(dic.Count(), static_cast<int32_t>(model.size())) << "step " << step;
  }
  // In-order iteration equals the model's order.
  TRBTreeIterator<TWideStrStrData> it(dic);
  auto m = model.begin();
  while (!it.IsEof()) {
    TWideStrStrData d;
    it.GetData(d);
    ASSERT_NE(m, model.end());
    EXPECT_EQ(d.Key, m->first);
    EXPECT_EQ(d.Value, m->second);
    ++m;
    it.Next();
  }
  EXPECT_EQ(m, model.end());
}

TEST(RBTree, Int32SetAndIntPtrDicFollowSignedOrderUnderRandomOperations) {
  std::mt19937 rng(777);
  TRBTree set;
  std::set<int32_t> model;
  TIntPtrDic dic;
  std::map<int32_t, intptr_t> dicModel;
  for (int step = 0; step < 4000; ++step) {
    const int32_t v = static_cast<int32_t>(rng() % 200) - 100;
    if (rng() % 2) {
      EXPECT_EQ(set.Add(v), model.insert(v).second);
      const bool fresh = dicModel.find(v) == dicModel.end();
      EXPECT_EQ(dic.Put(v, reinterpret_cast<void*>(intptr_t{step})), fresh);
      dicModel[v] = step;
    } else {
      EXPECT_EQ(set.Remove(v), model.erase(v) == 1);
      void** p = dic.FindPtr(v);
      auto it = dicModel.find(v);
      ASSERT_EQ(p != nullptr, it != dicModel.end());
      if (p) {
        EXPECT_EQ(reinterpret_cast<intptr_t>(*p), it->second);
      }
    }
    CheckInvariants(set);
    CheckInvariants(dic);
  }
  std::vector<int32_t> seen;
  for (auto* n = set.FirstNode(); n; n = set.NextNode(n)) seen.push_back(n->Data);
  EXPECT_EQ(seen, std::vector<int32_t>(model.begin(), model.end()));
}

TEST(RBTree, SignedKeyOrderAndPreOrderWalk) {
  TIntPtrDic dic;
  for (int32_t k : {1, -1, 0}) dic.Put(k, nullptr);
  std::vector<int32_t> keys;
  for (auto* n = dic.FirstNode(); n; n = dic.NextNode(n)) keys.push_back(n->Data.Key);
  EXPECT_EQ(keys, (std::vector<int32_t>{-1, 0, 1}));

  TRBTree set;
  for (int32_t v : {1, 2, 3}) set.Add(v);  // balanced as 2 (1) (3)
  std::vector<int32_t> pre;
  set.ForEach([&](int32_t& v) { pre.push_back(v); });
  EXPECT_EQ(pre, (std::vector<int32_t>{2, 1, 3}));
}

TEST(RBTree, EmptyTreeAndIteratorEdges) {
  TWideStrStrDic dic;
  EXPECT_EQ(dic.Count(), 0);
  EXPECT_EQ(dic.GetRoot(), dic.NilNode());
  EXPECT_EQ(dic.FirstNode(), nullptr);
  TRBTreeIterator<TWideStrStrData> empty(dic);
  EXPECT_TRUE(empty.IsBof());
  EXPECT_TRUE(empty.IsEof());
  TWideStrStrData d;
  try {
    empty.GetData(d);
    FAIL();
  } catch (const ERBTreeError& e) {
    EXPECT_STREQ(e.what(), "No current value");
  }
  try {
    empty.Next();
    FAIL();
  } catch (const ERBTreeError& e) {
    EXPECT_STREQ(e.what(), "EOF reached");
  }
  for (const char* k : {"b", "c", "a"}) dic.Put(W(k), W(k));
  TRBTreeIterator<TWideStrStrData> it(dic);
  EXPECT_FALSE(it.IsBof());  // Bof marks an empty tree only
  std::u16string order;
  while (!it.IsEof()) {
    it.GetData(d);
    order += d.Key;
    it.Next();
  }
  EXPECT_EQ(order, u"abc");
  EXPECT_FALSE(it.IsBof());
  it.GetData(d);  // stays on the last entry
  EXPECT_EQ(d.Key, u"c");
  EXPECT_THROW(it.Next(), ERBTreeError);
}

TEST(RBTree, DeleteNodeRejectsNullAndNilNode) {
  TRBTree set;
  set.Add(1);
  for (auto* node : {static_cast<TRBTree::TNode*>(nullptr), set.NilNode()}) {
    try {
      set.DeleteNode(node);
      FAIL();
    } catch (const ERBTreeError& e) {
      EXPECT_STREQ(e.what(), "TRBTree.DeleteNode: invalid node");
    }
  }
  EXPECT_EQ(set.Count(), 1);
}

TEST(RBTree, PutAddDeleteResultsAndMessages) {
  TWideStrStrDic dic;
  EXPECT_EQ(dic.Put(u"k", u"1"), 1);
  EXPECT_EQ(dic.Put(u"k", u"2"), 0);
  EXPECT_EQ(dic.Get(u"k"), u"2");
  try {
    dic.Delete(u"abc");
    FAIL();
  } catch (const EDicError& e) {
    EXPECT_STREQ(e.what(), "Key 'abc' not found");
  }
  try {
    dic.Get(u"\u00e4x");
    FAIL();
  } catch (const EDicError& e) {
    EXPECT_STREQ(e.what(), "Key '\xc3\xa4x' not found");
  }
}

TEST(RBTree, WideStrStrKeysAreOrdinalUpToNul) {
  struct Case {
    std::u16string a, b;
    int sign;
  } cases[] = {
      {u"a", u"A", 1},
      {u"B", u"a", -1},
      {u"a", u"a", 0},
      {u"ab", u"a", 1},
      {std::u16string(u"a\0x", 3), std::u16string(u"a\0y", 3), 0},
      {u"\uffff", u"a", 1},  // unsigned code units
  };
  for (const auto& c : cases) {
    const int r = TWideStrStrDic::CompareKeys(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
  }
  TWideStrStrDic dic;
  dic.Put(u"a", u"lower");
  dic.Put(u"A", u"upper");
  EXPECT_EQ(dic.Count(), 2);
  EXPECT_EQ(dic.Get(u"a"), u"lower");
}

TEST(RBTree, FindPtrSurvivesDeletionOfOtherKeysIncludingTheRoot) {
  TIntPtrDic dic;
  for (int32_t k = 0; k < 15; ++k) dic.Put(k, reinterpret_cast<void*>(intptr_t{k * 10}));
  std::map<int32_t, void**> addresses;
  for (int32_t k = 0; k < 15; ++k) addresses[k] = dic.FindPtr(k);
  // Delete the root again and again: each time a node with two children is relinked, not copied.
  std::set<int32_t> gone;
  for (int round = 0; round < 10; ++round) {
    const int32_t rootKey = dic.GetRoot()->Data.Key;
    dic.DeleteNode(dic.GetRoot());
    gone.insert(rootKey);
    CheckInvariants(dic);
    for (const auto& [k, p] : addresses) {
      if (gone.count(k)) continue;
      EXPECT_EQ(dic.FindPtr(k), p);
      EXPECT_EQ(reinterpret_cast<intptr_t>(*p), k * 10);
    }
  }
}

TEST(RBTree, WideStrStrRecordBytesAndRoundTrip) {
  TWideStrStrDic dic;
  dic.Put(u"k", u"vv");
  TVMemStream s;
  dic.SaveToStream(s);
  EXPECT_EQ(Bytes(s),
            (std::vector<uint8_t>{1, 0, 0, 0, 0x01, 0, 0, 0, 0x6B, 0, 0x02, 0, 0, 0, 0x76, 0, 0x76, 0}));

  std::mt19937 rng(5);
  TWideStrStrDic big;
  for (int i = 0; i < 500; ++i) big.Put(W(std::to_string(rng()).c_str()), W(std::to_string(i).c_str()));
  big.Put(u"", u"");
  big.Put(u"\u00e4\U0001F600", u"x\u0000y");
  TVMemStream t;
  big.SaveToStream(t);
  t.Seek(0);
  TWideStrStrDic back;
  back.Put(u"stale", u"gone");
  back.LoadFromStream(t);
  CheckInvariants(back);
  ASSERT_EQ(back.Count(), big.Count());
  EXPECT_FALSE(back.Exists(std::u16string(u"stale")));
  for (auto* n = big.FirstNode(); n; n = big.NextNode(n)) EXPECT_EQ(back.Get(n->Data.Key), n->Data.Value);
}

TEST(RBTree, LoadKeepsFirstDuplicateAndEntriesBeforeATruncatedRecord) {
  TVMemStream s;
  s.WriteInt32(3);
  for (const char16_t* kv : {u"a", u"1", u"a", u"2"}) s.WriteWideString(kv);
  s.WriteWideString(u"b");  // the value of the third record is missing
  s.Seek(0);
  TWideStrStrDic dic;
  EXPECT_THROW(dic.LoadFromStream(s), EVStream);
  EXPECT_EQ(dic.Count(), 1);
  EXPECT_EQ(dic.Get(u"a"), u"1");

  for (int32_t n : {0, -5}) {
    TVMemStream z;
    z.WriteInt32(n);
    z.Seek(0);
    dic.LoadFromStream(z);
    EXPECT_EQ(dic.Count(), 0);
  }
}

TEST(RBTree, IntPtrDicRecordIsTwoLittleEndianInt32) {
  TIntPtrDic dic;
  dic.Put(-2, reinterpret_cast<void*>(intptr_t{0x01020304}));
  TVMemStream s;
  dic.SaveToStream(s);
  EXPECT_EQ(Bytes(s), (std::vector<uint8_t>{1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1}));
  s.Seek(0);
  TIntPtrDic back;
  back.LoadFromStream(s);
  EXPECT_EQ(reinterpret_cast<intptr_t>(*back.FindPtr(-2)), 0x01020304);
}

TEST(RBTree, StringPointerDictionariesAgreeWithStdMapUnderTheirOwnOrder) {
  std::mt19937 rng(99);
  TStrPtrDic dic;
  TWideStrPtrDic wide;
  auto less = [&](const std::string& a, const std::string& b) { return dic.CompareKeys(a, b) < 0; };
  std::map<std::string, intptr_t, decltype(less)> model(less);
  const char* letters = "aAbBcC";
  for (int step = 0; step < 3000; ++step) {
    std::string key;
    for (int i = 0, n = 1 + rng() % 3; i < n; ++i) key += letters[rng() % 6];
    const std::u16string wkey(key.begin(), key.end());
    switch (rng() % 3) {
      case 0: {
        const bool fresh = model.find(key) == model.end();
        EXPECT_EQ(dic.Put(key, reinterpret_cast<void*>(intptr_t{step})), fresh ? 1 : 0);
        EXPECT_EQ(wide.Put(wkey, reinterpret_cast<void*>(intptr_t{step})), fresh ? 1 : 0);
        model[key] = step;
        break;
      }
      case 1: {
        const bool present = model.erase(key) == 1;
        EXPECT_EQ(dic.Remove(key), present);
        if (present)
          wide.Delete(wkey);
        else
          EXPECT_THROW(wide.Delete(wkey), EDicError);
        break;
      }
      default: {
        auto it = model.find(key);
        void** p = dic.FindPtr(key);
        void** wp = wide.FindPtr(wkey);
        ASSERT_EQ(p != nullptr, it != model.end());
        ASSERT_EQ(wp != nullptr, it != model.end());
        if (p) {
          EXPECT_EQ(reinterpret_cast<intptr_t>(*p), it->second);
          EXPECT_EQ(reinterpret_cast<intptr_t>(*wp), it->second);
        }
      }
    }
    CheckInvariants(dic);
    CheckInvariants(wide);
    ASSERT_EQ(dic.Count(), static_cast<int32_t>(model.size()));
    ASSERT_EQ(wide.Count(), static_cast<int32_t>(model.size()));
  }
}

TEST(RBTree, KeyOrdersOfTheStringDictionaries) {
  TStrPtrDic insensitive;
  TCaseSensStrPtrDic sensitive;
  TWideStrPtrDic wide;
  insensitive.Put("README.txt", nullptr);
  sensitive.Put("README.txt", nullptr);
  wide.Put(u"README.txt", nullptr);
  EXPECT_TRUE(insensitive.Exists(std::string("readme.TXT")));
  EXPECT_FALSE(sensitive.Exists(std::string("readme.TXT")));
  EXPECT_NE(wide.FindPtr(u"readme.TXT"), nullptr);
  EXPECT_EQ(wide.Add(u"Readme.txt", reinterpret_cast<void*>(1)), 0);  // present: keeps its value
  EXPECT_EQ(*wide.FindPtr(u"README.txt"), nullptr);
  EXPECT_EQ(wide.Add(u"other", reinterpret_cast<void*>(1)), 1);
  sensitive.Put("readme.TXT", nullptr);
  EXPECT_EQ(sensitive.Count(), 2);
  try {
    insensitive.Get("abc");
    FAIL();
  } catch (const EDicError& e) {
    EXPECT_STREQ(e.what(), "Key 'abc' not found");
  }
}

TEST(RBTree, KeysAndValuesComeInKeyOrder) {
  TStrPtrDic dic;
  for (const char* k : {"b", "C", "a"}) dic.Put(k, const_cast<char*>(k));
  TStrLst keys;
  TPointerVector values;
  dic.GetKeysAndValues(keys, values);
  ASSERT_EQ(keys.GetCount(), 3);
  EXPECT_EQ(keys.Get(0), "a");
  EXPECT_EQ(keys.Get(2), "C");
  EXPECT_STREQ(static_cast<const char*>(values.Get(1)), "b");
  TStrLst only;
  dic.GetKeys(only);
  EXPECT_EQ(only.Get(1), "b");

  TWideStrPtrDic wide;
  for (const char16_t* k : {u"b", u"A"}) wide.Put(k, nullptr);
  TWideStrLst wkeys;
  wide.GetKeys(wkeys);
  ASSERT_EQ(wkeys.GetCount(), 2);
  EXPECT_EQ(wkeys.Get(0), u"A");

  TWideStrStrDic wss;
  wss.Put(u"k2", u"v2");
  wss.Put(u"k1", u"v1");
  TWideStrLst k, v;
  wss.GetKeysAndValues(k, v);
  ASSERT_EQ(v.GetCount(), 2);
  EXPECT_EQ(k.Get(0), u"k1");
  EXPECT_EQ(v.Get(1), u"v2");
}

struct TCounted : TObject {
  explicit TCounted(int& n) : Freed(n) {}
  ~TCounted() override { ++Freed; }
  int& Freed;
};

TEST(RBTree, FreeObjectsDeletesEveryValueOnce) {
  int freed = 0;
  TStrPtrDic dic;
  for (const char* k : {"a", "b", "c", "d"}) dic.Put(k, static_cast<TObject*>(new TCounted(freed)));
  dic.Put("null", nullptr);
  dic.FreeObjects();
  EXPECT_EQ(freed, 4);
  dic.Clear();
}

TEST(RBTree, StrPtrRecordAndRoundTrip) {
  TStrPtrDic dic;
  dic.Put("ab", reinterpret_cast<void*>(intptr_t{7}));
  TVMemStream s;
  dic.SaveToStream(s);
  EXPECT_EQ(Bytes(s), (std::vector<uint8_t>{1, 0, 0, 0, 2, 0, 0, 0, 'a', 'b', 7, 0, 0, 0}));
  s.Seek(0);
  TStrPtrDic back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.Get("AB"), reinterpret_cast<void*>(intptr_t{7}));
}

}  // namespace
