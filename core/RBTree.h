// Red-black trees: the ordered maps of the whole system.
//
// TGenericRBTree is one red-black tree of small node records with a sentinel nil node; every dictionary
// (WSSDic, SPDic, WSPDic, IPDic) and the Int32 set TRBTree below are thin classes over it that supply the
// key order and the stream record of one entry. TRBTreeIterator walks a tree in key order.
//
// Ownership: a tree owns its nodes and the entries inside them (strings included). Values that are
// pointers are never owned. A node's address, and so the address of the entry inside it, stays valid until
// that node itself is deleted: deletion relinks nodes and never copies entries between them.
// Threads: a tree and its iterators belong to one thread at a time; there is no locking.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/Exception.h"
#include "core/VStream.h"

// Raised for misuse of a tree or an iterator ("EOF reached", "No current value", an invalid node).
class ERBTreeError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ERBTreeError"; }
};

// Raised by the dictionaries for a missing key: "Key '<key>' not found".
class EDicError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EDicError"; }
};

// "Key '%s' not found" with the key (UTF-8) in place of %s.
[[noreturn]] void RaiseKeyNotFound(const std::string& keyUtf8);
// A UTF-16 key as UTF-8 for a message (an escaped file-name byte, U+DC80..U+DCFF, comes out as that byte;
// any other unpaired surrogate as U+FFFD).
std::string KeyTextUtf8(const std::u16string& key);

template <class Entry>
class TGenericRBTree {
 public:
  struct TNode {
    TNode* Left;
    TNode* Right;
    TNode* Parent;  // null for the root
    bool Red;
    Entry Data;
  };

  TGenericRBTree() {
    Nil = new TNode{nullptr, nullptr, nullptr, false, Entry{}};
    Nil->Left = Nil->Right = Nil;
    Root = Nil;
  }
  virtual ~TGenericRBTree() {
    Clear();
    delete Nil;
  }
  TGenericRBTree(const TGenericRBTree&) = delete;
  TGenericRBTree& operator=(const TGenericRBTree&) = delete;

  // Order of two entries: negative, 0 or positive.
  virtual int CompareData(const Entry& a, const Entry& b) const = 0;
  // One entry's stream record.
  virtual void WriteData(TVStream& stream, const Entry& data) const = 0;
  virtual void ReadData(TVStream& stream, Entry& data) const = 0;

  int32_t Count() const { return FCount; }
  TNode* GetRoot() const { return Root; }
  TNode* NilNode() const { return Nil; }

  // Descends from the root. Found: true with node = the match. Not found: false with node = the last node
  // visited (the parent an insertion would use), or null for an empty tree.
  bool FindNode(const Entry& data, TNode*& node) const {
    node = nullptr;
    TNode* x = Root;
    while (x != Nil) {
      node = x;
      const int c = CompareData(data, x->Data);
      if (c == 0) return true;
      x = c < 0 ? x->Left : x->Right;
    }
    return false;
  }

  // Links a new red node holding a copy of data under parent (null: as the root) and rebalances.
  TNode* InsertNode(const Entry& data, TNode* parent) {
    if (FCount == INT32_MAX) throw ERBTreeError("TRBTree: too many entries");
    TNode* z = new TNode{Nil, Nil, parent, true, data};  // complete before it is linked
    if (parent == nullptr)
      Root = z;
    else if (CompareData(z->Data, parent->Data) < 0)
      parent->Left = z;
    else
      parent->Right = z;
    InsertFixup(z);
    ++FCount;
    return z;
  }

  TNode* FindOrInsert(const Entry& data, bool& inserted) {
    TNode* node;
    inserted = !FindNode(data, node);
    if (inserted) node = InsertNode(data, node);
    return node;
  }

  // True when inserted; an equal entry already present is kept untouched.
  bool Add(const Entry& data) {
    bool inserted;
    FindOrInsert(data, inserted);
    return inserted;
  }

