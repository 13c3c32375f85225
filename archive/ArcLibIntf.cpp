#include "archive/ArcLibIntf.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <utility>

#include "archive/ItemTarget.h"
#include "archive/ace/arlUnAce2.h"
#include "archive/arc/arlUnArc.h"
#include "archive/arj/arlUnARJ.h"
#include "archive/cab/arlUnCab.h"
#include "archive/gzip/arlUnGZip.h"
#include "archive/lha/arlUnLha.h"
#include "archive/tar/arlUnTar.h"
#include "archive/zip/arlUnZip.h"
#include "archive/zoo/arlUnZoo.h"
#include "core/FileLayer.h"
#include "core/VFileSys.h"

namespace {

// --- Decoders by library type code ------------------------------------------------------------------------

using TMakeDecoder = std::unique_ptr<TUnBase> (*)(std::string& Msg);

template <class T>
std::unique_ptr<TUnBase> MakeDecoder(std::string&) {
  return std::make_unique<T>();
}

// ACE and CAB archives are decoded through outside libraries: without the library bound, their archives
// answer as the missing library.
std::unique_ptr<TUnBase> MakeUnAce(std::string& Msg) {
  if (LoadUnAceDll("")) return std::make_unique<TUnAce>();
  Msg = ArlErrorText(errUnAceDll);
  return nullptr;
}
std::unique_ptr<TUnBase> MakeUnCab(std::string& Msg) {
  if (LoadCabinetDll("")) return std::make_unique<TUnCab>();
  Msg = ArlErrorText(errCabinetDll);
  return nullptr;
}

// A .tgz is searched as the one TAR file it holds, not as the TAR's members.
std::unique_ptr<TUnBase> MakeUnGZip(std::string&) {
  auto Decoder = std::make_unique<TUnGZip>();
  Decoder->OnNestedTarFile = [](TZipCommon*, const std::string&, bool& Extract) { Extract = false; };
  return Decoder;
}

struct TDecoderKind {
  uint8_t FirstCode;
  uint8_t LastCode;
  uint8_t TypeCode;  // the code the wrapper keeps; 0 keeps the detected one
  TMakeDecoder Make;
};

// The decoder of each library type; a code without a row is "damaged or not supported".
constexpr TDecoderKind kDecoderKinds[] = {
    {atAce, atAceSfx, atAce, MakeUnAce},
    {atArc, atArcSfx, atArc, MakeDecoder<TUnArc>},
    {atArj, atArjSfx, atArj, MakeDecoder<TUnArj>},
    {atCab, atCab, atCab, MakeUnCab},
    {atGZip, atGZip, atGZip, MakeUnGZip},
    {atJar, atJarSfx, 0, MakeDecoder<TUnZip>},
    {atLha, atLzhSfx, atLha, MakeDecoder<TUnLha>},
    // PAK extends ARC with methods and folders that the ARC decoder knows; its items read as ARC's.
    {atPak, atPakSfx, atArc, MakeDecoder<TUnArc>},
    {atTar, atTar, atTar, MakeDecoder<TUnTar>},
    {atZip, atZipSfx, atZip, MakeDecoder<TUnZip>},
    {atZoo, atZoo, atZoo, MakeDecoder<TUnZoo>},
};

const TDecoderKind* FindDecoderKind(int Code) {
  for (const auto& K : kDecoderKinds)
    if (Code >= K.FirstCode && Code <= K.LastCode) return &K;
  return nullptr;
}

// The ARJ header flag of an item that continues in the next volume.
constexpr uint32_t kArjContinues = 0x04;

std::string LastComponent(const std::string& Name) {
  std::string Dir, FileName;
  SplitFileName(Name, Dir, FileName);
  return FileName;
}

bool IsUsableFileName(const std::string& Name) { return !Name.empty() && Name != "." && Name != ".."; }

bool StartsWithText(const std::string& S, const std::string& Prefix) {
  return !Prefix.empty() && S.size() > Prefix.size() && SameTextAscii(S.substr(0, Prefix.size()), Prefix);
}

// Removes the decoder's per-run hooks on every path.
class TRunHooks {
 public:
  explicit TRunHooks(TUnBase& Decoder) : Decoder_(Decoder) {}
  ~TRunHooks() {
    Decoder_.OnBegin = nullptr;
    Decoder_.OnEnd = nullptr;
    Decoder_.OnStreamQuery = nullptr;
    Decoder_.OnStreamEntry = nullptr;
  }
  TRunHooks(const TRunHooks&) = delete;
  TRunHooks& operator=(const TRunHooks&) = delete;

