#include "platform/unrar/Rar5Reader.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstring>
#include <ctime>

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

uint32_t DosTimeOf(int64_t Time) {
  const time_t T = static_cast<time_t>(Time);
  struct tm L {};
  if (!localtime_r(&T, &L) || L.tm_year < 80 || L.tm_year > 80 + 127) return 0;
  return (static_cast<uint32_t>(L.tm_year - 80) << 25) | (static_cast<uint32_t>(L.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(L.tm_mday) << 16) | (static_cast<uint32_t>(L.tm_hour) << 11) |
         (static_cast<uint32_t>(L.tm_min) << 5) | static_cast<uint32_t>(L.tm_sec / 2);
}

TRar5Reader::~TRar5Reader() { Close(); }

void TRar5Reader::Close() {
  if (Ar_) archive_read_free(Ar_);
  Ar_ = nullptr;
}

bool TRar5Reader::Reopen() {
  Close();
  Ar_ = archive_read_new();
  if (!Ar_) return false;
  archive_read_support_format_rar5(Ar_);
  std::vector<const char*> Names;
  for (const std::string& V : Volumes_) Names.push_back(V.c_str());
  Names.push_back(nullptr);
  if (archive_read_open_filenames(Ar_, Names.data(), kBlockSize) != ARCHIVE_OK) return false;
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
  TRar5Reader Second(Volumes_, EncryptedNames_, Complete_);
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
  return Sink.Written == Sink.Limit ? RAR_SUCCESS : RAR_E_BAD_DATA;
}

}  // namespace unrar
