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
  for (int I = 0; I < Bytes; ++I) S[Offset + I] = static_cast<char>((Value >> (8 * I)) & 0xFF);
}

inline std::string LE(uint32_t Value, int Bytes) {
  std::string S;
  PutLE(S, 0, Value, Bytes);
  return S;
}

// UTF-16LE bytes of a text.
inline std::string Utf16Bytes(const std::u16string& Text) {
  std::string S;
  for (char16_t C : Text) S += LE(C, 2);
  return S;
}

// A FIB of kFibSize bytes with Flags set, padded to 512 bytes so that text can follow it.
inline std::string WordFib(uint16_t Flags) {
  std::string Fib(512, '\0');
  PutLE(Fib, 0, 0xA5EC, 2);  // wIdent of Word 97 documents; the reader does not look at it
  PutLE(Fib, kFibFlags, Flags, 2);
  return Fib;
}

// One entry of a piece table: how many characters, and the file position as the descriptor holds it.
struct TWordPieceEntry {
  uint32_t Count;
  uint32_t FilePosition;
};

// A piece-table block (type 2) for Pieces, after an optional property block (type 1) of PropertyBytes.
inline std::string WordPieceTable(const std::vector<TWordPieceEntry>& Pieces,
                                  const std::string& PropertyBytes = "") {
  std::string Out;
  if (!PropertyBytes.empty())
    Out += std::string(1, '\x01') + LE(static_cast<uint32_t>(PropertyBytes.size()), 2) + PropertyBytes;
  Out += '\x02';
  Out += LE(static_cast<uint32_t>(4 + 12 * Pieces.size()), 4);
  uint32_t Cp = 0;
  Out += LE(Cp, 4);
  for (const TWordPieceEntry& P : Pieces) Out += LE(Cp += P.Count, 4);
  for (const TWordPieceEntry& P : Pieces) Out += LE(0, 2) + LE(P.FilePosition, 4) + LE(0, 2);
  return Out;
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
  std::string Doc = WordFib(Flags);
  std::vector<TWordPieceEntry> Entries;
  for (const TWord97Piece& P : Pieces) {
    const auto At = static_cast<uint32_t>(Doc.size());
    if (P.Wide) {
      Entries.push_back({static_cast<uint32_t>(P.Bytes.size() / 2), At});
    } else {
      Entries.push_back({static_cast<uint32_t>(P.Bytes.size()), (At * 2) | 0x40000000u});
    }
    Doc += P.Bytes;
  }
  const std::string Table = WordPieceTable(Entries, PropertyBytes);
  PutLE(Doc, kFibPieceTable97, 0, 4);
  PutLE(Doc, kFibPieceTable97 + 4, static_cast<uint32_t>(Table.size()), 4);
  return BuildCompoundFile({{u"WordDocument", Doc}, {TableName, Table}}).Bytes;
}

// A simple Word 6/95 document: Text (8-bit bytes) behind the FIB, which records Language and TextCharset.
inline std::string Word95Document(const std::string& Text, uint16_t Language,
                                  uint16_t TextCharset = kFibCharsetWindows) {
  std::string Doc = WordFib(0);
  PutLE(Doc, kFibLanguage, Language, 2);
  PutLE(Doc, kFibTextCharset, TextCharset, 2);
  PutLE(Doc, kFibTextStart, static_cast<uint32_t>(Doc.size()), 4);
  PutLE(Doc, kFibTextEnd, static_cast<uint32_t>(Doc.size() + Text.size()), 4);
  Doc += Text;
  return BuildCompoundFile({{u"WordDocument", Doc}}).Bytes;
}
