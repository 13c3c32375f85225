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
    std::function<bool(int32_t)> progress;
    bool cancelled = false;
    if (PluginCallback != nullptr) {
      const TPluginCallback callback = PluginCallback;
      void* const data = PluginCallbackData;
      progress = [callback, data, &cancelled](int32_t Percent) {
        cancelled = callback(0, Percent, 100, data) == 0;
        return !cancelled;
      };
    }
    std::string rtf;
    const int32_t code = Converter.ForeignToRtf(FileName, rtf, progress);
    if (cancelled || code == fceUserCancel) {
      SetLastErrorText(kUserCanceled);
      return TTry::Cancelled;
    }
    if (code != 0) {
      const std::string description = Converter.ErrorDescription(code);
      std::string text;
      if (code == fceConverterErr && !description.empty()) {
        text = description;
      } else {
        text = CodeText(code, FileName);
        if (!description.empty())
          text += "\r\nMS Converter returned the following error description:\r\n" + description;
      }
      SetLastErrorText(text);
      return TTry::Failed;
    }
    TVMemStream in, out;
    if (!rtf.empty()) in.Write(rtf.data(), static_cast<int32_t>(rtf.size()));
    in.Seek(0);
    if (!RTFToText(in, out)) {
      if (GetLastErrorText() == kUserCanceled) return TTry::Cancelled;
      SetLastErrorText("Error converting intermediate RTF data to plain text");
      return TTry::Failed;
    }
    Text.assign(static_cast<size_t>(out.GetSize()), '\0');
    out.Seek(0);
    out.Read(Text.data(), out.GetSize());
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
  std::unique_ptr<TCfbStorage> storage;
  if (StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, storage) != S_OK) return false;
  bool word = false, other = false;
  for (std::u16string name : storage->StreamNames()) {
    for (char16_t& c : name)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    word = word || name == u"WORDDOCUMENT";
    other = other || name == u"WORKBOOK" || name == u"BOOK" || name == u"POWERPOINT DOCUMENT";
  }
  return other && !word;
}

// Whether the ZIP package FileName is an OpenDocument or Office Open XML workbook or presentation: the
// OpenDocument type stands in the first entry ("mimetype"), the Office Open XML parts are named in the
// central directory at the end.
bool IsOtherOfficePackage(const std::string& FileName) {
  constexpr long kTail = 65536;
  std::FILE* f = std::fopen(FileName.c_str(), "rb");
  if (f == nullptr) return false;
  std::string head(128, '\0'), tail(kTail, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), f));
  if (std::fseek(f, -kTail, SEEK_END) != 0) std::fseek(f, 0, SEEK_SET);
  tail.resize(std::fread(tail.data(), 1, tail.size(), f));
  std::fclose(f);
  const bool odf = head.find("mimetypeapplication/vnd.oasis.opendocument.") != std::string::npos;
  if (odf) return head.find("opendocument.text") == std::string::npos;
  const bool text = tail.find("word/document") != std::string::npos;
  const bool other =
      tail.find("xl/workbook") != std::string::npos || tail.find("ppt/presentation") != std::string::npos;
  return other && !text;
}

// The office's word processor as a converter.
class TOfficeTextConverter final : public TTextConverter {
 public:
  std::string Name() const override { return "builtin:soffice"; }
  std::string Extensions() const override { return "doc dot wri wps wpd rtf odt docx"; }

  bool IsFormatCorrect(const std::string& FileName) override {
    unsigned char head[8] = {};
    std::FILE* f = std::fopen(FileName.c_str(), "rb");
    if (f == nullptr) return false;
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    auto starts = [&](const char* Sig, size_t Len) { return n >= Len && std::memcmp(head, Sig, Len) == 0; };
    if (starts("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return !IsOtherOfficeStorage(FileName);
    if (starts("PK\x03\x04", 4)) return !IsOtherOfficePackage(FileName);
    return starts("{\\rtf", 5) || starts("\x31\xBE\x00\x00", 4) || starts("\x32\xBE\x00\x00", 4) ||
           starts("\xFFWPC", 4);
  }

  int32_t ForeignToRtf(const std::string& FileName, std::string& Rtf,
                       const std::function<bool(int32_t)>&) override {
    LastComplaint.clear();
    int fd = OpenReadShared(FileName);
    if (fd < 0) return fceOpenInFileErr;
    CloseFileHandle(fd);
    TOfficeOutput output;
    if (!OfficeConvert(FileName, "rtf", output)) {
      if (GetLastErrorText() == kUserCanceled) return fceUserCancel;
      LastComplaint = std::string(GetLastErrorText());
      // Only a document the office could not load may be protected by a password; any other failure
      // (no office program, one that did not finish, no way to save the document as RTF) is its own.
      return LastComplaint.find(kOfficeLoadFailure) != std::string::npos ? fcePassword : fceConverterErr;
    }
    TVBufFileStream in(output.File, fmOpenRead);
    Rtf.assign(static_cast<size_t>(in.GetSize()), '\0');
    Rtf.resize(static_cast<size_t>(in.Read(Rtf.data(), static_cast<int32_t>(Rtf.size()))));
    return 0;
  }

  std::string ErrorDescription(int32_t) override { return LastComplaint; }

 private:
  std::string LastComplaint;
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
  for (auto& c : Converters)
    if (c) g_converters.push_back(TEntry{std::move(c), 0});
  g_initialised = true;
}

void DoneTextConverters() {
  g_converters.clear();
  g_initialised = false;
}

std::vector<std::string> TextConverterOrder() {
  std::vector<std::string> names;
  for (const TEntry& e : g_converters) names.push_back(e.Converter->Name());
  return names;
}

bool ConvertFileWithTextConverters(const std::string& FileName, std::string& Text) {
  Text.clear();
  if (!FileExists(FileName)) {
    SetLastErrorText("File " + Quoted(FileName) + " not found");
    return false;
  }
  const std::string notFound = "No appropriate converters found for " + Quoted(FileName);
  if (!InitTextConverters()) {
    SetLastErrorText(notFound);
    return false;
  }
  ClearLastErrorText();
  std::string ext = LowerFileExt(FileName);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  bool failed = false;
  for (int pass = 1; pass <= 2; ++pass) {
    for (size_t i = 0; i < g_converters.size(); ++i) {
      TEntry& entry = g_converters[i];
      if (HasExtension(*entry.Converter, ext) != (pass == 1)) continue;
      switch (TryTextConverter(*entry.Converter, FileName, Text)) {
        case TTry::Converted:
          ++entry.Uses;
          std::stable_sort(g_converters.begin(), g_converters.end(),
                           [](const TEntry& a, const TEntry& b) { return a.Uses > b.Uses; });
          return true;
        case TTry::Cancelled:
          return false;
        case TTry::Failed:
          failed = true;
          break;
        case TTry::NotTaken:
          break;
      }
    }
  }
  // A converter's own failure says more than "none found".
  if (!failed) SetLastErrorText(notFound);
  return false;
}

bool ConvertWithTextConverters(const std::string& Source, const std::string& Target) {
  try {
    std::string text;
    if (!ConvertFileWithTextConverters(Source, text)) return false;
    WriteTargetFile(Target, text);
    return true;
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
