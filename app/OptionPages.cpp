#include "app/OptionPages.h"

#include <algorithm>

#include "app/MsgStr.h"
#include "app/MultiLan.h"
#include "app/Options.h"
#include "archive/ArcScan.h"
#include "core/FileLayer.h"
#include "core/NumVector.h"
#include "core/StrLst.h"
#include "core/StrUtils.h"
#include "search/QVConvIntf.h"

int32_t ParseSizeMb(const std::u16string& Text, int32_t Default, int32_t Min, int32_t Max) {
  const std::u16string T = WideTrim(Text);
  if (T.empty()) return Default;
  size_t I = 0;
  bool Negative = false;
  if (T[0] == u'-' || T[0] == u'+') {
    Negative = T[0] == u'-';
    I = 1;
  }
  if (I == T.size()) return Default;
  int64_t Value = 0;
  for (; I < T.size(); ++I) {
    if (T[I] < u'0' || T[I] > u'9') return Default;
    // Past Max the exact value no longer matters: stop growing before it could overflow.
    Value = std::min<int64_t>(Value * 10 + (T[I] - u'0'), int64_t{1} << 40);
  }
  if (Negative) Value = -Value;
  return static_cast<int32_t>(std::clamp<int64_t>(Value, Min, Max));
}

int32_t ClampMaxSizeMb(int32_t Value) { return std::clamp(Value, 1, kMaxArchiveSizeMb); }

static std::u16string DecimalText(int32_t Value) { return Utf8ToUtf16(std::to_string(Value)); }

std::vector<std::u16string> ArchiveListCaptions(const TMultiLang* Languages) {
  std::vector<std::u16string> Captions;
  for (int Kind = kFirstDecodedKind; Kind <= kLastDecodedKind; ++Kind) {
    std::u16string Caption;
    // The catalogue's lookup falls back to English; only a translation replaces the kind's own name.
    if (!(Kind == akExe && Languages != nullptr &&
          Languages->GetString(MsgKey(TMsgIndex::SelfExtractedEXE), Caption) && !Caption.empty()))
      Caption = Utf8ToUtf16(ArcInfos[Kind].Name);
    Captions.push_back(Caption);
  }
  return Captions;
}

void TArchiveOptionsPage::LoadPage(const TMultiLang* Languages, int32_t PasswordAskMode,
                                   TArchivePageValues& V) {
  V.Captions = ArchiveListCaptions(Languages);
  V.Checked.clear();
  for (int Kind = kFirstDecodedKind; Kind <= kLastDecodedKind; ++Kind)
    V.Checked.push_back(ArcInfos[Kind].Enabled);
  V.ProcessSubArchives = Settings_.ArchiveFlags.ProcessSubarchives;
  V.SkipEncrypted = PasswordAskMode == 1                           ? csGrayed
                    : Settings_.ArchiveFlags.SkipProtectedArchives ? csChecked
                                                                   : csUnchecked;
  ShownSkipState_ = V.SkipEncrypted;
  V.MaxSize = DecimalText(ClampMaxSizeMb(Settings_.MaxArchiveSize / kBytesPerMb));
}

void TArchiveOptionsPage::SavePage(const TArchivePageValues& V, int32_t& PasswordAskMode) const {
  for (int Kind = kFirstDecodedKind; Kind <= kLastDecodedKind; ++Kind) {
    const size_t Row = static_cast<size_t>(Kind - kFirstDecodedKind);
    if (Row < V.Checked.size()) ArcInfos[Kind].Enabled = V.Checked[Row];
  }
  Settings_.ArchiveFlags.ProcessSubarchives = V.ProcessSubArchives;
  if (V.SkipEncrypted != ShownSkipState_) {
    Settings_.ArchiveFlags.SkipProtectedArchives = V.SkipEncrypted == csChecked;
    PasswordAskMode = 0;
  }
  Settings_.MaxArchiveSize = GetMaxSizeMb(V.MaxSize) * kBytesPerMb;
}

void TArchiveOptionsPage::CheckAll(TArchivePageValues& V, bool Checked) {
  std::fill(V.Checked.begin(), V.Checked.end(), Checked);
}

int32_t TArchiveOptionsPage::GetMaxSizeMb(const std::u16string& Text) {
  return ParseSizeMb(Text, kDefaultArchiveSizeMb, 1, kMaxArchiveSizeMb);
}

TCheckState TArchiveOptionsPage::ClickSkipBox(TCheckState State) {
  return State == csChecked ? csUnchecked : csChecked;
}

int32_t AddExcludedDir(TWideStrLst& Dirs, const std::u16string& Folder) {
  std::u16string Dir = Folder;
  if (Dir.empty() || Dir.back() != u'/') Dir += u'/';
  // Folder names have case on this system: compare exactly, keep the list in code-unit order.
  int32_t I = 0;
  while (I < Dirs.GetCount() && Dirs.Get(I) < Dir) ++I;
  if (I < Dirs.GetCount() && Dirs.Get(I) == Dir) return I;
  Dirs.Insert(I, Dir);
  return I;
}

