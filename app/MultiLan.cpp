#include "app/MultiLan.h"

int32_t TMultiLang::LoadLanguageFile(const std::u16string& FileName) {
  int32_t Index = -1;
  std::string Id;
  Storage_.ImportFile(FileName, Index, Id);
  if (!Id.empty() && Index >= 0) LanguageIds_[Id] = Index;
  if (LanguageIndex_ < 0 && Storage_.GetLanguageCount() > 0) SetLanguageIndex(0);
  return Index;
}

void TMultiLang::SetLanguageIndex(int32_t Index) {
  const int32_t Count = Storage_.GetLanguageCount();
  if (Index >= Count || Index < -1 || (Index == -1 && Count > 0))
    throw EMultiLang("Language index out of range");
  ChangeLanguage(Index, true, nullptr, Count > 1);
}

void TMultiLang::ChangeLanguage(int32_t Index, bool Apply, ILangForm* Form, bool CaptureFirst) {
  const bool Valid = Index >= 0 && Index < Storage_.GetLanguageCount();
  if (!Valid && Index != -1) return;  // a language that does not exist is never current
  if (Valid && Apply) {
    if (CaptureFirst && LanguageIndex_ <= 0) Storage_.ApplyLanguage(0, true, Screen_, Form, true);
    Storage_.ApplyLanguage(Index, false, Screen_, Form);
  }
  const bool Changed = LanguageIndex_ != Index;
  LanguageIndex_ = Index;
  if (Changed && OnChange) OnChange();
}

void TMultiLang::TranslateForm(ILangForm& Form) {
  if (LanguageIndex_ >= 0) Storage_.ApplyLanguage(LanguageIndex_, false, Screen_, &Form);
}

void TMultiLang::CaptureForm(int32_t Language, ILangForm& Form) {
  Storage_.ApplyLanguage(Language, true, Screen_, &Form);
}

ILangForm* TMultiLang::CreateForm(const std::function<ILangForm*()>& Make, int32_t Language) {
  ILangForm* Form = Make ? Make() : nullptr;
  if (Form == nullptr) return nullptr;
  CaptureForm(Language, *Form);
  TranslateForm(*Form);
  return Form;
}

bool TMultiLang::GetString(const std::string& Key, std::u16string& Value) const {
  return LanguageIndex_ >= 0 && Storage_.GetString(LanguageIndex_, Key, Value);
}

uint8_t TMultiLang::GetCharset() const {
  return LanguageIndex_ >= 0 ? Storage_.GetLanguageCharset(LanguageIndex_) : kDefaultLangCharset;
}

int32_t TMultiLang::LanguageOfId(const std::string& LanguageId) const {
  const auto It = LanguageIds_.find(LanguageId);
  return It == LanguageIds_.end() ? -1 : It->second;
}
