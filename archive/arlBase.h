// The decoder base of the archive library. TZipCommon holds what every component needs: the archive and
// its detected type (TRegisterArcLib), the item selection, the output destination, the block reader and
// writer with their input and output modes, deciphering, CRC accumulation, events, progress,
// cancellation, error reporting, and the naming and requesting of further volumes. TUnBase adds the
// decoding frame: one run over the archive, the per-item steps (selection, file-exists handling, output
// open and close, date and attributes, CRC check), the password flow, and the entry points that extract
// to files, to a given stream, to a memory stream or only test.
//
// A decoder descends from TUnBase and overrides ExtractArchive (its run over the items), CheckPassword
// (the test of a password against an item's 12-byte encryption header) and, for the ZIP family, the
// cipher step of DecryptBlock. For each item it fills Item, calls BuildOutputName and BeginItem, opens the
// output (OpenOutput), decodes through ReadBlock and WriteBlock, closes the output (CloseOutput) and
// checks the CRC (CheckCrc).
//
// Errors: decoders report through DoError (the run goes on) or RaiseError (throws E_RAISE and ends the
// item or run); Execute never lets an exception out, and reports any exception that was not reported
// yet (a failed write, a stream error, lack of memory) through OnError before it ends the run.
//
// Output names: BuildOutputName resolves "." and ".." segments of an item's stored folders and gives ""
// for a name that would leave ExtractDir; BeginItem reports such an item as "Invalid file name" and
// skips it, so that no item is ever written outside the output folder.
//
// Ownership and threads: a component is created by its user, which sets the archive, the selection and
// the events and then runs it any number of times on one thread. Streams handed to a run (the output
// stream of ExtractToStream, the memory stream of ExtractToMemoryStream) are not owned and must live
// through the run. The CRC registers are the component's own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/arlGbls.h"
#include "archive/arlRegister.h"
#include "archive/arlStreams.h"
#include "archive/arlTimer.h"
#include "core/Exception.h"
#include "core/VFileSys.h"

class TDiskManager;
class TDiskSpannObj;

// --- Error codes and texts ------------------------------------------------------------------------------

enum TArlError : int32_t {
  errBadFileHeader = 25110,
  errBadBlock = 25111,
  errBadHuffmanCode = 25120,
  errIncorrectBits = 25134,
  errWritingFile = 25136,
  errClosingFile = 25138,
  errIncompleteCodeSet = 25139,
  errCorruptInput = 25140,
  errCrcFailed = 25151,
  errInvalidDecodeTree = 25152,
  errNotAccessible = 25170,
  errWriteProtected = 25171,
  errEofNotFound = 25179,
  errFileNotFound = 25192,
  errOpeningFile = 25235,
  errReadingFile = 25236,
  errUnsupportedType = 25243,
  errInvalidFileName = 25244,
  errMaxVolumes = 25251,
  errOutOfMemory = 25253,
  errNoMemoryStream = 25255,
  errNoFileStream = 25258,
  errCabinetDll = 25261,
  errUnAceDll = 25262,
  errMultiPartGZip = 25264,
  errEventNotAssigned = 25270,
  errPropertyNotAssigned = 25271,
  errPasswordProtected = 25290,
  errAmbiguousTree = 25293,
  errStackOverflow = 25298,
  errUnsupportedMethod = 25326,
  errUnknownFileType = 25327,
  errVersion = 25402,
  errUserCanceled = 25443,
  errInvalidPassword = 26517,
  errPasswordFailed = 26522,
  errNothingToDo = 26859,
  errDirNotExist = 26899,
};

// The resource text of an error code ("Bad file header"); "" for a code without text.
std::string ArlErrorText(int32_t Code);

