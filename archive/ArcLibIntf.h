// TBaseArcLibWrapper, the archive wrapper (ArcIntf.h) over the in-process archive library: a TArcLib
// component names the archive's library type, a decoder of that type does the work, and the wrapper turns
// the wrapper operations into decoder runs, the decoder's events into the wrapper's events, and the
// decoder's error reports into one message per operation.
//
// Every operation is one decoder run:
//   List           a run to memory in which every item is offered and none is decoded
//   ExtractItem    a run to files (or to one stream for an explicit path) selecting one item by its name
//   ExtractToMemory  a run to a memory stream selecting one item
//   ExtractAll     a run to files below a folder, with the items' stored folders
//   ExtractAllMem  a run to a TExtractAllStream that delivers each item as a block or as a file, as the
//                  caller's Decide answers item by item; the parts of an item that spans volumes are joined
//
// What the wrapper guarantees beyond the decoders:
//   - nothing is written outside the destination folder: an item whose stored path leaves it is offered
//     under its bare name in that folder (ExtractAllMem) or refused (ExtractAll, ExtractItem);
//   - a memory item never grows beyond the size its header declares (summed over the parts of an item
//     that spans volumes);
//   - a file that was begun but not delivered (the decoder gave up on the item, the run failed or was
//     cancelled) is deleted, and the bytes in memory of an item the decoder gave up go before the next
//     item is offered;
//   - ExtractItem accepts a run only when it began the item: a name the archive does not hold raises;
//     to an explicit path the item is written beside it and moved there once accepted, so that a file of
//     that name stays as it was when the item is missing or fails;
//   - an item that fails its CRC check is still delivered, with a warning through OnMessage;
//   - every report of a run reaches OnMessage once, at the run's end, naming the item it is about (a
//     report about the archive itself names no file: the caller knows the archive); an item whose damage
//     was reported gets no second message for its failed check.
//
// Ownership and threads: the wrapper owns its detector and its decoder; it is used by one owner on one
// thread, and one decoder run happens at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/ArcIntf.h"
#include "archive/arlBase.h"

// The detection-only component: setting its archive name names the library type.
class TArcLib : public TZipCommon {};

// A memory stream whose block is made with std::malloc, so that it can be handed out as a delivered block.
// Limit is the most bytes it takes: a write beyond it transfers nothing (the decoder reports the short
// write) and sets Overflowed.
class TGlobalMemoryStream32 : public TDecompMemoryStream {
 public:
  int32_t Write(const void* Buffer, int32_t Count) override;
  // Makes room for Bytes at once, up to kMaxReserve (a header may declare more than the data holds; the
  // rest grows as it comes).
  void Reserve(int64_t Bytes);
  // Hands the block (cut to its size, at least one byte so that an empty item is a block too) and its
  // size to the caller, who frees it with FreeArcBlock, and leaves the stream empty.
  int32_t DetachBlock(void*& Block);

  int64_t Limit = kMaxMemorySize;
  // A write was refused because it would have passed Limit.
  bool Overflowed = false;
  static constexpr int64_t kMaxReserve = int64_t{64} << 20;
};

// The output of one ExtractAllMem run: the current item goes to memory while ToFile is false, to the file
// FileName while it is true. Reading is not supported. Destroying it deletes a file that was begun and not
// closed.
class TExtractAllStream : public TGlobalMemoryStream32 {
 public:
  ~TExtractAllStream() override;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;

  // Starts an item: the file of a previous item is dropped, the memory emptied; with ToFile the folders of
  // FileName are made and FileName is created anew. False when the file cannot be created.
  bool ResetForItem();
  // Moves what is in memory into a new file FileName and goes on there; false when it cannot be created.
  bool SwitchToFile();
  // Closes the current file, which stays; false when closing reported a failure (the file is then gone).
  bool CloseFile();
  // Closes and deletes a file that was begun.
  void DropFile();
  // Drops the item begun: its file, and its bytes in memory, which go at once rather than with the next
  // item (the caller counts what memory items hold).
  void DropItem();

  bool ToFile = false;
  std::string FileName;

 private:
  bool CreateFile();
  std::unique_ptr<TFileStream32> FileStream_;
};

class TBaseArcLibWrapper : public TArcWrapperMem2 {
 public:
  TBaseArcLibWrapper();
  ~TBaseArcLibWrapper() override;
  const char* ClassName() const override { return "TBaseArcLibWrapper"; }

