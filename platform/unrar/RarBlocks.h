// The block walk of RAR 2.9-4 archives inside UnRar3.so: the marker, the main header, file headers and
// the blocks between them, read from a volume file by position; names in their stored forms; and the
// names of further volumes.
//
// What the walk checks: every block is at least the 7 bytes of a block header, lies inside the volume,
// and moves the position forward (so a chain cannot loop); a file header's fixed fields and its name fit
// inside the header; the header CRC of every block. A block that fails is "broken", unless it still reads
// as a file header: that item is handed on marked, so that it is named, and the walk goes on after its
// data. A volume that simply ends (with or without an end block) is told apart from a broken one.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace unrar {

// Block types and flags of the format.
enum : uint8_t {
  btMarker = 0x72,
  btMain = 0x73,
  btFile = 0x74,
  btOldAuthenticity = 0x76,
  btOldSignature = 0x79,
  btService = 0x7A,
  btEnd = 0x7B,
};
enum : uint16_t {
  mfVolume = 0x0001,
  mfSolid = 0x0008,
  mfNewNumbering = 0x0010,
  mfEncryptedHeaders = 0x0080,
  mfFirstVolume = 0x0100,
};
enum : uint16_t {
  ffSplitBefore = 0x0001,
  ffSplitAfter = 0x0002,
  ffEncrypted = 0x0004,
  ffSolid = 0x0010,
  ffFolderMask = 0x00E0,  // all three dictionary bits set: a folder
  ffLarge = 0x0100,
  ffUnicode = 0x0200,
  ffLongBlock = 0x8000,  // an ADD_SIZE field follows the block header
};
enum : uint16_t { efNextVolume = 0x0001, efRecoverySpace = 0x0004 };

constexpr int64_t kBlockHeaderSize = 7;
constexpr int64_t kFileHeaderFixed = 32;         // block header and the fixed file fields
constexpr int64_t kMarkerSearchLimit = 1 << 20;  // how far into an executable a marker is looked for
constexpr uint8_t kMethodStored = 0x30;
constexpr uint8_t kMinUnpackVersion = 29;  // RAR 2.9: the oldest method libarchive decodes
constexpr uint8_t kMaxUnpackVersion = 36;
constexpr uint8_t kHostUnix = 3;

struct TFileHeader {
  int64_t HeaderPos = 0;
  int64_t DataPos = 0;
  std::vector<uint8_t> Raw;  // the whole header block as stored
  uint16_t Flags = 0;
  uint64_t PackSize = 0;
  uint64_t UnpSize = 0;
  uint8_t HostOs = 0;
  uint32_t FileCrc = 0;
  uint32_t FileTime = 0;
  uint8_t UnpVer = 0;
  uint8_t Method = 0;
  uint32_t Attr = 0;
  std::string Name;  // UTF-8, or the stored 8-bit bytes when OemName
  bool OemName = false;
  bool HeaderBroken = false;  // the header fails its CRC: only its name is taken, its data is not read
  bool IsFolder() const { return (Flags & ffFolderMask) == ffFolderMask; }
  // A symbolic link written on Unix: its data is the link's target, not a file's content.
  bool IsLink() const { return HostOs == kHostUnix && (Attr & 0xF000) == 0xA000; }
};

// An open volume file (read by position; closed with the object).
class TVolume {
 public:
  TVolume() = default;
  ~TVolume();
  TVolume(const TVolume&) = delete;
  TVolume& operator=(const TVolume&) = delete;
  bool Open(const std::string& Name);
  void Close();
  bool IsOpen() const { return Fd_ >= 0; }
  // Reads exactly Count bytes at Pos; false when fewer are there.
  bool ReadAt(int64_t Pos, void* Buffer, int64_t Count) const;
  // Up to Count bytes at Pos; the bytes read (0 at the end or on an error).
  int64_t ReadSome(int64_t Pos, void* Buffer, int64_t Count) const;
  int64_t Size = 0;
  std::string Name;
  // The file's identity (device and inode), so that a walk can tell a volume it has seen.
  uint64_t Device = 0, Inode = 0;

 private:
  int Fd_ = -1;
};

enum TOpenResult { orOk, orNotRar, orRar5, orBroken, orEncryptedHeaders };

// Finds the marker (at 0, or within kMarkerSearchLimit bytes of a self-extractor) and reads the main
// header; Pos is then the first block after it, and MarkerPos (when given) the marker's position. For a
// RAR 5 archive (orRar5) Pos is its marker.
TOpenResult ReadArchiveStart(const TVolume& V, uint16_t& MainFlags, int64_t& Pos,
                             int64_t* MarkerPos = nullptr);

// What the block walk needs of a RAR 5 volume: its archive flags, whether another volume follows, and
// the names of its encrypted items (which libarchive would decode as if they were plain). Headers are
// checked by their CRC-32; the walk stops at the first broken one.
enum : uint64_t { r5Volume = 0x0001, r5VolumeNumber = 0x0002, r5Solid = 0x0004 };
// One file header of a RAR 5 volume: its name, the CRC-32 it records (of the whole item's data in the
// item's last part, of the part's packed data in the others), and whether its data runs on from the
// volume before or into the next.
struct TRar5File {
  std::string Name;
  bool Folder = false;
  uint64_t Size = 0;  // the unpacked size the header declares
  bool HasCrc = false;
  uint32_t Crc = 0;
  bool SplitBefore = false, SplitAfter = false;
};
struct TRar5Start {
  bool EncryptedHeaders = false;
  uint64_t ArchiveFlags = 0;
  bool MoreVolumes = false;  // the end header says that a further volume follows
  bool EndSeen = false;      // the volume has its end header: it was not cut short
  std::set<std::string> EncryptedNames;
  std::vector<TRar5File> Files;  // the file headers in order
};
// Reads the headers of the RAR 5 volume whose marker lies at Marker; false when the main header is missing
// or broken.
bool ReadRar5Start(const TVolume& V, int64_t Marker, TRar5Start& Start);

enum TBlockResult { brFile, brEndOfVolume, brBroken };

// Walks from Pos to the next file header (H, maybe HeaderBroken) and leaves Pos after its data; at the end of
// the volume NextVolume says whether its end block announced another one (EndBlockSeen whether there was
// one).
TBlockResult NextFileHeader(const TVolume& V, int64_t& Pos, TFileHeader& H, bool& NextVolume,
                            bool& EndBlockSeen);

// The name of the volume after Name: "x.part01.rar" -> "x.part02.rar" (NewNumbering), "x.rar" -> "x.r00",
// "x.r99" -> "x.s00"; "" when there is none.
std::string NextVolumeFileName(const std::string& Name, bool NewNumbering);

// The low 16 bits of the CRC-32 of a header from its third byte on: the header CRC of the format.
uint16_t HeaderCrc(const uint8_t* Header, size_t Size);

// A header block with its HEAD_CRC set.
void SetHeaderCrc(std::vector<uint8_t>& Header);

}  // namespace unrar
