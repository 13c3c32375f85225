#include "server/MSConvIntf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "core/VStream.h"
#include "platform/cfb/CompoundFile.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/OfficeText.h"
#include "server/RTFConv.h"
#include "server/Soffice.h"

namespace {

// What the office says when it cannot open a document.
constexpr const char* kOfficeLoadFailure = "source file could not be loaded";

struct TEntry {
  std::unique_ptr<TTextConverter> Converter;
  int32_t Uses = 0;
};

bool g_initialised = false;
std::vector<TEntry> g_converters;

std::string Quoted(const std::string& S) { return "\"" + S + "\""; }

// The text of a failure code.
std::string CodeText(int32_t Code, const std::string& FileName) {
  switch (Code) {
    case fceFormatErr:
    case fceInvalidFile:
      return "Invalid file " + Quoted(FileName);
    case fcePassword:
      return "Probably the document is password-protected or invalid";
    case fceNoMemory:
      return "No memory";
    case fceReadErr:
      return "Error reading file " + Quoted(FileName);
    case fceOpenInFileErr:
      return "Can't open file " + Quoted(FileName);
    default:
      return "ForeignToRtf32 error " + std::to_string(Code);
  }
}

enum class TTry { Converted, NotTaken, Failed, Cancelled };

TTry TryTextConverter(TTextConverter& Converter, const std::string& FileName, std::string& Text) {
  try {
    if (!Converter.IsFormatCorrect(FileName)) return TTry::NotTaken;
    std::function<bool(int32_t)> Progress;
    bool Cancelled = false;
    if (PluginCallback != nullptr) {
      const TPluginCallback Callback = PluginCallback;
      void* const Data = PluginCallbackData;
      Progress = [Callback, Data, &Cancelled](int32_t Percent) {
        Cancelled = Callback(0, Percent, 100, Data) == 0;
        return !Cancelled;
      };
    }
    std::string Rtf;
    const int32_t Code = Converter.ForeignToRtf(FileName, Rtf, Progress);
    if (Cancelled || Code == fceUserCancel) {
      SetLastErrorText(kUserCanceled);
      return TTry::Cancelled;
    }
    if (Code != 0) {
      const std::string Description = Converter.ErrorDescription(Code);
      std::string ErrorText;
      if (Code == fceConverterErr && !Description.empty()) {
        ErrorText = Description;
      } else {
        ErrorText = CodeText(Code, FileName);
        if (!Description.empty())
          ErrorText += "\r\nMS Converter returned the following error description:\r\n" + Description;
      }
      SetLastErrorText(ErrorText);
      return TTry::Failed;
    }
    TVMemStream In, Out;
    if (!Rtf.empty()) In.Write(Rtf.data(), static_cast<int32_t>(Rtf.size()));
    In.Seek(0);
    if (!RTFToText(In, Out)) {
      if (GetLastErrorText() == kUserCanceled) return TTry::Cancelled;
      SetLastErrorText("Error converting intermediate RTF data to plain text");
      return TTry::Failed;
    }
    Text.assign(static_cast<size_t>(Out.GetSize()), '\0');
    Out.Seek(0);
    Out.Read(Text.data(), Out.GetSize());
    return TTry::Converted;
  } catch (...) {
    SetErrorFromCurrentException();
    return TTry::Failed;
  }
}

bool HasExtension(const TTextConverter& Converter, const std::string& Ext) {
  return !Ext.empty() && Converter.Extensions().find(Ext) != std::string::npos;
}

// Whether the compound file FileName holds a workbook or a presentation and no Word document.
bool IsOtherOfficeStorage(const std::string& FileName) {
  std::unique_ptr<TCfbStorage> Storage;
  if (StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, Storage) != S_OK) return false;
  bool Word = false, Other = false;
  for (std::u16string Name : Storage->StreamNames()) {
    for (char16_t& C : Name)
      if (C >= u'a' && C <= u'z') C = static_cast<char16_t>(C - u'a' + u'A');
    Word = Word || Name == u"WORDDOCUMENT";
    Other = Other || Name == u"WORKBOOK" || Name == u"BOOK" || Name == u"POWERPOINT DOCUMENT";
  }
  return Other && !Word;
}

// Whether the ZIP package FileName is an OpenDocument or Office Open XML workbook or presentation: the
// OpenDocument type stands in the first entry ("mimetype"), the Office Open XML parts are named in the
// central directory at the end.
bool IsOtherOfficePackage(const std::string& FileName) {
  constexpr long kTail = 65536;
  std::FILE* F = std::fopen(FileName.c_str(), "rb");
  if (F == nullptr) return false;
  std::string Head(128, '\0'), Tail(kTail, '\0');
  Head.resize(std::fread(Head.data(), 1, Head.size(), F));
  if (std::fseek(F, -kTail, SEEK_END) != 0) std::fseek(F, 0, SEEK_SET);
  Tail.resize(std::fread(Tail.data(), 1, Tail.size(), F));
  std::fclose(F);
  const bool Odf = Head.find("mimetypeapplication/vnd.oasis.opendocument.") != std::string::npos;
  if (Odf) return Head.find("opendocument.text") == std::string::npos;
  const bool Text = Tail.find("word/document") != std::string::npos;
  const bool Other =
      Tail.find("xl/workbook") != std::string::npos || Tail.find("ppt/presentation") != std::string::npos;
  return Other && !Text;
}

