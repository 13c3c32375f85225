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
  const std::size_t Length = static_cast<uint8_t>(Body[kBoundSheetNameAt - 1]);
  std::size_t At = kBoundSheetNameAt;
  std::u16string Wide;
  if (Biff8) {
    if (Body.size() < At + 1) return false;
    const bool Utf16 = (Body[At++] & 0x01) != 0;
    if (Body.size() < At + Length * (Utf16 ? 2 : 1)) return false;
    for (std::size_t I = 0; I < Length; ++I)
      Wide += Utf16 ? static_cast<char16_t>(Get16(Body, At + 2 * I))
                    : static_cast<char16_t>(static_cast<uint8_t>(Body[At + I]));
  } else {
    if (Body.size() < At + Length) return false;
    const uint8_t Charset = qvnls::GetAnsiCharset();
    for (std::size_t I = 0; I < Length; ++I) {
      const auto B = static_cast<uint8_t>(Body[At + I]);
      Wide += B < 0x80 ? static_cast<char16_t>(B) : qvnls::CharToWideChar(B, Charset);
    }
  }
  Name = Utf16ToUtf8(Wide);
  return true;
}

// The files of Folder put in the order of Names (each "<anything>-<name>.csv"), into Ordered; false when a
// file answers no name or two names answer one file.
bool OrderSheetFiles(const std::string& Folder, const std::vector<std::string>& Names,
                     std::vector<std::string>& Ordered) {
  std::vector<std::string> Files;
  ListFileNames(Files, Folder, "*", false);
  std::vector<bool> Used(Files.size(), false);
  for (const std::string& Name : Names) {
    const std::string Tail = "-" + Name + ".csv";
    for (std::size_t I = 0; I < Files.size(); ++I) {
      const std::string& F = Files[I];
      if (!Used[I] && F.size() > Tail.size() && F.compare(F.size() - Tail.size(), Tail.size(), Tail) == 0) {
        Used[I] = true;
        Ordered.push_back(F);
        break;
      }
    }
  }
  return !Files.empty() && std::all_of(Used.begin(), Used.end(), [](bool U) { return U; });
}

}  // namespace

std::vector<std::string> WorkbookSheetNames(const std::string& Source) {
  try {
    std::unique_ptr<TCfbStorage> Storage;
    if (StgOpenStorage(Source, STGM_READ | STGM_SHARE_DENY_WRITE, Storage) != S_OK) return {};
    std::unique_ptr<TCfbStream> Stream;
    if (Storage->OpenStream(u"Workbook", STGM_READ, Stream) != S_OK &&
        Storage->OpenStream(u"Book", STGM_READ, Stream) != S_OK) {
      return {};
    }
    std::string Data(static_cast<std::size_t>(std::min<uint64_t>(Stream->Size(), kMaxGlobalsBytes)), '\0');
    uint32_t Got = 0;
    if (Stream->Read(Data.data(), static_cast<uint32_t>(Data.size()), &Got) != S_OK) return {};
    Data.resize(Got);

    std::vector<std::string> Names;
    bool Biff8 = false;
    for (std::size_t At = 0; At + 4 <= Data.size();) {
      const uint16_t Id = Get16(Data, At);
      const uint16_t Length = Get16(Data, At + 2);
      if (At + 4 + Length > Data.size()) return {};
      const std::string Body = Data.substr(At + 4, Length);
      if (At == 0) {
        if (Id != kBiffBof || Body.size() < 2) return {};
        Biff8 = Get16(Body, 0) == kBiff8Version;
      } else if (Id == kBiffBoundSheet) {
        std::string Name;
        if (!SheetName(Body, Biff8, Name)) return {};
        Names.push_back(Name);
      } else if (Id == kBiffEof) {
        return Names;
      }
      At += 4 + Length;
    }
  } catch (...) {
  }
  return {};
}

bool ConvertExcelWorkbook(const std::string& Source, const std::string& Target, bool Unicode) {
  if (OfficeRefusesUnicode(Unicode) || !OfficeSourceExists(Source)) return false;
  ClearLastErrorText();
  try {
    std::string Text;
    bool Joined = false;
    const std::vector<std::string> Names = WorkbookSheetNames(Source);
    if (!Names.empty()) {
      // One run for all sheets.
      TOfficeOutput Output;
      if (!OfficeConvert(Source, CsvFilter(kAllSheets), Output)) return false;
      if (!OfficeProgress(4)) return false;
      std::vector<std::string> Files;
      if (OrderSheetFiles(Output.Folder, Names, Files)) {
        for (std::size_t I = 0; I < Files.size(); ++I) {
          if (I > 0) Text += "\r\n";
          AppendOfficeText(Files[I], Text);
        }
        Joined = true;
      }
    }
    for (int32_t N = 1; !Joined && N <= kMaxWorkbookSheets; ++N) {
      TOfficeOutput Output;
      if (!OfficeConvert(Source, CsvFilter(N), Output)) {
        // The first sheet must come; a later one that does not is past the last sheet.
        if (N == 1 || GetLastErrorText() == kUserCanceled || GetLastErrorText() == kOfficeNotFound)
          return false;
        break;
      }
      if (N == 1 && !OfficeProgress(4)) return false;
      if (N > 1) Text += "\r\n";
      AppendOfficeText(Output.File, Text);
    }
    ClearLastErrorText();
    if (!OfficeProgress(8)) return false;
    WriteTargetFile(Target, Text);
    return OfficeProgress(9);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}
