// UnRar3.so: the entry points of UnRarApi.h. The block walk (RarBlocks) reads the headers of every volume
// itself, so that flags, sizes, times and the parts of a split item are known exactly; an item's data is
// decoded by libarchive, which is handed a small archive of that one item: a main header, the item's
// header with the split flags cleared and the packed size of all its parts, the parts' data read from
// their volumes, and an end block. The decoded data's CRC is checked here against the stored one, for
// every method (libarchive does not check stored items).
//
// What is refused before libarchive sees any data: encrypted items (libarchive would decode the
// ciphertext as if it were plain), items of a solid archive after its first, and methods other than
// stored older than RAR 2.9. Output is held to the item's declared size: more data than the header
// promised is an error, not written.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "platform/unrar/RarBlocks.h"
#include "platform/unrar/UnRarApi.h"

namespace {

using namespace unrar;

constexpr int kDllVersion = 9;
constexpr size_t kReadChunk = 65536;
constexpr int kVolumeAsks = 3;  // a missing volume is asked for at most this often

// One part of an item's packed data.
struct TPart {
  std::string Volume;
  int64_t Pos = 0;
  uint64_t Size = 0;
};

struct TArchive {
  uint32_t Mode = RAR_OM_LIST;
  TVolume Volume;
  uint16_t MainFlags = 0;
  int64_t Pos = 0;
  bool SeenFirstFile = false;
  TRarCallback Callback = nullptr;
  void* UserData = nullptr;
  std::string Password;  // kept; never used to decrypt
  bool HaveItem = false;
  TFileHeader Item;
  bool LastSplitAfter = false;
  // The volumes this handle has opened: a set never comes back to one of them (an answer that names a
  // volume again would otherwise walk in a circle).
  std::set<std::pair<uint64_t, uint64_t>> Seen;
};

// --- Volumes -----------------------------------------------------------------------------------------------

// Opens the volume after the current one, asking the callback first; false when there is none or it is
// refused. The walk then stands at its first block.
bool SwitchVolume(TArchive& A) {
  std::string Next = NextVolumeFileName(A.Volume.Name, (A.MainFlags & mfNewNumbering) != 0);
  if (Next.empty()) return false;
  for (int Ask = 0; Ask <= kVolumeAsks; ++Ask) {
    struct stat St {};
    const bool Exists = ::stat(Next.c_str(), &St) == 0 && S_ISREG(St.st_mode);
    if (A.Callback) {
      std::vector<char> Buf(RAR_VOLUME_NAME_SIZE, '\0');
      std::strncpy(Buf.data(), Next.c_str(), RAR_VOLUME_NAME_SIZE - 1);
      const int Answer = A.Callback(RAR_MSG_CHANGE_VOLUME, A.UserData, reinterpret_cast<intptr_t>(Buf.data()),
                                    Exists ? 1 : 0);
      if (Answer == -1) return false;
      Buf.back() = '\0';
      if (!Exists) {
        Next = Buf.data();
        continue;  // the answered name is checked again
      }
    } else if (!Exists) {
      return false;
    }
    TVolume V;
    if (!V.Open(Next) || A.Seen.count({V.Device, V.Inode})) return false;
    uint16_t Flags = 0;
    int64_t Pos = 0;
    if (ReadArchiveStart(V, Flags, Pos) != orOk || !(Flags & mfVolume)) return false;
    A.Volume.Close();
    if (!A.Volume.Open(Next)) return false;
    A.MainFlags = Flags;
    A.Pos = Pos;
    A.Seen.insert({A.Volume.Device, A.Volume.Inode});
    return true;
  }
  return false;
}

// --- Header records -----------------------------------------------------------------------------------------

// Copies Name into a field of Size bytes, cut at a character boundary.
void CopyName(char* Field, size_t Size, const std::string& Name) {
  size_t N = std::min(Name.size(), Size - 1);
  while (N > 0 && N < Name.size() && (static_cast<uint8_t>(Name[N]) & 0xC0) == 0x80) --N;
  std::memcpy(Field, Name.data(), N);
  Field[N] = '\0';
}

uint32_t ItemFlags(const TFileHeader& H) {
  uint32_t F = H.Flags & (RAR_FLAG_CONTINUED | RAR_FLAG_CONTINUES | RAR_FLAG_ENCRYPTED | RAR_FLAG_SOLID);
  if (H.OemName) F |= RAR_FLAG_OEM_NAME;
  return F;
}

uint32_t ItemAttr(const TFileHeader& H) {
  if (H.IsFolder()) return RAR_ATTR_FOLDER;
  // DOS and Windows attributes are kept (without a folder bit); other systems' modes mean nothing here.
  return H.HostOs == kHostUnix ? 0x20 : (H.Attr & 0x27);
}

int ReadNext(TArchive& A) {
  A.HaveItem = false;
  for (;;) {
    bool NextVolume = false, EndBlock = false;
    TFileHeader H;
    const TBlockResult R = NextFileHeader(A.Volume, A.Pos, H, NextVolume, EndBlock);
    if (R == brBroken) return RAR_E_BAD_DATA;
    if (R == brFile) {
      A.Item = std::move(H);
      A.HaveItem = true;
      A.LastSplitAfter = (A.Item.Flags & ffSplitAfter) != 0;
      return RAR_SUCCESS;
    }
    // The end of a volume: a set goes on when its end block says so, or, without an end block, when
    // the last item runs on.
    const bool More = (A.MainFlags & mfVolume) && (EndBlock ? NextVolume : A.LastSplitAfter);
    if (!More || !SwitchVolume(A)) return RAR_END_ARCHIVE;
  }
}

// --- Decoding one item through libarchive ----------------------------------------------------------------

// The archive handed to libarchive: Prefix, then the parts' data, then Suffix.
struct TSource {
  std::vector<uint8_t> Prefix, Suffix;
  std::vector<TPart> Parts;
  size_t Stage = 0;  // 0 prefix, 1..n parts, n+1 suffix, then the end
  TVolume Current;
  uint64_t Offset = 0;
  std::vector<uint8_t> Buf = std::vector<uint8_t>(kReadChunk);
  bool ShortRead = false;
};

la_ssize_t SourceRead(struct archive*, void* Data, const void** Out) {
  auto* S = static_cast<TSource*>(Data);
  for (;;) {
    if (S->Stage == 0) {
      S->Stage = 1;
      *Out = S->Prefix.data();
      return static_cast<la_ssize_t>(S->Prefix.size());
    }
    if (S->Stage <= S->Parts.size()) {
      const TPart& P = S->Parts[S->Stage - 1];
      if (!S->Current.IsOpen()) {
        if (!S->Current.Open(P.Volume)) {
          S->ShortRead = true;
          return -1;
        }
        S->Offset = 0;
      }
      if (S->Offset >= P.Size) {
        S->Current.Close();
        ++S->Stage;
        continue;
      }
      const int64_t Want = static_cast<int64_t>(std::min<uint64_t>(P.Size - S->Offset, kReadChunk));
      const int64_t N = S->Current.ReadSome(P.Pos + static_cast<int64_t>(S->Offset), S->Buf.data(), Want);
      if (N <= 0) {
        S->ShortRead = true;
        return 0;  // the volume ends before the part does
      }
      S->Offset += static_cast<uint64_t>(N);
      *Out = S->Buf.data();
      return N;
    }
    if (S->Stage == S->Parts.size() + 1) {
      ++S->Stage;
      *Out = S->Suffix.data();
      return static_cast<la_ssize_t>(S->Suffix.size());
    }
    return 0;
  }
}

void PutLe32(std::vector<uint8_t>& B, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + i] = static_cast<uint8_t>(V >> (8 * i));
}

