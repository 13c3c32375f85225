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
  std::string dir, name;
  SplitFileName(FileName, dir, name);
  return dir;
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
  *CancelFlag = false;
  FileIndex = 0;
  BytesToDo = TotalPacked = TotalUnpacked = 0;
  NewestDate = 0;
  PasswordPos = 0;
  ClearSecondaryList();

  if (ArchiveFile.empty()) {
    DoError(ArchiveFile, "", errFileNotFound);
    return 0;
  }
  if (!Disks->CheckArchiveDrive(ArchiveFile)) return 0;

  const std::string runArchive = ArchiveFile;
  if (OnActivate) OnActivate(this);
  if (!IsOutsideLibraryType(ArcType)) {
    int32_t error = 0;
    ArcStream = std::make_unique<TFileStream32>(ArchiveFile, fmOpenRead | fmShareDenyNone, error);
    if (error != 0) {
      ArcStream.reset();
      DoError(ArchiveFile, "", errOpeningFile);
      if (OnDeactivate) OnDeactivate(this);
      return 0;
    }
  }
  Password.clear();
  CurrentOutputName.clear();
  VolumesOpened = 0;
  Timing = static_cast<bool>(OnElapsedTime);
  if (Timing) Timer.Start();
  if (ArcType != atGZip && ArcType != atMsGz) ConvertLF = false;

  try {
    ExtractArchive(ArcStream.get());
  } catch (const E_RAISE& e) {
    if (!e.Reported) DoError(CurrentOutputName, "", e.ErrorCode);
  } catch (const EStreamError& e) {
    DoError(CurrentOutputName, e.Message(), errReadingFile);
  } catch (const EOutOfMemory& e) {
    DoError(CurrentOutputName, "", errOutOfMemory);
  } catch (const std::bad_alloc&) {
    DoError(CurrentOutputName, "", errOutOfMemory);
  } catch (const Exception& e) {
    DoError(CurrentOutputName, e.Message(), 0);
  } catch (const std::exception& e) {
    DoError(CurrentOutputName, e.what(), 0);
  }
  // An item's output left open by a failed decoder is closed here.
  if (OutHandle != kInvalidHandle) {
    FileClose(OutHandle);
    OutHandle = kInvalidHandle;
  }
  OutFileStream.reset();
  if (Timing) {
    Timer.Stop();
    OnElapsedTime(this, Timer.Elapsed);
  }
  if (OnDeactivate) OnDeactivate(this);
  ArchiveFile = runArchive;
  ArcStream.reset();
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
  } restore{*this, FileSpec, FileSpecLiteral};
  FileSpec = {ItemName};
  FileSpecLiteral = true;
  OutputMode = omStream;
  OutStream = Stream;
  const int32_t result = Execute();
  try {
    Stream->SetPosition(0);
  } catch (const Exception&) {
  }
  return result;
}

