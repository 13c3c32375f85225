#include "platform/unrar/Rar5Reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/unrar/RarBlocks.h"

namespace unrar {

namespace {

constexpr size_t kBlockSize = 65536;

// A failure of libarchive as a result code: data that ends early is a read error, anything else (a
// checksum that does not match, data that does not decode) bad data.
int FailureOf(struct archive* Ar) {
  const char* Text = archive_error_string(Ar);
  if (Text && (std::strstr(Text, "runcated") || std::strstr(Text, "remature"))) return RAR_E_EREAD;
  return RAR_E_BAD_DATA;
}

}  // namespace

// The volumes one after the other, the first from its marker on: what libarchive reads.
struct TRar5Reader::TStream {
  struct TSegment {
    std::string Volume;
    int64_t Start = 0;
  };
  std::vector<TSegment> Segments;
  size_t Index = 0;
  TVolume Current;
  int64_t Pos = 0;  // in the current volume
  std::vector<uint8_t> Buf = std::vector<uint8_t>(kBlockSize);

  // Opens the segment at Index (or the next ones that open); false at the end or on an error.
  bool OpenCurrent() {
    if (Current.IsOpen()) return true;
    if (Index >= Segments.size() || !Current.Open(Segments[Index].Volume)) return false;
    Pos = Segments[Index].Start;
    return true;
  }
  static la_ssize_t Read(struct archive*, void* Data, const void** Out) {
    auto* S = static_cast<TStream*>(Data);
    while (S->OpenCurrent()) {
      const int64_t N = S->Current.ReadSome(S->Pos, S->Buf.data(), static_cast<int64_t>(S->Buf.size()));
      if (N > 0) {
        S->Pos += N;
        *Out = S->Buf.data();
        return static_cast<la_ssize_t>(N);
      }
      S->Current.Close();
      ++S->Index;
    }
    if (S->Index < S->Segments.size()) return -1;  // a volume that cannot be opened
    return 0;
  }
  static la_int64_t Skip(struct archive*, void* Data, la_int64_t Request) {
    auto* S = static_cast<TStream*>(Data);
    la_int64_t Done = 0;
    while (Done < Request && S->OpenCurrent()) {
      const int64_t Left = S->Current.Size - S->Pos;
      if (Left <= 0) {
        S->Current.Close();
        ++S->Index;
        continue;
      }
      const int64_t Step = std::min<int64_t>(Left, Request - Done);
      S->Pos += Step;
      Done += Step;
    }
    return Done;
  }
};

uint32_t DosTimeOf(int64_t Time) {
  const time_t T = static_cast<time_t>(Time);
  struct tm L {};
  if (!localtime_r(&T, &L) || L.tm_year < 80 || L.tm_year > 80 + 127) return 0;
  return (static_cast<uint32_t>(L.tm_year - 80) << 25) | (static_cast<uint32_t>(L.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(L.tm_mday) << 16) | (static_cast<uint32_t>(L.tm_hour) << 11) |
         (static_cast<uint32_t>(L.tm_min) << 5) | static_cast<uint32_t>(L.tm_sec / 2);
}

TRar5Reader::TRar5Reader(std::vector<std::string> Volumes, int64_t Marker,
                         std::set<std::string> EncryptedNames, bool Complete, std::vector<TRar5Check> Checks)
    : Volumes_(std::move(Volumes)),
      Marker_(Marker),
      EncryptedNames_(std::move(EncryptedNames)),
      Complete_(Complete),
      Checks_(std::move(Checks)) {}

TRar5Reader::~TRar5Reader() { Close(); }

void TRar5Reader::Close() {
  if (Ar_) archive_read_free(Ar_);
  Ar_ = nullptr;
  Stream_.reset();
}

bool TRar5Reader::ExpectedCrc(const TRar5Item& Item, uint32_t& Crc) const {
  // The item's place: libarchive hands over one entry for each item, in the order of their headers.
  if (ItemsRead_ == 0 || ItemsRead_ > Checks_.size()) return false;
  const TRar5Check& C = Checks_[ItemsRead_ - 1];
  if (!C.HasCrc || C.Name != Item.Name) return false;
  Crc = C.Crc;
  return true;
}

bool TRar5Reader::Reopen() {
  Close();
  Ar_ = archive_read_new();
  if (!Ar_) return false;
  archive_read_support_format_rar5(Ar_);
  Stream_ = std::make_unique<TStream>();
  for (size_t I = 0; I < Volumes_.size(); ++I)
    Stream_->Segments.push_back({Volumes_[I], I == 0 ? Marker_ : 0});
  archive_read_set_read_callback(Ar_, TStream::Read);
  archive_read_set_skip_callback(Ar_, TStream::Skip);
  archive_read_set_callback_data(Ar_, Stream_.get());
  if (archive_read_open1(Ar_) != ARCHIVE_OK) return false;
  // The items read before are passed over again.
  for (uint64_t I = 0; I < ItemsRead_; ++I) {
    struct archive_entry* Entry = nullptr;
    if (archive_read_next_header(Ar_, &Entry) < ARCHIVE_WARN) return false;
    if (archive_read_data_skip(Ar_) < ARCHIVE_WARN) return false;
  }
  Broken_ = false;
  return true;
}

int TRar5Reader::Next(TRar5Item& Item) {
  if (Broken_ && !Reopen()) {
    Close();
    return RAR_E_BAD_DATA;
  }
  struct archive_entry* Entry = nullptr;
  const int R = archive_read_next_header(Ar_, &Entry);
  if (R == ARCHIVE_EOF) return Complete_ ? RAR_END_ARCHIVE : RAR_E_EREAD;
  if (R < ARCHIVE_WARN) {
    Broken_ = true;
    return FailureOf(Ar_);
  }
  ++ItemsRead_;
  Item = TRar5Item();
  const char* Name = archive_entry_pathname_utf8(Entry);
  if (!Name) Name = archive_entry_pathname(Entry);
  Item.Name = Name ? Name : "";
  Item.Folder = archive_entry_filetype(Entry) == AE_IFDIR;
  Item.Encrypted = archive_entry_is_data_encrypted(Entry) != 0 || EncryptedNames_.count(Item.Name);
  Item.Size = archive_entry_size_is_set(Entry) && archive_entry_size(Entry) > 0
                  ? static_cast<uint64_t>(archive_entry_size(Entry))
                  : 0;
  if (archive_entry_filetype(Entry) == AE_IFLNK) {
    const char* Target = archive_entry_symlink_utf8(Entry);
    if (!Target) Target = archive_entry_symlink(Entry);
    Item.Link = true;
    Item.LinkTarget = Target ? Target : "";
    Item.Size = 0;
  }
  const char* Hard = archive_entry_hardlink_utf8(Entry);
  if (!Hard) Hard = archive_entry_hardlink(Entry);
  if (Hard && !Item.Folder && !Item.Link) {
    const auto Target = Sizes_.find(Hard);
    if (Target != Sizes_.end()) {
      Item.HardLinkTarget = Hard;
      Item.Size = Target->second;
    }
  } else if (!Item.Folder && !Item.Link) {
    Sizes_[Item.Name] = Item.Size;
  }
  Item.DosTime = archive_entry_mtime_is_set(Entry) ? DosTimeOf(archive_entry_mtime(Entry)) : 0;
  return RAR_SUCCESS;
}

void TRar5Reader::Skip() {
  if (!Broken_ && archive_read_data_skip(Ar_) < ARCHIVE_WARN) Broken_ = true;
}

int TRar5Reader::ReadHardLink(const TRar5Item& Item, TSink& Sink) {
  TRar5Reader Second(Volumes_, Marker_, EncryptedNames_, Complete_, Checks_);
  TRar5Item Target;
  for (;;) {
    const int R = Second.Next(Target);
    if (R != RAR_SUCCESS) return R == RAR_END_ARCHIVE ? RAR_E_BAD_DATA : R;
    if (Target.Name == Item.HardLinkTarget && Target.HardLinkTarget.empty() && !Target.Folder) break;
    Second.Skip();
  }
  if (Target.Size != Item.Size) return RAR_E_BAD_DATA;
  return Second.Read(Target, Sink);
}

int TRar5Reader::Read(const TRar5Item& Item, TSink& Sink) {
  if (Item.Encrypted) return RAR_E_ENCRYPTED;
  if (!Item.HardLinkTarget.empty()) return ReadHardLink(Item, Sink);
  if (Broken_) return RAR_E_BAD_DATA;
  if (Item.Link) return RAR_SUCCESS;  // no content of its own
  const void* Block = nullptr;
  size_t Size = 0;
  la_int64_t Offset = 0;
  for (;;) {
    const int R = archive_read_data_block(Ar_, &Block, &Size, &Offset);
    if (R == ARCHIVE_EOF) break;
    if (R < ARCHIVE_WARN) {
      Broken_ = true;
      return FailureOf(Ar_);
    }
    if (Offset < 0 || static_cast<uint64_t>(Offset) < Sink.Written) {
      Broken_ = true;
      return RAR_E_BAD_DATA;
    }
    // A gap (sparse data) is filled with zeros up to the block.
    static const uint8_t Zeros[4096] = {};
    while (Sink.Written < static_cast<uint64_t>(Offset)) {
      const size_t N = static_cast<size_t>(std::min<uint64_t>(sizeof Zeros, Offset - Sink.Written));
      if (const int E = Sink.Put(Zeros, N)) return E;
    }
    if (const int E = Sink.Put(Block, Size)) return E;
  }
  // Data that ends before the declared size is cut short (libarchive ends it without an error).
  if (Sink.Written < Sink.Limit) return RAR_E_EREAD;
  if (Sink.Written != Sink.Limit) return RAR_E_BAD_DATA;
  uint32_t Crc = 0;
  return ExpectedCrc(Item, Crc) && Sink.Crc != Crc ? RAR_E_BAD_DATA : RAR_SUCCESS;
}

}  // namespace unrar