// The library's exception: its message is the text of ErrorCode. Reported is true when the error has
// already gone through OnError (RaiseError), so that the run's frame does not report it twice.
class E_RAISE : public Exception {
 public:
  explicit E_RAISE(int32_t Code, bool WasReported = false)
      : Exception(ArlErrorText(Code)), ErrorCode(Code), Reported(WasReported) {}
  const char* ClassName() const noexcept override { return "E_RAISE"; }
  int32_t ErrorCode;
  bool Reported;
};

// True when A and B are equal with ASCII letters compared without case (how item folders and output
// names are compared).
bool SameTextAscii(const std::string& A, const std::string& B);

// --- Item information -----------------------------------------------------------------------------------

// What a decoder sets for the item it works on (the fields its format has; the rest stay 0).
struct TArlItem {
  std::string Name;        // converted stored name, "/" separated
  uint32_t Flags = 0;      // the format's header flags
  uint16_t Method = 0;     // compression method
  int64_t PackedSize = 0;  // compressed size (without an encryption header)
  int64_t UnpackedSize = 0;
  uint32_t DosDateTime = 0;  // packed DOS date and time
  uint32_t Crc = 0;          // stored CRC-16 or CRC-32
  uint32_t Attributes = 0;   // DOS attributes (0x10 folder, 0x20 archive, 0x01 read-only)
  int64_t HeaderOffset = 0;  // where the item's header lies in its volume
  uint32_t DiskStart = 0;    // the volume or disk of the header
};

// DOS attribute bits of items: those of the core's file-system unit (faReadOnly 0x01, faHidden 0x02,
// faDirectory 0x10, faArchive 0x20).

// CRC kinds of ReadBlock, WriteBlock and CheckCrc.
enum : int { ckNone = 0, ckCrc16 = 16, ckCrc32 = 32 };

// Where ReadBlock reads.
enum : uint8_t {
  imHandle = 0,     // the stream handed to ReadBlock (the archive's file)
  imMemory = 1,     // InMemoryStream
  imStream = 2,     // the stream handed to ReadBlock
  imComponent = 3,  // the component's archive stream of the run
  imPointer = 4,    // InPointer, InPointerLeft bytes, advanced after each read
};

// Where WriteBlock writes.
enum : uint8_t {
  omHandle = 0,      // a file created for each item
  omMemory = 1,      // the memory stream of ExtractToMemoryStream, one index record per item
  omFileStream = 2,  // a file stream created for each item
  omStream = 3,      // the stream of ExtractToStream
  omPointer = 4,     // OutPointer, OutPointerLeft bytes, advanced after each write
  omCount = 5,       // nowhere; only counted
  omTest = 7,        // test run: no output
  omAppend = 8,      // an existing file opened for writing at its end
};

// Date given to extracted files.
enum : uint8_t { dmStored = 0, dmNow = 1, dmNewest = 2 };

// --- Memory output ----------------------------------------------------------------------------------------

// The index record of one item in a TDecompMemoryStream.
struct TDecompRecord {
  uint32_t Size = 0;   // the item's bytes
  uint32_t Start = 0;  // where they start in the stream
  std::string Name;    // at most kMaxRecordName bytes
};

// A memory stream that keeps an index of the items written into it (memory output, OutputMode 1).
class TDecompMemoryStream : public TMemoryStream32 {
 public:
  static constexpr size_t kMaxRecordName = 255;
  void AddRecord(const TDecompRecord& Record);
  std::vector<TDecompRecord> Records;
  void ClearRecords() { Records.clear(); }
};

// --- Header lists -----------------------------------------------------------------------------------------

// Fixed-size header records that a decoder remembers (a central directory, the headers walked), each with
// an optional extra block.
class TUnBaseHeaderObj {
 public:
  explicit TUnBaseHeaderObj(int32_t RecordSize = 12) : RecordSize(RecordSize) {}
  // Copies RecordSize bytes of Record and ExtraLength bytes of Extra (none when 0).
  void Add(const void* Record, const void* Extra, int32_t ExtraLength);
  const uint8_t* Get(int32_t Index) const { return Records_[Index].data(); }
  const std::vector<uint8_t>& Extra(int32_t Index) const { return Extras_[Index]; }
  int32_t Count() const { return static_cast<int32_t>(Records_.size()); }
  void Clear();
  const int32_t RecordSize;

