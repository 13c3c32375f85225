// The ACE decoder: TUnAce reads ACE archives through UnAceV2.so (platform/unace/UnAceApi.h), which the
// first user binds once per process.
//
// A run reads the archive's own headers first (the selected entries' count, sizes and newest date, and
// the folders that hold no files, which are made for file output), then hands the archive to the library:
// its test call for memory, stream and test output, its extract call for files. The library reports
// every entry through the state callback and the decoder steers it: it selects the entry (MatchFileSpec,
// OnBegin), takes its decoded data into the component's writer, reports its CRC result, answers password,
// next-volume and overwrite requests, and keeps the library from writing entries that were not selected
// (an empty placeholder stands in the target's place, so that the library's overwrite request skips it,
// and is removed afterwards).
//
// What the header walk checks: a block lies inside the file, its header holds the fixed fields and the
// name, and every block moves the position forward. Only one run may be active in the process (a second
// one, such as a run started from an event of the first, is refused as busy); a run that fails releases
// its claim on every path. A damaged header the library met is reported as a bad file header, any other
// library result but success as an unsupported archive; the library's item errors (a name that leaves
// the output folder, an output that cannot be written, a wrong password) are reported with the item's
// name, and an item so reported gets no second report for its failed check. A volume that ends early
// names the item it cuts and the offset from which its entries are lost (with the volume's name when
// it is a later one). A missing volume is reported by the wrapper's volume answer; the item that went on
// in it is named as lost, and the walk goes on in the next volume of the set that is there. At the end
// of a set the volume after the last is not asked for.
// No exception crosses the library: a callback keeps it and answers "cancel", and the run raises it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "archive/arlBase.h"
#include "platform/unace/UnAceApi.h"

// The five entry points; all are set when the library is bound.
struct TUnAceEntries {
  TACEInitDll InitDll = nullptr;
  TACEReadArchiveData ReadArchiveData = nullptr;
  TACEList List = nullptr;
  TACETest Test = nullptr;
  TACEExtract Extract = nullptr;
};

// Binds UnAceV2.so (Path empty: "UnAceV2.so" beside the program, then by the system's search) once per
// process: when bound or already tried, answers whether bound. All five entry points are required.
bool LoadUnAceDll(const std::string& Path);
// Unbinds it and clears the tried flag, so that the next LoadUnAceDll tries again.
void UnloadUnAceDll();
std::string UnAceDllFileName();
// Binds the given entry points in place of a library (a library that is loaded is unloaded first); for
// tests that play the library's part.
void BindUnAceEntries(const TUnAceEntries& Entries);

class TUnAce : public TUnBase {
 public:
  TUnAce() = default;

  // One entry of the archive's own headers.
  struct THeaderEntry {
    std::string Name;
    uint32_t Attributes = 0;
    uint32_t DosTime = 0;
    int64_t PackedSize = 0;
    int64_t Size = 0;
  };
  // Reads the file blocks of ArchiveFile from its main header (at StartOffset); raises "Error opening
  // file" when it cannot be opened. Stops at the first block that is not a file block or not whole.
  std::vector<THeaderEntry> ReadHeaders();

  // The text of a failed initialisation.
  static std::string InitErrorText(int Code);
  // The text of a second run while one is active.
  static const char* const kBusyText;

 protected:
  void ExtractArchive(TStream32* Stream) override;

 private:
  friend struct TAceCallbacks;

  // Counts the selected entries and makes the folders without files (file output).
  void HeaderScan();
  void Initialise(TAceInitData& Data);
  int InfoCallback(TAceCallbackRecord& R);
  int ErrorCallback(TAceCallbackRecord& R);
  int RequestCallback(TAceCallbackRecord& R);
  int StateCallback(TAceCallbackRecord& R);
  int AskNextVolume(TAceCallbackRecord& R);
  int AskPassword(TAceCallbackRecord& R);
  void TakeEntry(const TAceFileData& F);

  std::exception_ptr Pending_;
  std::string PasswordBuffer_;  // what the library reads through the init record's password pointer
  std::string CurrentVolume_;
  int32_t VolumeNumber_ = 0;
  // The entry being worked on.
  bool Selected_ = false;
  bool Placeholder_ = false;   // an empty file was made in place of a skipped entry's target
  bool Existed_ = false;       // the target existed before the entry
  bool ItemReported_ = false;  // the entry's failure was reported already (no second report for its CRC)
  std::string Target_;         // where the library writes the entry
  int64_t EntryDone_ = 0;
};
