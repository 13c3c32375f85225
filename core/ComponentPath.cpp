#include "core/ComponentPath.h"

#include <algorithm>

namespace {

// An item index has at most 9 digits: anything longer is no index a collection can hold.
constexpr size_t kMaxIndexDigits = 9;

bool SameName(const std::string& A, const std::string& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           auto Up = [](char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; };
           return Up(X) == Up(Y);
         });
}

IComponentNode* FindOwned(const IComponentNode* Root, const std::string& Name) {
  for (int32_t I = 0; I < Root->OwnedCount(); ++I) {
    IComponentNode* Child = Root->Owned(I);
    if (Child != nullptr && SameName(Child->Name(), Name)) return Child;
  }
  return nullptr;
}

IComponentNode* FindOwnedOrProperty(const IComponentNode* Root, const std::string& Name) {
  IComponentNode* Found = FindOwned(Root, Name);
  return Found != nullptr ? Found : Root->ObjectProperty(Name);
}

// "Comp.Prop[N]": item N of the collection in Comp's property Prop.
IComponentNode* FindCollectionItem(const IComponentNode* Root, const std::string& Path) {
  const size_t Dot = Path.find('.');
  const size_t Open = Path.find('[');
  if (Dot == std::string::npos || Path.back() != ']' || Open < Dot) return nullptr;
  const std::string Digits = Path.substr(Open + 1, Path.size() - Open - 2);
  if (Digits.empty() || Digits.size() > kMaxIndexDigits ||
      !std::all_of(Digits.begin(), Digits.end(), [](char C) { return C >= '0' && C <= '9'; })) {
    return nullptr;
  }
  const int32_t Index = std::stoi(Digits);

  IComponentNode* Comp = FindOwnedOrProperty(Root, Path.substr(0, Dot));
  if (Comp == nullptr) return nullptr;
  IComponentNode* Collection = Comp->ObjectProperty(Path.substr(Dot + 1, Open - Dot - 1));
  if (Collection == nullptr || Index >= Collection->CollectionCount()) return nullptr;
  return Collection->CollectionItem(Index);
}

}  // namespace

IComponentNode* FindComponentByPath(IComponentNode* Root, const std::string& Path) {
  if (Root == nullptr || Path.empty()) return nullptr;
  const size_t Dot = Path.find('.');
  const bool TwoDots = Dot != std::string::npos && Path.find('.', Dot + 1) != std::string::npos;

  if (TwoDots) {
    IComponentNode* Next = FindOwnedOrProperty(Root, Path.substr(0, Dot));
    return Next != nullptr ? FindComponentByPath(Next, Path.substr(Dot + 1)) : nullptr;
  }
  if (Path.find('[') != std::string::npos) return FindCollectionItem(Root, Path);
  if (Dot == std::string::npos) return FindOwned(Root, Path);
  IComponentNode* Next = FindOwned(Root, Path.substr(0, Dot));
  return Next != nullptr ? FindComponentByPath(Next, Path.substr(Dot + 1)) : nullptr;
}
