#include "core/RBTree.h"

#include "core/FileLayer.h"

void RaiseKeyNotFound(const std::string& keyUtf8) { throw EDicError("Key '" + keyUtf8 + "' not found"); }

std::string KeyTextUtf8(const std::u16string& key) { return Utf16ToUtf8(key); }

void TRBTree::WriteData(TVStream& stream, const int32_t& data) const { stream.WriteInt32(data); }

void TRBTree::ReadData(TVStream& stream, int32_t& data) const { data = stream.ReadInt32(); }

bool TRBTree::Remove(int32_t value) {
  TNode* node = Find(value);
  if (node == nullptr) return false;
  DeleteNode(node);
  return true;
}
