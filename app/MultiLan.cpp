#include "app/MultiLan.h"

int32_t TMultiLang::LoadLanguageFile(const std::u16string& FileName) {
  int32_t Index = -1;
  std::string Id;
  Storage.ImportFile(FileName, Index, Id);
  if (!Id.empty() && Index >= 0) LanguageIds[Id] = Index;
  if (LanguageIndex < 0 && Storage.GetLanguageCount() > 0) SetLanguageIndex(0);
  return Index;
}

void TMultiLang::SetLanguageIndex(int32_t Index) {
  const int32_t Count = Storage.GetLanguageCount();
  if (Index >= Count || Index < -1 || (Index == -1 && Count > 0))
    throw EMultiLang("Language index out of range");
  ChangeLanguage(Index, true, nullptr, Count > 1);
}

void TMultiLang::ChangeLanguage(int32_t Index, bool Apply, ILangForm* Form, bool CaptureFirst) {
  const bool Valid = Index >= 0 && Index < Storage.GetLanguageCount();
  if (!Valid && Index != -1) return;  // a language that does not exist is never current
  if (Valid && Apply) {
    if (CaptureFirst && LanguageIndex <= 0) Storage.ApplyLanguage(0, true, Screen, Form, true);
    Storage.ApplyLanguage(Index, false, Screen, Form);
  }
  const bool Changed = LanguageIndex != Index;
  LanguageIndex = Index;
  if (Changed && OnChange) OnChange();
}

void TMultiLang::TranslateForm(ILangForm& Form) {
  if (LanguageIndex >= 0) Storage.ApplyLanguage(LanguageIndex, false, Screen, &Form);
}

void TMultiLang::CaptureForm(int32_t Language, ILangForm& Form) {
  Storage.ApplyLanguage(Language, true, Screen, &Form);
}

ILangForm* TMultiLang::CreateForm(const std::function<ILangForm*()>& Make, int32_t Language) {
  ILangForm* Form = Make ? Make() : nullptr;
  if (Form == nullptr) return nullptr;
  CaptureForm(Language, *Form);
  TranslateForm(*Form);
  return Form;
}

bool TMultiLang::GetString(const std::string& Key, std::u16string& Value) const {
  return LanguageIndex >= 0 && Storage.GetString(LanguageIndex, Key, Value);
}

uint8_t TMultiLang::GetCharset() const {
  return LanguageIndex >= 0 ? Storage.GetLanguageCharset(LanguageIndex) : kDefaultLangCharset;
}

int32_t TMultiLang::LanguageOfId(const std::string& LanguageId) const {
  const auto It = LanguageIds.find(LanguageId);
  return It == LanguageIds.end() ? -1 : It->second;
}