  bool SetArcName(const std::string& FileName, std::string& Msg) override;
  // Opens a TAR archive given as a forward-only stream (not owned; it must outlive every run), named Name
  // in messages: the decoder reads it once, front to back, in ExtractAllMem (List and the single-item
  // operations would need a second pass, which such a stream does not give). False with the reason.
  bool SetArcStream(TStream32& Data, const std::string& Name, std::string& Msg);
  bool List(const TArcItemEvent& ItemCallback) override;
  void ExtractItem(const std::string& DestDir, const std::string& ItemName, std::string& Path,
                   int32_t ExpectedSize, TDateTime* Date, int32_t* Size, bool SetFileTime,
                   const std::string& ExplicitPath) override;
  void ExtractAll(const std::string& DestDir, const TArcFileEvent& FileDone,
                  const TArcItemEvent& BeforeItem) override;
  std::string GetArcName() override;
  TArcBlockPtr ExtractToMemory(const std::string& ItemName, int32_t Size) override;
  void ExtractAllMem(const std::string& DestDir, const TArcMemoryEvent& OnMemory,
                     const TArcFileEvent& FileDone, const TArcDecideEvent& Decide) override;

  // The library type code of the open archive, normalised (the code of the plain form for a
  // self-extracting one, except JAR); 0 when none is open.
  uint8_t GetTypeCode() const { return TypeCode_; }
  // The decoder of the open archive; null when none is open.
  TUnBase* GetDecoder() const { return Decoder_.get(); }

 private:
  // The events of the decoder that every operation uses.
  void HookDecoder();
  // Decoder events.
  void DoError(const std::string& FileName, int32_t Code, const std::string& Info);
  // Keeps Message (once per run) for OnMessage and as the last message; ItemName, when given, is the item
  // it is about.
  void Note(const std::string& Message, const std::string& ItemName = std::string());
  void NoteCrcFailure(const std::string& ItemName);
  void DoProgress(int32_t A, int32_t B);
  void DoNextVolume(std::string& FileName, bool& Cancel, bool Exists);
  void DoGetPassword(bool& Continue, std::string& Password);

  [[noreturn]] void RaiseExtractError(const std::string& ItemName);
  void ReadItemStamp();
  // ReadItemStamp for the item the decoder begins; a part that continues the previous item (ContinuedName)
  // adds the previous parts' size. True for such a part.
  bool BeginItemStamp();
  void ResetState();
  void CancelRun();
  void PassMessage();

  // ResetState, and every item selected below DestDirArg with its stored folders.
  void PrepareAllRun(const std::string& DestDirArg);
  // The ExtractAllMem run; Listing offers every part of an item that spans volumes to Decide (which never
  // extracts) instead of only the parts whose previous part was extracted.
  void RunAllMem(const std::string& DestDir, const TArcMemoryEvent& OnMemory, const TArcFileEvent& FileDone,
                 const TArcDecideEvent& Decide, bool Listing);
  void AllMemBegin(const TArcDecideEvent& Decide, bool Listing, bool& Continue);
  void AllMemEnd(const TArcMemoryEvent& OnMemory, const TArcFileEvent& FileDone, bool CrcPassed);
  // The item taken as a stream, to OnStream.
  void AllMemStream(TStream32& Data);
  // The preset file name of an item: DestDir and its stored path, or its bare name when that path leaves
  // DestDir; "" when it has no usable name.
  std::string OutputPreset(const std::string& Name);

  std::unique_ptr<TArcLib> Detector_;
  std::unique_ptr<TUnBase> Decoder_;
  int32_t ItemSize_ = 0;
  bool Cancelled_ = false;
  bool SizeIncomplete_ = false;
  bool PrevExtracted_ = false;
  bool PasswordRefused_ = false;
  bool TooLarge_ = false;  // the current item holds 2 GB or more and cannot be delivered
  uint8_t TypeCode_ = 0;
  TDateTime ItemDate_ = 0;
  std::string DestDir_;
  std::string LastMessage_;
  std::vector<std::string> Messages_;       // every distinct message of the run, in order
  std::set<std::string> DistinctMessages_;  // the same, to tell a repeat in logarithmic time
  std::set<std::string> ReportedItems_;     // items a message of the run names
  std::string ContinuedName_;
  std::string RequestedVolume_;
  std::string CurrentVolume_;
  // During ExtractAllMem: the output, and the item begun and not yet delivered.
  std::unique_ptr<TExtractAllStream> AllStream_;
  bool ItemActive_ = false;
  bool StreamActive_ = false;  // the item begun is read as a stream
  std::string ActiveName_;
  size_t ArchiveMessages_ = 0;  // reports about the archive at the front of Messages_ (ArchiveReportsFirst)
};
