// Hand-built Word documents for the Word reader's tests: a File Information Block with the fields the
// reader uses, piece tables, and the compound file around them (tests/platform/cfb/CfbWriter.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/impwrite/MSWord2Txt.h"
#include "tests/platform/cfb/CfbWriter.h"

inline void PutLE(std::string& S, std::size_t Offset, uint32_t Value, int Bytes) {
  if (S.size() < Offset + Bytes) S.resize(Offset + Bytes, '\0');
  for (int i = 0; i < Bytes; ++i) S[Offset + i] = static_cast<char>((Value >> (8 * i)) & 0xFF);
}

inline std::string LE(uint32_t Value, int Bytes) {
  std::string s;
  PutLE(s, 0, Value, Bytes);
  return s;
}

// UTF-16LE bytes of a text.
inline std::string Utf16Bytes(const std::u16string& Text) {
  std::string s;
  for (char16_t c : Text) s += LE(c, 2);
  return s;
}

// A FIB of kFibSize bytes with Flags set, padded to 512 bytes so that text can follow it.
inline std::string WordFib(uint16_t Flags) {
  std::string fib(512, '\0');
  PutLE(fib, 0, 0xA5EC, 2);  // wIdent of Word 97 documents; the reader does not look at it
  PutLE(fib, kFibFlags, Flags, 2);
  return fib;
}

// One entry of a piece table: how many characters, and the file position as the descriptor holds it.
struct TWordPieceEntry {
  uint32_t Count;
  uint32_t FilePosition;
};

// A piece-table block (type 2) for Pieces, after an optional property block (type 1) of PropertyBytes.
inline std::string WordPieceTable(const std::vector<TWordPieceEntry>& Pieces,
                                  const std::string& PropertyBytes = "") {
  std::string out;
  if (!PropertyBytes.empty())
    out += std::string(1, '\x01') + LE(static_cast<uint32_t>(PropertyBytes.size()), 2) + PropertyBytes;
  out += '\x02';
  out += LE(static_cast<uint32_t>(4 + 12 * Pieces.size()), 4);
  uint32_t cp = 0;
  out += LE(cp, 4);
  for (const TWordPieceEntry& p : Pieces) out += LE(cp += p.Count, 4);
  for (const TWordPieceEntry& p : Pieces) out += LE(0, 2) + LE(p.FilePosition, 4) + LE(0, 2);
  return out;
}

// A Word 97 piece: 8-bit text (Windows-1252 bytes) or UTF-16 text.
struct TWord97Piece {
  std::string Bytes;  // the stored bytes: one per character, or UTF-16LE
  bool Wide;
};

// A Word 97 document: the pieces' text behind the FIB in "WordDocument", the piece table in TableName.
// Extra streams are added as they are.
inline std::string Word97Document(const std::vector<TWord97Piece>& Pieces, uint16_t Flags = kFibWhichTable,
                                  const std::u16string& TableName = u"1Table",
                                  const std::string& PropertyBytes = "") {
  std::string doc = WordFib(Flags);
  std::vector<TWordPieceEntry> entries;
  for (const TWord97Piece& p : Pieces) {
    const auto at = static_cast<uint32_t>(doc.size());
    if (p.Wide) {
      entries.push_back({static_cast<uint32_t>(p.Bytes.size() / 2), at});
    } else {
      entries.push_back({static_cast<uint32_t>(p.Bytes.size()), (at * 2) | 0x40000000u});
    }
    doc += p.Bytes;
  }
  const std::string table = WordPieceTable(entries, PropertyBytes);
  PutLE(doc, kFibPieceTable97, 0, 4);
  PutLE(doc, kFibPieceTable97 + 4, static_cast<uint32_t>(table.size()), 4);
  return BuildCompoundFile({{u"WordDocument", doc}, {TableName, table}}).Bytes;
}

// A simple Word 6/95 document: Text (8-bit bytes) behind the FIB, which records Language and TextCharset.
inline std::string Word95Document(const std::string& Text, uint16_t Language,
                                  uint16_t TextCharset = kFibCharsetWindows) {
  std::string doc = WordFib(0);
  PutLE(doc, kFibLanguage, Language, 2);
  PutLE(doc, kFibTextCharset, TextCharset, 2);
  PutLE(doc, kFibTextStart, static_cast<uint32_t>(doc.size()), 4);
  PutLE(doc, kFibTextEnd, static_cast<uint32_t>(doc.size() + Text.size()), 4);
  doc += Text;
  return BuildCompoundFile({{u"WordDocument", doc}}).Bytes;
}
