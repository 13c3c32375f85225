// The compound-file reader. What it checks before it trusts a value:
// - the header: signature, byte order, sector shifts (9 or 12, mini 6), counts against the file's sectors;
// - the DIFAT: its chain has a hop limit of the DIFAT sector count and a visited set; every FAT sector it
//   names lies inside the file;
// - every chain (FAT, mini FAT, directory, mini stream, each stream): each index below the entries of its
//   table and inside the file (or the mini stream), at most as many hops as there are sectors, no sector
//   visited twice, and long enough for the size the chain must hold;
// - the directory: entry indexes below the entry count, the root's child tree walked once with a visited
//   set (a cycle is damage), names of at most 31 characters with their terminator inside the entry.
#include "platform/cfb/CompoundFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "platform/qvnls/Qvnls.h"

namespace {

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
// Sector numbers with a meaning of their own in the FAT and the DIFAT.
constexpr uint32_t kMaxRegSect = 0xFFFFFFFAu;
constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr uint32_t kNoStream = 0xFFFFFFFFu;
// The DIFAT entries the header itself holds.
constexpr uint32_t kHeaderDifatEntries = 109;
constexpr uint32_t kMiniSectorShift = 6;
// Directory entry object types.
constexpr uint8_t kTypeStorage = 1;
constexpr uint8_t kTypeStream = 2;
constexpr uint8_t kTypeRoot = 5;

uint16_t Get16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
uint32_t Get32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) |
         (static_cast<uint32_t>(P[2]) << 16) | (static_cast<uint32_t>(P[3]) << 24);
}
uint64_t Get64(const uint8_t* P) { return Get32(P) | (static_cast<uint64_t>(Get32(P + 4)) << 32); }

std::string Hex(uint64_t V) {
  char Text[24];
  snprintf(Text, sizeof Text, "0x%llX", static_cast<unsigned long long>(V));
  return Text;
}

class TFileSource final : public TCfbSource {
 public:
  TFileSource(int Fd, uint64_t Size) : Fd_(Fd), Size_(Size) {}
  ~TFileSource() override { close(Fd_); }
  uint64_t Size() const override { return Size_; }
  bool ReadAt(uint64_t Offset, void* Buffer, std::size_t Count) const override {
    auto* Out = static_cast<char*>(Buffer);
    while (Count > 0) {
      ssize_t N = pread(Fd_, Out, Count, static_cast<off_t>(Offset));
      if (N < 0 && errno == EINTR) continue;
      if (N <= 0) return false;
      Out += N;
      Offset += static_cast<uint64_t>(N);
      Count -= static_cast<std::size_t>(N);
    }
    return true;
  }

 private:
  int Fd_;
  uint64_t Size_;
};

class TMemorySource final : public TCfbSource {
 public:
  explicit TMemorySource(std::string Bytes) : Bytes_(std::move(Bytes)) {}
  uint64_t Size() const override { return Bytes_.size(); }
  bool ReadAt(uint64_t Offset, void* Buffer, std::size_t Count) const override {
    if (Offset > Bytes_.size() || Count > Bytes_.size() - Offset) return false;
    if (Count > 0) std::memcpy(Buffer, Bytes_.data() + Offset, Count);
    return true;
  }

 private:
  std::string Bytes_;
};

// A failed check while opening: the result code and what was wrong.
struct TCfbFault {
  HRESULT Code;
  std::string Detail;
};

[[noreturn]] void Corrupt(std::string Detail) { throw TCfbFault{STG_E_DOCFILECORRUPT, std::move(Detail)}; }

struct TDirEntry {
  std::u16string Name;
  uint8_t Type = 0;
  uint32_t Left = kNoStream, Right = kNoStream, Child = kNoStream;
  uint32_t Start = 0;
  uint64_t Size = 0;
};

