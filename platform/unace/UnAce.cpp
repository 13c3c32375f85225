// UnAceV2.so: the entry points of UnAceApi.h. A run finds the archive's main header, walks its blocks
// volume after volume, and for every item reports its start, hands over its decoded data (test) or
// writes it below the destination folder (extract), and reports its CRC result; it asks through the
// request callback for passwords, next volumes and permission to overwrite.
//
// What a run checks beyond the headers (AceHeaders.h) and the decompressor (AceDecoder.h):
// - an item's name is refused (error callback, nothing written or handed over) when it is absolute,
//   names a drive, or has a ".." part, so nothing is ever written outside the destination folder;
// - an item continued in the next volume must be continued by the first block of that volume;
// - data handed over never exceeds the item's declared size, and a size or CRC that disagrees fails the
//   item's CRC result;
// - a damaged header ends the walk with ACE_ERROR_DAMAGED (the items before it were delivered);
// - a volume that ends inside a block is reported (ACE_ERROR_ENDS_EARLY, with the item it cuts or the
//   offset of the cut header) and the walk goes on in the next volume of a set;
// - a missing volume that the caller skips ends the item continued into it, and the walk goes on at the
//   first block of the next volume that is there that does not continue an earlier item;
// - in a solid archive, once data is lost (a cut, a missing volume, a broken continuation) every later
//   item is reported (ACE_ERROR_SOLID_LOST) instead of being decoded against a dictionary it lacks.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/unace/AceCrypt.h"
#include "platform/unace/AceDecoder.h"
#include "platform/unace/AceHeaders.h"
#include "platform/unace/UnAceApi.h"

namespace {

constexpr uint32_t kDefaultTestBytes = 0x1FFFF;
constexpr int kMaxVolumes = 999;

TAceInitData* Init = nullptr;
uint32_t TestBytes = kDefaultTestBytes;

class TVolume : public TAceVolumeReader {
 public:
  ~TVolume() override { Close(); }
  bool Open(const std::string& Name) {
    Close();
    Fd_ = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (Fd_ < 0) return false;
    struct stat St {};
    if (::fstat(Fd_, &St) != 0 || !S_ISREG(St.st_mode)) {
      Close();
      return false;
    }
    FileSize_ = static_cast<uint64_t>(St.st_size);
    Path = Name;
    return true;
  }
  void Close() {
    if (Fd_ >= 0) ::close(Fd_);
    Fd_ = -1;
  }
  size_t ReadAt(uint64_t Offset, uint8_t* Buf, size_t N) override {
    size_t Done = 0;
    while (Done < N) {
      const ssize_t R = ::pread(Fd_, Buf + Done, N - Done, static_cast<off_t>(Offset + Done));
      if (R <= 0) break;
      Done += static_cast<size_t>(R);
    }
    return Done;
  }
  uint64_t Size() const override { return FileSize_; }
  std::string Path;

 private:
  int Fd_ = -1;
  uint64_t FileSize_ = 0;
};

bool Exists(const std::string& Name) {
  struct stat St {};
  return ::stat(Name.c_str(), &St) == 0;
}

// The name of the volume after Current (number Next, counted from 0): ".c00" after the first, then
// ".c01" and on; the case the file exists in is taken.
std::string NextVolumeName(const std::string& Current, int Next) {
  const size_t Slash = Current.rfind('/');
  const size_t Dot = Current.rfind('.');
  const std::string Base = Dot != std::string::npos && (Slash == std::string::npos || Dot > Slash)
                               ? Current.substr(0, Dot)
                               : Current;
  char Ext[16];
  std::snprintf(Ext, sizeof(Ext), ".c%02d", Next - 1);
  std::string Name = Base + Ext;
  if (!Exists(Name)) {
    std::string Upper = Name;
    Upper[Base.size() + 1] = 'C';
    if (Exists(Upper)) return Upper;
  }
  return Name;
}

// Whether a stored name (with '/' between folders) stays below the folder it is extracted to.
bool SafeName(const std::string& Name) {
  if (Name.empty() || Name[0] == '/') return false;
  if (Name.size() >= 2 && Name[1] == ':') return false;
  size_t Start = 0;
  while (Start <= Name.size()) {
    size_t End = Name.find('/', Start);
    if (End == std::string::npos) End = Name.size();
    if (Name.compare(Start, End - Start, "..") == 0 && End - Start == 2) return false;
    Start = End + 1;
  }
  return true;
}

class TRun {
 public:
  TRun(uint32_t Operation, const char* Password) : Operation_(Operation) {
    if (Password && *Password) this->Password_ = Password;
  }
  int Go(const char* ArchiveName, const char* Destination, bool ExcludePath);

