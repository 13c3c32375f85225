// The "msconv" back-end: text-import converters turn a document into RTF, which the RTF reader turns
// into 8-bit text. The converters form a list in trial order: first every converter whose extension list
// holds the file's extension (as a substring), then the others; the first that recognises the file and
// converts it wins, and its use count grows, so that the most successful converters are tried first next
// time. The built-in converter is the office's word processor (Soffice.h).
//
// The list is process-wide, made on first use, and used by the server's one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One text-import converter.
class TTextConverter {
 public:
  virtual ~TTextConverter() = default;
  virtual std::string Name() const = 0;
  // Lower-case extensions without dots, separated by blanks ("doc dot").
  virtual std::string Extensions() const = 0;
  // Whether the converter takes the file.
  virtual bool IsFormatCorrect(const std::string& FileName) = 0;
  // Converts the file to RTF; 0 on success, else one of the codes below. Progress (percent) answers false
  // to cancel.
  virtual int32_t ForeignToRtf(const std::string& FileName, std::string& Rtf,
                               const std::function<bool(int32_t Percent)>& Progress) = 0;
  // The converter's own description of a failure code; empty when it has none.
  virtual std::string ErrorDescription(int32_t Code) = 0;
};

// Failure codes of ForeignToRtf.
constexpr int32_t fceOpenInFileErr = -1;
constexpr int32_t fceReadErr = -2;
constexpr int32_t fceNoMemory = -8;
constexpr int32_t fceInvalidFile = -5;
constexpr int32_t fcePassword = -13;
constexpr int32_t fceFormatErr = -14;
constexpr int32_t fceUserCancel = -16;
// The converter itself could not do its work (its program is missing, could not start, did not finish,
// or has no way to save the document as RTF): its description is the whole error text.
constexpr int32_t fceConverterErr = -3;

// Makes the list (once): the built-in converter. False when the list is empty.
bool InitTextConverters();
// Replaces the list (tests); the use counts start at 0.
void SetTextConverters(std::vector<std::unique_ptr<TTextConverter>> Converters);
// Frees the list (program end, tests); the next use makes it again.
void DoneTextConverters();
// The names of the converters in trial order.
std::vector<std::string> TextConverterOrder();

// The file's text in the ANSI code page; false with the error text set.
bool ConvertFileWithTextConverters(const std::string& FileName, std::string& Text);
bool ConvertWithTextConverters(const std::string& Source, const std::string& Target);

// The built-in converter: the office's word processor saves the document as RTF. It takes word-processor
// documents by their signature (compound files, RTF, Write, WordPerfect, ZIP packages), but not compound
// files that hold a workbook or a presentation and no Word document, nor packages of a workbook or a
// presentation. A document the office cannot load is reported as possibly password-protected or invalid,
// with the office's complaint; a missing or failing office program by its own message.
std::unique_ptr<TTextConverter> MakeOfficeTextConverter();
