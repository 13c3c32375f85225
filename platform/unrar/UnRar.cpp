// UnRar3.so: the entry points of UnRarApi.h over two decoding libraries.
//
// RAR 1.5-4 archives: the block walk (RarBlocks) reads the headers of every volume itself, so that flags,
// sizes, times and the parts of a split item are known exactly. An item's data is decoded by libunarr,
// which reads RAR 2.0-4 compression, solid archives and the large PPMd and LZSS items: an archive of one
// volume is mapped into memory and unarr decodes the item at its own header; an item of a volume set is
// handed to unarr as a small archive of that one item (a main header, the item's header with the split
// flags cleared and the packed size of all its parts, the parts' data read from their volumes, an end
// block). Where unarr cannot begin an item of RAR 2.9 or later, libarchive decodes it from the same small
// archive. The items of a solid volume set are presented to unarr as one archive instead (TJoined), so
// that each finds the state the items before it left. In a solid archive opened for extraction, passing
// over an item decodes it (its output thrown away), so that a walk in archive order reads every item once
// and the next item finds the state it needs.
// The decoded data's CRC is checked here against the stored one, for every method.
//
// RAR 5 archives (marker 52 61 72 21 1A 07 01 00, plain or behind a self-extracting program) are read by
// libarchive's RAR 5 reader (Rar5Reader), over every volume of a set.
//
// What is refused: encrypted items (no library here decrypts; libarchive would decode the ciphertext as if
// it were plain) and RAR 1.5 compression (which neither library decodes). Output is held to the item's
// declared size: more data than the header promised is an error, not written. libunarr's diagnostics are
// kept off the standard error (UnarrLog).
#include <archive.h>
#include <archive_entry.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unarr.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/unrar/DecoderMemory.h"
#include "platform/unrar/Rar5Reader.h"
#include "platform/unrar/RarBlocks.h"
#include "platform/unrar/RarSink.h"
#include "platform/unrar/UnRarApi.h"
#include "platform/unrar/UnarrLog.h"

namespace {

using namespace unrar;

constexpr int kDllVersion = 10;
// RAR 2.0: the oldest compression libunarr decodes.
constexpr uint8_t kMinUnarrVersion = 20;
constexpr size_t kReadChunk = 65536;
constexpr int kVolumeAsks = 3;  // a missing volume is asked for at most this often

// One part of an item's packed data.
struct TPart {
  std::string Volume;
  int64_t Pos = 0;
  uint64_t Size = 0;
};

// libunarr's archive over a memory image (the mapped volume or an item's small archive), closed with it.
struct TUnarrClose {
  void operator()(ar_archive* A) const { ar_close_archive(A); }
  void operator()(ar_stream* S) const { ar_close(S); }
};
struct TUnarr {
  std::unique_ptr<ar_stream, TUnarrClose> Stream;
  std::unique_ptr<ar_archive, TUnarrClose> Archive;  // declared last: closed before its stream
  bool Open(const uint8_t* Data, size_t Size) { return Adopt(ar_open_memory(Data, Size)); }
  // Takes a stream made elsewhere (closed with this object) and opens unarr's archive over it.
  bool Adopt(ar_stream* S) {
    Archive.reset();
    Stream.reset(S);
    if (Stream) Archive.reset(ar_open_rar_archive(Stream.get()));
    return Archive != nullptr;
  }
};

// --- A solid volume set as one archive -------------------------------------------------------------------
//
// unarr decodes a solid archive in one pass when it sees one archive: the items of a solid RAR 4 volume set
// are presented to it as such. The stream is the marker, a main header, and for every item its header (the
// first part's, with the split flags cleared, the packed size of all parts and the CRC of the last) followed
// by its parts' data, which is read from the volumes when unarr asks for it, never copied. Items are added
// as the walk reaches them, before unarr reads them, so the stream grows with the walk.
//
// unarr's own stream (ar_stream) is a record of four functions and their data; its library opens such a
// record only over a file or memory, so the record is made here, in the layout its entry points use. That
// layout is checked against a stream the library made itself before one is made (MakeJoinedStream).
class TJoined {
 public:
  void AddBytes(std::vector<uint8_t> Bytes) {
    const uint64_t Size = Bytes.size();
    Segments_.push_back({Size_, std::move(Bytes), std::string(), 0, Size});
    Size_ += static_cast<int64_t>(Size);
  }
  void AddPart(const TPart& P) {
    Segments_.push_back({Size_, {}, P.Volume, P.Pos, P.Size});
    Size_ += static_cast<int64_t>(P.Size);
  }
  int64_t Size() const { return Size_; }
  // Whether a part's volume could not be read to the part's end.
  bool ShortRead() const { return ShortRead_; }

