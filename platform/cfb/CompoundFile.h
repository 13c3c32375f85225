// A read-only reader of compound files (structured storage: a small file system of named streams inside
// one file, as office documents of the 97-2003 generation are stored). It stands in for the platform's
// structured-storage service: the calls answer HRESULT-style result codes with the numeric values of that
// service, so that the layers above can keep their tables of result codes and texts.
//
// What is read: the header (sector sizes of 512 and 4096 bytes), the FAT through the DIFAT (the 109 header
// entries and the chained DIFAT sectors), the directory, the mini FAT and the mini stream, and the
// streams that are direct children of the root storage. Nothing is ever written.
//
// Hostile input: every sector index is checked against the FAT and against the file before it is used;
// every chain walk has a hop limit (the number of sectors there are) and detects loops; a stream's chain
// must hold the stream's declared size; the directory tree is walked with a visited set, so a cycle is
// reported instead of followed. A failed check answers STG_E_DOCFILECORRUPT (or, while reading a stream,
// STG_E_READFAULT), and LastDetail() says which check failed and where.
//
// Threads: a storage and the streams opened from it may be used from one thread at a time. Streams keep
// the file's data alive, so a stream may outlive the storage it was opened from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Result codes (HRESULTs). Zero and positive values are success; negative ones are failures.
using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
constexpr HRESULT STG_E_TOOMANYOPENFILES = static_cast<HRESULT>(0x80030004u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT STG_E_INSUFFICIENTMEMORY = static_cast<HRESULT>(0x80030008u);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009u);
constexpr HRESULT STG_E_SEEKERROR = static_cast<HRESULT>(0x80030019u);
constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
constexpr HRESULT STG_E_SHAREVIOLATION = static_cast<HRESULT>(0x80030020u);
constexpr HRESULT STG_E_LOCKVIOLATION = static_cast<HRESULT>(0x80030021u);
constexpr HRESULT STG_E_FILEALREADYEXISTS = static_cast<HRESULT>(0x80030050u);
constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057u);
constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FBu);
constexpr HRESULT STG_E_INVALIDNAME = static_cast<HRESULT>(0x800300FCu);
constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FFu);
constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102u);
constexpr HRESULT STG_E_OLDDLL = static_cast<HRESULT>(0x80030105u);
constexpr HRESULT STG_E_DOCFILECORRUPT = static_cast<HRESULT>(0x80030109u);

// Access modes of StgOpenStorage and OpenStream. Only reading is possible; the sharing bits are accepted
// and have no effect (the file is opened read-only and never locked).
constexpr uint32_t STGM_READ = 0x00000000u;
constexpr uint32_t STGM_WRITE = 0x00000001u;
constexpr uint32_t STGM_READWRITE = 0x00000002u;
constexpr uint32_t STGM_SHARE_EXCLUSIVE = 0x00000010u;
constexpr uint32_t STGM_SHARE_DENY_WRITE = 0x00000020u;

// Origins of TCfbStream::Seek.
constexpr uint32_t STREAM_SEEK_SET = 0;
constexpr uint32_t STREAM_SEEK_CUR = 1;
constexpr uint32_t STREAM_SEEK_END = 2;

// The layout limits this reader holds a file to.
constexpr uint32_t kCfbHeaderSize = 512;
constexpr uint32_t kCfbDirEntrySize = 128;
// The longest stream or storage name in UTF-16 units, without the terminator.
constexpr uint32_t kCfbMaxNameChars = 31;

// The bytes of a compound file: the opened file, or a block in memory (tests, embedded files).
class TCfbSource {
 public:
  virtual ~TCfbSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads Count bytes at Offset; false when they are not all there or the system failed.
  virtual bool ReadAt(uint64_t Offset, void* Buffer, std::size_t Count) const = 0;
};

// A file opened read-only, or the HRESULT that says why it could not be opened.
HRESULT OpenCfbFileSource(const std::string& FileName, std::shared_ptr<const TCfbSource>& Source);
std::shared_ptr<const TCfbSource> MakeCfbMemorySource(std::string Bytes);

