#include "archive/ace/arlUnAce2.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "archive/arlFileIo.h"
#include "archive/cab/arlDynLib.h"
#include "core/VFileSys.h"

namespace {

const char* const kUnAceLibrary = "UnAceV2.so";

// Sizes of the ACE format: a block starts with its CRC and its header size (the bytes after these four).
constexpr int64_t kBlockPrefix = 4;
constexpr int64_t kFileBlockFixed = 35;  // the fixed fields of a file block, up to its name
constexpr uint8_t kFileBlockType = 1;
constexpr uint32_t kFolderAttribute = 0x10;
// The limits given to the library: bytes searched for an archive, and its file buffer.
constexpr uint32_t kMaxArchiveTestBytes = 0x1FFFF;
constexpr uint32_t kMaxFileBuffer = 0x2FFFF;

struct TBinding {
  TDynLib Library;
  bool Tried = false;
  TUnAceEntries Entries;
};

TBinding& Binding() {
  static TBinding B;
  return B;
}

bool Bound() { return Binding().Entries.InitDll != nullptr; }

// Runs in progress in the process; only one may be.
int BusyCount = 0;

struct TBusy {
  TBusy() { ++BusyCount; }
  ~TBusy() { --BusyCount; }
};

uint16_t Le16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t Le32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}

std::string FolderOf(const std::string& Name) {
  const size_t Slash = Name.rfind('/');
  return Slash == std::string::npos ? std::string() : Name.substr(0, Slash);
}

// A file's name without its folder.
std::string NameOf(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

}  // namespace

bool LoadUnAceDll(const std::string& Path) {
  TBinding& B = Binding();
  if (Bound() || B.Tried) return Bound();
  B.Tried = true;
  TUnAceEntries& E = B.Entries;
  return B.Library.LoadAndBind(Path, kUnAceLibrary,
                               {{"ACEInitDll", reinterpret_cast<void**>(&E.InitDll)},
                                {"ACEReadArchiveData", reinterpret_cast<void**>(&E.ReadArchiveData)},
                                {"ACEList", reinterpret_cast<void**>(&E.List)},
                                {"ACETest", reinterpret_cast<void**>(&E.Test)},
                                {"ACEExtract", reinterpret_cast<void**>(&E.Extract)}});
}

void UnloadUnAceDll() {
  TBinding& B = Binding();
  B.Entries = TUnAceEntries();
  B.Library.Unload();
  B.Tried = false;
}

std::string UnAceDllFileName() { return Bound() ? Binding().Library.FileName() : std::string(); }

void BindUnAceEntries(const TUnAceEntries& Entries) {
  UnloadUnAceDll();
  Binding().Entries = Entries;
  Binding().Tried = true;
}

const char* const TUnAce::kBusyText = "Can't extract file(s) now - UnAce component is busy.";

std::string TUnAce::InitErrorText(int Code) {
  return std::string("Unable to initialize \"") + kUnAceLibrary + "\". Error code: " + std::to_string(Code);
}

// --- The library's callbacks ------------------------------------------------------------------------------

struct TAceCallbacks {
  template <class F>
  static int Call(TAceCallbackRecord* R, F&& Handler) {
    if (!R || !R->Global || !R->Global->Owner) return ACE_CALLBACK_CANCEL;
    auto* D = static_cast<TUnAce*>(R->Global->Owner);
    if (D->Pending_) return ACE_CALLBACK_CANCEL;
    try {
      return Handler(*D, *R);
    } catch (...) {
      D->Pending_ = std::current_exception();
      return ACE_CALLBACK_CANCEL;
    }
  }
  static int Info(TAceCallbackRecord* R) {
    return Call(R, [](TUnAce& D, TAceCallbackRecord& Rec) { return D.InfoCallback(Rec); });
  }
  static int Error(TAceCallbackRecord* R) {
    Call(R, [](TUnAce& D, TAceCallbackRecord& Rec) { return D.ErrorCallback(Rec); });
    return ACE_CALLBACK_CANCEL;
  }
  static int Request(TAceCallbackRecord* R) {
    return Call(R, [](TUnAce& D, TAceCallbackRecord& Rec) { return D.RequestCallback(Rec); });
  }
  static int State(TAceCallbackRecord* R) {
    return Call(R, [](TUnAce& D, TAceCallbackRecord& Rec) { return D.StateCallback(Rec); });
  }
};

