// The store of the interface languages: the languages known (name and font charset), the property
// entries that replace texts of the program's windows, and the string entries that translate the message
// catalogue; the reader of the interface-language files that fill it; and the walk that applies a
// language to open windows, or captures their current texts as a language.
//
// Windows are seen through small interfaces that the window layer implements over its widgets
// (ILangComponent, ILangForm, ILangScreen), so that the rules of applying and capturing hold for every
// window and can be driven by tests without a display.
//
// Language files are 8-bit text in the charset their LANGUAGE line names (a font charset code: 1 the
// system's Windows code page, 204 Cyrillic, ...). A value is decoded to UTF-16 with that charset when its
// file has been read, so the store holds UTF-16 text only.
//
// Threads: the store and the windows it touches belong to the main thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/ComponentPath.h"
#include "core/Exception.h"

// Every failure of the language layer: a language file that cannot be read or parsed (the message names
// the file and the line), a language index out of range.
class EMultiLang : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EMultiLang"; }
};

// The kinds of published text property the language layer reads and writes.
enum class TLangPropKind : uint8_t {
  None,     // not a property of the component, or of another kind: skipped
  String,   // one text (a caption, a hint, a title)
  Strings,  // a list of texts (the items of a combo box, list box or radio group; the lines of a memo)
};

// One component of a window whose text properties the language layer may set. Owned by the window
// layer; valid while its window is open. The nodes that FindComponentByPath reaches from a window are
// translated only when they are ILangComponent objects; other nodes merely lead the way.
class ILangComponent : public IComponentNode {
 public:
  virtual TLangPropKind PropertyKind(const std::string& PropName) const = 0;
  virtual std::u16string GetStringProperty(const std::string& PropName) const = 0;
  virtual void SetStringProperty(const std::string& PropName, const std::u16string& Value) = 0;
  virtual std::vector<std::u16string> GetStringsProperty(const std::string& PropName) const = 0;
  virtual void SetStringsProperty(const std::string& PropName, const std::vector<std::u16string>& Items) = 0;
  // The selected item of a combo box, list box or radio group; -1 for anything else.
  virtual int32_t ItemIndex() const { return -1; }
  virtual void SetItemIndex(int32_t) {}
};

// A window (or a data module): the root of its components. Its class name is "T" and the form name that
// language files use ("TMain" for the entries of section [Main]).
class ILangForm : public ILangComponent {
 public:
  virtual std::string ClassName() const = 0;
};

// The open windows and data modules of the program, as the window layer lists them.
class ILangScreen {
 public:
  virtual ~ILangScreen() = default;
  virtual int32_t FormCount() const = 0;
  virtual ILangForm* Form(int32_t Index) const = 0;
  virtual int32_t DataModuleCount() const { return 0; }
  virtual ILangForm* DataModule(int32_t) const { return nullptr; }
};

// One value of an entry in one language: a text, or a list of texts (an entry written as "{ ... }").
struct TLangValue {
  bool IsList = false;
  std::u16string Text;
  std::vector<std::u16string> Items;

  bool operator==(const TLangValue&) const = default;
};

// An entry: its value per language index; a language without a value holds none.
class TLangEntry {
 public:
  const TLangValue* Value(int32_t Language) const;
  void SetValue(int32_t Language, TLangValue Value);

 private:
  std::vector<std::optional<TLangValue>> Values_;
};

// The font charset of the built-in language and the default of a LANGUAGE line without one.
constexpr uint8_t kDefaultLangCharset = 1;

class TLangStorage {
 public:
  // Adds the language, or updates the charset of the language of that name (compared without ASCII case);
  // answers its index.
  int32_t AddLanguage(const std::string& Name, uint8_t Charset);
  int32_t GetLanguageCount() const { return static_cast<int32_t>(Languages_.size()); }
  // Name and charset of a language; the index must be in range.
  const std::string& GetLanguageName(int32_t Language) const;
  uint8_t GetLanguageCharset(int32_t Language) const;
  // The index of the language of that name (without ASCII case), -1 when none.
  int32_t IndexOfLanguage(const std::string& Name) const;

