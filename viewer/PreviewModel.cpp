#include "viewer/PreviewModel.h"

#include <algorithm>
#include <cstdio>

#include "archive/ArcNested.h"
#include "core/FileLayer.h"
#include "core/MsgStr.h"
#include "core/VFileStream.h"
#include "core/VFileSys.h"
#include "core/WideFormat.h"
#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"
#include "search/QVConvIntf.h"
#include "viewer/FuzzyHitSpan.h"

namespace {

// The name after the last "/".
template <class S>
S BaseName(const S& Path) {
  const size_t Slash = Path.rfind(static_cast<typename S::value_type>('/'));
  return Slash == S::npos ? Path : Path.substr(Slash + 1);
}

// The extension of a name in lower case, without the dot; empty when it has none.
std::string LowerExtension(const std::u16string& Name) {
  const std::u16string Base = BaseName(Name);
  const size_t Dot = Base.rfind(u'.');
  if (Dot == std::u16string::npos) return {};
  std::string Ext = Utf16ToUtf8(Base.substr(Dot + 1));
  for (char& C : Ext) {
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C + 32);
  }
  return Ext;
}

// The system colours the settings name, by index (the window layer's palette stands in for them).
uint32_t SystemColor(uint32_t Index) {
  switch (Index) {
    case 4:   // menu
    case 15:  // button face
      return 0xF0F0F0;
    case 5:   // window
    case 14:  // highlighted text
      return 0xFFFFFF;
    case 13:  // highlight: RGB (0, 120, 215)
      return 0xD77800;
    default:  // window text, button text and the rest
      return 0x000000;
  }
}

// The stream begins with the UTF-16 little-endian byte-order mark (FF FE). Leaves it at its start.
bool StartsWithUtf16Bom(TVStream& Stream) {
  uint8_t Mark[2] = {};
  Stream.Seek(0);
  const bool Bom = Stream.Read(Mark, 2) == 2 && Mark[0] == 0xFF && Mark[1] == 0xFE;
  Stream.Seek(0);
  return Bom;
}

}  // namespace

// ---- Temporary files --------------------------------------------------------------------------------

TOwnedTempFile& TOwnedTempFile::operator=(TOwnedTempFile&& Other) noexcept {
  if (this != &Other) {
    Delete();
    Name_ = std::move(Other.Name_);
    Other.Name_.clear();
  }
  return *this;
}

void TOwnedTempFile::Delete() {
  if (Name_.empty()) return;
  std::remove(Name_.c_str());
  Name_.clear();
}

// ---- Helpers ----------------------------------------------------------------------------------------

TPreviewFileCheck CheckPreviewFile(const TFoundFileInfo& Info, const std::u16string& Pattern,
                                   IPreviewHost& Host) {
  TPreviewFileCheck R;
  std::string File = Utf16ToUtf8(Info.Name);
  if (Info.InArchive && Info.ItemPath.size() >= 2) {
    File = Info.ItemPath.front();
  } else if (Info.InArchive) {
    std::string Outer;
    std::string Rest;
    if (SplitArchivePath(File, Outer, Rest)) File = Outer;
  }
  if (!GetFileInfo(File, &R.Size, &R.Date, nullptr, nullptr, nullptr)) {
    Host.ShowError(FormatMsgW(TMsgIndex::FileNotFound_s, {Utf8ToUtf16(File)}));
    return R;
  }
  if (!Info.InArchive) {
    R.Changed = !Pattern.empty() && (R.Size != Info.Size || R.Date != Info.Date);
    int Handle = OpenReadShared(File);
    if (Handle < 0) {
      Host.ShowError(FormatMsgW(TMsgIndex::AccessDenied_s, {Utf8ToUtf16(File)}));
      return R;
    }
    CloseFileHandle(Handle);
  }
  R.Ok = true;
  return R;
}

void CheckPreviewCount(int32_t OpenCount) {
  if (OpenCount >= kMaxPreviewWindows) throw EPreview("Too many preview windows");
}

uint8_t CharsetModeOfEncoding(TScanEncoding Encoding) {
  switch (Encoding) {
    case seUnicode:
      return cmUnicode;
    case seOem:
      return cmOEM;
    default:
      return cmANSI;
  }
}

uint32_t ColorToRGB(TColor Color) {
  if (Color & 0x80000000u) return SystemColor(Color & 0xFF);
  return Color & 0xFFFFFF;
}

