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
  explicit TTimerPause(TarlTimer& T) : Timer_(T) { Timer_.Pause(); }
  ~TTimerPause() { Timer_.Resume(); }
  TTimerPause(const TTimerPause&) = delete;
  TTimerPause& operator=(const TTimerPause&) = delete;

 private:
  TarlTimer& Timer_;
};

char UpperAscii(char C) { return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 32) : C; }

std::string CurrentDir() {
  char Buf[4096];
  return ::getcwd(Buf, sizeof Buf) ? IncludeItemSeparator(Buf) : std::string("/");
}

}  // namespace

bool SameTextAscii(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t I = 0; I < A.size(); ++I)
    if (UpperAscii(A[I]) != UpperAscii(B[I])) return false;
  return true;
}

std::string ArlErrorText(int32_t Code) {
  for (const auto& E : kErrorTexts)
    if (E.Code == Code) return E.Text;
  return "";
}

// --- Memory output and header lists ----------------------------------------------------------------------

void TDecompMemoryStream::AddRecord(const TDecompRecord& Record) {
  Records.push_back(Record);
  if (Records.back().Name.size() > kMaxRecordName) Records.back().Name.resize(kMaxRecordName);
}

void TUnBaseHeaderObj::Add(const void* Record, const void* Extra, int32_t ExtraLength) {
  const auto* R = static_cast<const uint8_t*>(Record);
  Records_.emplace_back(R, R + RecordSize);
  const auto* E = static_cast<const uint8_t*>(Extra);
  if (E != nullptr && ExtraLength > 0)
    Extras_.emplace_back(E, E + ExtraLength);
  else
    Extras_.emplace_back();
}

void TUnBaseHeaderObj::Clear() {
  Records_.clear();
  Extras_.clear();
}

// --- TZipCommon
// ---------------------------------------------------------------------------------------------

TZipCommon::TZipCommon() : Disks_(std::make_unique<TDiskManager>(*this)) {}

TZipCommon::~TZipCommon() = default;

void TZipCommon::SetCancel(bool Value) {
  *CancelFlag_ = Value;
  if (Value) DoError(CurrentOutputName, "", errUserCanceled);
}

void TZipCommon::DoError(const std::string& FileName, const std::string& ExtraInfo, int32_t ErrorCode,
                         const std::string& ExtraInfo2) {
  TTimerPause Pause(Timer_);
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
  int32_t N = 0;
  try {
    switch (InputMode) {
      case imMemory:
        N = InMemoryStream ? InMemoryStream->Read(Buffer, Count) : 0;
        break;
      case imPointer:
        N = static_cast<int32_t>(std::clamp<int64_t>(InPointerLeft, 0, Count));
        if (N > 0 && InPointer) {
          std::memcpy(Buffer, InPointer, static_cast<size_t>(N));
          InPointer += N;
          InPointerLeft -= N;
        } else {
          N = 0;
        }
        break;
      case imComponent:
        if (!Stream) Stream = ArcStream_.get();
        [[fallthrough]];
      default:
        N = Stream ? Stream->Read(Buffer, Count) : 0;
        break;
    }
  } catch (const EStreamError&) {
    N = 0;
  }
  if (N < 0) N = 0;
  DecryptBlock(Decrypt, static_cast<uint8_t*>(Buffer), N);
  UpdateCrc(CrcKind, Buffer, N);
  return N;
}

int32_t TZipCommon::WriteBlock(const void* Buffer, int32_t Count, bool UpdateCrcFlag, int CrcKind) {
  if (Count <= 0) return 0;
  if (UpdateCrcFlag) UpdateCrc(CrcKind, Buffer, Count);
  const auto* Data = static_cast<const uint8_t*>(Buffer);
  int32_t Size = Count;
  std::vector<uint8_t> Converted;
  if (ConvertLF) {
    Converted.reserve(static_cast<size_t>(Count) + Count / 8);
    for (int32_t I = 0; I < Count; ++I) {
      const bool AfterCr = I > 0 ? Data[I - 1] == '\r' : LastWrittenCr_;
      if (Data[I] == '\n' && !AfterCr) Converted.push_back('\r');
      Converted.push_back(Data[I]);
    }
    LastWrittenCr_ = Data[Count - 1] == '\r';
    if (Converted.size() > static_cast<size_t>(INT32_MAX)) throw E_RAISE(errWritingFile);
    Data = Converted.data();
    Size = static_cast<int32_t>(Converted.size());
  }
  int32_t Written = Size;
  switch (OutputMode) {
    case omHandle:
    case omAppend:
      Written = FileWrite(OutHandle_, Data, Size);
      break;
    case omMemory:
      Written = OutMemoryStream ? OutMemoryStream->Write(Data, Size) : 0;
      break;
    case omFileStream:
      Written = OutFileStream_ ? OutFileStream_->Write(Data, Size) : 0;
      break;
    case omStream:
      Written = OutStream ? OutStream->Write(Data, Size) : 0;
      break;
    case omPointer: {
      // The caller's block is never overrun: what does not fit is a failed write.
      Written = static_cast<int32_t>(std::clamp<int64_t>(OutPointerLeft, 0, Size));
      if (OutPointer && Written > 0) {
        std::memcpy(OutPointer, Data, static_cast<size_t>(Written));
        OutPointer += Written;
        OutPointerLeft -= Written;
      }
      break;
    }
    default:
      break;
  }
  if (Written != Size) throw E_RAISE(errWritingFile);
  return Size;
}

