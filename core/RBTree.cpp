#include "core/RBTree.h"

#include "core/FileLayer.h"

void RaiseKeyNotFound(const std::string& KeyUtf8) { throw EDicError("Key '" + KeyUtf8 + "' not found"); }

std::string KeyTextUtf8(const std::u16string& Key) { return Utf16ToUtf8(Key); }

void TRBTree::WriteData(TVStream& Stream, const int32_t& Data) const { Stream.WriteInt32(Data); }

void TRBTree::ReadData(TVStream& Stream, int32_t& Data) const { Data = Stream.ReadInt32(); }

bool TRBTree::Remove(int32_t Value) {
  TNode* Node = Find(Value);
  if (Node == nullptr) return false;
  DeleteNode(Node);
  return true;
}
