#include "plugins/impweb/html/HTMLLayout.h"

#include <limits>
#include <type_traits>

#include "core/MemUtils.h"
#include "core/StrUtils.h"
#include "plugins/impweb/html/HTMLLinks.h"
#include "search/NLSProcsDyn.h"

namespace {

// Letters a list numbers with before it needs two ("z", then "aa").
constexpr int32_t kAlphabetLetters = 26;
// Indentation levels whose string is still cut back on the way out (levels beyond show kMaxIndent).
constexpr int32_t kIndentLevelsShown = kMaxIndent / kIndentStep;

template <class Char>
uint32_t Unit(Char C) {
  return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Char>>(C));
}

bool IsLineEnd(uint32_t C) { return C == '\r' || C == '\n'; }

// Every line break of an 8-bit run (CR LF, a lone CR, a lone LF) made CR LF.
std::string AdjustLineBreaks(const std::string& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '\r') {
      Out += "\r\n";
      if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else if (Text[I] == '\n') {
      Out += "\r\n";
    } else {
      Out += Text[I];
    }
  }
  return Out;
}

void DecodeRun(const std::string& Text, THTMLPassState& State) { DecodeHTMLEntities(Text, State); }
void DecodeRun(const std::u16string& Text, THTMLPassState& State) { DecodeHTMLEntitiesWide(Text, State); }

// A word at the current place: the indentation at the start of a line, a separating blank unless the
// word is glued to what stands before it, then its text.
template <class Char>
void WriteWordAt(const std::basic_string<Char>& Word, THTMLPassState& State) {
  if (State.AtLineStart) {
    WriteHTMLIndent(State);
    State.AtLineStart = false;
  }
  if (!State.NoSeparator) WriteHTMLBlank(State);
  DecodeRun(Word, State);
  State.NoSeparator = false;
  State.ConsecutiveBreaks = 0;
}

void WriteWord(const std::string& Word, THTMLPassState& State) { WriteHTMLWord(Word, State); }
void WriteWord(const std::u16string& Word, THTMLPassState& State) { WriteHTMLWordWide(Word, State); }

void WritePreformatted(const std::string& Text, THTMLPassState& State) {
  DecodeRun(AdjustLineBreaks(Text), State);
}
void WritePreformatted(const std::u16string& Text, THTMLPassState& State) {
  DecodeRun(AdjustLineBreaksWide(Text), State);
}

template <class Char>
void LayoutText(const std::basic_string<Char>& Text, THTMLPassState& State) {
  if (Text.empty()) return;
  if (State.Preformatted) {
    // Preformatted runs are written whole, with their own line breaks; a run that ends a line counts
    // as one break already made.
    WritePreformatted(Text, State);
    State.ConsecutiveBreaks = IsLineEnd(Unit(Text.back())) ? 1 : 0;
    return;
  }
  bool LeadingBlank = Unit(Text[0]) <= 32 && !State.AtLineStart && !State.LastWrittenWasBlank;
  bool AnyWord = false;
  const std::size_t N = Text.size();
  for (std::size_t I = 0; I < N;) {
    while (I < N && Unit(Text[I]) <= 32) ++I;
    if (I >= N) break;
    std::size_t J = I;
    while (J < N && Unit(Text[J]) > 32) ++J;
    if (LeadingBlank) {
      WriteHTMLBlank(State);
      LeadingBlank = false;
    }
    WriteWord(Text.substr(I, J - I), State);
    AnyWord = true;
    I = J;
  }
  State.TextEndedInBlank = Unit(Text.back()) <= 32;
  if (!AnyWord && LeadingBlank) {
    State.TextEndedInBlank = false;
    WriteHTMLBlank(State);
  }
}