  size_t Read(void* Buffer, size_t Count) {
    size_t Done = 0;
    auto* Out = static_cast<uint8_t*>(Buffer);
    while (Done < Count && Offset_ < Size_) {
      // The segment that holds Offset_: the last one that starts at or before it.
      const auto It = std::upper_bound(Segments_.begin(), Segments_.end(), Offset_,
                                       [](int64_t At, const TSegment& Seg) { return At < Seg.At; });
      const TSegment& Seg = *(It - 1);
      const uint64_t Within = static_cast<uint64_t>(Offset_ - Seg.At);
      const size_t Step = static_cast<size_t>(std::min<uint64_t>(Seg.Size - Within, Count - Done));
      if (Seg.Volume.empty()) {
        std::memcpy(Out + Done, Seg.Bytes.data() + Within, Step);
      } else {
        if (Current_.Name != Seg.Volume || !Current_.IsOpen()) {
          Current_.Close();
          if (!Current_.Open(Seg.Volume)) break;
        }
        if (Current_.ReadSome(Seg.Pos + static_cast<int64_t>(Within), Out + Done,
                              static_cast<int64_t>(Step)) != static_cast<int64_t>(Step)) {
          ShortRead_ = true;
          break;
        }
      }
      Done += Step;
      Offset_ += static_cast<int64_t>(Step);
    }
    return Done;
  }
  bool Seek(int64_t Offset, int Origin) {
    const int64_t Base = Origin == SEEK_CUR ? Offset_ : Origin == SEEK_END ? Size_ : 0;
    if (Offset > INT64_MAX / 2 || Offset < -Base || Base + Offset > Size_) return false;
    Offset_ = Base + Offset;
    return true;
  }
  int64_t Tell() const { return Offset_; }

  TUnarr Unarr;  // opened over this stream at the first item decoded

 private:
  struct TSegment {
    int64_t At = 0;              // where it starts in the stream
    std::vector<uint8_t> Bytes;  // a header, or
    std::string Volume;          // a part of a volume
    int64_t Pos = 0;
    uint64_t Size = 0;
  };
  std::vector<TSegment> Segments_;
  int64_t Size_ = 0;
  int64_t Offset_ = 0;
  TVolume Current_;
  bool ShortRead_ = false;
};

// unarr's stream record, in the layout of its entry points: close, read, seek and tell, then their data.
struct TUnarrStreamRecord {
  void (*Close)(void*);
  size_t (*Read)(void*, void*, size_t);
  bool (*Seek)(void*, off64_t, int);
  off64_t (*Tell)(void*);
  void* Data;
};

// Whether streams the library makes have that layout: the four functions lie in the library's code and
// the data does not.
bool UnarrStreamLayoutKnown() {
  static const bool Known = [] {
    static const uint8_t Probe[1] = {0};
    ar_stream* S = ar_open_memory(Probe, sizeof Probe);
    if (!S) return false;
    TUnarrStreamRecord R{};
    std::memcpy(&R, S, sizeof R);
    Dl_info Library{}, Info{};
    bool Ok = dladdr(reinterpret_cast<void*>(&ar_open_memory), &Library) != 0;
    for (void* F : {reinterpret_cast<void*>(R.Close), reinterpret_cast<void*>(R.Read),
                    reinterpret_cast<void*>(R.Seek), reinterpret_cast<void*>(R.Tell)})
      Ok = Ok && dladdr(F, &Info) != 0 && Info.dli_fbase == Library.dli_fbase;
    Ok = Ok && (dladdr(R.Data, &Info) == 0 || Info.dli_fbase != Library.dli_fbase);
    ar_close(S);
    return Ok;
  }();
  return Known;
}

// An unarr stream over J (which outlives it); null when the layout is not the one known.
ar_stream* MakeJoinedStream(TJoined& J) {
  if (!UnarrStreamLayoutKnown()) return nullptr;
  // Allocated with malloc: ar_close calls Close and then frees the record.
  auto* R = static_cast<TUnarrStreamRecord*>(std::malloc(sizeof(TUnarrStreamRecord)));
  if (!R) return nullptr;
  R->Close = [](void*) {};
  R->Read = [](void* D, void* Buffer, size_t Count) { return static_cast<TJoined*>(D)->Read(Buffer, Count); };
  R->Seek = [](void* D, off64_t Offset, int Origin) {
    return static_cast<TJoined*>(D)->Seek(Offset, Origin);
  };
  R->Tell = [](void* D) -> off64_t { return static_cast<TJoined*>(D)->Tell(); };
  R->Data = &J;
  return reinterpret_cast<ar_stream*>(R);
}

// A volume mapped into memory, read-only.
struct TMapping {
  void* Base = MAP_FAILED;
  size_t Size = 0;
  TMapping() = default;
  TMapping(const TMapping&) = delete;
  TMapping& operator=(const TMapping&) = delete;
  ~TMapping() {
    if (Base != MAP_FAILED) ::munmap(Base, Size);
  }
  bool Map(const std::string& Name, int64_t FileSize) {
    const int Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd < 0 || FileSize <= 0) {
      if (Fd >= 0) ::close(Fd);
      return false;
    }
    Size = static_cast<size_t>(FileSize);
    Base = ::mmap(nullptr, Size, PROT_READ, MAP_PRIVATE, Fd, 0);
    ::close(Fd);
    return Base != MAP_FAILED;
  }
  const uint8_t* Data() const { return static_cast<const uint8_t*>(Base); }
};

