#include "archive/rar/RarIntf.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/ArcScan.h"
#include "archive/ItemTarget.h"
#include "archive/arlBase.h"
#include "archive/arlGbls.h"
#include "archive/rar/UnRarDyn.h"
#include "core/VFileSys.h"

namespace {

// The largest item the wrapper's 32-bit sizes hold.
constexpr uint64_t kMaxItemSize = INT32_MAX;

std::string ItemNameOf(const TRarHeaderDataEx& H) {
  return ConvertItemName(H.FileName, (H.Flags & RAR_FLAG_OEM_NAME) != 0);
}

bool IsFolder(const TRarHeaderDataEx& H) { return (H.FileAttr & RAR_ATTR_FOLDER) != 0; }

uint64_t ItemSize(const TRarHeaderDataEx& H) {
  return (static_cast<uint64_t>(H.UnpSizeHigh) << 32) | H.UnpSize;
}

TDateTime ItemDate(const TRarHeaderDataEx& H) {
  return RarDosDateTime(static_cast<uint16_t>(H.FileTime >> 16), static_cast<uint16_t>(H.FileTime));
}

std::string LastComponent(const std::string& Name) {
  std::string Dir, File;
  SplitFileName(Name, Dir, File);
  return File;
}

// Name as a path below a destination folder: "." segments dropped; a name that is absolute or climbs
// with ".." keeps only its last component.
std::string SafeRelativeName(const std::string& Name) {
  std::string Out, Segment;
  bool Escapes = !Name.empty() && Name[0] == '/';
  for (size_t I = 0; I <= Name.size(); ++I) {
    if (I == Name.size() || Name[I] == '/') {
      if (Segment == "..") Escapes = true;
      if (!Segment.empty() && Segment != "." && Segment != "..") Out += (Out.empty() ? "" : "/") + Segment;
      Segment.clear();
    } else {
      Segment.push_back(Name[I]);
    }
  }
  return Escapes ? LastComponent(Out) : Out;
}

bool StartsWithFolder(const std::string& Name, const std::string& Folder) {
  return !Folder.empty() && Name.size() > Folder.size() &&
         SameTextAscii(Name.substr(0, Folder.size()), Folder);
}

int64_t SizeOfFile(const std::string& Name) {
  struct stat St {};
  return ::stat(Name.c_str(), &St) == 0 && S_ISREG(St.st_mode) ? static_cast<int64_t>(St.st_size) : -1;
}

void MakeFolderOf(const std::string& FileName) {
  std::string Dir, File;
  SplitFileName(FileName, Dir, File);
  if (!Dir.empty()) ForceDirectories(Dir);
}

// The volume after Name in its set: "<stem>.part<N>.rar" goes on in part N + 1 (with as many digits at
// least), ".rar" in ".r00", ".r99" in ".s00"; "" when there is none.
std::string FollowingRarVolume(const std::string& Name) {
  const size_t Dot = Name.rfind('.');
  const size_t Slash = Name.rfind('/');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash)) return "";
  size_t Digits = Dot;
  while (Digits > 0 && Name[Digits - 1] >= '0' && Name[Digits - 1] <= '9') --Digits;
  if (Digits < Dot && Digits >= 5 && SameTextAscii(Name.substr(Digits - 5, 5), ".part")) {
    const std::string Number = std::to_string(std::stoi(Name.substr(Digits, Dot - Digits)) + 1);
    const size_t Width = Dot - Digits;
    return Name.substr(0, Digits) + std::string(Number.size() < Width ? Width - Number.size() : 0, '0') +
           Number + Name.substr(Dot);
  }
  std::string Next = Name;
  return NextVolumeName(Next, akRar) ? Next : std::string();
}

}  // namespace

// --- The library's callbacks ------------------------------------------------------------------------------

struct TRarCallbacks {
  static int Plain(uint32_t Msg, void* User, intptr_t P1, intptr_t P2) {
    auto* W = static_cast<TBaseRarWrapper*>(User);
    try {
      return W->RarCallback(Msg, P1, P2);
    } catch (...) {
      W->Pending_ = std::current_exception();
      return -1;
    }
  }
  static int Memory(uint32_t Msg, void* User, intptr_t P1, intptr_t P2) {
    auto* W = static_cast<TBaseRarWrapper*>(User);
    try {
      return W->RarMemoryCallback(Msg, P1, P2);
    } catch (...) {
      W->Pending_ = std::current_exception();
      return -1;
    }
  }
};

