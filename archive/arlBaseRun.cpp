// The decoding frame of TUnBase: one run over the archive and the per-item steps that decoders call.
#include <sys/stat.h>

#include <algorithm>
#include <new>

#include "archive/arlBase.h"
#include "archive/arlDisks.h"
#include "archive/arlFileIo.h"
#include "core/VFileSys.h"

namespace {

// Types decoded through outside libraries, which open the archive themselves.
bool IsOutsideLibraryType(int Code) {
  return Code == atAce || Code == atAceSfx || Code == atCab || Code == atRar || Code == atRarSfx;
}

// The folder of FileName with its "/"; "" for a bare name.
std::string FolderOf(const std::string& FileName) {
  std::string Dir, Name;
  SplitFileName(FileName, Dir, Name);
  return Dir;
}

}  // namespace

int32_t TUnBase::Execute() {
  try {
    return Run();
  } catch (...) {
    return FileIndex;
  }
}

int32_t TUnBase::Run() {
  *CancelFlag_ = false;
  FileIndex = 0;
  BytesToDo = TotalPacked = TotalUnpacked = 0;
  NewestDate = 0;
  PasswordPos_ = 0;
  ClearSecondaryList();

  if (ArchiveFile.empty()) {
    DoError(ArchiveFile, "", errFileNotFound);
    return 0;
  }
  if (!ForwardInput && !Disks_->CheckArchiveDrive(ArchiveFile)) return 0;

  const std::string RunArchive = ArchiveFile;
  if (OnActivate) OnActivate(this);
  if (!IsOutsideLibraryType(ArcType) && !ForwardInput) {
    int32_t Error = 0;
    ArcStream_ = std::make_unique<TFileStream32>(ArchiveFile, fmOpenRead | fmShareDenyNone, Error);
    if (Error != 0) {
      ArcStream_.reset();
      DoError(ArchiveFile, "", errOpeningFile);
      if (OnDeactivate) OnDeactivate(this);
      return 0;
    }
  }
  Password.clear();
  CurrentOutputName.clear();
  VolumesOpened = 0;
  Timing_ = static_cast<bool>(OnElapsedTime);
  if (Timing_) Timer_.Start();
  if (ArcType != atGZip && ArcType != atMsGz) ConvertLF = false;

  try {
    ExtractArchive(ForwardInput ? ForwardInput : ArcStream_.get());
  } catch (const E_RAISE& E) {
    if (!E.Reported) DoError(CurrentOutputName, "", E.ErrorCode);
  } catch (const EStreamError& E) {
    DoError(CurrentOutputName, E.Message(), errReadingFile);
  } catch (const EOutOfMemory& E) {
    DoError(CurrentOutputName, "", errOutOfMemory);
  } catch (const std::bad_alloc&) {
    DoError(CurrentOutputName, "", errOutOfMemory);
  } catch (const Exception& E) {
    DoError(CurrentOutputName, E.Message(), 0);
  } catch (const std::exception& E) {
    DoError(CurrentOutputName, E.what(), 0);
  }
  // An item's output left open by a failed decoder is closed here.
  if (OutHandle_ != kInvalidHandle) {
    FileClose(OutHandle_);
    OutHandle_ = kInvalidHandle;
  }
  OutFileStream_.reset();
  if (Timing_) {
    Timer_.Stop();
    OnElapsedTime(this, Timer_.Elapsed);
  }
  if (OnDeactivate) OnDeactivate(this);
  ArchiveFile = RunArchive;
  ArcStream_.reset();
  return FileIndex;
}

int32_t TUnBase::ExtractToFiles() {
  InputMode = imHandle;
  OutputMode = omHandle;
  return Execute();
}

int32_t TUnBase::ExtractToStream(const std::string& ItemName, TStream32* Stream) {
  if (!Stream) {
    DoError(ItemName, "", errNoFileStream);
    return 0;
  }
  // FileSpec is given back on every path.
  struct TRestore {
    TUnBase& Self;
    std::vector<std::string> Saved;
    bool SavedLiteral;
    ~TRestore() {
      Self.FileSpec = std::move(Saved);
      Self.FileSpecLiteral = SavedLiteral;
      Self.OutStream = nullptr;
    }
  } Restore{*this, FileSpec, FileSpecLiteral};
  FileSpec = {ItemName};
  FileSpecLiteral = true;
  OutputMode = omStream;
  OutStream = Stream;
  const int32_t Result = Execute();
  try {
    Stream->SetPosition(0);
  } catch (const Exception&) {
  }
  return Result;
}