// A whole decimal integer, optionally signed and surrounded by blanks; false for anything else and for
// values beyond 32 bits.
bool ParseListNumber(const std::string& Text, int32_t& Number) {
  std::size_t I = 0, N = Text.size();
  while (I < N && Unit(Text[I]) <= 32) ++I;
  while (N > I && Unit(Text[N - 1]) <= 32) --N;
  bool Negative = false;
  if (I < N && (Text[I] == '-' || Text[I] == '+')) Negative = Text[I++] == '-';
  if (I >= N) return false;
  int64_t Value = 0;
  for (; I < N; ++I) {
    if (Text[I] < '0' || Text[I] > '9') return false;
    Value = Value * 10 + (Text[I] - '0');
    if (Value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) return false;
  }
  if (Negative) Value = -Value;
  if (Value < std::numeric_limits<int32_t>::min() || Value > std::numeric_limits<int32_t>::max())
    return false;
  Number = static_cast<int32_t>(Value);
  return true;
}

int32_t ListStyleOf(const std::string& Type) {
  if (Type.empty()) return kListDecimal;
  switch (Type[0]) {
    case 'A':
      return kListUpperLetters;
    case 'I':
      return kListUpperRoman;
    case 'a':
      return kListLowerLetters;
    case 'i':
      return kListLowerRoman;
    default:
      return kListDecimal;
  }
}

bool ListsOpen(const THTMLPassState& State) { return State.ListCounters.GetCount() > 0; }

void PopList(THTMLPassState& State) {
  State.ListCounters.Delete(State.ListCounters.GetCount() - 1);
  State.ListStyles.Delete(State.ListStyles.GetCount() - 1);
}

void PushList(THTMLPassState& State, int32_t Counter, int32_t Style) {
  State.ListCounters.Add(Counter);
  State.ListStyles.Add(Style);
}

void LineBreakUnlessAtLineStart(THTMLPassState& State) {
  if (!State.AtLineStart) AddHTMLLineBreak(State);
}

void StartListItem(THTMLPassState& State) {
  LineBreakUnlessAtLineStart(State);
  if (ListsOpen(State) && State.ListCounters.Last() != 0) {
    const int32_t Top = State.ListCounters.GetCount() - 1;
    int32_t Number = State.ListCounters.Last();
    bool Advance = true;
    if (!State.TokenText.empty() && !ParseListNumber(State.TokenText, Number)) {
      // An unreadable VALUE numbers this item 1 and leaves the count there.
      Number = 1;
      Advance = false;
    }
    WriteHTMLWord(HTMLListLabel(Number, State.ListStyles.Last()) + ". ", State);
    // The counter wraps instead of overflowing past the largest number.
    State.ListCounters.Put(Top, Advance ? static_cast<int32_t>(static_cast<uint32_t>(Number) + 1) : Number);
  } else {
    WriteHTMLWord("- ", State);
  }
  State.NoSeparator = true;
  State.Line.Written = false;
}

void EndLink(THTMLPassState& State) {
  if (!State.InsideLink) return;
  State.InsideLink = false;
  if (State.LinkStart < 0) return;
  int32_t Length = HTMLOutputPosition(State) - State.LinkStart;
  if (State.UnicodeOutput) Length /= 2;
  if (Length > 0 && State.Links != nullptr) State.Links->Add(State.LinkURL, State.LinkStart, Length);
}

void StartLink(THTMLPassState& State) {
  if (State.Links == nullptr || State.TokenText.empty()) return;
  State.InsideLink = true;
  State.LinkStart = -1;
  State.LinkURL =
      State.WideSource ? RawToWideStr(State.TokenText) : CharsetToWide(State.TokenText, State.SourceCharset);
}

// Drops one line break right behind a PRE start tag.
void DropLineBreakAfterPre(THTMLPassState& State) {
  if (HTMLSourceEof(State)) return;
  const int32_t C = ReadHTMLChar(State);
  if (C == '\r') {
    if (HTMLSourceEof(State)) return;
    const int32_t Next = ReadHTMLChar(State);
    if (Next != '\n') UnreadHTMLChar(State, Next);
  } else if (C != '\n') {
    UnreadHTMLChar(State, C);
  }
}