  TNode* Find(const Entry& data) const {
    TNode* node;
    return FindNode(data, node) ? node : nullptr;
  }
  bool Exists(const Entry& data) const { return Find(data) != nullptr; }

  // The leftmost node, or null when the tree is empty.
  TNode* FirstNode() const {
    if (FCount <= 0) return nullptr;
    TNode* x = Root;
    while (x->Left != Nil) x = x->Left;
    return x;
  }

  // The in-order successor of node, or null after the last one.
  TNode* NextNode(TNode* x) const {
    if (x->Right != Nil) {
      x = x->Right;
      while (x->Left != Nil) x = x->Left;
      return x;
    }
    TNode* p = x->Parent;
    while (p != nullptr && x == p->Right) {
      x = p;
      p = p->Parent;
    }
    return p;
  }

  // Unlinks node, rebalances and frees it. Precondition: node belongs to this tree.
  void DeleteNode(TNode* z) {
    if (z == nullptr || z == Nil) throw ERBTreeError("TRBTree.DeleteNode: invalid node");
    TNode* y = (z->Left == Nil || z->Right == Nil) ? z : Minimum(z->Right);
    TNode* x = y->Left != Nil ? y->Left : y->Right;
    // x takes y's place; the nil node's parent is set here for the fix-up only.
    x->Parent = y->Parent;
    if (y->Parent == nullptr)
      Root = x;
    else if (y == y->Parent->Left)
      y->Parent->Left = x;
    else
      y->Parent->Right = x;
    if (!y->Red) DeleteFixup(x);
    if (y != z) {
      // Move node y (not its entry) into z's place, so that no entry changes its address.
      y->Parent = z->Parent;
      if (z->Parent == nullptr)
        Root = y;
      else if (z == z->Parent->Left)
        z->Parent->Left = y;
      else
        z->Parent->Right = y;
      y->Left = z->Left;
      y->Right = z->Right;
      if (y->Left != Nil) y->Left->Parent = y;
      if (y->Right != Nil) y->Right->Parent = y;
      y->Red = z->Red;
    }
    Nil->Parent = nullptr;
    delete z;
    --FCount;
  }

  void Clear() {
    FreeSubtree(Root);
    Root = Nil;
    FCount = 0;
  }

  // Pre-order walk: node, left subtree, right subtree. proc must not change the tree.
  void ForEach(const std::function<void(Entry&)>& proc) {
    if (proc) PreOrder(Root, proc);
  }

  // Int32 count, then every entry's record in key order.
  void SaveToStream(TVStream& stream) const {
    stream.WriteInt32(FCount);
    for (TNode* x = FirstNode(); x != nullptr; x = NextNode(x)) WriteData(stream, x->Data);
  }
  // Clears, then reads a count and that many records (a key read twice keeps its first entry). A record
  // cut short raises the stream's exception; the entries read before it stay. A count that is zero or
  // negative leaves the tree empty.
  void LoadFromStream(TVStream& stream) {
    Clear();
    const int32_t n = stream.ReadInt32();
    Entry scratch{};
    for (int32_t i = 0; i < n; ++i) {
      ReadData(stream, scratch);
      Add(scratch);
    }
  }

 protected:
  TNode* Root;
  TNode* Nil;

 private:
  int32_t FCount = 0;

  TNode* Minimum(TNode* x) const {
    while (x->Left != Nil) x = x->Left;
    return x;
  }

  void RotateLeft(TNode* x) {
    TNode* y = x->Right;
    x->Right = y->Left;
    if (y->Left != Nil) y->Left->Parent = x;
    y->Parent = x->Parent;
    if (x->Parent == nullptr)
      Root = y;
    else if (x == x->Parent->Left)
      x->Parent->Left = y;
    else
      x->Parent->Right = y;
    y->Left = x;
    x->Parent = y;
  }

