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
[[noreturn]] void RaiseKeyNotFound(const std::string& KeyUtf8);
// A UTF-16 key as UTF-8 for a message (an escaped file-name byte, U+DC80..U+DCFF, comes out as that byte;
// any other unpaired surrogate as U+FFFD).
std::string KeyTextUtf8(const std::u16string& Key);

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
    Nil_ = new TNode{nullptr, nullptr, nullptr, false, Entry{}};
    Nil_->Left = Nil_->Right = Nil_;
    Root_ = Nil_;
  }
  virtual ~TGenericRBTree() {
    Clear();
    delete Nil_;
  }
  TGenericRBTree(const TGenericRBTree&) = delete;
  TGenericRBTree& operator=(const TGenericRBTree&) = delete;

  // Order of two entries: negative, 0 or positive.
  virtual int CompareData(const Entry& A, const Entry& B) const = 0;
  // One entry's stream record.
  virtual void WriteData(TVStream& Stream, const Entry& Data) const = 0;
  virtual void ReadData(TVStream& Stream, Entry& Data) const = 0;

  int32_t Count() const { return Count_; }
  TNode* GetRoot() const { return Root_; }
  TNode* NilNode() const { return Nil_; }

  // Descends from the root. Found: true with node = the match. Not found: false with node = the last node
  // visited (the parent an insertion would use), or null for an empty tree.
  bool FindNode(const Entry& Data, TNode*& Node) const {
    Node = nullptr;
    TNode* X = Root_;
    while (X != Nil_) {
      Node = X;
      const int C = CompareData(Data, X->Data);
      if (C == 0) return true;
      X = C < 0 ? X->Left : X->Right;
    }
    return false;
  }

  // Links a new red node holding a copy of data under parent (null: as the root) and rebalances.
  TNode* InsertNode(const Entry& Data, TNode* Parent) {
    if (Count_ == INT32_MAX) throw ERBTreeError("TRBTree: too many entries");
    TNode* Z = new TNode{Nil_, Nil_, Parent, true, Data};  // complete before it is linked
    if (Parent == nullptr)
      Root_ = Z;
    else if (CompareData(Z->Data, Parent->Data) < 0)
      Parent->Left = Z;
    else
      Parent->Right = Z;
    InsertFixup(Z);
    ++Count_;
    return Z;
  }

  TNode* FindOrInsert(const Entry& Data, bool& Inserted) {
    TNode* Node;
    Inserted = !FindNode(Data, Node);
    if (Inserted) Node = InsertNode(Data, Node);
    return Node;
  }

  // True when inserted; an equal entry already present is kept untouched.
  bool Add(const Entry& Data) {
    bool Inserted;
    FindOrInsert(Data, Inserted);
    return Inserted;
  }

  TNode* Find(const Entry& Data) const {
    TNode* Node;
    return FindNode(Data, Node) ? Node : nullptr;
  }
  bool Exists(const Entry& Data) const { return Find(Data) != nullptr; }

  // The leftmost node, or null when the tree is empty.
  TNode* FirstNode() const {
    if (Count_ <= 0) return nullptr;
    TNode* X = Root_;
    while (X->Left != Nil_) X = X->Left;
    return X;
  }

  // The in-order successor of node, or null after the last one.
  TNode* NextNode(TNode* X) const {
    if (X->Right != Nil_) {
      X = X->Right;
      while (X->Left != Nil_) X = X->Left;
      return X;
    }
    TNode* P = X->Parent;
    while (P != nullptr && X == P->Right) {
      X = P;
      P = P->Parent;
    }
    return P;
  }

  // Unlinks node, rebalances and frees it. Precondition: node belongs to this tree.
  void DeleteNode(TNode* Z) {
    if (Z == nullptr || Z == Nil_) throw ERBTreeError("TRBTree.DeleteNode: invalid node");
    TNode* Y = (Z->Left == Nil_ || Z->Right == Nil_) ? Z : Minimum(Z->Right);
    TNode* X = Y->Left != Nil_ ? Y->Left : Y->Right;
    // x takes y's place; the nil node's parent is set here for the fix-up only.
    X->Parent = Y->Parent;
    if (Y->Parent == nullptr)
      Root_ = X;
    else if (Y == Y->Parent->Left)
      Y->Parent->Left = X;
    else
      Y->Parent->Right = X;
    if (!Y->Red) DeleteFixup(X);
    if (Y != Z) {
      // Move node y (not its entry) into z's place, so that no entry changes its address.
      Y->Parent = Z->Parent;
      if (Z->Parent == nullptr)
        Root_ = Y;
      else if (Z == Z->Parent->Left)
        Z->Parent->Left = Y;
      else
        Z->Parent->Right = Y;
      Y->Left = Z->Left;
      Y->Right = Z->Right;
      if (Y->Left != Nil_) Y->Left->Parent = Y;
      if (Y->Right != Nil_) Y->Right->Parent = Y;
      Y->Red = Z->Red;
    }
    Nil_->Parent = nullptr;
    delete Z;
    --Count_;
  }

  void Clear() {
    FreeSubtree(Root_);
    Root_ = Nil_;
    Count_ = 0;
  }

  // Pre-order walk: node, left subtree, right subtree. proc must not change the tree.
  void ForEach(const std::function<void(Entry&)>& Proc) {
    if (Proc) PreOrder(Root_, Proc);
  }

  // Int32 count, then every entry's record in key order.
  void SaveToStream(TVStream& Stream) const {
    Stream.WriteInt32(Count_);
    for (TNode* X = FirstNode(); X != nullptr; X = NextNode(X)) WriteData(Stream, X->Data);
  }
  // Clears, then reads a count and that many records (a key read twice keeps its first entry). A record
  // cut short raises the stream's exception; the entries read before it stay. A count that is zero or
  // negative leaves the tree empty.
  void LoadFromStream(TVStream& Stream) {
    Clear();
    const int32_t N = Stream.ReadInt32();
    Entry Scratch{};
    for (int32_t I = 0; I < N; ++I) {
      ReadData(Stream, Scratch);
      Add(Scratch);
    }
  }

 protected:
  TNode* Root_;
  TNode* Nil_;

 private:
  int32_t Count_ = 0;

  TNode* Minimum(TNode* X) const {
    while (X->Left != Nil_) X = X->Left;
    return X;
  }

  void RotateLeft(TNode* X) {
    TNode* Y = X->Right;
    X->Right = Y->Left;
    if (Y->Left != Nil_) Y->Left->Parent = X;
    Y->Parent = X->Parent;
    if (X->Parent == nullptr)
      Root_ = Y;
    else if (X == X->Parent->Left)
      X->Parent->Left = Y;
    else
      X->Parent->Right = Y;
    Y->Left = X;
    X->Parent = Y;
  }

  void RotateRight(TNode* X) {
    TNode* Y = X->Left;
    X->Left = Y->Right;
    if (Y->Right != Nil_) Y->Right->Parent = X;
    Y->Parent = X->Parent;
    if (X->Parent == nullptr)
      Root_ = Y;
    else if (X == X->Parent->Right)
      X->Parent->Right = Y;
    else
      X->Parent->Left = Y;
    Y->Right = X;
    X->Parent = Y;
  }

  void InsertFixup(TNode* X) {
    while (X != Root_ && X->Parent->Red) {
      TNode* P = X->Parent;
      TNode* G = P->Parent;  // exists: a red node is never the root
      if (P == G->Left) {
        TNode* U = G->Right;
        if (U->Red) {
          P->Red = U->Red = false;
          G->Red = true;
          X = G;
        } else {
          if (X == P->Right) {
            X = P;
            RotateLeft(X);
            P = X->Parent;
          }
          P->Red = false;
          G->Red = true;
          RotateRight(G);
        }
      } else {
        TNode* U = G->Left;
        if (U->Red) {
          P->Red = U->Red = false;
          G->Red = true;
          X = G;
        } else {
          if (X == P->Left) {
            X = P;
            RotateRight(X);
            P = X->Parent;
          }
          P->Red = false;
          G->Red = true;
          RotateLeft(G);
        }
      }
    }
    Root_->Red = false;
  }

  void DeleteFixup(TNode* X) {
    while (X != Root_ && !X->Red) {
      TNode* P = X->Parent;
      if (X == P->Left) {
        TNode* W = P->Right;
        if (W->Red) {
          W->Red = false;
          P->Red = true;
          RotateLeft(P);
          W = P->Right;
        }
        if (!W->Left->Red && !W->Right->Red) {
          W->Red = true;
          X = P;
        } else {
          if (!W->Right->Red) {
            W->Left->Red = false;
            W->Red = true;
            RotateRight(W);
            W = P->Right;
          }
          W->Red = P->Red;
          P->Red = false;
          W->Right->Red = false;
          RotateLeft(P);
          X = Root_;
        }
      } else {
        TNode* W = P->Left;
        if (W->Red) {
          W->Red = false;
          P->Red = true;
          RotateRight(P);
          W = P->Left;
        }
        if (!W->Right->Red && !W->Left->Red) {
          W->Red = true;
          X = P;
        } else {
          if (!W->Left->Red) {
            W->Right->Red = false;
            W->Red = true;
            RotateLeft(W);
            W = P->Left;
          }
          W->Red = P->Red;
          P->Red = false;
          W->Left->Red = false;
          RotateRight(P);
          X = Root_;
        }
      }
    }
    X->Red = false;
  }

  // Post-order (left, right, node), iterative so that no depth of tree can exhaust the call stack.
  void FreeSubtree(TNode* X) {
    if (X == Nil_) return;
    const TNode* Stop = X->Parent;
    while (X != Stop) {
      if (X->Left != Nil_) {
        TNode* L = X->Left;
        X->Left = Nil_;
        X = L;
      } else if (X->Right != Nil_) {
        TNode* R = X->Right;
        X->Right = Nil_;
        X = R;
      } else {
        TNode* P = X->Parent;
        delete X;
        X = P;
      }
    }
  }

  void PreOrder(TNode* X, const std::function<void(Entry&)>& Proc) {
    // A red-black tree of 2^31 entries is at most 62 levels deep, so recursion is bounded.
    if (X == Nil_) return;
    Proc(X->Data);
    PreOrder(X->Left, Proc);
    PreOrder(X->Right, Proc);
  }
};