// --- The archive's own headers ----------------------------------------------------------------------------

std::vector<TUnAce::THeaderEntry> TUnAce::ReadHeaders() {
  std::vector<THeaderEntry> Out;
  int32_t Error = 0;
  TFileStream32 In(ArchiveFile, fmOpenRead | fmShareDenyNone, Error);
  if (Error != 0) RaiseError(ArchiveFile, errOpeningFile);
  const int64_t Size = In.Size();
  int64_t Pos = StartOffset > 0 ? StartOffset - 1 : 0;
  uint8_t Head[kBlockPrefix];
  // The main header: its size gives the first file block.
  if (Pos + kBlockPrefix > Size) return Out;
  In.SetPosition(Pos);
  if (In.Read(Head, kBlockPrefix) != kBlockPrefix) return Out;
  Pos += kBlockPrefix + Le16(Head + 2);
  while (Pos + kFileBlockFixed <= Size) {
    uint8_t B[kFileBlockFixed];
    In.SetPosition(Pos);
    if (In.Read(B, kFileBlockFixed) != kFileBlockFixed || B[4] != kFileBlockType) break;
    const int64_t HeaderSize = Le16(B + 2);
    const uint16_t NameLength = Le16(B + 33);
    // The name lies inside the header, and the header inside the file.
    if (kFileBlockFixed + NameLength > kBlockPrefix + HeaderSize || Pos + kBlockPrefix + HeaderSize > Size)
      break;
    std::string Name(NameLength, '\0');
    if (NameLength > 0 && In.Read(Name.data(), NameLength) != NameLength) break;
    THeaderEntry E;
    E.Name = ConvertItemName(Name, true);
    E.PackedSize = Le32(B + 7);
    E.Size = Le32(B + 11);
    E.DosTime = Le32(B + 15);
    E.Attributes = Le32(B + 19);
    Out.push_back(std::move(E));
    Pos += kBlockPrefix + HeaderSize + Out.back().PackedSize;
  }
  return Out;
}

void TUnAce::HeaderScan() {
  std::set<std::string> EmptyFolders;
  const bool MakeFolders = IsFileOutput() && CreateStoredDirs;
  for (const THeaderEntry& E : ReadHeaders()) {
    if (E.Attributes & kFolderAttribute) {
      if (MakeFolders) EmptyFolders.insert(E.Name);
      continue;
    }
    for (std::string F = FolderOf(E.Name); !F.empty(); F = FolderOf(F)) EmptyFolders.erase(F);
    if (MatchFileSpec(E.Name, FileSpec, {}, true)) {
      TotalPacked += E.PackedSize;
      TotalUnpacked += E.Size;
      NewestDate = std::max(NewestDate, E.DosTime);
    }
  }
  for (const std::string& F : EmptyFolders) {
    const std::string Out = BuildOutputName(F);  // "" for a folder that would lie outside ExtractDir
    if (!Out.empty()) ForceDirectories(Out);
  }
}

// --- The run
// ------------------------------------------------------------------------------------------------

void TUnAce::Initialise(TAceInitData& Data) {
  Data = TAceInitData{};
  Data.Owner = this;
  Data.MaxArchiveTestBytes = kMaxArchiveTestBytes;
  Data.MaxFileBufferSize = kMaxFileBuffer;
  Data.TempFolder = TempDir_.c_str();
  Data.Info = TAceCallbacks::Info;
  Data.Error = TAceCallbacks::Error;
  Data.Request = TAceCallbacks::Request;
  Data.State = TAceCallbacks::State;
  const int R = Binding().Entries.InitDll(&Data);
  if (R != 0) throw Exception(InitErrorText(R));
}

