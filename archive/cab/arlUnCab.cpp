#include "archive/cab/arlUnCab.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "archive/arlHeaderCursor.h"
#include "archive/cab/arlCabGbls.h"
#include "archive/cab/arlDynLib.h"
#include "core/VFileSys.h"

namespace {

const char* const kCabinetLibrary = "cabinet.so";
// DOS attribute bit of a name stored in UTF-8 rather than in the OEM code page.
constexpr uint16_t kUtf8NameAttribute = 0x80;
// The attributes kept for extracted files (read-only, hidden, system, archive).
constexpr uint16_t kKeptAttributes = 0x27;

struct TBinding {
  TDynLib Library;
  bool Tried = false;
  TFDICreate Create = nullptr;
  TFDIIsCabinet IsCabinet = nullptr;
  TFDICopy Copy = nullptr;
  TFDIDestroy Destroy = nullptr;
  std::vector<TUnCab*> Active;  // the top is the decoder the library works for
  std::unique_ptr<TStreamCabinetFileHandler> Files;
};

TBinding& Binding() {
  static TBinding B;
  return B;
}

bool Bound() { return Binding().Create != nullptr; }

// Pushes a decoder for the duration of a library call.
struct TPush {
  explicit TPush(TUnCab* D) { Binding().Active.push_back(D); }
  ~TPush() { Binding().Active.pop_back(); }
};

}  // namespace

bool LoadCabinetDll(const std::string& Path) {
  TBinding& B = Binding();
  if (Bound() || B.Tried) return Bound();
  B.Tried = true;
  if (!B.Library.LoadAndBind(Path, kCabinetLibrary,
                             {{"FDICreate", reinterpret_cast<void**>(&B.Create)},
                              {"FDIIsCabinet", reinterpret_cast<void**>(&B.IsCabinet)},
                              {"FDICopy", reinterpret_cast<void**>(&B.Copy)},
                              {"FDIDestroy", reinterpret_cast<void**>(&B.Destroy)}}))
    return false;
  B.Files = std::make_unique<TStreamCabinetFileHandler>();
  return true;
}

void UnloadCabinetDll() {
  TBinding& B = Binding();
  B.Create = nullptr;
  B.IsCabinet = nullptr;
  B.Copy = nullptr;
  B.Destroy = nullptr;
  B.Files.reset();
  B.Library.Unload();
  B.Tried = false;
}

std::string CabinetDllFileName() { return Bound() ? Binding().Library.FileName() : std::string(); }

// --- The library's callbacks ------------------------------------------------------------------------------

struct TCabCallbacks {
  static TUnCab* Top() {
    auto& A = Binding().Active;
    return A.empty() ? nullptr : A.back();
  }
  static void* Alloc(uint32_t Size) {
    TUnCab* D = Top();
    if (!D) return nullptr;
    void* P = std::malloc(Size);
    if (!P) return nullptr;
    try {
      D->Blocks_.insert(P);
    } catch (...) {
      std::free(P);
      return nullptr;
    }
    return P;
  }
  static void Free(void* Block) {
    TUnCab* D = Top();
    if (D && D->Blocks_.erase(Block)) std::free(Block);
  }
  static intptr_t Open(const char* Name, int32_t Flags, int32_t Permission) {
    int32_t Error = 0;
    auto& F = Binding().Files;
    if (!F || !Name) return -1;
    try {
      return F->Open(Name, Flags, Permission, Error);
    } catch (...) {
      return -1;
    }
  }
  static uint32_t Read(intptr_t Handle, void* Buffer, uint32_t Count) {
    int32_t Error = 0;
    auto& F = Binding().Files;
    return F ? F->Read(Handle, Buffer, Count, Error) : 0;
  }
  static uint32_t Write(intptr_t, const void* Buffer, uint32_t Count) {
    TUnCab* D = Top();
    return D ? D->WriteData(Buffer, Count) : 0;
  }
  static int32_t Close(intptr_t Handle) {
    int32_t Error = 0;
    auto& F = Binding().Files;
    if (!F) return -1;
    F->Close(Handle, Error);
    return Error == 0 ? 0 : -1;
  }
  static int64_t Seek(intptr_t Handle, int64_t Distance, int32_t Origin) {
    int32_t Error = 0;
    auto& F = Binding().Files;
    return F ? F->Seek(Handle, Distance, Origin, Error) : -1;
  }
  static intptr_t InfoNotify(int32_t Type, TCabNotification* N) {
    auto* D = static_cast<TUnCab*>(N->User);
    TPush Push(D);
    try {
      return D->InfoNotification(Type, *N);
    } catch (...) {
      D->Pending_ = std::current_exception();
      return -1;
    }
  }
  static intptr_t ExtractNotify(int32_t Type, TCabNotification* N) {
    auto* D = static_cast<TUnCab*>(N->User);
    TPush Push(D);
    try {
      return D->ExtractNotification(Type, *N);
    } catch (...) {
      D->Pending_ = std::current_exception();
      return -1;
    }
  }
};