// Walks a tree in key order: create, then while not Eof: GetData, use, Next.
// The tree must outlive the iterator and must not change while it is used.
template <class Entry>
class TRBTreeIterator {
 public:
  using TNode = typename TGenericRBTree<Entry>::TNode;

  explicit TRBTreeIterator(const TGenericRBTree<Entry>& Tree) : Tree_(&Tree) { First(); }

  // Back to the first entry; returns Eof.
  bool First() {
    Current_ = Tree_->FirstNode();
    Bof_ = Eof_ = Current_ == nullptr;
    return Eof_;
  }
  // Moves to the successor; false (Eof set, Current kept on the last node) when there is none.
  bool Next() {
    if (Eof_) throw ERBTreeError("EOF reached");
    Bof_ = false;
    TNode* N = Tree_->NextNode(Current_);
    if (N == nullptr) {
      Eof_ = true;
      return false;
    }
    Current_ = N;
    return true;
  }
  void GetData(Entry& Data) const {
    if (Current_ == nullptr) throw ERBTreeError("No current value");
    Data = Current_->Data;
  }

  TNode* GetCurrent() const { return Current_; }
  bool IsBof() const { return Bof_; }
  bool IsEof() const { return Eof_; }

 private:
  const TGenericRBTree<Entry>* Tree_;
  TNode* Current_ = nullptr;
  bool Bof_ = true;
  bool Eof_ = true;
};

