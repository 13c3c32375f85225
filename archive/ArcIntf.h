// The archive wrappers: one abstract class family over the two engines that read archives, the in-process
// archive library (TBaseArcLibWrapper, ArcLibIntf.h) and the outside RAR library. A wrapper opens and
// identifies one archive, lists its items, extracts one item to a file or to a memory block, and extracts
// every item in one pass, deciding item by item between a file and a memory block. The archiver
// (Archiver.h) is the only client.
//
// Reporting: every operation raises EArcError with a message ready to show, except SetArcName, which
// answers false with its reason, and List, whose false only means that the callback stopped the walk.
// Warnings that did not stop the work go to OnMessage.
//
// Memory blocks: an item delivered in memory is one block made with std::malloc, handed over in a
// TArcBlockPtr, which frees it (FreeArcBlock, std::free) on every path.
//
// Ownership and threads: a wrapper is made, used and destroyed by one owner on one thread. The events are
// the owner's; an unassigned one is skipped (a question counts as "no", progress as "go on").
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "core/Exception.h"

class TStream32;

// Days since 1899-12-30, the time of day as the fraction.
using TDateTime = double;

// The exception of the archive layer; its message is complete.
class EArcError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EArcError"; }
};

// Frees a block that a wrapper delivered (nothing for nullptr).
inline void FreeArcBlock(void* Block) { std::free(Block); }
struct TArcBlockFree {
  void operator()(void* Block) const { FreeArcBlock(Block); }
};
// A block that a wrapper delivered; whoever holds it owns it.
using TArcBlockPtr = std::unique_ptr<void, TArcBlockFree>;

// How one item of an extract-all pass is delivered.
enum TExtractDecision : uint8_t {
  edToFile = 0,
  edToMemory = 1,
  edCancel = 2,    // stop the whole pass
  edToStream = 3,  // only for an item offered as a stream: read by the stream event while it is decoded
};

// Polled during long work; false cancels. A and B carry the current item's and the whole run's percentage
// where a wrapper knows them.
using TArcProgressEvent = std::function<bool(int32_t A, int32_t B)>;
// A warning or error text that did not stop the work.
using TArcMessageEvent = std::function<void(const std::string& Msg)>;
// A password for ItemName of ArcFileName; false when none is available.
using TArcPasswordEvent =
    std::function<bool(const std::string& ArcFileName, const std::string& ItemName, std::string& Password)>;
// The file of the next volume: FileName comes in as the name the archive expects (without the folder when
// it lies in the folder of the current volume) and goes out as an existing file; false when there is none.
using TArcVolumeEvent = std::function<bool(std::string& FileName)>;
// One item while listing, or the item filter before extraction. SizeIncomplete marks an item whose data
// continues in the next volume (Size is only this volume's part).
struct TArcListItem {
  const std::string& ItemName;
  bool SizeIncomplete = false;
  TDateTime Date = 0;
  int32_t Size = 0;
};
// Stop := true ends the walk; false leaves the item out.
using TArcItemEvent = std::function<bool(TArcListItem& Item, bool& Stop)>;
// An item written to the file FileName, with its date and size.
struct TArcFileItem {
  const std::string& FileName;
  TDateTime Date = 0;
  int32_t Size = 0;
};
// An item has been written to a file; Stop := true ends the pass.
using TArcFileEvent = std::function<void(TArcFileItem& File, bool& Stop)>;
// An item extracted into memory: Block holds Size bytes.
struct TArcMemoryItem {
  const std::string& ItemName;
  TArcBlockPtr Block;
  TDateTime Date = 0;
  int32_t Size = 0;
};
// An item has been extracted into memory; the callee may keep Item.Block (it is freed otherwise).
// Stop := true ends the pass.
using TArcMemoryEvent = std::function<void(TArcMemoryItem& Item, bool& Stop)>;
// One item of an extract-all pass, offered before it is extracted. FileName comes in as the destination
// folder plus the item's path and may be changed; Decision comes in as edToFile and chooses file or memory
// (or cancels the pass). Continued is true for the next part of an item that began in the previous volume.
// StreamOffered: the stream query took the item, which may be read as a stream (edToStream); Size is then
// the size the query was shown.
struct TArcDecideItem {
  const std::string& ItemName;
  bool SizeIncomplete = false;
  TDateTime Date = 0;
  int32_t Size = 0;
  bool Continued = false;
  std::string FileName;
  TExtractDecision Decision = edToFile;
  bool StreamOffered = false;
};
// Whether an item that can be delivered as a forward-only stream (the TAR inside a GZIP file) is wanted
// so: asked by the item's name alone (Head null), then with its first HeadSize bytes (the whole item when
// SizeExact) and its size (exact when SizeExact, otherwise what the archive declares, unchecked). True
// both times: the item is offered to Decide with StreamOffered set. Must not report anything.
struct TArcStreamQuery {
  const std::string& ItemName;
  const uint8_t* Head = nullptr;
  int32_t HeadSize = 0;
  int64_t Size = 0;
  bool SizeExact = false;
};
using TArcStreamQueryEvent = std::function<bool(const TArcStreamQuery& Query)>;
// An item taken as a stream: Data gives its bytes front to back as they are decoded (a seek back beyond
// what the stream keeps, or to the end, raises); it is valid during the call only. What the callee does
// not read is decoded after it returns, so that the item's checks are still made. Stop := true ends the
// pass.
struct TArcStreamItem {
  const std::string& ItemName;
  TDateTime Date = 0;
  int64_t Size = 0;
  TStream32& Data;
};
using TArcStreamEvent = std::function<void(TArcStreamItem& Item, bool& Stop)>;
// Asked before each item of an extract-all pass: true extracts it as Item.Decision says.
using TArcDecideEvent = std::function<bool(TArcDecideItem& Item)>;