bool SameNameIgnoringCase(const std::u16string& A, const std::u16string& B) {
  if (A.size() != B.size()) return false;
  const char16_t* Upper = qvnls::WideUpperTable();
  for (std::size_t I = 0; I < A.size(); ++I) {
    if (Upper[A[I]] != Upper[B[I]]) return false;
  }
  return true;
}

}  // namespace

// The parsed tables of one compound file, shared by its storage and streams.
class TCfbFile {
 public:
  explicit TCfbFile(std::shared_ptr<const TCfbSource> Source) : Source_(std::move(Source)) {}

  // Reads and checks header, FAT, directory and mini FAT; raises TCfbFault.
  void Load();

  uint32_t SectorSize() const { return SectorSize_; }
  uint32_t MiniCutoff() const { return MiniCutoff_; }
  const std::vector<TDirEntry>& Entries() const { return Entries_; }
  const std::vector<uint32_t>& Children() const { return Children_; }

  // The chain of a regular stream from Start, long enough for Bytes; a size larger than the whole file
  // is damage. Raises TCfbFault.
  std::vector<uint32_t> Chain(uint32_t Start, uint64_t Bytes, const char* What) const {
    CheckSize(Bytes, What);
    return Walk(Fat_, Start, Bytes, SectorSize_, FileSectors_, What);
  }
  std::vector<uint32_t> MiniChain(uint32_t Start, uint64_t Bytes, const char* What) const {
    CheckSize(Bytes, What);
    return Walk(MiniFat_, Start, Bytes, 1u << kMiniSectorShift, MiniSectors_, What);
  }
  // A whole chain, as long as it is (the directory's).
  std::vector<uint32_t> WholeChain(uint32_t Start, const char* What) const {
    return Walk(Fat_, Start, kWholeChain, SectorSize_, FileSectors_, What);
  }

  // Reads the bytes of sector Index of a stream into Buffer (sector size, or the mini sector size).
  bool ReadSector(uint32_t Sector, void* Buffer) const {
    return Source_->ReadAt((static_cast<uint64_t>(Sector) + 1) * SectorSize_, Buffer, SectorSize_);
  }
  bool ReadMiniSector(uint32_t Mini, void* Buffer) const {
    const uint64_t Offset = static_cast<uint64_t>(Mini) << kMiniSectorShift;
    const uint64_t Index = Offset / SectorSize_;
    if (Index >= MiniStream_.size()) return false;
    const uint64_t At = (static_cast<uint64_t>(MiniStream_[Index]) + 1) * SectorSize_ + Offset % SectorSize_;
    return Source_->ReadAt(At, Buffer, 1u << kMiniSectorShift);
  }

 private:
  // What Walk is given for a chain as long as it is.
  static constexpr uint64_t kWholeChain = UINT64_MAX;

  void CheckSize(uint64_t Bytes, const char* What) const {
    if (Bytes > Source_->Size())
      Corrupt(std::string(What) + ": size " + std::to_string(Bytes) + " beyond the file");
  }

  // Follows Table from Start. Each index must be below Limit (the sectors that exist) and the table's
  // size; the walk ends as soon as the chain holds Bytes (kWholeChain: at ENDOFCHAIN). A free or special
  // entry before that, a repeated sector, or a chain too short for Bytes is damage.
  static std::vector<uint32_t> Walk(const std::vector<uint32_t>& Table, uint32_t Start, uint64_t Bytes,
                                    uint32_t UnitSize, uint64_t Limit, const char* What) {
    std::vector<uint32_t> Chain;
    const uint64_t Wanted = Bytes == kWholeChain ? kWholeChain : (Bytes + UnitSize - 1) / UnitSize;
    if (Wanted == 0) return Chain;
    const uint64_t Count = std::min<uint64_t>(Table.size(), Limit);
    std::vector<bool> Seen(Count, false);
    uint32_t Sector = Start;
    while (Chain.size() < Wanted) {
      if (Sector == kEndOfChain) {
        if (Bytes == kWholeChain) break;
        Corrupt(std::string(What) + ": chain ends after " + std::to_string(Chain.size()) + " of " +
                std::to_string(Wanted) + " sectors");
      }
      if (Sector >= Count) {
        Corrupt(std::string(What) + ": sector " + Hex(Sector) + " outside the file after " +
                std::to_string(Chain.size()) + " hops");
      }
      if (Seen[Sector]) Corrupt(std::string(What) + ": chain loops back to sector " + std::to_string(Sector));
      Seen[Sector] = true;
      Chain.push_back(Sector);
      Sector = Table[Sector];
    }
    return Chain;
  }

