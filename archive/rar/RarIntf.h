// TBaseRarWrapper: the archive wrapper (ArcIntf.h) over UnRar3.so (UnRarDyn.h). It opens and identifies
// a RAR archive, lists its items, extracts one item to a file or a memory block, and extracts every item
// in one pass with a choice of file or memory per item. Further volumes of a set are asked for through
// OnNextVolume when the library does not find them beside the current one.
//
// Beyond the library's own checks the wrapper guarantees:
//   - every operation walks with the long-name header, so an item that can be listed can be extracted;
//   - parts continued from an earlier volume are never taken for items (they are read with their first
//     part), and items of 2 GB or more are left out, as their sizes do not fit the wrapper's 32 bits;
//   - an encrypted item that the library cannot decrypt fails at once, without asking for a password;
//   - in a pass over every item, an item that cannot be had is reported through OnMessage and the pass
//     goes on; at a missing volume (named) it goes on from the next volume of the set that is there;
//   - nothing is written outside the destination folder: an item whose stored path leaves it is
//     written under its bare name there;
//   - a file that was not delivered whole is deleted, and a memory block is handed out only when it
//     holds exactly the bytes asked for.
//
// No exception crosses the library: a callback keeps an exception and stops the library, and the
// operation raises it once the library has returned. Used by one owner on the main thread.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "archive/ArcIntf.h"
#include "platform/unrar/UnRarApi.h"

class TBaseRarWrapper : public TArcWrapperMem2 {
 public:
  const char* ClassName() const override { return "TBaseRarWrapper"; }

  bool SetArcName(const std::string& FileName, std::string& Msg) override;
  bool List(const TArcItemEvent& ItemCallback) override;
  // The item is written beside Path and moved there once found whole: an item the archive does not hold
  // raises and leaves a file of that name as it was.
  void ExtractItem(const std::string& DestDir, const std::string& ItemName, std::string& Path,
                   int32_t ExpectedSize, TDateTime* Date, int32_t* Size, bool SetFileTime,
                   const std::string& ExplicitPath) override;
  void ExtractAll(const std::string& DestDir, const TArcFileEvent& FileDone,
                  const TArcItemEvent& BeforeItem) override;
  std::string GetArcName() override { return ArcName_; }
  TArcBlockPtr ExtractToMemory(const std::string& ItemName, int32_t Size) override;
  void ExtractAllMem(const std::string& DestDir, const TArcMemoryEvent& OnMemory,
                     const TArcFileEvent& FileDone, const TArcDecideEvent& Decide) override;

  // The password that worked last (cleared by SetArcName).
  std::string Password;

 private:
  friend struct TRarCallbacks;
  enum TCallbackKind { ckPlain, ckMemory };

  // One item by name to DestFile, or, with ToMemory, into Destination; false when it was not found.
  bool DoExtractItem(const std::string& ItemName, const std::string& DestFile, TDateTime* Date, int32_t* Size,
                     bool ToMemory);
  void DoExtractAll(const std::string& DestDir, const TArcMemoryEvent& OnMemory,
                    const TArcFileEvent& FileDone, const TArcItemEvent& BeforeItem,
                    const TArcDecideEvent& Decide);
  std::string ErrorText(int Code) const;
  [[noreturn]] void RaiseProcessError(int Code) const;
  [[noreturn]] void RaiseExtractError(const std::string& ItemName, int Code) const;
  [[noreturn]] void RaiseExtractText(const std::string& ItemName, const std::string& Reason) const;
  // Sets the library's callback for the next call.
  void SetCallback(void* Handle, TCallbackKind Kind);
  // Reads the next header; false at the end of the archive, a failure raises the open-error text.
  bool NextHeader(void* Handle, TRarHeaderDataEx& Header);
  // Passes over the current item; a failure raises through RaiseProcessError.
  void Skip(void* Handle);
  int Process(void* Handle, int Operation, const std::string& DestName);
  void RethrowPending();

  int RarCallback(uint32_t Msg, intptr_t P1, intptr_t P2);
  int RarMemoryCallback(uint32_t Msg, intptr_t P1, intptr_t P2);
  int RarAskNextVolume(char* Buffer);

  int64_t Remaining_ = 0;
  bool Cancelled_ = false;
  bool VolumeMissing_ = false;
  uint8_t* Destination_ = nullptr;
  std::string ArcName_;
  std::string RequestedVolume_;
  std::exception_ptr Pending_;
};
