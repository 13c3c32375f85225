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
  for (const char* s : kSkipped)
    if (W == s) return true;
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
  for (const TSym& s : kSymbols)
    if (W == s.Word) return s.Ch;
  return 0;
}

bool IsBreak(std::string_view W) {
  return W == "par" || W == "line" || W == "sect" || W == "page" || W == "row";
}

class TReader {
 public:
  TReader(std::string_view Rtf, std::u16string& Text, const std::function<bool()>& Progress)
      : In(Rtf), Out(Text), Progress(Progress) {}

  bool Run() {
    State.Charset = 0;
    while (Pos < In.size()) {
      if (Progress && Pos >= NextPoll) {
        NextPoll = Pos + kRtfPollBytes;
        if (!Progress()) {
          Flush();
          return false;
        }
      }
      const char c = In[Pos++];
      switch (c) {
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
          Byte(c == '\0' ? ' ' : c);
      }
    }
    Flush();
    return true;
  }

 private:
  void OpenGroup() {
    Flush();
    if (Stack.size() >= static_cast<size_t>(kMaxRtfDepth)) {
      ++Overflow;  // read as if flat
      return;
    }
    Stack.push_back(State);
    SkipFallback = 0;
    GroupStart = true;
  }

  void CloseGroup() {
    Flush();
    SkipFallback = 0;
    if (Overflow > 0) {
      --Overflow;
      return;
    }
    if (Stack.empty()) return;  // a stray "}"
    if (State.Dest == TDest::FontTable && Stack.back().Dest != TDest::FontTable) FontNumber = -1;
    State = Stack.back();
    Stack.pop_back();
  }

  // A text byte of the current code page.
  void Byte(char C) {
    GroupStart = false;
    if (SkipFallback > 0) {
      --SkipFallback;
      return;
    }
    if (State.Dest != TDest::Text) return;
    Pending += C;
  }

  void Emit(char16_t C) {
    if (State.Dest != TDest::Text) return;
    Flush();
    Out += C;
  }

  void Emit(const char16_t* S) {
    if (State.Dest != TDest::Text) return;
    Flush();
    Out += S;
  }

  // Decodes the 8-bit text gathered so far in its code page.
  void Flush() {
    if (Pending.empty()) return;
    uint8_t charset = State.Charset != 0 ? State.Charset : DefaultCharset;
    if (charset == 0) charset = qvnls::GetAnsiCharset();
    std::u16string wide(Pending.size(), u'\0');
    int32_t n = qvnls::BufToWide(Pending.data(), static_cast<int32_t>(Pending.size()), wide.data(),
                                 static_cast<int32_t>(wide.size() * 2), charset);
    if (n < 0)
      n = qvnls::BufToWide(Pending.data(), static_cast<int32_t>(Pending.size()), wide.data(),
                           static_cast<int32_t>(wide.size() * 2), qvnls::GetAnsiCharset());
    wide.resize(n > 0 ? static_cast<size_t>(n) / 2 : 0);
    Out += wide;
    Pending.clear();
  }

  static int HexValue(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
  }

