#include "archive/ArcLibIntf.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>

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
  auto decoder = std::make_unique<TUnGZip>();
  decoder->OnNestedTarFile = [](TZipCommon*, const std::string&, bool& Extract) { Extract = false; };
  return decoder;
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
  for (const auto& k : kDecoderKinds)
    if (Code >= k.FirstCode && Code <= k.LastCode) return &k;
  return nullptr;
}

// The ARJ header flag of an item that continues in the next volume.
constexpr uint32_t kArjContinues = 0x04;

std::string LastComponent(const std::string& Name) {
  std::string dir, name;
  SplitFileName(Name, dir, name);
  return name;
}

bool IsUsableFileName(const std::string& Name) { return !Name.empty() && Name != "." && Name != ".."; }

bool StartsWithText(const std::string& S, const std::string& Prefix) {
  return !Prefix.empty() && S.size() > Prefix.size() && SameTextAscii(S.substr(0, Prefix.size()), Prefix);
}

// Removes the decoder's per-run hooks on every path.
class TRunHooks {
 public:
  explicit TRunHooks(TUnBase& Decoder) : Decoder(Decoder) {}
  ~TRunHooks() {
    Decoder.OnBegin = nullptr;
    Decoder.OnEnd = nullptr;
  }
  TRunHooks(const TRunHooks&) = delete;
  TRunHooks& operator=(const TRunHooks&) = delete;

 private:
  TUnBase& Decoder;
};

}  // namespace

// --- TGlobalMemoryStream32 --------------------------------------------------------------------------------

int32_t TGlobalMemoryStream32::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  if (FPosition + Count > Limit) {
    Overflowed = true;
    return 0;
  }
  return TDecompMemoryStream::Write(Buffer, Count);
}

void TGlobalMemoryStream32::Reserve(int64_t Bytes) {
  const int64_t want = std::min(Bytes, kMaxReserve);
  if (want > FCapacity) SetCapacity(want);
}

int32_t TGlobalMemoryStream32::DetachBlock(void*& Block) {
  const auto size = static_cast<int32_t>(FSize);
  const int64_t exact = std::max<int64_t>(FSize, 1);
  if (FCapacity != exact) SetCapacity(exact);
  Block = ReleaseMemory();
  ClearRecords();
  return size;
}

// --- TExtractAllStream -------------------------------------------------------------------------------------

TExtractAllStream::~TExtractAllStream() { DropFile(); }

int32_t TExtractAllStream::Read(void*, int32_t) { throw Exception("Method not implemented"); }

int32_t TExtractAllStream::Write(const void* Buffer, int32_t Count) {
  if (!ToFile) return TGlobalMemoryStream32::Write(Buffer, Count);
  return FileStream ? FileStream->Write(Buffer, Count) : 0;
}

int64_t TExtractAllStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  if (!ToFile) return TGlobalMemoryStream32::Seek(Offset, Origin);
  return FileStream ? FileStream->Seek(Offset, Origin) : 0;
}

void TExtractAllStream::SetSize(int64_t NewSize) {
  if (!ToFile)
    TGlobalMemoryStream32::SetSize(NewSize);
  else if (FileStream)
    FileStream->SetSize(NewSize);
}

bool TExtractAllStream::CreateFile() {
  std::string dir, name;
  SplitFileName(FileName, dir, name);
  if (name.empty() || (!dir.empty() && !ForceDirectories(dir))) return false;
  int32_t error = 0;
  FileStream = std::make_unique<TFileStream32>(FileName, fmCreate, error);
  if (error != 0) FileStream.reset();
  return FileStream != nullptr;
}

bool TExtractAllStream::ResetForItem() {
  DropFile();
  Clear();
  ClearRecords();
  Limit = kMaxMemorySize;
  Overflowed = false;
  return !ToFile || CreateFile();
}

bool TExtractAllStream::SwitchToFile() {
  assert(!ToFile);
  ToFile = true;
  if (!CreateFile()) return false;
  const auto size = static_cast<int32_t>(GetSize());
  const bool moved = size == 0 || FileStream->Write(Memory(), size) == size;
  Clear();
  ClearRecords();
  if (!moved) DropFile();
  return moved;
}

