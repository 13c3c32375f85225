// The copy-and-fold pass of the stream scanner: a window of raw bytes becomes the text that the words
// are matched in, in one pass per encoding. 8-bit text goes through a 256-entry table (the upper-case
// table of the Windows code page, the OEM-to-Windows table, or both composed); UTF-16 text through the
// 65,536-entry upper-case table of the national-language layer. The words are folded by the same
// tables, so a word and the text it is matched in always agree.
//
// The result is exactly the table applied to every byte or unit. Runs of ASCII take a 16-byte path when
// the table's first 128 entries are the identity or ASCII upper-casing (true of every code page the
// layer knows; checked when the folder is set up, never assumed). UTF-16 units take an 8-unit path when
// each is ASCII or lies in one of the longest runs of units that the table leaves as they are (CJK,
// Hangul, punctuation: also where 8-bit text read as UTF-16 falls).
//
// A folder keeps a pointer to its table: the table must outlive it. One thread uses a folder at a time.
#pragma once

#include <cstdint>

class TByteFolder {
 public:
  // Table null: a plain copy. Otherwise Table[b] is what byte b becomes.
  void SetTable(const uint8_t* Table);
  // Dest[i] = Table[Source[i]] for i < Count; the two ranges must not overlap.
  void Fold(const uint8_t* Source, uint8_t* Dest, int32_t Count) const;
  // True when folding is a plain copy.
  bool Copies() const { return Table_ == nullptr; }

 private:
  enum class TAsciiRule : uint8_t { kNone, kSame, kUpper };
  const uint8_t* Table_ = nullptr;
  TAsciiRule Ascii_ = TAsciiRule::kSame;
};

class TUnitFolder {
 public:
  // Table null: a plain copy. Otherwise Table[u] (65,536 entries) is what unit u becomes.
  void SetTable(const char16_t* Table);
  // Dest[i] = Table[unit i of Source] for i < Units; Source holds UTF-16LE at any byte address; the
  // ranges must not overlap.
  void Fold(const uint8_t* Source, char16_t* Dest, int32_t Units) const;
  bool Copies() const { return Table_ == nullptr; }

 private:
  // Runs [First, First + Size) of units that the table maps to themselves.
  struct TRun {
    uint16_t First = 0;
    uint16_t Size = 0;
  };
  static constexpr int kRuns = 6;

  const char16_t* Table_ = nullptr;
  bool AsciiUpper_ = false;
  TRun Runs_[kRuns];
};