// The main header and the item's header in front of its data, an end block after it. The item's header is
// the first part's with the split flags cleared, the packed size of all parts, the CRC of the last part
// (which covers the whole item), and a plain one-letter name: the name plays no part in decoding.
bool BuildSource(const TFileHeader& First, const TFileHeader& Last, uint64_t Packed, TSource& S) {
  static const uint8_t Marker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  std::vector<uint8_t> Main = {0, 0, btMain, 0, 0, 13, 0, 0, 0, 0, 0, 0, 0};
  SetHeaderCrc(Main);
  const std::vector<uint8_t>& Raw = First.Raw;
  uint16_t Flags = static_cast<uint16_t>(First.Flags & ~(ffSplitBefore | ffSplitAfter | ffUnicode));
  const size_t NameAt = kFileHeaderFixed + ((Flags & ffLarge) ? 8 : 0);
  const size_t NameSize = static_cast<size_t>(Raw[26] | (Raw[27] << 8));
  if (NameAt + NameSize > Raw.size()) return false;
  std::vector<uint8_t> Head(Raw.begin(), Raw.begin() + static_cast<std::ptrdiff_t>(NameAt));
  Head.push_back('x');
  Head.insert(Head.end(), Raw.begin() + static_cast<std::ptrdiff_t>(NameAt + NameSize), Raw.end());
  if (Head.size() > UINT16_MAX) return false;
  Head[3] = static_cast<uint8_t>(Flags);
  Head[4] = static_cast<uint8_t>(Flags >> 8);
  Head[5] = static_cast<uint8_t>(Head.size());
  Head[6] = static_cast<uint8_t>(Head.size() >> 8);
  Head[26] = 1;
  Head[27] = 0;
  if (!(Flags & ffLarge) && Packed > UINT32_MAX) return false;
  PutLe32(Head, 7, static_cast<uint32_t>(Packed));
  if (Flags & ffLarge) PutLe32(Head, 32, static_cast<uint32_t>(Packed >> 32));
  PutLe32(Head, 16, Last.FileCrc);
  SetHeaderCrc(Head);
  std::vector<uint8_t> End = {0, 0, btEnd, 0x00, 0x40, 7, 0};
  SetHeaderCrc(End);
  S.Prefix.assign(Marker, Marker + 7);
  S.Prefix.insert(S.Prefix.end(), Main.begin(), Main.end());
  S.Prefix.insert(S.Prefix.end(), Head.begin(), Head.end());
  S.Suffix = End;
  return true;
}