 private:
  // The packed data of one item, across its volume segments, read through the run's current volume.
  class TItemSource : public TAceSource {
   public:
    TItemSource(TRun& Run, const TAceBlock& First, TAceFileData& Record)
        : Run_(Run),
          Record_(Record),
          Pos_(First.DataOffset),
          Left_(First.DataSize),
          Block_(First),
          Resume_(First.Next()) {}
    size_t Read(uint8_t* Buf, size_t N) override;
    // Reads whatever is left, so that the walk goes on after the item's last segment.
    void Drain();
    uint32_t ExpectedCrc() const { return Block_.File.Crc; }
    // Where the walk goes on in the run's current volume.
    uint64_t NextBlock() const { return Resume_; }
    bool Broken = false;  // a continuation was missing or damaged, or a volume ended inside the data
    bool Cut = false;     // a volume ended inside the data

   private:
    TRun& Run_;
    TAceFileData& Record_;
    uint64_t Pos_, Left_;
    TAceBlock Block_;  // the segment being read
    uint64_t Resume_;
  };

  enum class TVolumeStep { Opened, OpenedAfterGap, None };

  int Callback(TAceCallback C, uint32_t Type, uint32_t Code, TAceFileData* File,
               TAceProgressData* P = nullptr, int32_t CrcOk = 0, TAceArchiveData* Archive = nullptr);
  // Opens the volume after the current one; Continuing is the item that goes on in it (null between
  // items). Volumes the caller reports missing are passed over.
  TVolumeStep OpenNextVolume(TAceFileData* Continuing);
  void ReportCut(TAceFileData* File, uint64_t Offset);
  // Processes the item whose first block is B; answers false when the run must stop.
  bool Item(const TAceBlock& B, uint64_t& NextPos);
  bool AskPassword(TAceFileData& F);