class TArcWrapper {
 public:
  TArcWrapper() = default;
  virtual ~TArcWrapper() = default;
  TArcWrapper(const TArcWrapper&) = delete;
  TArcWrapper& operator=(const TArcWrapper&) = delete;

  virtual const char* ClassName() const { return "TArcWrapper"; }

  // Opens and identifies the archive; false with the reason in Msg.
  virtual bool SetArcName(const std::string& FileName, std::string& Msg) = 0;
  // Calls ItemCallback once for every file item (folders are not reported); false when it stopped the walk.
  virtual bool List(const TArcItemEvent& ItemCallback) = 0;
  // One item to a file. Path := ExplicitPath when not empty, otherwise DestDir (with a trailing "/") plus
  // the last component of ItemName. The result is accepted only when the archive holds the item, the
  // decoder began it and the file then holds, for ExpectedSize >= 0, exactly ExpectedSize bytes; otherwise
  // EArcError "Can't extract ..." is raised. An explicit path is written beside the target and moved over
  // it only on success, so a failure leaves an existing file as it was; in DestDir an existing file that
  // cannot be deleted raises "Can't delete file". Date and Size, when not null, receive the item's date
  // and size.
  virtual void ExtractItem(const std::string& DestDir, const std::string& ItemName, std::string& Path,
                           int32_t ExpectedSize, TDateTime* Date, int32_t* Size, bool SetFileTime,
                           const std::string& ExplicitPath) = 0;
  // Every item to files below DestDir, with their stored folders; BeforeItem false skips an item.
  virtual void ExtractAll(const std::string& DestDir, const TArcFileEvent& FileDone,
                          const TArcItemEvent& BeforeItem) = 0;
  // The file name given to SetArcName.
  virtual std::string GetArcName() = 0;

  // SetArcName, raising Exception with Msg (or the class name and ".SetArcName error" when Msg is empty).
  void Open(const std::string& FileName);

  TArcProgressEvent OnProgress;
  TArcMessageEvent OnMessage;
  TArcPasswordEvent OnPassword;
  TArcVolumeEvent OnNextVolume;
  // Items read as streams during ExtractAllMem; unassigned, no item is offered as a stream. Only the
  // archive library's GZIP decoder offers one.
  TArcStreamQueryEvent OnStreamQuery;
  TArcStreamEvent OnStream;
};

class TArcWrapperMem : public TArcWrapper {
 public:
  const char* ClassName() const override { return "TArcWrapperMem"; }
  // The item in a new block of exactly Size bytes; raises EArcError when it cannot deliver exactly Size
  // bytes.
  virtual TArcBlockPtr ExtractToMemory(const std::string& ItemName, int32_t Size) = 0;
};

class TArcWrapperMem2 : public TArcWrapperMem {
 public:
  const char* ClassName() const override { return "TArcWrapperMem2"; }
  // One pass over all items; Decide (required) chooses per item. Memory items go to OnMemory, file items
  // to FileDone.
  virtual void ExtractAllMem(const std::string& DestDir, const TArcMemoryEvent& OnMemory,
                             const TArcFileEvent& FileDone, const TArcDecideEvent& Decide) = 0;
};
