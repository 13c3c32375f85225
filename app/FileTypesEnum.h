// The file types known on the machine, listed once per program run, and the logic of the file-type and
// mask dialogs without widgets: the selected masks, the rows of the selected-types list, and the mask
// editor's list.
//
// The types come from a source the window layer gives (the desktop's MIME database); tests give their
// own. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class TWideStrLst;

struct TFileTypeInfo {
  std::string TypeName;
  int32_t IconIndex = -1;
};

// One registered type as a source reports it.
struct TFileTypeSource {
  std::string Extension;  // without the dot
  std::string TypeName;   // the desktop's description; may be empty
  std::string ClassName;  // stands in for an empty TypeName
  int32_t IconIndex = -1;
};

class TFileTypesEnum {
 public:
  struct TEntry {
    std::string Extension;  // upper case, without the dot
    TFileTypeInfo Info;
  };

  // Lists the types of Source: extensions upper-cased; a type without a name (neither TypeName nor
  // ClassName) or an extension listed before is left out. Ready afterwards.
  void Enumerate();
  // Enumerates unless Ready.
  void WaitReady();
  // The type of an extension (any case, without the dot); null when unknown.
  const TFileTypeInfo* Find(const std::string& Ext) const;
  // Sorts the list by extension (Column 1) or type name (Column 2), descending when Descending.
  void Sort(int32_t Column, bool Descending);

  const std::vector<TEntry>& Entries() const { return List_; }
  bool Ready = false;
  std::function<std::vector<TFileTypeSource>()> Source;

 private:
  std::vector<TEntry> List_;
  std::map<std::string, size_t> ByExt_;
};

// The program's list, made at first use.
TFileTypesEnum& FileTypes();

// The extension a mask "*.X" names (upper case, X without "*" or "?"); empty for any other mask.
std::string MaskExtension(const std::u16string& Mask);

// One row of the selected-types list.
struct TSelectedTypeRow {
  std::u16string Display;      // the upper-case extension of a known type, otherwise the mask
  std::u16string Description;  // the type name, or "Unknown"
  std::u16string Mask;         // the mask the row stands for
};

// The selection of the file-type dialog: masks, sorted, and whether every file type is accepted.
class TFileTypeSelection {
 public:
  // Selected := Masks normalised and sorted; all types when that is empty or holds "*.*".
  void SetMasks(const TWideStrLst& Masks);
  // "&Accept all file types" and "Acc&ept selected file types only" ("*.*" leaves the selection).
  void ChooseAll() { AllTypes = true; }
  void ChooseSelected();
  // A type's box ticked: "*." + Ext joins the selection; a text without "." gets "*." first.
  void AddMask(const std::u16string& MaskOrExt);
  // Removes exactly that mask; true when it was selected.
  bool RemoveMask(const std::u16string& Mask);
  void Clear() { Selected_.clear(); }
  bool IsTypeSelected(const std::string& Ext) const;
  // The masks text: "*.*" for all types, else the selected masks joined.
  std::u16string MasksText() const;
  // The rows of the selected-types list, sorted by what they show; each row keeps its own mask.
  std::vector<TSelectedTypeRow> Rows(const TFileTypesEnum& Types) const;

  bool AllTypes = true;
  const std::vector<std::u16string>& Masks() const { return Selected_; }

 private:
  std::vector<std::u16string> Selected_;
};

// The mask editor's list: sorted masks, each once.
class TMaskEditList {
 public:
  void SetText(const std::u16string& Text);
  std::u16string Text() const;
  // Puts a typed mask (normalised; "*.*" only when ConfirmAnyFile answers true): an edited entry
  // (EditedIndex >= 0) is removed first, a mask already present takes that entry, a new one goes to its
  // sorted place. Answers the entry's index, or -1 when nothing was put.
  int32_t PutMask(const std::u16string& Typed, int32_t EditedIndex,
                  const std::function<bool()>& ConfirmAnyFile);
  void Delete(int32_t Index);
  void Clear() { Masks_.clear(); }
  const std::vector<std::u16string>& Items() const { return Masks_; }

 private:
  std::vector<std::u16string> Masks_;
};
