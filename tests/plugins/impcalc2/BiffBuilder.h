// Builds workbook streams record by record for tests, and writes them into compound files.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/platform/cfb/CfbWriter.h"

// Little-endian fields of a record body.
class TBiffBody {
 public:
  TBiffBody& U8(uint8_t V) {
    Bytes += static_cast<char>(V);
    return *this;
  }
  TBiffBody& U16(uint16_t V) { return U8(V & 0xFF).U8(V >> 8); }
  TBiffBody& U32(uint32_t V) { return U16(V & 0xFFFF).U16(V >> 16); }
  TBiffBody& F64(double V) {
    uint64_t Bits;
    std::memcpy(&Bits, &V, sizeof Bits);
    return U32(static_cast<uint32_t>(Bits)).U32(static_cast<uint32_t>(Bits >> 32));
  }
  TBiffBody& Raw(const std::string& S) {
    Bytes += S;
    return *this;
  }
  // 8-bit characters.
  TBiffBody& Chars8(const std::string& S) { return Raw(S); }
  TBiffBody& Chars16(const std::u16string& S) {
    for (char16_t C : S) U16(C);
    return *this;
  }
  std::string Bytes;
};

// A workbook stream: BOF of the globals, then whatever the test adds.
class TBiffStream {
 public:
  explicit TBiffStream(bool Biff8 = true) : Biff8_(Biff8) { Bof(0x0005); }

  TBiffStream& Record(uint16_t Id, const TBiffBody& Body) { return Record(Id, Body.Bytes); }
  TBiffStream& Record(uint16_t Id, const std::string& Body) {
    TBiffBody Head;
    Head.U16(Id).U16(static_cast<uint16_t>(Body.size()));
    Bytes += Head.Bytes + Body;
    return *this;
  }
  TBiffStream& Bof(uint16_t Type) {
    return Record(0x0809, TBiffBody().U16(Biff8_ ? 0x0600 : 0x0500).U16(Type).U16(0).U16(0));
  }
  TBiffStream& Eof() { return Record(0x000A, std::string()); }
  TBiffStream& XF(uint16_t Format) { return Record(0x00E0, TBiffBody().U16(0).U16(Format).U32(0).U32(0)); }
  TBiffStream& Dimensions(uint32_t FirstRow, uint32_t LastRowPlus1, uint16_t FirstCol,
                          uint16_t LastColPlus1) {
    TBiffBody B;
    if (Biff8_) {
      B.U32(FirstRow).U32(LastRowPlus1);
    } else {
      B.U16(static_cast<uint16_t>(FirstRow)).U16(static_cast<uint16_t>(LastRowPlus1));
    }
    return Record(0x0200, B.U16(FirstCol).U16(LastColPlus1).U16(0));
  }
  // A worksheet: BOF, DIMENSIONS, the cells, EOF.
  TBiffStream& Sheet(uint32_t Rows, uint16_t Cols, const std::string& Cells) {
    Bof(0x0010).Dimensions(0, Rows, 0, Cols);
    Bytes += Cells;
    return Eof();
  }
  static TBiffBody Cell(uint16_t Row, uint16_t Col, uint16_t XF = 0) {
    TBiffBody B;
    B.U16(Row).U16(Col).U16(XF);
    return B;
  }
  // Records of cells, to pass to Sheet.
  static std::string Rec(uint16_t Id, const TBiffBody& Body) {
    TBiffBody Head;
    Head.U16(Id).U16(static_cast<uint16_t>(Body.Bytes.size()));
    return Head.Bytes + Body.Bytes;
  }
  static std::string Number(uint16_t Row, uint16_t Col, double V, uint16_t XF = 0) {
    return Rec(0x0203, Cell(Row, Col, XF).F64(V));
  }
  static std::string Label8(uint16_t Row, uint16_t Col, const std::string& S) {
    return Rec(0x0204, Cell(Row, Col).U16(static_cast<uint16_t>(S.size())).U8(0).Chars8(S));
  }
  static std::string Label5(uint16_t Row, uint16_t Col, const std::string& S) {
    return Rec(0x0204, Cell(Row, Col).U16(static_cast<uint16_t>(S.size())).Chars8(S));
  }

  std::string Bytes;

 private:
  bool Biff8_;
};

// A compound file holding Stream under the name Name.
inline std::string WorkbookFile(const std::string& Stream, const std::u16string& Name = u"Workbook") {
  return BuildCompoundFile({{Name, Stream}}).Bytes;
}