void TUnAce::ExtractArchive(TStream32*) {
  if (GetCancel()) return;
  if (!LoadUnAceDll("")) RaiseError(ArchiveFile, errUnAceDll);
  if (BusyCount > 0) {
    DoError(ArchiveFile, kBusyText, 0);
    throw E_RAISE(0, true);
  }
  TBusy Busy;
  Pending_ = nullptr;
  PasswordBuffer_.clear();
  CurrentVolume_ = ArchiveFile;
  VolumeNumber_ = 0;
  Selected_ = Placeholder_ = Existed_ = false;
  TempDir_ = GetLibraryTempDir();
  TAceInitData Data;
  int Result;
  const std::string Empty;
  if (IsFileOutput()) {
    Initialise(Data);
    DoProgress(0, 0);
    HeaderScan();
    BytesToDo = TotalPacked;
    if (!Bound()) throw Exception(ArlErrorText(errUnAceDll));
    TAceExtractData X{};
    X.SourceFolder = X.FileList = X.ExcludeList = Empty.c_str();
    X.FullMatch = -1;
    X.DestinationFolder = ExtractDir.c_str();
    X.ExcludePath = UseStoredDirs ? 0 : -1;
    X.Password = PasswordBuffer_.c_str();
    Result = Binding().Entries.Extract(ArchiveFile.c_str(), &X);
  } else {
    HeaderScan();
    BytesToDo = TotalPacked;
    Initialise(Data);
    DoProgress(0, 0);
    if (!Bound()) throw Exception(ArlErrorText(errUnAceDll));
    TAceTestData T{};
    T.SourceFolder = T.FileList = T.ExcludeList = Empty.c_str();
    T.FullMatch = -1;
    T.Password = PasswordBuffer_.c_str();
    Result = Binding().Entries.Test(ArchiveFile.c_str(), &T);
  }
  // A placeholder of the last entry that the library never reached is removed.
  if (Placeholder_) ForceDeleteFile(Target_);
  Placeholder_ = false;
  if (Pending_) {
    std::exception_ptr P = Pending_;
    Pending_ = nullptr;
    std::rethrow_exception(P);
  }
  // A volume that ended early was reported where it was met.
  if (Result == ACE_ERROR_DAMAGED && !GetCancel())
    DoError(ArchiveFile, "", errBadFileHeader);
  else if (Result != ACE_OK && Result != ACE_ERROR_ENDS_EARLY && !GetCancel())
    DoError(ArchiveFile, "", errUnsupportedType);
}

// --- Callbacks
// ----------------------------------------------------------------------------------------------

int TUnAce::InfoCallback(TAceCallbackRecord& R) {
  if (GetCancel()) return ACE_CALLBACK_CANCEL;
  switch (R.Code) {
    case 281:
      return R.Operation == ACE_OPERATION_EXTRACT ? ACE_CALLBACK_NO : ACE_CALLBACK_OK;
    case 282:
    case 320:
      return ACE_CALLBACK_OK;
    default:
      return ACE_CALLBACK_NO;
  }
}

int TUnAce::ErrorCallback(TAceCallbackRecord& R) {
  // The library's problems with one item name the item; it goes on with the next one.
  const std::string Entry = R.File && R.File->Name ? ConvertItemName(R.File->Name, true) : ArchiveFile;
  if (R.File) ItemReported_ = true;
  if (R.Code == ACE_ERROR_UNSAFE_NAME) {
    DoError(Entry, "", errInvalidFileName);
  } else if (R.Code == ACE_ERROR_WRITE) {
    DoError(Entry, "", errWritingFile);
  } else if (R.Code == ACE_ERROR_SOLID_LOST) {
    DoError(Entry, "lost with the data before it in the solid archive", 0);
  } else if (R.Code == ACE_ERROR_PASSWORD) {
    DoError(Entry, "", errInvalidPassword);
  } else if (R.Code == ACE_ERROR_ENDS_EARLY) {
    // The item cut by the end of its volume, or the blocks of the volume from the cut on (which may
    // hold further items): a later volume is named, the archive itself is not.
    if (R.File) {
      DoError(Entry, "", errReadingFile);
    } else {
      const std::string Volume = R.Archive && R.Archive->ArchiveName ? R.Archive->ArchiveName : "";
      std::string Where = "entries from offset " + std::to_string(R.Offset) + " on";
      if (!Volume.empty() && Volume != ArchiveFile) Where = NameOf(Volume) + ": " + Where;
      DoError(ArchiveFile, Where, errReadingFile);
    }
  }
  return ACE_CALLBACK_CANCEL;
}