// Collects the parts of the current item, moving through the further volumes of a split item.
int CollectParts(TArchive& A, std::vector<TPart>& Parts, TFileHeader& Last, uint64_t& Packed) {
  Last = A.Item;
  Parts.push_back({A.Volume.Name, A.Item.DataPos, A.Item.PackSize});
  Packed = A.Item.PackSize;
  while (Last.Flags & ffSplitAfter) {
    if (!SwitchVolume(A)) return RAR_E_EOPEN;
    bool NextVolume = false, EndBlock = false;
    TFileHeader H;
    const TBlockResult R = NextFileHeader(A.Volume, A.Pos, H, NextVolume, EndBlock);
    if (R == brBroken) return RAR_E_BAD_DATA;
    if (R != brFile || !(H.Flags & ffSplitBefore) || H.Name != A.Item.Name) return RAR_E_BAD_ARCHIVE;
    Parts.push_back({A.Volume.Name, H.DataPos, H.PackSize});
    Packed += H.PackSize;
    Last = std::move(H);
  }
  A.LastSplitAfter = false;
  return RAR_SUCCESS;
}

// Where decoded data goes: the callback (testing) or a file (extracting), never past Limit bytes.
struct TSink {
  TArchive* A;
  int Fd = -1;
  uint64_t Limit = 0;
  uint64_t Written = 0;
  uint32_t Crc = 0;  // of everything put, checked against the item's stored CRC at the end
  int Put(const void* Data, size_t Size) {
    if (Written + Size > Limit) return RAR_E_BAD_DATA;
    Crc = static_cast<uint32_t>(::crc32(Crc, static_cast<const Bytef*>(Data), static_cast<uInt>(Size)));
    if (Fd >= 0) {
      size_t Done = 0;
      while (Done < Size) {
        const ssize_t N = ::write(Fd, static_cast<const char*>(Data) + Done, Size - Done);
        if (N <= 0) return RAR_E_EWRITE;
        Done += static_cast<size_t>(N);
      }
    }
    Written += Size;
    if (A->Callback && Size > 0 &&
        A->Callback(RAR_MSG_PROCESS_DATA, A->UserData, reinterpret_cast<intptr_t>(Data),
                    static_cast<intptr_t>(Size)) == -1)
      return RAR_E_ABORTED;
    return RAR_SUCCESS;
  }
};