TAppliedColors ApplyViewOptions(THTMLViewer64& Viewer, const TViewOptions& Options, const TFontRec& Font) {
  Viewer.BeginUpdate();
  Viewer.SetSelTextColor(ColorToRGB(Options.SelectedText));
  Viewer.SetSelBkColor(ColorToRGB(Options.Selection));
  Viewer.SetGutterColor(ColorToRGB(Options.Gutter));
  Viewer.SetGutterWidth(Options.GutterWidth);
  Viewer.SetTabSize(Options.TabSize);
  Viewer.PageMode = std::clamp<int32_t>(Options.PageMode, 0, 2);
  Viewer.SetWordWrap(Options.WrapText);
  Viewer.SetEOLMark(Options.ShowEOL ? kPreviewEOLMark : 0);
  Viewer.SetShowTabs(Options.ShowTabs);
  // Detected addresses are underlined in the text colour, without a hot colour of their own.
  Viewer.URLStyle.Underline = true;
  Viewer.URLStyle.HighlightHot = false;
  Viewer.URLStyle.TextColor = ColorToRGB(Font.Color);
  Viewer.SetAutodetectLinks(Options.DetectLinks);
  Viewer.EndUpdate();
  TAppliedColors C;
  C.Background = ColorToRGB(Options.Background);
  C.Text = ColorToRGB(Font.Color);
  return C;
}

// ---- TPreviewModel ----------------------------------------------------------------------------------

TPreviewModel::TPreviewModel(THTMLViewer64& Viewer, IPreviewHost& Host) : Viewer_(Viewer), Host_(Host) {
  Viewer.OnMarkSpans = [this](TFileViewer64*) { MarkHits(); };
  Viewer.OnGetAttrColors = [this](TFileViewer64* Sender, TAttrColors& Colors) {
    GetAttrColors(Sender, Colors);
  };
  Viewer.SetAutodetectLinks(true);
  Viewer.SetTrackLineWidths(true);
}

TPreviewModel::~TPreviewModel() {
  Viewer_.OnMarkSpans = nullptr;
  THTMLViewer64* V = &Viewer_;
  Viewer_.OnGetAttrColors = [V](TFileViewer64* Sender, TAttrColors& Colors) {
    V->GetAttrColors(Sender, Colors);
  };
}

void TPreviewModel::Reset() {
  CurrentHit_ = -1;
  HitStarts_.Clear();
  HitLengths_.Clear();
  Viewer_.Open(nullptr, u"");
  TempFile_.Delete();
}

bool TPreviewModel::LoadFile(const TFoundFileInfo& Info, const TPreviewSearchSettings& NewSettings,
                             const std::u16string& NewPattern, bool Convert) {
  Reset();
  const TViewOptions& O = ViewSettings();
  Viewer_.SetWordWrap(O.WrapText);
  Viewer_.SetEOLMark(O.ShowEOL ? kPreviewEOLMark : 0);
  Viewer_.SetShowTabs(O.ShowTabs);
  Encoding_ = Info.Encoding;
  const bool WantConvert = Convert || Info.Converter != nullptr;

  std::string Shown = Utf16ToUtf8(Info.Name);
  TOwnedTempFile Extracted;
  if (Info.InArchive) {
    std::string Temp;
    MakeTempFileNameOrRaise(kPreviewTempPrefix, Temp, Info.Size);
    Extracted = TOwnedTempFile(Temp);
    // The item by its path in parts when the hit has them: a "|" in an item's name is no separator there.
    const TArchiveItemPath Parts = Info.ItemPath.size() >= 2 ? Info.ItemPath : SplitArchiveItemPath(Shown);
    const std::string ArcName =
        Parts.size() >= 2 ? JoinArchiveItemPath(Parts, Parts.size() - 1) : Shown.substr(0, Shown.rfind('|'));
    TDateTime Date = 0;
    int32_t Size = 0;
    const TArcPasswordEvent Password = [&](const std::string&, const std::string& Item, std::string& Word) {
      return Host_.ExtractPassword(ArcName, Item, Word);
    };
    if (Parts.size() >= 2)
      ExtractArchivePathToFile(Parts, Temp, false, &Date, &Size, Password);
    else
      ExtractArchivePathToFile(Shown, Temp, false, &Date, &Size, Password);
    if (Size != Info.Size || Date != Info.Date)
      Host_.ShowWarning(FormatMsgW(TMsgIndex::FileChanged_s, {Info.Name}));
    Shown = Temp;
  }

  std::unique_ptr<TVStream> Stream;
  TQVConverter* Used = nullptr;
  if (WantConvert && (Info.Converter != nullptr || Host_.GetConverters() != nullptr)) {
    std::string ErrorText;
    Stream = ConvertToTempFile(Shown, Info.Converter, Encoding_ == seUnicode, LowerExtension(Info.Name),
                               Info.Name, Used, ErrorText);
    if (!Stream) {
      if (Info.Converter != nullptr || Cancelled_) ShowConvertError(ErrorText, Info.Name);
      if (Cancelled_) {
        Reset();
        return false;
      }
    } else {
      ConvertAvailable_ = false;
    }
  }
  if (!Stream) {
    // The window shows the extracted item itself, and owns its file from now on.
    if (!Extracted.Empty()) TempFile_ = std::move(Extracted);
    Stream = std::make_unique<TVBufFileStream>(Shown, fmOpenRead | fmShareDenyWrite);
  }
  Settings_ = NewSettings;
  Pattern_ = NewPattern;
  ScanHits(std::move(Stream), Info.Name, Used);
  Caption_ = Info.Name;
  return true;
}