int32_t TUnBase::ExtractToMemoryStream(TDecompMemoryStream* Stream) {
  if (!Stream) {
    DoError(ArchiveFile, "", errNoMemoryStream);
    return 0;
  }
  OutputMode = omMemory;
  OutMemoryStream = Stream;
  const int32_t result = Execute();
  Stream->SetPosition(0);
  OutMemoryStream = nullptr;
  return result;
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
  const bool fileOutput = IsFileOutput();
  TArlBeginItem begin{fileOutput ? CurrentOutputName : Item.Name, FileIndex + 1};
  if (OnBegin) OnBegin(this, begin);
  if (GetCancel() || !begin.Continue) return false;
  if (!fileOutput) {
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
  bool skip = false;
  std::string name = CurrentOutputName;
  while (!GetCancel() && !skip && FileExists(name)) {
    TArlFileExists query{name};
    OnFileExists(this, query);
    skip = query.Skip;
    if (skip || query.NewName.empty() || SameTextAscii(query.NewName, name)) break;
    name = std::move(query.NewName);
  }
  if (skip || GetCancel()) return false;
  struct stat st {};
  if (::lstat(name.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      DoError(name, "", errWritingFile);
      return false;
    }
    if (!(st.st_mode & S_IWUSR)) ::chmod(name.c_str(), st.st_mode | S_IWUSR);
  }
  CurrentOutputName = name;
  ++FileIndex;
  return true;
}

bool TUnBase::OpenOutput(const std::string& ItemName, const std::string& FileName) {
  LastWrittenCR = false;
  switch (OutputMode) {
    case omHandle:
    case omAppend: {
      const std::string folder = FolderOf(FileName);
      if (!folder.empty()) ForceDirectories(folder);
      OutHandle = OutputMode == omAppend ? OpenExistingForAppend(this, FileName)
                                         : OpenOutputFile(this, FileName, false);
      return OutHandle != kInvalidHandle;
    }
    case omMemory: {
      if (!OutMemoryStream) {
        DoError(ItemName, "", errNoMemoryStream);
        return false;
      }
      OutMemoryStream->Seek(0, soEnd);
      OutMemoryStart = OutMemoryStream->Position();
      TDecompRecord record;
      record.Start = static_cast<uint32_t>(OutMemoryStart);
      record.Name = ItemName;
      OutMemoryStream->AddRecord(record);
      return true;
    }
    case omFileStream: {
      const std::string folder = FolderOf(FileName);
      if (!folder.empty()) ForceDirectories(folder);
      struct stat st {};
      if (::stat(FileName.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR))
        ::chmod(FileName.c_str(), st.st_mode | S_IWUSR);
      int32_t error = 0;
      OutFileStream = std::make_unique<TFileStream32>(FileName, fmCreate, error);
      if (error != 0) {
        OutFileStream.reset();
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
      bool closed = true;
      if (OutputMode == omFileStream) {
        closed = !OutFileStream || OutFileStream->Close();
        OutFileStream.reset();
      } else if (OutHandle != kInvalidHandle) {
        closed = FileClose(OutHandle);
        OutHandle = kInvalidHandle;
      }
      if (!closed) DoError(FileName, "", errClosingFile);
      SetFileWriteTime(FileName, ItemDate(StoredDate));  // a date that cannot be set is not an error
      if (RestoreAttributes && Attributes != faArchive && (Attributes & faReadOnly) &&
          !(Attributes & faDirectory)) {
        struct stat st {};
        if (::stat(FileName.c_str(), &st) == 0)
          ::chmod(FileName.c_str(), st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH));
      }
      break;
    }
    case omMemory:
      if (OutMemoryStream && !OutMemoryStream->Records.empty()) {
        const int64_t size = OutMemoryStream->Position() - OutMemoryStart;
        OutMemoryStream->Records.back().Size = static_cast<uint32_t>(std::max<int64_t>(size, 0));
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
  bool ok;
  if (Kind == ckCrc16) {
    const auto s = static_cast<uint16_t>(Stored);
    ok = s == Crc16Reg || s == static_cast<uint16_t>(~Crc16Reg);
  } else {
    ok = Stored == Crc32Reg || Stored == ~Crc32Reg;
  }
  const std::string& name = CurrentOutputName.empty() ? Item.Name : CurrentOutputName;
  if (OnEnd)
    OnEnd(this, name, ok);
  else if (!ok && OnError)
    DoError(name, "", errCrcFailed);
  return ok;
}

bool TUnBase::VerifyPassword(TStream32& Stream, int64_t Position) {
  uint8_t header[kEncryptionHeaderSize];
  bool read = false;
  try {
    read = Stream.Seek(Position, soBeginning) == Position &&
           Stream.Read(header, kEncryptionHeaderSize) == kEncryptionHeaderSize;
  } catch (const EStreamError&) {
    read = false;
  }
  if (!read) {
    DoError(Item.Name, "", errReadingFile);
    return false;
  }
  // CheckPassword may decipher its copy in place: each candidate gets a fresh one.
  auto passes = [&]() {
    uint8_t copy[kEncryptionHeaderSize];
    std::copy(header, header + kEncryptionHeaderSize, copy);
    return CheckPassword(copy);
  };
  if (passes()) return true;
  for (const auto& candidate : AcceptedPasswords) {
    Password = candidate;
    if (passes()) return true;
  }
  if (!OnGetPassword) {
    DoError(CurrentOutputName, "OnGetPassword", errEventNotAssigned);
    return false;
  }
  const std::string& name = CurrentOutputName.empty() ? Item.Name : CurrentOutputName;
  for (int32_t attempt = 0; attempt < PasswordAttempts; ++attempt) {
    if (GetCancel()) return false;
    TArlPasswordQuery query{name, Password};
    {
      Timer.Pause();
      OnGetPassword(this, query);
      Timer.Resume();
    }
    Password = std::move(query.Password);
    if (!query.Continue) {
      DoError(name, "", errInvalidPassword);
      return false;
    }
    if (passes()) {
      AcceptedPasswords.erase(std::remove(AcceptedPasswords.begin(), AcceptedPasswords.end(), Password),
                              AcceptedPasswords.end());
      AcceptedPasswords.insert(AcceptedPasswords.begin(), Password);
      return true;
    }
    Password.clear();
    DoError(name, "", errInvalidPassword);
  }
  return false;
}

int64_t TUnBase::CopyStored(TStream32* In, int64_t Size, int CrcKind, bool Decrypt) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::clamp<int64_t>(Size, 1, kCopyBlock)));
  int64_t remaining = std::max<int64_t>(Size, 0);
  while (remaining > 0 && !GetCancel()) {
    const auto want = static_cast<int32_t>(std::min<int64_t>(remaining, kCopyBlock));
    const int32_t n = ReadBlock(In, buf.data(), want, ckNone, Decrypt);
    if (n <= 0) break;
    WriteBlock(buf.data(), n, true, CrcKind);
    remaining -= n;
    BytesToDo = std::max<int64_t>(BytesToDo - n, 0);
    UpdateProgress(Size - remaining, TotalPacked, Size);
  }
  return remaining;
}
