#include "archive/arlBase.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <utility>

#include "archive/ArcScan.h"
#include "archive/arlDisks.h"
#include "archive/arlFileIo.h"
#include "core/VFileSys.h"

namespace {

struct TErrorText {
  int32_t Code;
  const char* Text;
};

const TErrorText kErrorTexts[] = {
    {errBadFileHeader, "Bad file header"},
    {errBadBlock, "Bad block"},
    {errBadHuffmanCode, "Bad Huffman code"},
    {errIncorrectBits, "Incorrect number of bits"},
    {errWritingFile, "Error writing to file"},
    {errClosingFile, "Error closing file"},
    {errIncompleteCodeSet, "Incomplete code set"},
    {errCorruptInput, "Corrupt input"},
    {errCrcFailed, "File fails CRC check"},
    {errInvalidDecodeTree, "File contains invalid decode tree"},
    {errNotAccessible, "is not accessible"},
    {errWriteProtected, "disk is write protected"},
    {errEofNotFound, "EOF not found"},
    {errFileNotFound, "File not found"},
    {errOpeningFile, "Error opening file"},
    {errReadingFile, "Error reading file or unexpected end of file"},
    {errUnsupportedType, "Invalid or unsupported archive type for this operation"},
    {errInvalidFileName, "Invalid file name"},
    {errMaxVolumes, "Maximum volumes 999"},
    {errOutOfMemory, "Out of memory"},
    {errNoMemoryStream, "Uninitialized TMemoryStream object"},
    {errNoFileStream, "Uninitialized TFileStream object"},
    {errCabinetDll, "Cabinet.dll not found"},
    {errUnAceDll, "UnAceV2.dll not found"},
    {errMultiPartGZip, "Multi-Part GZIP files not supported"},
    {errEventNotAssigned, "Required event not assigned"},
    {errPropertyNotAssigned, "Required property not assigned"},
    {errPasswordProtected, "Password protected"},
    {errAmbiguousTree, "Ambiguous Shannon-Fano decode tree encountered"},
    {errStackOverflow, "Stack overflow"},
    {errUnsupportedMethod, "Unsupported compression method"},
    {errUnknownFileType, "Unknown file type"},
    {errVersion, "Version error"},
    {errUserCanceled, "User canceled"},
    {errInvalidPassword, "Invalid password"},
    {errPasswordFailed, "Password failed"},
    {errNothingToDo, "Nothing to do"},
    {errDirNotExist, "Directory does not exist... Create?"},
};

// Keeps the run timer paused while the owner is told of an error.
class TTimerPause {
 public:
  explicit TTimerPause(TarlTimer& T) : Timer(T) { Timer.Pause(); }
  ~TTimerPause() { Timer.Resume(); }
  TTimerPause(const TTimerPause&) = delete;
  TTimerPause& operator=(const TTimerPause&) = delete;

 private:
  TarlTimer& Timer;
};

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string CurrentDir() {
  char buf[4096];
  return ::getcwd(buf, sizeof buf) ? IncludeBackslash(buf) : std::string("/");
}

}  // namespace

bool SameTextAscii(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (UpperAscii(A[i]) != UpperAscii(B[i])) return false;
  return true;
}

std::string ArlErrorText(int32_t Code) {
  for (const auto& e : kErrorTexts)
    if (e.Code == Code) return e.Text;
  return "";
}

// --- Memory output and header lists ----------------------------------------------------------------------

void TDecompMemoryStream::AddRecord(const TDecompRecord& Record) {
  Records.push_back(Record);
  if (Records.back().Name.size() > kMaxRecordName) Records.back().Name.resize(kMaxRecordName);
}

void TUnBaseHeaderObj::Add(const void* Record, const void* Extra, int32_t ExtraLength) {
  const auto* r = static_cast<const uint8_t*>(Record);
  Records.emplace_back(r, r + RecordSize);
  const auto* e = static_cast<const uint8_t*>(Extra);
  if (e != nullptr && ExtraLength > 0)
    Extras.emplace_back(e, e + ExtraLength);
  else
    Extras.emplace_back();
}

void TUnBaseHeaderObj::Clear() {
  Records.clear();
  Extras.clear();
}

// --- TZipCommon
// ---------------------------------------------------------------------------------------------