 private:
  std::vector<std::vector<uint8_t>> Records_;
  std::vector<std::vector<uint8_t>> Extras_;
};

// --- The common component -----------------------------------------------------------------------------

class TZipCommon;

// Events; an unassigned one is skipped (a question counts as yes / go on). An event that has more to tell
// than fits in three parameters takes the sender and one struct: what the component tells comes in its
// fields, and a question's answers are its writable fields, which come in as the struct's comment says
// and are read back after the call.

// A report through OnError. FileName is the file the report is about (the item's output name, the item's
// name, or the archive); ExtraInfo1 is the report's detail: the missing event's name for "Required event
// not assigned" ("OnGetPassword", "OnFileExists", "OnNextVolumeFile", "OnGetZipLastDisk", ...), the
// folder for "is not accessible", the volume number for "Maximum volumes 999", the text of an exception
// that ended a run for "Error reading file or unexpected end of file" and for code 0. ExtraInfo2 is a
// further detail where a report has one.
struct TArlErrorReport {
  const std::string& FileName;
  int32_t ErrorCode = 0;
  const std::string& ExtraInfo1;
  const std::string& ExtraInfo2;
};
using TArlErrorEvent = std::function<void(TZipCommon* Sender, const TArlErrorReport& Error)>;
using TArlProgressEvent = std::function<void(TZipCommon* Sender, int32_t ItemPercent, int32_t TotalPercent)>;
// The password question for the item FileName. Password comes in as the password the component holds
// (empty for a reader that asks afresh) and goes out as the one to try; Continue := false gives up.
struct TArlPasswordQuery {
  const std::string& FileName;
  std::string Password{};
  bool Continue = true;
};
using TArlPasswordEvent = std::function<void(TZipCommon* Sender, TArlPasswordQuery& Query)>;
// The output file FileName exists (asked while ConfirmOverwrites is on). Skip := true leaves the item out;
// NewName (coming in empty) names another file to write instead, which is asked about again when it
// exists too; left empty, the existing file is replaced.
struct TArlFileExists {
  const std::string& FileName;
  bool Skip = false;
  std::string NewName{};
};
using TArlFileExistsEvent = std::function<void(TZipCommon* Sender, TArlFileExists& Query)>;
// An item is about to be written: FileName is its output name for file output, else its stored name;
// Index counts the items of the run from 1. Continue := false leaves the item out.
struct TArlBeginItem {
  const std::string& FileName;
  int32_t Index = 0;
  bool Continue = true;
};
using TArlBeginEvent = std::function<void(TZipCommon* Sender, TArlBeginItem& Item)>;
using TArlEndEvent = std::function<void(TZipCommon* Sender, const std::string& FileName, bool CrcPassed)>;
using TArlNotifyEvent = std::function<void(TZipCommon* Sender)>;
using TArlElapsedEvent = std::function<void(TZipCommon* Sender, double Seconds)>;
// The request for the file of volume VolumeText (its number). FileName comes in as the name the
// component expects (a name without a folder taken in the current folder) and goes out as the file to
// open; Exists tells whether the file named on the way in exists. Cancel comes in true: the handler
// clears it to go on, and is asked again, with its last answer, while that names no existing file.
struct TArlNextVolume {
  std::string FileName;
  bool Exists = false;
  const std::string& VolumeText;
  bool Cancel = true;
};
using TArlNextVolumeEvent = std::function<void(TZipCommon* Sender, TArlNextVolume& Request)>;
using TArlDiskEvent = std::function<void(TZipCommon* Sender, bool& Cancel)>;
using TArlNextDiskEvent = std::function<void(TZipCommon* Sender, const std::string& DiskText, bool& Cancel)>;

