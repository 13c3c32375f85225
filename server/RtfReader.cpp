#include "server/RtfReader.h"

#include <map>
#include <vector>

#include "platform/qvnls/Qvnls.h"

namespace {

// Longest control word and number taken; the rest of a longer one is read as text.
constexpr size_t kMaxWordLength = 32;
constexpr size_t kMaxNumberDigits = 10;

enum class TDest : uint8_t { Text, Skip, FontTable };

struct TGroupState {
  TDest Dest = TDest::Text;
  int32_t Uc = 1;       // fallback characters that follow a \u
  uint8_t Charset = 0;  // qvnls charset of the text's 8-bit characters; 0: the document's default
};

// Destinations whose content is no text of the document.
bool IsSkippedDestination(std::string_view W) {
  static const char* const kSkipped[] = {
      "colortbl",
      "stylesheet",
      "info",
      "pict",
      "object",
      "objdata",
      "header",
      "headerl",
      "headerr",
      "headerf",
      "footer",
      "footerl",
      "footerr",
      "footerf",
      "fldinst",
      "themedata",
      "colorschememapping",
      "datastore",
      "latentstyles",
      "listtable",
      "listoverridetable",
      "rsidtbl",
      "generator",
      "xmlnstbl",
      "filetbl",
      "revtbl",
      "bkmkstart",
      "bkmkend",
      "nonshppict",
      "userprops",
      "template",
      "docvar",
      "xe",
      "tc",
      "private",
  };
  for (const char* S : kSkipped)
    if (W == S) return true;
  return false;
}

// A character that a control word stands for, 0 for none.
char16_t SymbolOf(std::string_view W) {
  struct TSym {
    const char* Word;
    char16_t Ch;
  };
  static const TSym kSymbols[] = {
      {"tab", u'\t'},        {"cell", u'\t'},    {"emdash", 0x2014}, {"endash", 0x2013},
      {"bullet", 0x2022},    {"lquote", 0x2018}, {"rquote", 0x2019}, {"ldblquote", 0x201C},
      {"rdblquote", 0x201D}, {"emspace", u' '},  {"enspace", u' '},  {"qmspace", u' '},
  };
  for (const TSym& S : kSymbols)
    if (W == S.Word) return S.Ch;
  return 0;
}

bool IsBreak(std::string_view W) {
  return W == "par" || W == "line" || W == "sect" || W == "page" || W == "row";
}

class TReader {
 public:
  TReader(std::string_view Rtf, std::u16string& Text, const std::function<bool()>& Progress)
      : In_(Rtf), Out_(Text), Progress_(Progress) {}

  bool Run() {
    State_.Charset = 0;
    while (Pos_ < In_.size()) {
      if (Progress_ && Pos_ >= NextPoll_) {
        NextPoll_ = Pos_ + kRtfPollBytes;
        if (!Progress_()) {
          Flush();
          return false;
        }
      }
      const char C = In_[Pos_++];
      switch (C) {
        case '{':
          OpenGroup();
          break;
        case '}':
          CloseGroup();
          break;
        case '\\':
          Control();
          break;
        case '\r':
        case '\n':
          break;  // line ends of the file are no text
        default:
          Byte(C == '\0' ? ' ' : C);
      }
    }
    Flush();
    return true;
  }

 private:
  void OpenGroup() {
    Flush();
    if (Stack_.size() >= static_cast<size_t>(kMaxRtfDepth)) {
      ++Overflow_;  // read as if flat
      return;
    }
    Stack_.push_back(State_);
    SkipFallback_ = 0;
    GroupStart_ = true;
  }

  void CloseGroup() {
    Flush();
    SkipFallback_ = 0;
    if (Overflow_ > 0) {
      --Overflow_;
      return;
    }
    if (Stack_.empty()) return;  // a stray "}"
    if (State_.Dest == TDest::FontTable && Stack_.back().Dest != TDest::FontTable) FontNumber_ = -1;
    State_ = Stack_.back();
    Stack_.pop_back();
  }

  // A text byte of the current code page.
  void Byte(char C) {
    GroupStart_ = false;
    if (SkipFallback_ > 0) {
      --SkipFallback_;
      return;
    }
    if (State_.Dest != TDest::Text) return;
    Pending_ += C;
  }

  void Emit(char16_t C) {
    if (State_.Dest != TDest::Text) return;
    Flush();
    Out_ += C;
  }

