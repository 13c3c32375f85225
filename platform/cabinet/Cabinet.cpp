// cabinet.so: the cabinet-decompression library of CabinetApi.h on libmspack.
//
// libmspack reads the cabinet and decodes its folders (stored, MSZIP, Quantum, LZX); this file adapts
// it to the contract: every file and memory operation goes through the routines the caller gave to
// FDICreate, decoded data is written on the handle that the copy-file notification answered, and a set
// of cabinets is followed by asking the caller for the next cabinet when a file's folder runs on into
// it.
//
// What is checked before libmspack sees a cabinet: the 36-byte header's signature and version, and, for
// a cabinet that continues a set, the folder index of each file entry (read through a bounded reader),
// so that files begun in an earlier cabinet are announced as partial instead of decoded without their
// start. A next cabinet must carry the same set id and the next index. A file that cannot be decoded is
// reported as failed on its close notification and the copy goes on with the next file; a failed write
// of the caller ends the copy.
#include <mspack.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <list>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/cabinet/CabinetApi.h"

namespace {

// Sizes the cabinet format fixes.
constexpr uint32_t kHeaderSize = 36;     // the fixed part of the cabinet header
constexpr uint32_t kFileEntrySize = 16;  // the fixed part of a file entry
constexpr uint32_t kMaxNameBytes = 256;  // a stored name, NUL included
constexpr uint16_t kFlagPrevious = 0x0001;
constexpr uint16_t kFlagNext = 0x0002;
constexpr uint16_t kFlagReserve = 0x0004;
constexpr uint16_t kFolderFromPrevious = 0xFFFD;
constexpr uint16_t kFolderToNext = 0xFFFE;
constexpr uint16_t kFolderPreviousAndNext = 0xFFFF;
constexpr uint8_t kVersionMajor = 1;

struct TContext;

// One file that libmspack opened through the caller's routines. A borrowed handle (the output handle of
// a copy-file answer) is not closed here: the caller closes it on the close-file notification.
struct TCabFile {
  TContext* Context;
  intptr_t Handle;
  bool Borrowed;
};

struct TContext {
  mspack_system System;
  TCabAlloc Alloc;
  TCabFree Free;
  TCabOpen Open;
  TCabRead Read;
  TCabWrite Write;
  TCabClose Close;
  TCabSeek Seek;
  TCabErrorRecord* Error;
  mscab_decompressor* Decompressor = nullptr;
  // The output of the file being decoded: libmspack opens it by this marker name.
  const char* OutputMarker = "<cabinet output>";
  intptr_t OutputHandle = 0;
  bool WriteFailed = false;
};

// The context whose memory libmspack frees (its free routine carries none); set by every entry point
// for its duration, so that a notification handler may work with another context meanwhile. The
// variable lives in the static TLS block: dynamic TLS of a library that is unloaded again leaves stale
// entries that the leak checker of the sanitized test build trips over when the process ends.
thread_local TContext* CurrentContext __attribute__((tls_model("initial-exec"))) = nullptr;

struct TCurrent {
  explicit TCurrent(TContext* C) : Saved(CurrentContext) { CurrentContext = C; }
  ~TCurrent() { CurrentContext = Saved; }
  TContext* Saved;
};

void SetError(TContext* C, int32_t Code, int32_t Type) {
  if (!C->Error) return;
  C->Error->OperationCode = Code;
  C->Error->ErrorType = Type;
  C->Error->ErrorFlag = Code != CAB_ERROR_NONE;
}

// --- The mspack_system over the caller's routines ---------------------------------------------------------

// libmspack hands its decompressors copies of the system structure, so the self pointer of a call does
// not always lead to the context: the context of the running entry point is taken instead.
mspack_file* SysOpen(mspack_system*, const char* Name, int Mode) {
  TContext* C = CurrentContext;
  if (!C) return nullptr;
  if (Name == C->OutputMarker) {
    if (Mode != MSPACK_SYS_OPEN_WRITE) return nullptr;
    return reinterpret_cast<mspack_file*>(new TCabFile{C, C->OutputHandle, true});
  }
  if (Mode != MSPACK_SYS_OPEN_READ) return nullptr;  // the library only reads cabinets
  const intptr_t H = C->Open(Name, CAB_OPEN_READ | CAB_OPEN_BINARY, 0);
  if (H == -1) return nullptr;
  return reinterpret_cast<mspack_file*>(new TCabFile{C, H, false});
}

void SysClose(mspack_file* File) {
  auto* F = reinterpret_cast<TCabFile*>(File);
  if (!F) return;
  if (!F->Borrowed) F->Context->Close(F->Handle);
  delete F;
}

int SysRead(mspack_file* File, void* Buffer, int Bytes) {
  auto* F = reinterpret_cast<TCabFile*>(File);
  if (!F || Bytes < 0) return -1;
  if (F->Borrowed) return -1;
  return static_cast<int>(F->Context->Read(F->Handle, Buffer, static_cast<uint32_t>(Bytes)));
}

int SysWrite(mspack_file* File, void* Buffer, int Bytes) {
  auto* F = reinterpret_cast<TCabFile*>(File);
  if (!F || Bytes < 0) return -1;
  if (!F->Borrowed) return -1;  // cabinets are never written
  const uint32_t N = F->Context->Write(F->Handle, Buffer, static_cast<uint32_t>(Bytes));
  if (N != static_cast<uint32_t>(Bytes)) {
    F->Context->WriteFailed = true;
    return -1;
  }
  return Bytes;
}

int SysSeek(mspack_file* File, off_t Offset, int Mode) {
  auto* F = reinterpret_cast<TCabFile*>(File);
  if (!F || F->Borrowed) return -1;
  return F->Context->Seek(F->Handle, Offset, Mode) < 0 ? -1 : 0;
}

off_t SysTell(mspack_file* File) {
  auto* F = reinterpret_cast<TCabFile*>(File);
  if (!F || F->Borrowed) return -1;
  return static_cast<off_t>(F->Context->Seek(F->Handle, 0, 1));
}

void SysMessage(mspack_file*, const char*, ...) {}  // the caller hears of problems through results

void* SysAlloc(mspack_system*, size_t Bytes) {
  TContext* C = CurrentContext;
  if (!C || Bytes == 0 || Bytes > UINT32_MAX) return nullptr;
  return C->Alloc(static_cast<uint32_t>(Bytes));
}

void SysFree(void* Block) {
  if (Block && CurrentContext) CurrentContext->Free(Block);
}

void SysCopy(void* Source, void* Dest, size_t Bytes) { std::memmove(Dest, Source, Bytes); }

// --- Reading the cabinet header ourselves --------------------------------------------------------------

uint16_t Le16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t Le32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}