 private:
  TUnBase& Decoder_;
};

}  // namespace

// --- TGlobalMemoryStream32 --------------------------------------------------------------------------------

int32_t TGlobalMemoryStream32::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  if (Position_ + Count > Limit) {
    Overflowed = true;
    return 0;
  }
  return TDecompMemoryStream::Write(Buffer, Count);
}

void TGlobalMemoryStream32::Reserve(int64_t Bytes) {
  const int64_t Want = std::min(Bytes, kMaxReserve);
  if (Want > Capacity_) SetCapacity(Want);
}

int32_t TGlobalMemoryStream32::DetachBlock(void*& Block) {
  const auto Size = static_cast<int32_t>(Size_);
  const int64_t Exact = std::max<int64_t>(Size_, 1);
  if (Capacity_ != Exact) SetCapacity(Exact);
  Block = ReleaseMemory();
  ClearRecords();
  return Size;
}

// --- TExtractAllStream -------------------------------------------------------------------------------------

TExtractAllStream::~TExtractAllStream() { DropFile(); }

int32_t TExtractAllStream::Read(void*, int32_t) { throw Exception("Method not implemented"); }

int32_t TExtractAllStream::Write(const void* Buffer, int32_t Count) {
  if (!ToFile) return TGlobalMemoryStream32::Write(Buffer, Count);
  return FileStream_ ? FileStream_->Write(Buffer, Count) : 0;
}

int64_t TExtractAllStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (!ToFile) return TGlobalMemoryStream32::Seek(Offset, Origin);
  return FileStream_ ? FileStream_->Seek(Offset, Origin) : 0;
}

void TExtractAllStream::SetSize(int64_t NewSize) {
  if (!ToFile)
    TGlobalMemoryStream32::SetSize(NewSize);
  else if (FileStream_)
    FileStream_->SetSize(NewSize);
}

bool TExtractAllStream::CreateFile() {
  std::string Dir, Name;
  SplitFileName(FileName, Dir, Name);
  if (Name.empty() || (!Dir.empty() && !ForceDirectories(Dir))) return false;
  int32_t Error = 0;
  FileStream_ = std::make_unique<TFileStream32>(FileName, fmCreate, Error);
  if (Error != 0) FileStream_.reset();
  return FileStream_ != nullptr;
}

bool TExtractAllStream::ResetForItem() {
  DropItem();
  Limit = kMaxMemorySize;
  Overflowed = false;
  return !ToFile || CreateFile();
}

bool TExtractAllStream::SwitchToFile() {
  assert(!ToFile);
  ToFile = true;
  if (!CreateFile()) return false;
  const auto Size = static_cast<int32_t>(GetSize());
  const bool Moved = Size == 0 || FileStream_->Write(Memory(), Size) == Size;
  Clear();
  ClearRecords();
  if (!Moved) DropFile();
  return Moved;
}

bool TExtractAllStream::CloseFile() {
  if (!FileStream_) return true;
  const bool Ok = FileStream_->Close();
  FileStream_.reset();
  if (!Ok) ForceDeleteFile(FileName);
  return Ok;
}

void TExtractAllStream::DropItem() {
  DropFile();
  Clear();
  ClearRecords();
}

void TExtractAllStream::DropFile() {
  if (!FileStream_) return;
  FileStream_.reset();
  ForceDeleteFile(FileName);
}

// --- TBaseArcLibWrapper
// -------------------------------------------------------------------------------------

TBaseArcLibWrapper::TBaseArcLibWrapper() : Detector_(std::make_unique<TArcLib>()) {}

TBaseArcLibWrapper::~TBaseArcLibWrapper() = default;