bool TExtractAllStream::CloseFile() {
  if (!FileStream) return true;
  const bool ok = FileStream->Close();
  FileStream.reset();
  if (!ok) ForceDeleteFile(FileName);
  return ok;
}

void TExtractAllStream::DropFile() {
  if (!FileStream) return;
  FileStream.reset();
  ForceDeleteFile(FileName);
}

// --- TBaseArcLibWrapper
// -------------------------------------------------------------------------------------

TBaseArcLibWrapper::TBaseArcLibWrapper() : Detector(std::make_unique<TArcLib>()) {}

TBaseArcLibWrapper::~TBaseArcLibWrapper() = default;

bool TBaseArcLibWrapper::SetArcName(const std::string& FileName, std::string& Msg) {
  Decoder.reset();
  TypeCode = 0;
  Detector->SetArchiveFile("");
  if (!FileExists(FileName)) {
    Msg = "File \"" + FileName + "\" not found";
    return false;
  }
  try {
    Detector->SetArchiveFile(FileName);
    const int code = Detector->ArcType;
    if (const TDecoderKind* kind = FindDecoderKind(code)) {
      std::string reason;
      Decoder = kind->Make(reason);
      if (!Decoder && !reason.empty()) {
        Msg = reason;
        Detector->SetArchiveFile("");
        return false;
      }
      TypeCode = static_cast<uint8_t>(kind->TypeCode != 0 ? kind->TypeCode : code);
    }
  } catch (const std::exception& e) {
    Decoder.reset();
    TypeCode = 0;
    Msg = e.what();
    Detector->SetArchiveFile("");
    return false;
  }
  if (!Decoder) {
    Msg = "Archive \"" + FileName + "\" is damaged or not supported";
    Detector->SetArchiveFile("");
    TypeCode = 0;
    return false;
  }
  Decoder->OnError = [this](TZipCommon*, const TArlErrorReport& Error) {
    DoError(Error.FileName, Error.ErrorCode, Error.ExtraInfo1);
  };
  // Never asked while ConfirmOverwrites is off; an existing file is replaced.
  Decoder->OnFileExists = [](TZipCommon*, TArlFileExists& Query) {
    Query.Skip = false;
    Query.NewName.clear();
  };
  Decoder->OnProgress = [this](TZipCommon*, int32_t A, int32_t B) { DoProgress(A, B); };
  Decoder->OnNextVolumeFile = [this](TZipCommon*, TArlNextVolume& Request) {
    DoNextVolume(Request.FileName, Request.Cancel, Request.Exists);
  };
  Decoder->OnGetPassword = [this](TZipCommon*, TArlPasswordQuery& Query) {
    DoGetPassword(Query.Continue, Query.Password);
  };
  Decoder->PasswordAttempts = 1000;
  Decoder->SetArchiveFile(FileName);
  return true;
}

std::string TBaseArcLibWrapper::GetArcName() { return Detector->ArchiveFile; }

// --- Decoder events ---------------------------------------------------------------------------------------

void TBaseArcLibWrapper::DoError(const std::string& FileName, int32_t Code, const std::string& Info) {
  if (Code == errUserCanceled) return;
  // The report names the item it is about; a report about the archive itself names nothing, since the
  // caller knows the archive (and the decoder may see it under a temporary name). Output files are named
  // by their item.
  std::string subject = FileName;
  if (subject == Decoder->ArchiveFile || subject == CurrentVolume) {
    subject.clear();
  } else if (!subject.empty() &&
             (subject == Decoder->CurrentOutputName ||
              (!Decoder->ExtractDir.empty() && StartsWithText(subject, Decoder->ExtractDir)))) {
    subject = Decoder->Item.Name;
  }
  std::string detail = subject;
  if (!Info.empty()) detail += (detail.empty() ? "" : ", ") + Info;
  const std::string text = ArlErrorText(Code);
  if (text.empty())
    Note(subject.empty() ? Info : subject + ": " + Info, subject);
  else if (!detail.empty())
    Note(text + " (" + detail + ")", subject);
  else
    Note(text, subject);
}