class TZipCommon : public TRegisterArcLib {
 public:
  TZipCommon();
  ~TZipCommon() override;

  // --- Settings -------------------------------------------------------------------------------------------
  std::vector<std::string> FileSpec;  // names or masks of the items to extract ("*.*" for all)
  std::string ExtractDir;             // output folder with a trailing "/"; set through SetExtractDir
  bool UseStoredDirs = true;
  bool ConfirmOverwrites = false;
  int32_t PasswordAttempts = 3;
  std::string Password;
  std::vector<std::string> AcceptedPasswords;  // newest first
  uint8_t InputMode = imHandle;
  uint8_t OutputMode = omHandle;
  bool ConvertLF = false;
  uint8_t DateMode = dmStored;
  bool RestoreAttributes = true;
  bool CreateStoredDirs = true;  // create folder items when extracting to files

  // Input and output of the memory and pointer modes (not owned).
  TMemoryStream32* InMemoryStream = nullptr;
  const uint8_t* InPointer = nullptr;
  int64_t InPointerLeft = 0;
  TDecompMemoryStream* OutMemoryStream = nullptr;
  TStream32* OutStream = nullptr;  // the stream of ExtractToStream (OutputMode 3)
  uint8_t* OutPointer = nullptr;
  int64_t OutPointerLeft = 0;

  // --- Run state -----------------------------------------------------------------------------------------
  int32_t FileIndex = 0;    // items written in this run
  TArlItem Item;            // the item being worked on
  int64_t TotalPacked = 0;  // summed over the selected items by the decoder
  int64_t TotalUnpacked = 0;
  uint32_t NewestDate = 0;  // the newest DOS date of the selected items
  int64_t BytesToDo = 0;    // the run's bytes still to process (progress)
  uint16_t Crc16Reg = 0;    // the CRC registers that ReadBlock and WriteBlock update
  uint32_t Crc32Reg = 0;
  std::string CurrentOutputName;  // the output name of the current item
  std::vector<std::string> SecondaryList;
  int32_t VolumesOpened = 0;  // volumes opened in this run

  // --- Events ---------------------------------------------------------------------------------------------
  TArlErrorEvent OnError;
  TArlProgressEvent OnProgress;
  TArlPasswordEvent OnGetPassword;
  TArlFileExistsEvent OnFileExists;
  TArlBeginEvent OnBegin;
  TArlEndEvent OnEnd;
  TArlNotifyEvent OnActivate;
  TArlNotifyEvent OnDeactivate;
  TArlElapsedEvent OnElapsedTime;
  TArlNextVolumeEvent OnNextVolumeFile;
  TArlDiskEvent OnGetZipFirstDisk;
  TArlNextDiskEvent OnGetZipNextDisk;
  TArlDiskEvent OnGetZipLastDisk;

  // --- Cancelling and errors ------------------------------------------------------------------------------
  virtual bool GetCancel() const { return *CancelFlag_; }
  // Stores Value; true also reports "User canceled".
  virtual void SetCancel(bool Value);
  // Points the cancel flag at a flag of the caller (the spanned-disk object shares it); nullptr restores
  // the component's own.
  void ShareCancelFlag(bool* Flag) { CancelFlag_ = Flag ? Flag : &OwnCancel_; }
  // Pauses the run timer, replaces the code by "User canceled" when the run is cancelled, calls OnError.
  virtual void DoError(const std::string& FileName, const std::string& ExtraInfo, int32_t ErrorCode,
                       const std::string& ExtraInfo2 = "");
  // Reports that the archive ends before its entries do: "Error reading file or unexpected end of file"
  // about the archive, naming the offset from which the entries could not be read.
  void ReportTruncation(int64_t Offset);
  // The same report, then throws E_RAISE (marked as reported) with the code's text; a cancelled run
  // throws with "User canceled".
  [[noreturn]] virtual void RaiseError(const std::string& FileName, int32_t ErrorCode,
                                       const std::string& ExtraInfo = "", const std::string& ExtraInfo2 = "");

