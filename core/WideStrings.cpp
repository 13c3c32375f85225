#include "core/WideStrings.h"

#include <algorithm>
#include <cstring>

#include "core/StrUtils.h"
#include "core/VFileStream.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "platform/qvnls/WinNls.h"

namespace {

constexpr char16_t kLineSeparator = 0x2028;
constexpr char16_t kParagraphSeparator = 0x2029;
// The widest form of one UTF-16 unit in any multi-byte charset of the layer (UTF-7).
constexpr int32_t kMaxBytesPerChar = 5;

bool EndsLine(char16_t C) {
  return C == 0 || C == u'\n' || C == 0x0B || C == 0x0C || C == u'\r' || C == kLineSeparator ||
         C == kParagraphSeparator;
}

uint8_t CodePageCharset(int32_t CodePage) { return qvnls::WindowsCodePageToHTMLCharset(CodePage); }

int32_t SystemAnsiCodePage() { return LocaleAnsiCodePage(qvnls::kLocaleSystemDefault); }

// Keeps BeginUpdate and EndUpdate paired on every path.
class TUpdateScope {
 public:
  explicit TUpdateScope(TWideStrings& List) : List_(List) { List.BeginUpdate(); }
  ~TUpdateScope() { List_.EndUpdate(); }

 private:
  TWideStrings& List_;
};

}  // namespace

int32_t LocaleAnsiCodePage(uint32_t LCID) {
  const int32_t CodePage = qvnls::GetWindowsCodePage(LCID);
  return CodePage >= 0 ? CodePage : qvnls::GetWindowsCodePage(qvnls::kLocaleSystemDefault);
}

std::u16string AnsiToWideCP(const std::string& S, int32_t CodePage) {
  if (S.empty()) return {};
  std::u16string W(S.size(), u'\0');
  const int32_t Bytes = static_cast<int32_t>(S.size());
  const int32_t Written = qvnls::BufToWide(S.data(), Bytes, W.data(), 2 * Bytes, CodePageCharset(CodePage));
  W.resize(Written < 0 ? 0 : static_cast<size_t>(Written) / 2);
  return W;
}

std::string WideToAnsiCP(const std::u16string& S, int32_t CodePage) {
  if (S.empty()) return {};
  const uint8_t Charset = CodePageCharset(CodePage);
  const int32_t Chars = static_cast<int32_t>(S.size());
  const int32_t Room = Chars * (qvnls::IsSingleByteCharset(Charset) ? 1 : kMaxBytesPerChar);
  std::string Result(static_cast<size_t>(Room), '\0');
  const int32_t Written =
      qvnls::ConvertBufsDef(S.data(), 2 * Chars, Result.data(), Room, qvnls::kCharsetUtf16LE, Charset, '?');
  Result.resize(Written < 0 ? 0 : static_cast<size_t>(Written));
  return Result;
}

std::string ConvertCodePage(const std::string& S, int32_t FromCP, int32_t ToCP) {
  return WideToAnsiCP(AnsiToWideCP(S, FromCP), ToCP);
}

int WideCompareTextWideApi(const std::u16string& S1, const std::u16string& S2, uint32_t LCID) {
  return CompareStringW(LCID, NORM_IGNORECASE, S1.data(), static_cast<int32_t>(S1.size()), S2.data(),
                        static_cast<int32_t>(S2.size())) -
         CSTR_EQUAL;
}

TWideStringsCompareFunc WideStringsCompareFunc = WideCompareTextWideApi;

// ---------------------------------------------------------------------------------------------------------
// TWideStrings

TWideStrings::TWideStrings() : Locale_(qvnls::kLocaleUserDefault) {}

void TWideStrings::QuerySave(bool& Proceed) {
  if (OnQuerySave) OnQuerySave(*this, Proceed);
}

void* TWideStrings::GetObject(int32_t) const { return nullptr; }

std::u16string TWideStrings::GetTextStr() const {
  return GetDelimitedText(std::u16string(1, kLineSeparator));
}

int32_t TWideStrings::Add(const std::u16string& S) {
  const int32_t Index = GetCount();
  Insert(Index, S);
  return Index;
}

int32_t TWideStrings::AddObject(const std::u16string& S, void* Obj) {
  const int32_t Index = Add(S);
  PutObject(Index, Obj);
  return Index;
}

void TWideStrings::InsertObject(int32_t Index, const std::u16string& S, void* Obj) {
  Insert(Index, S);
  PutObject(Index, Obj);
}