TZipCommon::TZipCommon() : Disks(std::make_unique<TDiskManager>(*this)) {}

TZipCommon::~TZipCommon() = default;

void TZipCommon::SetCancel(bool Value) {
  *CancelFlag = Value;
  if (Value) DoError(CurrentOutputName, "", errUserCanceled);
}

void TZipCommon::DoError(const std::string& FileName, const std::string& ExtraInfo, int32_t ErrorCode,
                         const std::string& ExtraInfo2) {
  TTimerPause pause(Timer);
  if (GetCancel()) ErrorCode = errUserCanceled;
  if (OnError) OnError(this, TArlErrorReport{FileName, ErrorCode, ExtraInfo, ExtraInfo2});
}

void TZipCommon::ReportTruncation(int64_t Offset) {
  DoError(ArchiveFile, "entries from offset " + std::to_string(Offset) + " on", errReadingFile);
}

void TZipCommon::RaiseError(const std::string& FileName, int32_t ErrorCode, const std::string& ExtraInfo,
                            const std::string& ExtraInfo2) {
  DoError(FileName, ExtraInfo, ErrorCode, ExtraInfo2);
  throw E_RAISE(GetCancel() ? errUserCanceled : ErrorCode, true);
}

int32_t TZipCommon::ReadBlock(TStream32* Stream, void* Buffer, int32_t Count, int CrcKind, bool Decrypt) {
  if (Count <= 0) return 0;
  int32_t n = 0;
  try {
    switch (InputMode) {
      case imMemory:
        n = InMemoryStream ? InMemoryStream->Read(Buffer, Count) : 0;
        break;
      case imPointer:
        n = static_cast<int32_t>(std::clamp<int64_t>(InPointerLeft, 0, Count));
        if (n > 0 && InPointer) {
          std::memcpy(Buffer, InPointer, static_cast<size_t>(n));
          InPointer += n;
          InPointerLeft -= n;
        } else {
          n = 0;
        }
        break;
      case imComponent:
        if (!Stream) Stream = ArcStream.get();
        [[fallthrough]];
      default:
        n = Stream ? Stream->Read(Buffer, Count) : 0;
        break;
    }
  } catch (const EStreamError&) {
    n = 0;
  }
  if (n < 0) n = 0;
  DecryptBlock(Decrypt, static_cast<uint8_t*>(Buffer), n);
  UpdateCrc(CrcKind, Buffer, n);
  return n;
}

int32_t TZipCommon::WriteBlock(const void* Buffer, int32_t Count, bool UpdateCrcFlag, int CrcKind) {
  if (Count <= 0) return 0;
  if (UpdateCrcFlag) UpdateCrc(CrcKind, Buffer, Count);
  const auto* data = static_cast<const uint8_t*>(Buffer);
  int32_t size = Count;
  std::vector<uint8_t> converted;
  if (ConvertLF) {
    converted.reserve(static_cast<size_t>(Count) + Count / 8);
    for (int32_t i = 0; i < Count; ++i) {
      const bool afterCR = i > 0 ? data[i - 1] == '\r' : LastWrittenCR;
      if (data[i] == '\n' && !afterCR) converted.push_back('\r');
      converted.push_back(data[i]);
    }
    LastWrittenCR = data[Count - 1] == '\r';
    if (converted.size() > static_cast<size_t>(INT32_MAX)) throw E_RAISE(errWritingFile);
    data = converted.data();
    size = static_cast<int32_t>(converted.size());
  }
  int32_t written = size;
  switch (OutputMode) {
    case omHandle:
    case omAppend:
      written = FileWrite(OutHandle, data, size);
      break;
    case omMemory:
      written = OutMemoryStream ? OutMemoryStream->Write(data, size) : 0;
      break;
    case omFileStream:
      written = OutFileStream ? OutFileStream->Write(data, size) : 0;
      break;
    case omStream:
      written = OutStream ? OutStream->Write(data, size) : 0;
      break;
    case omPointer: {
      // The caller's block is never overrun: what does not fit is a failed write.
      written = static_cast<int32_t>(std::clamp<int64_t>(OutPointerLeft, 0, size));
      if (OutPointer && written > 0) {
        std::memcpy(OutPointer, data, static_cast<size_t>(written));
        OutPointer += written;
        OutPointerLeft -= written;
      }
      break;
    }
    default:
      break;
  }
  if (written != size) throw E_RAISE(errWritingFile);
  return size;
}