bool TBaseArcLibWrapper::SetArcName(const std::string& FileName, std::string& Msg) {
  Decoder_.reset();
  TypeCode_ = 0;
  Detector_->SetArchiveFile("");
  if (!FileExists(FileName)) {
    Msg = "File \"" + FileName + "\" not found";
    return false;
  }
  try {
    Detector_->SetArchiveFile(FileName);
    const int Code = Detector_->ArcType;
    if (const TDecoderKind* Kind = FindDecoderKind(Code)) {
      std::string Reason;
      Decoder_ = Kind->Make(Reason);
      if (!Decoder_ && !Reason.empty()) {
        Msg = Reason;
        Detector_->SetArchiveFile("");
        return false;
      }
      TypeCode_ = static_cast<uint8_t>(Kind->TypeCode != 0 ? Kind->TypeCode : Code);
    }
  } catch (const std::exception& E) {
    Decoder_.reset();
    TypeCode_ = 0;
    Msg = E.what();
    Detector_->SetArchiveFile("");
    return false;
  }
  if (!Decoder_) {
    Msg = "Archive \"" + FileName + "\" is damaged or not supported";
    Detector_->SetArchiveFile("");
    TypeCode_ = 0;
    return false;
  }
  HookDecoder();
  Decoder_->SetArchiveFile(FileName);
  return true;
}

bool TBaseArcLibWrapper::SetArcStream(TStream32& Data, const std::string& Name, std::string& Msg) {
  Decoder_.reset();
  TypeCode_ = 0;
  Detector_->SetArchiveFile("");
  const TDecoderKind* Kind = FindDecoderKind(atTar);
  std::string Reason;
  Decoder_ = Kind ? Kind->Make(Reason) : nullptr;
  if (!Decoder_) {
    Msg = Reason.empty() ? "Archive \"" + Name + "\" is damaged or not supported" : Reason;
    return false;
  }
  TypeCode_ = atTar;
  HookDecoder();
  // The name only names the archive: nothing opens it.
  Detector_->ArchiveFile = Name;
  Detector_->ArcType = atTar;
  Decoder_->ArchiveFile = Name;
  Decoder_->ArcType = atTar;
  Decoder_->VolumeNumber = 1;
  Decoder_->ForwardInput = &Data;
  return true;
}

void TBaseArcLibWrapper::HookDecoder() {
  Decoder_->OnError = [this](TZipCommon*, const TArlErrorReport& Error) {
    DoError(Error.FileName, Error.ErrorCode, Error.ExtraInfo1);
  };
  // Never asked while ConfirmOverwrites is off; an existing file is replaced.
  Decoder_->OnFileExists = [](TZipCommon*, TArlFileExists& Query) {
    Query.Skip = false;
    Query.NewName.clear();
  };
  Decoder_->OnProgress = [this](TZipCommon*, int32_t A, int32_t B) { DoProgress(A, B); };
  Decoder_->OnNextVolumeFile = [this](TZipCommon*, TArlNextVolume& Request) {
    DoNextVolume(Request.FileName, Request.Cancel, Request.Exists);
  };
  Decoder_->OnGetPassword = [this](TZipCommon*, TArlPasswordQuery& Query) {
    DoGetPassword(Query.Continue, Query.Password);
  };
  Decoder_->PasswordAttempts = 1000;
}

std::string TBaseArcLibWrapper::GetArcName() { return Detector_->ArchiveFile; }

// --- Decoder events ---------------------------------------------------------------------------------------

void TBaseArcLibWrapper::DoError(const std::string& FileName, int32_t Code, const std::string& Info) {
  if (Code == errUserCanceled) return;
  // The report names the item it is about; a report about the archive itself names nothing, since the
  // caller knows the archive (and the decoder may see it under a temporary name). Output files are named
  // by their item.
  std::string Subject = FileName;
  if (Subject == Decoder_->ArchiveFile || Subject == CurrentVolume_) {
    Subject.clear();
  } else if (!Subject.empty() &&
             (Subject == Decoder_->CurrentOutputName ||
              (!Decoder_->ExtractDir.empty() && StartsWithText(Subject, Decoder_->ExtractDir)))) {
    Subject = Decoder_->Item.Name;
  }
  std::string Detail = Subject;
  if (!Info.empty()) Detail += (Detail.empty() ? "" : ", ") + Info;
  const std::string Text = ArlErrorText(Code);
  if (Text.empty())
    Note(Subject.empty() ? Info : Subject + ": " + Info, Subject);
  else if (!Detail.empty())
    Note(Text + " (" + Detail + ")", Subject);
  else
    Note(Text, Subject);
}

