// Printing the results list, free of widgets: where the columns go on the page, what each cell prints,
// when a page ends, how copies are made and when Escape stops the job. The window layer hands in a
// surface that draws on the printer (app/ui/MainWindow); tests hand in one that records.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TSearchResults;

// The margin on every side of a page, in tenths of a millimetre (12.7 mm).
constexpr int32_t kPrintMarginTenthsMm = 127;

// A column as the list shows it: its designed index (TResListColumnIndex), its place among the shown
// columns and its width on screen.
struct TPrintColumnSpec {
  int Column = 0;
  int Position = 0;
  int32_t Width = 0;
};

// A column placed on the page: left edge and width in printer pixels.
struct TPrintColumn {
  int Column = 0;
  int32_t X = 0;
  int32_t Width = 0;
};

// The columns in their on-screen order, scaled so that together they fill the room between the margins
// (each width with its fraction cut off). Empty when the margins leave no room or the widths add up to 0.
std::vector<TPrintColumn> PlanPrintColumns(const std::vector<TPrintColumnSpec>& Columns, int32_t PageWidth,
                                           int32_t PageHeight, int32_t Margin);

// The printed text of a cell: as the list shows it, except the size, which prints as plain digits.
std::u16string PrintCellText(const TSearchResults& Results, int32_t Row, int Column);

// Where the list is drawn. Coordinates are printer pixels from the page's top-left corner.
class IResListPrintSurface {
 public:
  virtual ~IResListPrintSurface() = default;
  virtual void BeginDocument() = 0;
  virtual void NewPage() = 0;
  virtual void EndDocument() = 0;
  // Drops the job: nothing printed so far comes out.
  virtual void AbortDocument() = 0;
  virtual void SetBold(bool Bold) = 0;
  virtual int32_t TextWidth(const std::u16string& Text) = 0;
  virtual int32_t AverageCharWidth() = 0;
  virtual int32_t LineHeight() = 0;
  virtual void DrawText(int32_t X, int32_t Y, const std::u16string& Text) = 0;
  // True once the user pressed Escape.
  virtual bool EscapePressed() = 0;
};

// How a job is printed: the page in printer pixels, the margin converted to them, the copies the print
// dialog asked for and whether it asked for them collated.
struct TResListPrintJob {
  int32_t PageWidth = 0;
  int32_t PageHeight = 0;
  int32_t Margin = 0;
  int32_t Copies = 1;
  bool Collate = false;
};

enum TResListPrintResult : uint8_t { prPrinted, prNothing, prCancelled, prAborted };

// The number of times the list is printed and the copies left to the printer: collated copies are made
// by printing the list again, the others by the printer driver.
void PrintCopies(const TResListPrintJob& Job, int32_t& ListPasses, int32_t& PrinterCopies);

// Prints the rows of Results: per copy (every copy after the first on a new page) a bold line of Captions
// (the four column captions by designed index), then one line per row, each cell cut with "…" to its
// column width less one average character. A row that would start at or below the bottom margin starts
// a new page (the captions are not repeated). Escape before the document begins prints nothing
// (prCancelled); Escape before a row drops the job (prAborted).
TResListPrintResult PrintResList(const TSearchResults& Results, const std::vector<TPrintColumnSpec>& Columns,
                                 const std::u16string (&Captions)[4], const TResListPrintJob& Job,
                                 IResListPrintSurface& Surface);