void TBaseArcLibWrapper::Note(const std::string& Message, const std::string& ItemName) {
  if (Message.empty()) return;
  LastMessage = Message;
  if (std::find(Messages.begin(), Messages.end(), Message) == Messages.end()) Messages.push_back(Message);
  if (!ItemName.empty()) ReportedItems.insert(ItemName);
}

void TBaseArcLibWrapper::NoteCrcFailure(const std::string& ItemName) {
  // An item whose damage was reported already gets no second message for its failed check.
  if (ReportedItems.count(ItemName) == 0) Note(ArlErrorText(errCrcFailed) + " (" + ItemName + ")", ItemName);
}

void TBaseArcLibWrapper::DoProgress(int32_t A, int32_t B) {
  if (OnProgress && !OnProgress(A, B)) CancelRun();
}

void TBaseArcLibWrapper::DoNextVolume(std::string& FileName, bool& Cancel, bool Exists) {
  // The owner is asked with the name the archive expects, without the current volume's folder; the
  // decoder keeps the full name of the file it is to open.
  std::string dir, name;
  SplitFileName(CurrentVolume, dir, name);
  std::string expected = FileName;
  if (StartsWithText(expected, dir)) expected.erase(0, dir.size());
  RequestedVolume = expected;
  if (Exists) {
    Cancel = false;
  } else {
    std::string answer = expected;
    if (OnNextVolume && OnNextVolume(answer) && FileExists(answer)) {
      FileName = answer;
      Cancel = false;
    } else {
      Note("Volume \"" + expected + "\" not found");
      Cancel = true;
    }
  }
  CurrentVolume = FileName;
}

void TBaseArcLibWrapper::DoGetPassword(bool& Continue, std::string& Password) {
  Continue = OnPassword ? OnPassword(Decoder->ArchiveFile, Decoder->Item.Name, Password) : false;
  if (!Continue) PasswordRefused = true;
}

// --- Shared steps
// ---------------------------------------------------------------------------------------------

void TBaseArcLibWrapper::RaiseExtractError(const std::string& ItemName) {
  const std::string arcName = Decoder ? Decoder->ArchiveFile : Detector->ArchiveFile;
  std::string text = "Can't extract \"" + ItemName + "\" from \"" + arcName + "\".";
  if (!LastMessage.empty()) text += " " + LastMessage;
  throw EArcError(text);
}

void TBaseArcLibWrapper::ReadItemStamp() {
  SizeIncomplete = false;
  TooLarge = false;
  const TArlItem& item = Decoder->Item;
  // Sizes are 32-bit: an item of 2 GB or more cannot be delivered.
  if (item.UnpackedSize < 0 || item.UnpackedSize > INT32_MAX) {
    TooLarge = true;
    ItemSize = 0;
  } else {
    ItemSize = static_cast<int32_t>(item.UnpackedSize);
  }
  ItemDate = Decoder->DosDateToDateTime(item.DosDateTime);
  if (TypeCode == atArj) SizeIncomplete = (item.Flags & kArjContinues) != 0;
}

bool TBaseArcLibWrapper::BeginItemStamp() {
  const std::string name = Decoder->Item.Name;
  const bool continued = SizeIncomplete && !ContinuedName.empty() && SameTextAscii(name, ContinuedName);
  const int32_t previous = ItemSize;
  ReadItemStamp();
  if (continued) {
    const int64_t sum = int64_t{ItemSize} + previous;
    if (sum > INT32_MAX) TooLarge = true;
    ItemSize = static_cast<int32_t>(std::min<int64_t>(sum, INT32_MAX));
  }
  ContinuedName = SizeIncomplete ? name : std::string();
  return continued;
}

void TBaseArcLibWrapper::ResetState() {
  if (!Decoder) throw EArcError("No archive is open");
  Cancelled = false;
  SizeIncomplete = false;
  PasswordRefused = false;
  PrevExtracted = false;
  TooLarge = false;
  ItemActive = false;
  ItemSize = 0;
  ItemDate = 0;
  LastMessage.clear();
  Messages.clear();
  ReportedItems.clear();
  RequestedVolume.clear();
  ContinuedName.clear();
  ActiveName.clear();
  CurrentVolume = Decoder->ArchiveFile;
  Decoder->VolumeNumber = 1;
}

