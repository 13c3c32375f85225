#include "search/PathsStg.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/Exception.h"
#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"

namespace {

constexpr TPathName kNarrowTag = 1;
constexpr char16_t kSeparators[] = {kPathFolderSeparator, kPathArchiveSeparator, 0};

bool IsNarrow(TPathName Name) { return (Name & kNarrowTag) != 0; }
const char* NarrowText(TPathName Name) { return reinterpret_cast<const char*>(Name & ~kNarrowTag); }
const char16_t* WideText(TPathName Name) { return Name != 0 ? reinterpret_cast<const char16_t*>(Name) : u""; }

bool IsAscii(std::u16string_view S) {
  for (char16_t C : S)
    if (C > 127) return false;
  return true;
}

// A component text as zero-terminated UTF-16 for a comparison: a UTF-16 name is used in place, an 8-bit
// one is widened, into a buffer on the stack when it is short.
class TWideName {
 public:
  explicit TWideName(TPathName Name) {
    if (!IsNarrow(Name)) {
      Text = WideText(Name);
      Length = qvnls::StrLenW(Text);
      return;
    }
    const char* A = NarrowText(Name);
    const size_t N = std::strlen(A);
    char16_t* Out;
    if (N < kShort) {
      Out = Short_;
    } else {
      Long_.resize(N + 1);
      Out = Long_.data();
    }
    for (size_t I = 0; I < N; ++I) Out[I] = static_cast<unsigned char>(A[I]);
    Out[N] = 0;
    Text = Out;
    Length = static_cast<int32_t>(N);
  }
  TWideName(const TWideName&) = delete;
  TWideName& operator=(const TWideName&) = delete;

  const char16_t* Text;
  int32_t Length;

 private:
  // File names are at most 255 bytes, so almost every component fits here.
  static constexpr size_t kShort = 256;
  char16_t Short_[kShort];
  std::u16string Long_;
};

int Sign(int32_t C) { return C < 0 ? -1 : C > 0 ? 1 : 0; }

void AppendName(std::u16string& S, TPathName Name) {
  if (!IsNarrow(Name)) {
    S.append(WideText(Name));
    return;
  }
  for (const char* A = NarrowText(Name); *A != 0; ++A) S.push_back(static_cast<unsigned char>(*A));
}

}  // namespace

std::u16string NodeNameToWide(TPathName Name) {
  std::u16string S;
  AppendName(S, Name);
  return S;
}

// ---------------------------------------------------------------------------------------------------------
// Child dictionaries

std::u16string TStgDicNode::GetKey() const { return NodeNameToWide(Key_); }

void TStgDicNode::SetKey(std::u16string_view S) {
  if (!IsAscii(S)) {
    TWSPNode::SetKey(S);
    return;
  }
  auto* Block = static_cast<char*>(AllocKeyBlock(S.size() + 1));
  for (size_t I = 0; I < S.size(); ++I) Block[I] = static_cast<char>(S[I]);
  Block[S.size()] = 0;
  FreeKey();
  Key_ = reinterpret_cast<uintptr_t>(Block) | kNarrowTag;
}

int TStgDic::CompareKeys(TPathName Key1, TPathName Key2) {
  const TWideName W1(Key1);
  const TWideName W2(Key2);
  const TWideCompareTextFunc Compare =
      WideCompareTextFunc != nullptr ? WideCompareTextFunc : qvnls::CompareTextWide;
  const int C = Sign(Compare(W1.Text, W2.Text));
  if (C != 0) return C;
  // Equal without case: the code units decide, so that names differing only in case stay apart.
  return Sign(std::u16string_view(W1.Text, W1.Length).compare(std::u16string_view(W2.Text, W2.Length)));
}

int TStgDic::CompareNodes(const WSPDicFast::TNode& Node1, const WSPDicFast::TNode& Node2) const {
  return CompareKeys(static_cast<const WSPDicFast::TWSPNode&>(Node1).KeyRef(),
                     static_cast<const WSPDicFast::TWSPNode&>(Node2).KeyRef());
}

std::unique_ptr<WSPDicFast::TNode> TStgDic::CreateNode() const { return std::make_unique<TStgDicNode>(); }

// ---------------------------------------------------------------------------------------------------------
// Storage

TPathsStorage::TPathsStorage() { Clear(); }

void TPathsStorage::Clear() {
  LastNode_ = LastFolderNode_ = nullptr;
  Root_ = nullptr;
  Nodes_.clear();
  Root_ = &Nodes_.emplace_back();
  LastPath_.clear();
  LastFolder_.clear();
  Counter_ = 0;
  Numbered_ = false;
}

TPathNode* TPathsStorage::AddChildNode(TPathNode* Node, std::u16string_view Piece, bool& Created) {
  if (!Node->Children) Node->Children = std::make_unique<TStgDic>();
  TStgDic& Dic = *Node->Children;
  WSPDicFast::TWSPNode& Search = Dic.SearchNode();
  Search.SetKey(Piece);
  WSPDicFast::TNode* Parent;
  if (Dic.FindNode(Search, Parent)) {
    Created = false;
    return static_cast<TPathNode*>(static_cast<WSPDicFast::TWSPNode*>(Parent)->Value);
  }
  // A node that a failed insertion leaves behind is never linked, so nothing reaches it.
  TPathNode& Child = Nodes_.emplace_back();
  Child.Parent = Node;
  Search.Value = &Child;
  auto* Inserted = static_cast<WSPDicFast::TWSPNode*>(Dic.InsertNode(Search, Parent));
  Child.Name = Inserted->KeyRef();
  Created = true;
  return &Child;
}