  void ReadHeader(uint8_t* Header);
  std::vector<uint32_t> FatSectors(const uint8_t* Header);
  std::vector<uint32_t> ReadTable(const std::vector<uint32_t>& Sectors, const char* What) const;
  void ReadDirectory(uint32_t First);
  void CollectChildren();

  std::shared_ptr<const TCfbSource> Source_;
  uint32_t SectorSize_ = 512;
  uint32_t MiniCutoff_ = 4096;
  uint64_t FileSectors_ = 0;  // sectors that start inside the file
  uint64_t MiniSectors_ = 0;  // mini sectors inside the mini stream
  std::vector<uint32_t> Fat_;
  std::vector<uint32_t> MiniFat_;
  std::vector<uint32_t> MiniStream_;  // the root's chain
  std::vector<TDirEntry> Entries_;
  std::vector<uint32_t> Children_;  // the root's children, in tree order
};

void TCfbFile::ReadHeader(uint8_t* Header) {
  const uint64_t Size = Source_->Size();
  uint8_t Signature[8];
  if (Size < sizeof Signature || !Source_->ReadAt(0, Signature, sizeof Signature) ||
      std::memcmp(Signature, kSignature, sizeof Signature) != 0) {
    throw TCfbFault{STG_E_FILEALREADYEXISTS, "no compound-file signature"};
  }
  if (Size < kCfbHeaderSize || !Source_->ReadAt(0, Header, kCfbHeaderSize)) {
    throw TCfbFault{STG_E_INVALIDHEADER, "header cut off at " + std::to_string(Size) + " bytes"};
  }
  const uint16_t Major = Get16(Header + 26);
  const uint16_t ByteOrder = Get16(Header + 28);
  const uint16_t Shift = Get16(Header + 30);
  const uint16_t MiniShift = Get16(Header + 32);
  if (ByteOrder != 0xFFFE) throw TCfbFault{STG_E_INVALIDHEADER, "byte order mark " + Hex(ByteOrder)};
  // Version 3 files have 512-byte sectors, version 4 files 4096-byte ones.
  if (!((Major == 3 && Shift == 9) || (Major == 4 && Shift == 12))) {
    throw TCfbFault{STG_E_INVALIDHEADER,
                    "version " + std::to_string(Major) + " with sector shift " + std::to_string(Shift)};
  }
  if (MiniShift != kMiniSectorShift) {
    throw TCfbFault{STG_E_INVALIDHEADER, "mini sector shift " + std::to_string(MiniShift)};
  }
  SectorSize_ = 1u << Shift;
  MiniCutoff_ = Get32(Header + 56);
  // Sectors that start inside the file; the last one may be cut short, which a read of it then reports.
  FileSectors_ = Size <= SectorSize_ ? 0 : (Size - SectorSize_ + SectorSize_ - 1) / SectorSize_;
}