// Reads through the caller's routines in 4096-byte blocks; a short read is the end of the data.
class TReader {
 public:
  TReader(TContext* C, intptr_t H) : C_(C), H_(H) {}
  bool SeekTo(uint32_t Pos) {
    Fill_ = Next_ = 0;
    return C_->Seek(H_, Pos, 0) == Pos;
  }
  bool Get(uint8_t& B) {
    if (Next_ == Fill_) {
      Fill_ = C_->Read(H_, Buf_, sizeof Buf_);
      Next_ = 0;
      if (Fill_ == 0 || Fill_ > sizeof Buf_) return Fill_ = 0, false;
    }
    B = Buf_[Next_++];
    return true;
  }
  bool Bytes(uint8_t* Out, uint32_t N) {
    for (uint32_t I = 0; I < N; ++I)
      if (!Get(Out[I])) return false;
    return true;
  }
  // A NUL-terminated string of at most kMaxNameBytes bytes with its NUL.
  bool String(std::string& S) {
    S.clear();
    uint8_t B;
    while (Get(B)) {
      if (B == 0) return true;
      if (S.size() + 1 >= kMaxNameBytes) return false;
      S.push_back(static_cast<char>(B));
    }
    return false;
  }

 private:
  TContext* C_;
  intptr_t H_;
  uint8_t Buf_[4096];
  uint32_t Fill_ = 0, Next_ = 0;
};