  // --- Block input and output -----------------------------------------------------------------------------
  // Reads up to Count bytes from the input that InputMode selects (modes 0 and 2: Stream; 3: Stream or,
  // when null, the run's archive stream); a read error counts as 0 bytes. Then DecryptBlock and the CRC
  // update of CrcKind. Returns the bytes read.
  virtual int32_t ReadBlock(TStream32* Stream, void* Buffer, int32_t Count, int CrcKind, bool Decrypt);
  // Writes Count bytes to the output that OutputMode selects (the current item's output opened by
  // OpenOutput); modes 5 and 7 write nothing. With ConvertLF each bare LF is written as CR LF and the
  // result counts the inserted bytes. With UpdateCrc the register of CrcKind is updated over the bytes
  // written (before the LF conversion). A short write throws E_RAISE "Error writing to file".
  int32_t WriteBlock(const void* Buffer, int32_t Count, bool UpdateCrc, int CrcKind);
  // Deciphers Count bytes in place when Decrypt is set: ARJ types XOR with the password, cycling across
  // calls (ResetPasswordPosition starts it over); the ZIP family is left to the decoder, which overrides
  // this with its cipher.
  virtual void DecryptBlock(bool Decrypt, uint8_t* Buffer, int32_t Count);
  void ResetPasswordPosition() { PasswordPos_ = 0; }
  void UpdateCrc(int Kind, const void* Buffer, int32_t Count);
  // Reads min(Length, 255) bytes without deciphering or CRC; the string holds what was read.
  std::string ReadHeaderBytes(TStream32* Stream, int32_t Length);
  static bool TarChecksumOk(const uint8_t* Block);
  virtual TDateTime DosDateToDateTime(uint32_t DosDateTime) const;
  // The date to give an extracted file by DateMode.
  TDateTime ItemDate(uint32_t StoredDate) const;

  // --- Progress -----------------------------------------------------------------------------------------
  void DoProgress(int32_t ItemPercent, int32_t TotalPercent);
  void UpdateProgress(int64_t Done, int64_t RunTotal, int64_t ItemTotal);
  // Lowers BytesToDo by the item's packed size and reports it as complete.
  void ProgressDone(const TArlItem& Header);

  // --- Output names and selection -------------------------------------------------------------------------
  // A non-empty Dir with "\" turned into "/" and a trailing "/"; empty: the folder of ArchiveFile.
  void SetExtractDir(const std::string& Dir);
  // The full output name of an item; "" when its stored folders would lead outside ExtractDir.
  virtual std::string BuildOutputName(const std::string& ItemName);
  void SetFileSpec(const std::vector<std::string>& List) { FileSpec = List; }
  virtual void ClearSecondaryList() { SecondaryList.clear(); }
  // Whether an item is selected by List (and by one of Masks when Masks is not empty): an entry selects
  // the item with the same name, and, unless FileSpecLiteral is set, every item whose folder matches the
  // entry's (without case; with Recurse its sub-folders too) and whose name matches the entry's name as
  // a wildcard mask ("*.*" also selects names without extension).
  bool MatchFileSpec(const std::string& ItemName, const std::vector<std::string>& List,
                     const std::vector<std::string>& Masks, bool Recurse) const;
  // FileSpec names items exactly: names that hold "*", "?" or "[" select only themselves (set by
  // ExtractToStream for its one item, and by callers that extract one named item).
  bool FileSpecLiteral = false;
  // Every character moved down (Decode) or up by Delta (mod 256).
  static std::string ShiftString(bool Decode, const std::string& S, int Delta);
  // The temporary folder, fetched again when the stored one no longer exists.
  std::string GetLibraryTempDir();
  bool IsFileOutput() const { return OutputMode == omHandle || OutputMode == omFileStream; }

