// The record layer of workbook streams (BIFF5/BIFF7 and BIFF8): record framing with CONTINUE records
// joined onto the body they continue, a bounded reader over a joined body, the cell records and their
// texts, and the BOF, DIMENSIONS and EOF records.
//
// Every record is framed as id (u16), body length (u16), body; all integers are little-endian. A reader
// of a record is handed the id already read and answers the id of the record that follows.
//
// What is checked: a body shorter than the fields of its record raises "Record 0x.... is shorter than its
// fields" (never a read past the body); a MULRK or MULBLANK must name a last column at or after its first
// and hold a value for each column; DIMENSIONS must be ordered, with at most 256 columns, and rows beyond
// the 65536 that cells can address are not kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Exception.h"

class Stream;
class Workbook;

// A workbook could not be read; the message is ready to show.
class EBiffError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EBiffError"; }
};

// Record ids.
constexpr uint16_t kBiffFormula = 0x0006;
constexpr uint16_t kBiffEof = 0x000A;
constexpr uint16_t kBiffFilePass = 0x002F;
constexpr uint16_t kBiffContinue = 0x003C;
constexpr uint16_t kBiffMulRk = 0x00BD;
constexpr uint16_t kBiffMulBlank = 0x00BE;
constexpr uint16_t kBiffRString = 0x00D6;
constexpr uint16_t kBiffXF = 0x00E0;
constexpr uint16_t kBiffSST = 0x00FC;
constexpr uint16_t kBiffLabelSst = 0x00FD;
constexpr uint16_t kBiffDimensions = 0x0200;
constexpr uint16_t kBiffBlank = 0x0201;
constexpr uint16_t kBiffNumber = 0x0203;
constexpr uint16_t kBiffLabel = 0x0204;
constexpr uint16_t kBiffBoolErr = 0x0205;
constexpr uint16_t kBiffString = 0x0207;
constexpr uint16_t kBiffRk = 0x027E;
constexpr uint16_t kBiffBof = 0x0809;

// BOF version of BIFF5/BIFF7; every other version is read as BIFF8.
constexpr uint16_t kBiff5Version = 0x0500;
// BOF type of a worksheet.
constexpr uint16_t kWorksheetBof = 0x0010;
// Rows and columns that cells can address (row and column are 16-bit; a sheet has at most 256 columns).
constexpr uint32_t kMaxSheetRows = 65536;
constexpr uint32_t kMaxSheetColumns = 256;

// Reads the fields of one joined record body. Reading past the body raises EBiffError.
class MemoryReader {
 public:
  MemoryReader(const uint8_t* Data, std::size_t Size, uint16_t RecordId)
      : Data_(Data), Size_(Size), Id_(RecordId) {}
  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  double F64();
  void Read(void* Buffer, std::size_t Count);
  void Skip(std::size_t Count);
  std::size_t Position() const { return Pos_; }
  std::size_t Left() const { return Size_ - Pos_; }
  const uint8_t* Data() const { return Data_; }
  [[noreturn]] void Short() const;

 private:
  const uint8_t* Need(std::size_t Count);
  const uint8_t* Data_;
  std::size_t Size_;
  std::size_t Pos_ = 0;
  uint16_t Id_;
};

// A string of a LABEL, RSTRING or STRING record: count (u16); in BIFF8 a flags byte (bit 0: 2-byte
// characters) and the characters; in BIFF5 the characters as bytes of the Windows code page.
std::u16string ReadBiffString(MemoryReader& Reader, bool Biff8);

// The base of every record read with its body: the workbook it belongs to, the joined body's length and
// the lengths of its segments (the record's own, then each CONTINUE's).
class BiffRecord {
 public:
  BiffRecord(const Workbook& Book, uint16_t Id) : Book_(Book), Id_(Id) {}
  virtual ~BiffRecord() = default;
  BiffRecord(const BiffRecord&) = delete;
  BiffRecord& operator=(const BiffRecord&) = delete;

  // Reads the body length and body, then every CONTINUE that follows, runs Parse over the joined body
  // (not for an empty one) and answers the next id.
  uint16_t ReadBody(Stream& S);
  // Reads the body length, skips the body and answers the next id.
  static uint16_t Skip(Stream& S);

  uint16_t Id() const { return Id_; }
  const std::vector<uint16_t>& Segments() const { return Segments_; }

 protected:
  virtual void Parse(MemoryReader& Reader) = 0;
  const Workbook& Book_;
  uint16_t Id_;
  std::vector<uint16_t> Segments_;
};

// A record that carries cells: row, first and last column (equal for one-cell records) and XF index.
class BiffCell : public BiffRecord {
 public:
  using BiffRecord::BiffRecord;
  // Appends the cell's text (several columns joined by TAB for MULRK and MULBLANK).
  virtual void Text(std::u16string& Out) const = 0;
  uint16_t Row = 0;
  uint16_t FirstColumn = 0;
  uint16_t LastColumn = 0;
  uint16_t XF = 0;

 protected:
  // Reads row, column and XF; a cell record needs at least these six bytes.
  void ParseHeader(MemoryReader& Reader);
};

// Whether Id is one of the cell records that RecordFactory reads.
bool IsCellRecordId(uint16_t Id);

// Creates the cell object for a cell record id (FORMULA, MULRK, MULBLANK, RSTRING, LABELSST, BLANK,
// NUMBER, LABEL, BOOLERR, RK), reads it and answers the next id; a FORMULA with a string result takes
// the STRING record that directly follows it. Any other id answers 0 and leaves Cell empty.
uint16_t RecordFactory(uint16_t Id, Stream& S, const Workbook& Book, std::unique_ptr<BiffCell>& Cell);

// The value of an RK number: a 30-bit integer (bit 1) or the high 30 bits of a double, divided by 100
// when bit 0 is set.
double DecodeRk(uint32_t Rk);
// The text of a cell error code ("#DIV/0!" for 7).
const char16_t* ErrorCodeText(uint8_t Code);

// BOF: version and type of the sub-stream it opens.
struct BofInfo {
  uint16_t Version = 0;
  uint16_t Type = 0;
};
// Reads the BOF whose id was read; Info receives its fields. Answers the next id.
uint16_t ReadBof(Stream& S, const Workbook& Book, BofInfo& Info);
inline bool IsBiff8(const BofInfo& Info) { return Info.Version != kBiff5Version; }
inline bool IsWorksheetBof(const BofInfo& Info) { return Info.Type == kWorksheetBof; }
// Reads the EOF whose id was read and answers the next id.
uint16_t ReadEof(Stream& S);

// DIMENSIONS: the first row and column and one past the last (rows cut to kMaxSheetRows).
struct SheetDimensions {
  uint32_t FirstRow = 0, LastRowPlus1 = 0;
  uint16_t FirstColumn = 0, LastColumnPlus1 = 0;
};
uint16_t ReadDimensions(Stream& S, const Workbook& Book, SheetDimensions& Dimensions);