std::unique_ptr<TVStream> TPreviewModel::ConvertToTempFile(const std::string& FileName, TQVConverter* Named,
                                                           bool Unicode, const std::string& Extension,
                                                           const std::u16string& ShownName,
                                                           TQVConverter*& Used, std::string& ErrorText) {
  Cancelled_ = false;
  Used = nullptr;
  TQVConverters* List = Host_.GetConverters();
  const std::u16string SavedStatus = Host_.GetStatusText();
  TConvertProgressEvent SavedProgress = List ? List->OnProgress : TConvertProgressEvent();
  // Status text and progress handler come back on every path.
  struct TRestore {
    IPreviewHost& Host;
    TQVConverters* List;
    const std::u16string& Status;
    TConvertProgressEvent& Progress;
    ~TRestore() {
      if (List) List->OnProgress = Progress;
      Host.SetStatusText(Status);
      Host.ConversionEnded();
    }
  } Restore{Host_, List, SavedStatus, SavedProgress};
  Host_.ConversionStarted();

  TConvertProgressEvent Progress = [this](TQVConverter*, int32_t, int32_t) {
    if (Host_.EscapePressed()) Cancelled_ = true;
    return !Cancelled_;
  };
  Host_.SetStatusText(WideFormat(GetMsgW(TMsgIndex::Converting_s), {BaseName(ShownName)}) + u" " +
                      GetMsgW(TMsgIndex::EscapeCancel));
  TResultBlock Block;
  int32_t Size = 0;
  bool IsUnicode = Unicode;
  if (Named) {
    Used = Named;
    Block = Named->ConvertFile(FileName, Unicode, Progress, ErrorText, Size);
  } else if (List) {
    List->OnProgress = Progress;
    Block = List->ConvertFile(FileName, kUnicodeModeNative, Extension, ErrorText, Used, Size, IsUnicode);
  }
  if (!Block || Cancelled_) return nullptr;
  // The text decides the mode it is shown in: 8-bit text is never read as UTF-16.
  if (IsUnicode) {
    Encoding_ = seUnicode;
  } else if (Encoding_ == seUnicode || Encoding_ == seFileName) {
    Encoding_ = seAnsi;
  }
  std::string Temp;
  MakeTempFileNameOrRaise(kPreviewTempPrefix, Temp, Size);
  TOwnedTempFile Text(Temp);
  auto S = std::make_unique<TVBufFileStream>(Utf8ToUtf16(Temp), kConvertedTextBuffer, fmCreate);
  S->Write(Block.get(), std::max(Size, 0));
  S->FlushWriteBuffer();
  S->Seek(0);
  TempFile_ = std::move(Text);
  return S;
}

void TPreviewModel::ShowConvertError(const std::string& ErrorText, const std::u16string& Name) {
  if (!ErrorText.empty()) {
    Host_.ShowError(Utf8ToUtf16(ErrorText));
  } else {
    Host_.ShowError(FormatMsgW(TMsgIndex::FileConvError_s, {Name}));
  }
}

bool TPreviewModel::ConvertShownFile() {
  if (!ConvertAvailable_) return false;
  auto* Window = dynamic_cast<TVLimitedStream*>(Viewer_.GetSourceStream());
  auto* File = Window ? dynamic_cast<TVFileStream*>(Window->Stream) : nullptr;
  if (!File) return false;
  ConvertAvailable_ = false;
  // The viewer's file re-opens itself at its next read.
  File->Close();
  std::string ErrorText;
  TQVConverter* Used = nullptr;
  const std::u16string Name = Viewer_.GetName();
  auto Text =
      ConvertToTempFile(File->GetFileName(), nullptr, false, LowerExtension(Caption_), Name, Used, ErrorText);
  if (!Text) {
    ShowConvertError(ErrorText, Name);
    return false;
  }
  ScanHits(std::move(Text), Name, Used);
  return true;
}