  // --- Volumes -------------------------------------------------------------------------------------------
  // The file of volume Number of the set that FileName belongs to: its folder, its name up to the last
  // ".", and ".<letter>0N", ".<letter>NN" or ".NNN"; "" for an empty name, a negative number or a number
  // above 999.
  virtual std::string GetNextVolumeName(const std::string& FileName, int32_t Number) const;
  // GetNextVolumeName in the case of the file that exists: with the volume letter as set, then with its
  // other case ("set.c00" or "SET.C00"); the first form when neither exists.
  std::string ExistingVolumeName(const std::string& FileName, int32_t Number) const;
  // The smallest volume number above After whose file (ExistingVolumeName) exists; -1 when none does.
  int32_t NextPresentVolume(const std::string& FileName, int32_t After) const;
  // Asks OnNextVolumeFile for the file of the next volume until it names an existing file or cancels.
  bool RequestNextVolume(std::string& FileName, int32_t VolumeNumber);
  // The largest volume number a set may have.
  static constexpr int32_t kMaxVolumes = 999;

  // The drive check of every run and the disks of a spanned ZIP run.
  TDiskManager& DiskManager() { return *Disks_; }

 protected:
  bool* CancelFlag_ = &OwnCancel_;
  bool OwnCancel_ = false;
  size_t PasswordPos_ = 0;
  bool LastWrittenCr_ = false;  // the last byte written was CR (the LF conversion spans blocks)
  TarlTimer Timer_;
  bool Timing_ = false;
  std::unique_ptr<TDiskManager> Disks_;
  std::string TempDir_;
  // The current item's output (OpenOutput sets them).
  THandle OutHandle_ = kInvalidHandle;
  std::unique_ptr<TFileStream32> OutFileStream_;
  int64_t OutMemoryStart_ = 0;
  // The archive stream of the run (Execute opens it).
  std::unique_ptr<TFileStream32> ArcStream_;

  friend class TDiskManager;
  friend class TDiskSpannObj;
};

// --- The decoding frame -------------------------------------------------------------------------------

class TUnBase : public TZipCommon {
 public:
  TUnBase() = default;

  // One run: the number of items written. Never raises.
  int32_t Execute();
  // InputMode 0, OutputMode 0.
  int32_t ExtractToFiles();
  // OutputMode 3 into Stream with FileSpec replaced by the one name, taken literally (both restored
  // afterwards, also after a failure); Stream rewound to 0. A null Stream reports "Uninitialized TFileStream
  // object".
  int32_t ExtractToStream(const std::string& ItemName, TStream32* Stream);
  // OutputMode 1 into Stream; rewound to 0. A null Stream reports "Uninitialized TMemoryStream object".
  int32_t ExtractToMemoryStream(TDecompMemoryStream* Stream);
  // OutputMode 7.
  int32_t TestArchive();

  // --- Per-item steps for decoders ------------------------------------------------------------------------
  // Asks OnBegin and, for file output, settles an existing output file; true when the item is to be
  // extracted (FileIndex counted). Reads CurrentOutputName (from BuildOutputName) for file output.
  bool BeginItem(bool TestOnly);
  // Opens the current item's output by OutputMode; false (reported) when it cannot be opened.
  bool OpenOutput(const std::string& ItemName, const std::string& FileName);
  // Closes it: file output gets its date (ItemDate) and, with RestoreAttributes, its attributes.
  void CloseOutput(uint32_t Attributes, uint32_t StoredDate, const std::string& FileName);
  // Stored must equal the register of Kind or its complement; OnEnd or a "File fails CRC check" report.
  virtual bool CheckCrc(int Kind, uint32_t Stored);
  // The password flow for an item with a 12-byte encryption header at Position of Stream.
  bool VerifyPassword(TStream32& Stream, int64_t Position);
  // Copies Size stored bytes in blocks of at most 32768 bytes, with progress; the bytes not copied.
  int64_t CopyStored(TStream32* In, int64_t Size, int CrcKind, bool Decrypt);