struct TArchive {
  uint32_t Mode = RAR_OM_LIST;
  TVolume Volume;
  uint16_t MainFlags = 0;
  int64_t Pos = 0;
  int64_t Marker = 0;
  // An archive of one volume: the volume mapped and unarr over it, made at the first item decoded.
  TMapping Map;
  TUnarr Whole;
  bool WholeTried = false;
  // A solid volume set: its items as one archive for unarr, made at the first item decoded.
  std::unique_ptr<TJoined> Joined;
  // RAR 5: libarchive's reader, made at the first header read (the volumes of a set are gathered then,
  // when the caller's callback can answer for a missing one), and its current item.
  bool Rar5 = false;
  TRar5Start Rar5Start;
  std::unique_ptr<TRar5Reader> Reader;
  TRar5Item Item5;
  std::vector<TRar5File> Rar5Files;  // the file headers of every volume
  // A solid RAR 5 set read from a later volume: libarchive cannot begin its items (their state is in the
  // volumes before), so they are handed back from the headers, each to be named as lost.
  bool Rar5SolidGap = false;
  size_t Rar5NextLost = 0;
  bool SeenFirstFile = false;
  TRarCallback Callback = nullptr;
  void* UserData = nullptr;
  std::string Password;  // kept; never used to decrypt
  bool HaveItem = false;
  TFileHeader Item;
  bool LastSplitAfter = false;
  // A RAR 4 walk that began in a later volume of a set, and whether it has decoded an item since: a solid
  // item met before any is decoded would need the state of items in the volumes that were not read.
  bool StartedLate = false;
  bool DecodedAny = false;
  // The volumes this handle has opened: a set never comes back to one of them (an answer that names a
  // volume again would otherwise walk in a circle).
  std::set<std::pair<uint64_t, uint64_t>> Seen;
};

// --- Volumes -----------------------------------------------------------------------------------------------

// Settles the name of a further volume: Next as it is when the file exists, otherwise the name the
// callback answers (asked at most kVolumeAsks times). False when there is none or the callback refused.
bool AskVolume(TArchive& A, std::string& Next) {
  for (int Ask = 0; Ask <= kVolumeAsks; ++Ask) {
    struct stat St {};
    const bool Exists = ::stat(Next.c_str(), &St) == 0 && S_ISREG(St.st_mode);
    if (!A.Callback) return Exists;
    std::vector<char> Buf(RAR_VOLUME_NAME_SIZE, '\0');
    std::strncpy(Buf.data(), Next.c_str(), RAR_VOLUME_NAME_SIZE - 1);
    const int Answer =
        A.Callback(RAR_MSG_CHANGE_VOLUME, A.UserData, reinterpret_cast<intptr_t>(Buf.data()), Exists ? 1 : 0);
    if (Answer == -1) return false;
    if (Exists) return true;
    Buf.back() = '\0';
    Next = Buf.data();  // the answered name is checked again
  }
  return false;
}