  static bool IsLetter(char C) { return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z'); }

  void Control() {
    if (Pos >= In.size()) return;
    const char c = In[Pos];
    if (!IsLetter(c)) {
      ++Pos;
      Symbol(c);
      return;
    }
    const size_t start = Pos;
    while (Pos < In.size() && IsLetter(In[Pos]) && Pos - start < kMaxWordLength) ++Pos;
    const std::string_view word = In.substr(start, Pos - start);
    bool hasNumber = false;
    int64_t number = 0;
    bool negative = false;
    if (Pos < In.size() && In[Pos] == '-' && Pos + 1 < In.size() && In[Pos + 1] >= '0' &&
        In[Pos + 1] <= '9') {
      negative = true;
      ++Pos;
    }
    for (size_t digits = 0; Pos < In.size() && In[Pos] >= '0' && In[Pos] <= '9'; ++Pos, ++digits) {
      hasNumber = true;
      if (digits < kMaxNumberDigits) number = number * 10 + (In[Pos] - '0');
    }
    if (negative) number = -number;
    if (Pos < In.size() && In[Pos] == ' ') ++Pos;  // the delimiter belongs to the word
    Word(word, hasNumber, number);
  }

  void Symbol(char C) {
    const bool groupStart = GroupStart;
    GroupStart = false;
    switch (C) {
      case '\'': {
        const int hi = Pos < In.size() ? HexValue(In[Pos]) : -1;
        const int lo = Pos + 1 < In.size() ? HexValue(In[Pos + 1]) : -1;
        if (hi < 0 || lo < 0) return;
        Pos += 2;
        Byte(static_cast<char>(hi * 16 + lo));
        return;
      }
      case '*':
        if (groupStart) {
          Flush();
          State.Dest = TDest::Skip;
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
    if (SkipFallback == 0) return false;
    --SkipFallback;
    return true;
  }

  void Word(std::string_view W, bool HasNumber, int64_t N) {
    const bool groupStart = GroupStart;
    GroupStart = false;
    if (W == "bin") {
      // Raw bytes: never text, and never read as RTF.
      const uint64_t left = In.size() - Pos;
      Pos += HasNumber && N > 0 ? static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(N), left)) : 0;
      return;
    }
    if (W == "u" && HasNumber) {
      const int64_t v = N < 0 ? N + 65536 : N;
      if (v >= 0 && v <= 0xFFFF) {
        SkipFallback = 0;
        Emit(static_cast<char16_t>(v));
      }
      SkipFallback = State.Uc;
      return;
    }
    if (Fallback()) return;
    if (W == "uc") {
      State.Uc = HasNumber && N >= 0 && N <= 16 ? static_cast<int32_t>(N) : 1;
    } else if (W == "fonttbl") {
      Flush();
      State.Dest = TDest::FontTable;
    } else if (State.Dest == TDest::FontTable) {
      if (W == "f" && HasNumber) FontNumber = N;
      if (W == "fcharset" && HasNumber && FontNumber >= 0) {
        const uint8_t cs = qvnls::FontCharsetToHTMLCharset(static_cast<uint8_t>(N & 0xFF));
        if (cs != 0) Fonts[FontNumber] = cs;
      }
      if (W == "cpg" && HasNumber && FontNumber >= 0) {
        const uint8_t cs = CodePageCharset(N);
        if (cs != 0) Fonts[FontNumber] = cs;
      }
    } else if (W == "ansicpg" && HasNumber) {
      const uint8_t cs = CodePageCharset(N);
      if (cs != 0) DefaultCharset = cs;
    } else if (W == "ansi") {
      DefaultCharset = qvnls::kCharsetWin1252;
    } else if (W == "pc") {
      DefaultCharset = qvnls::kCharsetDos437;
    } else if (W == "pca") {
      DefaultCharset = qvnls::kCharsetDos850;
    } else if (W == "f" && HasNumber) {
      Flush();
      const auto it = Fonts.find(N);
      State.Charset = it != Fonts.end() ? it->second : 0;
    } else if (IsBreak(W)) {
      Emit(u"\r\n");
    } else if (const char16_t sym = SymbolOf(W); sym != 0) {
      Emit(sym);
    } else if (IsSkippedDestination(W)) {
      Flush();
      State.Dest = TDest::Skip;
    }
    // Any other word (formatting, "fldrslt", "pntext", "listtext", ...) leaves the text as it is: a
    // field's result and a list item's number are text.
    (void)groupStart;
  }

  static uint8_t CodePageCharset(int64_t N) {
    if (N <= 0 || N > 65535) return 0;
    uint8_t cs = qvnls::WindowsCodePageToHTMLCharset(static_cast<int32_t>(N));
    if (cs == 0) cs = qvnls::DOSCodePageToHTMLCharset(static_cast<int32_t>(N));
    return cs;
  }

  std::string_view In;
  std::u16string& Out;
  const std::function<bool()>& Progress;
  size_t Pos = 0;
  size_t NextPoll = 0;
  std::vector<TGroupState> Stack;
  TGroupState State;
  int64_t Overflow = 0;
  int32_t SkipFallback = 0;
  bool GroupStart = false;
  std::string Pending;
  uint8_t DefaultCharset = 0;
  std::map<int64_t, uint8_t> Fonts;
  int64_t FontNumber = -1;
};

// Plain text: bytes of the ANSI code page, every line break (CR LF, CR or LF) made CR LF, a zero byte
// a blank.
bool PlainToUtf16(std::string_view Text, std::u16string& Out, const std::function<bool()>& Progress) {
  if (Progress && !Progress()) return false;
  std::u16string wide(Text.size(), u'\0');
  const int32_t n = qvnls::BufToWide(Text.data(), static_cast<int32_t>(Text.size()), wide.data(),
                                     static_cast<int32_t>(wide.size() * 2), qvnls::GetAnsiCharset());
  wide.resize(n > 0 ? static_cast<size_t>(n) / 2 : 0);
  Out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    const char16_t c = wide[i];
    if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < wide.size() && wide[i + 1] == u'\n') ++i;
      Out += u"\r\n";
    } else {
      Out += c == 0 ? u' ' : c;
    }
  }
  return true;
}

}  // namespace

bool RtfToUtf16(std::string_view Rtf, std::u16string& Text, const std::function<bool()>& Progress) {
  Text.clear();
  if (Rtf.substr(0, 5) != "{\\rtf") return PlainToUtf16(Rtf, Text, Progress);
  TReader reader(Rtf, Text, Progress);
  return reader.Run();
}