struct THeader {
  uint32_t Length = 0;
  uint32_t FilesOffset = 0;
  uint16_t Folders = 0, Files = 0, Flags = 0, SetId = 0, Index = 0;
  uint16_t HeaderReserve = 0;
  uint8_t FolderReserve = 0, DataReserve = 0;
};

// Reads the fixed header at the start of H. The answer is CAB_ERROR_NONE or why it is not a cabinet.
int32_t ReadHeader(TReader& R, THeader& Out) {
  uint8_t B[kHeaderSize];
  if (!R.SeekTo(0) || !R.Bytes(B, kHeaderSize)) return CAB_ERROR_NOT_A_CABINET;
  if (std::memcmp(B, "MSCF", 4) != 0) return CAB_ERROR_NOT_A_CABINET;
  if (B[25] != kVersionMajor) return CAB_ERROR_UNKNOWN_VERSION;
  Out.Length = Le32(B + 8);
  Out.FilesOffset = Le32(B + 16);
  Out.Folders = Le16(B + 26);
  Out.Files = Le16(B + 28);
  Out.Flags = Le16(B + 30);
  Out.SetId = Le16(B + 32);
  Out.Index = Le16(B + 34);
  if (Out.Flags & kFlagReserve) {
    uint8_t Rsv[4];
    if (!R.Bytes(Rsv, 4)) return CAB_ERROR_CORRUPT_CABINET;
    Out.HeaderReserve = Le16(Rsv);
    Out.FolderReserve = Rsv[2];
    Out.DataReserve = Rsv[3];
  }
  return CAB_ERROR_NONE;
}

// What a cabinet's own file entry says of a file.
struct TFileEntry {
  uint32_t Length = 0;
  uint32_t Offset = 0;  // in its folder's uncompressed data
  uint16_t Folder = 0;  // a folder index, or one of the continuation marks
};

// The header and every file entry of the cabinet Name; false when they cannot all be read.
bool ReadFileEntries(TContext* C, const std::string& Name, std::vector<TFileEntry>& Out) {
  const intptr_t Handle = C->Open(Name.c_str(), CAB_OPEN_READ | CAB_OPEN_BINARY, 0);
  if (Handle == -1) return false;
  TReader R(C, Handle);
  THeader H;
  bool Ok = ReadHeader(R, H) == CAB_ERROR_NONE && R.SeekTo(H.FilesOffset);
  std::string Skip;
  for (uint32_t I = 0; Ok && I < H.Files; ++I) {
    uint8_t E[kFileEntrySize];
    Ok = R.Bytes(E, kFileEntrySize) && R.String(Skip);
    if (Ok) Out.push_back({Le32(E), Le32(E + 4), Le16(E + 8)});
  }
  C->Close(Handle);
  return Ok;
}

int32_t MapOpenError(int Mspack) {
  switch (Mspack) {
    case MSPACK_ERR_OPEN:
      return CAB_ERROR_CABINET_NOT_FOUND;
    case MSPACK_ERR_SIGNATURE:
      return CAB_ERROR_NOT_A_CABINET;
    case MSPACK_ERR_NOMEMORY:
      return CAB_ERROR_ALLOC_FAIL;
    default:
      return CAB_ERROR_CORRUPT_CABINET;
  }
}

uint16_t DosDate(const mscabd_file* F) {
  const int Y = std::clamp(F->date_y, 1980, 2107);
  return static_cast<uint16_t>(((Y - 1980) << 9) | ((F->date_m & 0x0F) << 5) | (F->date_d & 0x1F));
}
uint16_t DosTime(const mscabd_file* F) {
  return static_cast<uint16_t>(((F->time_h & 0x1F) << 11) | ((F->time_m & 0x3F) << 5) |
                               ((F->time_s & 0x3F) / 2));
}

std::string JoinFolder(const char* Folder, const char* Name) {
  std::string S = Folder ? Folder : "";
  if (!S.empty() && S.back() != '/') S.push_back('/');
  return S + (Name ? Name : "");
}