  void RotateRight(TNode* x) {
    TNode* y = x->Left;
    x->Left = y->Right;
    if (y->Right != Nil) y->Right->Parent = x;
    y->Parent = x->Parent;
    if (x->Parent == nullptr)
      Root = y;
    else if (x == x->Parent->Right)
      x->Parent->Right = y;
    else
      x->Parent->Left = y;
    y->Right = x;
    x->Parent = y;
  }

  void InsertFixup(TNode* x) {
    while (x != Root && x->Parent->Red) {
      TNode* p = x->Parent;
      TNode* g = p->Parent;  // exists: a red node is never the root
      if (p == g->Left) {
        TNode* u = g->Right;
        if (u->Red) {
          p->Red = u->Red = false;
          g->Red = true;
          x = g;
        } else {
          if (x == p->Right) {
            x = p;
            RotateLeft(x);
            p = x->Parent;
          }
          p->Red = false;
          g->Red = true;
          RotateRight(g);
        }
      } else {
        TNode* u = g->Left;
        if (u->Red) {
          p->Red = u->Red = false;
          g->Red = true;
          x = g;
        } else {
          if (x == p->Left) {
            x = p;
            RotateRight(x);
            p = x->Parent;
          }
          p->Red = false;
          g->Red = true;
          RotateLeft(g);
        }
      }
    }
    Root->Red = false;
  }

  void DeleteFixup(TNode* x) {
    while (x != Root && !x->Red) {
      TNode* p = x->Parent;
      if (x == p->Left) {
        TNode* w = p->Right;
        if (w->Red) {
          w->Red = false;
          p->Red = true;
          RotateLeft(p);
          w = p->Right;
        }
        if (!w->Left->Red && !w->Right->Red) {
          w->Red = true;
          x = p;
        } else {
          if (!w->Right->Red) {
            w->Left->Red = false;
            w->Red = true;
            RotateRight(w);
            w = p->Right;
          }
          w->Red = p->Red;
          p->Red = false;
          w->Right->Red = false;
          RotateLeft(p);
          x = Root;
        }
      } else {
        TNode* w = p->Left;
        if (w->Red) {
          w->Red = false;
          p->Red = true;
          RotateRight(p);
          w = p->Left;
        }
        if (!w->Right->Red && !w->Left->Red) {
          w->Red = true;
          x = p;
        } else {
          if (!w->Left->Red) {
            w->Right->Red = false;
            w->Red = true;
            RotateLeft(w);
            w = p->Left;
          }
          w->Red = p->Red;
          p->Red = false;
          w->Left->Red = false;
          RotateRight(p);
          x = Root;
        }
      }
    }
    x->Red = false;
  }

  // Post-order (left, right, node), iterative so that no depth of tree can exhaust the call stack.
  void FreeSubtree(TNode* x) {
    if (x == Nil) return;
    const TNode* stop = x->Parent;
    while (x != stop) {
      if (x->Left != Nil) {
        TNode* l = x->Left;
        x->Left = Nil;
        x = l;
      } else if (x->Right != Nil) {
        TNode* r = x->Right;
        x->Right = Nil;
        x = r;
      } else {
        TNode* p = x->Parent;
        delete x;
        x = p;
      }
    }
  }

  void PreOrder(TNode* x, const std::function<void(Entry&)>& proc) {
    // A red-black tree of 2^31 entries is at most 62 levels deep, so recursion is bounded.
    if (x == Nil) return;
    proc(x->Data);
    PreOrder(x->Left, proc);
    PreOrder(x->Right, proc);
  }
};

// Walks a tree in key order: create, then while not Eof: GetData, use, Next.
// The tree must outlive the iterator and must not change while it is used.
template <class Entry>
class TRBTreeIterator {
 public:
  using TNode = typename TGenericRBTree<Entry>::TNode;

  explicit TRBTreeIterator(const TGenericRBTree<Entry>& tree) : Tree(&tree) { First(); }