void DeleteExcludedDirs(TWideStrLst& Dirs, std::vector<int32_t> Indexes) {
  std::sort(Indexes.begin(), Indexes.end());
  Indexes.erase(std::unique(Indexes.begin(), Indexes.end()), Indexes.end());
  for (auto It = Indexes.rbegin(); It != Indexes.rend(); ++It)
    if (*It >= 0 && *It < Dirs.GetCount()) Dirs.Delete(*It);
}

std::vector<int32_t> TToolbarButtonList::Visible() const {
  std::vector<int32_t> V;
  for (int32_t I = 0; I < Buttons_.GetCount(); ++I) V.push_back(Buttons_.Get(I));
  return V;
}

std::vector<int32_t> TToolbarButtonList::Available() const {
  std::vector<int32_t> A;
  const std::vector<int32_t> V = Visible();
  for (int32_t Action = 0; Action <= kLastToolbarAction; ++Action)
    if (std::find(V.begin(), V.end(), Action) == V.end()) A.push_back(Action);
  return A;
}

int32_t TToolbarButtonList::Add(const std::vector<int32_t>& Actions, int32_t Index) {
  if (Index < 0 || Index > Buttons_.GetCount()) Index = Buttons_.GetCount();
  int32_t First = -1;
  for (int32_t Action : Actions) {
    const std::vector<int32_t> V = Visible();
    if (Action < 0 || Action > kLastToolbarAction || std::find(V.begin(), V.end(), Action) != V.end())
      continue;
    Buttons_.Insert(Index, static_cast<int8_t>(Action));
    if (First < 0) First = Index;
    ++Index;
  }
  return First;
}

void TToolbarButtonList::Remove(const std::vector<int32_t>& Actions) {
  for (int32_t Action : Actions)
    for (int32_t I = Buttons_.GetCount() - 1; I >= 0; --I)
      if (Buttons_.Get(I) == Action) Buttons_.Delete(I);
}

bool TToolbarButtonList::CanMoveUp(const std::vector<int32_t>& Rows) const {
  return Rows.size() == 1 && Rows[0] > 0 && Rows[0] < Buttons_.GetCount();
}

bool TToolbarButtonList::CanMoveDown(const std::vector<int32_t>& Rows) const {
  return Rows.size() == 1 && Rows[0] >= 0 && Rows[0] < Buttons_.GetCount() - 1;
}

int32_t TToolbarButtonList::MoveUp(int32_t Row) {
  if (!CanMoveUp({Row})) return Row;
  return MoveOnto(Row, Row - 1);
}

int32_t TToolbarButtonList::MoveDown(int32_t Row) {
  if (!CanMoveDown({Row})) return Row;
  return MoveOnto(Row, Row + 1);
}

int32_t TToolbarButtonList::MoveOnto(int32_t From, int32_t To) {
  const int32_t N = Buttons_.GetCount();
  if (From < 0 || From >= N || To < 0 || To >= N || From == To) return From;
  // The moved button ends where the target stood: remove it, then insert at the target's old index.
  const int8_t Action = Buttons_.Get(From);
  Buttons_.Delete(From);
  Buttons_.Insert(To, Action);
  return To;
}

void TToolbarButtonList::Defaults() {
  Buttons_.SetCount(0);
  for (int32_t Action = 0; Action <= kLastToolbarAction; ++Action) Buttons_.Add(static_cast<int8_t>(Action));
}

void TConverterFilters::Load(const TQVConverters& Converters) {
  Disabled_.SetCount(0);
  for (int32_t I = 0; I < Converters.Count(); ++I) Disabled_.Insert(I, Converters.GetConverter(I)->Disabled);
}

void TConverterFilters::Apply(TQVConverters& Converters, const std::u16string& MaxSizeText,
                              TSettings& Settings) const {
  Settings.MaxConvertSize =
      ParseSizeMb(MaxSizeText, kDefaultConvertSizeMb, 1, kMaxConvertSizeMb) * kBytesPerMb;
  TStrLst& DisabledConverters = Settings.DisabledConverters;
  DisabledConverters.Clear();
  for (int32_t I = 0; I < Converters.Count() && I < Disabled_.GetCount(); ++I) {
    TQVConverter* C = Converters.GetConverter(I);
    C->Disabled = Disabled_.Get(I);
    if (C->Disabled) DisabledConverters.Add(ConverterModuleName(C->GetFileName()));
  }
}

int32_t ConvertSizeMbOfSetting(int32_t MaxConvertSize) {
  return std::clamp(MaxConvertSize / kBytesPerMb, 1, kMaxConvertSizeMb);
}

std::string ConverterModuleName(const std::string& FileName) {
  const size_t Slash = FileName.rfind('/');
  return Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
}