// The common base of the dictionaries: key lookups through a scratch entry holding the key.
template <class Entry>
class TDic : public TGenericRBTree<Entry> {
 public:
  using TNode = typename TGenericRBTree<Entry>::TNode;
  using Key = decltype(Entry::Key);
  using Value = decltype(Entry::Value);

  bool Exists(const Key& Key) const { return FindKey(Key) != nullptr; }
  using TGenericRBTree<Entry>::Exists;

 protected:
  TNode* FindKey(const Key& Key) const {
    Entry Scratch{Key, Value{}};
    return this->Find(Scratch);
  }
  // Replaces the value of an existing key (0) or inserts a new entry (1).
  int PutEntry(const Key& Key, const Value& Value) {
    Entry Scratch{Key, Value};
    TNode* Node;
    if (this->FindNode(Scratch, Node)) {
      Node->Data.Value = Value;
      return 0;
    }
    this->InsertNode(Scratch, Node);
    return 1;
  }
  TNode* FindKeyOrRaise(const Key& Key) const {
    TNode* Node = FindKey(Key);
    if (Node == nullptr) RaiseKeyNotFound(KeyText(Key));
    return Node;
  }
  void DeleteKey(const Key& Key) { this->DeleteNode(FindKeyOrRaise(Key)); }

  // Keys (and values) in key order into lists that have SetCount and Put.
  template <class KeyList>
  void FillKeys(KeyList& Keys) const {
    Keys.SetCount(this->Count());
    int32_t I = 0;
    for (TNode* X = this->FirstNode(); X != nullptr; X = this->NextNode(X)) Keys.Put(I++, X->Data.Key);
  }
  template <class KeyList, class ValueList>
  void FillKeysAndValues(KeyList& Keys, ValueList& Values) const {
    FillKeys(Keys);
    Values.SetCount(this->Count());
    int32_t I = 0;
    for (TNode* X = this->FirstNode(); X != nullptr; X = this->NextNode(X)) Values.Put(I++, X->Data.Value);
  }

  // A pointer-sized value in a record as a little-endian Int32: only values that are 32-bit numbers
  // survive the round trip; a pointer has no meaning outside the process.
  static void WriteValue32(TVStream& Stream, void* Value) {
    Stream.WriteInt32(static_cast<int32_t>(reinterpret_cast<intptr_t>(Value)));
  }
  static void* ReadValue32(TVStream& Stream) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(Stream.ReadInt32()));
  }

  // The key as UTF-8 text for a message.
  static std::string KeyText(const std::string& Key) { return Key; }
  static std::string KeyText(const std::u16string& Key) { return KeyTextUtf8(Key); }
  static std::string KeyText(int32_t Key) { return std::to_string(Key); }
};

// The Int32 set of the RBTree unit: signed order, 4-byte records.
class TRBTree : public TGenericRBTree<int32_t> {
 public:
  int CompareData(const int32_t& A, const int32_t& B) const override { return A < B ? -1 : A > B ? 1 : 0; }
  void WriteData(TVStream& Stream, const int32_t& Data) const override;
  void ReadData(TVStream& Stream, int32_t& Data) const override;

  using TGenericRBTree<int32_t>::Add;
  // True when value was present and is now removed.
  bool Remove(int32_t Value);
  bool Contains(int32_t Value) const { return Exists(Value); }
};