TPathNode* TPathsStorage::FindChildNode(TPathNode* Node, std::u16string_view Piece) {
  if (!Node->Children) return nullptr;
  LookupKey_.assign(Piece);
  void** Value = Node->Children->FindPtr(LookupKey_.c_str());
  return Value != nullptr ? static_cast<TPathNode*>(*Value) : nullptr;
}

TPathNode* TPathsStorage::AddPath(std::u16string_view Path, bool& IsNew) {
  IsNew = false;
  if (LastNode_ != nullptr && Path == LastPath_) return LastNode_;

  const size_t Cut = Path.find_last_of(kSeparators);
  const std::u16string_view Folder =
      Cut == std::u16string_view::npos ? Path.substr(0, 0) : Path.substr(0, Cut + 1);
  // A folder met just before continues from its node; any other path descends from the root (so does
  // every path while the cache is empty).
  TPathNode* Node = Root_;
  std::u16string_view Text = Path;
  if (LastFolderNode_ != nullptr && Folder == LastFolder_) {
    Node = LastFolderNode_;
    Text = Path.substr(Folder.size());
  }
  bool Created = false;
  bool AnyCreated = false;
  for (size_t Sep = Text.find_first_of(kSeparators); Sep != std::u16string_view::npos;
       Sep = Text.find_first_of(kSeparators)) {
    Node = AddChildNode(Node, Text.substr(0, Sep + 1), Created);
    AnyCreated |= Created;
    Text.remove_prefix(Sep + 1);
  }
  Node = AddChildNode(Node, Text, Created);
  AnyCreated |= Created;
  IsNew = Created;
  if (AnyCreated) Numbered_ = false;

  // The caches change only once the nodes stand; an allocation failure on the way leaves them empty.
  LastNode_ = LastFolderNode_ = nullptr;
  LastPath_.assign(Path);
  LastFolder_.assign(Folder);
  LastNode_ = Node;
  LastFolderNode_ = Node->Parent;
  return Node;
}

TPathNode* TPathsStorage::Find(std::u16string_view Path) {
  TPathNode* Node = Root_;
  std::u16string_view Text = Path;
  for (size_t Sep = Text.find_first_of(kSeparators); Sep != std::u16string_view::npos;
       Sep = Text.find_first_of(kSeparators)) {
    Node = FindChildNode(Node, Text.substr(0, Sep + 1));
    if (Node == nullptr) return nullptr;
    Text.remove_prefix(Sep + 1);
  }
  return FindChildNode(Node, Text);
}

std::u16string TPathsStorage::GetPath(const TPathNode* Node, bool Full) const {
  if (Node == nullptr) return std::u16string();
  if (!Full) return NodeNameToWide(Node->Name);
  std::vector<const TPathNode*> Chain;
  for (const TPathNode* N = Node; N != nullptr; N = N->Parent) Chain.push_back(N);
  std::u16string S;
  for (auto It = Chain.rbegin(); It != Chain.rend(); ++It) AppendName(S, (*It)->Name);
  return S;
}

void TPathsStorage::NumberNodes() {
  // Pre-order with an explicit stack (paths may be thousands of components deep): a node takes the next
  // number, then its children follow in key order.
  Counter_ = 0;
  std::vector<TPathNode*> Stack{Root_};
  std::vector<TPathNode*> Children;
  while (!Stack.empty()) {
    TPathNode* Node = Stack.back();
    Stack.pop_back();
    Node->Order = Counter_++;
    if (!Node->Children) continue;
    Children.clear();
    Node->Children->ForEachInOrder([&Children](WSPDicFast::TNode& Entry) {
      Children.push_back(static_cast<TPathNode*>(static_cast<WSPDicFast::TWSPNode&>(Entry).Value));
    });
    Stack.insert(Stack.end(), Children.rbegin(), Children.rend());
  }
  Numbered_ = true;
}

int TPathsStorage::CompareNodes(const TPathNode* A, const TPathNode* B) {
  if (!Numbered_) NumberNodes();
  return A->Order < B->Order ? -1 : A->Order > B->Order ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------------------
// Path columns

int TPaths::Compare(int32_t Index, const void* Value) const {
  const TPathNode* B;
  std::memcpy(&B, Value, sizeof B);
  return Storage->CompareNodes(GetNode(Index), B);
}

std::unique_ptr<TPointerVector> TPaths::CreateCompatible() const {
  auto V = std::make_unique<TPaths>();
  V->Storage = Storage;
  return V;
}

int TNames::Compare(int32_t Index, const void* Value) const {
  const TPathNode* B;
  std::memcpy(&B, Value, sizeof B);
  // The comparison of the UTF-16 string lists: without case.
  const TWideName W1(GetNode(Index)->Name);
  const TWideName W2(B->Name);
  return Sign(qvnls::CompareTextBufWide(W1.Text, W2.Text, W1.Length, W2.Length));
}

std::unique_ptr<TPointerVector> TNames::CreateCompatible() const {
  auto V = std::make_unique<TNames>();
  V->Storage = Storage;
  return V;
}