class TCfbFile;

// One opened stream: a position and the sectors of its chain.
class TCfbStream {
 public:
  ~TCfbStream();
  TCfbStream(const TCfbStream&) = delete;
  TCfbStream& operator=(const TCfbStream&) = delete;

  // Reads up to Count bytes from the current position; Read receives how many arrived (fewer only at the
  // end of the stream, then the answer is still S_OK). A sector that cannot be read answers
  // STG_E_READFAULT with the bytes before it counted.
  HRESULT Read(void* Buffer, uint32_t Count, uint32_t* Read);
  // Moves the position (any place at or after 0, also beyond the end); NewPosition may be null. A position
  // before the start answers STG_E_INVALIDFUNCTION and leaves the position alone.
  HRESULT Seek(int64_t Offset, uint32_t Origin, uint64_t* NewPosition);
  // The stream's size in bytes (what Stat reports).
  uint64_t Size() const { return Size_; }
  uint64_t Position() const { return Position_; }

 private:
  friend class TCfbStorage;
  TCfbStream(std::shared_ptr<const TCfbFile> File, std::vector<uint32_t> Sectors, bool Mini, uint64_t Size);
  bool FillSector(uint64_t Index);

  std::shared_ptr<const TCfbFile> File_;
  std::vector<uint32_t> Sectors_;  // the chain, in order (mini sectors when Mini_)
  bool Mini_;
  uint64_t Size_;
  uint64_t Position_ = 0;
  // The last sector read, kept so that small reads do not go to the file each time.
  std::vector<uint8_t> Cache_;
  uint64_t Cached_ = UINT64_MAX;
};

// The root storage of an opened compound file.
class TCfbStorage {
 public:
  ~TCfbStorage();
  TCfbStorage(const TCfbStorage&) = delete;
  TCfbStorage& operator=(const TCfbStorage&) = delete;

  // Opens the stream Name among the root's children, ignoring case (as the storage service does). A
  // missing name answers STG_E_FILENOTFOUND, a name that is a storage as well; a stream whose chain does
  // not hold its size answers STG_E_DOCFILECORRUPT. Mode must not ask for writing (STG_E_INVALIDFLAG).
  HRESULT OpenStream(const std::u16string& Name, uint32_t Mode, std::unique_ptr<TCfbStream>& Stream);
  // The names of the root's children that are streams, in directory order.
  std::vector<std::u16string> StreamNames() const;
  // The sector size of the file (512 or 4096).
  uint32_t SectorSize() const;
  // Why the last failing call of this storage failed (empty after a success).
  const std::string& LastDetail() const { return Detail_; }

 private:
  friend HRESULT CfbOpenStorage(std::shared_ptr<const TCfbSource>, uint32_t, std::unique_ptr<TCfbStorage>&,
                                std::string*);
  explicit TCfbStorage(std::shared_ptr<const TCfbFile> File);
  std::shared_ptr<const TCfbFile> File_;
  std::string Detail_;
};

// Opens the compound file FileName (a path in the system's bytes) for reading. A file that is not a
// compound file answers STG_E_FILEALREADYEXISTS; a damaged one STG_E_INVALIDHEADER or
// STG_E_DOCFILECORRUPT; system failures their storage codes (a missing file STG_E_FILENOTFOUND, a missing
// folder STG_E_PATHNOTFOUND, no permission STG_E_ACCESSDENIED). Detail, when given, receives why.
HRESULT StgOpenStorage(const std::string& FileName, uint32_t Mode, std::unique_ptr<TCfbStorage>& Storage,
                       std::string* Detail = nullptr);
// The same over bytes that are already at hand.
HRESULT CfbOpenStorage(std::shared_ptr<const TCfbSource> Source, uint32_t Mode,
                       std::unique_ptr<TCfbStorage>& Storage, std::string* Detail = nullptr);

// The platform's text for a storage result code, or "" when it has none.
std::string CfbErrorText(HRESULT Code);
