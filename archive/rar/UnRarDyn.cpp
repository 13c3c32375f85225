#include "archive/rar/UnRarDyn.h"

#include "archive/arlGbls.h"
#include "archive/cab/arlDynLib.h"

const char* const kUnRarLibrary = "UnRar3.so";

namespace {

struct TBinding {
  TDynLib Library;
  bool Tried = false;
  TUnRarEntries Entries;
};

TBinding& Binding() {
  static TBinding B;
  return B;
}

}  // namespace

bool LoadUnRarDll(const std::string& Path) {
  TBinding& B = Binding();
  if (UnRarDllLoaded() || B.Tried) return UnRarDllLoaded();
  B.Tried = true;
  TUnRarEntries& E = B.Entries;
  return B.Library.LoadAndBind(Path, kUnRarLibrary,
                               {{"RAROpenArchive", reinterpret_cast<void**>(&E.OpenArchive)},
                                {"RARCloseArchive", reinterpret_cast<void**>(&E.CloseArchive)},
                                {"RARReadHeader", reinterpret_cast<void**>(&E.ReadHeader)},
                                {"RARReadHeaderEx", reinterpret_cast<void**>(&E.ReadHeaderEx)},
                                {"RARProcessFile", reinterpret_cast<void**>(&E.ProcessFile)},
                                {"RARSetCallback", reinterpret_cast<void**>(&E.SetCallback)},
                                {"RARSetChangeVolProc", reinterpret_cast<void**>(&E.SetChangeVolProc)},
                                {"RARSetProcessDataProc", reinterpret_cast<void**>(&E.SetProcessDataProc)},
                                {"RARSetPassword", reinterpret_cast<void**>(&E.SetPassword)},
                                {"RARGetDllVersion", reinterpret_cast<void**>(&E.GetDllVersion)}});
}

void UnloadUnRarDll() {
  TBinding& B = Binding();
  B.Entries = TUnRarEntries();
  B.Library.Unload();
  B.Tried = false;
}

bool UnRarDllLoaded() { return Binding().Entries.OpenArchive != nullptr; }

const TUnRarEntries& UnRarEntries() { return Binding().Entries; }

std::string UnRarDllFileName() { return UnRarDllLoaded() ? Binding().Library.FileName() : std::string(); }

TRarHandle::~TRarHandle() {
  if (Handle && UnRarDllLoaded()) UnRarEntries().CloseArchive(Handle);
}

void* RarOpenArchive(const std::string& FileName, uint32_t Mode, std::string& Msg) {
  Msg.clear();
  if (!UnRarDllLoaded()) {
    Msg = std::string("\"") + kUnRarLibrary + "\" not loaded";
    return nullptr;
  }
  TRarOpenData Data{};
  Data.ArcName = FileName.c_str();
  Data.OpenMode = Mode;
  void* Handle = UnRarEntries().OpenArchive(&Data);
  if (Handle && Data.OpenResult == RAR_SUCCESS) return Handle;
  if (Handle) UnRarEntries().CloseArchive(Handle);
  Msg = RarOpenErrorText(Data.OpenResult != RAR_SUCCESS ? static_cast<int>(Data.OpenResult) : RAR_E_EOPEN,
                         FileName);
  return nullptr;
}

void* RarOpenArchiveOrRaise(const std::string& FileName, uint32_t Mode) {
  std::string Msg;
  void* Handle = RarOpenArchive(FileName, Mode, Msg);
  if (!Handle) throw Exception(Msg);
  return Handle;
}

std::string RarOpenErrorText(int Code, const std::string& FileName) {
  std::string Text = "UnRar error opening \"" + FileName + "\": ";
  switch (Code) {
    case RAR_E_NO_MEMORY:
      return Text + "not enough memory";
    case RAR_E_BAD_DATA:
      return Text + "archive header broken";
    case RAR_E_BAD_ARCHIVE:
      return Text + "file is not a valid RAR archive";
    case RAR_E_EOPEN:
      return Text + "file open error";
    case RAR_E_EREAD:
      return Text + "the archive ends early";
    case RAR_E_ENCRYPTED:
      return Text + "archive headers are encrypted";
    case RAR_E_UNSUPPORTED:
      return Text + "archive format not supported";
    default:
      return Text + std::to_string(Code);
  }
}

std::string RarProcessErrorText(int Code, const std::string& ArcName) {
  std::string Text;
  switch (Code) {
    case RAR_E_BAD_DATA:
      Text = "file CRC error";
      break;
    case RAR_E_BAD_ARCHIVE:
      Text = "volume is not a valid RAR archive";
      break;
    case RAR_E_UNKNOWN_FORMAT:
      Text = "unknown archive format";
      break;
    case RAR_E_EOPEN:
      Text = "volume open error";
      break;
    case RAR_E_ECREATE:
      Text = "file create error";
      break;
    case RAR_E_ECLOSE:
      Text = "file close error";
      break;
    case RAR_E_EREAD:
      Text = "read error";
      break;
    case RAR_E_EWRITE:
      Text = "write error";
      break;
    case RAR_E_ENCRYPTED:
      Text = "encrypted data cannot be decrypted";
      break;
    case RAR_E_UNSUPPORTED:
      Text = "compression not supported (RAR 1.5)";
      break;
    case RAR_E_ABORTED:
      Text = "stopped";
      break;
    case RAR_E_BAD_HEADER:
      Text = "file header broken";
      break;
    case RAR_E_TOO_DEMANDING:
      Text = "compressed data asks for more memory than the file can need";
      break;
    case RAR_E_SOLID_GAP:
      Text = "the solid data before it is in a missing volume";
      break;
    default:
      Text = "code " + std::to_string(Code);
      break;
  }
  if (ArcName.empty()) return "UnRar: " + Text;
  return "UnRar error processing \"" + ArcName + "\": " + Text;
}

TDateTime RarDosDateTime(uint16_t Date, uint16_t Time) {
  const unsigned Day = Date & 0x1F, Month = (Date >> 5) & 0x0F;
  const unsigned Second = (Time & 0x1F) * 2, Minute = (Time >> 5) & 0x3F, Hour = Time >> 11;
  if (Day < 1 || Month < 1 || Month > 12 || Hour > 23 || Minute > 59 || Second > 59) return 0;
  static const unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const unsigned Year = 1980 + (Date >> 9);
  const bool Leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (Day > kDays[Month - 1] || (Month == 2 && Day == 29 && !Leap)) return 0;
  return DosDateTimeToDateTime((static_cast<uint32_t>(Date) << 16) | Time);
}