  static constexpr int32_t kEncryptionHeaderSize = 12;
  static constexpr int32_t kCopyBlock = 32768;

  // --- Entries read as streams, archives given as streams ----------------------------------------------
  // A decoder that can hand an entry over as a forward-only stream (GZIP: its one entry, a TAR inside)
  // asks OnStreamQuery twice: by the name alone (Head null), then with the entry's first bytes. When both
  // say yes, the entry is offered to OnBegin with StreamOffered set; a handler that takes it as a stream
  // sets StreamTaken, and the entry then goes to OnStreamEntry instead of the output: it is read there,
  // front to back, while it is decoded. Size is the entry's size when SizeExact, else what the format
  // declares of it (unchecked). Unassigned: no entry is offered.
  struct TStreamQuery {
    const std::string& ItemName;
    const uint8_t* Head = nullptr;
    int32_t HeadSize = 0;
    int64_t Size = 0;
    bool SizeExact = false;
  };
  std::function<bool(const TStreamQuery& Query)> OnStreamQuery;
  std::function<void(TStream32& Data)> OnStreamEntry;
  // What a stream handed to OnStreamEntry keeps behind its position, for a reader that steps back.
  static constexpr int64_t kStreamKeepBytes = (int64_t{2} << 20) + kCopyBlock;
  bool StreamOffered = false;
  bool StreamTaken = false;
  // The archive as a forward-only stream (not owned; it must live through the run), read instead of
  // ArchiveFile, which then only names it in reports. Only decoders that read their archive front to back
  // take one (TAR).
  TStream32* ForwardInput = nullptr;
  // Set by a decoder that finds faults of the archive itself (its end cut short, a bad header) only after
  // the entries before them were extracted: its owner puts such reports before those about entries, where
  // a decoder that walks the headers first has them.
  bool ArchiveReportsFirst = false;

 protected:
  // The decoder's run over its archive's items; Stream is the archive (null for the types decoded through
  // outside libraries).
  virtual void ExtractArchive(TStream32* Stream);
  // Whether Password opens the item whose encryption header is Header (12 bytes).
  virtual bool CheckPassword(const uint8_t* Header);
  // The archive stream of the run.
  TStream32* RunStream() { return ArcStream_.get(); }

  // The list-then-extract run of the decoders that walk their own headers (TAR, LHA, ARC, ZOO, ARJ): the
  // walk lists the selected entries first, so that totals and progress are known before the first byte
  // is written; then each listed header is read again at its place and its entry extracted. The size of
  // Stream, 0 when it cannot be told.
  static int64_t StreamSizeOf(TStream32& Stream);
  // The extraction half: for each of Entries, Reread(Listed, H) reads the header again into H (false when
  // it no longer reads as in the walk: the file changed underneath), Fill(H, Item) sets the item's fields,
  // and Extract(H) extracts it with Item and CurrentOutputName set. An entry whose header fails to read
  // again is reported as "Bad file header" by its listed name and offset, and the run goes on with the
  // next. False when the run was cancelled.
  template <class THeaderT, class TReread, class TFill, class TExtract>
  bool ExtractListed(const std::vector<THeaderT>& Entries, TReread&& Reread, TFill&& Fill,
                     TExtract&& Extract) {
    BytesToDo = TotalPacked;
    for (const THeaderT& Listed : Entries) {
      if (GetCancel()) return false;
      THeaderT H;
      const bool Read = Reread(Listed, H);
      Item = TArlItem();
      Fill(Read ? H : Listed, Item);
      if (!Read) {
        DoError(Item.Name, "header at offset " + std::to_string(Item.HeaderOffset), errBadFileHeader);
        ProgressDone(Item);
        continue;
      }
      CurrentOutputName = BuildOutputName(Item.Name);
      Extract(H);
    }
    return !GetCancel();
  }

 private:
  int32_t Run();
};
