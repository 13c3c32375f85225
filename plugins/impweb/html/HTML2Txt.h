// The pieces under one pass of the HTML-to-text engine: the tag and entity dictionaries, the state a pass
// shares with its routines (THTMLPassState), the character and token readers with attribute extraction,
// entity decoding, and the output primitives that put characters and text into the current line in the
// target charset. The layout rules (HTMLLayout) and the passes (HTMLPasses) are built on these.
//
// Sources are 8-bit text in some charset, or UTF-16 little-endian (two bytes per character); a token of a
// UTF-16 source keeps its raw UTF-16 bytes in its 8-bit token text. Output is 8-bit text in the target
// charset, or UTF-16LE bytes when the target is 43.
//
// Charsets are the one-byte codes of the qvnls layer (42 UTF-8, 43 UTF-16LE, 17 windows-1251,
// 18 windows-1252, ...).
//
// Threads: the dictionaries are module-wide and built once; a pass and its state belong to one thread. The
// engine converts one page at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/NumVector.h"
#include "core/VStream.h"

class IConvProgress;
class IHTMLLinks;

// Tag codes: what the tag dictionary maps a tag name to.
enum : int32_t {
  kTagUnknown = -1,        // a tag not in the dictionary, and a comment
  kTagParagraph = 0,       // P, H1-H6
  kTagLineBreak = 1,       // BR, DIV, HR
  kTagLink = 2,            // A
  kTagUnorderedList = 3,   // UL
  kTagOrderedList = 4,     // OL
  kTagListItem = 5,        // LI
  kTagDefinitionList = 6,  // DL
  kTagLineItem = 7,        // DT, OPTION
  kTagDefinition = 8,      // DD
  kTagBlockQuote = 9,      // BLOCKQUOTE
  kTagQuote = 10,          // Q
  kTagPreformatted = 11,   // PRE
  kTagTable = 12,          // TABLE
  kTagTableRow = 13,       // TR
  kTagTableCell = 14,      // TD, TH
  kTagEmbedded = 15,       // APPLET, AREA, IMG: their ALT text
  kTagMeta = 16,           // META
  kTagInput = 17,          // INPUT
  kTagMetaCharset = 18,    // a META tag that declared a charset (never in the dictionary)
  kTagSkipped = 19,        // TITLE, SCRIPT, STYLE, XML: their content is not text
};

// Token kinds.
enum : int32_t { kTokenStartTag = 0, kTokenEndTag = 1, kTokenText = 2 };

// The longest tag name the reader collects; a longer name makes the tag unrecognised.
constexpr int32_t kMaxTagName = 10;
// Initial capacity of the current-line buffer.
constexpr int32_t kLineCapacity = 32768;

// Builds the tag and entity dictionaries once (a second call does nothing); answers true.
bool BuildHTMLDictionaries();
// Frees them; the next pass builds them again.
void FreeHTMLDictionaries();
// The tag code of a tag name (compared without ASCII case), kTagUnknown when absent.
int32_t LookupHTMLTag(const std::string& Name);
// The code point of a character entity name (compared with case), -1 when absent.
int32_t LookupHTMLEntityCode(const std::string& Name);

// The current output line: a memory stream whose writes also set Written, which only the list-item rule
// clears. The line's length is its position.
class TLineBuffer : public TVMemStream {
 public:
  TLineBuffer() { SetCapacity(kLineCapacity); }
  const char* ClassName() const override { return "TLineBuffer"; }
  void Write(const void* Buf, int32_t Count) override {
    TVMemStream::Write(Buf, Count);
    Written = true;
  }
  // Empties the line (Written stays).
  void Empty() {
    Seek(0);
    SetSize(0);
  }
  bool Written = false;
};

// What the search for the end of a comment that was never closed saw (see HTML2Txt.cpp): where it
// started, the positions of the ">" of every "-->" it passed inside quotes, and the parity of the double
// quotes the reader has read since that start.
struct TCommentMemo {
  int32_t FailedStart = -1;
  std::vector<int32_t> Candidates;
  int32_t QuoteParity = 0;
  bool Counting = true;
};

// The state of one pass. The pass owns it and everything inside it; Dest, Links and Progress are the
// caller's and must outlive the pass.
struct THTMLPassState {
  // Source: the page read through a small buffer; Wide for a UTF-16LE page. Pushed holds one character
  // given back to the reader (-1 when none).
  std::unique_ptr<TVCharStreamOnStream> Source;
  bool WideSource = false;
  int32_t Pushed = -1;
  TCommentMemo Comments;