// The copy of one cabinet (and the cabinets its folders run on into).
class TCopy {
 public:
  TCopy(TContext* C, TCabNotify Notify, void* User) : C_(C), Notify_(Notify), User_(User) {}
  ~TCopy() {
    if (First_) C_->Decompressor->close(C_->Decompressor, First_);
  }
  int32_t Run(const char* Name, const char* Folder);

 private:
  bool SendCabinetInfo(const mscabd_cabinet* Cab, const std::string& Folder);
  bool OpenNext();
  // Reads the file entries of the cabinet just opened and keeps those that run on into the next one.
  bool NoteContinuing(const std::string& FullName, std::vector<TFileEntry>& Entries);
  // The last folder of the cabinets opened so far (kept: a cabinet may have thousands of folders).
  const mscabd_folder* LastFolderOfSet() {
    if (!LastFolderCache_ || LastFolderCache_->next) {
      const mscabd_folder* Fo = LastFolderCache_ ? LastFolderCache_ : First_->folders;
      while (Fo && Fo->next) Fo = Fo->next;
      LastFolderCache_ = Fo;
    }
    return LastFolderCache_;
  }
  bool Continues(const mscabd_file* F) const { return Continuing_.count(Key(F->offset, F->length)) != 0; }
  static uint64_t Key(uint32_t Offset, uint32_t Length) {
    return (static_cast<uint64_t>(Offset) << 32) | Length;
  }
  intptr_t Send(int32_t Type, TCabNotification& N) {
    N.User = User_;
    return Notify_(Type, &N);
  }
  bool Fail(int32_t Code, int32_t Type = 0) {
    SetError(C_, Code, Type);
    return false;
  }

  TContext* C_;
  TCabNotify Notify_;
  void* User_;
  mscabd_cabinet* First_ = nullptr;
  mscabd_cabinet* Last_ = nullptr;
  std::string LastFolder_;
  std::unordered_set<uint64_t> Continuing_;  // files (offset, length) of the last cabinet that run on
  const mscabd_folder* LastFolderCache_ = nullptr;
  // The names the cabinets were opened by: libmspack keeps using them until the set is closed.
  std::list<std::string> Names_;
};

bool TCopy::NoteContinuing(const std::string& FullName, std::vector<TFileEntry>& Entries) {
  Continuing_.clear();
  if (!ReadFileEntries(C_, FullName, Entries)) return Fail(CAB_ERROR_CORRUPT_CABINET);
  for (const TFileEntry& E : Entries)
    if (E.Folder == kFolderToNext || E.Folder == kFolderPreviousAndNext)
      Continuing_.insert(Key(E.Offset, E.Length));
  return true;
}

bool TCopy::SendCabinetInfo(const mscabd_cabinet* Cab, const std::string& Folder) {
  TCabNotification N{};
  N.Name1 = Cab->nextname ? Cab->nextname : "";
  N.Name2 = Cab->nextinfo ? Cab->nextinfo : "";
  N.Name3 = Folder.c_str();
  N.SetId = Cab->set_id;
  N.CabinetIndex = Cab->set_index;
  if (Send(CAB_NOTIFY_CABINET_INFO, N) == -1) return Fail(CAB_ERROR_USER_ABORT);
  return true;
}