void TBaseArcLibWrapper::CancelRun() {
  Cancelled = true;
  if (Decoder && !Decoder->GetCancel()) Decoder->SetCancel(true);
}

void TBaseArcLibWrapper::PassMessage() {
  if (OnMessage)
    for (const std::string& message : Messages) OnMessage(message);
}

// --- Listing and single items ----------------------------------------------------------------------------

bool TBaseArcLibWrapper::List(const TArcItemEvent& ItemCallback) {
  assert(ItemCallback);
  auto decide = [&ItemCallback](TArcDecideItem& Decided) {
    bool stop = false;
    TArcListItem item{Decided.ItemName, Decided.SizeIncomplete, Decided.Date, Decided.Size};
    ItemCallback(item, stop);
    if (stop) Decided.Decision = edCancel;
    return false;
  };
  RunAllMem("", nullptr, nullptr, decide, true);
  return !Cancelled;
}

void TBaseArcLibWrapper::ExtractItem(const std::string& DestDirArg, const std::string& ItemName,
                                     std::string& Path, int32_t ExpectedSize, TDateTime* Date, int32_t* Size,
                                     bool SetFileTime, const std::string& ExplicitPath) {
  ResetState();
  DestDir = IncludeBackslash(DestDirArg);
  if (!ExplicitPath.empty()) {
    Path = ExplicitPath;
  } else {
    const std::string name = LastComponent(ItemName);
    if (!IsUsableFileName(name)) {
      LastMessage = ArlErrorText(errInvalidFileName);
      RaiseExtractError(ItemName);
    }
    Path = DestDir + name;
    if (FileExists(Path) && !ForceDeleteFile(Path)) throw EArcError("Can't delete file \"" + Path + "\"");
  }

  // An explicit path is written through a file beside it, so that a file of that name stays as it was
  // until the item has been extracted whole.
  TItemTarget target(Path);
  int32_t items = 0;
  {
    TRunHooks hooks(*Decoder);
    // Each item begun gives its stamp; the parts of an item that spans volumes add up.
    Decoder->OnBegin = [this](TZipCommon*, TArlBeginItem&) { BeginItemStamp(); };
    if (!ExplicitPath.empty()) {
      if (!target.Prepare()) {
        LastMessage = std::strerror(errno != 0 ? errno : EACCES);
      } else {
        int32_t error = 0;
        TFileStream32 out(target.TempPath(), fmCreate, error);
        if (error != 0) {
          LastMessage = ArlErrorText(errOpeningFile);
        } else {
          items = Decoder->ExtractToStream(ItemName, &out);
          if (!out.Close()) LastMessage = ArlErrorText(errClosingFile);
        }
      }
    } else {
      ForceDirectories(DestDir);
      Decoder->SetExtractDir(DestDir);
      Decoder->FileSpec = {ItemName};
      Decoder->FileSpecLiteral = true;
      Decoder->UseStoredDirs = false;
      items = Decoder->ExtractToFiles();
      Decoder->FileSpecLiteral = false;
    }
  }
  if (ExpectedSize >= 0) ItemSize = ExpectedSize;

  // A run that began no item found none of that name: whatever file it left is not the item.
  const std::string output = ExplicitPath.empty() ? Path : target.TempPath();
  int64_t written = -1;
  const bool exists = !output.empty() && GetFileInfo(output, &written, nullptr, nullptr, nullptr, nullptr) &&
                      FileExists(output);
  if (items < 1 || !exists || written != ItemSize) {
    if (exists) ForceDeleteFile(output);
    if (PasswordRefused) LastMessage = ArlErrorText(errInvalidPassword);
    RaiseExtractError(ItemName);
  }
  if (!ExplicitPath.empty() && !target.Commit()) {
    const int error = errno;
    if (FileExists(Path)) throw EArcError("Can't delete file \"" + Path + "\"");
    LastMessage = std::strerror(error);
    RaiseExtractError(ItemName);
  }
  if (SetFileTime && !SetFileWriteTime(Path, ItemDate)) {
    const int error = errno;
    throw EWin32Error(FileErrorCode(error), std::strerror(error));
  }
  PassMessage();
  if (Size) *Size = ItemSize;
  if (Date) *Date = ItemDate;
}