void TZipCommon::DecryptBlock(bool Decrypt, uint8_t* Buffer, int32_t Count) {
  if (!Decrypt || Count <= 0) return;
  if ((ArcType == atArj || ArcType == atArjSfx) && !Password.empty()) {
    for (int32_t i = 0; i < Count; ++i) {
      Buffer[i] ^= static_cast<uint8_t>(Password[PasswordPos % Password.size()]);
      ++PasswordPos;
    }
  }
}

void TZipCommon::UpdateCrc(int Kind, const void* Buffer, int32_t Count) {
  if (Kind == ckCrc16)
    CrcUpdate16(Buffer, Count, Crc16Reg);
  else if (Kind == ckCrc32)
    CrcUpdate32(Buffer, Count, Crc32Reg);
}

std::string TZipCommon::ReadHeaderBytes(TStream32* Stream, int32_t Length) {
  if (!Stream) Stream = ArcStream.get();
  const int32_t n = std::clamp(Length, 0, 255);
  std::string s(static_cast<size_t>(n), '\0');
  if (!Stream || n == 0) return std::string();
  int32_t got = 0;
  try {
    got = Stream->Read(s.data(), n);
  } catch (const EStreamError&) {
    got = 0;
  }
  s.resize(static_cast<size_t>(std::max(got, 0)));
  return s;
}

bool TZipCommon::TarChecksumOk(const uint8_t* Block) {
  // The checksum field: 8 characters at offset 148.
  const std::string field(reinterpret_cast<const char*>(Block + 148), 8);
  return OctalToInt(field) == TarHeaderChecksum(Block);
}

TDateTime TZipCommon::DosDateToDateTime(uint32_t DosDateTime) const {
  return DosDateTimeToDateTime(DosDateTime);
}

TDateTime TZipCommon::ItemDate(uint32_t StoredDate) const {
  switch (DateMode) {
    case dmNow:
      return UnixToDateTime(static_cast<int64_t>(std::time(nullptr)));
    case dmNewest:
      return DosDateToDateTime(NewestDate);
    default:
      return DosDateToDateTime(StoredDate);
  }
}

void TZipCommon::DoProgress(int32_t ItemPercent, int32_t TotalPercent) {
  if (OnProgress) OnProgress(this, ItemPercent, TotalPercent);
}

void TZipCommon::UpdateProgress(int64_t Done, int64_t RunTotal, int64_t ItemTotal) {
  DoProgress(Percent(static_cast<double>(ItemTotal), static_cast<double>(Done)),
             Percent(static_cast<double>(RunTotal), static_cast<double>(RunTotal - BytesToDo)));
}

void TZipCommon::ProgressDone(const TArlItem& Header) {
  BytesToDo = std::max<int64_t>(BytesToDo - Header.PackedSize, 0);
  UpdateProgress(Header.PackedSize, TotalPacked, Header.PackedSize);
}

void TZipCommon::SetExtractDir(const std::string& Dir) {
  if (!Dir.empty()) {
    ExtractDir = IncludeBackslash(Dir);
    return;
  }
  std::string dir, name;
  SplitFileName(ArchiveFile, dir, name);
  ExtractDir = dir;
}

std::string TZipCommon::BuildOutputName(const std::string& ItemName) {
  if (ExtractDir.empty()) SetExtractDir("");
  if (ExtractDir.empty()) ExtractDir = CurrentDir();
  std::string base = ExtractDir;
  if (base[0] != kItemSeparator) base = CurrentDir() + base;

  std::string rel = ItemName;
  // A drive ("X:" or "X:/") or a root in front of a stored name is not kept.
  if (rel.size() >= 2 && rel[1] == ':' && std::isalpha(static_cast<unsigned char>(rel[0]))) rel.erase(0, 2);
  const bool isFolder = !rel.empty() && rel.back() == kItemSeparator;
  std::string dir, name;
  SplitFileName(rel, dir, name);
  if (!UseStoredDirs) dir.clear();

  // Resolve "." and ".." of the stored folders; a name that climbs above the output folder has none.
  std::vector<std::string> parts;
  const std::string path = dir + name;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(kItemSeparator, start);
    if (end == std::string::npos) end = path.size();
    const std::string seg = path.substr(start, end - start);
    if (seg == "..") {
      if (parts.empty()) return "";
      parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    start = end + 1;
  }
  if (parts.empty()) return isFolder ? base : "";
  std::string out = base;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += kItemSeparator;
    out += parts[i];
  }
  if (isFolder) out += kItemSeparator;
  return out;
}

