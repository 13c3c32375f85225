// TVMemoryMappedStream: a stream over a shared memory mapping, backed by a file or, without a file name,
// by a POSIX shared-memory object that every process naming the same MapName sees. The conversion server
// and its clients exchange requests through it.
//
// The mapping grows in steps of 64 KB (kMapStep) so that small writes do not remap each time. A file is
// always extended to the mapping's size before it is mapped, so no access can fault past its end; when
// the stream is finished the file is cut back to the stream's logical size. A shared-memory object is
// sized by the process that creates it, and removed by that process when its stream is finished (other
// processes keep what they mapped). A shared-memory mapping cannot grow: a write past it raises
// "Set size error".
//
// Mode is a TFileOpenMode (VFileStream.h): fmCreate creates or truncates the file, any access bit makes
// the mapping writable, 0 maps read-only.
//
// Close (or destruction) writes the mapping back and releases it; Close raises "Flush error" when that
// failed, the destructor reports it through ReportLostOutput. After Close every operation raises
// "Method not applicable". The stream is used by one thread; processes sharing a mapping serialise their
// access by their own means.
#pragma once

#include <cstdint>
#include <string>

#include "core/VFileStream.h"

class TVMemoryMappedStream : public TVFileStream {
 public:
  // Growth step of a file mapping.
  static constexpr int64_t kMapStep = 65536;

  // FileName empty: a shared-memory mapping of Size bytes whose logical size is Size. Otherwise the file
  // (UTF-8 name) is mapped with room for at least Size bytes when writable (the file's size when that is
  // larger), its logical size being the file's size.
  TVMemoryMappedStream(const std::string& FileName, int32_t Size, TFileOpenMode Mode,
                       const std::string& MapName);
  ~TVMemoryMappedStream() override;
  const char* ClassName() const override { return "TVMemoryMappedStream"; }

  int32_t GetPosition() override { return Position_; }
  int32_t GetSize() override { return Size_; }
  void SetSize(int32_t NewSize) override;
  // Outside 0..size: "Seek error (<Pos>)".
  void Seek(int32_t Pos) override;
  void Write(const void* Buf, int32_t Count) override;
  int32_t Read(void* Buf, int32_t Count) override;
  bool FindBytes(const void* Pattern, int32_t PatLen, int32_t MaxBytes) override;
  // Writes the mapping back to its storage; false when that failed.
  bool Flush() override;
  void Close() override;

  int64_t GetMapSize() const { return MapSize_; }
  const void* GetView() const { return View_; }
  const std::string& GetMapName() const { return MapName_; }

 private:
  void MapView();
  void Unmap();
  // Maps N bytes (raised to a multiple of kMapStep) of the file instead of the present mapping.
  void Remap(int64_t N);
  void CheckOpen() const;
  // Releases everything; returns the first failure's message, empty when none.
  std::string Finish();

  uint8_t* View_ = nullptr;
  int64_t MapSize_ = 0;
  std::string MapName_;
  std::string ShmName_;  // the shared-memory object's name, empty for a file or an unnamed mapping
  bool Writable_ = false;
  bool CreatedShm_ = false;
  bool Finished_ = false;
};