// Asks for the cabinet after Last and appends it to the set.
bool TCopy::OpenNext() {
  std::vector<char> NextName(CAB_MAX_NAME), NextFolder(CAB_MAX_NAME);
  std::strncpy(NextName.data(), Last_->nextname ? Last_->nextname : "", CAB_MAX_NAME - 1);
  std::strncpy(NextFolder.data(), LastFolder_.c_str(), CAB_MAX_NAME - 1);
  TCabNotification N{};
  N.Name1 = Last_->nextname ? Last_->nextname : "";
  N.Name2 = Last_->nextinfo ? Last_->nextinfo : "";
  N.Name3 = LastFolder_.c_str();
  N.SetId = Last_->set_id;
  N.CabinetIndex = static_cast<uint16_t>(Last_->set_index + 1);
  N.NextName = NextName.data();
  N.NextFolder = NextFolder.data();
  if (Send(CAB_NOTIFY_NEXT_CABINET, N) == -1) return Fail(CAB_ERROR_USER_ABORT);
  NextName.back() = NextFolder.back() = '\0';  // whatever the answer wrote, the strings end here
  const std::string Folder = NextFolder.data();
  const std::string& Full = Names_.emplace_back(JoinFolder(Folder.c_str(), NextName.data()));
  mscab_decompressor* D = C_->Decompressor;
  mscabd_cabinet* Next = D->open(D, Full.c_str());
  if (!Next) {
    const int E = D->last_error(D);
    return Fail(E == MSPACK_ERR_OPEN ? CAB_ERROR_CABINET_NOT_FOUND : MapOpenError(E), E);
  }
  if (Next->set_id != Last_->set_id || Next->set_index != Last_->set_index + 1 ||
      !(Next->flags & kFlagPrevious)) {
    D->close(D, Next);
    return Fail(CAB_ERROR_WRONG_CABINET);
  }
  if (D->append(D, Last_, Next) != MSPACK_ERR_OK) {
    const int E = D->last_error(D);
    D->close(D, Next);
    return Fail(CAB_ERROR_WRONG_CABINET, E);
  }
  Last_ = Next;
  LastFolder_ = Folder;
  std::vector<TFileEntry> Entries;
  return NoteContinuing(Full, Entries) && SendCabinetInfo(Next, Folder);
}

int32_t TCopy::Run(const char* Name, const char* Folder) {
  mscab_decompressor* D = C_->Decompressor;
  const std::string& Full = Names_.emplace_back(JoinFolder(Folder, Name));
  First_ = Last_ = D->open(D, Full.c_str());
  if (!First_) {
    const int E = D->last_error(D);
    return Fail(MapOpenError(E), E);
  }
  LastFolder_ = Folder ? Folder : "";
  if (!SendCabinetInfo(First_, LastFolder_)) return 0;

  // Files begun in an earlier cabinet: their data cannot be decoded from this one.
  std::vector<TFileEntry> Entries;
  if (!NoteContinuing(Full, Entries)) return 0;
  std::unordered_set<const mscabd_file*> Partial;
  size_t I = 0;
  for (const mscabd_file* F = First_->files; F && I < Entries.size(); F = F->next, ++I)
    if (Entries[I].Folder == kFolderFromPrevious || Entries[I].Folder == kFolderPreviousAndNext)
      Partial.insert(F);

  for (mscabd_file* F = First_->files; F; F = F->next) {
    TCabNotification N{};
    N.Name1 = F->filename;
    N.Size = static_cast<int32_t>(std::min<unsigned>(F->length, INT32_MAX));
    N.Date = DosDate(F);
    N.Time = DosTime(F);
    N.Attributes = static_cast<uint16_t>(F->attribs & 0xFF);
    if (Partial.count(F)) {
      if (Send(CAB_NOTIFY_PARTIAL_FILE, N) == -1) return Fail(CAB_ERROR_USER_ABORT);
      continue;
    }
    const intptr_t Answer = Send(CAB_NOTIFY_COPY_FILE, N);
    if (Answer == -1) return Fail(CAB_ERROR_USER_ABORT);
    if (Answer == 0) continue;
    // A file of the set's last folder may need the data of the next cabinets: one that runs on through
    // several of them has each one appended before it is decoded, also when no file before it in this
    // copy opened the cabinets in between. Each cabinet appended carries the next set index, so this ends.
    while (F->folder == LastFolderOfSet() && (Last_->flags & kFlagNext) && Continues(F)) {
      if (!OpenNext()) {
        // The file cannot be completed: its handle is closed as failed, and the copy ends.
        TCabNotification Close = N;
        Close.Handle = Answer;
        Close.Failed = 1;
        Send(CAB_NOTIFY_CLOSE_FILE, Close);
        return 0;
      }
    }
    C_->OutputHandle = Answer;
    C_->WriteFailed = false;
    const int R = D->extract(D, F, C_->OutputMarker);
    TCabNotification Close = N;
    Close.Handle = Answer;
    Close.Failed = R != MSPACK_ERR_OK;
    if (Send(CAB_NOTIFY_CLOSE_FILE, Close) == -1) return Fail(CAB_ERROR_USER_ABORT);
    if (C_->WriteFailed || R == MSPACK_ERR_WRITE) return Fail(CAB_ERROR_TARGET_FILE, R);
    if (R == MSPACK_ERR_NOMEMORY) return Fail(CAB_ERROR_ALLOC_FAIL, R);
  }
  return 1;
}

}  // namespace