void TBaseRarWrapper::SetCallback(void* Handle, TCallbackKind Kind) {
  UnRarEntries().SetCallback(Handle, Kind == ckMemory ? TRarCallbacks::Memory : TRarCallbacks::Plain, this);
}

void TBaseRarWrapper::RethrowPending() {
  if (!Pending_) return;
  std::exception_ptr P = Pending_;
  Pending_ = nullptr;
  std::rethrow_exception(P);
}

int TBaseRarWrapper::Process(void* Handle, int Operation, const std::string& DestName) {
  const int R =
      UnRarEntries().ProcessFile(Handle, Operation, nullptr, DestName.empty() ? nullptr : DestName.c_str());
  RethrowPending();
  return R;
}

bool TBaseRarWrapper::NextHeader(void* Handle, TRarHeaderDataEx& Header) {
  SetCallback(Handle, ckPlain);
  const int R = UnRarEntries().ReadHeaderEx(Handle, &Header);
  RethrowPending();
  if (R == RAR_END_ARCHIVE) return false;
  if (R != RAR_SUCCESS) throw EArcError(RarOpenErrorText(R, ArcName_));
  return true;
}

void TBaseRarWrapper::Skip(void* Handle) {
  SetCallback(Handle, ckPlain);
  const int R = Process(Handle, RAR_SKIP, "");
  if (R != RAR_SUCCESS) RaiseProcessError(R);
}

int TBaseRarWrapper::RarCallback(uint32_t Msg, intptr_t P1, intptr_t P2) {
  if (Msg == RAR_MSG_CHANGE_VOLUME) return P2 == 0 ? RarAskNextVolume(reinterpret_cast<char*>(P1)) : 1;
  if (Msg == RAR_MSG_PROCESS_DATA && OnProgress && !OnProgress(0, 0)) {
    Cancelled_ = true;
    return -1;
  }
  return 1;
}

int TBaseRarWrapper::RarMemoryCallback(uint32_t Msg, intptr_t P1, intptr_t P2) {
  if (Msg != RAR_MSG_PROCESS_DATA) return RarCallback(Msg, P1, P2);
  if (P2 < 0 || P2 > Remaining_) return -1;  // never more than the block holds
  if (OnProgress && !OnProgress(0, 0)) {
    Cancelled_ = true;
    return -1;
  }
  std::memcpy(Destination_, reinterpret_cast<const void*>(P1), static_cast<size_t>(P2));
  Destination_ += P2;
  Remaining_ -= P2;
  return 1;
}

int TBaseRarWrapper::RarAskNextVolume(char* Buffer) {
  Buffer[RAR_VOLUME_NAME_SIZE - 1] = '\0';
  RequestedVolume_ = Buffer;
  std::string Dir, File;
  SplitFileName(ArcName_, Dir, File);
  std::string Name =
      StartsWithFolder(RequestedVolume_, Dir) ? RequestedVolume_.substr(Dir.size()) : RequestedVolume_;
  if (!OnNextVolume || !OnNextVolume(Name) || !FileExists(Name) || Name.size() >= RAR_VOLUME_NAME_SIZE) {
    VolumeMissing_ = true;
    return -1;
  }
  RequestedVolume_ = Name;
  std::memcpy(Buffer, Name.c_str(), Name.size() + 1);
  return 1;
}

// --- Texts ------------------------------------------------------------------------------------------------

std::string TBaseRarWrapper::ErrorText(int Code) const {
  if (VolumeMissing_) {
    std::string Dir, File;
    SplitFileName(ArcName_, Dir, File);
    const std::string Name =
        StartsWithFolder(RequestedVolume_, Dir) ? RequestedVolume_.substr(Dir.size()) : RequestedVolume_;
    return "Volume \"" + Name + "\" not found";
  }
  return RarProcessErrorText(Code, "");
}

void TBaseRarWrapper::RaiseProcessError(int Code) const {
  throw EArcError("Error processing archive \"" + ArcName_ + "\". " + ErrorText(Code));
}

void TBaseRarWrapper::RaiseExtractError(const std::string& ItemName, int Code) const {
  RaiseExtractText(ItemName, ErrorText(Code));
}

void TBaseRarWrapper::RaiseExtractText(const std::string& ItemName, const std::string& Reason) const {
  throw EArcError("Can't extract \"" + ItemName + "\" from \"" + ArcName_ + "\"" +
                  (Reason.empty() ? "" : ". " + Reason));
}

// --- Opening and listing ----------------------------------------------------------------------------------

