// The path storage of the results table: a trie of path components shared by every row.
//
// A path is cut after each "/" (folders) and "|" (an archive and the item inside it); each piece, its
// separator included, is one node under the node of the text before it, and the text after the last
// separator (possibly empty) is the last node. Thousands of hits below a few folders so cost one node per
// component, the duplicate filter of a search is one trie lookup (AddIfNew), and sorting rows by path is
// an integer comparison of the nodes' tree-order numbers.
//
// Identity: two paths are the same only when their texts are identical, so a.txt and A.txt are two
// files. Siblings are ordered without case, and texts equal without case are ordered by their code
// units, which makes the order total.
//
// Storage: a component made only of ASCII characters is kept as 8-bit text, any other as UTF-16. The
// component text belongs to the child dictionary of the parent node (TStgDic); the path node refers to
// it. Nodes live until Clear or the storage's destruction; nothing is ever removed on its own.
//
// Threads: one thread at a time; a comparison may number the nodes, so even reads are not shared.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "core/StrLst.h"
#include "core/WSPDicFast.h"

// Separators of a stored path: between folders, and between an archive and the item inside it.
constexpr char16_t kPathFolderSeparator = u'/';
constexpr char16_t kPathArchiveSeparator = u'|';

// A component text: the address of a zero-terminated block; bit 0 set = 8-bit ASCII text (the address
// is the reference with bit 0 cleared), bit 0 clear = UTF-16 text; 0 = the empty text.
using TPathName = uintptr_t;

// The component text of Name as UTF-16.
std::u16string NodeNameToWide(TPathName Name);

// A child-dictionary node: its key is kept as 8-bit text when it is pure ASCII, else as UTF-16 (the
// TPathName form).
class TStgDicNode : public WSPDicFast::TWSPNode {
 public:
  std::u16string GetKey() const override;
  void SetKey(std::u16string_view S) override;
};

// The children of one path node, keyed by component text; each value is the child's TPathNode.
class TStgDic : public WSPDicFast::TWideStrPtrDic {
 public:
  // Without case (the program-wide UTF-16 comparison, WideCompareTextFunc), then by code units; both
  // forms compare alike, 8-bit keys as their UTF-16 widening.
  static int CompareKeys(TPathName Key1, TPathName Key2);

  int CompareNodes(const WSPDicFast::TNode& Node1, const WSPDicFast::TNode& Node2) const override;
  std::unique_ptr<WSPDicFast::TNode> CreateNode() const override;
};

// One path component.
struct TPathNode {
  TPathName Name = 0;                 // with its trailing separator, if it has one; empty for the root
  TPathNode* Parent = nullptr;        // null for the root
  int32_t Order = 0;                  // position in tree order, valid while the storage is numbered
  std::unique_ptr<TStgDic> Children;  // made with the first child
};

class TPathsStorage {
 public:
  TPathsStorage();
  TPathsStorage(const TPathsStorage&) = delete;
  TPathsStorage& operator=(const TPathsStorage&) = delete;

  // The node of Path, made with every missing component. IsNew: the path was not stored before.
  TPathNode* AddPath(std::u16string_view Path, bool& IsNew);
  TPathNode* Add(std::u16string_view Path) {
    bool IsNew;
    return AddPath(Path, IsNew);
  }
  // The node when Path was not stored before, else null: the duplicate filter of a search.
  TPathNode* AddIfNew(std::u16string_view Path) {
    bool IsNew;
    TPathNode* Node = AddPath(Path, IsNew);
    return IsNew ? Node : nullptr;
  }
  // The node of Path, or null when one of its components is not stored.
  TPathNode* Find(std::u16string_view Path);
  // Node's own component text, or with Full the stored path (the names from below the root down to it).
  std::u16string GetPath(const TPathNode* Node, bool Full) const;
  // Frees every node; a new empty root.
  void Clear();

  // Tree order of two nodes (numbering the nodes first when a node was added since): negative, 0 or
  // positive.
  int CompareNodes(const TPathNode* A, const TPathNode* B);
  // The same for two items of a pointer list, each a TPathNode.
  int CompareItems(const void* A, const void* B) {
    return CompareNodes(static_cast<const TPathNode*>(A), static_cast<const TPathNode*>(B));
  }
  // Numbers every node in tree order: a node before its children, siblings in their dictionary's order.
  void NumberNodes();
  bool IsNumbered() const { return Numbered_; }
  TPathNode* GetRoot() const { return Root_; }
  // Nodes stored, the root included.
  int32_t NodeCount() const { return static_cast<int32_t>(Nodes_.size()); }

 private:
  // The child of Node named Piece, made when missing (Created).
  TPathNode* AddChildNode(TPathNode* Node, std::u16string_view Piece, bool& Created);
  // The child of Node named Piece, or null.
  TPathNode* FindChildNode(TPathNode* Node, std::u16string_view Piece);

  std::deque<TPathNode> Nodes_;  // every node, the root first; a deque keeps their addresses
  TPathNode* Root_ = nullptr;
  // The last path added and its node, and the folder part of it (up to its last separator) and the
  // folder's node: consecutive additions in one folder skip the descent.
  TPathNode* LastNode_ = nullptr;
  TPathNode* LastFolderNode_ = nullptr;
  std::u16string LastPath_;
  std::u16string LastFolder_;
  int32_t Counter_ = 0;
  bool Numbered_ = false;
  std::u16string LookupKey_;  // the zero-terminated piece that Find looks up
};

// The path column of the results table: a vector of TPathNode references ordered by tree order.
class TPaths : public TPointerVector {
 public:
  const char* ClassName() const override { return "TPaths"; }
  int Compare(int32_t Index, const void* Value) const override;
  std::unique_ptr<TPointerVector> CreateCompatible() const override;

  TPathNode* GetNode(int32_t Index) const { return static_cast<TPathNode*>(Get(Index)); }

  TPathsStorage* Storage = nullptr;  // not owned; must be set before a comparison
};

// The same references ordered by the nodes' own component texts, without case.
class TNames : public TPaths {
 public:
  const char* ClassName() const override { return "TNames"; }
  int Compare(int32_t Index, const void* Value) const override;
  std::unique_ptr<TPointerVector> CreateCompatible() const override;
};
