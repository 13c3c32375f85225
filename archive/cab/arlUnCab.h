// The cabinet decoder: TUnCab reads cabinet files, and the sets of cabinets their folders run on into,
// through cabinet.so (platform/cabinet/CabinetApi.h), which the first user binds once per process.
//
// The library works through plain callbacks that carry no context of their own, so the binding keeps a
// stack of active decoders: a decoder pushes itself around every library call, and the memory and write
// callbacks work for the decoder on top (a notification handler may run another cabinet operation, which
// pushes and pops its own). File callbacks go to one shared TStreamCabinetFileHandler.
//
// A run: the cabinet query checks the file and counts the selected files into the totals; then the copy
// sends one notification per file. A selected file is named, begun (BeginItem), given an output
// (OpenOutput) and decoded through WriteBlock; its close notification closes the output and reports the
// result through OnEnd, or "File fails CRC check" when the library could not decode it in full. The next
// cabinet of a set is located with RequestNextVolume; refusing it ends the copy quietly.
//
// No exception crosses the library: a callback that fails keeps the exception and answers the library
// with a failure, and the run raises it again once the library has returned.
#pragma once

#include <cstdint>
#include <exception>
#include <set>
#include <string>

#include "archive/arlBase.h"
#include "platform/cabinet/CabinetApi.h"

// Binds cabinet.so (Path empty: "cabinet.so" beside the program, then by the system's search) once per
// process: when bound, or already tried, it answers whether bound. All four entry points are required.
bool LoadCabinetDll(const std::string& Path);
// Unbinds it and clears the tried flag, so that the next LoadCabinetDll tries again.
void UnloadCabinetDll();
// The file the binding loaded ("" when not bound).
std::string CabinetDllFileName();

class TUnCab : public TUnBase {
 public:
  TUnCab() = default;
  ~TUnCab() override;

  // The cabinet query: true when FileName is a cabinet; Info gets its header's facts and NextCabinet the
  // name stored for the next cabinet of its set ("" for the last). Also counts the selected files into
  // TotalPacked, TotalUnpacked and NewestDate. Raises "Error opening file" when FileName cannot be opened
  // and ECabinetError when the library cannot be set up.
  bool IsCabinet(const std::string& FileName, TCabinetInfo& Info, std::string& NextCabinet);

  // What the first cabinet-information notification of the last run told.
  std::string NextCabinetName, NextDiskName, CabinetPath;
  uint16_t SetId = 0, CabinetNumber = 0;
  // Memory blocks the library holds right now (freed with the decoder when it leaves them).
  size_t BlockCount() const { return Blocks_.size(); }

 protected:
  void ExtractArchive(TStream32* Stream) override;

  // Notification handlers; their answers go back to the library.
  virtual intptr_t CabinetInfo(const TCabNotification& N);
  virtual intptr_t CopyFile(const TCabNotification& N);
  virtual intptr_t CloseFile(const TCabNotification& N);
  virtual intptr_t NextCabinet(TCabNotification& N);

 private:
  friend struct TCabCallbacks;
  enum TDecision { cdSkip = 1, cdExtract = 2 };

  void MakeContext();
  // After a failed library call: a user abort is quiet, a corrupt cabinet is reported, anything else
  // raises ECabinetError.
  void CheckErrors();
  void RethrowPending();
  intptr_t InfoNotification(int32_t Type, const TCabNotification& N);
  intptr_t ExtractNotification(int32_t Type, TCabNotification& N);
  uint32_t WriteData(const void* Buffer, uint32_t Count);
  void SetEntry(const TCabNotification& N);

  void* Context_ = nullptr;
  TCabErrorRecord ErrorRecord_{};
  std::set<void*> Blocks_;
  bool FirstNotification_ = false;
  std::string QueryNextCabinet_;
  int64_t EntrySize_ = 0;
  int64_t EntryRemaining_ = 0;
  TDecision Decision_ = cdSkip;
  std::exception_ptr Pending_;
};