bool TBaseRarWrapper::SetArcName(const std::string& FileName, std::string& Msg) {
  ArcName_.clear();
  Password.clear();
  if (!LoadUnRarDll("")) {
    Msg = std::string("Can't load dynamic link library \"") + kUnRarLibrary + "\"";
    return false;
  }
  void* Handle = RarOpenArchive(FileName, RAR_OM_LIST, Msg);
  if (!Handle) return false;
  UnRarEntries().CloseArchive(Handle);
  ArcName_ = FileName;
  return true;
}

bool TBaseRarWrapper::List(const TArcItemEvent& ItemCallback) {
  TRarHandle H(RarOpenArchiveOrRaise(ArcName_, RAR_OM_LIST));
  Cancelled_ = VolumeMissing_ = false;
  for (;;) {
    TRarHeaderDataEx Header{};
    if (!NextHeader(H.Handle, Header)) return true;
    if (IsFolder(Header)) continue;
    if (!(Header.Flags & RAR_FLAG_CONTINUED) && ItemSize(Header) <= kMaxItemSize) {
      bool Stop = false;
      const std::string Name = ItemNameOf(Header);
      TArcListItem Item{Name, false, ItemDate(Header), static_cast<int32_t>(ItemSize(Header))};
      if (ItemCallback) ItemCallback(Item, Stop);
      if (Stop) return false;
    }
    Skip(H.Handle);
  }
}

// --- One item
// -----------------------------------------------------------------------------------------------

bool TBaseRarWrapper::DoExtractItem(const std::string& ItemName, const std::string& DestFile, TDateTime* Date,
                                    int32_t* Size, bool ToMemory) {
  Cancelled_ = VolumeMissing_ = false;
  uint8_t* const Block = Destination_;
  const int64_t BlockSize = Remaining_;
  for (int Attempt = 1;; ++Attempt) {
    Destination_ = Block;
    Remaining_ = BlockSize;
    TRarHandle H(RarOpenArchiveOrRaise(ArcName_, RAR_OM_EXTRACT));
    for (;;) {
      TRarHeaderDataEx Header{};
      if (!NextHeader(H.Handle, Header)) return false;
      if (IsFolder(Header)) continue;
      if ((Header.Flags & RAR_FLAG_CONTINUED) || !SameTextAscii(ItemNameOf(Header), ItemName)) {
        Skip(H.Handle);
        continue;
      }
      const bool Encrypted = (Header.Flags & RAR_FLAG_ENCRYPTED) != 0;
      // A password is asked for only after a library that can decrypt has refused the item without one.
      if (Encrypted && Attempt > 1) {
        if (!OnPassword || !OnPassword(ArcName_, ItemName, Password))
          RaiseExtractText(ItemName, "Invalid password");
      }
      if (Encrypted && !Password.empty()) UnRarEntries().SetPassword(H.Handle, Password.c_str());
      SetCallback(H.Handle, ToMemory ? ckMemory : ckPlain);
      const int Result =
          ToMemory ? Process(H.Handle, RAR_TEST, "") : Process(H.Handle, RAR_EXTRACT, DestFile);
      if (Size) *Size = static_cast<int32_t>(std::min<uint64_t>(ItemSize(Header), kMaxItemSize));
      if (Date) *Date = ItemDate(Header);
      if (Cancelled_) return true;
      if (Result == RAR_SUCCESS) return true;
      if (Encrypted && Result != RAR_E_ENCRYPTED) break;  // a wrong or missing password: ask again
      RaiseExtractError(ItemName, Result);
    }
    if (Attempt == 1) Password.clear();
  }
}

void TBaseRarWrapper::ExtractItem(const std::string& DestDir, const std::string& ItemName, std::string& Path,
                                  int32_t ExpectedSize, TDateTime* Date, int32_t* Size, bool,
                                  const std::string& ExplicitPath) {
  Path = !ExplicitPath.empty() ? ExplicitPath : IncludeItemSeparator(DestDir) + LastComponent(ItemName);
  if (ExplicitPath.empty() && FileExists(Path) && !ForceDeleteFile(Path))
    throw EArcError("Can't delete file \"" + Path + "\"");
  // The item is written beside Path and moved there once accepted: an item that is not there, fails or has
  // the wrong size leaves a file of that name as it was and no new file behind.
  TItemTarget Target(Path);
  if (!Target.Prepare()) RaiseExtractText(ItemName, std::strerror(errno != 0 ? errno : EACCES));
  Remaining_ = 0;
  Destination_ = nullptr;
  const bool Found = DoExtractItem(ItemName, Target.TempPath(), Date, Size, false);
  const int64_t Written = SizeOfFile(Target.TempPath());
  if (!Found || Written < 0 || (ExpectedSize >= 0 && Written != ExpectedSize)) RaiseExtractText(ItemName, "");
  if (!Target.Commit()) {
    const int Error = errno;
    if (FileExists(Path)) throw EArcError("Can't delete file \"" + Path + "\"");
    RaiseExtractText(ItemName, std::strerror(Error));
  }
}