std::vector<uint32_t> TCfbFile::FatSectors(const uint8_t* Header) {
  const uint32_t FatCount = Get32(Header + 44);
  const uint32_t DifatCount = Get32(Header + 72);
  uint32_t Difat = Get32(Header + 68);
  // Every FAT and DIFAT sector is a sector of the file, so neither count can exceed the file's sectors.
  if (FatCount == 0 || FatCount > FileSectors_) Corrupt("FAT sector count " + std::to_string(FatCount));
  if (DifatCount > FileSectors_) Corrupt("DIFAT sector count " + std::to_string(DifatCount));
  std::vector<uint32_t> Sectors;
  for (uint32_t I = 0; I < kHeaderDifatEntries && Sectors.size() < FatCount; ++I) {
    Sectors.push_back(Get32(Header + 76 + 4 * I));
  }
  const uint32_t PerSector = SectorSize_ / 4 - 1;  // the last entry links to the next DIFAT sector
  std::vector<uint8_t> Buffer(SectorSize_);
  std::vector<bool> Seen(FileSectors_, false);
  for (uint32_t Hops = 0; Sectors.size() < FatCount; ++Hops) {
    if (Hops >= DifatCount || Difat > kMaxRegSect) {
      Corrupt("DIFAT ends after " + std::to_string(Sectors.size()) + " of " + std::to_string(FatCount) +
              " FAT sectors");
    }
    if (Difat >= FileSectors_) Corrupt("DIFAT sector " + Hex(Difat) + " outside the file");
    if (Seen[Difat]) Corrupt("DIFAT chain loops back to sector " + std::to_string(Difat));
    Seen[Difat] = true;
    if (!ReadSector(Difat, Buffer.data())) Corrupt("DIFAT sector " + std::to_string(Difat) + " cut off");
    for (uint32_t I = 0; I < PerSector && Sectors.size() < FatCount; ++I) {
      Sectors.push_back(Get32(Buffer.data() + 4 * I));
    }
    Difat = Get32(Buffer.data() + 4 * PerSector);
  }
  for (uint32_t S : Sectors) {
    if (S >= FileSectors_) Corrupt("FAT sector " + Hex(S) + " outside the file");
  }
  return Sectors;
}

// The 32-bit entries of the sectors given, in order.
std::vector<uint32_t> TCfbFile::ReadTable(const std::vector<uint32_t>& Sectors, const char* What) const {
  std::vector<uint32_t> Table;
  Table.reserve(Sectors.size() * (SectorSize_ / 4));
  std::vector<uint8_t> Buffer(SectorSize_);
  for (uint32_t S : Sectors) {
    if (!ReadSector(S, Buffer.data()))
      Corrupt(std::string(What) + " sector " + std::to_string(S) + " cut off");
    for (uint32_t I = 0; I < SectorSize_; I += 4) Table.push_back(Get32(Buffer.data() + I));
  }
  return Table;
}

void TCfbFile::ReadDirectory(uint32_t First) {
  const std::vector<uint32_t> Chain = WholeChain(First, "directory");
  if (Chain.empty()) Corrupt("no directory");
  std::vector<uint8_t> Buffer(SectorSize_);
  for (uint32_t S : Chain) {
    if (!ReadSector(S, Buffer.data())) Corrupt("directory sector " + std::to_string(S) + " cut off");
    for (uint32_t At = 0; At < SectorSize_; At += kCfbDirEntrySize) {
      const uint8_t* E = Buffer.data() + At;
      TDirEntry Entry;
      Entry.Type = E[66];
      const uint16_t NameBytes = Get16(E + 64);
      // The length counts the terminator; a name that does not fit the entry is read as empty.
      if (NameBytes >= 2 && NameBytes <= 2 * (kCfbMaxNameChars + 1) && NameBytes % 2 == 0) {
        for (uint32_t I = 0; I + 1 < NameBytes / 2u; ++I)
          Entry.Name += static_cast<char16_t>(Get16(E + 2 * I));
      }
      Entry.Left = Get32(E + 68);
      Entry.Right = Get32(E + 72);
      Entry.Child = Get32(E + 76);
      Entry.Start = Get32(E + 116);
      Entry.Size = Get64(E + 120);
      // Version 3 files keep only 32 bits of size; the high half may hold anything.
      if (SectorSize_ == 512) Entry.Size &= 0xFFFFFFFFu;
      Entries_.push_back(std::move(Entry));
    }
  }
  if (Entries_[0].Type != kTypeRoot) Corrupt("first directory entry is not the root");
}