extern "C" {

void* FDICreate(TCabAlloc Alloc, TCabFree Free, TCabOpen Open, TCabRead Read, TCabWrite Write,
                TCabClose Close, TCabSeek Seek, int32_t, TCabErrorRecord* Error) {
  if (!Alloc || !Free || !Open || !Read || !Write || !Close || !Seek) {
    if (Error) *Error = {CAB_ERROR_ALLOC_FAIL, 0, 1};
    return nullptr;
  }
  auto* C = new (std::nothrow) TContext{};
  if (!C) {
    if (Error) *Error = {CAB_ERROR_ALLOC_FAIL, 0, 1};
    return nullptr;
  }
  C->System = mspack_system{SysOpen,    SysClose, SysRead, SysWrite, SysSeek, SysTell,
                            SysMessage, SysAlloc, SysFree, SysCopy,  nullptr};
  C->Alloc = Alloc;
  C->Free = Free;
  C->Open = Open;
  C->Read = Read;
  C->Write = Write;
  C->Close = Close;
  C->Seek = Seek;
  C->Error = Error;
  TCurrent Guard(C);
  C->Decompressor = mspack_create_cab_decompressor(&C->System);
  if (!C->Decompressor) {
    SetError(C, CAB_ERROR_ALLOC_FAIL, 0);
    delete C;
    return nullptr;
  }
  SetError(C, CAB_ERROR_NONE, 0);
  return C;
}

int32_t FDIIsCabinet(void* Context, intptr_t Handle, TCabinetInfo* Info) {
  auto* C = static_cast<TContext*>(Context);
  if (!C || !Info) return 0;
  TCurrent Guard(C);
  TReader R(C, Handle);
  THeader H;
  const int32_t E = ReadHeader(R, H);
  if (E != CAB_ERROR_NONE) {
    SetError(C, E, 0);
    return 0;
  }
  *Info = TCabinetInfo{};
  Info->Length = static_cast<int32_t>(std::min<uint32_t>(H.Length, INT32_MAX));
  Info->FolderCount = H.Folders;
  Info->FileCount = H.Files;
  Info->SetId = H.SetId;
  Info->CabinetIndex = H.Index;
  Info->HasReserve = (H.Flags & kFlagReserve) != 0;
  Info->HasPrevious = (H.Flags & kFlagPrevious) != 0;
  Info->HasNext = (H.Flags & kFlagNext) != 0;
  SetError(C, CAB_ERROR_NONE, 0);
  return 1;
}

int32_t FDICopy(void* Context, const char* Name, const char* Folder, int32_t, TCabNotify Notify, void*,
                void* User) {
  auto* C = static_cast<TContext*>(Context);
  if (!C) return 0;
  TCurrent Guard(C);
  SetError(C, CAB_ERROR_NONE, 0);
  if (!Name || !Notify) {
    SetError(C, CAB_ERROR_CABINET_NOT_FOUND, 0);
    return 0;
  }
  TCopy Copy(C, Notify, User);
  return Copy.Run(Name, Folder);
}

int32_t FDIDestroy(void* Context) {
  auto* C = static_cast<TContext*>(Context);
  if (!C) return 0;
  {
    TCurrent Guard(C);
    mspack_destroy_cab_decompressor(C->Decompressor);
  }
  delete C;
  return 1;
}

}  // extern "C"