int TUnAce::RequestCallback(TAceCallbackRecord& R) {
  if (R.Type == ACE_REQUEST_VOLUME && R.Code == ACE_CODE_NEXT_VOLUME) return AskNextVolume(R);
  if (R.Type == ACE_REQUEST_FILE && R.Code == ACE_CODE_PASSWORD) return AskPassword(R);
  if (R.Type == ACE_REQUEST_FILE && R.Code == ACE_CODE_OVERWRITE) {
    if (Placeholder_) {
      ForceDeleteFile(Target_);
      Placeholder_ = false;
      return ACE_CALLBACK_NO;
    }
    if (Selected_ && !Existed_) {
      struct stat St {};
      if (::stat(Target_.c_str(), &St) == 0) ::chmod(Target_.c_str(), St.st_mode | S_IWUSR);
      return ACE_CALLBACK_OK;
    }
    return ACE_CALLBACK_NO;
  }
  return ACE_CALLBACK_CANCEL;
}

int TUnAce::AskNextVolume(TAceCallbackRecord& R) {
  if (!OnNextVolumeFile) {
    DoError(ArchiveFile, "OnNextVolumeFile", errEventNotAssigned);
    return ACE_CALLBACK_CANCEL;
  }
  if (!R.Archive || !R.Archive->ArchiveName) return ACE_CALLBACK_CANCEL;
  // The library counts volumes from the file it was given; their names count from the set's first
  // volume (".ace" or ".exe" before ".c00"), which need not be that file.
  const int32_t Number = R.Archive->VolumeNumber;
  const int32_t Extension = FirstVolumeNumber + Number - 1;
  std::string Name =
      Number > 0 ? ExistingVolumeName(ArchiveFile, Extension) : std::string(R.Archive->ArchiveName);
  if (Name.empty()) return ACE_CALLBACK_CANCEL;
  const bool Continuing = R.File != nullptr;
  const int32_t Later = FileExists(Name) ? -1 : NextPresentVolume(ArchiveFile, Extension);
  // At the end of a set the volume after the last is not there: the set ends without a word, unless an
  // item goes on in it or a later volume is there.
  if (!FileExists(Name) && !Continuing && Later < 0) return ACE_CALLBACK_CANCEL;
  const std::string Asked = Name;
  if (!RequestNextVolume(Name, Extension) || Name.size() >= ACE_NAME_SIZE) {
    // Missing: the item that goes on in it is lost, and the walk goes on in the next volume that is there.
    if (Continuing && R.File->Name)
      DoError(ConvertItemName(R.File->Name, true), "lost with the missing volume \"" + NameOf(Asked) + "\"",
              0);
    if (Continuing) ItemReported_ = true;
    return Later >= 0 ? ACE_CALLBACK_NO : ACE_CALLBACK_CANCEL;
  }
  std::memcpy(R.Archive->ArchiveName, Name.c_str(), Name.size() + 1);
  CurrentVolume_ = Name;
  VolumeNumber_ = Number;
  return ACE_CALLBACK_OK;
}

int TUnAce::AskPassword(TAceCallbackRecord& R) {
  const std::string Entry = R.File && R.File->Name ? ConvertItemName(R.File->Name, true) : Item.Name;
  if (!OnGetPassword) {
    DoError(Entry, "OnGetPassword", errEventNotAssigned);
    return ACE_CALLBACK_CANCEL;
  }
  for (int32_t Attempt = 1; Attempt <= PasswordAttempts; ++Attempt) {
    TArlPasswordQuery Query{Entry};
    OnGetPassword(this, Query);
    if (!Query.Continue || GetCancel()) {
      DoError(Entry, "", errInvalidPassword);
      return ACE_CALLBACK_CANCEL;
    }
    if (!Query.Password.empty()) {
      PasswordBuffer_ = Query.Password;
      R.Global->Password = PasswordBuffer_.data();
      return ACE_CALLBACK_OK;
    }
  }
  DoError(Entry, "", errPasswordFailed);
  return ACE_CALLBACK_CANCEL;
}

void TUnAce::TakeEntry(const TAceFileData& F) {
  Item = TArlItem();
  Item.Name = ConvertItemName(F.Name ? F.Name : "", true);
  Item.PackedSize = std::max<int64_t>(F.PackedSize, 0);
  Item.UnpackedSize = std::max<int64_t>(F.Size, 0);
  Item.DosDateTime = F.DosTime;
  Item.Attributes = F.Attributes;
  Item.Crc = F.Crc;
  EntryDone_ = 0;
}