  // Reads a language file and adds what it defines. The file is read whole first and added only when it
  // was read without error, so a failing file changes nothing (neither languages nor entries).
  // LanguageIndex: the language of the file's last LANGUAGE line; LanguageId: its LANGID value (empty
  // without one). Raises EMultiLang with the file name and line.
  void ImportFile(const std::u16string& FileName, int32_t& LanguageIndex, std::string& LanguageId);

  // Applies language Language to the open windows of Screen (only to Form when it is given): every
  // property entry whose form, component and property exist takes the entry's value for Language, or
  // language 0's when it has none. With Capture, the current texts are stored as language Language
  // instead; with OnlyMissing as well, only entries that have no value for it yet are captured.
  void ApplyLanguage(int32_t Language, bool Capture, const ILangScreen* Screen, ILangForm* Form,
                     bool OnlyMissing = false);

  // The string entry Key (without case) in Language; false when it has no value there.
  bool GetString(int32_t Language, const std::string& Key, std::u16string& Value) const;
  // The property entry Key (form, component path and property joined by ".") in Language; null when none.
  const TLangValue* GetProperty(int32_t Language, const std::string& Key) const;

  // Orders keys without ASCII case, as the entries are kept.
  struct TKeyLess {
    bool operator()(const std::string& A, const std::string& B) const;
  };

 private:
  struct TLanguage {
    std::string Name;
    uint8_t Charset;
  };
  std::vector<TLanguage> Languages_;
  std::map<std::string, TLangEntry, TKeyLess> Properties_;
  std::map<std::string, TLangEntry, TKeyLess> Strings_;
};

// ---- The file reader, apart from the store so that its grammar can be tested on its own ----

// What one language file defines, still as the file's 8-bit text.
struct TLangFileContent {
  struct TLanguage {
    std::string Name;
    uint8_t Charset = kDefaultLangCharset;
  };
  struct TItem {
    bool IsString = false;  // a string entry (else a property entry)
    std::string Key;
    int32_t Language = 0;  // index into Languages
    bool IsList = false;
    std::string Text;
    std::vector<std::string> Items;
  };
  std::vector<TLanguage> Languages;  // in the order of their first LANGUAGE line
  std::vector<TItem> Items;          // in file order
  int32_t CurrentLanguage = -1;      // the language of the last LANGUAGE line
  std::string LanguageId;            // the LANGID value
};

// The longest line of a language file (the read buffer).
constexpr int32_t kLangFileLineBuffer = 65536;

// Reads and parses FileName (see ImportFile). Raises EMultiLang:
//   "Error importing language file '<name>' (line <n>)" and, when there is a reason, CR LF and the reason.
void ReadLanguageFile(const std::u16string& FileName, TLangFileContent& Content);

// Text without the characters up to code 32 at both ends, as language files are trimmed.
std::string TrimLangText(const std::string& S);
// Equal without ASCII case (section names, meta keys, language names).
bool SameLangText(const std::string& A, const std::string& B);
// A font charset as a LANGUAGE line gives it: a decimal number from 0 to 255 (blanks around it allowed).
bool ParseLangCharset(const std::string& Text, uint8_t& Charset);
// A line of a language file without its comment: ";" starts one outside "..." (where \" does not end the
// text) and '...' quotes; the rest trimmed.
std::string StripLangComment(const std::string& Line);
// A value as a language file writes it: "..." with C escapes decoded, '...' with '' made one quote, any
// other text as it is.
std::string UnquoteLangValue(const std::string& Value);
// 8-bit text of a language file in font charset Charset as UTF-16; an unknown charset is read as the
// system's Windows code page.
std::u16string DecodeLangText(const std::string& Text, uint8_t Charset);
