// TPreviewModel: the decisions of a preview window, free of widgets. A preview shows one found file as
// text with every hit of the search pattern marked: the file itself, an item extracted from an archive,
// or the text a converter plug-in made of a document. The model reads the file (extracting or converting
// it as needed), finds the hits with the stream scanner, moves from hit to hit, marks and colours them
// in the viewer, and says what the status bar shows. The window around it (viewer/ui/PreviewForm) holds
// the widgets and calls in.
//
// Temporary files (an extracted item, converted text) belong to the model and are deleted when it loads
// again or is destroyed, and on every failure path.
//
// Ownership: the viewer and the host are borrowed and must outlive the model. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/Exception.h"
#include "core/NumVector.h"
#include "search/FileScan.h"
#include "search/StrmScan.h"
#include "viewer/HTMLViewer.h"
#include "viewer/ViewSettings.h"

class TQVConverter;
class TQVConverters;

class EPreview : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EPreview"; }
};

// Preview windows open at once at most.
constexpr int32_t kMaxPreviewWindows = 63;
// The end-of-line mark shown with "Show EOL".
constexpr char16_t kPreviewEOLMark = 0x00B6;
// Buffer of the stream that writes converted text to its temporary file.
constexpr int32_t kConvertedTextBuffer = 65535;
// Prefix of the preview's temporary files.
inline constexpr char kPreviewTempPrefix[] = "QV";

// The search settings of a result set.
struct TPreviewSearchSettings {
  TSearchLogic Logic = slEntirePhrase;
  uint8_t Fuzzy = 0;
  bool CaseSensitive = false;
  bool WholeWords = false;
};

// What a preview needs of the program around it.
class IPreviewHost {
 public:
  virtual ~IPreviewHost() = default;
  virtual void ShowError(const std::u16string& Text) = 0;
  virtual void ShowWarning(const std::u16string& Text) = 0;
  // The main window's status text.
  virtual std::u16string GetStatusText() = 0;
  virtual void SetStatusText(const std::u16string& Text) = 0;
  // The program's converter list; null when there is none.
  virtual TQVConverters* GetConverters() = 0;
  // The password of an archive item (ArcName: the item path up to its last "|"); false for none.
  virtual bool ExtractPassword(const std::string& ArcName, const std::string& ItemName,
                               std::string& Password) = 0;
  // A conversion starts / has ended: between the two, EscapePressed is polled.
  virtual void ConversionStarted() {}
  virtual void ConversionEnded() {}
  // Lets pending work run; true when Escape was pressed since the last call.
  virtual bool EscapePressed() = 0;
  // Hands an address to the desktop.
  virtual void OpenURL(const std::u16string& URL) = 0;
};

// A file the model deletes when it lets go of it.
class TOwnedTempFile {
 public:
  TOwnedTempFile() = default;
  explicit TOwnedTempFile(std::string Name) : Name_(std::move(Name)) {}
  ~TOwnedTempFile() { Delete(); }
  TOwnedTempFile(TOwnedTempFile&& Other) noexcept : Name_(std::move(Other.Name_)) { Other.Name_.clear(); }
  TOwnedTempFile& operator=(TOwnedTempFile&& Other) noexcept;
  TOwnedTempFile(const TOwnedTempFile&) = delete;
  TOwnedTempFile& operator=(const TOwnedTempFile&) = delete;
  void Delete();
  const std::string& GetName() const { return Name_; }
  bool Empty() const { return Name_.empty(); }

 private:
  std::string Name_;
};

// The file of a result as it is now: whether it is there and, for a plain file, whether it changed.
struct TPreviewFileCheck {
  bool Ok = false;       // false: the host was told why, no window opens
  bool Changed = false;  // differs from the result (plain files with a pattern only)
  int64_t Size = 0;
  TDateTime Date = 0;
};
// Looks at the file of Info (for an archive item, the archive file on disk) and tells the host when it
// is missing or cannot be read.
TPreviewFileCheck CheckPreviewFile(const TFoundFileInfo& Info, const std::u16string& Pattern,
                                   IPreviewHost& Host);
// Raises "Too many preview windows" when OpenCount windows leave no room for another.
void CheckPreviewCount(int32_t OpenCount);

// The viewer's charset mode for a hit's encoding (a name hit shows the file in the ANSI mode).
uint8_t CharsetModeOfEncoding(TScanEncoding Encoding);
// An RGB value (red in the low byte) of a colour that may name a system colour.
uint32_t ColorToRGB(TColor Color);

// The view settings a viewer takes from the preview options (colours of the control itself, background
// and text, are the window's and come back in Background and Text).
struct TAppliedColors {
  uint32_t Background = 0xFFFFFF;
  uint32_t Text = 0;
};
TAppliedColors ApplyViewOptions(THTMLViewer64& Viewer, const TViewOptions& Options, const TFontRec& Font);

enum class TPreviewKey { Tab, ShiftTab, Space, ShiftSpace };

