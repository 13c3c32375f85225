// TWideStrings: the abstract list of UTF-16 strings with attached objects behind the UTF-16 list and
// combo controls (each control supplies the storage); TWideStringList is the plain in-memory list. The
// base adds a locale for code-page conversions, byte-order marks when loading and saving, a question
// before a save in a code page would lose characters, and the line and comma texts.
// Beside it: code-page conversion and the program-wide comparison of UTF-16 list items.
//
// Objects are untyped pointers that the lists do not own. A list is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/StringList.h"

class TVStream;

// The locale's default Windows code page; the system's when the locale has none.
int32_t LocaleAnsiCodePage(uint32_t LCID);
// Conversions through a Windows or DOS code page; a character the page cannot hold becomes "?".
std::u16string AnsiToWideCP(const std::string& S, int32_t CodePage);
std::string WideToAnsiCP(const std::u16string& S, int32_t CodePage);
std::string ConvertCodePage(const std::string& S, int32_t FromCP, int32_t ToCP);

// The locale's comparison without case: -1, 0 or 1.
int WideCompareTextWideApi(const std::u16string& S1, const std::u16string& S2, uint32_t LCID);
// The comparison of TWideStrings::IndexOf, chosen at start-up (WideCompareTextWideApi).
using TWideStringsCompareFunc = int (*)(const std::u16string& S1, const std::u16string& S2, uint32_t LCID);
extern TWideStringsCompareFunc WideStringsCompareFunc;

class TWideStrings;
// Asked before an 8-bit save that would lose characters; Proceed false cancels the save.
using TWideStringsSaveQueryEvent = std::function<void(TWideStrings& Sender, bool& Proceed)>;

class TWideStrings {
 public:
  TWideStrings();
  virtual ~TWideStrings() = default;
  TWideStrings(const TWideStrings&) = delete;
  TWideStrings& operator=(const TWideStrings&) = delete;

  // Storage, supplied by the descendants.
  virtual std::u16string Get(int32_t Index) const = 0;
  virtual int32_t GetCount() const = 0;
  virtual void Put(int32_t Index, const std::u16string& S) = 0;
  virtual void PutObject(int32_t Index, void* Obj) = 0;
  virtual void Clear() = 0;
  virtual void Delete(int32_t Index) = 0;
  virtual void Insert(int32_t Index, const std::u16string& S) = 0;

  // Calls OnQuerySave when one is set.
  virtual void QuerySave(bool& Proceed);
  virtual int32_t GetCapacity() const { return GetCount(); }
  virtual void* GetObject(int32_t Index) const;
  // The items joined with U+2028 (LINE SEPARATOR).
  virtual std::u16string GetTextStr() const;
  virtual void SetCapacity(int32_t) {}
  // Told when BeginUpdate leaves 0 (true) and EndUpdate returns to it (false).
  virtual void SetUpdateState(bool) {}
  virtual void SetLocale(uint32_t LCID) { Locale_ = LCID; }
  // Insert at the end; answers the index.
  virtual int32_t Add(const std::u16string& S);
  virtual int32_t AddObject(const std::u16string& S, void* Obj);
  // Each 8-bit string widened with the locale's code page; objects kept.
  virtual void AddStrings(const TStringList& Strings);
  // Strings and objects copied as they are (UTF-16 needs no code page).
  virtual void AddWideStrings(const TWideStrings& Strings);
  virtual void Exchange(int32_t Index1, int32_t Index2);
  // All strings with Separator between them (none after the last).
  virtual std::u16string GetDelimitedText(const std::u16string& Separator) const;
  // The first index whose string WideStringsCompareFunc finds equal (case ignored), -1 when none.
  virtual int32_t IndexOf(const std::u16string& S) const;
  // Raises EWin32Error when the file cannot be read.
  virtual void LoadFromFile(const std::u16string& FileName);
  // Reads from the position to the end: FF FE or FE FF starts UTF-16 (Unicode true), anything else is
  // 8-bit text of the system code page (Unicode false). Then SetTextStr.
  virtual void LoadFromStream(TVStream& Stream);
  virtual void Move(int32_t CurIndex, int32_t NewIndex);
  // Decides first (QuerySave may cancel), then creates or truncates the file and writes it: a
  // cancelled save leaves the file as it was.
  virtual void SaveToFile(const std::u16string& FileName);
  // With Unicode: FF FE and the text in UTF-16LE. Without: the items joined with CR LF in the locale's
  // code page, after OnQuerySave agreed when a character of 256 or above would be lost. Saved tells
  // whether anything was written.
  virtual void SaveToStream(TVStream& Stream);
  // Clear, then one item per line; a line ends at NUL, LF, VT, FF, CR, U+2028 or U+2029 (CR LF is one
  // break); a NUL ends the text; a break at the very end adds no empty item.
  virtual void SetTextStr(const std::u16string& Text);

  void Assign(const TWideStrings& Source);
  void Assign(const TStringList& Source);
  // Each string narrowed with the locale's code page, objects kept.
  void AssignTo(TStringList& Dest) const;
  void AssignTo(TWideStrings& Dest) const;
  void BeginUpdate();
  void EndUpdate();
  void InsertObject(int32_t Index, const std::u16string& S, void* Obj);
  // Same count and equal strings (ordinal, with case).
  bool Equals(const TWideStrings& Strings) const;
  // The strings joined with ","; one holding "," is always double-quoted, any other when it is not a
  // plain token.
  std::u16string GetCommaText() const;
  // Clear, then split at "," outside double quotes; every piece unquoted and added, empty ones too; a
  // text that is not empty always gives a final piece.
  void SetCommaText(const std::u16string& Text);
  // Raises EStringListError with Msg formatted with Data.
  [[noreturn]] void Error(const std::string& Msg, int32_t Data) const;

  uint32_t GetLocale() const { return Locale_; }
  int32_t GetUpdateCount() const { return UpdateCount_; }

  bool Saved = false;
  bool Unicode = true;
  TWideStringsSaveQueryEvent OnQuerySave;

 protected:
  int32_t UpdateCount_ = 0;
  uint32_t Locale_;
};

// The in-memory TWideStrings. Indexes are checked ("List index out of bounds (%d)").
class TWideStringList : public TWideStrings {
 public:
  std::u16string Get(int32_t Index) const override;
  int32_t GetCount() const override { return static_cast<int32_t>(Items_.size()); }
  void Put(int32_t Index, const std::u16string& S) override;
  void* GetObject(int32_t Index) const override;
  void PutObject(int32_t Index, void* Obj) override;
  void Clear() override { Items_.clear(); }
  void Delete(int32_t Index) override;
  void Insert(int32_t Index, const std::u16string& S) override;
  int32_t GetCapacity() const override { return static_cast<int32_t>(Items_.capacity()); }
  void SetCapacity(int32_t N) override;

 private:
  void CheckIndex(int32_t Index, int32_t Limit) const;
  std::vector<std::pair<std::u16string, void*>> Items_;
};