void TPreviewModel::ScanHits(std::unique_ptr<TVStream> Stream, const std::u16string& Name,
                             TQVConverter* Converter) {
  HitStarts_.Clear();
  HitLengths_.Clear();
  // No content hit tells the text's encoding (a name hit, or a search without a pattern): a UTF-16
  // byte-order mark at the start does.
  if (Encoding_ == seFileName && StartsWithUtf16Bom(*Stream)) Encoding_ = seUnicode;
  if (!Pattern_.empty()) {
    const TScanEncoding E = Encoding_ == seFileName ? seAnsi : Encoding_;
    TStreamScanner Scanner;
    Scanner.Stream = Stream.get();
    Scanner.SetLogic(Settings_.Logic);
    Scanner.Fuzzy = Settings_.Fuzzy;
    Scanner.WholeWords = Settings_.WholeWords;
    Scanner.SetCaseSensitive(Settings_.CaseSensitive);
    Scanner.SetPattern(Pattern_);
    TScanEncoding Found = E;
    Scanner.FindAll(ScanEncodingBit(E), Found, HitStarts_, HitLengths_);
    if (Settings_.Fuzzy == 1) RefineFuzzyHits(*Stream, E);
  }
  Viewer_.SetCharsetMode(CharsetModeOfEncoding(Encoding_));
  CurrentHit_ = -1;
  Viewer_.Open(std::move(Stream), Name);

  // The viewer hides a byte-order mark: hit positions move with its window.
  auto* Window = dynamic_cast<TVLimitedStream*>(Viewer_.GetSourceStream());
  if (Window && Window->Offset > 0 && HitCount() > 0) {
    TInt32Vector Starts;
    TInt32Vector Lengths;
    for (int32_t I = 0; I < HitCount(); ++I) {
      const int32_t P = HitStarts_.Get(I) - Window->Offset;
      if (P < 0) continue;
      Starts.Add(P);
      Lengths.Add(HitLengths_.Get(I));
    }
    HitStarts_.Clear();
    HitLengths_.Clear();
    for (int32_t I = 0; I < Starts.GetCount(); ++I) {
      HitStarts_.Add(Starts.Get(I));
      HitLengths_.Add(Lengths.Get(I));
    }
  }

  if (Viewer_.GetCharsetMode() == cmUnicode) {
    CharsetName_ = u"Unicode";
  } else {
    char Buf[64] = {};
    CharsetName_ = qvnls::GetHTMLCharsetNameBuf(Viewer_.LineSource().GetSourceCharset(), Buf, sizeof Buf)
                       ? Utf8ToUtf16(Buf)
                       : std::u16string();
  }
  ConverterName_ = Converter ? Utf8ToUtf16(BaseName(Converter->GetFileName())) : std::u16string();
  if (HitCount() > 0) ShowHit(0);
  NavigationChanged();
  if (OnStatusChanged) OnStatusChanged();
}

void TPreviewModel::RefineFuzzyHits(TVStream& Stream, TScanEncoding E) {
  const bool Wide = E == seUnicode;
  const int32_t C = Wide ? 2 : 1;
  const uint8_t Charset = E == seOem ? qvnls::GetOemCharset() : qvnls::GetAnsiCharset();
  auto Fold = [this](std::u16string Text) { return Settings_.CaseSensitive ? Text : WideUpperStr(Text); };
  std::vector<std::u16string> Words;
  if (Settings_.Logic == slEntirePhrase) {
    Words.push_back(Fold(Pattern_));
  } else {
    size_t From = 0;
    while (From <= Pattern_.size()) {
      size_t To = Pattern_.find(u' ', From);
      if (To == std::u16string::npos) To = Pattern_.size();
      if (To > From) Words.push_back(Fold(Pattern_.substr(From, To - From)));
      From = To + 1;
    }
  }
  // A hit may begin at most two characters (the most errors a word allows) before its reported start.
  constexpr int32_t kLookBack = 2;
  int32_t PreviousEnd = 0;
  for (int32_t I = 0; I < HitCount(); ++I) {
    const int32_t Pos = HitStarts_.Get(I);
    const int32_t Length = HitLengths_.Get(I);
    const int32_t From = std::max(PreviousEnd, Pos - kLookBack * C);
    std::string Bytes(static_cast<size_t>(Pos + Length * C - From), '\0');
    Stream.Seek(From);
    Bytes.resize(
        static_cast<size_t>(std::max(0, Stream.Read(Bytes.data(), static_cast<int32_t>(Bytes.size())))));
    std::u16string Text;
    if (Wide) {
      for (size_t B = 0; B + 1 < Bytes.size(); B += 2)
        Text.push_back(
            static_cast<char16_t>(static_cast<uint8_t>(Bytes[B]) | static_cast<uint8_t>(Bytes[B + 1]) << 8));
    } else {
      for (char Ch : Bytes) Text.push_back(qvnls::CharToWideChar(static_cast<uint8_t>(Ch), Charset));
    }
    const int32_t HitStart = (Pos - From) / C;
    const TFuzzySpan Span = RefineFuzzySpan(Fold(Text), HitStart, HitStart + Length, Words, 0);
    HitStarts_.Put(I, From + Span.Start * C);
    HitLengths_.Put(I, Span.Length);
    PreviousEnd = From + (Span.Start + Span.Length) * C;
  }
  Stream.Seek(0);
}