void TBaseArcLibWrapper::Note(const std::string& Message, const std::string& ItemName) {
  if (Message.empty()) return;
  LastMessage_ = Message;
  if (DistinctMessages_.insert(Message).second) {
    // A report about the archive itself from a decoder that finds it late goes where a walk of the
    // headers first would have put it: after the archive's other reports, before those about items.
    if (ItemName.empty() && Decoder_ && Decoder_->ArchiveReportsFirst)
      Messages_.insert(Messages_.begin() + static_cast<ptrdiff_t>(ArchiveMessages_++), Message);
    else
      Messages_.push_back(Message);
  }
  if (!ItemName.empty()) ReportedItems_.insert(ItemName);
}

void TBaseArcLibWrapper::NoteCrcFailure(const std::string& ItemName) {
  // An item whose damage was reported already gets no second message for its failed check.
  if (ReportedItems_.count(ItemName) == 0) Note(ArlErrorText(errCrcFailed) + " (" + ItemName + ")", ItemName);
}

void TBaseArcLibWrapper::DoProgress(int32_t A, int32_t B) {
  if (OnProgress && !OnProgress(A, B)) CancelRun();
}

void TBaseArcLibWrapper::DoNextVolume(std::string& FileName, bool& Cancel, bool Exists) {
  // The owner is asked with the name the archive expects, without the current volume's folder; the
  // decoder keeps the full name of the file it is to open.
  std::string Dir, Name;
  SplitFileName(CurrentVolume_, Dir, Name);
  std::string Expected = FileName;
  if (StartsWithText(Expected, Dir)) Expected.erase(0, Dir.size());
  RequestedVolume_ = Expected;
  if (Exists) {
    Cancel = false;
  } else {
    std::string Answer = Expected;
    if (OnNextVolume && OnNextVolume(Answer) && FileExists(Answer)) {
      FileName = Answer;
      Cancel = false;
    } else {
      Note("Volume \"" + Expected + "\" not found");
      Cancel = true;
    }
  }
  CurrentVolume_ = FileName;
}

void TBaseArcLibWrapper::DoGetPassword(bool& Continue, std::string& Password) {
  Continue = OnPassword ? OnPassword(Decoder_->ArchiveFile, Decoder_->Item.Name, Password) : false;
  if (!Continue) PasswordRefused_ = true;
}

// --- Shared steps
// ---------------------------------------------------------------------------------------------

void TBaseArcLibWrapper::RaiseExtractError(const std::string& ItemName) {
  const std::string ArcName = Decoder_ ? Decoder_->ArchiveFile : Detector_->ArchiveFile;
  std::string Text = "Can't extract \"" + ItemName + "\" from \"" + ArcName + "\".";
  if (!LastMessage_.empty()) Text += " " + LastMessage_;
  throw EArcError(Text);
}

void TBaseArcLibWrapper::ReadItemStamp() {
  SizeIncomplete_ = false;
  TooLarge_ = false;
  const TArlItem& Item = Decoder_->Item;
  // Sizes are 32-bit: an item of 2 GB or more cannot be delivered.
  if (Item.UnpackedSize < 0 || Item.UnpackedSize > INT32_MAX) {
    TooLarge_ = true;
    ItemSize_ = 0;
  } else {
    ItemSize_ = static_cast<int32_t>(Item.UnpackedSize);
  }
  ItemDate_ = Decoder_->DosDateToDateTime(Item.DosDateTime);
  if (TypeCode_ == atArj) SizeIncomplete_ = (Item.Flags & kArjContinues) != 0;
}