// Walks the root's child tree (left and right siblings) once; a repeated entry is a cycle.
void TCfbFile::CollectChildren() {
  std::vector<bool> Seen(Entries_.size(), false);
  Seen[0] = true;
  std::vector<uint32_t> Stack;
  if (Entries_[0].Child != kNoStream) Stack.push_back(Entries_[0].Child);
  while (!Stack.empty()) {
    const uint32_t Index = Stack.back();
    Stack.pop_back();
    if (Index >= Entries_.size()) Corrupt("directory entry " + Hex(Index) + " outside the directory");
    if (Seen[Index]) Corrupt("directory tree loops back to entry " + std::to_string(Index));
    Seen[Index] = true;
    const TDirEntry& E = Entries_[Index];
    if (E.Type != kTypeStream && E.Type != kTypeStorage) {
      Corrupt("directory entry " + std::to_string(Index) + " of type " + std::to_string(E.Type) +
              " in the tree");
    }
    Children_.push_back(Index);
    if (E.Right != kNoStream) Stack.push_back(E.Right);
    if (E.Left != kNoStream) Stack.push_back(E.Left);
  }
}

void TCfbFile::Load() {
  uint8_t Header[kCfbHeaderSize];
  ReadHeader(Header);
  Fat_ = ReadTable(FatSectors(Header), "FAT");
  ReadDirectory(Get32(Header + 48));
  const TDirEntry& Root = Entries_[0];
  // The mini stream is the root's data; the mini FAT has a chain of its own in the FAT.
  MiniStream_ = Chain(Root.Start, Root.Size, "mini stream");
  MiniSectors_ = Root.Size >> kMiniSectorShift;
  const uint32_t MiniFatCount = Get32(Header + 64);
  if (MiniFatCount > FileSectors_) Corrupt("mini FAT sector count " + std::to_string(MiniFatCount));
  if (MiniFatCount > 0) {
    MiniFat_ = ReadTable(
        Chain(Get32(Header + 60), static_cast<uint64_t>(MiniFatCount) * SectorSize_, "mini FAT"), "mini FAT");
  }
  CollectChildren();
}

TCfbStorage::TCfbStorage(std::shared_ptr<const TCfbFile> File) : File_(std::move(File)) {}
TCfbStorage::~TCfbStorage() = default;

uint32_t TCfbStorage::SectorSize() const { return File_->SectorSize(); }

std::vector<std::u16string> TCfbStorage::StreamNames() const {
  std::vector<std::u16string> Names;
  for (uint32_t I : File_->Children()) {
    if (File_->Entries()[I].Type == kTypeStream) Names.push_back(File_->Entries()[I].Name);
  }
  return Names;
}

HRESULT TCfbStorage::OpenStream(const std::u16string& Name, uint32_t Mode,
                                std::unique_ptr<TCfbStream>& Stream) {
  Detail_.clear();
  Stream.reset();
  if (Mode & (STGM_WRITE | STGM_READWRITE)) {
    Detail_ = "only reading is possible";
    return STG_E_INVALIDFLAG;
  }
  if (Name.empty() || Name.size() > kCfbMaxNameChars) {
    Detail_ = "stream name of " + std::to_string(Name.size()) + " characters";
    return STG_E_INVALIDNAME;
  }
  for (uint32_t I : File_->Children()) {
    const TDirEntry& E = File_->Entries()[I];
    if (E.Type != kTypeStream || !SameNameIgnoringCase(E.Name, Name)) continue;
    try {
      const bool Mini = E.Size < File_->MiniCutoff();
      std::vector<uint32_t> Chain = Mini ? File_->MiniChain(E.Start, E.Size, "stream in the mini stream")
                                         : File_->Chain(E.Start, E.Size, "stream");
      Stream.reset(new TCfbStream(File_, std::move(Chain), Mini, E.Size));
      return S_OK;
    } catch (const TCfbFault& Fault) {
      Detail_ = Fault.Detail;
      return Fault.Code;
    } catch (const std::bad_alloc&) {
      Detail_ = "no memory for the stream's chain";
      return STG_E_INSUFFICIENTMEMORY;
    }
  }
  Detail_ = "no stream of that name";
  return STG_E_FILENOTFOUND;
}