// --- TUnCab
// -------------------------------------------------------------------------------------------------

TUnCab::~TUnCab() {
  if (Context_ && Bound()) {
    TPush Push(this);
    Binding().Destroy(Context_);
  }
  Context_ = nullptr;
  for (void* P : Blocks_) std::free(P);
  Blocks_.clear();
}

void TUnCab::MakeContext() {
  if (Context_) return;
  ErrorRecord_ = {};
  {
    TPush Push(this);
    Context_ =
        Binding().Create(TCabCallbacks::Alloc, TCabCallbacks::Free, TCabCallbacks::Open, TCabCallbacks::Read,
                         TCabCallbacks::Write, TCabCallbacks::Close, TCabCallbacks::Seek, -1, &ErrorRecord_);
  }
  if (!Context_) throw ECabinetError(ErrorRecord_.OperationCode, ErrorRecord_.ErrorType);
}

void TUnCab::CheckErrors() {
  if (!ErrorRecord_.ErrorFlag) return;
  if (ErrorRecord_.OperationCode == CAB_ERROR_USER_ABORT) return;
  if (ErrorRecord_.OperationCode == CAB_ERROR_CORRUPT_CABINET) {
    DoError(Item.Name.empty() ? ArchiveFile : Item.Name, "", errCorruptInput);
    return;
  }
  throw ECabinetError(ErrorRecord_.OperationCode, ErrorRecord_.ErrorType);
}

void TUnCab::RethrowPending() {
  if (!Pending_) return;
  std::exception_ptr P = Pending_;
  Pending_ = nullptr;
  std::rethrow_exception(P);
}

bool TUnCab::IsCabinet(const std::string& FileName, TCabinetInfo& Info, std::string& NextCabinet) {
  NextCabinet.clear();
  Info = TCabinetInfo{};
  if (!LoadCabinetDll("")) RaiseError(FileName, errCabinetDll);
  MakeContext();
  int32_t Error = 0;
  const intptr_t Handle = Binding().Files->Open(FileName, cofBinary, 0, Error);
  if (Handle == -1) RaiseError(FileName, errOpeningFile);
  bool Result;
  {
    TPush Push(this);
    Result = Binding().IsCabinet(Context_, Handle, &Info) != 0;
  }
  Binding().Files->Close(Handle, Error);
  if (Error != 0) RaiseError(FileName, errClosingFile);
  if (!Result) return false;

  std::string Dir, Name;
  SplitFileName(FileName, Dir, Name);
  QueryNextCabinet_.clear();
  TotalPacked = TotalUnpacked = 0;
  NewestDate = 0;
  {
    TPush Push(this);
    Binding().Copy(Context_, Name.c_str(), Dir.c_str(), 0, TCabCallbacks::InfoNotify, nullptr, this);
  }
  RethrowPending();
  NextCabinet = QueryNextCabinet_;
  return true;
}

void TUnCab::SetEntry(const TCabNotification& N) {
  const std::string Raw = N.Name1 ? N.Name1 : "";
  Item = TArlItem();
  Item.Name = ConvertItemName(Raw, !(N.Attributes & kUtf8NameAttribute));
  Item.UnpackedSize = Item.PackedSize = std::max<int32_t>(N.Size, 0);
  Item.DosDateTime = (static_cast<uint32_t>(N.Date) << 16) | N.Time;
  Item.Attributes = N.Attributes & kKeptAttributes;
}

intptr_t TUnCab::InfoNotification(int32_t Type, const TCabNotification& N) {
  const intptr_t Go = GetCancel() ? -1 : 0;
  if (Type == CAB_NOTIFY_CABINET_INFO) {
    QueryNextCabinet_ = N.Name1 ? N.Name1 : "";
  } else if (Type == CAB_NOTIFY_COPY_FILE) {
    SetEntry(N);
    if (MatchFileSpec(Item.Name, FileSpec, {}, true)) {
      TotalPacked += Item.PackedSize;
      TotalUnpacked += Item.UnpackedSize;
      NewestDate = std::max(NewestDate, Item.DosDateTime);
    }
  }
  return Go;
}