// Opens the volume after the current one, asking the callback first; false when there is none or it is
// refused. The walk then stands at its first block.
bool SwitchVolume(TArchive& A) {
  std::string Next = NextVolumeFileName(A.Volume.Name, (A.MainFlags & mfNewNumbering) != 0);
  if (Next.empty() || !AskVolume(A, Next)) return false;
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

// The volumes of a RAR 5 archive, from the first one on: every further volume its predecessor announces,
// as long as one is found.
std::vector<std::string> Rar5Volumes(TArchive& A) {
  std::vector<std::string> Names = {A.Volume.Name};
  TRar5Start Start = A.Rar5Start;
  A.Rar5Files = Start.Files;
  std::string Current = A.Volume.Name;
  while ((Start.ArchiveFlags & r5Volume) && Start.MoreVolumes) {
    std::string Next = NextVolumeFileName(Current, true);
    if (Next.empty() || !AskVolume(A, Next)) break;
    TVolume V;
    if (!V.Open(Next) || A.Seen.count({V.Device, V.Inode})) break;
    uint16_t Flags = 0;
    int64_t Marker = 0;
    if (ReadArchiveStart(V, Flags, Marker) != orRar5 || !ReadRar5Start(V, Marker, Start)) break;
    A.Seen.insert({V.Device, V.Inode});
    A.Rar5Start.EncryptedNames.insert(Start.EncryptedNames.begin(), Start.EncryptedNames.end());
    A.Rar5Start.EndSeen = Start.EndSeen;  // of the last volume
    A.Rar5Files.insert(A.Rar5Files.end(), Start.Files.begin(), Start.Files.end());
    Names.push_back(Next);
    Current = Next;
  }
  return Names;
}

// The CRC-32 each item's data must have, from its file headers in every volume: the CRC an item's last
// part records covers the whole item. An item whose last part was not seen has none.
std::vector<TRar5Check> Rar5Checks(const std::vector<TRar5File>& Files) {
  std::vector<TRar5Check> Checks;
  bool Open = false;  // the last item runs on into the next header
  for (const TRar5File& F : Files) {
    // The part of an item that began before the first volume read: libarchive passes it over.
    if (F.SplitBefore && !Open && Checks.empty()) continue;
    if (F.SplitBefore && Open) {
      Checks.back().HasCrc = F.HasCrc && !F.SplitAfter;
      Checks.back().Crc = F.Crc;
    } else {
      Checks.push_back({F.Name, F.HasCrc && !F.SplitAfter, F.Crc});
    }
    Open = F.SplitAfter;
  }
  return Checks;
}

// --- Header records
// -----------------------------------------------------------------------------------------

// Copies Name into a field of Size bytes, cut at a character boundary.
void CopyName(char* Field, size_t Size, const std::string& Name) {
  size_t N = std::min(Name.size(), Size - 1);
  while (N > 0 && N < Name.size() && (static_cast<uint8_t>(Name[N]) & 0xC0) == 0x80) --N;
  std::memcpy(Field, Name.data(), N);
  Field[N] = '\0';
}

// A header that fails its CRC passes on none of its flags: any of them may be the damage, and a caller
// that acted on one (a folder, a part continued from before, an encrypted item) would pass the item over
// without a word.
uint32_t ItemFlags(const TFileHeader& H) {
  uint32_t F =
      H.HeaderBroken
          ? RAR_FLAG_HEADER_BROKEN
          : H.Flags & (RAR_FLAG_CONTINUED | RAR_FLAG_CONTINUES | RAR_FLAG_ENCRYPTED | RAR_FLAG_SOLID);
  if (H.OemName) F |= RAR_FLAG_OEM_NAME;
  return F;
}

uint32_t ItemAttr(const TFileHeader& H) {
  if (H.HeaderBroken) return 0x20;
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
    // A volume without an end block that stops inside a block or an item's data has been cut short:
    // the items after that point are lost, which the caller must hear of.
    if (!EndBlock && A.Pos != A.Volume.Size) return RAR_E_EREAD;
    // The end of a volume: a set goes on when its end block says so, or, without an end block, when
    // the last item runs on.
    const bool More = (A.MainFlags & mfVolume) && (EndBlock ? NextVolume : A.LastSplitAfter);
    if (!More || !SwitchVolume(A)) return RAR_END_ARCHIVE;
  }
}

// The next RAR 5 item into Header.
int ReadNext5(TArchive& A, TRarHeaderDataEx* Header) {
  // An item the caller left without a process call is passed over.
  if (A.HaveItem && !A.Item5.Continued && !A.Item5.SolidGap) A.Reader->Skip();
  A.HaveItem = false;
  if (!A.Reader) {
    const uint64_t Flags = A.Rar5Start.ArchiveFlags;
    std::vector<std::string> Volumes = Rar5Volumes(A);
    A.Reader = std::make_unique<TRar5Reader>(std::move(Volumes), A.Pos, A.Rar5Start.EncryptedNames,
                                             A.Rar5Start.EndSeen, Rar5Checks(A.Rar5Files));
    A.Rar5SolidGap = (Flags & r5Solid) && (Flags & r5VolumeNumber);
    A.Rar5NextLost = 0;
    // A later volume read first begins with the part of an item whose beginning is in a volume before
    // it. libarchive passes that part over in silence; it comes back here, marked as continued, so that
    // the caller can name the item it cannot have.
    if (!A.Rar5Files.empty() && A.Rar5Files.front().SplitBefore) {
      A.Item5 = TRar5Item();
      A.Item5.Name = A.Rar5Files.front().Name;
      A.Item5.Continued = true;
      A.HaveItem = true;
      CopyName(Header->FileName, sizeof Header->FileName, A.Item5.Name);
      Header->Flags = RAR_FLAG_CONTINUED | (A.Rar5Files.front().SplitAfter ? RAR_FLAG_CONTINUES : 0);
      Header->UnpSize = Header->UnpSizeHigh = 0;
      Header->FileTime = 0;
      Header->FileAttr = 0x20;
      return RAR_SUCCESS;
    }
  }
  if (A.Rar5SolidGap) {
    // The items that begin in the volumes read, in order, from their headers.
    while (A.Rar5NextLost < A.Rar5Files.size() && A.Rar5Files[A.Rar5NextLost].SplitBefore) ++A.Rar5NextLost;
    if (A.Rar5NextLost >= A.Rar5Files.size()) return RAR_END_ARCHIVE;
    const TRar5File& F = A.Rar5Files[A.Rar5NextLost++];
    A.Item5 = TRar5Item();
    A.Item5.Name = F.Name;
    A.Item5.Folder = F.Folder;
    A.Item5.Size = F.Folder ? 0 : F.Size;
    A.Item5.SolidGap = true;
    A.HaveItem = true;
    CopyName(Header->FileName, sizeof Header->FileName, F.Name);
    Header->Flags = (F.SplitAfter ? RAR_FLAG_CONTINUES : 0) | RAR_FLAG_SOLID;
    Header->UnpSize = static_cast<uint32_t>(A.Item5.Size);
    Header->UnpSizeHigh = static_cast<uint32_t>(A.Item5.Size >> 32);
    Header->FileTime = 0;
    Header->FileAttr = F.Folder ? RAR_ATTR_FOLDER : 0x20;
    return RAR_SUCCESS;
  }
  const int R = A.Reader->Next(A.Item5);
  if (R != RAR_SUCCESS) return R;
  A.HaveItem = true;
  const TRar5Item& I = A.Item5;
  CopyName(Header->FileName, sizeof Header->FileName, I.Name);
  Header->Flags = I.Encrypted ? RAR_FLAG_ENCRYPTED : 0;
  Header->UnpSize = static_cast<uint32_t>(I.Size);
  Header->UnpSizeHigh = static_cast<uint32_t>(I.Size >> 32);
  Header->FileTime = I.DosTime;
  Header->FileAttr = I.Folder ? RAR_ATTR_FOLDER : 0x20;
  return RAR_SUCCESS;
}