  // Parameters of the pass.
  uint8_t ReplacementChar = '?';
  bool DetectOnly = false;
  bool MetaCharset = false;
  uint8_t TargetCharset = 0;
  uint8_t SourceCharset = 0;
  IHTMLLinks* Links = nullptr;
  IConvProgress* Progress = nullptr;

  // Current token.
  int32_t TokenKind = kTokenText;
  int32_t TagCode = kTagUnknown;
  std::string TokenText;
  bool AttributeText = false;
  // The raw text of the tag just read, from the end of its name through its ">" (UTF-16LE bytes for a
  // wide source); kept only for the tags whose attributes are read.
  std::string TagText;

  // Output.
  TVStream* Dest = nullptr;
  TLineBuffer Line;
  std::string LineBreak = "\r\n";
  int32_t PendingBreaks = 0;
  bool UnicodeOutput = false;

  // Layout flags and counters.
  bool AnythingWritten = false;
  bool LastWrittenWasBlank = true;
  bool NoSeparator = true;
  bool AtLineStart = true;
  bool TextEndedInBlank = false;
  bool PrevTextWasAttribute = false;
  int32_t ConsecutiveBreaks = 1;
  std::string Indent;
  int32_t IndentLevel = 0;
  bool Skip = false;
  bool Preformatted = false;
  int32_t TableDepth = 0;
  int32_t DefinitionListDepth = 0;
  // One entry per open UL, OL or DL, pushed and popped together: the counter (0 unordered, the next
  // number of an ordered list, 1/0 for a compact definition list or not) and the numbering style.
  TInt32Vector ListCounters;
  TInt32Vector ListStyles;

  // Link state.
  bool InsideLink = false;
  int32_t LinkStart = -1;
  std::u16string LinkURL;
};

// Whether the reader has no further character.
bool HTMLSourceEof(THTMLPassState& State);
// The next character: one byte, or for a wide source two bytes little-endian (0 when the second byte is
// missing). The caller checks HTMLSourceEof first.
int32_t ReadHTMLChar(THTMLPassState& State);
// Gives the character just read back to the reader.
void UnreadHTMLChar(THTMLPassState& State, int32_t Char);
// The reader's position in the source, and a move to a position (dropping a given-back character).
int32_t HTMLSourcePosition(THTMLPassState& State);
void SeekHTMLSource(THTMLPassState& State, int32_t Position);

// The first character above 32 (or the terminator).
const char* SkipHTMLBlanks(const char* Text);
const char16_t* SkipHTMLBlanksWide(const char16_t* Text);

// Reads the next token into the state; false when the page has no further complete token.
bool NextHTMLToken(THTMLPassState& State);
// The attribute Name (upper case) of the tag just read: true when Name occurs in the tag; Value is the
// value behind the first occurrence followed by "=" (raw UTF-16LE bytes for a wide source), empty when
// there is none or it has no end.
bool GetTagAttribute(const std::string& Name, std::string& Value, const THTMLPassState& State);
// The attribute Name (upper case) of a plain 8-bit text, such as a META CONTENT value.
bool GetHTMLAttribute(const std::string& Text, const std::string& Name, std::string& Value);

// Writes an 8-bit source run (UTF-16 run) with its character references resolved.
void DecodeHTMLEntities(const std::string& Text, THTMLPassState& State);
void DecodeHTMLEntitiesWide(const std::u16string& Text, THTMLPassState& State);
// Writes the character of one reference name (without "&" and ";"), or "&" and the name unchanged.
void LookupHTMLEntity(const std::string& Name, THTMLPassState& State);
// Writes one character given by its code point.
void OutputHTMLChar(int32_t Code, THTMLPassState& State);
// Writes a run of 8-bit source text (in the source charset), or of UTF-16 text.
void WriteHTMLText(const std::string& Text, THTMLPassState& State);
void WriteHTMLTextWide(const std::u16string& Text, THTMLPassState& State);
// Writes one blank.
void WriteHTMLBlank(THTMLPassState& State);
// The byte position of the next output character in the final text.
int32_t HTMLOutputPosition(THTMLPassState& State);
// Stores HTMLOutputPosition as the link start when the start is still unknown.
void MarkHTMLLinkStart(THTMLPassState& State);

// UTF-16 text as its UTF-16LE bytes (RawToWideStr, core/MemUtils.h, goes the other way).
std::string HTMLWideToBytes(const std::u16string& Text);