void TZipCommon::DecryptBlock(bool Decrypt, uint8_t* Buffer, int32_t Count) {
  if (!Decrypt || Count <= 0) return;
  if ((ArcType == atArj || ArcType == atArjSfx) && !Password.empty()) {
    for (int32_t I = 0; I < Count; ++I) {
      Buffer[I] ^= static_cast<uint8_t>(Password[PasswordPos_ % Password.size()]);
      ++PasswordPos_;
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
  if (!Stream) Stream = ArcStream_.get();
  const int32_t N = std::clamp(Length, 0, 255);
  std::string S(static_cast<size_t>(N), '\0');
  if (!Stream || N == 0) return std::string();
  int32_t Got = 0;
  try {
    Got = Stream->Read(S.data(), N);
  } catch (const EStreamError&) {
    Got = 0;
  }
  S.resize(static_cast<size_t>(std::max(Got, 0)));
  return S;
}

bool TZipCommon::TarChecksumOk(const uint8_t* Block) {
  // The checksum field: 8 characters at offset 148.
  const std::string Field(reinterpret_cast<const char*>(Block + 148), 8);
  return OctalToInt(Field) == TarHeaderChecksum(Block);
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
    ExtractDir = IncludeItemSeparator(Dir);
    return;
  }
  std::string Folder, Name;
  SplitFileName(ArchiveFile, Folder, Name);
  ExtractDir = Folder;
}

std::string TZipCommon::BuildOutputName(const std::string& ItemName) {
  if (ExtractDir.empty()) SetExtractDir("");
  if (ExtractDir.empty()) ExtractDir = CurrentDir();
  std::string Base = ExtractDir;
  if (Base[0] != kItemSeparator) Base = CurrentDir() + Base;

  std::string Rel = ItemName;
  // A drive ("X:" or "X:/") or a root in front of a stored name is not kept.
  if (Rel.size() >= 2 && Rel[1] == ':' && std::isalpha(static_cast<unsigned char>(Rel[0]))) Rel.erase(0, 2);
  const bool IsFolder = !Rel.empty() && Rel.back() == kItemSeparator;
  std::string Dir, Name;
  SplitFileName(Rel, Dir, Name);
  if (!UseStoredDirs) Dir.clear();

  // Resolve "." and ".." of the stored folders; a name that climbs above the output folder has none.
  std::vector<std::string> Parts;
  const std::string Path = Dir + Name;
  size_t Start = 0;
  while (Start <= Path.size()) {
    size_t End = Path.find(kItemSeparator, Start);
    if (End == std::string::npos) End = Path.size();
    const std::string Seg = Path.substr(Start, End - Start);
    if (Seg == "..") {
      if (Parts.empty()) return "";
      Parts.pop_back();
    } else if (!Seg.empty() && Seg != ".") {
      Parts.push_back(Seg);
    }
    Start = End + 1;
  }
  if (Parts.empty()) return IsFolder ? Base : "";
  std::string Out = Base;
  for (size_t I = 0; I < Parts.size(); ++I) {
    if (I > 0) Out += kItemSeparator;
    Out += Parts[I];
  }
  if (IsFolder) Out += kItemSeparator;
  return Out;
}

bool TZipCommon::MatchFileSpec(const std::string& ItemName, const std::vector<std::string>& List,
                               const std::vector<std::string>& Masks, bool Recurse) const {
  auto MatchMask = [](const std::string& Name, const std::string& Mask) {
    if (MatchInternalMask(Name, Mask)) return true;
    // "*.*" selects names without an extension as well: whichever side lacks a "." gets one.
    const bool NameDot = Name.find('.') != std::string::npos;
    const bool MaskDot = Mask.find('.') != std::string::npos;
    if (NameDot && MaskDot) return false;
    return MatchInternalMask(NameDot ? Name : Name + ".", MaskDot ? Mask : Mask + ".");
  };
  auto MasksAccept = [&](const std::string& Name) {
    if (Masks.empty()) return true;
    for (const auto& M : Masks)
      if (!M.empty() && MatchMask(Name, M)) return true;
    return false;
  };
  std::string ItemDir, ItemFileName;
  SplitFileName(ItemName, ItemDir, ItemFileName);
  for (const auto& Entry : List) {
    if (Entry.empty()) continue;
    // A name given exactly selects that item, whatever wildcard characters it holds.
    if (Entry == ItemName) return MasksAccept(ItemFileName);
    if (FileSpecLiteral) continue;
    std::string EntryDir, EntryName;
    SplitFileName(Entry, EntryDir, EntryName);
    if (Recurse) {
      if (ItemDir.size() < EntryDir.size() || !SameTextAscii(ItemDir.substr(0, EntryDir.size()), EntryDir))
        continue;
    } else if (!SameTextAscii(ItemDir, EntryDir)) {
      continue;
    }
    if (MatchMask(ItemFileName, EntryName)) return MasksAccept(ItemFileName);
  }
  return false;
}

std::string TZipCommon::ShiftString(bool Decode, const std::string& S, int Delta) {
  std::string R = S;
  for (auto& C : R) C = static_cast<char>(static_cast<uint8_t>(C) + (Decode ? -Delta : Delta));
  return R;
}

std::string TZipCommon::GetLibraryTempDir() {
  if (TempDir_.empty() || !FolderExists(TempDir_)) TempDir_ = GetTempPathString();
  return TempDir_;
}

// --- Volumes -------------------------------------------------------------------------------------------

std::string TZipCommon::GetNextVolumeName(const std::string& FileName, int32_t Number) const {
  if (FileName.empty() || Number < 0 || Number > kMaxVolumes) return "";
  std::string Dir, Name;
  SplitFileName(FileName, Dir, Name);
  // Only the extension after the last dot is replaced: "backup.2024.arj" goes on in "backup.2024.a01".
  const size_t Dot = Name.rfind('.');
  if (Dot != std::string::npos) Name.resize(Dot);
  const std::string Digits = std::to_string(Number);
  // A decoder that has set no letter gets the digits alone.
  const std::string Letter = VolumeLetter != 0 ? std::string(1, VolumeLetter) : std::string();
  std::string Ext;
  if (Number <= 9)
    Ext = "." + Letter + "0" + Digits;
  else if (Number <= 99)
    Ext = "." + Letter + Digits;
  else
    Ext = "." + Digits;
  return Dir + Name + Ext;
}

std::string TZipCommon::ExistingVolumeName(const std::string& FileName, int32_t Number) const {
  const std::string Name = GetNextVolumeName(FileName, Number);
  if (Name.empty() || FileExists(Name)) return Name;
  // The letter follows the last dot; volumes from 100 on have none.
  const size_t Dot = Name.rfind('.');
  if (Dot == std::string::npos || Dot + 1 >= Name.size()) return Name;
  std::string Other = Name;
  char& Letter = Other[Dot + 1];
  if (Letter >= 'a' && Letter <= 'z')
    Letter = static_cast<char>(Letter - 'a' + 'A');
  else if (Letter >= 'A' && Letter <= 'Z')
    Letter = static_cast<char>(Letter - 'A' + 'a');
  else
    return Name;
  return FileExists(Other) ? Other : Name;
}

int32_t TZipCommon::NextPresentVolume(const std::string& FileName, int32_t After) const {
  for (int32_t N = std::max(After + 1, 0); N <= kMaxVolumes; ++N) {
    const std::string Name = ExistingVolumeName(FileName, N);
    if (!Name.empty() && FileExists(Name)) return N;
  }
  return -1;
}

bool TZipCommon::RequestNextVolume(std::string& FileName, int32_t VolumeNumber) {
  const std::string VolumeText = std::to_string(VolumeNumber);
  if (VolumeNumber > kMaxVolumes) {
    DoError(FileName, VolumeText, errMaxVolumes);
    return false;
  }
  if (FileName.empty()) {
    DoError(FileName, VolumeText, errInvalidFileName);
    return false;
  }
  if (!OnNextVolumeFile) {
    DoError(FileName, "OnNextVolumeFile", errEventNotAssigned);
    return false;
  }
  if (FileName.find(kItemSeparator) == std::string::npos) FileName = CurrentDir() + FileName;
  bool Exists = FileExists(FileName);
  do {
    TArlNextVolume Request{FileName, Exists, VolumeText};
    {
      TTimerPause Pause(Timer_);
      OnNextVolumeFile(this, Request);
    }
    FileName = std::move(Request.FileName);
    if (Request.Cancel) return false;
    Exists = !FileName.empty() && FileExists(FileName);
  } while (!Exists);
  ++VolumesOpened;
  return true;
}