// --- Decoding one item ----------------------------------------------------------------

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
  for (int I = 0; I < 4; ++I) B[At + I] = static_cast<uint8_t>(V >> (8 * I));
}

// The start of an archive of our own making: the marker and a main header with MainFlags.
std::vector<uint8_t> ArchiveStart(uint16_t MainFlags) {
  std::vector<uint8_t> Start = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
  std::vector<uint8_t> Main = {
      0, 0, btMain, static_cast<uint8_t>(MainFlags), static_cast<uint8_t>(MainFlags >> 8), 13, 0, 0, 0, 0,
      0, 0, 0};
  SetHeaderCrc(Main);
  Start.insert(Start.end(), Main.begin(), Main.end());
  return Start;
}

// The header of an item whose parts are joined: the first part's, with the split flags cleared, the packed
// size of all parts, the CRC of the last part (which covers the whole item), and a plain one-letter name
// (the name plays no part in decoding). Empty when it cannot be made.
std::vector<uint8_t> JoinedHeader(const TFileHeader& First, const TFileHeader& Last, uint64_t Packed) {
  const std::vector<uint8_t>& Raw = First.Raw;
  uint16_t Flags = static_cast<uint16_t>(First.Flags & ~(ffSplitBefore | ffSplitAfter | ffUnicode));
  const size_t NameAt = kFileHeaderFixed + ((Flags & ffLarge) ? 8 : 0);
  const size_t NameSize = static_cast<size_t>(Raw[26] | (Raw[27] << 8));
  if (NameAt + NameSize > Raw.size()) return {};
  std::vector<uint8_t> Head(Raw.begin(), Raw.begin() + static_cast<std::ptrdiff_t>(NameAt));
  Head.push_back('x');
  Head.insert(Head.end(), Raw.begin() + static_cast<std::ptrdiff_t>(NameAt + NameSize), Raw.end());
  if (Head.size() > UINT16_MAX) return {};
  Head[3] = static_cast<uint8_t>(Flags);
  Head[4] = static_cast<uint8_t>(Flags >> 8);
  Head[5] = static_cast<uint8_t>(Head.size());
  Head[6] = static_cast<uint8_t>(Head.size() >> 8);
  Head[26] = 1;
  Head[27] = 0;
  if (!(Flags & ffLarge) && Packed > UINT32_MAX) return {};
  PutLe32(Head, 7, static_cast<uint32_t>(Packed));
  if (Flags & ffLarge) PutLe32(Head, 32, static_cast<uint32_t>(Packed >> 32));
  PutLe32(Head, 16, Last.FileCrc);
  SetHeaderCrc(Head);
  return Head;
}

// The main header and the item's joined header in front of its data, an end block after it.
bool BuildSource(const TFileHeader& First, const TFileHeader& Last, uint64_t Packed, TSource& S) {
  const std::vector<uint8_t> Head = JoinedHeader(First, Last, Packed);
  if (Head.empty()) return false;
  std::vector<uint8_t> End = {0, 0, btEnd, 0x00, 0x40, 7, 0};
  SetHeaderCrc(End);
  S.Prefix = ArchiveStart(0);
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
    if (R == brBroken || (R == brFile && H.HeaderBroken)) return RAR_E_BAD_HEADER;
    if (R != brFile || !(H.Flags & ffSplitBefore) || H.Name != A.Item.Name) return RAR_E_BAD_ARCHIVE;
    Parts.push_back({A.Volume.Name, H.DataPos, H.PackSize});
    Packed += H.PackSize;
    Last = std::move(H);
  }
  A.LastSplitAfter = false;
  return RAR_SUCCESS;
}