void TWideStrings::AddStrings(const TStringList& Strings) {
  TUpdateScope Update(*this);
  const int32_t CodePage = LocaleAnsiCodePage(Locale_);
  for (int32_t I = 0; I < Strings.GetCount(); ++I)
    AddObject(AnsiToWideCP(Strings.Get(I), CodePage), Strings.GetObject(I));
}

void TWideStrings::AddWideStrings(const TWideStrings& Strings) {
  TUpdateScope Update(*this);
  const int32_t N = Strings.GetCount();  // the source may be this list
  for (int32_t I = 0; I < N; ++I) AddObject(Strings.Get(I), Strings.GetObject(I));
}

void TWideStrings::Assign(const TWideStrings& Source) {
  if (&Source == this) return;
  TUpdateScope Update(*this);
  Clear();
  AddWideStrings(Source);
}

void TWideStrings::Assign(const TStringList& Source) {
  TUpdateScope Update(*this);
  Clear();
  AddStrings(Source);
}

void TWideStrings::AssignTo(TStringList& Dest) const {
  Dest.Clear();
  const int32_t CodePage = LocaleAnsiCodePage(Locale_);
  for (int32_t I = 0; I < GetCount(); ++I) Dest.AddObject(WideToAnsiCP(Get(I), CodePage), GetObject(I));
}

void TWideStrings::AssignTo(TWideStrings& Dest) const { Dest.Assign(*this); }

void TWideStrings::BeginUpdate() {
  if (UpdateCount_ == 0) SetUpdateState(true);
  ++UpdateCount_;
}

void TWideStrings::EndUpdate() {
  --UpdateCount_;
  if (UpdateCount_ == 0) SetUpdateState(false);
}

void TWideStrings::Exchange(int32_t Index1, int32_t Index2) {
  TUpdateScope Update(*this);
  const std::u16string S = Get(Index1);
  void* Obj = GetObject(Index1);
  Put(Index1, Get(Index2));
  PutObject(Index1, GetObject(Index2));
  Put(Index2, S);
  PutObject(Index2, Obj);
}

void TWideStrings::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex == NewIndex) return;
  TUpdateScope Update(*this);
  const std::u16string S = Get(CurIndex);
  void* Obj = GetObject(CurIndex);
  Delete(CurIndex);
  InsertObject(NewIndex, S, Obj);
}

int32_t TWideStrings::IndexOf(const std::u16string& S) const {
  for (int32_t I = 0; I < GetCount(); ++I) {
    if (WideStringsCompareFunc(Get(I), S, Locale_) == 0) return I;
  }
  return -1;
}

bool TWideStrings::Equals(const TWideStrings& Strings) const {
  if (Strings.GetCount() != GetCount()) return false;
  for (int32_t I = 0; I < GetCount(); ++I) {
    if (Get(I) != Strings.Get(I)) return false;
  }
  return true;
}

std::u16string TWideStrings::GetDelimitedText(const std::u16string& Separator) const {
  const int32_t N = GetCount();
  std::vector<std::u16string> Strings;
  Strings.reserve(static_cast<size_t>(N));
  size_t Length = 0;
  for (int32_t I = 0; I < N; ++I) {
    Strings.push_back(Get(I));
    Length += Strings.back().size() + Separator.size();
  }
  std::u16string Text;
  Text.reserve(Length);
  for (int32_t I = 0; I < N; ++I) {
    if (I > 0) Text += Separator;
    Text += Strings[static_cast<size_t>(I)];
  }
  return Text;
}

void TWideStrings::SetTextStr(const std::u16string& Text) {
  TUpdateScope Update(*this);
  Clear();
  const size_t N = Text.size();
  size_t I = 0;
  while (I < N && Text[I] != 0) {
    const size_t Start = I;
    while (I < N && !EndsLine(Text[I])) ++I;
    Add(Text.substr(Start, I - Start));
    if (I < N && Text[I] != 0) {
      const char16_t Break = Text[I++];
      if (Break == u'\r' && I < N && Text[I] == u'\n') ++I;
    }
  }
}

std::u16string TWideStrings::GetCommaText() const {
  std::u16string Text;
  for (int32_t I = 0; I < GetCount(); ++I) {
    if (I > 0) Text += u',';
    const std::u16string S = Get(I);
    Text += S.find(u',') != std::u16string::npos ? WideDoubleQuoteStr(S) : WideDoubleQuoteIfNeeded(S);
  }
  return Text;
}

void TWideStrings::SetCommaText(const std::u16string& Text) {
  TUpdateScope Update(*this);
  Clear();
  std::u16string Piece;
  bool Quoted = false;
  for (char16_t C : Text) {
    if (C == u',' && !Quoted) {
      Add(WideUnquoteStr(Piece));
      Piece.clear();
      continue;
    }
    if (C == u'"') Quoted = !Quoted;
    Piece += C;
  }
  if (!Text.empty()) Add(WideUnquoteStr(Piece));
}