bool TBaseArcLibWrapper::BeginItemStamp() {
  const std::string Name = Decoder_->Item.Name;
  const bool Continued = SizeIncomplete_ && !ContinuedName_.empty() && SameTextAscii(Name, ContinuedName_);
  const int32_t Previous = ItemSize_;
  ReadItemStamp();
  if (Continued) {
    const int64_t Sum = int64_t{ItemSize_} + Previous;
    if (Sum > INT32_MAX) TooLarge_ = true;
    ItemSize_ = static_cast<int32_t>(std::min<int64_t>(Sum, INT32_MAX));
  }
  ContinuedName_ = SizeIncomplete_ ? Name : std::string();
  return Continued;
}

void TBaseArcLibWrapper::ResetState() {
  if (!Decoder_) throw EArcError("No archive is open");
  Cancelled_ = false;
  SizeIncomplete_ = false;
  PasswordRefused_ = false;
  PrevExtracted_ = false;
  TooLarge_ = false;
  ItemActive_ = false;
  ItemSize_ = 0;
  ItemDate_ = 0;
  LastMessage_.clear();
  Messages_.clear();
  DistinctMessages_.clear();
  ArchiveMessages_ = 0;
  ReportedItems_.clear();
  RequestedVolume_.clear();
  ContinuedName_.clear();
  ActiveName_.clear();
  StreamActive_ = false;
  CurrentVolume_ = Decoder_->ArchiveFile;
  Decoder_->VolumeNumber = 1;
}

void TBaseArcLibWrapper::CancelRun() {
  Cancelled_ = true;
  if (Decoder_ && !Decoder_->GetCancel()) Decoder_->SetCancel(true);
}

void TBaseArcLibWrapper::PassMessage() {
  if (OnMessage)
    for (const std::string& Message : Messages_) OnMessage(Message);
}

// --- Listing and single items ----------------------------------------------------------------------------

bool TBaseArcLibWrapper::List(const TArcItemEvent& ItemCallback) {
  assert(ItemCallback);
  auto Decide = [&ItemCallback](TArcDecideItem& Decided) {
    bool Stop = false;
    TArcListItem Item{Decided.ItemName, Decided.SizeIncomplete, Decided.Date, Decided.Size};
    ItemCallback(Item, Stop);
    if (Stop) Decided.Decision = edCancel;
    return false;
  };
  RunAllMem("", nullptr, nullptr, Decide, true);
  return !Cancelled_;
}

void TBaseArcLibWrapper::ExtractItem(const std::string& DestDirArg, const std::string& ItemName,
                                     std::string& Path, int32_t ExpectedSize, TDateTime* Date, int32_t* Size,
                                     bool SetFileTime, const std::string& ExplicitPath) {
  ResetState();
  DestDir_ = IncludeItemSeparator(DestDirArg);
  if (!ExplicitPath.empty()) {
    Path = ExplicitPath;
  } else {
    const std::string Name = LastComponent(ItemName);
    if (!IsUsableFileName(Name)) {
      LastMessage_ = ArlErrorText(errInvalidFileName);
      RaiseExtractError(ItemName);
    }
    Path = DestDir_ + Name;
    if (FileExists(Path) && !ForceDeleteFile(Path)) throw EArcError("Can't delete file \"" + Path + "\"");
  }

  // An explicit path is written through a file beside it, so that a file of that name stays as it was
  // until the item has been extracted whole.
  TItemTarget Target(Path);
  int32_t Items = 0;
  {
    TRunHooks Hooks(*Decoder_);
    // Each item begun gives its stamp; the parts of an item that spans volumes add up.
    Decoder_->OnBegin = [this](TZipCommon*, TArlBeginItem&) { BeginItemStamp(); };
    if (!ExplicitPath.empty()) {
      if (!Target.Prepare()) {
        LastMessage_ = std::strerror(errno != 0 ? errno : EACCES);
      } else {
        int32_t Error = 0;
        TFileStream32 Out(Target.TempPath(), fmCreate, Error);
        if (Error != 0) {
          LastMessage_ = ArlErrorText(errOpeningFile);
        } else {
          Items = Decoder_->ExtractToStream(ItemName, &Out);
          if (!Out.Close()) LastMessage_ = ArlErrorText(errClosingFile);
        }
      }
    } else {
      ForceDirectories(DestDir_);
      Decoder_->SetExtractDir(DestDir_);
      Decoder_->FileSpec = {ItemName};
      Decoder_->FileSpecLiteral = true;
      Decoder_->UseStoredDirs = false;
      Items = Decoder_->ExtractToFiles();
      Decoder_->FileSpecLiteral = false;
    }
  }
  if (ExpectedSize >= 0) ItemSize_ = ExpectedSize;

  // A run that began no item found none of that name: whatever file it left is not the item.
  const std::string Output = ExplicitPath.empty() ? Path : Target.TempPath();
  int64_t Written = -1;
  const bool Exists = !Output.empty() && GetFileInfo(Output, &Written, nullptr, nullptr, nullptr, nullptr) &&
                      FileExists(Output);
  if (Items < 1 || !Exists || Written != ItemSize_) {
    if (Exists) ForceDeleteFile(Output);
    if (PasswordRefused_) LastMessage_ = ArlErrorText(errInvalidPassword);
    RaiseExtractError(ItemName);
  }
  if (!ExplicitPath.empty() && !Target.Commit()) {
    const int Error = errno;
    if (FileExists(Path)) throw EArcError("Can't delete file \"" + Path + "\"");
    LastMessage_ = std::strerror(Error);
    RaiseExtractError(ItemName);
  }
  if (SetFileTime && !SetFileWriteTime(Path, ItemDate_)) {
    const int Error = errno;
    throw EWin32Error(FileErrorCode(Error), std::strerror(Error));
  }
  PassMessage();
  if (Size) *Size = ItemSize_;
  if (Date) *Date = ItemDate_;
}

