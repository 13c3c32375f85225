#include "app/MLUtil.h"

#include <algorithm>

#include "app/MultiLan.h"
#include "core/FileLayer.h"
#include "core/StrLst.h"
#include "core/TextStream.h"
#include "core/VFileSys.h"
#include "search/NLSProcsDyn.h"

bool TLanguageMenu::AddLanguageMenuItem(const std::u16string& Caption, int32_t LanguageIndex) {
  for (const auto& Item : Items)
    if (Item.Caption == Caption) return false;
  const int32_t Position = static_cast<int32_t>(Items.size());
  Items.push_back({"ml" + std::to_string(LanguageIndex), Caption, LanguageIndex,
                   Position < kLanguageHotKeys ? Position + 1 : 0});
  return true;
}

const TLanguageMenuItem* TLanguageMenu::ItemOfLanguage(int32_t Index) const {
  for (const auto& Item : Items)
    if (Item.LanguageIndex == Index) return &Item;
  return nullptr;
}

bool ReadLanguageFileName(const std::u16string& FileName, std::u16string& DisplayName) {
  std::string Language, Name;
  try {
    // The buffer of the full import, so that a file the import reads is never skipped here for a long line.
    TFilteredTextStream Stream(FileName, tsmRead, kLangFileLineBuffer);
    std::string Line;
    bool InMeta = false;
    while (!Stream.Eof()) {
      Stream.ReadLine(Line);
      if (!InMeta) {
        InMeta = SameLangText(Line, "[!meta]");
        continue;
      }
      const size_t Eq = Line.find('=');
      if (Eq == std::string::npos) {
        if (Line.find_first_of("[]") != std::string::npos) break;
        continue;
      }
      const std::string Key = TrimLangText(Line.substr(0, Eq));
      if (SameLangText(Key, "language"))
        Language = TrimLangText(Line.substr(Eq + 1));
      else if (SameLangText(Key, "name"))
        Name = TrimLangText(Line.substr(Eq + 1));
      if (!Language.empty() && !Name.empty()) break;
    }
  } catch (const Exception&) {
    return false;
  }
  if (Language.empty()) return false;
  // The name is text of the language's charset, which follows the language's name after ",".
  const size_t Comma = Language.find(',');
  uint8_t Charset = kDefaultLangCharset;  // kept when the charset is missing or illegal
  if (Comma != std::string::npos) ParseLangCharset(Language.substr(Comma + 1), Charset);
  DisplayName = DecodeLangText(!Name.empty() ? Name : TrimLangText(Language.substr(0, Comma)), Charset);
  return true;
}

void LoadLanguages(TMultiLang& Languages, const std::u16string& Folder, const std::u16string& Mask,
                   std::vector<TLanguageFile>& Files, TLanguageMenu& Menu) {
  Files.clear();
  TWideStrLst Found;
  WideListFiles(Found, Folder, Mask, false);
  struct TKept {
    std::u16string FileName;
    std::u16string DisplayName;
  };
  std::vector<TKept> Kept;
  for (int32_t I = 0; I < Found.GetCount(); ++I) {
    TKept K{Found.Get(I), {}};
    if (ReadLanguageFileName(K.FileName, K.DisplayName)) Kept.push_back(std::move(K));
  }
  if (Languages.GetLanguageCount() + static_cast<int32_t>(Kept.size()) < 2) return;

  for (int32_t I = 0; I < Languages.GetLanguageCount(); ++I)
    Menu.AddLanguageMenuItem(Utf8ToUtf16(Languages.GetLanguageName(I)), I);
  // By display name without case; files of one name in the order of their file names.
  std::sort(Kept.begin(), Kept.end(), [](const TKept& A, const TKept& B) { return A.FileName < B.FileName; });
  std::stable_sort(Kept.begin(), Kept.end(), [](const TKept& A, const TKept& B) {
    return WideCompareTextFunc(A.DisplayName.c_str(), B.DisplayName.c_str()) < 0;
  });
  for (const TKept& K : Kept) {
    int32_t Index;
    try {
      Index = Languages.LoadLanguageFile(K.FileName);
    } catch (const Exception&) {
      continue;  // the file shows no item; the error is not the user's concern at start-up
    }
    if (Index < 0) continue;
    Files.push_back({K.FileName, Index, 0});
    Menu.AddLanguageMenuItem(K.DisplayName, Index);
  }
  Menu.Enabled = !Menu.Items.empty();
}

void SetLanguage(TMultiLang& Languages, std::vector<TLanguageFile>& Files, TDateTime LoadedAt, int32_t Index,
                 const std::function<void(const std::string&)>& Log) {
  if (Index > 0) {
    for (TLanguageFile& File : Files) {
      if (File.LanguageIndex != Index) continue;
      TDateTime WriteTime = 0;
      if (!WideGetFileInfo(File.FileName, nullptr, &WriteTime, nullptr, nullptr, nullptr)) continue;
      if (WriteTime <= (File.ImportedAt != 0 ? File.ImportedAt : LoadedAt)) continue;
      File.ImportedAt = WriteTime;
      try {
        Languages.LoadLanguageFile(File.FileName);
      } catch (const Exception& E) {
        if (Log) Log(E.Message());
      }
    }
  }
  Languages.SetLanguageIndex(Index);
}

std::u16string CtrlShortcutPrefix(const std::string& LanguageName) {
  return LanguageName == "DE" ? u"Strg+" : u"Ctrl+";
}