TArcBlockPtr TBaseRarWrapper::ExtractToMemory(const std::string& ItemName, int32_t Size) {
  if (Size < 0) RaiseExtractText(ItemName, "");
  TArcBlockPtr Block(std::malloc(Size > 0 ? static_cast<size_t>(Size) : 1));
  if (!Block) RaiseExtractText(ItemName, std::strerror(ENOMEM));
  Destination_ = static_cast<uint8_t*>(Block.get());
  Remaining_ = Size;
  bool Found = false;
  try {
    Found = DoExtractItem(ItemName, "", nullptr, nullptr, true);
  } catch (...) {
    Destination_ = nullptr;
    throw;
  }
  Destination_ = nullptr;
  if (!Found || Cancelled_ || Remaining_ != 0) RaiseExtractText(ItemName, "");
  return Block;
}

// --- Every item
// -----------------------------------------------------------------------------------------------

void TBaseRarWrapper::ExtractAll(const std::string& DestDir, const TArcFileEvent& FileDone,
                                 const TArcItemEvent& BeforeItem) {
  DoExtractAll(DestDir, nullptr, FileDone, BeforeItem, nullptr);
}

void TBaseRarWrapper::ExtractAllMem(const std::string& DestDir, const TArcMemoryEvent& OnMemory,
                                    const TArcFileEvent& FileDone, const TArcDecideEvent& Decide) {
  DoExtractAll(DestDir, OnMemory, FileDone, nullptr, Decide);
}