TArcBlockPtr TBaseArcLibWrapper::ExtractToMemory(const std::string& ItemName, int32_t Size) {
  ResetState();
  TArcBlockPtr Block;
  if (Size >= 0) {
    Decoder_->FileSpec = {ItemName};
    Decoder_->FileSpecLiteral = true;
    try {
      TGlobalMemoryStream32 Stream;
      Stream.Limit = Size;
      Stream.Reserve(Size);
      const int32_t Items = Decoder_->ExtractToMemoryStream(&Stream);
      if (Items >= 1 && Stream.GetSize() == Size && !Stream.Overflowed) {
        void* Detached = nullptr;
        Stream.DetachBlock(Detached);
        Block.reset(Detached);
      }
    } catch (const std::exception& E) {
      LastMessage_ = E.what();
    }
    Decoder_->FileSpecLiteral = false;
  }
  if (!Block) RaiseExtractError(ItemName);
  PassMessage();
  return Block;
}

// --- Extract-all runs -------------------------------------------------------------------------------------

void TBaseArcLibWrapper::PrepareAllRun(const std::string& DestDirArg) {
  ResetState();
  DestDir_ = IncludeItemSeparator(DestDirArg);
  Decoder_->SetExtractDir(DestDir_);
  Decoder_->FileSpec = {"*.*"};
  Decoder_->FileSpecLiteral = false;
  Decoder_->UseStoredDirs = true;
}

void TBaseArcLibWrapper::ExtractAll(const std::string& DestDirArg, const TArcFileEvent& FileDone,
                                    const TArcItemEvent& BeforeItem) {
  PrepareAllRun(DestDirArg);
  const std::string Base = Decoder_->ExtractDir;
  std::string Pending;  // the output file of the item begun and not yet delivered
  {
    TRunHooks Hooks(*Decoder_);
    Decoder_->OnBegin = [&](TZipCommon*, TArlBeginItem& Begin) {
      const std::string& OutName = Begin.FileName;
      if (Cancelled_) {
        Begin.Continue = false;
        return;
      }
      const bool Continued = BeginItemStamp();
      if (!Pending.empty() && !(Continued && OutName == Pending)) ForceDeleteFile(Pending);
      Pending.clear();
      if (OutName.empty()) return;  // the frame refuses a name that leaves the folder
      if (BeforeItem && !Continued) {
        const std::string Below = StartsWithText(OutName, Base) ? OutName.substr(Base.size()) : OutName;
        bool Stop = false;
        TArcListItem Item{Below, false, ItemDate_, ItemSize_};
        const bool Go = BeforeItem(Item, Stop);
        if (Stop) CancelRun();
        if (!Go || Stop) {
          Begin.Continue = false;
          return;
        }
      }
      Pending = OutName;
    };
    Decoder_->OnEnd = [&](TZipCommon*, const std::string& OutName, bool CrcPassed) {
      if (Pending.empty() || OutName != Pending) return;  // a folder, or an item not begun here
      if (!CrcPassed) NoteCrcFailure(Decoder_->Item.Name);
      if (SizeIncomplete_) return;  // the rest follows in the next volume
      const std::string Done = Pending;
      Pending.clear();
      if (FileDone && FileExists(Done)) {
        bool Stop = false;
        TArcFileItem File{Done, ItemDate_, ItemSize_};
        FileDone(File, Stop);
        if (Stop) CancelRun();
      }
    };
    Decoder_->ExtractToFiles();
  }
  if (!Pending.empty()) ForceDeleteFile(Pending);
  PassMessage();
}