TCfbStream::TCfbStream(std::shared_ptr<const TCfbFile> File, std::vector<uint32_t> Sectors, bool Mini,
                       uint64_t Size)
    : File_(std::move(File)), Sectors_(std::move(Sectors)), Mini_(Mini), Size_(Size) {
  Cache_.resize(Mini_ ? (1u << kMiniSectorShift) : File_->SectorSize());
}

TCfbStream::~TCfbStream() = default;

bool TCfbStream::FillSector(uint64_t Index) {
  if (Index == Cached_) return true;
  Cached_ = UINT64_MAX;
  if (Index >= Sectors_.size()) return false;
  const bool Ok = Mini_ ? File_->ReadMiniSector(Sectors_[Index], Cache_.data())
                        : File_->ReadSector(Sectors_[Index], Cache_.data());
  if (Ok) Cached_ = Index;
  return Ok;
}

HRESULT TCfbStream::Read(void* Buffer, uint32_t Count, uint32_t* Read) {
  uint32_t Done = 0;
  HRESULT Result = S_OK;
  if (Buffer == nullptr && Count > 0) {
    Result = STG_E_INVALIDPOINTER;
  } else {
    auto* Out = static_cast<uint8_t*>(Buffer);
    const uint64_t Unit = Cache_.size();
    while (Done < Count && Position_ < Size_) {
      const uint64_t Index = Position_ / Unit;
      const uint64_t Offset = Position_ % Unit;
      if (!FillSector(Index)) {
        Result = STG_E_READFAULT;
        break;
      }
      const uint64_t N = std::min<uint64_t>({Unit - Offset, Count - Done, Size_ - Position_});
      std::memcpy(Out + Done, Cache_.data() + Offset, N);
      Done += static_cast<uint32_t>(N);
      Position_ += N;
    }
  }
  if (Read != nullptr) *Read = Done;
  return Result;
}

