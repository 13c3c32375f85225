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
  uint8_t Bytes[sizeof(T)];
  S.Read(Bytes, sizeof Bytes);
  T Value = 0;
  for (std::size_t I = sizeof(T); I-- > 0;) Value = static_cast<T>((Value << 8) | Bytes[I]);
  return Value;
}

}  // namespace

Stream::Stream(std::unique_ptr<TCfbStream> Opened) : Stream_(std::move(Opened)) {}
Stream::~Stream() = default;

void Stream::Read(void* Buffer, uint32_t Count) {
  uint32_t Got = 0;
  const HRESULT Result = Stream_->Read(Buffer, Count, &Got);
  switch (Result) {
    case S_OK:
      break;
    case STG_E_REVERTED:
    case STG_E_ACCESSDENIED:
      throw EOleStorage(CfbErrorText(Result));
    case STG_E_INVALIDPOINTER:
      throw EOleStorage("Error in parameters");
    // Success with fewer bytes, and every other failure: a stream that could not be read is damage, not
    // the end of the document.
    default:
      throw EOleStorage(kReadError);
  }
  if (Got < Count) throw Stream_eof();
}

void Stream::Skip(uint32_t Count) {
  if (Stream_->Seek(Count, STREAM_SEEK_CUR, nullptr) != S_OK) throw EOleStorage(kSeekError);
}

void Stream::Seek(uint32_t Position) {
  if (Stream_->Seek(Position, STREAM_SEEK_SET, nullptr) != S_OK) throw EOleStorage(kSeekError);
}

uint32_t Stream::Size() const { return static_cast<uint32_t>(Stream_->Size()); }

uint64_t Stream::Remaining() const {
  return Stream_->Position() < Stream_->Size() ? Stream_->Size() - Stream_->Position() : 0;
}

Storage::Storage(std::unique_ptr<TCfbStorage> Opened) : Storage_(std::move(Opened)) {}
Storage::~Storage() = default;

std::unique_ptr<Stream> Storage::OpenStream(const std::u16string& Name) {
  std::unique_ptr<TCfbStream> Opened;
  const HRESULT Result = Storage_->OpenStream(Name, STGM_READ | STGM_SHARE_EXCLUSIVE, Opened);
  if (Result != S_OK) throw EOleStorage(OpenStreamText(Result));
  return std::make_unique<Stream>(std::move(Opened));
}

std::unique_ptr<Storage> OpenStorage(const std::string& FileName) {
  std::unique_ptr<TCfbStorage> Opened;
  const HRESULT Result = StgOpenStorage(FileName, STGM_READ | STGM_SHARE_DENY_WRITE, Opened);
  if (Result != S_OK) throw EOleStorage(OpenStorageText(Result));
  return std::make_unique<Storage>(std::move(Opened));
}

uint8_t ReadStreamUInt8(Stream& S) { return ReadLittleEndian<uint8_t>(S); }
uint16_t ReadStreamUInt16(Stream& S) { return ReadLittleEndian<uint16_t>(S); }
uint32_t ReadStreamUInt32(Stream& S) { return ReadLittleEndian<uint32_t>(S); }
uint64_t ReadStreamUInt64(Stream& S) { return ReadLittleEndian<uint64_t>(S); }
