// Finding the interface-language files, importing them, and the plan of the "Interface Language" menu
// that the main window turns into menu items; the re-import of a language file edited while the program
// runs.
//
// Every menu item carries the index of the language it selects, and every imported file is listed with
// the language it defines, so a file that fails to import, or two files that show the same name, never
// make an item select another language than the one it shows.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/WinUtils.h"

class TMultiLang;

// The mask of the interface-language files in the program folder.
inline constexpr char16_t kLanguageFileMask[] = u"qvsrch*.lng";
// The number of menu items that get the keys Ctrl+Alt+F1 to Ctrl+Alt+F12, by position.
constexpr int32_t kLanguageHotKeys = 12;

// One imported language file.
struct TLanguageFile {
  std::u16string FileName;
  int32_t LanguageIndex = -1;
  // The last-write time of the file when it was last imported; 0 until a re-import (the time the
  // languages were loaded stands in for it).
  TDateTime ImportedAt = 0;
};

struct TLanguageMenuItem {
  std::string Name;        // "ml" + the language index
  std::u16string Caption;  // the language's display name
  int32_t LanguageIndex;
  int32_t HotKey;  // n for Ctrl+Alt+Fn (1 to 12), 0 for none
};

struct TLanguageMenu {
  std::vector<TLanguageMenuItem> Items;
  // The menu is enabled when it has items.
  bool Enabled = false;

  // Adds a radio item for the language unless an item of that caption exists; true when added.
  bool AddLanguageMenuItem(const std::u16string& Caption, int32_t LanguageIndex);
  // The item named "ml" + Index; null when none.
  const TLanguageMenuItem* ItemOfLanguage(int32_t Index) const;
};

// The display name of a language file from a quick look at its meta section: NAME, else LANGUAGE up to
// its first ",", decoded with the charset the LANGUAGE value names. False when the file has no meta
// section with a language, or cannot be read.
bool ReadLanguageFileName(const std::u16string& FileName, std::u16string& DisplayName);

// Lists the files of Folder matching Mask; when the languages already present and the files with a
// language number two or more, imports the files in the order of their display names (without case),
// and plans the menu: the languages already present, then one item per imported file. A file that fails
// to import is left out of the menu and of Files. Files receives the imported files.
void LoadLanguages(TMultiLang& Languages, const std::u16string& Folder, const std::u16string& Mask,
                   std::vector<TLanguageFile>& Files, TLanguageMenu& Menu);

// Selects language Index. Before, each file of that language whose last-write time is later than when it
// was imported (LoadedAt for files not re-imported yet) is imported again; an error of that import goes to
// Log and the language keeps its entries. Raises EMultiLang for an index out of range.
void SetLanguage(TMultiLang& Languages, std::vector<TLanguageFile>& Files, TDateTime LoadedAt, int32_t Index,
                 const std::function<void(const std::string&)>& Log);

// The text shown for the Ctrl key in shortcuts: "Strg+" for the language "DE", "Ctrl+" otherwise.
std::u16string CtrlShortcutPrefix(const std::string& LanguageName);