void TPreviewModel::NavigationChanged() {
  if (OnNavigationChanged) OnNavigationChanged();
}

void TPreviewModel::ShowHit(int32_t N) {
  if (HitCount() == 0) return;
  CurrentHit_ = std::clamp(N, 0, HitCount() - 1);
  Viewer_.GotoPosition(HitStarts_.Get(CurrentHit_));
  Viewer_.Redraw();
  NavigationChanged();
}

void TPreviewModel::MarkHits() {
  Viewer_.MarkSpans(HitStarts_, HitLengths_, vaHit);
  if (CurrentHit_ >= 0 && CurrentHit_ < HitCount()) {
    Viewer_.MarkSpan(HitStarts_.Get(CurrentHit_), HitLengths_.Get(CurrentHit_), vaCurrentHit);
  }
}

void TPreviewModel::GetAttrColors(TFileViewer64* Sender, TAttrColors& Colors) {
  const uint8_t Attr = Colors.Attr;
  if (Attr != vaHit && Attr != vaCurrentHit) {
    Viewer_.GetAttrColors(Sender, Colors);
    return;
  }
  const TViewOptions& O = ViewSettings();
  if (Colors.Selected) {
    Colors.Underline = true;
  } else {
    Colors.Underline = false;
    Colors.Opaque = true;
    if (Attr == vaHit) {
      Colors.BkColor = ColorToRGB(O.HitBack);
      Colors.TextColor = ColorToRGB(O.HitText);
    } else {
      Colors.BkColor = ColorToRGB(O.CurrentHitBack);
    }
  }
  if (Attr == vaCurrentHit) Colors.TextColor = ColorToRGB(O.CurrentHitText);
}

void TPreviewModel::ViewerKey(TPreviewKey Key) {
  switch (Key) {
    case TPreviewKey::Tab:
      NextHit();
      break;
    case TPreviewKey::ShiftTab:
      PriorHit();
      break;
    case TPreviewKey::Space:
      Viewer_.PageDown();
      break;
    case TPreviewKey::ShiftSpace:
      Viewer_.PageUp();
      break;
  }
}

int32_t TPreviewModel::Find(const std::u16string& Text, bool MatchCase, bool WholeWord) {
  const int32_t R = Viewer_.Find(Text, MatchCase, WholeWord);
  if (R != 0) Host_.ShowWarning(FormatMsgW(TMsgIndex::SrchStrNotFound_s, {Text}));
  return R;
}

void TPreviewModel::LinkClick(const std::u16string& URL, int32_t LinkIndex) {
  std::u16string Complete = URL;
  if (CompleteURL(Complete, LinkIndex < 0)) Host_.OpenURL(Complete);
}

std::u16string TPreviewModel::StatusText() {
  if (Viewer_.HasHotLink()) return Viewer_.GetHotLinkURL();
  std::u16string S = CharsetName_;
  if (!ConverterName_.empty()) S += u" (" + FormatMsgW(TMsgIndex::ConvertedBy_s, {ConverterName_}) + u")";
  return S;
}

bool TPreviewModel::ShowsFile(const TFoundFileInfo& Info, bool Changed, int64_t Size, TDateTime Date) {
  if (Viewer_.GetName() != Info.Name) return false;
  return !Changed || (FileSize_ == Size && FileDate_ == Date);
}