TArcBlockPtr TBaseArcLibWrapper::ExtractToMemory(const std::string& ItemName, int32_t Size) {
  ResetState();
  TArcBlockPtr block;
  if (Size >= 0) {
    Decoder->FileSpec = {ItemName};
    Decoder->FileSpecLiteral = true;
    try {
      TGlobalMemoryStream32 stream;
      stream.Limit = Size;
      stream.Reserve(Size);
      const int32_t items = Decoder->ExtractToMemoryStream(&stream);
      if (items >= 1 && stream.GetSize() == Size && !stream.Overflowed) {
        void* detached = nullptr;
        stream.DetachBlock(detached);
        block.reset(detached);
      }
    } catch (const std::exception& e) {
      LastMessage = e.what();
    }
    Decoder->FileSpecLiteral = false;
  }
  if (!block) RaiseExtractError(ItemName);
  PassMessage();
  return block;
}

// --- Extract-all runs -------------------------------------------------------------------------------------

void TBaseArcLibWrapper::PrepareAllRun(const std::string& DestDirArg) {
  ResetState();
  DestDir = IncludeBackslash(DestDirArg);
  Decoder->SetExtractDir(DestDir);
  Decoder->FileSpec = {"*.*"};
  Decoder->FileSpecLiteral = false;
  Decoder->UseStoredDirs = true;
}

void TBaseArcLibWrapper::ExtractAll(const std::string& DestDirArg, const TArcFileEvent& FileDone,
                                    const TArcItemEvent& BeforeItem) {
  PrepareAllRun(DestDirArg);
  const std::string base = Decoder->ExtractDir;
  std::string pending;  // the output file of the item begun and not yet delivered
  {
    TRunHooks hooks(*Decoder);
    Decoder->OnBegin = [&](TZipCommon*, TArlBeginItem& Begin) {
      const std::string& OutName = Begin.FileName;
      if (Cancelled) {
        Begin.Continue = false;
        return;
      }
      const bool continued = BeginItemStamp();
      if (!pending.empty() && !(continued && OutName == pending)) ForceDeleteFile(pending);
      pending.clear();
      if (OutName.empty()) return;  // the frame refuses a name that leaves the folder
      if (BeforeItem && !continued) {
        const std::string below = StartsWithText(OutName, base) ? OutName.substr(base.size()) : OutName;
        bool stop = false;
        TArcListItem item{below, false, ItemDate, ItemSize};
        const bool go = BeforeItem(item, stop);
        if (stop) CancelRun();
        if (!go || stop) {
          Begin.Continue = false;
          return;
        }
      }
      pending = OutName;
    };
    Decoder->OnEnd = [&](TZipCommon*, const std::string& OutName, bool CrcPassed) {
      if (pending.empty() || OutName != pending) return;  // a folder, or an item not begun here
      if (!CrcPassed) NoteCrcFailure(Decoder->Item.Name);
      if (SizeIncomplete) return;  // the rest follows in the next volume
      const std::string done = pending;
      pending.clear();
      if (FileDone && FileExists(done)) {
        bool stop = false;
        TArcFileItem file{done, ItemDate, ItemSize};
        FileDone(file, stop);
        if (stop) CancelRun();
      }
    };
    Decoder->ExtractToFiles();
  }
  if (!pending.empty()) ForceDeleteFile(pending);
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
  AllStream = std::make_unique<TExtractAllStream>();
  {
    TRunHooks hooks(*Decoder);
    Decoder->OnBegin = [&](TZipCommon*, TArlBeginItem& Begin) {
      AllMemBegin(Decide, Listing, Begin.Continue);
    };
    Decoder->OnEnd = [&](TZipCommon*, const std::string&, bool CrcPassed) {
      AllMemEnd(OnMemory, FileDone, CrcPassed);
    };
    Decoder->ExtractToMemoryStream(AllStream.get());
  }
  // A file begun and not delivered goes with the stream.
  AllStream.reset();
  ItemActive = false;
  PassMessage();
}