HRESULT TCfbStream::Seek(int64_t Offset, uint32_t Origin, uint64_t* NewPosition) {
  int64_t Base;
  switch (Origin) {
    case STREAM_SEEK_SET:
      Base = 0;
      break;
    case STREAM_SEEK_CUR:
      Base = static_cast<int64_t>(Position_);
      break;
    case STREAM_SEEK_END:
      Base = static_cast<int64_t>(Size_);
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  // Positions stay within 0 .. 2^62, far beyond any stream, so the sum below cannot overflow.
  constexpr int64_t kLimit = int64_t{1} << 62;
  if (Offset > kLimit || Offset < -kLimit || Base + Offset < 0) return STG_E_INVALIDFUNCTION;
  Position_ = static_cast<uint64_t>(std::min(Base + Offset, kLimit));
  if (NewPosition != nullptr) *NewPosition = Position_;
  return S_OK;
}

HRESULT OpenCfbFileSource(const std::string& FileName, std::shared_ptr<const TCfbSource>& Source) {
  Source.reset();
  int Fd;
  do {
    Fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  } while (Fd < 0 && errno == EINTR);
  if (Fd < 0) {
    switch (errno) {
      case ENOENT: {
        // A missing file in an existing folder, or a folder on the way that is missing.
        const std::size_t Slash = FileName.rfind('/');
        const std::string Folder = Slash == std::string::npos ? "." : FileName.substr(0, Slash + 1);
        struct stat St;
        return stat(Folder.c_str(), &St) == 0 ? STG_E_FILENOTFOUND : STG_E_PATHNOTFOUND;
      }
      case ENOTDIR:
      case ENAMETOOLONG:
        return STG_E_PATHNOTFOUND;
      case EACCES:
      case EPERM:
      case EISDIR:
        return STG_E_ACCESSDENIED;
      case EMFILE:
      case ENFILE:
        return STG_E_TOOMANYOPENFILES;
      case ENOMEM:
        return STG_E_INSUFFICIENTMEMORY;
      default:
        return STG_E_READFAULT;
    }
  }
  struct stat St;
  if (fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) {
    close(Fd);
    return STG_E_ACCESSDENIED;
  }
  try {
    Source = std::make_shared<TFileSource>(Fd, static_cast<uint64_t>(St.st_size));
  } catch (const std::bad_alloc&) {
    close(Fd);
    return STG_E_INSUFFICIENTMEMORY;
  }
  return S_OK;
}

std::shared_ptr<const TCfbSource> MakeCfbMemorySource(std::string Bytes) {
  return std::make_shared<TMemorySource>(std::move(Bytes));
}

HRESULT CfbOpenStorage(std::shared_ptr<const TCfbSource> Source, uint32_t Mode,
                       std::unique_ptr<TCfbStorage>& Storage, std::string* Detail) {
  Storage.reset();
  auto Fail = [Detail](HRESULT Code, std::string Text) {
    if (Detail != nullptr) *Detail = std::move(Text);
    return Code;
  };
  if (Source == nullptr) return Fail(STG_E_INVALIDPOINTER, "no source");
  if (Mode & (STGM_WRITE | STGM_READWRITE)) return Fail(STG_E_INVALIDFLAG, "only reading is possible");
  try {
    auto File = std::make_shared<TCfbFile>(std::move(Source));
    File->Load();
    Storage.reset(new TCfbStorage(std::move(File)));
  } catch (const TCfbFault& Fault) {
    return Fail(Fault.Code, Fault.Detail);
  } catch (const std::bad_alloc&) {
    return Fail(STG_E_INSUFFICIENTMEMORY, "no memory for the file's tables");
  }
  if (Detail != nullptr) Detail->clear();
  return S_OK;
}

HRESULT StgOpenStorage(const std::string& FileName, uint32_t Mode, std::unique_ptr<TCfbStorage>& Storage,
                       std::string* Detail) {
  Storage.reset();
  std::shared_ptr<const TCfbSource> Source;
  const HRESULT Opened = OpenCfbFileSource(FileName, Source);
  if (Opened != S_OK) {
    if (Detail != nullptr) *Detail = "the file could not be opened";
    return Opened;
  }
  return CfbOpenStorage(std::move(Source), Mode, Storage, Detail);
}

std::string CfbErrorText(HRESULT Code) {
  switch (Code) {
    case STG_E_INVALIDFUNCTION:
    case STG_E_INVALIDPOINTER:
    case STG_E_INVALIDPARAMETER:
    case STG_E_INVALIDNAME:
    case STG_E_INVALIDFLAG:
      return "Error in parameters";
    case STG_E_FILENOTFOUND:
      return "The stream with specified name does not exist";
    case STG_E_PATHNOTFOUND:
      return "The path specified does not exist";
    case STG_E_TOOMANYOPENFILES:
      return "Too many open files";
    case STG_E_ACCESSDENIED:
      return "Access denied because the caller has insufficient permission, or another caller has the file "
             "open and locked";
    case STG_E_INSUFFICIENTMEMORY:
      return "Out of memory";
    case STG_E_SHAREVIOLATION:
    case STG_E_LOCKVIOLATION:
      return "Access denied because another caller has the file open and locked";
    case STG_E_FILEALREADYEXISTS:
      return "The file is not a storage object";
    case STG_E_OLDDLL:
      return "The DLL being used to open this storage object is a version of the DLL that is older than the "
             "one used to create it";
    case STG_E_REVERTED:
      return "The storage object has been invalidated by a revert operation above it in the transaction tree";
    default:
      return "";
  }
}