int Decode(TSource& S, TSink& Sink, uint32_t StoredCrc) {
  struct archive* Ar = archive_read_new();
  if (!Ar) return RAR_E_NO_MEMORY;
  std::unique_ptr<struct archive, int (*)(struct archive*)> Guard(Ar, archive_read_free);
  archive_read_support_format_rar(Ar);
  if (archive_read_open(Ar, &S, nullptr, SourceRead, nullptr) != ARCHIVE_OK) return RAR_E_BAD_DATA;
  struct archive_entry* Entry = nullptr;
  if (archive_read_next_header(Ar, &Entry) != ARCHIVE_OK) return S.ShortRead ? RAR_E_EREAD : RAR_E_BAD_DATA;
  if (archive_entry_filetype(Entry) == AE_IFLNK) {
    // A link written on Unix: its data is the target, which libarchive hands over as the link's name.
    const char* Target = archive_entry_symlink(Entry);
    const size_t Size = Target ? std::strlen(Target) : 0;
    if (const int E = Sink.Put(Target, Size)) return E;
    return Sink.Written == Sink.Limit && Sink.Crc == StoredCrc ? RAR_SUCCESS : RAR_E_BAD_DATA;
  }
  const void* Block = nullptr;
  size_t Size = 0;
  la_int64_t Offset = 0;
  for (;;) {
    const int R = archive_read_data_block(Ar, &Block, &Size, &Offset);
    if (R == ARCHIVE_EOF) break;
    if (R != ARCHIVE_OK) return S.ShortRead ? RAR_E_EREAD : RAR_E_BAD_DATA;
    if (Offset < 0 || static_cast<uint64_t>(Offset) != Sink.Written) {
      // A gap (sparse data) is filled with zeros up to the block.
      if (Offset < 0 || static_cast<uint64_t>(Offset) < Sink.Written) return RAR_E_BAD_DATA;
      std::vector<uint8_t> Zeros(std::min<uint64_t>(static_cast<uint64_t>(Offset) - Sink.Written, kReadChunk));
      while (Sink.Written < static_cast<uint64_t>(Offset)) {
        const size_t N = static_cast<size_t>(std::min<uint64_t>(Zeros.size(), Offset - Sink.Written));
        if (const int E = Sink.Put(Zeros.data(), N)) return E;
      }
    }
    if (const int E = Sink.Put(Block, Size)) return E;
  }
  if (S.ShortRead) return RAR_E_EREAD;
  return Sink.Written == Sink.Limit && Sink.Crc == StoredCrc ? RAR_SUCCESS : RAR_E_BAD_DATA;
}

// The DOS date and time as the local time of the system, for the extracted file.
time_t DosToTime(uint32_t Dos) {
  struct tm T {};
  T.tm_year = static_cast<int>((Dos >> 25) & 0x7F) + 80;
  T.tm_mon = static_cast<int>((Dos >> 21) & 0x0F) - 1;
  T.tm_mday = static_cast<int>((Dos >> 16) & 0x1F);
  T.tm_hour = static_cast<int>((Dos >> 11) & 0x1F);
  T.tm_min = static_cast<int>((Dos >> 5) & 0x3F);
  T.tm_sec = static_cast<int>((Dos & 0x1F) * 2);
  T.tm_isdst = -1;
  return T.tm_mon < 0 ? static_cast<time_t>(-1) : mktime(&T);
}

int Process(TArchive& A, int Operation, const char* DestName) {
  if (!A.HaveItem) return Operation == RAR_SKIP ? RAR_SUCCESS : RAR_E_BAD_DATA;
  A.HaveItem = false;
  const TFileHeader& H = A.Item;
  if (Operation == RAR_SKIP) return RAR_SUCCESS;
  if (H.IsFolder()) {
    if (Operation == RAR_EXTRACT && DestName) ::mkdir(DestName, 0777);
    return RAR_SUCCESS;
  }
  if (H.Flags & ffEncrypted) return RAR_E_ENCRYPTED;
  if ((H.Flags & ffSplitBefore)) return RAR_E_BAD_ARCHIVE;  // a part without its beginning
  if (H.Flags & ffSolid) return RAR_E_UNSUPPORTED;
  if (H.Method != kMethodStored && (H.UnpVer < kMinUnpackVersion || H.UnpVer > kMaxUnpackVersion))
    return RAR_E_UNSUPPORTED;
  if (H.Method < kMethodStored || H.Method > kMethodStored + 5) return RAR_E_UNKNOWN_FORMAT;

  const TFileHeader First = H;
  std::vector<TPart> Parts;
  TFileHeader Last;
  uint64_t Packed = 0;
  if (const int E = CollectParts(A, Parts, Last, Packed)) return E;
  auto S = std::make_unique<TSource>();
  S->Parts = std::move(Parts);
  if (!BuildSource(First, Last, Packed, *S)) return RAR_E_UNSUPPORTED;

  TSink Sink{&A};
  Sink.Limit = First.UnpSize;
  if (Operation == RAR_TEST) return Decode(*S, Sink, Last.FileCrc);
  if (!DestName) return RAR_E_ECREATE;
  Sink.Fd = ::open(DestName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (Sink.Fd < 0) return RAR_E_ECREATE;
  int E = Decode(*S, Sink, Last.FileCrc);
  if (::close(Sink.Fd) != 0 && E == RAR_SUCCESS) E = RAR_E_ECLOSE;
  if (E != RAR_SUCCESS) {
    ::unlink(DestName);  // no partial output is left behind
    return E;
  }
  const time_t T = DosToTime(Last.FileTime);
  if (T != static_cast<time_t>(-1)) {
    const struct timespec Times[2] = {{T, 0}, {T, 0}};
    ::utimensat(AT_FDCWD, DestName, Times, 0);
  }
  return RAR_SUCCESS;
}

}  // namespace