class TPreviewModel {
 public:
  // Installs itself as the viewer's span marker and colour rule.
  TPreviewModel(THTMLViewer64& Viewer, IPreviewHost& Host);
  ~TPreviewModel();
  TPreviewModel(const TPreviewModel&) = delete;
  TPreviewModel& operator=(const TPreviewModel&) = delete;

  // Loads the file of Info: false when the user cancelled a conversion (the host was told). Errors of
  // reading or extracting pass on as exceptions; temporary files are deleted on every failure.
  bool LoadFile(const TFoundFileInfo& Info, const TPreviewSearchSettings& Settings,
                const std::u16string& Pattern, bool Convert);
  // Has the shown file converted to text by the converter list. False when nothing was shown anew.
  bool ConvertShownFile();

  // Hits: starts in bytes (ascending) and lengths in characters.
  int32_t HitCount() const { return HitStarts_.GetCount(); }
  const TInt32Vector& GetHitStarts() const { return HitStarts_; }
  const TInt32Vector& GetHitLengths() const { return HitLengths_; }
  int32_t GetCurrentHit() const { return CurrentHit_; }
  // Moves to hit N (clamped), which is drawn in the current-hit colours; nothing without hits.
  void ShowHit(int32_t N);
  void FirstHit() { ShowHit(0); }
  void PriorHit() { ShowHit(CurrentHit_ - 1); }
  void NextHit() { ShowHit(CurrentHit_ + 1); }
  void LastHit() { ShowHit(HitCount() - 1); }
  bool CanFirst() const { return HitCount() > 0; }
  bool CanPrior() const { return CurrentHit_ > 0; }
  bool CanNext() const { return CurrentHit_ + 1 < HitCount(); }
  bool CanLast() const { return HitCount() > 0; }

  // Tab and Shift+Tab walk the hits, Space and Shift+Space page.
  void ViewerKey(TPreviewKey Key);
  // Finds Text in the shown text; tells the host when it is not there. 0 found, 1 not found.
  int32_t Find(const std::u16string& Text, bool MatchCase, bool WholeWord);
  // Opens the address of a clicked or chosen link when it can be made complete.
  void LinkClick(const std::u16string& URL, int32_t LinkIndex);

  // The status bar: the hot address, else the charset and converter of the shown text.
  std::u16string StatusText();
  std::u16string GetCaption() const { return Caption_; }
  // Whether the "Convert to text" button applies (the text is not converted yet).
  bool CanConvert() const { return ConvertAvailable_; }
  // Whether this model shows Info's file; when it changed, only as it is now (Size, Date).
  bool ShowsFile(const TFoundFileInfo& Info, bool Changed, int64_t Size, TDateTime Date);
  void SetFileStamp(int64_t Size, TDateTime Date) {
    FileSize_ = Size;
    FileDate_ = Date;
  }
  const std::string& GetTempFileName() const { return TempFile_.GetName(); }
  TScanEncoding GetEncoding() const { return Encoding_; }

  // The view settings (word wrap, marks, hit colours); PreviewViewOptions() unless set.
  const TViewOptions* Options = nullptr;
  // Told when the hits or the current hit changed (the navigation buttons).
  std::function<void()> OnNavigationChanged;
  // Told when the status text changed.
  std::function<void()> OnStatusChanged;

 private:
  void Reset();
  void MarkHits();
  void GetAttrColors(TFileViewer64* Sender, TAttrColors& Colors);
  void ScanHits(std::unique_ptr<TVStream> Stream, const std::u16string& Name, TQVConverter* Converter);
  // Moves each fuzzy hit's start to where its word begins (the scanner reports it from the hit's end).
  void RefineFuzzyHits(TVStream& Stream, TScanEncoding E);
  // Converts FileName; the text lands in a new temporary file that replaces the owned one. Null when
  // no text came (ErrorText says why unless nothing tried).
  std::unique_ptr<TVStream> ConvertToTempFile(const std::string& FileName, TQVConverter* Named, bool Unicode,
                                              const std::string& Extension, const std::u16string& ShownName,
                                              TQVConverter*& Used, std::string& ErrorText);
  void ShowConvertError(const std::string& ErrorText, const std::u16string& Name);
  void NavigationChanged();
  const TViewOptions& ViewSettings() const { return Options ? *Options : PreviewViewOptions(); }

  THTMLViewer64& Viewer_;
  IPreviewHost& Host_;
  TInt32Vector HitStarts_;
  TInt32Vector HitLengths_;
  int32_t CurrentHit_ = -1;
  std::u16string Pattern_;
  TPreviewSearchSettings Settings_;
  TScanEncoding Encoding_ = seAnsi;
  TOwnedTempFile TempFile_;
  int64_t FileSize_ = 0;
  TDateTime FileDate_ = 0;
  std::u16string CharsetName_;
  std::u16string ConverterName_;
  std::u16string Caption_;
  bool ConvertAvailable_ = true;
  bool Cancelled_ = false;
};