int TUnAce::StateCallback(TAceCallbackRecord& R) {
  if (R.Type > ACE_STATE_CRC) return ACE_CALLBACK_OK;
  if (GetCancel()) return ACE_CALLBACK_CANCEL;
  const bool Folder = R.File && (R.File->Attributes & kFolderAttribute);
  if (R.Type == ACE_STATE_ENTRY && R.Code == ACE_CODE_ENTRY_START && R.File) {
    if (Placeholder_) ForceDeleteFile(Target_);  // the previous entry's, when no overwrite request came
    Placeholder_ = Existed_ = ItemReported_ = false;
    TakeEntry(*R.File);
    Selected_ = MatchFileSpec(Item.Name, FileSpec, {}, true);
    CurrentOutputName = BuildOutputName(Item.Name);
    Target_ = CurrentOutputName;
    if (R.Operation == ACE_OPERATION_TEST) {
      if (Selected_ && !Folder) {
        Selected_ = BeginItem(false);
        if (Selected_ && !OpenOutput(Item.Name, CurrentOutputName)) {
          --FileIndex;
          Selected_ = false;
        }
      } else if (Folder) {
        BeginItem(true);
        Selected_ = false;
      }
      Crc32Reg = 0xFFFFFFFF;
      return ACE_CALLBACK_OK;
    }
    if (R.Operation == ACE_OPERATION_EXTRACT) {
      if (Selected_ && !Folder) {
        if (Target_.empty() || !BeginItem(false)) {
          Selected_ = false;
          return ACE_CALLBACK_CANCEL;
        }
        return ACE_CALLBACK_OK;
      }
      Selected_ = false;
      if (Folder || Target_.empty()) return ACE_CALLBACK_OK;
      // The library writes every entry it meets: an entry that was not selected finds its target taken,
      // so that the overwrite request that follows can refuse it.
      if (FileExists(Target_)) {
        struct stat St {};
        if (::stat(Target_.c_str(), &St) == 0) ::chmod(Target_.c_str(), St.st_mode | S_IWUSR);
        Existed_ = true;
      } else {
        ForceDirectories(FolderOf(Target_));
        const THandle H = OpenOutputFile(this, Target_, true);
        if (H == kInvalidHandle) return ACE_CALLBACK_CANCEL;  // reported by OpenOutputFile
        ::close(H);
        Placeholder_ = true;
      }
      return ACE_CALLBACK_OK;
    }
    return ACE_CALLBACK_OK;
  }
  if (R.Type == ACE_STATE_PROGRESS) {
    if (R.Operation == ACE_OPERATION_TEST && Selected_ && R.Progress && R.Progress->Data &&
        R.Progress->Length) {
      // Never more than the entry's header declared.
      if (EntryDone_ + R.Progress->Length > Item.UnpackedSize) return ACE_CALLBACK_CANCEL;
      WriteBlock(R.Progress->Data, static_cast<int32_t>(R.Progress->Length), true, ckCrc32);
    }
    const uint32_t N = R.Progress ? R.Progress->Length : 0;
    EntryDone_ += N;
    BytesToDo = std::max<int64_t>(BytesToDo - N, 0);
    UpdateProgress(EntryDone_, TotalPacked, Item.UnpackedSize);
    return ACE_CALLBACK_OK;
  }
  if (R.Type == ACE_STATE_CRC) {
    if (R.Operation == ACE_OPERATION_TEST) {
      if (Selected_) {
        CloseOutput(Item.Attributes, Item.DosDateTime, CurrentOutputName);
        const bool Passed = R.CrcOk != 0 && EntryDone_ == Item.UnpackedSize;
        if (OnEnd)
          OnEnd(this, Item.Name, Passed);
        else if (!Passed && !ItemReported_)
          DoError(Item.Name, "", errCrcFailed);
      }
      Selected_ = false;
      return ACE_CALLBACK_OK;
    }
    if (Placeholder_) {
      ForceDeleteFile(Target_);
      Placeholder_ = false;
    }
    if (Selected_) {
      if (OnEnd)
        OnEnd(this, CurrentOutputName, R.CrcOk != 0);
      else if (!R.CrcOk && !ItemReported_)
        DoError(CurrentOutputName, "", errCrcFailed);
      SetFileWriteTime(CurrentOutputName, ItemDate(Item.DosDateTime));
      struct stat St {};
      if (RestoreAttributes && (Item.Attributes & faReadOnly) && ::stat(CurrentOutputName.c_str(), &St) == 0)
        ::chmod(CurrentOutputName.c_str(), St.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
    }
    Selected_ = false;
    return ACE_CALLBACK_OK;
  }
  return ACE_CALLBACK_OK;
}