void TBaseRarWrapper::DoExtractAll(const std::string& DestDirArg, const TArcMemoryEvent& OnMemory,
                                   const TArcFileEvent& FileDone, const TArcItemEvent& BeforeItem,
                                   const TArcDecideEvent& Decide) {
  Cancelled_ = VolumeMissing_ = false;
  const std::string DestDir = IncludeItemSeparator(DestDirArg);
  std::vector<std::string> Retry;
  bool Stop = false;
  // The last item met that goes on into a further volume: when the walk goes on after a missing volume,
  // a part of it there is not named again.
  std::string SpanningName;
  // A missing volume ends the library's walk; it goes on from the next volume of the set that is there
  // (whose parts continued from before it are passed over like any continued part).
  std::string Start = ArcName_;
  while (!Stop && !Start.empty()) {
    const std::string From = Start;
    Start.clear();
    VolumeMissing_ = false;
    std::string OpenError;
    TRarHandle H(From == ArcName_ ? RarOpenArchiveOrRaise(ArcName_, RAR_OM_EXTRACT)
                                  : RarOpenArchive(From, RAR_OM_EXTRACT, OpenError));
    if (!H.Handle) {
      if (OnMessage) OnMessage(OpenError);
      break;
    }
    // Names the missing volume and the volume to go on from; false when none is there.
    auto GoOnAfterGap = [&]() {
      std::string Dir, File;
      SplitFileName(ArcName_, Dir, File);
      std::string Missing =
          StartsWithFolder(RequestedVolume_, Dir) || RequestedVolume_.find('/') != std::string::npos
              ? RequestedVolume_
              : Dir + RequestedVolume_;
      if (OnMessage) OnMessage(ErrorText(0));
      for (int N = 0; N < 1000 && Start.empty(); ++N) {
        Missing = FollowingRarVolume(Missing);
        if (Missing.empty()) break;
        if (FileExists(Missing)) Start = Missing;
      }
    };
    auto SkipItem = [&]() {
      try {
        Skip(H.Handle);
      } catch (const EArcError&) {
        if (!VolumeMissing_) throw;
        GoOnAfterGap();
        return false;
      }
      return true;
    };
    bool FirstHeader = true;
    while (!Stop) {
      TRarHeaderDataEx Header{};
      if (!NextHeader(H.Handle, Header)) {
        if (VolumeMissing_) GoOnAfterGap();
        break;
      }
      const bool First = FirstHeader;
      FirstHeader = false;
      const std::string Name = ItemNameOf(Header);
      auto Report = [&](const std::string& Reason) {
        if (OnMessage) OnMessage("Can't extract \"" + Name + "\" from \"" + ArcName_ + "\". " + Reason);
      };
      if (Header.Flags & RAR_FLAG_HEADER_BROKEN) {
        // Named before anything else its header says is believed: any field of it may be the damage.
        Report(ErrorText(RAR_E_BAD_HEADER));
        if (!SkipItem()) break;
        if (Cancelled_) return;
        continue;
      }
      // A part continued from before the volume a walk starts in (a set read from a later volume, or
      // after a missing one) is all that is left of an item that begins in a missing volume.
      const bool BeginningLost = (Header.Flags & RAR_FLAG_CONTINUED) && First && Name != SpanningName;
      if (Header.Flags & RAR_FLAG_CONTINUES) SpanningName = Name;
      if (IsFolder(Header)) continue;
      if ((Header.Flags & RAR_FLAG_CONTINUED) || ItemSize(Header) > kMaxItemSize) {
        if (BeginningLost) Report("It begins in a missing volume");
        if (!SkipItem()) break;
        if (Cancelled_) return;
        continue;
      }
      const int32_t Size = static_cast<int32_t>(ItemSize(Header));
      TDateTime Date = ItemDate(Header);
      const bool Encrypted = (Header.Flags & RAR_FLAG_ENCRYPTED) != 0;
      const bool SizeIncomplete = (Header.Flags & RAR_FLAG_CONTINUES) != 0;
      std::string FileName = DestDir + SafeRelativeName(Name);
      TExtractDecision Decision = edToFile;
      bool Go;
      if (Decide) {
        TArcDecideItem Item{Name, SizeIncomplete, Date, Size, false, FileName};
        Go = Decide(Item);
        FileName = Item.FileName;
        Decision = Item.Decision;
        if (Decision == edCancel) return;
        if (Size == 0) Go = false;  // an empty item holds nothing to search
      } else {
        TArcListItem Item{Name, SizeIncomplete, Date, Size};
        Go = BeforeItem ? BeforeItem(Item, Stop) : true;
        Date = Item.Date;
        if (Stop) break;
      }
      if (!Go) {
        if (!SkipItem()) break;
        if (Cancelled_) return;
        if (Decide && SizeIncomplete) {
          TArcDecideItem Ignored{Name, false, Date, Size, false, FileName};
          Decide(Ignored);
        }
        continue;
      }
      int Result;
      TArcBlockPtr Block;
      if (Decision == edToMemory) {
        Block.reset(std::malloc(Size > 0 ? static_cast<size_t>(Size) : 1));
        if (!Block) RaiseExtractText(Name, std::strerror(ENOMEM));
        Destination_ = static_cast<uint8_t*>(Block.get());
        Remaining_ = Size;
        SetCallback(H.Handle, ckMemory);
        Result = Process(H.Handle, RAR_TEST, "");
        Destination_ = nullptr;
        if (Result == RAR_SUCCESS && Remaining_ != 0) Result = RAR_E_BAD_DATA;
      } else {
        if (FileExists(FileName)) ForceDeleteFile(FileName);
        MakeFolderOf(FileName);
        SetCallback(H.Handle, ckPlain);
        Result = Process(H.Handle, RAR_EXTRACT, FileName);
      }
      if (Cancelled_) return;
      if (Result != RAR_SUCCESS) {
        if (Encrypted && Result != RAR_E_ENCRYPTED) {
          Retry.push_back(Name);
          continue;
        }
        // An item that cannot be had is reported and the pass goes on with the next one (an encrypted
        // item the library cannot decrypt, a CRC error, ...); at a missing volume, with the next volume
        // of the set that is there.
        if (OnMessage)
          OnMessage("Can't extract \"" + Name + "\" from \"" + ArcName_ + "\". " + ErrorText(Result));
        if (VolumeMissing_) {
          SpanningName = Name;  // named here with the missing volume
          GoOnAfterGap();
          break;
        }
        continue;
      }
      if (Decision == edToMemory) {
        TArcMemoryItem Item{Name, std::move(Block), Date, Size};
        if (OnMemory) OnMemory(Item, Stop);
      } else if (FileDone) {
        TArcFileItem File{FileName, Date, Size};
        FileDone(File, Stop);
      }
    }
  }
  // Encrypted items that failed are tried once more one by one, with the password questions.
  for (const std::string& Name : Retry) {
    if (Stop) break;
    try {
      std::string Path;
      TDateTime Date = 0;
      int32_t Size = 0;
      ExtractItem(DestDir, Name, Path, -1, &Date, &Size, false, "");
      TArcFileItem File{Path, Date, Size};
      if (FileDone) FileDone(File, Stop);
    } catch (const EArcError&) {
    }
  }
}