void TWideStrings::Error(const std::string& Msg, int32_t Data) const {
  throw EStringListError(FormatIfPercent(Msg, {Data}));
}

void TWideStrings::LoadFromStream(TVStream& Stream) {
  TUpdateScope Update(*this);
  const int32_t Left = std::max(0, Stream.GetSize() - Stream.GetPosition());
  std::string Bytes(static_cast<size_t>(Left), '\0');
  Bytes.resize(static_cast<size_t>(std::max(0, Stream.Read(Bytes.data(), Left))));

  const bool LittleEndian = Bytes.size() >= 2 && Bytes[0] == '\xFF' && Bytes[1] == '\xFE';
  const bool BigEndian = Bytes.size() >= 2 && Bytes[0] == '\xFE' && Bytes[1] == '\xFF';
  Unicode = LittleEndian || BigEndian;
  std::u16string Text;
  if (Unicode) {
    // An odd last byte is no character.
    Text.resize((Bytes.size() - 2) / 2);
    for (size_t I = 0; I < Text.size(); ++I) {
      const auto Lo = static_cast<uint8_t>(Bytes[2 + 2 * I + (BigEndian ? 1 : 0)]);
      const auto Hi = static_cast<uint8_t>(Bytes[2 + 2 * I + (BigEndian ? 0 : 1)]);
      Text[I] = static_cast<char16_t>(Lo | Hi << 8);
    }
  } else {
    Text = AnsiToWideCP(Bytes, SystemAnsiCodePage());
  }
  SetTextStr(Text);
}

void TWideStrings::SaveToStream(TVStream& Stream) {
  Saved = false;
  if (Unicode) {
    const std::u16string Text = GetTextStr();
    Stream.Write("\xFF\xFE", 2);
    Stream.WriteWideText(Text);
  } else {
    // Lines end with CR LF here: U+2028 has no place in any 8-bit code page, and the text must load
    // back as the same lines.
    const std::u16string Text = GetDelimitedText(u"\r\n");
    if (OnQuerySave && std::any_of(Text.begin(), Text.end(), [](char16_t C) { return C >= 256; })) {
      bool Proceed = true;
      QuerySave(Proceed);
      if (!Proceed) return;
    }
    Stream.WriteText(WideToAnsiCP(Text, LocaleAnsiCodePage(Locale_)));
  }
  Saved = true;
}

void TWideStrings::LoadFromFile(const std::u16string& FileName) {
  try {
    TVFileStream File(FileName, fmOpenRead);
    LoadFromStream(File);
  } catch (const EVFileStream& E) {
    throw EWin32Error(E.ErrorCode, E.Message());
  }
}

void TWideStrings::SaveToFile(const std::u16string& FileName) {
  TVMemStream Bytes;
  SaveToStream(Bytes);
  if (!Saved) return;
  TVFileStream File(FileName, fmCreate);
  File.Write(Bytes.GetMemory(), Bytes.GetSize());
}

// ---------------------------------------------------------------------------------------------------------
// TWideStringList

void TWideStringList::CheckIndex(int32_t Index, int32_t Limit) const {
  if (Index < 0 || Index >= Limit) Error("List index out of bounds (%d)", Index);
}

std::u16string TWideStringList::Get(int32_t Index) const {
  CheckIndex(Index, GetCount());
  return Items_[static_cast<size_t>(Index)].first;
}

void TWideStringList::Put(int32_t Index, const std::u16string& S) {
  CheckIndex(Index, GetCount());
  Items_[static_cast<size_t>(Index)].first = S;
}

void* TWideStringList::GetObject(int32_t Index) const {
  CheckIndex(Index, GetCount());
  return Items_[static_cast<size_t>(Index)].second;
}

void TWideStringList::PutObject(int32_t Index, void* Obj) {
  CheckIndex(Index, GetCount());
  Items_[static_cast<size_t>(Index)].second = Obj;
}

void TWideStringList::Delete(int32_t Index) {
  CheckIndex(Index, GetCount());
  Items_.erase(Items_.begin() + Index);
}

void TWideStringList::Insert(int32_t Index, const std::u16string& S) {
  CheckIndex(Index, GetCount() + 1);
  Items_.insert(Items_.begin() + Index, {S, nullptr});
}

void TWideStringList::SetCapacity(int32_t N) {
  if (N > GetCount()) Items_.reserve(static_cast<size_t>(N));
}
