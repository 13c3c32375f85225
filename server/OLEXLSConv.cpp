#include "server/OLEXLSConv.h"

#include <algorithm>
#include <memory>

#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "platform/cfb/CompoundFile.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/OfficeText.h"
#include "server/Soffice.h"

namespace {

// Comma, double quote, UTF-8, from line 1, standard cell formats, contents as shown, sheet N (-1: every
// sheet, each into a file of its own named "<source name>-<sheet name>.csv").
std::string CsvFilter(int32_t Sheet) {
  return "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false," + std::to_string(Sheet);
}
constexpr int32_t kAllSheets = -1;

// BIFF records of the workbook globals: the beginning of a substream, its end, a sheet of the list.
constexpr uint16_t kBiffBof = 0x0809;
constexpr uint16_t kBiffEof = 0x000A;
constexpr uint16_t kBiffBoundSheet = 0x0085;
constexpr uint16_t kBiff8Version = 0x0600;
// A sheet record: the stream position of its substream (4), visibility (1), kind (1), the name's length
// (1), then in BIFF8 a flags byte (bit 0: UTF-16) and the characters.
constexpr std::size_t kBoundSheetNameAt = 7;
// The globals come first and are small; a sheet list is never read beyond this many bytes.
constexpr uint32_t kMaxGlobalsBytes = 4 * 1024 * 1024;

uint16_t Get16(const std::string& S, std::size_t At) {
  return static_cast<uint16_t>(static_cast<uint8_t>(S[At]) | static_cast<uint8_t>(S[At + 1]) << 8);
}

// The sheet name of a BOUNDSHEET body, or false when the body is too short.
bool SheetName(const std::string& Body, bool Biff8, std::string& Name) {
  if (Body.size() < kBoundSheetNameAt) return false;
  const std::size_t length = static_cast<uint8_t>(Body[kBoundSheetNameAt - 1]);
  std::size_t at = kBoundSheetNameAt;
  std::u16string wide;
  if (Biff8) {
    if (Body.size() < at + 1) return false;
    const bool utf16 = (Body[at++] & 0x01) != 0;
    if (Body.size() < at + length * (utf16 ? 2 : 1)) return false;
    for (std::size_t i = 0; i < length; ++i)
      wide += utf16 ? static_cast<char16_t>(Get16(Body, at + 2 * i))
                    : static_cast<char16_t>(static_cast<uint8_t>(Body[at + i]));
  } else {
    if (Body.size() < at + length) return false;
    const uint8_t charset = qvnls::GetAnsiCharset();
    for (std::size_t i = 0; i < length; ++i) {
      const auto b = static_cast<uint8_t>(Body[at + i]);
      wide += b < 0x80 ? static_cast<char16_t>(b) : qvnls::CharToWideChar(b, charset);
    }
  }
  Name = Utf16ToUtf8(wide);
  return true;
}

// The files of Folder put in the order of Names (each "<anything>-<name>.csv"), into Ordered; false when a
// file answers no name or two names answer one file.
bool OrderSheetFiles(const std::string& Folder, const std::vector<std::string>& Names,
                     std::vector<std::string>& Ordered) {
  std::vector<std::string> files;
  ListFileNames(files, Folder, "*", false);
  std::vector<bool> used(files.size(), false);
  for (const std::string& name : Names) {
    const std::string tail = "-" + name + ".csv";
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string& f = files[i];
      if (!used[i] && f.size() > tail.size() && f.compare(f.size() - tail.size(), tail.size(), tail) == 0) {
        used[i] = true;
        Ordered.push_back(f);
        break;
      }
    }
  }
  return !files.empty() && std::all_of(used.begin(), used.end(), [](bool u) { return u; });
}

}  // namespace

std::vector<std::string> WorkbookSheetNames(const std::string& Source) {
  try {
    std::unique_ptr<TCfbStorage> storage;
    if (StgOpenStorage(Source, STGM_READ | STGM_SHARE_DENY_WRITE, storage) != S_OK) return {};
    std::unique_ptr<TCfbStream> stream;
    if (storage->OpenStream(u"Workbook", STGM_READ, stream) != S_OK &&
        storage->OpenStream(u"Book", STGM_READ, stream) != S_OK) {
      return {};
    }
    std::string data(static_cast<std::size_t>(std::min<uint64_t>(stream->Size(), kMaxGlobalsBytes)), '\0');
    uint32_t got = 0;
    if (stream->Read(data.data(), static_cast<uint32_t>(data.size()), &got) != S_OK) return {};
    data.resize(got);

    std::vector<std::string> names;
    bool biff8 = false;
    for (std::size_t at = 0; at + 4 <= data.size();) {
      const uint16_t id = Get16(data, at);
      const uint16_t length = Get16(data, at + 2);
      if (at + 4 + length > data.size()) return {};
      const std::string body = data.substr(at + 4, length);
      if (at == 0) {
        if (id != kBiffBof || body.size() < 2) return {};
        biff8 = Get16(body, 0) == kBiff8Version;
      } else if (id == kBiffBoundSheet) {
        std::string name;
        if (!SheetName(body, biff8, name)) return {};
        names.push_back(name);
      } else if (id == kBiffEof) {
        return names;
      }
      at += 4 + length;
    }
  } catch (...) {
  }
  return {};
}

bool ConvertExcelWorkbook(const std::string& Source, const std::string& Target, bool Unicode) {
  if (OfficeRefusesUnicode(Unicode) || !OfficeSourceExists(Source)) return false;
  ClearLastErrorText();
  try {
    std::string text;
    bool joined = false;
    const std::vector<std::string> names = WorkbookSheetNames(Source);
    if (!names.empty()) {
      // One run for all sheets.
      TOfficeOutput output;
      if (!OfficeConvert(Source, CsvFilter(kAllSheets), output)) return false;
      if (!OfficeProgress(4)) return false;
      std::vector<std::string> files;
      if (OrderSheetFiles(output.Folder, names, files)) {
        for (std::size_t i = 0; i < files.size(); ++i) {
          if (i > 0) text += "\r\n";
          AppendOfficeText(files[i], text);
        }
        joined = true;
      }
    }
    for (int32_t n = 1; !joined && n <= kMaxWorkbookSheets; ++n) {
      TOfficeOutput output;
      if (!OfficeConvert(Source, CsvFilter(n), output)) {
        // The first sheet must come; a later one that does not is past the last sheet.
        if (n == 1 || GetLastErrorText() == kUserCanceled || GetLastErrorText() == kOfficeNotFound)
          return false;
        break;
      }
      if (n == 1 && !OfficeProgress(4)) return false;
      if (n > 1) text += "\r\n";
      AppendOfficeText(output.File, text);
    }
    ClearLastErrorText();
    if (!OfficeProgress(8)) return false;
    WriteTargetFile(Target, text);
    return OfficeProgress(9);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