  void Emit(const char16_t* S) {
    if (State_.Dest != TDest::Text) return;
    Flush();
    Out_ += S;
  }

  // Decodes the 8-bit text gathered so far in its code page.
  void Flush() {
    if (Pending_.empty()) return;
    uint8_t Charset = State_.Charset != 0 ? State_.Charset : DefaultCharset_;
    if (Charset == 0) Charset = qvnls::GetAnsiCharset();
    std::u16string Wide(Pending_.size(), u'\0');
    int32_t N = qvnls::BufToWide(Pending_.data(), static_cast<int32_t>(Pending_.size()), Wide.data(),
                                 static_cast<int32_t>(Wide.size() * 2), Charset);
    if (N < 0)
      N = qvnls::BufToWide(Pending_.data(), static_cast<int32_t>(Pending_.size()), Wide.data(),
                           static_cast<int32_t>(Wide.size() * 2), qvnls::GetAnsiCharset());
    Wide.resize(N > 0 ? static_cast<size_t>(N) / 2 : 0);
    Out_ += Wide;
    Pending_.clear();
  }

  static int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
  }

  static bool IsLetter(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); }

  void Control() {
    if (Pos_ >= In_.size()) return;
    const char C = In_[Pos_];
    if (!IsLetter(C)) {
      ++Pos_;
      Symbol(C);
      return;
    }
    const size_t Start = Pos_;
    while (Pos_ < In_.size() && IsLetter(In_[Pos_]) && Pos_ - Start < kMaxWordLength) ++Pos_;
    const std::string_view ControlWord = In_.substr(Start, Pos_ - Start);
    bool HasNumber = false;
    int64_t Number = 0;
    bool Negative = false;
    if (Pos_ < In_.size() && In_[Pos_] == '-' && Pos_ + 1 < In_.size() && In_[Pos_ + 1] >= '0' &&
        In_[Pos_ + 1] <= '9') {
      Negative = true;
      ++Pos_;
    }
    for (size_t Digits = 0; Pos_ < In_.size() && In_[Pos_] >= '0' && In_[Pos_] <= '9'; ++Pos_, ++Digits) {
      HasNumber = true;
      if (Digits < kMaxNumberDigits) Number = Number * 10 + (In_[Pos_] - '0');
    }
    if (Negative) Number = -Number;
    if (Pos_ < In_.size() && In_[Pos_] == ' ') ++Pos_;  // the delimiter belongs to the word
    Word(ControlWord, HasNumber, Number);
  }

  void Symbol(char C) {
    const bool GroupStart = GroupStart_;
    GroupStart_ = false;
    switch (C) {
      case '\'': {
        const int Hi = Pos_ < In_.size() ? HexValue(In_[Pos_]) : -1;
        const int Lo = Pos_ + 1 < In_.size() ? HexValue(In_[Pos_ + 1]) : -1;
        if (Hi < 0 || Lo < 0) return;
        Pos_ += 2;
        Byte(static_cast<char>(Hi * 16 + Lo));
        return;
      }
      case '*':
        if (GroupStart) {
          Flush();
          State_.Dest = TDest::Skip;
        }
        return;
      case '\\':
      case '{':
      case '}':
        Byte(C);
        return;
      case '~':
        if (!Fallback()) Emit(char16_t{0x00A0});
        return;
      case '_':
        if (!Fallback()) Emit(u'-');
        return;
      case '\r':
      case '\n':
        Emit(u"\r\n");
        return;
      case '\t':
        Emit(u'\t');
        return;
      default:
        return;  // "\-" (optional hyphen), "\|", "\:" and others carry no text
    }
  }

  // Counts a control word or symbol as one skipped fallback character; true when it was one.
  bool Fallback() {
    if (SkipFallback_ == 0) return false;
    --SkipFallback_;
    return true;
  }

  void Word(std::string_view W, bool HasNumber, int64_t N) {
    const bool GroupStart = GroupStart_;
    GroupStart_ = false;
    if (W == "bin") {
      // Raw bytes: never text, and never read as RTF.
      const uint64_t Left = In_.size() - Pos_;
      Pos_ +=
          HasNumber && N > 0 ? static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(N), Left)) : 0;
      return;
    }
    if (W == "u" && HasNumber) {
      const int64_t V = N < 0 ? N + 65536 : N;
      if (V >= 0 && V <= 0xFFFF) {
        SkipFallback_ = 0;
        Emit(static_cast<char16_t>(V));
      }
      SkipFallback_ = State_.Uc;
      return;
    }
    if (Fallback()) return;
    if (W == "uc") {
      State_.Uc = HasNumber && N >= 0 && N <= 16 ? static_cast<int32_t>(N) : 1;
    } else if (W == "fonttbl") {
      Flush();
      State_.Dest = TDest::FontTable;
    } else if (State_.Dest == TDest::FontTable) {
      if (W == "f" && HasNumber) FontNumber_ = N;
      if (W == "fcharset" && HasNumber && FontNumber_ >= 0) {
        const uint8_t Cs = qvnls::FontCharsetToHTMLCharset(static_cast<uint8_t>(N & 0xFF));
        if (Cs != 0) Fonts_[FontNumber_] = Cs;
      }
      if (W == "cpg" && HasNumber && FontNumber_ >= 0) {
        const uint8_t Cs = CodePageCharset(N);
        if (Cs != 0) Fonts_[FontNumber_] = Cs;
      }
    } else if (W == "ansicpg" && HasNumber) {
      const uint8_t Cs = CodePageCharset(N);
      if (Cs != 0) DefaultCharset_ = Cs;
    } else if (W == "ansi") {
      DefaultCharset_ = qvnls::kCharsetWin1252;
    } else if (W == "pc") {
      DefaultCharset_ = qvnls::kCharsetDos437;
    } else if (W == "pca") {
      DefaultCharset_ = qvnls::kCharsetDos850;
    } else if (W == "f" && HasNumber) {
      Flush();
      const auto It = Fonts_.find(N);
      State_.Charset = It != Fonts_.end() ? It->second : 0;
    } else if (IsBreak(W)) {
      Emit(u"\r\n");
    } else if (const char16_t Sym = SymbolOf(W); Sym != 0) {
      Emit(Sym);
    } else if (IsSkippedDestination(W)) {
      Flush();
      State_.Dest = TDest::Skip;
    }
    // Any other word (formatting, "fldrslt", "pntext", "listtext", ...) leaves the text as it is: a
    // field's result and a list item's number are text.
    (void)GroupStart;
  }

  static uint8_t CodePageCharset(int64_t N) {
    if (N <= 0 || N > 65535) return 0;
    uint8_t Cs = qvnls::WindowsCodePageToHTMLCharset(static_cast<int32_t>(N));
    if (Cs == 0) Cs = qvnls::DOSCodePageToHTMLCharset(static_cast<int32_t>(N));
    return Cs;
  }

  std::string_view In_;
  std::u16string& Out_;
  const std::function<bool()>& Progress_;
  size_t Pos_ = 0;
  size_t NextPoll_ = 0;
  std::vector<TGroupState> Stack_;
  TGroupState State_;
  int64_t Overflow_ = 0;
  int32_t SkipFallback_ = 0;
  bool GroupStart_ = false;
  std::string Pending_;
  uint8_t DefaultCharset_ = 0;
  std::map<int64_t, uint8_t> Fonts_;
  int64_t FontNumber_ = -1;
};