int32_t TUnBase::ExtractToMemoryStream(TDecompMemoryStream* Stream) {
  if (!Stream) {
    DoError(ArchiveFile, "", errNoMemoryStream);
    return 0;
  }
  OutputMode = omMemory;
  OutMemoryStream = Stream;
  const int32_t Result = Execute();
  Stream->SetPosition(0);
  OutMemoryStream = nullptr;
  return Result;
}

int32_t TUnBase::TestArchive() {
  OutputMode = omTest;
  return Execute();
}

void TUnBase::ExtractArchive(TStream32*) {}

bool TUnBase::CheckPassword(const uint8_t*) { return false; }

// --- Per-item steps ----------------------------------------------------------------------------------------

bool TUnBase::BeginItem(bool TestOnly) {
  if (TestOnly) return true;
  const bool FileOutput = IsFileOutput();
  TArlBeginItem Begin{FileOutput ? CurrentOutputName : Item.Name, FileIndex + 1};
  if (OnBegin) OnBegin(this, Begin);
  if (GetCancel() || !Begin.Continue) return false;
  if (!FileOutput) {
    ++FileIndex;
    return true;
  }
  if (CurrentOutputName.empty()) {
    // The stored name leads outside the output folder, or there is none.
    DoError(Item.Name, "", errInvalidFileName);
    return false;
  }
  if (!ConfirmOverwrites) {
    ++FileIndex;
    return true;
  }
  if (!OnFileExists) {
    DoError(CurrentOutputName, "OnFileExists", errEventNotAssigned);
    return false;
  }
  bool Skip = false;
  std::string Name = CurrentOutputName;
  while (!GetCancel() && !Skip && FileExists(Name)) {
    TArlFileExists Query{Name};
    OnFileExists(this, Query);
    Skip = Query.Skip;
    if (Skip || Query.NewName.empty() || SameTextAscii(Query.NewName, Name)) break;
    Name = std::move(Query.NewName);
  }
  if (Skip || GetCancel()) return false;
  struct stat St {};
  if (::lstat(Name.c_str(), &St) == 0) {
    if (S_ISDIR(St.st_mode)) {
      DoError(Name, "", errWritingFile);
      return false;
    }
    if (!(St.st_mode & S_IWUSR)) ::chmod(Name.c_str(), St.st_mode | S_IWUSR);
  }
  CurrentOutputName = Name;
  ++FileIndex;
  return true;
}

bool TUnBase::OpenOutput(const std::string& ItemName, const std::string& FileName) {
  LastWrittenCr_ = false;
  switch (OutputMode) {
    case omHandle:
    case omAppend: {
      const std::string Folder = FolderOf(FileName);
      if (!Folder.empty()) ForceDirectories(Folder);
      OutHandle_ = OutputMode == omAppend ? OpenExistingForAppend(this, FileName)
                                          : OpenOutputFile(this, FileName, false);
      return OutHandle_ != kInvalidHandle;
    }
    case omMemory: {
      if (!OutMemoryStream) {
        DoError(ItemName, "", errNoMemoryStream);
        return false;
      }
      OutMemoryStream->Seek(0, soEnd);
      OutMemoryStart_ = OutMemoryStream->Position();
      TDecompRecord Record;
      Record.Start = static_cast<uint32_t>(OutMemoryStart_);
      Record.Name = ItemName;
      OutMemoryStream->AddRecord(Record);
      return true;
    }
    case omFileStream: {
      const std::string Folder = FolderOf(FileName);
      if (!Folder.empty()) ForceDirectories(Folder);
      struct stat St {};
      if (::stat(FileName.c_str(), &St) == 0 && !(St.st_mode & S_IWUSR))
        ::chmod(FileName.c_str(), St.st_mode | S_IWUSR);
      int32_t Error = 0;
      OutFileStream_ = std::make_unique<TFileStream32>(FileName, fmCreate, Error);
      if (Error != 0) {
        OutFileStream_.reset();
        DoError(FileName, "", errOpeningFile);
        return false;
      }
      return true;
    }
    case omStream:
      if (!OutStream) {
        DoError(ItemName, "", errNoFileStream);
        return false;
      }
      return true;
    default:
      return true;
  }
}