void HandleEndTag(THTMLPassState& State) {
  switch (State.TagCode) {
    case kTagParagraph:
      AddHTMLParagraphBreak(State);
      break;
    case kTagLink:
      EndLink(State);
      break;
    case kTagUnorderedList:
    case kTagOrderedList:
      if (ListsOpen(State)) {
        LineBreakUnlessAtLineStart(State);
        DecHTMLIndent(State);
        PopList(State);
      }
      break;
    case kTagDefinitionList:
      if (State.DefinitionListDepth >= 1) {
        --State.DefinitionListDepth;
        if (State.DefinitionListDepth > 0) DecHTMLIndent(State);
        if (ListsOpen(State)) PopList(State);
      }
      break;
    case kTagBlockQuote:
      AddHTMLParagraphBreak(State);
      DecHTMLIndent(State);
      break;
    case kTagPreformatted:
      if (State.Preformatted) {
        AddHTMLParagraphBreak(State);
        State.Preformatted = false;
      }
      break;
    case kTagTable:
      if (State.TableDepth >= 1) {
        AddHTMLLineBreak(State);
        --State.TableDepth;
      }
      break;
    default:
      break;
  }
}

void HandleStartTag(THTMLPassState& State) {
  switch (State.TagCode) {
    case kTagParagraph:
      if (State.Line.Written) AddHTMLParagraphBreak(State);
      break;
    case kTagLink:
      StartLink(State);
      break;
    case kTagUnorderedList:
    case kTagOrderedList: {
      if (!ListsOpen(State)) AddHTMLParagraphBreak(State);
      IncHTMLIndent(State);
      const bool Ordered = State.TagCode == kTagOrderedList;
      PushList(State, Ordered ? 1 : 0, Ordered ? ListStyleOf(State.TokenText) : kListDecimal);
      break;
    }
    case kTagListItem:
      StartListItem(State);
      break;
    case kTagDefinitionList:
      if (State.DefinitionListDepth < 1) {
        AddHTMLParagraphBreak(State);
      } else {
        AddHTMLLineBreak(State);
        IncHTMLIndent(State);
      }
      ++State.DefinitionListDepth;
      PushList(State, State.TokenText.empty() ? 0 : 1, kListDecimal);
      break;
    case kTagLineItem:
      LineBreakUnlessAtLineStart(State);
      break;
    case kTagDefinition:
      if (!State.AtLineStart && (!ListsOpen(State) || State.ListCounters.Last() == 0))
        AddHTMLLineBreak(State);
      State.NoSeparator = true;
      WriteHTMLWord("  ", State);
      State.NoSeparator = true;
      break;
    case kTagBlockQuote:
      AddHTMLParagraphBreak(State);
      IncHTMLIndent(State);
      break;
    case kTagPreformatted:
      AddHTMLParagraphBreak(State);
      State.Preformatted = true;
      State.ConsecutiveBreaks = 0;
      DropLineBreakAfterPre(State);
      break;
    case kTagTable:
      ++State.TableDepth;
      break;
    case kTagTableRow:
      if (State.TableDepth > 0) AddHTMLLineBreak(State);
      break;
    case kTagTableCell:
      if (!State.AtLineStart && !State.LastWrittenWasBlank && !State.TextEndedInBlank) WriteHTMLBlank(State);
      break;
    default:
      break;
  }
}

}  // namespace

void FlushHTMLLine(THTMLPassState& State) {
  const uint8_t* Line = State.Line.GetMemory();
  int32_t Length = State.Line.GetPosition();
  if (State.UnicodeOutput) {
    while (Length >= 2 && Line[Length - 2] == ' ' && Line[Length - 1] == 0) Length -= 2;
  } else {
    while (Length > 0 && Line[Length - 1] == ' ') --Length;
  }
  if (Length > 0) State.AnythingWritten = true;
  if (State.AnythingWritten && State.Dest != nullptr) {
    if (Length > 0) {
      for (; State.PendingBreaks > 0; --State.PendingBreaks) State.Dest->WriteText(State.LineBreak);
      State.Dest->Write(Line, Length);
    }
    ++State.PendingBreaks;
  }
  State.Line.Empty();
  State.LastWrittenWasBlank = true;
}