  uint32_t Operation_;
  std::string Password_;
  std::string Destination_;
  bool ExcludePath_ = false;
  bool Solid_ = false, MultiVolume_ = false;
  TVolume Volume_;
  int VolumeIndex_ = 0;
  std::unique_ptr<TAceDecoder> Decoder_;
  bool Stopped_ = false;
  bool EndedEarly_ = false;  // a volume ended inside a block
  bool SolidLost_ = false;   // data of a solid archive was lost: the items after it cannot be decoded
};

int TRun::Callback(TAceCallback C, uint32_t Type, uint32_t Code, TAceFileData* File, TAceProgressData* P,
                   int32_t CrcOk, TAceArchiveData* Archive) {
  if (!C) return ACE_CALLBACK_OK;
  TAceCallbackRecord R{};
  R.Type = Type;
  R.Code = Code;
  R.Operation = Operation_;
  R.Global = Init;
  R.Archive = Archive;
  R.File = File;
  R.Progress = P;
  R.CrcOk = CrcOk;
  return C(&R);
}

TRun::TVolumeStep TRun::OpenNextVolume(TAceFileData* Continuing) {
  const std::string Current = Volume_.Path;
  for (int Number = VolumeIndex_ + 1; Number <= kMaxVolumes; ++Number) {
    std::string Next;
    if (Init->Request) {
      std::vector<char> Name(ACE_NAME_SIZE, '\0');
      std::strncpy(Name.data(), Current.c_str(), ACE_NAME_SIZE - 1);
      TAceArchiveData A{Name.data(), Number};
      const int Answer =
          Callback(Init->Request, ACE_REQUEST_VOLUME, ACE_CODE_NEXT_VOLUME, Continuing, nullptr, 0, &A);
      if (Answer == ACE_CALLBACK_NO) continue;  // missing; a later volume is there
      if (Answer != ACE_CALLBACK_OK) return TVolumeStep::None;
      Name.back() = '\0';
      Next = Name.data();
    } else {
      Next = NextVolumeName(Current, Number);
      if (!Exists(Next)) return TVolumeStep::None;
    }
    if (!Volume_.Open(Next)) return TVolumeStep::None;
    const bool Gap = Number != VolumeIndex_ + 1;
    VolumeIndex_ = Number;
    return Gap ? TVolumeStep::OpenedAfterGap : TVolumeStep::Opened;
  }
  return TVolumeStep::None;
}

void TRun::ReportCut(TAceFileData* File, uint64_t Offset) {
  EndedEarly_ = SolidLost_ = true;
  std::vector<char> Name(ACE_NAME_SIZE, '\0');
  std::strncpy(Name.data(), Volume_.Path.c_str(), ACE_NAME_SIZE - 1);
  TAceArchiveData A{Name.data(), VolumeIndex_};
  if (!Init->Error) return;
  TAceCallbackRecord R{};
  R.Code = ACE_ERROR_ENDS_EARLY;
  R.Operation = Operation_;
  R.Global = Init;
  R.Archive = &A;
  R.File = File;
  R.Offset = Offset;
  Init->Error(&R);
}

size_t TRun::TItemSource::Read(uint8_t* Buf, size_t N) {
  while (Left_ == 0) {
    if (Broken || !(Block_.File.Flags & kAceFileContinuesInNext)) return 0;
    // The item goes on in the next volume, whose first block must continue it.
    const TVolumeStep Step = Run_.OpenNextVolume(&Record_);
    if (Step == TVolumeStep::None) {
      Broken = true;
      return 0;
    }
    TAceBlock Main, Next;
    if (!AceFindMainHeader(Run_.Volume_, 0, Main)) {
      // The walk has nothing to go on with in this volume.
      Resume_ = Run_.Volume_.Size();
      Broken = true;
      return 0;
    }
    Resume_ = Main.Next();
    if (Step == TVolumeStep::OpenedAfterGap ||
        AceReadBlock(Run_.Volume_, Main.Next(), Next) != TAceBlockResult::Ok ||
        (Next.Type != kAceBlockFile && Next.Type != kAceBlockFile64) ||
        !(Next.File.Flags & kAceFileContinuedFromPrevious)) {
      // The walk goes on from the volume's first block (a continued one is passed over).
      Broken = true;
      return 0;
    }
    Block_ = Next;
    Pos_ = Next.DataOffset;
    Left_ = Next.DataSize;
    Resume_ = Next.Next();
  }
  const size_t Want = static_cast<size_t>(std::min<uint64_t>(N, Left_));
  const size_t Got = Run_.Volume_.ReadAt(Pos_, Buf, Want);
  Pos_ += Got;
  Left_ -= Got;
  if (Got < Want) {
    Left_ = 0;  // the volume ends inside the item
    Broken = Cut = true;
  }
  return Got;
}

void TRun::TItemSource::Drain() {
  uint8_t Buf[1 << 14];
  Left_ = 0;
  while (Read(Buf, sizeof(Buf)) > 0) Left_ = 0;
}

bool TRun::AskPassword(TAceFileData& F) {
  if (!Password_.empty()) return true;
  if (Init->Password && *Init->Password) {
    Password_ = Init->Password;
    return true;
  }
  if (Callback(Init->Request, ACE_REQUEST_FILE, ACE_CODE_PASSWORD, &F) != ACE_CALLBACK_OK) return false;
  if (!Init->Password || !*Init->Password) return false;
  Password_ = Init->Password;
  return true;
}

bool TRun::Item(const TAceBlock& B, uint64_t& NextPos) {
  const TAceFileHeader& H = B.File;
  std::string Name = H.Name;
  for (char& Ch : Name)
    if (Ch == '\\') Ch = '/';
  const bool Folder = (H.Attributes & kAceFolderAttribute) != 0;
  std::string OnDisk;
  if (Operation_ == ACE_OPERATION_EXTRACT && SafeName(Name)) {
    std::string Rel = Name;
    if (ExcludePath_ && Rel.rfind('/') != std::string::npos) Rel = Rel.substr(Rel.rfind('/') + 1);
    OnDisk = Destination_.empty() ? Rel : Destination_ + (Destination_.back() == '/' ? "" : "/") + Rel;
  }
  TAceFileData F{H.Name.c_str(),
                 OnDisk.c_str(),
                 static_cast<int64_t>(H.PackedSize),
                 static_cast<int64_t>(H.Size),
                 H.Time,
                 H.Attributes,
                 H.Crc};
  TItemSource Packed(*this, B, F);
  auto Finish = [&] {
    Packed.Drain();
    NextPos = Packed.NextBlock();
    return !Stopped_;
  };

  if (Solid_ && SolidLost_) {
    // Its data refers to data lost before it: not decoded, named.
    Callback(Init->Error, 0, ACE_ERROR_SOLID_LOST, &F);
    return Finish();
  }
  if (!SafeName(Name)) {
    // Neither written nor handed over: a name that climbs out of the destination folder.
    Callback(Init->Error, 0, ACE_ERROR_UNSAFE_NAME, &F);
    return Finish();
  }
  const int Start = Callback(Init->State, ACE_STATE_ENTRY, ACE_CODE_ENTRY_START, &F);
  if (Start == ACE_CALLBACK_CANCEL && Operation_ != ACE_OPERATION_EXTRACT) Stopped_ = true;
  if (Stopped_) return Finish();
  bool Deliver = Start != ACE_CALLBACK_CANCEL;

  if (Folder) {
    if (Deliver && Operation_ == ACE_OPERATION_EXTRACT && !ExcludePath_) {
      // Every part of the path is made in turn; the name was checked to stay below the destination.
      for (size_t I = Destination_.size() + 1; I <= OnDisk.size(); ++I)
        if (I == OnDisk.size() || OnDisk[I] == '/') ::mkdir(OnDisk.substr(0, I).c_str(), 0777);
    }
    if (Deliver) Callback(Init->State, ACE_STATE_CRC, 0, &F, nullptr, 1);
    return Finish();
  }

  int Out = -1;
  if (Deliver && Operation_ == ACE_OPERATION_EXTRACT) {
    if (Exists(OnDisk) &&
        Callback(Init->Request, ACE_REQUEST_FILE, ACE_CODE_OVERWRITE, &F) != ACE_CALLBACK_OK) {
      Deliver = false;
    } else {
      for (size_t I = Destination_.size() + 1; I < OnDisk.size(); ++I)
        if (OnDisk[I] == '/') ::mkdir(OnDisk.substr(0, I).c_str(), 0777);
      Out = ::open(OnDisk.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
      if (Out < 0) {
        Callback(Init->Error, 0, ACE_ERROR_WRITE, &F);
        Deliver = false;
      }
    }
  }

  const bool Encrypted = (H.Flags & kAceFileEncrypted) != 0;
  if (Encrypted && !AskPassword(F)) {
    // Without a password the item cannot be read; it is left without a CRC result.
    if (Out >= 0) ::close(Out);
    return Finish();
  }

  uint64_t Done = 0;
  uint32_t Crc = kAceCrcStart;
  bool Failed = false;
  auto Sink = [&](const uint8_t* Data, size_t N) {
    Crc = AceCrc32(Crc, Data, N);
    Done += N;
    if (!Deliver) return true;
    if (Out >= 0) {
      for (size_t W = 0; W < N;) {
        const ssize_t R = ::write(Out, Data + W, N - W);
        if (R <= 0) {
          Failed = true;
          return true;
        }
        W += static_cast<size_t>(R);
      }
    }
    TAceProgressData P{Data, static_cast<uint32_t>(N)};
    if (Callback(Init->State, ACE_STATE_PROGRESS, 0, &F, &P) == ACE_CALLBACK_CANCEL) {
      Stopped_ = true;
      return false;
    }
    return true;
  };
  try {
    if (Encrypted) {
      TAceDecryptingSource Plain(Packed, Password_);
      Decoder_->Decode(Plain, H.Method, H.Size, Sink);
    } else {
      Decoder_->Decode(Packed, H.Method, H.Size, Sink);
    }
  } catch (const TAceDataError&) {
    Failed = true;
  } catch (const std::bad_alloc&) {
    Failed = true;
  }
  if (Out >= 0) ::close(Out);
  if (Stopped_) return Finish();
  Packed.Drain();
  const bool Ok = !Failed && !Packed.Broken && Done == H.Size && Crc == Packed.ExpectedCrc();
  if (Packed.Broken) SolidLost_ = true;
  if (Packed.Cut) {
    ReportCut(&F, Volume_.Size());
  } else if (Encrypted && !Ok && !Packed.Broken) {
    // The data is all there and does not check: the password is wrong. It is asked for again at the
    // next encrypted item.
    Callback(Init->Error, 0, ACE_ERROR_PASSWORD, &F);
    Password_.clear();
  }
  if (Deliver) Callback(Init->State, ACE_STATE_CRC, 0, &F, nullptr, Ok ? 1 : 0);
  return Finish();
}

int TRun::Go(const char* ArchiveName, const char* Dest, bool Exclude) {
  if (!ArchiveName) return ACE_ERROR_PARAMETER;
  Destination_ = Dest ? Dest : "";
  while (Destination_.size() > 1 && Destination_.back() == '/') Destination_.pop_back();
  ExcludePath_ = Exclude;
  if (!Volume_.Open(ArchiveName)) return ACE_ERROR_OPEN;
  TAceBlock Main;
  if (!AceFindMainHeader(Volume_, TestBytes, Main)) return ACE_ERROR_NOT_ACE;
  Solid_ = (Main.Main.Flags & kAceMainSolid) != 0;
  MultiVolume_ = (Main.Main.Flags & kAceMainMultiVolume) != 0;
  // A later volume given alone: the solid data of the volumes before it is not there.
  SolidLost_ = Solid_ && Main.Main.Volume > 0;
  Decoder_ = std::make_unique<TAceDecoder>();
  uint64_t Pos = Main.Next();
  for (;;) {
    TAceBlock B;
    const TAceBlockResult R = AceReadBlock(Volume_, Pos, B);
    if (R == TAceBlockResult::End || R == TAceBlockResult::Truncated) {
      // A block cut off by the end of the volume: what would follow it in this volume is lost. (An item
      // whose data ran past the end was reported with its name.)
      if (R == TAceBlockResult::Truncated || Pos > Volume_.Size())
        ReportCut(nullptr, std::min<uint64_t>(Pos, Volume_.Size()));
      if (Stopped_) return EndedEarly_ ? ACE_ERROR_ENDS_EARLY : ACE_OK;
      // A set may also break between items: the walk goes on in the next volume that is there.
      TAceBlock NextMain;
      bool Found = false;
      while (!Found && MultiVolume_) {
        const TVolumeStep Step = OpenNextVolume(nullptr);
        if (Step == TVolumeStep::None) break;
        if (Step == TVolumeStep::OpenedAfterGap) SolidLost_ = true;
        Found = AceFindMainHeader(Volume_, 0, NextMain);
      }
      if (!Found) return EndedEarly_ ? ACE_ERROR_ENDS_EARLY : ACE_OK;
      Pos = NextMain.Next();
      continue;
    }
    if (R != TAceBlockResult::Ok) return ACE_ERROR_DAMAGED;
    if (B.Type == kAceBlockMain) return ACE_ERROR_DAMAGED;  // a second main header in one volume
    if ((B.Type == kAceBlockFile || B.Type == kAceBlockFile64) &&
        !(B.File.Flags & kAceFileContinuedFromPrevious)) {
      uint64_t Next = B.Next();
      if (!Item(B, Next)) return EndedEarly_ ? ACE_ERROR_ENDS_EARLY : ACE_OK;
      Pos = Next;
      continue;
    }
    Pos = B.Next();
  }
}

int RunArchive(const char* ArchiveName, uint32_t Operation, const char* Destination, bool ExcludePath,
               const char* Password) {
  if (!Init) return ACE_ERROR_PARAMETER;
  try {
    TRun Run(Operation, Password);
    return Run.Go(ArchiveName, Destination, ExcludePath);
  } catch (const std::bad_alloc&) {
    return ACE_ERROR_DAMAGED;
  }
}

int CheckArchive(const char* Name) {
  if (!Name) return ACE_ERROR_PARAMETER;
  TVolume V;
  if (!V.Open(Name)) return ACE_ERROR_OPEN;
  TAceBlock Main;
  return AceFindMainHeader(V, TestBytes, Main) ? ACE_OK : ACE_ERROR_NOT_ACE;
}

}  // namespace

extern "C" {

int ACEInitDll(TAceInitData* Data) {
  if (!Data) return ACE_ERROR_PARAMETER;
  Init = Data;
  TestBytes = Data->MaxArchiveTestBytes ? Data->MaxArchiveTestBytes : kDefaultTestBytes;
  return ACE_OK;
}

int ACEReadArchiveData(const char* ArchiveName, TAceArchiveData*) { return CheckArchive(ArchiveName); }

int ACEList(const char* ArchiveName, void*) { return CheckArchive(ArchiveName); }

int ACETest(const char* ArchiveName, TAceTestData* Data) {
  if (!Data) return ACE_ERROR_PARAMETER;
  return RunArchive(ArchiveName, ACE_OPERATION_TEST, nullptr, false, Data->Password);
}

int ACEExtract(const char* ArchiveName, TAceExtractData* Data) {
  if (!Data) return ACE_ERROR_PARAMETER;
  return RunArchive(ArchiveName, ACE_OPERATION_EXTRACT, Data->DestinationFolder, Data->ExcludePath != 0,
                    Data->Password);
}

}  // extern "C"