void TUnCab::ExtractArchive(TStream32*) {
  if (!LoadCabinetDll("")) RaiseError(ArchiveFile, errCabinetDll);
  if (GetCancel()) return;
  Crc32Reg = 0;
  TCabinetInfo Info;
  std::string Next;
  if (!FileExists(ArchiveFile)) return;
  if (!IsCabinet(ArchiveFile, Info, Next)) {
    // A file that starts as a cabinet and cannot be read as one is damaged (cut short in its header).
    int32_t OpenError = 0;
    TFileStream32 Stream(ArchiveFile, fmOpenRead | fmShareDenyNone, OpenError);
    uint8_t Magic[4] = {};
    if (OpenError == 0 && ReadExactAt(Stream, 0, Magic, 4) && std::memcmp(Magic, "MSCF", 4) == 0)
      DoError(ArchiveFile, "offset 0", errBadFileHeader);
    return;
  }
  BytesToDo = TotalPacked;
  FirstNotification_ = true;
  NextCabinetName.clear();
  NextDiskName.clear();
  CabinetPath.clear();
  std::string Dir, Name;
  SplitFileName(ArchiveFile, Dir, Name);
  ErrorRecord_ = {};
  int32_t Ok;
  {
    TPush Push(this);
    Ok = Binding().Copy(Context_, Name.c_str(), Dir.c_str(), 0, TCabCallbacks::ExtractNotify, nullptr, this);
  }
  RethrowPending();
  if (!Ok) CheckErrors();
}

intptr_t TUnCab::ExtractNotification(int32_t Type, TCabNotification& N) {
  switch (Type) {
    case CAB_NOTIFY_CABINET_INFO:
      return CabinetInfo(N);
    case CAB_NOTIFY_COPY_FILE:
      return CopyFile(N);
    case CAB_NOTIFY_CLOSE_FILE:
      return CloseFile(N);
    case CAB_NOTIFY_NEXT_CABINET:
      return NextCabinet(N);
    default:
      return GetCancel() ? -1 : 0;
  }
}

intptr_t TUnCab::CabinetInfo(const TCabNotification& N) {
  if (FirstNotification_) {
    FirstNotification_ = false;
    NextCabinetName = N.Name1 ? N.Name1 : "";
    NextDiskName = N.Name2 ? N.Name2 : "";
    CabinetPath = N.Name3 ? N.Name3 : "";
    SetId = N.SetId;
    CabinetNumber = N.CabinetIndex;
  }
  return GetCancel() ? -1 : 0;
}

intptr_t TUnCab::CopyFile(const TCabNotification& N) {
  Decision_ = cdSkip;
  SetEntry(N);
  if (GetCancel()) return -1;
  if (!MatchFileSpec(Item.Name, FileSpec, {}, true)) return 0;
  EntrySize_ = EntryRemaining_ = Item.UnpackedSize;
  CurrentOutputName = BuildOutputName(Item.Name);
  if (!BeginItem(false)) {
    ProgressDone(Item);
    return GetCancel() ? -1 : 0;
  }
  if (!OpenOutput(Item.Name, CurrentOutputName)) {  // reported; the item is not written
    --FileIndex;
    ProgressDone(Item);
    return 0;
  }
  Crc32Reg = 0xFFFFFFFF;
  Decision_ = cdExtract;
  return 1;  // the data arrives through the write callback, whatever the handle
}

uint32_t TUnCab::WriteData(const void* Buffer, uint32_t Count) {
  if (Decision_ != cdExtract || Pending_) return 0;
  try {
    // Data beyond the entry's declared size is refused: the output holds what the header promised.
    if (static_cast<int64_t>(Count) > EntryRemaining_) return 0;
    WriteBlock(Buffer, static_cast<int32_t>(Count), true, ckCrc32);
    EntryRemaining_ -= Count;
    BytesToDo = std::max<int64_t>(BytesToDo - Count, 0);
    UpdateProgress(EntrySize_ - EntryRemaining_, TotalPacked, EntrySize_);
    return Count;
  } catch (...) {
    Pending_ = std::current_exception();
    return 0;
  }
}

intptr_t TUnCab::CloseFile(const TCabNotification& N) {
  const bool Extracted = Decision_ == cdExtract;
  Decision_ = cdSkip;
  if (!Extracted) return 1;
  const bool Passed = !N.Failed && EntryRemaining_ == 0 && !GetCancel();
  CloseOutput(Item.Attributes, Item.DosDateTime, CurrentOutputName);
  const std::string& Name = CurrentOutputName.empty() ? Item.Name : CurrentOutputName;
  if (OnEnd)
    OnEnd(this, Name, Passed);
  else if (!Passed)
    DoError(Name, "", errCrcFailed);
  return GetCancel() ? -1 : 1;
}

intptr_t TUnCab::NextCabinet(TCabNotification& N) {
  std::string Name = AppendPath(N.Name3 ? N.Name3 : "", N.Name1 ? N.Name1 : "");
  if (Name.empty()) Name = N.Name1 ? N.Name1 : "";
  if (!RequestNextVolume(Name, N.CabinetIndex + 1)) return -1;
  std::string Dir, File;
  SplitFileName(Name, Dir, File);
  if (File.size() >= CAB_MAX_NAME || Dir.size() >= CAB_MAX_NAME || !N.NextName || !N.NextFolder) return -1;
  std::memcpy(N.NextName, File.c_str(), File.size() + 1);
  std::memcpy(N.NextFolder, Dir.c_str(), Dir.size() + 1);
  return 0;
}