void AddHTMLLineBreak(THTMLPassState& State) {
  if (State.ConsecutiveBreaks < 2) {
    FlushHTMLLine(State);
    ++State.ConsecutiveBreaks;
  }
  State.NoSeparator = true;
  State.AtLineStart = true;
  State.PrevTextWasAttribute = false;
  State.AttributeText = false;
  State.TextEndedInBlank = false;
}

void AddHTMLParagraphBreak(THTMLPassState& State) {
  AddHTMLLineBreak(State);
  AddHTMLLineBreak(State);
}

void WriteHTMLIndent(THTMLPassState& State) {
  if (!State.Indent.empty()) {
    const std::string Blanks =
        State.UnicodeOutput ? HTMLWideToBytes(std::u16string(State.Indent.size(), u' ')) : State.Indent;
    State.Line.Write(Blanks.data(), static_cast<int32_t>(Blanks.size()));
  }
  State.LastWrittenWasBlank = true;
  State.NoSeparator = true;
}

void IncHTMLIndent(THTMLPassState& State) {
  ++State.IndentLevel;
  if (static_cast<int32_t>(State.Indent.size()) < kMaxIndent) State.Indent.append(kIndentStep, ' ');
}

void DecHTMLIndent(THTMLPassState& State) {
  if (State.IndentLevel <= 0) return;
  --State.IndentLevel;
  if (State.IndentLevel < kIndentLevelsShown)
    State.Indent.resize(static_cast<std::size_t>(kIndentStep * State.IndentLevel));
}

void WriteHTMLWordWide(const std::u16string& Word, THTMLPassState& State) { WriteWordAt(Word, State); }

void WriteHTMLWord(const std::string& Word, THTMLPassState& State) {
  // Generated words (labels, marks) are ASCII; in a wide source they join the UTF-16 text.
  if (State.WideSource) {
    WriteWordAt(CharsetToWide(Word, 0), State);
  } else {
    WriteWordAt(Word, State);
  }
}

std::string HTMLListLabel(int32_t Number, int32_t Style) {
  std::string Label;
  switch (Style) {
    case kListLowerLetters:
    case kListUpperLetters: {
      const char A = Style == kListUpperLetters ? 'A' : 'a';
      for (int32_t N = Number; N > 0; N = (N - 1) / kAlphabetLetters) {
        Label.insert(Label.begin(), static_cast<char>(A + (N - 1) % kAlphabetLetters));
      }
      break;
    }
    case kListLowerRoman:
    case kListUpperRoman:
      Label = IntToRoman(Number);
      if (Style == kListLowerRoman) {
        for (char& C : Label) C = static_cast<char>(C - 'A' + 'a');
      }
      break;
    default:
      break;
  }
  return Label.empty() ? std::to_string(Number) : Label;
}

void HandleHTMLTag(THTMLPassState& State) {
  // A word right behind a tag is glued to the text in front of it (markup inside a word).
  if (!State.TextEndedInBlank && !State.PrevTextWasAttribute) State.NoSeparator = true;
  if (State.TagCode < 0) return;
  if (State.TagCode == kTagSkipped) {
    // Not nested: the first end tag of any skipped element ends skipping.
    State.Skip = State.TokenKind == kTokenStartTag;
    return;
  }
  if (State.Skip) return;
  if (State.TagCode == kTagLineBreak) {
    AddHTMLLineBreak(State);
    return;
  }
  if (State.TagCode == kTagQuote) {
    WriteHTMLWord("\"", State);
    State.NoSeparator = true;
    return;
  }
  if (State.TokenKind == kTokenEndTag) {
    HandleEndTag(State);
  } else {
    HandleStartTag(State);
  }
}

void HandleHTMLText(THTMLPassState& State) {
  if (State.Skip || State.TokenText.empty()) return;
  if (State.WideSource) {
    LayoutText(RawToWideStr(State.TokenText), State);
  } else {
    LayoutText(State.TokenText, State);
  }
  State.PrevTextWasAttribute = State.AttributeText;
}
