#include "plugins/common/OleStorage.h"

#include <utility>

#include "platform/cfb/CompoundFile.h"

namespace {

constexpr const char* kReadError = "IStream read error";
constexpr const char* kSeekError = "IStream seek error";

// The texts of a failed open of the storage.
std::string OpenStorageText(HRESULT Code) {
  switch (Code) {
    case STG_E_INVALIDFUNCTION:
    case STG_E_INVALIDPOINTER:
    case STG_E_INVALIDNAME:
    case STG_E_INVALIDFLAG:
    case STG_E_FILENOTFOUND:
    case STG_E_PATHNOTFOUND:
    case STG_E_TOOMANYOPENFILES:
    case STG_E_ACCESSDENIED:
    case STG_E_INSUFFICIENTMEMORY:
    case STG_E_SHAREVIOLATION:
    case STG_E_LOCKVIOLATION:
    case STG_E_FILEALREADYEXISTS:
    case STG_E_OLDDLL:
      return CfbErrorText(Code);
    default:
      return "Can't open storage: unknown error";
  }
}

// The texts of a failed open of a stream.
std::string OpenStreamText(HRESULT Code) {
  switch (Code) {
    case STG_E_INVALIDFUNCTION:
    case STG_E_INVALIDPOINTER:
    case STG_E_INVALIDPARAMETER:
    case STG_E_INVALIDNAME:
    case STG_E_INVALIDFLAG:
    case STG_E_FILENOTFOUND:
    case STG_E_TOOMANYOPENFILES:
    case STG_E_ACCESSDENIED:
    case STG_E_INSUFFICIENTMEMORY:
    case STG_E_REVERTED:
      return CfbErrorText(Code);
    default:
      return "Can't open stream: unknown error";
  }
}

template <class T>
T ReadLittleEndian(Stream& S) {
  uint8_t bytes[sizeof(T)];
  S.Read(bytes, sizeof bytes);
  T value = 0;
  for (std::size_t i = sizeof(T); i-- > 0;) value = static_cast<T>((value << 8) | bytes[i]);
  return value;
}

}  // namespace

Stream::Stream(std::unique_ptr<TCfbStream> Opened) : stream_(std::move(Opened)) {}
Stream::~Stream() = default;

void Stream::Read(void* Buffer, uint32_t Count) {
  uint32_t got = 0;
  const HRESULT result = stream_->Read(Buffer, Count, &got);
  switch (result) {
    case S_OK:
      break;
    case STG_E_REVERTED:
    case STG_E_ACCESSDENIED:
      throw EOleStorage(CfbErrorText(result));
    case STG_E_INVALIDPOINTER:
      throw EOleStorage("Error in parameters");
    // Success with fewer bytes, and every other failure: a stream that could not be read is damage, not
    // the end of the document.
    default:
      throw EOleStorage(kReadError);
  }
  if (got < Count) throw Stream_eof();
}

void Stream::Skip(uint32_t Count) {
  if (stream_->Seek(Count, STREAM_SEEK_CUR, nullptr) != S_OK) throw EOleStorage(kSeekError);
}

void Stream::Seek(uint32_t Position) {
  if (stream_->Seek(Position, STREAM_SEEK_SET, nullptr) != S_OK) throw EOleStorage(kSeekError);
}

uint32_t Stream::Size() const { return static_cast<uint32_t>(stream_->Size()); }

uint64_t Stream::Remaining() const {
  return stream_->Position() < stream_->Size() ? stream_->Size() - stream_->Position() : 0;
}

Storage::Storage(std::unique_ptr<TCfbStorage> Opened) : storage_(std::move(Opened)) {}
Storage::~Storage() = default;

std::unique_ptr<Stream> Storage::OpenStream(const std::u16string& Name) {
  std::unique_ptr<TCfbStream> opened;
  const HRESULT result = storage_->OpenStream(Name, STGM_READ | STGM_SHARE_EXCLUSIVE, opened);
  if (result != S_OK) throw EOleStorage(OpenStreamText(result));
  return std::make_unique<Stream>(std::move(opened));
}

std::unique_ptr<Storage> OpenStorage(const std::string& FileName) {
  std::unique_ptr<TCfbStorage> opened;
  const HRESULT result = StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, opened);
  if (result != S_OK) throw EOleStorage(OpenStorageText(result));
  return std::make_unique<Storage>(std::move(opened));
}

uint8_t ReadStreamUInt8(Stream& S) { return ReadLittleEndian<uint8_t>(S); }
uint16_t ReadStreamUInt16(Stream& S) { return ReadLittleEndian<uint16_t>(S); }
uint32_t ReadStreamUInt32(Stream& S) { return ReadLittleEndian<uint32_t>(S); }
uint64_t ReadStreamUInt64(Stream& S) { return ReadLittleEndian<uint64_t>(S); }
