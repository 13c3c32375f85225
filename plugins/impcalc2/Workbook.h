// The workbook reader: reads the workbook stream of a spreadsheet (globals, then each worksheet into a
// table of cells) and writes every worksheet as tab-separated text, one line per table row, with a line
// of 30 dashes between two sheets. Charts, macro sheets and modules are not read.
//
// A Workbook lives for one conversion and owns its sheets, cells, XF list and shared strings. One
// thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugins/frame/ConvCmmn.h"
#include "plugins/impcalc2/BiffRecord.h"
#include "plugins/impcalc2/SharedStringTable.h"

class Stream;

// One worksheet: the origin of its DIMENSIONS and a table of slots, each holding at most one cell. A
// MULRK or MULBLANK sits in the slot of its first column and covers the columns up to its last.
//
// The table is as large as DIMENSIONS says, and grows when a cell lies past its last row or column (some
// writers store the last row and column instead of one past them, others no DIMENSIONS at all; the
// table then starts empty at row 0, column 0). It never grows beyond the 65536 rows and 256 columns
// that cells can address; a cell before the origin or beyond those limits is an error.
class Sheet {
 public:
  explicit Sheet(const Workbook& Book) : Book_(Book) {}

  // Reads the sheet whose BOF was read; Id is the record after the BOF. Answers the id after the sheet's
  // EOF. An EOF before both DIMENSIONS and any cell raises "Bad sheet: dimensions not found".
  uint16_t Read(Stream& S, uint16_t Id);
  void Resize(uint32_t Rows, uint32_t Columns);
  void Clear();
  uint32_t Rows() const { return Rows_; }
  uint32_t Columns() const { return Columns_; }

  // Appends the sheet's text: per row the cell texts joined by TAB without the trailing TABs, then CR
  // LF. Answers false when Check said stop.
  bool WriteTextWide(std::u16string& Out, IConvProgress* Check) const;
  bool WriteTextAnsi(std::string& Out, IConvProgress* Check) const;

 private:
  void Place(std::unique_ptr<BiffCell> Cell);
  static std::u16string RowText(const std::vector<std::unique_ptr<BiffCell>>& Slots);
  template <class Text, class Convert>
  bool WriteText(Text& Out, IConvProgress* Check, Convert&& ToOutput) const;

  const Workbook& Book_;
  uint32_t FirstRow_ = 0;
  uint16_t FirstColumn_ = 0;
  uint32_t Rows_ = 0;
  uint32_t Columns_ = 0;
  // The rows that hold cells, by row index (relative to the origin); a row's slots are made when its first
  // cell arrives, so a sheet declared large costs only what its cells cost.
  std::map<uint32_t, std::vector<std::unique_ptr<BiffCell>>> Table_;
};

class Workbook {
 public:
  Workbook() = default;
  ~Workbook();
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  // Reads the stream from its start. Answers false when Check said stop; raises on a stream that is not
  // a workbook, a protected one, and damage. The end of the stream ends the reading.
  bool Read(Stream& S, IConvProgress* Check);
  // Writes every sheet; raises when the workbook has no worksheet. Answers false when Check said stop.
  bool WriteTextWide(std::u16string& Out, IConvProgress* Check) const;
  bool WriteTextAnsi(std::string& Out, IConvProgress* Check) const;
  // Frees the sheets, the XF list and the shared strings.
  void Destroy();

  bool Biff8() const { return Biff8_; }
  // The text of a number in cell format XF (the format of the XF record at that index; general when the
  // workbook has no such XF).
  std::u16string FormatNumber(double Value, uint16_t XF) const;
  const SharedStringTable* SharedStrings() const { return Sst_.get(); }
  const std::vector<std::unique_ptr<Sheet>>& Sheets() const { return Sheets_; }

 private:
  uint16_t ReadXF(Stream& S);
  uint16_t ReadSharedStrings(Stream& S);
  template <class Text, class Write>
  bool WriteText(Text& Out, IConvProgress* Check, Write&& WriteSheet) const;

  bool Biff8_ = true;
  std::vector<uint16_t> XfFormats_;
  std::unique_ptr<SharedStringTable> Sst_;
  std::vector<std::unique_ptr<Sheet>> Sheets_;
};

// The text of a workbook file: the stream "workbook", or "book" when that cannot be opened, as UTF-16LE
// bytes (Unicode) or 8-bit text in the Windows code page. Answers false when Progress said stop.
bool ConvertWorkbookFile(const std::string& FileName, bool Unicode, IConvProgress* Progress,
                         std::string& Text);
// Whether FileName is a compound file with a "workbook" or "book" stream; raises on failure.
bool IsWorkbookFile(const std::string& FileName);