  // Back to the first entry; returns Eof.
  bool First() {
    Current = Tree->FirstNode();
    Bof = Eof = Current == nullptr;
    return Eof;
  }
  // Moves to the successor; false (Eof set, Current kept on the last node) when there is none.
  bool Next() {
    if (Eof) throw ERBTreeError("EOF reached");
    Bof = false;
    TNode* n = Tree->NextNode(Current);
    if (n == nullptr) {
      Eof = true;
      return false;
    }
    Current = n;
    return true;
  }
  void GetData(Entry& data) const {
    if (Current == nullptr) throw ERBTreeError("No current value");
    data = Current->Data;
  }

  TNode* GetCurrent() const { return Current; }
  bool IsBof() const { return Bof; }
  bool IsEof() const { return Eof; }

 private:
  const TGenericRBTree<Entry>* Tree;
  TNode* Current = nullptr;
  bool Bof = true;
  bool Eof = true;
};

// The common base of the dictionaries: key lookups through a scratch entry holding the key.
template <class Entry>
class TDic : public TGenericRBTree<Entry> {
 public:
  using TNode = typename TGenericRBTree<Entry>::TNode;
  using Key = decltype(Entry::Key);
  using Value = decltype(Entry::Value);

  bool Exists(const Key& key) const { return FindKey(key) != nullptr; }
  using TGenericRBTree<Entry>::Exists;

 protected:
  TNode* FindKey(const Key& key) const {
    Entry scratch{key, Value{}};
    return this->Find(scratch);
  }
  // Replaces the value of an existing key (0) or inserts a new entry (1).
  int PutEntry(const Key& key, const Value& value) {
    Entry scratch{key, value};
    TNode* node;
    if (this->FindNode(scratch, node)) {
      node->Data.Value = value;
      return 0;
    }
    this->InsertNode(scratch, node);
    return 1;
  }
  TNode* FindKeyOrRaise(const Key& key) const {
    TNode* node = FindKey(key);
    if (node == nullptr) RaiseKeyNotFound(KeyText(key));
    return node;
  }
  void DeleteKey(const Key& key) { this->DeleteNode(FindKeyOrRaise(key)); }

  // Keys (and values) in key order into lists that have SetCount and Put.
  template <class KeyList>
  void FillKeys(KeyList& keys) const {
    keys.SetCount(this->Count());
    int32_t i = 0;
    for (TNode* x = this->FirstNode(); x != nullptr; x = this->NextNode(x)) keys.Put(i++, x->Data.Key);
  }
  template <class KeyList, class ValueList>
  void FillKeysAndValues(KeyList& keys, ValueList& values) const {
    FillKeys(keys);
    values.SetCount(this->Count());
    int32_t i = 0;
    for (TNode* x = this->FirstNode(); x != nullptr; x = this->NextNode(x)) values.Put(i++, x->Data.Value);
  }

  // A pointer-sized value in a record as a little-endian Int32: only values that are 32-bit numbers
  // survive the round trip; a pointer has no meaning outside the process.
  static void WriteValue32(TVStream& stream, void* value) {
    stream.WriteInt32(static_cast<int32_t>(reinterpret_cast<intptr_t>(value)));
  }
  static void* ReadValue32(TVStream& stream) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(stream.ReadInt32()));
  }

  // The key as UTF-8 text for a message.
  static std::string KeyText(const std::string& key) { return key; }
  static std::string KeyText(const std::u16string& key) { return KeyTextUtf8(key); }
  static std::string KeyText(int32_t key) { return std::to_string(key); }
};

// The Int32 set of the RBTree unit: signed order, 4-byte records.
class TRBTree : public TGenericRBTree<int32_t> {
 public:
  int CompareData(const int32_t& a, const int32_t& b) const override { return a < b ? -1 : a > b ? 1 : 0; }
  void WriteData(TVStream& stream, const int32_t& data) const override;
  void ReadData(TVStream& stream, int32_t& data) const override;

  using TGenericRBTree<int32_t>::Add;
  // True when value was present and is now removed.
  bool Remove(int32_t value);
  bool Contains(int32_t value) const { return Exists(value); }
};