std::string TBaseArcLibWrapper::OutputPreset(const std::string& Name) {
  std::string path = Decoder->BuildOutputName(Name);
  if (!path.empty()) return path;
  const std::string name = LastComponent(Name);
  return IsUsableFileName(name) ? Decoder->ExtractDir + name : std::string();
}

void TBaseArcLibWrapper::AllMemBegin(const TArcDecideEvent& Decide, bool Listing, bool& Continue) {
  Continue = false;
  if (Cancelled) return;
  const std::string name = Decoder->Item.Name;
  const bool continued = BeginItemStamp();
  // An item begun and never ended was given up by the decoder: its file goes.
  if (ItemActive && !continued) {
    AllStream->DropFile();
    ItemActive = false;
  }
  if (continued && !PrevExtracted && !Listing) {
    // The rest of an item whose first part was not taken: Decide may only cancel.
    const std::string noName;
    TArcDecideItem rest{noName, false, 0, 0, true, std::string(), edToFile};
    Decide(rest);
    if (rest.Decision == edCancel) CancelRun();
    return;
  }
  if (TooLarge) {
    if (ItemActive) AllStream->DropFile();
    ItemActive = false;
    PrevExtracted = false;
    // The caller knows the archive (which may be a temporary file here): the item is named alone.
    Note("Can't extract \"" + name + "\": it holds 2 GB or more", name);
    return;
  }

  TArcDecideItem item{name, SizeIncomplete, ItemDate, ItemSize, continued, OutputPreset(name)};
  const bool go = Decide(item);
  const std::string& fileName = item.FileName;
  const TExtractDecision decision = item.Decision;
  if (decision == edCancel) {
    CancelRun();
    return;
  }
  if (!continued) {
    AllStream->FileName = fileName;
  } else if (!go && PrevExtracted) {
    AllStream->DropFile();
    ItemActive = false;
  }
  PrevExtracted = go;
  if (!go) return;

  bool ready = true;
  if (!continued) {
    AllStream->ToFile = decision == edToFile;
    if (AllStream->ToFile && fileName.empty()) {
      Note(ArlErrorText(errInvalidFileName) + " (" + name + ")", name);
      ready = false;
    } else if (!AllStream->ResetForItem()) {
      Note(ArlErrorText(errOpeningFile) + " (" + fileName + ")", name);
      ready = false;
    }
  } else if (decision == edToFile && !AllStream->ToFile && !AllStream->SwitchToFile()) {
    Note(ArlErrorText(errOpeningFile) + " (" + AllStream->FileName + ")", name);
    ready = false;
  }
  if (!ready) {
    AllStream->DropFile();
    ItemActive = false;
    PrevExtracted = false;
    return;
  }
  if (!AllStream->ToFile) {
    // Memory output holds no more than the item declares.
    AllStream->Limit = ItemSize;
    AllStream->Reserve(ItemSize);
  }
  ItemActive = true;
  ActiveName = name;
  Continue = true;
}

void TBaseArcLibWrapper::AllMemEnd(const TArcMemoryEvent& OnMemory, const TArcFileEvent& FileDone,
                                   bool CrcPassed) {
  if (!ItemActive) return;  // a folder, or an item not begun here
  if (!CrcPassed) NoteCrcFailure(ActiveName);
  if (SizeIncomplete) return;  // the rest follows in the next volume
  ItemActive = false;
  if (!ActiveName.empty() && ActiveName.back() == kItemSeparator) {
    AllStream->DropFile();
    return;
  }
  bool stop = false;
  if (!AllStream->ToFile) {
    void* block = nullptr;
    const int32_t size = AllStream->DetachBlock(block);
    TArcMemoryItem item{ActiveName, TArcBlockPtr(block), ItemDate, size};
    if (OnMemory) OnMemory(item, stop);
  } else {
    const std::string fileName = AllStream->FileName;
    const int64_t written = AllStream->Seek(0, soEnd);
    if (!AllStream->CloseFile()) {
      Note(ArlErrorText(errClosingFile) + " (" + fileName + ")", ActiveName);
    } else if (FileDone) {
      TArcFileItem file{fileName, ItemDate, static_cast<int32_t>(std::clamp<int64_t>(written, 0, INT32_MAX))};
      FileDone(file, stop);
    }
  }
  if (stop) CancelRun();
}