bool TZipCommon::MatchFileSpec(const std::string& ItemName, const std::vector<std::string>& List,
                               const std::vector<std::string>& Masks, bool Recurse) const {
  auto matchMask = [](const std::string& Name, const std::string& Mask) {
    if (MatchInternalMask(Name, Mask)) return true;
    // "*.*" selects names without an extension as well: whichever side lacks a "." gets one.
    const bool nameDot = Name.find('.') != std::string::npos;
    const bool maskDot = Mask.find('.') != std::string::npos;
    if (nameDot && maskDot) return false;
    return MatchInternalMask(nameDot ? Name : Name + ".", maskDot ? Mask : Mask + ".");
  };
  auto masksAccept = [&](const std::string& Name) {
    if (Masks.empty()) return true;
    for (const auto& m : Masks)
      if (!m.empty() && matchMask(Name, m)) return true;
    return false;
  };
  std::string itemDir, itemName;
  SplitFileName(ItemName, itemDir, itemName);
  for (const auto& entry : List) {
    if (entry.empty()) continue;
    // A name given exactly selects that item, whatever wildcard characters it holds.
    if (entry == ItemName) return masksAccept(itemName);
    if (FileSpecLiteral) continue;
    std::string entryDir, entryName;
    SplitFileName(entry, entryDir, entryName);
    if (Recurse) {
      if (itemDir.size() < entryDir.size() || !SameTextAscii(itemDir.substr(0, entryDir.size()), entryDir))
        continue;
    } else if (!SameTextAscii(itemDir, entryDir)) {
      continue;
    }
    if (matchMask(itemName, entryName)) return masksAccept(itemName);
  }
  return false;
}

std::string TZipCommon::ShiftString(bool Decode, const std::string& S, int Delta) {
  std::string r = S;
  for (auto& c : r) c = static_cast<char>(static_cast<uint8_t>(c) + (Decode ? -Delta : Delta));
  return r;
}

std::string TZipCommon::GetLibraryTempDir() {
  if (TempDir.empty() || !FolderExists(TempDir)) TempDir = GetTempPathString();
  return TempDir;
}

// --- Volumes -------------------------------------------------------------------------------------------

std::string TZipCommon::GetNextVolumeName(const std::string& FileName, int32_t Number) const {
  if (FileName.empty() || Number < 0 || Number > kMaxVolumes) return "";
  std::string dir, name;
  SplitFileName(FileName, dir, name);
  name.resize(static_cast<size_t>(FirstDotPos(name)));
  const std::string digits = std::to_string(Number);
  // A decoder that has set no letter gets the digits alone.
  const std::string letter = VolumeLetter != 0 ? std::string(1, VolumeLetter) : std::string();
  std::string ext;
  if (Number <= 9)
    ext = "." + letter + "0" + digits;
  else if (Number <= 99)
    ext = "." + letter + digits;
  else
    ext = "." + digits;
  return dir + name + ext;
}

bool TZipCommon::RequestNextVolume(std::string& FileName, int32_t VolumeNumber) {
  const std::string volumeText = std::to_string(VolumeNumber);
  if (VolumeNumber > kMaxVolumes) {
    DoError(FileName, volumeText, errMaxVolumes);
    return false;
  }
  if (FileName.empty()) {
    DoError(FileName, volumeText, errInvalidFileName);
    return false;
  }
  if (!OnNextVolumeFile) {
    DoError(FileName, "OnNextVolumeFile", errEventNotAssigned);
    return false;
  }
  if (FileName.find(kItemSeparator) == std::string::npos) FileName = CurrentDir() + FileName;
  bool exists = FileExists(FileName);
  do {
    TArlNextVolume request{FileName, exists, volumeText};
    {
      TTimerPause pause(Timer);
      OnNextVolumeFile(this, request);
    }
    FileName = std::move(request.FileName);
    if (request.Cancel) return false;
    exists = !FileName.empty() && FileExists(FileName);
  } while (!exists);
  ++VolumesOpened;
  return true;
}
