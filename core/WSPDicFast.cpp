#include "core/WSPDicFast.h"

#include <cstdlib>
#include <cstring>

#include "core/Exception.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"

namespace WSPDicFast {

// ---------------------------------------------------------------------------------------------------------
// Nodes

void TNode::Assign(TNode&) {}

TWSPNode::~TWSPNode() { FreeKey(); }

void TWSPNode::FreeKey() {
  std::free(reinterpret_cast<void*>(Key_ & ~uintptr_t{1}));
  Key_ = 0;
}

void* TWSPNode::AllocKeyBlock(size_t Bytes) {
  void* Block = std::malloc(Bytes);
  if (Block == nullptr) throw EOutOfMemory();
  return Block;
}

void TWSPNode::Assign(TNode& Source) {
  auto& S = static_cast<TWSPNode&>(Source);
  if (&S == this) return;
  FreeKey();
  Key_ = S.Key_;
  Value = S.Value;
  S.Key_ = 0;
}

std::u16string TWSPNode::GetKey() const {
  const char16_t* Text = KeyText();
  return Text != nullptr ? std::u16string(Text) : std::u16string();
}

void TWSPNode::SetKey(std::u16string_view S) {
  auto* Block = static_cast<char16_t*>(AllocKeyBlock((S.size() + 1) * sizeof(char16_t)));
  if (!S.empty()) std::memcpy(Block, S.data(), S.size() * sizeof(char16_t));
  Block[S.size()] = 0;
  FreeKey();
  Key_ = reinterpret_cast<uintptr_t>(Block);
}

// ---------------------------------------------------------------------------------------------------------
// Tree

TRBTree::TRBTree() : Nil_(std::make_unique<TNode>()) {
  Nil_->Left = Nil_->Right = Nil_.get();
  Root_ = Nil_.get();
}

TRBTree::~TRBTree() { Clear(); }

std::unique_ptr<TNode> TRBTree::CreateNode() const { return std::make_unique<TNode>(); }

void TRBTree::WriteNode(TVStream& Stream, const TNode&) const { Stream.WriteInt32(0); }

std::unique_ptr<TNode> TRBTree::ReadNode(TVStream& Stream) const {
  Stream.ReadInt32();
  return CreateNode();
}

bool TRBTree::FindNode(const TNode& SearchNode, TNode*& Node) const {
  Node = nullptr;
  TNode* X = Root_;
  while (X != Nil_.get()) {
    Node = X;
    const int C = CompareNodes(SearchNode, *X);
    if (C == 0) return true;
    X = C < 0 ? X->Left : X->Right;
  }
  return false;
}

TNode* TRBTree::InsertNode(TNode& SearchNode, TNode* Parent) {
  if (Count_ == INT32_MAX) throw Exception("TRBTree: too many entries");
  std::unique_ptr<TNode> Made = CreateNode();
  TNode* Z = Made.get();
  Z->Left = Z->Right = Nil_.get();
  Z->Parent = Parent;
  Z->Red = true;
  Z->Assign(SearchNode);
  const bool AsLeft = Parent != nullptr && CompareNodes(*Z, *Parent) < 0;
  // Complete: from here on nothing raises, and the tree owns the node.
  Made.release();
  if (Parent == nullptr)
    Root_ = Z;
  else if (AsLeft)
    Parent->Left = Z;
  else
    Parent->Right = Z;
  InsertFixup(Z);
  ++Count_;
  return Z;
}

TNode* TRBTree::Find(const TNode& SearchNode) const {
  TNode* Node;
  return FindNode(SearchNode, Node) ? Node : nullptr;
}

void TRBTree::ForEachPreOrder(const TRBTreeNodeVisitProc& Proc) const {
  if (Proc) PreOrder(Root_, Proc);
}

void TRBTree::ForEachInOrder(const TRBTreeNodeVisitProc& Proc) const {
  if (Proc) InOrder(Root_, Proc);
}

// A red-black tree of 2^31 nodes is at most 62 levels deep, so the recursion is bounded.
void TRBTree::PreOrder(TNode* X, const TRBTreeNodeVisitProc& Proc) const {
  if (X == Nil_.get()) return;
  TNode* L = X->Left;
  TNode* R = X->Right;
  Proc(*X);
  PreOrder(L, Proc);
  PreOrder(R, Proc);
}

void TRBTree::InOrder(TNode* X, const TRBTreeNodeVisitProc& Proc) const {
  if (X == Nil_.get()) return;
  InOrder(X->Left, Proc);
  TNode* R = X->Right;
  Proc(*X);
  InOrder(R, Proc);
}

// Post-order (left, right, node) without recursion: each child link is cut as it is followed.
void TRBTree::Clear() {
  TNode* NilNode = Nil_.get();
  TNode* X = Root_;
  while (X != NilNode && X != nullptr) {
    if (X->Left != NilNode) {
      TNode* L = X->Left;
      X->Left = NilNode;
      X = L;
    } else if (X->Right != NilNode) {
      TNode* R = X->Right;
      X->Right = NilNode;
      X = R;
    } else {
      TNode* P = X->Parent;
      delete X;
      X = P;
    }
  }
  Root_ = NilNode;
  Count_ = 0;
}

void TRBTree::RotateLeft(TNode* X) {
  TNode* Y = X->Right;
  X->Right = Y->Left;
  if (Y->Left != Nil_.get()) Y->Left->Parent = X;
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

void TRBTree::RotateRight(TNode* X) {
  TNode* Y = X->Left;
  X->Left = Y->Right;
  if (Y->Right != Nil_.get()) Y->Right->Parent = X;
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

void TRBTree::InsertFixup(TNode* X) {
  while (X != Root_ && X->Parent->Red) {
    TNode* P = X->Parent;
    TNode* G = P->Parent;  // exists: a red node is never the root
    const bool PIsLeft = P == G->Left;
    TNode* U = PIsLeft ? G->Right : G->Left;
    if (U->Red) {
      P->Red = U->Red = false;
      G->Red = true;
      X = G;
      continue;
    }
    if (PIsLeft) {
      if (X == P->Right) {
        X = P;
        RotateLeft(X);
        P = X->Parent;
      }
      P->Red = false;
      G->Red = true;
      RotateRight(G);
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
  Root_->Red = false;
}

// ---------------------------------------------------------------------------------------------------------
// UTF-16 key dictionary

TWideStrPtrDic::~TWideStrPtrDic() {
  if (LookupNode_) LookupNode_->DropKey();
}

int TWideStrPtrDic::CompareNodes(const TNode& Node1, const TNode& Node2) const {
  const char16_t* K1 = static_cast<const TWSPNode&>(Node1).KeyText();
  const char16_t* K2 = static_cast<const TWSPNode&>(Node2).KeyText();
  if (K1 == nullptr) K1 = u"";
  if (K2 == nullptr) K2 = u"";
  const int32_t C = qvnls::CompareTextBufWide(K1, K2, qvnls::StrLenW(K1), qvnls::StrLenW(K2));
  return C < 0 ? -1 : C > 0 ? 1 : 0;
}

std::unique_ptr<TNode> TWideStrPtrDic::CreateNode() const { return std::make_unique<TWSPNode>(); }

void TWideStrPtrDic::WriteNode(TVStream& Stream, const TNode& Node) const {
  const auto& N = static_cast<const TWSPNode&>(Node);
  Stream.WriteWideString(N.GetKey());
  Stream.WriteInt32(static_cast<int32_t>(reinterpret_cast<intptr_t>(N.Value)));
}

std::unique_ptr<TNode> TWideStrPtrDic::ReadNode(TVStream& Stream) const {
  std::unique_ptr<TWSPNode> Node = CreateWSPNode();
  Node->SetKey(Stream.ReadWideString());
  Node->Value = reinterpret_cast<void*>(static_cast<intptr_t>(Stream.ReadInt32()));
  return Node;
}

std::unique_ptr<TWSPNode> TWideStrPtrDic::CreateWSPNode() const {
  std::unique_ptr<TNode> Node = CreateNode();
  auto* W = dynamic_cast<TWSPNode*>(Node.get());
  if (W == nullptr) throw Exception("TWideStrPtrDic: the node class must descend from TWSPNode");
  Node.release();
  return std::unique_ptr<TWSPNode>(W);
}

TWSPNode& TWideStrPtrDic::SearchNode() {
  if (!SearchNode_) SearchNode_ = CreateWSPNode();
  return *SearchNode_;
}

void** TWideStrPtrDic::FindPtr(const char16_t* Key) {
  if (!LookupNode_) LookupNode_ = CreateWSPNode();
  LookupNode_->BorrowKey(Key != nullptr ? Key : u"");
  TNode* Found;
  try {
    Found = Find(*LookupNode_);
  } catch (...) {
    LookupNode_->DropKey();
    throw;
  }
  LookupNode_->DropKey();
  return Found != nullptr ? &static_cast<TWSPNode*>(Found)->Value : nullptr;
}

}  // namespace WSPDicFast