// The office's word processor as a converter.
class TOfficeTextConverter final : public TTextConverter {
 public:
  std::string Name() const override { return "builtin:soffice"; }
  std::string Extensions() const override { return "doc dot wri wps wpd rtf odt docx"; }

  bool IsFormatCorrect(const std::string& FileName) override {
    unsigned char Head[8] = {};
    std::FILE* F = std::fopen(FileName.c_str(), "rb");
    if (F == nullptr) return false;
    const size_t N = std::fread(Head, 1, sizeof Head, F);
    std::fclose(F);
    auto Starts = [&](const char* Sig, size_t Len) { return N >= Len && std::memcmp(Head, Sig, Len) == 0; };
    if (Starts("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return !IsOtherOfficeStorage(FileName);
    if (Starts("PK\x03\x04", 4)) return !IsOtherOfficePackage(FileName);
    return Starts("{\\rtf", 5) || Starts("\x31\xBE\x00\x00", 4) || Starts("\x32\xBE\x00\x00", 4) ||
           Starts("\xFFWPC", 4);
  }

  int32_t ForeignToRtf(const std::string& FileName, std::string& Rtf,
                       const std::function<bool(int32_t)>&) override {
    LastComplaint_.clear();
    int Fd = OpenReadShared(FileName);
    if (Fd < 0) return fceOpenInFileErr;
    CloseFileHandle(Fd);
    TOfficeOutput Output;
    if (!OfficeConvert(FileName, "rtf", Output)) {
      if (GetLastErrorText() == kUserCanceled) return fceUserCancel;
      LastComplaint_ = std::string(GetLastErrorText());
      // Only a document the office could not load may be protected by a password; any other failure
      // (no office program, one that did not finish, no way to save the document as RTF) is its own.
      return LastComplaint_.find(kOfficeLoadFailure) != std::string::npos ? fcePassword : fceConverterErr;
    }
    TVBufFileStream In(Output.File, fmOpenRead);
    Rtf.assign(static_cast<size_t>(In.GetSize()), '\0');
    Rtf.resize(static_cast<size_t>(In.Read(Rtf.data(), static_cast<int32_t>(Rtf.size()))));
    return 0;
  }

  std::string ErrorDescription(int32_t) override { return LastComplaint_; }

 private:
  std::string LastComplaint_;
};

}  // namespace

std::unique_ptr<TTextConverter> MakeOfficeTextConverter() { return std::make_unique<TOfficeTextConverter>(); }

bool InitTextConverters() {
  if (!g_initialised) {
    g_initialised = true;
    g_converters.clear();
    g_converters.push_back(TEntry{MakeOfficeTextConverter(), 0});
  }
  if (g_converters.empty()) return false;
  ClearLastErrorText();
  return true;
}

void SetTextConverters(std::vector<std::unique_ptr<TTextConverter>> Converters) {
  g_converters.clear();
  for (auto& C : Converters)
    if (C) g_converters.push_back(TEntry{std::move(C), 0});
  g_initialised = true;
}

void DoneTextConverters() {
  g_converters.clear();
  g_initialised = false;
}

std::vector<std::string> TextConverterOrder() {
  std::vector<std::string> Names;
  for (const TEntry& E : g_converters) Names.push_back(E.Converter->Name());
  return Names;
}

bool ConvertFileWithTextConverters(const std::string& FileName, std::string& Text) {
  Text.clear();
  if (!FileExists(FileName)) {
    SetLastErrorText("File " + Quoted(FileName) + " not found");
    return false;
  }
  const std::string NotFound = "No appropriate converters found for " + Quoted(FileName);
  if (!InitTextConverters()) {
    SetLastErrorText(NotFound);
    return false;
  }
  ClearLastErrorText();
  std::string Ext = LowerFileExt(FileName);
  if (!Ext.empty() && Ext[0] == '.') Ext.erase(0, 1);
  bool Failed = false;
  for (int Pass = 1; Pass <= 2; ++Pass) {
    for (size_t I = 0; I < g_converters.size(); ++I) {
      TEntry& Entry = g_converters[I];
      if (HasExtension(*Entry.Converter, Ext) != (Pass == 1)) continue;
      switch (TryTextConverter(*Entry.Converter, FileName, Text)) {
        case TTry::Converted:
          ++Entry.Uses;
          std::stable_sort(g_converters.begin(), g_converters.end(),
                           [](const TEntry& A, const TEntry& B) { return A.Uses > B.Uses; });
          return true;
        case TTry::Cancelled:
          return false;
        case TTry::Failed:
          Failed = true;
          break;
        case TTry::NotTaken:
          break;
      }
    }
  }
  // A converter's own failure says more than "none found".
  if (!Failed) SetLastErrorText(NotFound);
  return false;
}

bool ConvertWithTextConverters(const std::string& Source, const std::string& Target) {
  try {
    std::string Text;
    if (!ConvertFileWithTextConverters(Source, Text)) return false;
    WriteTargetFile(Target, Text);
    return true;
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