void TBaseArcLibWrapper::ExtractAllMem(const std::string& DestDirArg, const TArcMemoryEvent& OnMemory,
                                       const TArcFileEvent& FileDone, const TArcDecideEvent& Decide) {
  assert(Decide);
  RunAllMem(DestDirArg, OnMemory, FileDone, Decide, false);
}

void TBaseArcLibWrapper::RunAllMem(const std::string& DestDirArg, const TArcMemoryEvent& OnMemory,
                                   const TArcFileEvent& FileDone, const TArcDecideEvent& Decide,
                                   bool Listing) {
  PrepareAllRun(DestDirArg);
  AllStream_ = std::make_unique<TExtractAllStream>();
  {
    TRunHooks Hooks(*Decoder_);
    Decoder_->OnBegin = [&](TZipCommon*, TArlBeginItem& Begin) {
      AllMemBegin(Decide, Listing, Begin.Continue);
    };
    Decoder_->OnEnd = [&](TZipCommon*, const std::string&, bool CrcPassed) {
      AllMemEnd(OnMemory, FileDone, CrcPassed);
    };
    if (!Listing && OnStreamQuery && OnStream) {
      Decoder_->OnStreamQuery = [this](const TUnBase::TStreamQuery& Query) {
        return !Cancelled_ && OnStreamQuery(TArcStreamQuery{Query.ItemName, Query.Head, Query.HeadSize,
                                                            Query.Size, Query.SizeExact});
      };
      Decoder_->OnStreamEntry = [this](TStream32& Data) { AllMemStream(Data); };
    }
    Decoder_->ExtractToMemoryStream(AllStream_.get());
  }
  // A file begun and not delivered goes with the stream.
  AllStream_.reset();
  ItemActive_ = false;
  StreamActive_ = false;
  PassMessage();
}

void TBaseArcLibWrapper::AllMemStream(TStream32& Data) {
  if (!StreamActive_ || Cancelled_) return;
  bool Stop = false;
  TArcStreamItem Item{ActiveName_, ItemDate_, ItemSize_, Data};
  OnStream(Item, Stop);
  if (Stop) CancelRun();
}

std::string TBaseArcLibWrapper::OutputPreset(const std::string& Name) {
  std::string Path = Decoder_->BuildOutputName(Name);
  if (!Path.empty()) return Path;
  const std::string BaseName = LastComponent(Name);
  return IsUsableFileName(BaseName) ? Decoder_->ExtractDir + BaseName : std::string();
}

