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

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

std::string Hex(uint64_t v) {
  char text[24];
  snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

class TFileSource final : public TCfbSource {
 public:
  TFileSource(int Fd, uint64_t Size) : fd_(Fd), size_(Size) {}
  ~TFileSource() override { close(fd_); }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t Offset, void* Buffer, std::size_t Count) const override {
    auto* out = static_cast<char*>(Buffer);
    while (Count > 0) {
      ssize_t n = pread(fd_, out, Count, static_cast<off_t>(Offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      out += n;
      Offset += static_cast<uint64_t>(n);
      Count -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_;
};

class TMemorySource final : public TCfbSource {
 public:
  explicit TMemorySource(std::string Bytes) : bytes_(std::move(Bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t Offset, void* Buffer, std::size_t Count) const override {
    if (Offset > bytes_.size() || Count > bytes_.size() - Offset) return false;
    if (Count > 0) std::memcpy(Buffer, bytes_.data() + Offset, Count);
    return true;
  }

 private:
  std::string bytes_;
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
  const char16_t* upper = qvnls::WideUpperTable();
  for (std::size_t i = 0; i < A.size(); ++i) {
    if (upper[A[i]] != upper[B[i]]) return false;
  }
  return true;
}

}  // namespace

// The parsed tables of one compound file, shared by its storage and streams.
class TCfbFile {
 public:
  explicit TCfbFile(std::shared_ptr<const TCfbSource> Source) : source_(std::move(Source)) {}

  // Reads and checks header, FAT, directory and mini FAT; raises TCfbFault.
  void Load();

  uint32_t SectorSize() const { return sector_size_; }
  uint32_t MiniCutoff() const { return mini_cutoff_; }
  const std::vector<TDirEntry>& Entries() const { return entries_; }
  const std::vector<uint32_t>& Children() const { return children_; }

  // The chain of a regular stream from Start, long enough for Bytes; a size larger than the whole file
  // is damage. Raises TCfbFault.
  std::vector<uint32_t> Chain(uint32_t Start, uint64_t Bytes, const char* What) const {
    CheckSize(Bytes, What);
    return Walk(fat_, Start, Bytes, sector_size_, file_sectors_, What);
  }
  std::vector<uint32_t> MiniChain(uint32_t Start, uint64_t Bytes, const char* What) const {
    CheckSize(Bytes, What);
    return Walk(mini_fat_, Start, Bytes, 1u << kMiniSectorShift, mini_sectors_, What);
  }
  // A whole chain, as long as it is (the directory's).
  std::vector<uint32_t> WholeChain(uint32_t Start, const char* What) const {
    return Walk(fat_, Start, kWholeChain, sector_size_, file_sectors_, What);
  }

  // Reads the bytes of sector Index of a stream into Buffer (sector size, or the mini sector size).
  bool ReadSector(uint32_t Sector, void* Buffer) const {
    return source_->ReadAt((static_cast<uint64_t>(Sector) + 1) * sector_size_, Buffer, sector_size_);
  }
  bool ReadMiniSector(uint32_t Mini, void* Buffer) const {
    const uint64_t offset = static_cast<uint64_t>(Mini) << kMiniSectorShift;
    const uint64_t index = offset / sector_size_;
    if (index >= mini_stream_.size()) return false;
    const uint64_t at =
        (static_cast<uint64_t>(mini_stream_[index]) + 1) * sector_size_ + offset % sector_size_;
    return source_->ReadAt(at, Buffer, 1u << kMiniSectorShift);
  }

 private:
  // What Walk is given for a chain as long as it is.
  static constexpr uint64_t kWholeChain = UINT64_MAX;

  void CheckSize(uint64_t Bytes, const char* What) const {
    if (Bytes > source_->Size())
      Corrupt(std::string(What) + ": size " + std::to_string(Bytes) + " beyond the file");
  }

  // Follows Table from Start. Each index must be below Limit (the sectors that exist) and the table's
  // size; the walk ends as soon as the chain holds Bytes (kWholeChain: at ENDOFCHAIN). A free or special
  // entry before that, a repeated sector, or a chain too short for Bytes is damage.
  static std::vector<uint32_t> Walk(const std::vector<uint32_t>& Table, uint32_t Start, uint64_t Bytes,
                                    uint32_t UnitSize, uint64_t Limit, const char* What) {
    std::vector<uint32_t> chain;
    const uint64_t wanted = Bytes == kWholeChain ? kWholeChain : (Bytes + UnitSize - 1) / UnitSize;
    if (wanted == 0) return chain;
    const uint64_t count = std::min<uint64_t>(Table.size(), Limit);
    std::vector<bool> seen(count, false);
    uint32_t sector = Start;
    while (chain.size() < wanted) {
      if (sector == kEndOfChain) {
        if (Bytes == kWholeChain) break;
        Corrupt(std::string(What) + ": chain ends after " + std::to_string(chain.size()) + " of " +
                std::to_string(wanted) + " sectors");
      }
      if (sector >= count) {
        Corrupt(std::string(What) + ": sector " + Hex(sector) + " outside the file after " +
                std::to_string(chain.size()) + " hops");
      }
      if (seen[sector]) Corrupt(std::string(What) + ": chain loops back to sector " + std::to_string(sector));
      seen[sector] = true;
      chain.push_back(sector);
      sector = Table[sector];
    }
    return chain;
  }

  void ReadHeader(uint8_t* Header);
  std::vector<uint32_t> FatSectors(const uint8_t* Header);
  std::vector<uint32_t> ReadTable(const std::vector<uint32_t>& Sectors, const char* What) const;
  void ReadDirectory(uint32_t First);
  void CollectChildren();

  std::shared_ptr<const TCfbSource> source_;
  uint32_t sector_size_ = 512;
  uint32_t mini_cutoff_ = 4096;
  uint64_t file_sectors_ = 0;  // sectors that start inside the file
  uint64_t mini_sectors_ = 0;  // mini sectors inside the mini stream
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> mini_fat_;
  std::vector<uint32_t> mini_stream_;  // the root's chain
  std::vector<TDirEntry> entries_;
  std::vector<uint32_t> children_;  // the root's children, in tree order
};

void TCfbFile::ReadHeader(uint8_t* Header) {
  const uint64_t size = source_->Size();
  uint8_t signature[8];
  if (size < sizeof signature || !source_->ReadAt(0, signature, sizeof signature) ||
      std::memcmp(signature, kSignature, sizeof signature) != 0) {
    throw TCfbFault{STG_E_FILEALREADYEXISTS, "no compound-file signature"};
  }
  if (size < kCfbHeaderSize || !source_->ReadAt(0, Header, kCfbHeaderSize)) {
    throw TCfbFault{STG_E_INVALIDHEADER, "header cut off at " + std::to_string(size) + " bytes"};
  }
  const uint16_t major = Get16(Header + 26);
  const uint16_t byte_order = Get16(Header + 28);
  const uint16_t shift = Get16(Header + 30);
  const uint16_t mini_shift = Get16(Header + 32);
  if (byte_order != 0xFFFE) throw TCfbFault{STG_E_INVALIDHEADER, "byte order mark " + Hex(byte_order)};
  // Version 3 files have 512-byte sectors, version 4 files 4096-byte ones.
  if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) {
    throw TCfbFault{STG_E_INVALIDHEADER,
                    "version " + std::to_string(major) + " with sector shift " + std::to_string(shift)};
  }
  if (mini_shift != kMiniSectorShift) {
    throw TCfbFault{STG_E_INVALIDHEADER, "mini sector shift " + std::to_string(mini_shift)};
  }
  sector_size_ = 1u << shift;
  mini_cutoff_ = Get32(Header + 56);
  // Sectors that start inside the file; the last one may be cut short, which a read of it then reports.
  file_sectors_ = size <= sector_size_ ? 0 : (size - sector_size_ + sector_size_ - 1) / sector_size_;
}

std::vector<uint32_t> TCfbFile::FatSectors(const uint8_t* Header) {
  const uint32_t fat_count = Get32(Header + 44);
  const uint32_t difat_count = Get32(Header + 72);
  uint32_t difat = Get32(Header + 68);
  // Every FAT and DIFAT sector is a sector of the file, so neither count can exceed the file's sectors.
  if (fat_count == 0 || fat_count > file_sectors_) Corrupt("FAT sector count " + std::to_string(fat_count));
  if (difat_count > file_sectors_) Corrupt("DIFAT sector count " + std::to_string(difat_count));
  std::vector<uint32_t> sectors;
  for (uint32_t i = 0; i < kHeaderDifatEntries && sectors.size() < fat_count; ++i) {
    sectors.push_back(Get32(Header + 76 + 4 * i));
  }
  const uint32_t per_sector = sector_size_ / 4 - 1;  // the last entry links to the next DIFAT sector
  std::vector<uint8_t> buffer(sector_size_);
  std::vector<bool> seen(file_sectors_, false);
  for (uint32_t hops = 0; sectors.size() < fat_count; ++hops) {
    if (hops >= difat_count || difat > kMaxRegSect) {
      Corrupt("DIFAT ends after " + std::to_string(sectors.size()) + " of " + std::to_string(fat_count) +
              " FAT sectors");
    }
    if (difat >= file_sectors_) Corrupt("DIFAT sector " + Hex(difat) + " outside the file");
    if (seen[difat]) Corrupt("DIFAT chain loops back to sector " + std::to_string(difat));
    seen[difat] = true;
    if (!ReadSector(difat, buffer.data())) Corrupt("DIFAT sector " + std::to_string(difat) + " cut off");
    for (uint32_t i = 0; i < per_sector && sectors.size() < fat_count; ++i) {
      sectors.push_back(Get32(buffer.data() + 4 * i));
    }
    difat = Get32(buffer.data() + 4 * per_sector);
  }
  for (uint32_t s : sectors) {
    if (s >= file_sectors_) Corrupt("FAT sector " + Hex(s) + " outside the file");
  }
  return sectors;
}

// The 32-bit entries of the sectors given, in order.
std::vector<uint32_t> TCfbFile::ReadTable(const std::vector<uint32_t>& Sectors, const char* What) const {
  std::vector<uint32_t> table;
  table.reserve(Sectors.size() * (sector_size_ / 4));
  std::vector<uint8_t> buffer(sector_size_);
  for (uint32_t s : Sectors) {
    if (!ReadSector(s, buffer.data()))
      Corrupt(std::string(What) + " sector " + std::to_string(s) + " cut off");
    for (uint32_t i = 0; i < sector_size_; i += 4) table.push_back(Get32(buffer.data() + i));
  }
  return table;
}

void TCfbFile::ReadDirectory(uint32_t First) {
  const std::vector<uint32_t> chain = WholeChain(First, "directory");
  if (chain.empty()) Corrupt("no directory");
  std::vector<uint8_t> buffer(sector_size_);
  for (uint32_t s : chain) {
    if (!ReadSector(s, buffer.data())) Corrupt("directory sector " + std::to_string(s) + " cut off");
    for (uint32_t at = 0; at < sector_size_; at += kCfbDirEntrySize) {
      const uint8_t* e = buffer.data() + at;
      TDirEntry entry;
      entry.Type = e[66];
      const uint16_t name_bytes = Get16(e + 64);
      // The length counts the terminator; a name that does not fit the entry is read as empty.
      if (name_bytes >= 2 && name_bytes <= 2 * (kCfbMaxNameChars + 1) && name_bytes % 2 == 0) {
        for (uint32_t i = 0; i + 1 < name_bytes / 2u; ++i)
          entry.Name += static_cast<char16_t>(Get16(e + 2 * i));
      }
      entry.Left = Get32(e + 68);
      entry.Right = Get32(e + 72);
      entry.Child = Get32(e + 76);
      entry.Start = Get32(e + 116);
      entry.Size = Get64(e + 120);
      // Version 3 files keep only 32 bits of size; the high half may hold anything.
      if (sector_size_ == 512) entry.Size &= 0xFFFFFFFFu;
      entries_.push_back(std::move(entry));
    }
  }
  if (entries_[0].Type != kTypeRoot) Corrupt("first directory entry is not the root");
}

// Walks the root's child tree (left and right siblings) once; a repeated entry is a cycle.
void TCfbFile::CollectChildren() {
  std::vector<bool> seen(entries_.size(), false);
  seen[0] = true;
  std::vector<uint32_t> stack;
  if (entries_[0].Child != kNoStream) stack.push_back(entries_[0].Child);
  while (!stack.empty()) {
    const uint32_t index = stack.back();
    stack.pop_back();
    if (index >= entries_.size()) Corrupt("directory entry " + Hex(index) + " outside the directory");
    if (seen[index]) Corrupt("directory tree loops back to entry " + std::to_string(index));
    seen[index] = true;
    const TDirEntry& e = entries_[index];
    if (e.Type != kTypeStream && e.Type != kTypeStorage) {
      Corrupt("directory entry " + std::to_string(index) + " of type " + std::to_string(e.Type) +
              " in the tree");
    }
    children_.push_back(index);
    if (e.Right != kNoStream) stack.push_back(e.Right);
    if (e.Left != kNoStream) stack.push_back(e.Left);
  }
}

void TCfbFile::Load() {
  uint8_t header[kCfbHeaderSize];
  ReadHeader(header);
  fat_ = ReadTable(FatSectors(header), "FAT");
  ReadDirectory(Get32(header + 48));
  const TDirEntry& root = entries_[0];
  // The mini stream is the root's data; the mini FAT has a chain of its own in the FAT.
  mini_stream_ = Chain(root.Start, root.Size, "mini stream");
  mini_sectors_ = root.Size >> kMiniSectorShift;
  const uint32_t mini_fat_count = Get32(header + 64);
  if (mini_fat_count > file_sectors_) Corrupt("mini FAT sector count " + std::to_string(mini_fat_count));
  if (mini_fat_count > 0) {
    mini_fat_ =
        ReadTable(Chain(Get32(header + 60), static_cast<uint64_t>(mini_fat_count) * sector_size_, "mini FAT"),
                  "mini FAT");
  }
  CollectChildren();
}

TCfbStorage::TCfbStorage(std::shared_ptr<const TCfbFile> File) : file_(std::move(File)) {}
TCfbStorage::~TCfbStorage() = default;

uint32_t TCfbStorage::SectorSize() const { return file_->SectorSize(); }

std::vector<std::u16string> TCfbStorage::StreamNames() const {
  std::vector<std::u16string> names;
  for (uint32_t i : file_->Children()) {
    if (file_->Entries()[i].Type == kTypeStream) names.push_back(file_->Entries()[i].Name);
  }
  return names;
}

HRESULT TCfbStorage::OpenStream(const std::u16string& Name, uint32_t Mode,
                                std::unique_ptr<TCfbStream>& Stream) {
  detail_.clear();
  Stream.reset();
  if (Mode & (STGM_WRITE | STGM_READWRITE)) {
    detail_ = "only reading is possible";
    return STG_E_INVALIDFLAG;
  }
  if (Name.empty() || Name.size() > kCfbMaxNameChars) {
    detail_ = "stream name of " + std::to_string(Name.size()) + " characters";
    return STG_E_INVALIDNAME;
  }
  for (uint32_t i : file_->Children()) {
    const TDirEntry& e = file_->Entries()[i];
    if (e.Type != kTypeStream || !SameNameIgnoringCase(e.Name, Name)) continue;
    try {
      const bool mini = e.Size < file_->MiniCutoff();
      std::vector<uint32_t> chain = mini ? file_->MiniChain(e.Start, e.Size, "stream in the mini stream")
                                         : file_->Chain(e.Start, e.Size, "stream");
      Stream.reset(new TCfbStream(file_, std::move(chain), mini, e.Size));
      return S_OK;
    } catch (const TCfbFault& fault) {
      detail_ = fault.Detail;
      return fault.Code;
    } catch (const std::bad_alloc&) {
      detail_ = "no memory for the stream's chain";
      return STG_E_INSUFFICIENTMEMORY;
    }
  }
  detail_ = "no stream of that name";
  return STG_E_FILENOTFOUND;
}

TCfbStream::TCfbStream(std::shared_ptr<const TCfbFile> File, std::vector<uint32_t> Sectors, bool Mini,
                       uint64_t Size)
    : file_(std::move(File)), sectors_(std::move(Sectors)), mini_(Mini), size_(Size) {
  cache_.resize(mini_ ? (1u << kMiniSectorShift) : file_->SectorSize());
}

TCfbStream::~TCfbStream() = default;

bool TCfbStream::FillSector(uint64_t Index) {
  if (Index == cached_) return true;
  cached_ = UINT64_MAX;
  if (Index >= sectors_.size()) return false;
  const bool ok = mini_ ? file_->ReadMiniSector(sectors_[Index], cache_.data())
                        : file_->ReadSector(sectors_[Index], cache_.data());
  if (ok) cached_ = Index;
  return ok;
}

HRESULT TCfbStream::Read(void* Buffer, uint32_t Count, uint32_t* Read) {
  uint32_t done = 0;
  HRESULT result = S_OK;
  if (Buffer == nullptr && Count > 0) {
    result = STG_E_INVALIDPOINTER;
  } else {
    auto* out = static_cast<uint8_t*>(Buffer);
    const uint64_t unit = cache_.size();
    while (done < Count && position_ < size_) {
      const uint64_t index = position_ / unit;
      const uint64_t offset = position_ % unit;
      if (!FillSector(index)) {
        result = STG_E_READFAULT;
        break;
      }
      const uint64_t n = std::min<uint64_t>({unit - offset, Count - done, size_ - position_});
      std::memcpy(out + done, cache_.data() + offset, n);
      done += static_cast<uint32_t>(n);
      position_ += n;
    }
  }
  if (Read != nullptr) *Read = done;
  return result;
}

HRESULT TCfbStream::Seek(int64_t Offset, uint32_t Origin, uint64_t* NewPosition) {
  int64_t base;
  switch (Origin) {
    case STREAM_SEEK_SET:
      base = 0;
      break;
    case STREAM_SEEK_CUR:
      base = static_cast<int64_t>(position_);
      break;
    case STREAM_SEEK_END:
      base = static_cast<int64_t>(size_);
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  // Positions stay within 0 .. 2^62, far beyond any stream, so the sum below cannot overflow.
  constexpr int64_t kLimit = int64_t{1} << 62;
  if (Offset > kLimit || Offset < -kLimit || base + Offset < 0) return STG_E_INVALIDFUNCTION;
  position_ = static_cast<uint64_t>(std::min(base + Offset, kLimit));
  if (NewPosition != nullptr) *NewPosition = position_;
  return S_OK;
}

HRESULT OpenCfbFileSource(const std::string& FileName, std::shared_ptr<const TCfbSource>& Source) {
  Source.reset();
  int fd;
  do {
    fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    switch (errno) {
      case ENOENT: {
        // A missing file in an existing folder, or a folder on the way that is missing.
        const std::size_t slash = FileName.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : FileName.substr(0, slash + 1);
        struct stat st;
        return stat(folder.c_str(), &st) == 0 ? STG_E_FILENOTFOUND : STG_E_PATHNOTFOUND;
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
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return STG_E_ACCESSDENIED;
  }
  try {
    Source = std::make_shared<TFileSource>(fd, static_cast<uint64_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    close(fd);
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
  auto fail = [Detail](HRESULT Code, std::string Text) {
    if (Detail != nullptr) *Detail = std::move(Text);
    return Code;
  };
  if (Source == nullptr) return fail(STG_E_INVALIDPOINTER, "no source");
  if (Mode & (STGM_WRITE | STGM_READWRITE)) return fail(STG_E_INVALIDFLAG, "only reading is possible");
  try {
    auto file = std::make_shared<TCfbFile>(std::move(Source));
    file->Load();
    Storage.reset(new TCfbStorage(std::move(file)));
  } catch (const TCfbFault& fault) {
    return fail(fault.Code, fault.Detail);
  } catch (const std::bad_alloc&) {
    return fail(STG_E_INSUFFICIENTMEMORY, "no memory for the file's tables");
  }
  if (Detail != nullptr) Detail->clear();
  return S_OK;
}

HRESULT StgOpenStorage(const std::string& FileName, uint32_t Mode, std::unique_ptr<TCfbStorage>& Storage,
                       std::string* Detail) {
  Storage.reset();
  std::shared_ptr<const TCfbSource> source;
  const HRESULT opened = OpenCfbFileSource(FileName, source);
  if (opened != S_OK) {
    if (Detail != nullptr) *Detail = "the file could not be opened";
    return opened;
  }
  return CfbOpenStorage(std::move(source), Mode, Storage, Detail);
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
