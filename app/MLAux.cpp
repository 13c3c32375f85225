#include "app/MLAux.h"

#include <algorithm>
#include <cstdlib>

#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"

namespace {

char UpperAscii(char C) { return C >= 'a' && C <= 'z' ? static_cast<char>(C - 32) : C; }

TLangValue DecodeValue(const TLangFileContent::TItem& Item, uint8_t Charset) {
  TLangValue Value;
  Value.IsList = Item.IsList;
  if (Item.IsList) {
    for (const std::string& S : Item.Items) Value.Items.push_back(DecodeLangText(S, Charset));
  } else {
    Value.Text = DecodeLangText(Item.Text, Charset);
  }
  return Value;
}

// A property key split into the form name (up to the first "."), the component path (between) and the
// property (after the last "."). False for a key without ".".
bool SplitPropertyKey(const std::string& Key, std::string& FormName, std::string& Path, std::string& Prop) {
  const size_t First = Key.find('.');
  if (First == std::string::npos) return false;
  const size_t Last = Key.rfind('.');
  FormName = Key.substr(0, First);
  Prop = Key.substr(Last + 1);
  Path = Last > First ? Key.substr(First + 1, Last - First - 1) : std::string();
  return !FormName.empty() && !Prop.empty();
}

// Sets or captures one property of one component.
void ApplyToTarget(ILangComponent& Target, const std::string& Prop, TLangEntry& Entry, int32_t Language,
                   bool Capture, const TLangValue* Value) {
  switch (Target.PropertyKind(Prop)) {
    case TLangPropKind::String:
      if (Capture) {
        TLangValue Current;
        Current.Text = Target.GetStringProperty(Prop);
        Entry.SetValue(Language, std::move(Current));
      } else if (!Value->IsList && Target.GetStringProperty(Prop) != Value->Text) {
        Target.SetStringProperty(Prop, Value->Text);
      }
      break;
    case TLangPropKind::Strings:
      if (Capture) {
        TLangValue Current;
        Current.IsList = true;
        Current.Items = Target.GetStringsProperty(Prop);
        Entry.SetValue(Language, std::move(Current));
      } else if (Value->IsList) {
        const int32_t Index = Target.ItemIndex();
        Target.SetStringsProperty(Prop, Value->Items);
        if (Index >= 0 && static_cast<size_t>(Index) < Value->Items.size()) Target.SetItemIndex(Index);
      }
      break;
    case TLangPropKind::None:
      break;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// TLangEntry

const TLangValue* TLangEntry::Value(int32_t Language) const {
  if (Language < 0 || static_cast<size_t>(Language) >= Values_.size()) return nullptr;
  const auto& V = Values_[static_cast<size_t>(Language)];
  return V ? &*V : nullptr;
}

void TLangEntry::SetValue(int32_t Language, TLangValue Value) {
  if (Language < 0) return;
  if (static_cast<size_t>(Language) >= Values_.size()) Values_.resize(static_cast<size_t>(Language) + 1);
  Values_[static_cast<size_t>(Language)] = std::move(Value);
}

// ---------------------------------------------------------------------------------------------------------
// TLangStorage

bool TLangStorage::TKeyLess::operator()(const std::string& A, const std::string& B) const {
  const size_t N = std::min(A.size(), B.size());
  for (size_t I = 0; I < N; ++I) {
    const unsigned char X = static_cast<unsigned char>(UpperAscii(A[I]));
    const unsigned char Y = static_cast<unsigned char>(UpperAscii(B[I]));
    if (X != Y) return X < Y;
  }
  return A.size() < B.size();
}

int32_t TLangStorage::AddLanguage(const std::string& Name, uint8_t Charset) {
  const int32_t Index = IndexOfLanguage(Name);
  if (Index >= 0) {
    Languages_[static_cast<size_t>(Index)].Charset = Charset;
    return Index;
  }
  Languages_.push_back({Name, Charset});
  return static_cast<int32_t>(Languages_.size()) - 1;
}

const std::string& TLangStorage::GetLanguageName(int32_t Language) const {
  return Languages_.at(static_cast<size_t>(Language)).Name;
}

uint8_t TLangStorage::GetLanguageCharset(int32_t Language) const {
  return Languages_.at(static_cast<size_t>(Language)).Charset;
}

int32_t TLangStorage::IndexOfLanguage(const std::string& Name) const {
  for (size_t I = 0; I < Languages_.size(); ++I)
    if (SameLangText(Languages_[I].Name, Name)) return static_cast<int32_t>(I);
  return -1;
}

void TLangStorage::ImportFile(const std::u16string& FileName, int32_t& LanguageIndex,
                              std::string& LanguageId) {
  TLangFileContent Content;
  ReadLanguageFile(FileName, Content);
  // The file was read whole: only now does the store change.
  std::vector<int32_t> Index;
  for (const auto& L : Content.Languages) Index.push_back(AddLanguage(L.Name, L.Charset));
  for (const auto& Item : Content.Items) {
    const size_t L = static_cast<size_t>(Item.Language);
    auto& Entries = Item.IsString ? Strings_ : Properties_;
    Entries[Item.Key].SetValue(Index[L], DecodeValue(Item, Content.Languages[L].Charset));
  }
  LanguageIndex = Content.CurrentLanguage < 0 ? -1 : Index[static_cast<size_t>(Content.CurrentLanguage)];
  LanguageId = Content.LanguageId;
}

void TLangStorage::ApplyLanguage(int32_t Language, bool Capture, const ILangScreen* Screen, ILangForm* Form,
                                 bool OnlyMissing) {
  std::vector<ILangForm*> Forms, Modules;
  if (Form != nullptr) {
    Forms.push_back(Form);
  } else if (Screen != nullptr) {
    for (int32_t I = 0; I < Screen->FormCount(); ++I) Forms.push_back(Screen->Form(I));
    for (int32_t I = 0; I < Screen->DataModuleCount(); ++I) Modules.push_back(Screen->DataModule(I));
  }
  for (auto& Property : Properties_) {
    const auto& Key = Property.first;
    auto& Entry = Property.second;
    const TLangValue* Value = nullptr;
    if (Capture) {
      if (OnlyMissing && Entry.Value(Language) != nullptr) continue;
    } else {
      Value = Entry.Value(Language);
      if (Value == nullptr && Language > 0) Value = Entry.Value(0);
      if (Value == nullptr) continue;
    }
    std::string FormName, Path, Prop;
    if (!SplitPropertyKey(Key, FormName, Path, Prop)) continue;
    const std::string ClassName = "T" + FormName;
    auto ApplyIn = [&](const std::vector<ILangForm*>& Roots) {
      bool Matched = false;
      for (ILangForm* Root : Roots) {
        if (Root == nullptr || !SameLangText(Root->ClassName(), ClassName)) continue;
        Matched = true;
        ILangComponent* Target =
            Path.empty() ? Root : dynamic_cast<ILangComponent*>(FindComponentByPath(Root, Path));
        if (Target != nullptr) ApplyToTarget(*Target, Prop, Entry, Language, Capture, Value);
      }
      return Matched;
    };
    if (!ApplyIn(Forms) && !Path.empty()) ApplyIn(Modules);
  }
}

bool TLangStorage::GetString(int32_t Language, const std::string& Key, std::u16string& Value) const {
  const auto It = Strings_.find(Key);
  if (It == Strings_.end()) return false;
  const TLangValue* V = It->second.Value(Language);
  if (V == nullptr) return false;
  Value = V->Text;
  return true;
}

const TLangValue* TLangStorage::GetProperty(int32_t Language, const std::string& Key) const {
  const auto It = Properties_.find(Key);
  return It == Properties_.end() ? nullptr : It->second.Value(Language);
}

// ---------------------------------------------------------------------------------------------------------

std::string TrimLangText(const std::string& S) {
  size_t B = 0, E = S.size();
  while (B < E && static_cast<unsigned char>(S[B]) <= ' ') ++B;
  while (E > B && static_cast<unsigned char>(S[E - 1]) <= ' ') --E;
  return S.substr(B, E - B);
}

bool SameLangText(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (UpperAscii(A[I]) != UpperAscii(B[I])) return false;
  return true;
}

bool ParseLangCharset(const std::string& Text, uint8_t& Charset) {
  const std::string Number = TrimLangText(Text);
  if (Number.empty()) return false;
  char* End = nullptr;
  const long N = std::strtol(Number.c_str(), &End, 10);
  if (*End != '\0' || N < 0 || N > 255) return false;  // a font charset is one byte
  Charset = static_cast<uint8_t>(N);
  return true;
}

std::u16string DecodeLangText(const std::string& Text, uint8_t Charset) {
  if (Text.empty()) return {};
  uint8_t Html = qvnls::FontCharsetToHTMLCharset(Charset);
  if (Html == 0) Html = qvnls::FontCharsetToHTMLCharset(kDefaultLangCharset);
  return CharsetToWide(Text, Html);
}