// Decodes the one item of S with libarchive, within a limit set by the caller.
int DecodeLibarchiveLimited(TSource& S, TSink& Sink, uint32_t StoredCrc) {
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
    return Sink.Whole(StoredCrc) ? RAR_SUCCESS : RAR_E_BAD_DATA;
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
      std::vector<uint8_t> Zeros(
          std::min<uint64_t>(static_cast<uint64_t>(Offset) - Sink.Written, kReadChunk));
      while (Sink.Written < static_cast<uint64_t>(Offset)) {
        const size_t N = static_cast<size_t>(std::min<uint64_t>(Zeros.size(), Offset - Sink.Written));
        if (const int E = Sink.Put(Zeros.data(), N)) return E;
      }
    }
    if (const int E = Sink.Put(Block, Size)) return E;
  }
  if (S.ShortRead) return RAR_E_EREAD;
  return Sink.Whole(StoredCrc) ? RAR_SUCCESS : RAR_E_BAD_DATA;
}

// Decodes the one item of S with libarchive.
int DecodeLibarchive(TSource& S, TSink& Sink, uint32_t StoredCrc) {
  // libarchive's allocations are held to what the item can need, as unarr's are (DecoderMemory).
  const TDecoderMemoryLimit Limit(Sink.Limit);
  const int E = DecodeLibarchiveLimited(S, Sink, StoredCrc);
  return Limit.Refused() ? RAR_E_TOO_DEMANDING : E;
}

// What DecodeUnarr answers when unarr did not begin the item: nothing was delivered, so another decoder
// may try.
constexpr int kNotBegun = -1;

// Decodes the item whose header lies at Entry in unarr's image.
int DecodeUnarr(TUnarr& U, int64_t Entry, TSink& Sink, uint32_t StoredCrc) {
  // unarr's allocations are held to what the item can need (DecoderMemory): data that asks for more fails
  // its item, and is not handed to libarchive, which would fill what it asks for just the same.
  const TDecoderMemoryLimit Limit(Sink.Limit);
  if (!U.Archive || !ar_parse_entry_at(U.Archive.get(), Entry))
    return Limit.Refused() ? RAR_E_TOO_DEMANDING : kNotBegun;
  if (ar_entry_get_size(U.Archive.get()) != Sink.Limit) return RAR_E_BAD_DATA;
  std::vector<uint8_t> Buf(static_cast<size_t>(std::min<uint64_t>(Sink.Limit, kReadChunk)));
  while (Sink.Written < Sink.Limit) {
    const size_t N = static_cast<size_t>(std::min<uint64_t>(Sink.Limit - Sink.Written, Buf.size()));
    if (!ar_entry_uncompress(U.Archive.get(), Buf.data(), N)) {
      if (Limit.Refused()) return RAR_E_TOO_DEMANDING;
      return Sink.Written == 0 ? kNotBegun : RAR_E_BAD_DATA;
    }
    if (const int E = Sink.Put(Buf.data(), N)) return E;
  }
  return Sink.Whole(StoredCrc) ? RAR_SUCCESS : RAR_E_BAD_DATA;
}

// The whole of S in memory: the small archive of one item that unarr reads.
bool ReadSource(TSource& S, std::vector<uint8_t>& Image) {
  const void* Block = nullptr;
  for (;;) {
    const la_ssize_t N = SourceRead(nullptr, &S, &Block);
    if (N < 0 || S.ShortRead) return false;
    if (N == 0) return true;
    const uint8_t* P = static_cast<const uint8_t*>(Block);
    Image.insert(Image.end(), P, P + N);
  }
}

// Whether libarchive decodes an item of this header when unarr does not.
bool LibarchiveDecodes(const TFileHeader& H) {
  return !(H.Flags & ffSolid) &&
         (H.Method == kMethodStored || (H.UnpVer >= kMinUnpackVersion && H.UnpVer <= kMaxUnpackVersion));
}

// Decodes an item of a solid volume set, whose parts have been collected, through the set's joined
// stream: the item is added to it and unarr decodes it where the items before it left its state.
int DecodeJoined(TArchive& A, const TFileHeader& First, const TFileHeader& Last, uint64_t Packed,
                 const std::vector<TPart>& Parts, TSink& Sink) {
  std::vector<uint8_t> Head = JoinedHeader(First, Last, Packed);
  if (Head.empty()) return RAR_E_UNSUPPORTED;
  if (!A.Joined) {
    A.Joined = std::make_unique<TJoined>();
    A.Joined->AddBytes(ArchiveStart(mfSolid));
  }
  TJoined& J = *A.Joined;
  const int64_t Entry = J.Size();
  J.AddBytes(std::move(Head));
  for (const TPart& P : Parts) J.AddPart(P);
  if (!J.Unarr.Archive && !J.Unarr.Adopt(MakeJoinedStream(J))) return RAR_E_UNSUPPORTED;
  const int E = DecodeUnarr(J.Unarr, Entry, Sink, Last.FileCrc);
  if (J.ShortRead()) return RAR_E_EREAD;
  return E == kNotBegun ? RAR_E_BAD_DATA : E;
}