void TBaseArcLibWrapper::AllMemBegin(const TArcDecideEvent& Decide, bool Listing, bool& Continue) {
  Continue = false;
  if (Cancelled_) return;
  const std::string Name = Decoder_->Item.Name;
  const bool Continued = BeginItemStamp();
  // An item begun and never ended was given up by the decoder: its file goes, and so do its bytes in
  // memory, before the next item is offered (the caller counts the memory items hold).
  if (ItemActive_ && !Continued) {
    AllStream_->DropItem();
    ItemActive_ = false;
    StreamActive_ = false;
  }
  if (Continued && !PrevExtracted_ && !Listing) {
    // The rest of an item whose first part was not taken: Decide may only cancel.
    const std::string NoName;
    TArcDecideItem Rest{NoName, false, 0, 0, true, std::string(), edToFile};
    Decide(Rest);
    if (Rest.Decision == edCancel) CancelRun();
    return;
  }
  if (TooLarge_) {
    if (ItemActive_) AllStream_->DropItem();
    ItemActive_ = false;
    PrevExtracted_ = false;
    // The caller knows the archive (which may be a temporary file here): the item is named alone.
    Note("Can't extract \"" + Name + "\": it holds 2 GB or more", Name);
    return;
  }

  TArcDecideItem Item{Name, SizeIncomplete_, ItemDate_, ItemSize_, Continued, OutputPreset(Name)};
  Item.StreamOffered = Decoder_->StreamOffered && !Continued;
  const bool Go = Decide(Item);
  const std::string& FileName = Item.FileName;
  TExtractDecision Decision = Item.Decision;
  if (Decision == edCancel) {
    CancelRun();
    return;
  }
  if (Decision == edToStream && !Item.StreamOffered) Decision = edToFile;  // only an offered item streams
  if (Go && Decision == edToStream) {
    Decoder_->StreamTaken = true;
    StreamActive_ = true;
    ItemActive_ = true;
    ActiveName_ = Name;
    PrevExtracted_ = true;
    Continue = true;
    return;
  }
  if (!Continued) {
    AllStream_->FileName = FileName;
  } else if (!Go && PrevExtracted_) {
    AllStream_->DropItem();
    ItemActive_ = false;
  }
  PrevExtracted_ = Go;
  if (!Go) return;

  bool Ready = true;
  if (!Continued) {
    AllStream_->ToFile = Decision == edToFile;
    if (AllStream_->ToFile && FileName.empty()) {
      Note(ArlErrorText(errInvalidFileName) + " (" + Name + ")", Name);
      Ready = false;
    } else if (!AllStream_->ResetForItem()) {
      Note(ArlErrorText(errOpeningFile) + " (" + FileName + ")", Name);
      Ready = false;
    }
  } else if (Decision == edToFile && !AllStream_->ToFile && !AllStream_->SwitchToFile()) {
    Note(ArlErrorText(errOpeningFile) + " (" + AllStream_->FileName + ")", Name);
    Ready = false;
  }
  if (!Ready) {
    AllStream_->DropItem();
    ItemActive_ = false;
    PrevExtracted_ = false;
    return;
  }
  if (!AllStream_->ToFile) {
    // Memory output holds no more than the item declares.
    AllStream_->Limit = ItemSize_;
    AllStream_->Reserve(ItemSize_);
  }
  ItemActive_ = true;
  ActiveName_ = Name;
  Continue = true;
}

void TBaseArcLibWrapper::AllMemEnd(const TArcMemoryEvent& OnMemory, const TArcFileEvent& FileDone,
                                   bool CrcPassed) {
  if (!ItemActive_) return;  // a folder, or an item not begun here
  if (!CrcPassed) NoteCrcFailure(ActiveName_);
  if (std::exchange(StreamActive_, false)) {  // read by the stream event already
    ItemActive_ = false;
    return;
  }
  if (SizeIncomplete_) return;  // the rest follows in the next volume
  ItemActive_ = false;
  if (!ActiveName_.empty() && ActiveName_.back() == kItemSeparator) {
    AllStream_->DropFile();
    return;
  }
  bool Stop = false;
  if (!AllStream_->ToFile) {
    void* Block = nullptr;
    const int32_t Size = AllStream_->DetachBlock(Block);
    TArcMemoryItem Item{ActiveName_, TArcBlockPtr(Block), ItemDate_, Size};
    if (OnMemory) OnMemory(Item, Stop);
  } else {
    const std::string FileName = AllStream_->FileName;
    const int64_t Written = AllStream_->Seek(0, soEnd);
    if (!AllStream_->CloseFile()) {
      Note(ArlErrorText(errClosingFile) + " (" + FileName + ")", ActiveName_);
    } else if (FileDone) {
      TArcFileItem File{FileName, ItemDate_,
                        static_cast<int32_t>(std::clamp<int64_t>(Written, 0, INT32_MAX))};
      FileDone(File, Stop);
    }
  }
  if (Stop) CancelRun();
}