void TUnBase::CloseOutput(uint32_t Attributes, uint32_t StoredDate, const std::string& FileName) {
  switch (OutputMode) {
    case omHandle:
    case omAppend:
    case omFileStream: {
      bool Closed = true;
      if (OutputMode == omFileStream) {
        Closed = !OutFileStream_ || OutFileStream_->Close();
        OutFileStream_.reset();
      } else if (OutHandle_ != kInvalidHandle) {
        Closed = FileClose(OutHandle_);
        OutHandle_ = kInvalidHandle;
      }
      if (!Closed) DoError(FileName, "", errClosingFile);
      SetFileWriteTime(FileName, ItemDate(StoredDate));  // a date that cannot be set is not an error
      if (RestoreAttributes && Attributes != faArchive && (Attributes & faReadOnly) &&
          !(Attributes & faDirectory)) {
        struct stat St {};
        if (::stat(FileName.c_str(), &St) == 0)
          ::chmod(FileName.c_str(), St.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
      }
      break;
    }
    case omMemory:
      if (OutMemoryStream && !OutMemoryStream->Records.empty()) {
        const int64_t Size = OutMemoryStream->Position() - OutMemoryStart_;
        OutMemoryStream->Records.back().Size = static_cast<uint32_t>(std::max<int64_t>(Size, 0));
      }
      CurrentOutputName = Item.Name;
      break;
    default:
      CurrentOutputName = Item.Name;
      break;
  }
}

bool TUnBase::CheckCrc(int Kind, uint32_t Stored) {
  if (GetCancel()) return false;
  bool Ok;
  if (Kind == ckCrc16) {
    const auto S = static_cast<uint16_t>(Stored);
    Ok = S == Crc16Reg || S == static_cast<uint16_t>(~Crc16Reg);
  } else {
    Ok = Stored == Crc32Reg || Stored == ~Crc32Reg;
  }
  const std::string& Name = CurrentOutputName.empty() ? Item.Name : CurrentOutputName;
  if (OnEnd)
    OnEnd(this, Name, Ok);
  else if (!Ok && OnError)
    DoError(Name, "", errCrcFailed);
  return Ok;
}

bool TUnBase::VerifyPassword(TStream32& Stream, int64_t Position) {
  uint8_t Header[kEncryptionHeaderSize];
  bool Read = false;
  try {
    Read = Stream.Seek(Position, soBeginning) == Position &&
           Stream.Read(Header, kEncryptionHeaderSize) == kEncryptionHeaderSize;
  } catch (const EStreamError&) {
    Read = false;
  }
  if (!Read) {
    DoError(Item.Name, "", errReadingFile);
    return false;
  }
  // CheckPassword may decipher its copy in place: each candidate gets a fresh one.
  auto Passes = [&]() {
    uint8_t Copy[kEncryptionHeaderSize];
    std::copy(Header, Header + kEncryptionHeaderSize, Copy);
    return CheckPassword(Copy);
  };
  if (Passes()) return true;
  for (const auto& Candidate : AcceptedPasswords) {
    Password = Candidate;
    if (Passes()) return true;
  }
  if (!OnGetPassword) {
    DoError(CurrentOutputName, "OnGetPassword", errEventNotAssigned);
    return false;
  }
  const std::string& Name = CurrentOutputName.empty() ? Item.Name : CurrentOutputName;
  for (int32_t Attempt = 0; Attempt < PasswordAttempts; ++Attempt) {
    if (GetCancel()) return false;
    TArlPasswordQuery Query{Name, Password};
    {
      Timer_.Pause();
      OnGetPassword(this, Query);
      Timer_.Resume();
    }
    Password = std::move(Query.Password);
    if (!Query.Continue) {
      DoError(Name, "", errInvalidPassword);
      return false;
    }
    if (Passes()) {
      AcceptedPasswords.erase(std::remove(AcceptedPasswords.begin(), AcceptedPasswords.end(), Password),
                              AcceptedPasswords.end());
      AcceptedPasswords.insert(AcceptedPasswords.begin(), Password);
      return true;
    }
    Password.clear();
    DoError(Name, "", errInvalidPassword);
  }
  return false;
}

int64_t TUnBase::CopyStored(TStream32* In, int64_t Size, int CrcKind, bool Decrypt) {
  std::vector<uint8_t> Buf(static_cast<size_t>(std::clamp<int64_t>(Size, 1, kCopyBlock)));
  int64_t Remaining = std::max<int64_t>(Size, 0);
  while (Remaining > 0 && !GetCancel()) {
    const auto Want = static_cast<int32_t>(std::min<int64_t>(Remaining, kCopyBlock));
    const int32_t N = ReadBlock(In, Buf.data(), Want, ckNone, Decrypt);
    if (N <= 0) break;
    WriteBlock(Buf.data(), N, true, CrcKind);
    Remaining -= N;
    BytesToDo = std::max<int64_t>(BytesToDo - N, 0);
    UpdateProgress(Size - Remaining, TotalPacked, Size);
  }
  return Remaining;
}

int64_t TUnBase::StreamSizeOf(TStream32& Stream) {
  try {
    return Stream.Size();
  } catch (const EStreamError&) {
    return 0;
  }
}