extern "C" {

void* RAROpenArchive(TRarOpenData* Data) {
  if (!Data) return nullptr;
  Data->CommentSize = 0;
  Data->CommentState = 0;
  if (!Data->ArcName) {
    Data->OpenResult = RAR_E_EOPEN;
    return nullptr;
  }
  auto* A = new (std::nothrow) TArchive;
  if (!A) {
    Data->OpenResult = RAR_E_NO_MEMORY;
    return nullptr;
  }
  A->Mode = Data->OpenMode;
  if (!A->Volume.Open(Data->ArcName)) {
    delete A;
    Data->OpenResult = RAR_E_EOPEN;
    return nullptr;
  }
  A->Seen.insert({A->Volume.Device, A->Volume.Inode});
  int Result = RAR_SUCCESS;
  switch (ReadArchiveStart(A->Volume, A->MainFlags, A->Pos)) {
    case orOk:
      break;
    case orNotRar:
      Result = RAR_E_BAD_ARCHIVE;
      break;
    case orRar5:
      Result = RAR_E_UNSUPPORTED;
      break;
    case orBroken:
      Result = RAR_E_BAD_DATA;
      break;
    case orEncryptedHeaders:
      Result = RAR_E_ENCRYPTED;
      break;
  }
  Data->OpenResult = static_cast<uint32_t>(Result);
  if (Result != RAR_SUCCESS) {
    delete A;
    return nullptr;
  }
  return A;
}

int RARCloseArchive(void* Handle) {
  delete static_cast<TArchive*>(Handle);
  return RAR_SUCCESS;
}

int RARReadHeaderEx(void* Handle, TRarHeaderDataEx* Header) {
  auto* A = static_cast<TArchive*>(Handle);
  if (!A || !Header) return RAR_E_BAD_DATA;
  try {
    const int R = ReadNext(*A);
    if (R != RAR_SUCCESS) return R;
  } catch (const std::bad_alloc&) {
    return RAR_E_NO_MEMORY;
  }
  const TFileHeader& H = A->Item;
  CopyName(Header->FileName, sizeof Header->FileName, H.Name);
  Header->Flags = ItemFlags(H);
  Header->UnpSize = static_cast<uint32_t>(H.UnpSize);
  Header->UnpSizeHigh = static_cast<uint32_t>(H.UnpSize >> 32);
  Header->FileTime = H.FileTime;
  Header->FileAttr = ItemAttr(H);
  return RAR_SUCCESS;
}

int RARReadHeader(void* Handle, TRarHeaderData* Header) {
  if (!Header) return RAR_E_BAD_DATA;
  TRarHeaderDataEx Ex{};
  const int R = RARReadHeaderEx(Handle, &Ex);
  if (R != RAR_SUCCESS) return R;
  CopyName(Header->FileName, sizeof Header->FileName, Ex.FileName);
  Header->Flags = Ex.Flags;
  Header->UnpSize = Ex.UnpSizeHigh ? UINT32_MAX : Ex.UnpSize;
  Header->FileTime = Ex.FileTime;
  Header->FileAttr = Ex.FileAttr;
  return RAR_SUCCESS;
}

int RARProcessFile(void* Handle, int Operation, const char*, const char* DestName) {
  auto* A = static_cast<TArchive*>(Handle);
  if (!A) return RAR_E_BAD_DATA;
  try {
    return Process(*A, Operation, DestName);
  } catch (const std::bad_alloc&) {
    return RAR_E_NO_MEMORY;
  }
}

void RARSetCallback(void* Handle, TRarCallback Callback, void* UserData) {
  auto* A = static_cast<TArchive*>(Handle);
  if (!A) return;
  A->Callback = Callback;
  A->UserData = UserData;
}

void RARSetChangeVolProc(void*, TRarChangeVolProc) {}
void RARSetProcessDataProc(void*, TRarProcessDataProc) {}

void RARSetPassword(void* Handle, const char* Password) {
  auto* A = static_cast<TArchive*>(Handle);
  if (A) A->Password = Password ? Password : "";
}

int RARGetDllVersion(void) { return kDllVersion; }

}  // extern "C"