// Plain text: bytes of the ANSI code page, every line break (CR LF, CR or LF) made CR LF, a zero byte
// a blank.
bool PlainToUtf16(std::string_view Text, std::u16string& Out, const std::function<bool()>& Progress) {
  if (Progress && !Progress()) return false;
  std::u16string Wide(Text.size(), u'\0');
  const int32_t N = qvnls::BufToWide(Text.data(), static_cast<int32_t>(Text.size()), Wide.data(),
                                     static_cast<int32_t>(Wide.size() * 2), qvnls::GetAnsiCharset());
  Wide.resize(N > 0 ? static_cast<size_t>(N) / 2 : 0);
  Out.reserve(Wide.size());
  for (size_t I = 0; I < Wide.size(); ++I) {
    const char16_t C = Wide[I];
    if (C == u'\r' || C == u'\n') {
      if (C == u'\r' && I + 1 < Wide.size() && Wide[I + 1] == u'\n') ++I;
      Out += u"\r\n";
    } else {
      Out += C == 0 ? u' ' : C;
    }
  }
  return true;
}

}  // namespace

bool RtfToUtf16(std::string_view Rtf, std::u16string& Text, const std::function<bool()>& Progress) {
  Text.clear();
  if (Rtf.substr(0, 5) != "{\\rtf") return PlainToUtf16(Rtf, Text, Progress);
  TReader Reader(Rtf, Text, Progress);
  return Reader.Run();
}
