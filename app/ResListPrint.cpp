#include "app/ResListPrint.h"

#include <algorithm>

#include "app/ResList.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "core/WinUtils.h"
#include "search/SrchRes.h"

std::vector<TPrintColumn> PlanPrintColumns(const std::vector<TPrintColumnSpec>& Columns, int32_t PageWidth,
                                           int32_t PageHeight, int32_t Margin) {
  const int32_t Right = PageWidth - Margin;
  const int32_t Bottom = PageHeight - Margin;
  int64_t Total = 0;
  for (const TPrintColumnSpec& C : Columns) Total += std::max<int32_t>(0, C.Width);
  std::vector<TPrintColumn> Placed;
  if (Margin >= Right || Margin >= Bottom || Total <= 0) return Placed;
  std::vector<TPrintColumnSpec> Ordered = Columns;
  std::stable_sort(Ordered.begin(), Ordered.end(), [](const TPrintColumnSpec& A, const TPrintColumnSpec& B) {
    return A.Position < B.Position;
  });
  const double Scale = static_cast<double>(Right - Margin) / static_cast<double>(Total);
  int32_t X = Margin;
  for (const TPrintColumnSpec& C : Ordered) {
    const auto Width = static_cast<int32_t>(std::max<int32_t>(0, C.Width) * Scale);
    Placed.push_back({C.Column, X, Width});
    X += Width;
  }
  return Placed;
}

std::u16string PrintCellText(const TSearchResults& Results, int32_t Row, int Column) {
  if (Column == rlcSize) return Utf8ToUtf16(std::to_string(Results.Sizes.Get(Row)));
  return ResListCellText(Results, Row, Column);
}

void PrintCopies(const TResListPrintJob& Job, int32_t& ListPasses, int32_t& PrinterCopies) {
  const int32_t Copies = std::max(1, Job.Copies);
  ListPasses = Job.Collate ? Copies : 1;
  PrinterCopies = Job.Collate ? 1 : Copies;
}

namespace {

void PrintLine(IResListPrintSurface& Surface, const std::vector<TPrintColumn>& Placed, int32_t Y,
               const std::u16string (&Texts)[4]) {
  const TMeasureText Measure = [&Surface](const std::u16string& Text) { return Surface.TextWidth(Text); };
  const int32_t Slack = Surface.AverageCharWidth();
  for (const TPrintColumn& C : Placed) {
    if (C.Column < 0 || C.Column > 3) continue;
    const std::u16string Fitted = WideFitText(Measure, Texts[C.Column], C.Width - Slack);
    if (!Fitted.empty()) Surface.DrawText(C.X, Y, Fitted);
  }
}

}  // namespace

TResListPrintResult PrintResList(const TSearchResults& Results, const std::vector<TPrintColumnSpec>& Columns,
                                 const std::u16string (&Captions)[4], const TResListPrintJob& Job,
                                 IResListPrintSurface& Surface) {
  const std::vector<TPrintColumn> Placed =
      PlanPrintColumns(Columns, Job.PageWidth, Job.PageHeight, Job.Margin);
  if (Placed.empty()) return prNothing;
  if (Surface.EscapePressed()) return prCancelled;
  int32_t Passes = 1, PrinterCopies = 1;
  PrintCopies(Job, Passes, PrinterCopies);
  const int32_t Bottom = Job.PageHeight - Job.Margin;
  Surface.BeginDocument();
  for (int32_t Copy = 0; Copy < Passes; ++Copy) {
    if (Copy > 0) Surface.NewPage();
    int32_t Y = Job.Margin;
    Surface.SetBold(true);
    PrintLine(Surface, Placed, Y, Captions);
    Y += Surface.LineHeight();
    Surface.SetBold(false);
    for (int32_t Row = 0; Row < Results.Count(); ++Row) {
      if (Surface.EscapePressed()) {
        Surface.AbortDocument();
        return prAborted;
      }
      if (Y >= Bottom) {
        Surface.NewPage();
        Y = Job.Margin;
      }
      std::u16string Texts[4];
      for (int Column = 0; Column < 4; ++Column) Texts[Column] = PrintCellText(Results, Row, Column);
      PrintLine(Surface, Placed, Y, Texts);
      Y += Surface.LineHeight();
    }
  }
  Surface.EndDocument();
  return prPrinted;
}
