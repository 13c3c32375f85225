// The object-node red-black tree and the UTF-16 key dictionary built on it.
//
// Unlike the record-node trees of RBTree.h, the nodes here are objects: a descendant chooses what a node
// stores (its key representation) by its node class and how nodes compare by CompareNodes. The tree is
// made for many small dictionaries that are filled once and searched often:
//   - a key is copied once, into a block its node owns (TWSPNode::SetKey on the dictionary's scratch
//     node, SearchNode);
//   - an insertion moves that block from the scratch node into the new tree node (TNode::Assign), so
//     nothing is copied twice;
//   - a lookup (FindPtr) borrows the caller's text through a second scratch node and allocates nothing.
// There is no deletion: nodes live until Clear or the tree's destruction.
//
// Insert-if-absent, as the path storage uses it:
//   SearchNode ().SetKey (name); if FindNode (SearchNode (), parent) use parent->Value; else
//   SearchNode ().Value = v; InsertNode (SearchNode (), parent)  -- SearchNode is then without a key.
//
// Ownership: the tree owns its nodes and their key blocks; a node's Value (a pointer or a number) is never
// owned. The caller owns the tree. Threads: one thread at a time; no locking.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TVStream;

namespace WSPDicFast {

// One node: links, colour, and whatever a descendant adds. The plain class is the tree's nil node.
class TNode {
 public:
  TNode() = default;
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;
  virtual ~TNode() = default;

  // Takes over what Source carries (a descendant's key and value); Source keeps its links. The plain
  // node carries nothing.
  virtual void Assign(TNode& Source);

  TNode* Left = nullptr;
  TNode* Right = nullptr;
  TNode* Parent = nullptr;  // null for the root
  bool Red = false;
};

// A node with a key text in a block of its own and a pointer-sized value that it does not own.
//
// The key reference is the block's address; bit 0 is left to a descendant as a tag for another key form
// (blocks are at least 8-byte aligned, and a borrowed UTF-16 text is 2-byte aligned). The plain TWSPNode
// stores a zero-terminated UTF-16 copy.
class TWSPNode : public TNode {
 public:
  ~TWSPNode() override;

  // Key and Value := Source's, and Source's key reference := 0: the block changes owner, nothing is
  // copied. Source must be a TWSPNode (or descendant) of the same key form.
  void Assign(TNode& Source) override;
  // A copy of the key text (empty when unset).
  virtual std::u16string GetKey() const;
  // Frees the old block and stores a zero-terminated copy of S.
  virtual void SetKey(std::u16string_view S);

  // Points the key at Text (zero-terminated UTF-16) without owning it. Only for a lookup node: the
  // reference must be dropped with DropKey before Text goes and before the node is freed.
  void BorrowKey(const char16_t* Text) { Key_ = reinterpret_cast<uintptr_t>(Text); }
  // Forgets the key reference without freeing anything.
  void DropKey() { Key_ = 0; }
  uintptr_t KeyRef() const { return Key_; }
  // The UTF-16 key of a plain node; null when unset.
  const char16_t* KeyText() const { return reinterpret_cast<const char16_t*>(Key_); }

  void* Value = nullptr;

 protected:
  // Frees the block of the current key (bit 0 ignored) and sets the reference to 0.
  void FreeKey();
  // A new block of Bytes bytes; raises EOutOfMemory.
  static void* AllocKeyBlock(size_t Bytes);

  uintptr_t Key_ = 0;
};

using TRBTreeNodeVisitProc = std::function<void(TNode& Node)>;

class TRBTree {
 public:
  TRBTree();
  TRBTree(const TRBTree&) = delete;
  TRBTree& operator=(const TRBTree&) = delete;
  virtual ~TRBTree();

  // Order of two nodes' keys: negative, 0 or positive.
  virtual int CompareNodes(const TNode& Node1, const TNode& Node2) const = 0;
  // A new node of the tree's node class.
  virtual std::unique_ptr<TNode> CreateNode() const;
  // One node's stream record. The base writes and reads a bare 4-byte word (0) and carries nothing;
  // a tree that persists its nodes overrides both.
  virtual void WriteNode(TVStream& Stream, const TNode& Node) const;
  virtual std::unique_ptr<TNode> ReadNode(TVStream& Stream) const;

  int32_t Count() const { return Count_; }
  TNode* GetRoot() const { return Root_; }
  TNode* NilNode() const { return Nil_.get(); }

  // Descends from the root comparing SearchNode with each node. Found: true with Node = the match. Not
  // found: false with Node = the last node visited (the parent for an insertion), or null when empty.
  bool FindNode(const TNode& SearchNode, TNode*& Node) const;
  // A new node that takes over SearchNode's contents (Assign), linked under Parent (null: as the root)
  // and rebalanced. Parent must be the node FindNode answered for the same key.
  TNode* InsertNode(TNode& SearchNode, TNode* Parent);
  TNode* Find(const TNode& SearchNode) const;

  // Node, left subtree, right subtree. Proc must not relink the tree.
  void ForEachPreOrder(const TRBTreeNodeVisitProc& Proc) const;
  // Left subtree, node, right subtree: key order. Proc must not relink the tree.
  void ForEachInOrder(const TRBTreeNodeVisitProc& Proc) const;

  // Frees every node.
  void Clear();

 protected:
  TNode* Root_;
  std::unique_ptr<TNode> Nil_;

 private:
  int32_t Count_ = 0;

  void RotateLeft(TNode* X);
  void RotateRight(TNode* X);
  void InsertFixup(TNode* X);
  void PreOrder(TNode* X, const TRBTreeNodeVisitProc& Proc) const;
  void InOrder(TNode* X, const TRBTreeNodeVisitProc& Proc) const;
};

// UTF-16 keys, compared without case (qvnls CompareTextBufWide), to pointer-sized values.
class TWideStrPtrDic : public TRBTree {
 public:
  TWideStrPtrDic() = default;
  ~TWideStrPtrDic() override;

  int CompareNodes(const TNode& Node1, const TNode& Node2) const override;
  std::unique_ptr<TNode> CreateNode() const override;
  // Record: WriteWideString (key), WriteInt32 (value). Only values that are 32-bit numbers survive.
  void WriteNode(TVStream& Stream, const TNode& Node) const override;
  // The node is freed when a read raises.
  std::unique_ptr<TNode> ReadNode(TVStream& Stream) const override;

  // The scratch node for FindNode and InsertNode, made by CreateNode on first use (so that a
  // descendant's node class is in force) and owned by the dictionary. Its key is null after an insertion.
  TWSPNode& SearchNode();
  // The address of the value stored under Key (zero-terminated; null counts as empty), or null. The
  // caller may read and write the value through it; it stays valid until Clear. Allocates nothing after
  // the first call, and keeps no reference to Key.
  void** FindPtr(const char16_t* Key);

 private:
  // A node of this dictionary's node class, as a TWSPNode.
  std::unique_ptr<TWSPNode> CreateWSPNode() const;

  std::unique_ptr<TWSPNode> SearchNode_;
  std::unique_ptr<TWSPNode> LookupNode_;  // its key only ever borrows the caller's text
};

}  // namespace WSPDicFast
