// TMultiLang: the program's interface-language object. It owns the language store (MLAux), knows the
// current language, switches the open windows between languages, makes new windows show the current one,
// and tells its owner when the language changed.
//
// Language 0 is the built-in language: the texts the windows were designed with. They are captured from
// each window when it is made (CreateForm, CaptureForm), so that switching back shows them again, and a
// language that lacks an entry shows the built-in text rather than the previous language's.
//
// Owned by the main window; used on the main thread only. The screen (the list of open windows) must
// outlive this object.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/MLAux.h"
#include "core/MsgStr.h"

class TMultiLang : public IMsgTranslations {
 public:
  // Screen may be null: no window is touched then (the catalogue alone uses the store).
  explicit TMultiLang(const ILangScreen* Screen = nullptr) : Screen_(Screen) {}

  int32_t AddLanguage(const std::string& Name, uint8_t Charset) {
    return Storage_.AddLanguage(Name, Charset);
  }
  // Imports the file (TLangStorage::ImportFile); a LANGID is remembered with the file's language; when no
  // language is selected yet, language 0 is. Answers the file's language index. Raises EMultiLang.
  int32_t LoadLanguageFile(const std::u16string& FileName);

  int32_t GetLanguageIndex() const { return LanguageIndex_; }
  // Index outside the languages, or -1 while languages exist: EMultiLang "Language index out of range".
  // Otherwise ChangeLanguage (Index, apply, all windows, capture first when more than one language exists).
  void SetLanguageIndex(int32_t Index);
  // With Apply and a valid Index: applies language Index to Form (every open window when null). With
  // CaptureFirst while the windows show the built-in language, their texts are first captured as language
  // 0 where it has none yet (windows not made through CreateForm). Then the current language becomes Index
  // and OnChange runs when it changed. An Index outside the languages (other than -1) changes nothing.
  void ChangeLanguage(int32_t Index, bool Apply, ILangForm* Form, bool CaptureFirst);
  // Applies the current language to a window.
  void TranslateForm(ILangForm& Form);
  // Stores the window's current texts as language Language.
  void CaptureForm(int32_t Language, ILangForm& Form);
  // Makes a window through Make, captures its designed texts as language Language and translates it to the
  // current language. Answers the window (null when Make gave none).
  ILangForm* CreateForm(const std::function<ILangForm*()>& Make, int32_t Language);

  // The string entry Key in the current language; false when it has none there (no fall-back).
  bool GetString(const std::string& Key, std::u16string& Value) const override;
  int32_t GetLanguageCount() const { return Storage_.GetLanguageCount(); }
  const std::string& GetLanguageName(int32_t Language) const { return Storage_.GetLanguageName(Language); }
  uint8_t GetLanguageCharset(int32_t Language) const { return Storage_.GetLanguageCharset(Language); }
  // The charset of the current language; the built-in charset when none is selected.
  uint8_t GetCharset() const;
  // The language a file with that LANGID was imported into; -1 when none.
  int32_t LanguageOfId(const std::string& LanguageId) const;

  TLangStorage& GetStorage() { return Storage_; }
  const TLangStorage& GetStorage() const { return Storage_; }

  // Runs after the current language changed.
  std::function<void()> OnChange;

 private:
  const ILangScreen* Screen_;
  TLangStorage Storage_;
  int32_t LanguageIndex_ = -1;
  std::map<std::string, int32_t, TLangStorage::TKeyLess> LanguageIds_;
};