// Whether the volume a RAR 4 handle opened is a later volume of a set: a set of the new numbering marks
// its first volume, and one of the old numbering names only its first volume ".rar" (or ".exe").
bool LaterVolume(const TArchive& A) {
  if (!(A.MainFlags & mfVolume)) return false;
  if (A.MainFlags & mfNewNumbering) return !(A.MainFlags & mfFirstVolume);
  const std::string& Name = A.Volume.Name;
  const size_t Dot = Name.rfind('.');
  if (Dot == std::string::npos || Name.size() - Dot != 4) return false;
  const char L = static_cast<char>(Name[Dot + 1] | 0x20);
  return L >= 'r' && L <= 'z' && std::isdigit(static_cast<unsigned char>(Name[Dot + 2])) &&
         std::isdigit(static_cast<unsigned char>(Name[Dot + 3]));
}

// Decodes the current RAR 1.5-4 item into Sink (an item of a set moves the walk through its volumes).
int DecodeItem(TArchive& A, TSink& Sink) {
  const TFileHeader First = A.Item;
  if (First.HeaderBroken) return RAR_E_BAD_HEADER;
  if (First.Flags & ffEncrypted) return RAR_E_ENCRYPTED;
  if (First.Flags & ffSplitBefore) return RAR_E_BAD_ARCHIVE;  // a part without its beginning
  if (First.Method < kMethodStored || First.Method > kMethodStored + 5) return RAR_E_UNKNOWN_FORMAT;
  if (First.Method != kMethodStored && (First.UnpVer < kMinUnarrVersion || First.UnpVer > kMaxUnpackVersion))
    return RAR_E_UNSUPPORTED;
  // A solid item whose predecessors are in volumes before the walk's first cannot be decoded: that is the
  // reason it fails, not the CRC error its decoding would end in.
  if (A.StartedLate && !A.DecodedAny && (A.MainFlags & mfSolid) && (First.Flags & ffSolid))
    return RAR_E_SOLID_GAP;
  A.DecodedAny = true;
  Sink.Limit = First.UnpSize;

  if (!(A.MainFlags & mfVolume)) {
    // One volume: unarr reads the item in place.
    if (First.DataPos + static_cast<int64_t>(std::min<uint64_t>(First.PackSize, INT64_MAX / 2)) >
        A.Volume.Size)
      return RAR_E_EREAD;
    if (!A.WholeTried) {
      A.WholeTried = true;
      if (A.Map.Map(A.Volume.Name, A.Volume.Size) && A.Marker < A.Volume.Size)
        A.Whole.Open(A.Map.Data() + A.Marker, static_cast<size_t>(A.Volume.Size - A.Marker));
    }
    const int E = DecodeUnarr(A.Whole, First.HeaderPos - A.Marker, Sink, First.FileCrc);
    if (E != kNotBegun) return E;
    if (!LibarchiveDecodes(First)) return RAR_E_BAD_DATA;
    TSource S;
    S.Parts.push_back({A.Volume.Name, First.DataPos, First.PackSize});
    if (!BuildSource(First, First, First.PackSize, S)) return RAR_E_UNSUPPORTED;
    return DecodeLibarchive(S, Sink, First.FileCrc);
  }

  std::vector<TPart> Parts;
  TFileHeader Last;
  uint64_t Packed = 0;
  if (const int E = CollectParts(A, Parts, Last, Packed)) return E;
  if (A.MainFlags & mfSolid) return DecodeJoined(A, First, Last, Packed, Parts, Sink);

  // A volume set that is not solid: the item's parts are gathered into a small archive of its own.
  TSource S;
  S.Parts = Parts;
  if (!BuildSource(First, Last, Packed, S)) return RAR_E_UNSUPPORTED;
  std::vector<uint8_t> Image;
  if (!ReadSource(S, Image)) return RAR_E_EREAD;
  TUnarr U;
  U.Open(Image.data(), Image.size());
  const int E =
      DecodeUnarr(U, 7 + 13, Sink, Last.FileCrc);  // the item's header follows marker and main header
  if (E != kNotBegun) return E;
  if (!LibarchiveDecodes(First)) return RAR_E_BAD_DATA;
  TSource Again;
  Again.Parts = std::move(Parts);
  if (!BuildSource(First, Last, Packed, Again)) return RAR_E_UNSUPPORTED;
  return DecodeLibarchive(Again, Sink, Last.FileCrc);
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

// Whether passing over the current item decodes it: in a solid RAR 4 archive (or volume set) opened for
// extraction, every later item needs the ones before it decoded.
bool SkipDecodes(const TArchive& A) {
  const TFileHeader& H = A.Item;
  return A.Mode == RAR_OM_EXTRACT && (A.MainFlags & mfSolid) && !H.IsFolder() &&
         !(H.Flags & (ffEncrypted | ffSplitBefore)) && !H.HeaderBroken;
}

int Process(TArchive& A, int Operation, const char* DestName) {
  if (!A.HaveItem) return Operation == RAR_SKIP ? RAR_SUCCESS : RAR_E_BAD_DATA;
  A.HaveItem = false;
  // An item whose header is damaged is not read, whatever its flags say.
  if (!A.Rar5 && A.Item.HeaderBroken) return Operation == RAR_SKIP ? RAR_SUCCESS : RAR_E_BAD_HEADER;
  // A part without its beginning (a RAR 5 volume read without the one before it) cannot be decoded.
  if (A.Rar5 && A.Item5.Continued) return Operation == RAR_SKIP ? RAR_SUCCESS : RAR_E_BAD_ARCHIVE;
  // A solid item without the data before it, which is in a volume that was not read.
  if (A.Rar5 && A.Item5.SolidGap)
    return Operation == RAR_SKIP || A.Item5.Folder ? RAR_SUCCESS : RAR_E_SOLID_GAP;
  const bool Folder = A.Rar5 ? A.Item5.Folder : A.Item.IsFolder();
  // A symbolic link is an item without content: nothing is delivered (its target is not a file's text).
  const bool Link = A.Rar5 ? A.Item5.Link : A.Item.IsLink();
  if (Operation == RAR_SKIP || Link) {
    if (A.Rar5) {
      A.Reader->Skip();
    } else if (SkipDecodes(A)) {
      TSink Discard;
      DecodeItem(A, Discard);  // a failure shows in the next item's check
    }
    if (Operation == RAR_EXTRACT && DestName) {
      const int Fd = ::open(DestName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      if (Fd < 0) return RAR_E_ECREATE;
      ::close(Fd);
    }
    return RAR_SUCCESS;
  }
  if (Folder) {
    if (Operation == RAR_EXTRACT && DestName) ::mkdir(DestName, 0777);
    if (A.Rar5) A.Reader->Skip();
    return RAR_SUCCESS;
  }
  TSink Sink;
  Sink.Callback = A.Callback;
  Sink.UserData = A.UserData;
  if (A.Rar5) Sink.Limit = A.Item5.Size;
  if (Operation == RAR_EXTRACT) {
    if (!DestName) return RAR_E_ECREATE;
    Sink.Fd = ::open(DestName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (Sink.Fd < 0) return RAR_E_ECREATE;
  }
  const uint32_t FileTime = A.Rar5 ? A.Item5.DosTime : A.Item.FileTime;
  int E = A.Rar5 ? A.Reader->Read(A.Item5, Sink) : DecodeItem(A, Sink);
  if (Operation != RAR_EXTRACT) return E;
  if (::close(Sink.Fd) != 0 && E == RAR_SUCCESS) E = RAR_E_ECLOSE;
  if (E != RAR_SUCCESS) {
    ::unlink(DestName);  // no partial output is left behind
    return E;
  }
  const time_t T = DosToTime(FileTime);
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
  QuietUnarrLog();
  GuardDecoderMemory();
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
  switch (ReadArchiveStart(A->Volume, A->MainFlags, A->Pos, &A->Marker)) {
    case orOk:
      A->StartedLate = LaterVolume(*A);
      break;
    case orNotRar:
      Result = RAR_E_BAD_ARCHIVE;
      break;
    case orRar5:
      A->Rar5 = true;
      if (!ReadRar5Start(A->Volume, A->Pos, A->Rar5Start))
        Result = RAR_E_BAD_DATA;
      else if (A->Rar5Start.EncryptedHeaders)
        Result = RAR_E_ENCRYPTED;
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
    if (A->Rar5) return ReadNext5(*A, Header);
    const int R = ReadNext(*A);
    if (R != RAR_SUCCESS) return R;
  } catch (const std::bad_alloc&) {
    return RAR_E_NO_MEMORY;
  }
  const TFileHeader& H = A->Item;
  // A link holds no content of its own; a broken header's size is not to be trusted.
  const uint64_t Size = H.IsLink() || H.HeaderBroken ? 0 : H.UnpSize;
  CopyName(Header->FileName, sizeof Header->FileName, H.Name);
  Header->Flags = ItemFlags(H);
  Header->UnpSize = static_cast<uint32_t>(Size);
  Header->UnpSizeHigh = static_cast<uint32_t>(Size >> 32);
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
