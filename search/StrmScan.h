// The stream scanner: decides whether a stream contains the search pattern and, on request, where.
//
// The pattern is split into words by the search logic. Each word is matched in every character encoding
// that can hold it (8-bit Windows code page, 8-bit OEM code page, UTF-16LE), exactly or approximately
// (fuzzy), optionally only as a whole word. The stream is read in windows of 32 KB that advance by
// 16 KB: the second half of each window is carried over as the first half of the next, so a hit that
// straddles a window end is found in the next window. Case-insensitive matching folds the window and the
// words with the same upper-case tables of the national-language layer.
//
// Ownership and threads: the owner creates one scanner, configures it through the setters and the public
// fields and reuses it for many streams; the scanner keeps its buffers and matchers between streams. The
// Stream is not owned and must stay alive during a scan. A scanner runs on its caller's thread and is
// used by one thread at a time; OnProgress is called on that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Exception.h"
#include "core/NumVector.h"
#include "core/StrLst.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "search/ScanFind.h"
#include "search/ScanFold.h"
#include "search/ScanFuzzy.h"
#include "search/ShiftAnd.h"
#include "search/ShiftAndWide.h"

enum TScanResult : uint8_t { srFound = 0, srNotFound = 1, srCancelled = 2 };

// seFileName appears only in the results of a search: the hit is in the file's name.
enum TScanEncoding : uint8_t { seAnsi = 0, seOem = 1, seUnicode = 2, seFileName = 3 };

// A set of TScanEncoding: bit 1 << encoding.
using TScanEncodings = uint8_t;
constexpr TScanEncodings kScanAnsi = 1;
constexpr TScanEncodings kScanOem = 2;
constexpr TScanEncodings kScanUnicode = 4;
constexpr TScanEncodings kScanFileName = 8;
constexpr TScanEncodings ScanEncodingBit(TScanEncoding E) { return static_cast<TScanEncodings>(1u << E); }

enum TSearchLogic : uint8_t {
  slEntirePhrase = 0,  // the whole pattern, spaces included, is one word
  slAnyWord = 1,       // the pattern's words, any one suffices
  slAllWords = 2,      // every word must be found, all in one encoding
};

// Called after every read with the stream position in bytes; false cancels the scan.
using TScanProgressEvent = std::function<bool(int32_t Position)>;

// The longest pattern, in characters. It keeps the tail that a word carries into the next window
// (at most 2 x 8,192 - 2 bytes in UTF-16) inside the 16 KB carried over.
constexpr int32_t kMaxScanPatternLength = 8192;
// The window: read 32 KB first, then advance by 16 KB, carrying the last 16 KB over.
constexpr int32_t kScanWindowBytes = 32768;
constexpr int32_t kScanCarryBytes = 16384;
// Fuzzy matching applies to words longer than this many characters: one error up to
// kFuzzyOneErrorMaxLength characters, two beyond.
constexpr int32_t kFuzzyMinLength = 3;
constexpr int32_t kFuzzyOneErrorMaxLength = 8;
// The errors a fuzzy word of Length characters may have.
constexpr int32_t FuzzyErrors(int32_t Length) { return Length <= kFuzzyOneErrorMaxLength ? 1 : 2; }

class EStreamScanner : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EStreamScanner"; }
};

// The options that set a stream scanner up for a search, all together: a scanner given the same options
// finds what this one finds (the worker threads of a search set theirs up so). An option of the scanner
// belongs here; GetOptions and SetOptions name every field in a structured binding, so that the build
// fails until they carry a new one.
struct TStreamScanOptions {
  std::u16string Pattern;
  bool CaseSensitive = false;
  TSearchLogic Logic = slEntirePhrase;
  bool WholeWords = false;
  uint8_t Fuzzy = 0;
  bool operator==(const TStreamScanOptions&) const = default;
};

class TStreamScanner {
 public:
  TStreamScanner();
  TStreamScanner(const TStreamScanner&) = delete;
  TStreamScanner& operator=(const TStreamScanner&) = delete;
  ~TStreamScanner();

  // More than kMaxScanPatternLength characters raise "Search pattern is too long" and keep the old
  // pattern.
  void SetPattern(const std::u16string& Pattern);
  const std::u16string& GetPattern() const { return Pattern_; }
  void SetCaseSensitive(bool Value);
  bool GetCaseSensitive() const { return CaseSensitive_; }
  void SetLogic(TSearchLogic Value);
  TSearchLogic GetLogic() const { return Logic_; }
  // The options above and WholeWords and Fuzzy, read or set together; SetOptions raises as SetPattern does
  // (the other options are then left as they were).
  TStreamScanOptions GetOptions() const;
  void SetOptions(const TStreamScanOptions& Options);

  // Rebuilds the words and the encodings that can hold them when the pattern, the case or the logic
  // changed (or the system code pages did); every operation below calls it.
  void Prepare();
  // True when there is nothing to search: no words.
  bool IsPatternEmpty();
  // The words as matched: upper-cased unless case-sensitive, longest first.
  const TCaseSensWideStrLst& GetWords();
  // The encodings that a scan can search (0 when the pattern is empty): UTF-16 always; the Windows code
  // page when it holds a word (every word, for all-words logic); the OEM code page as well when a word
  // it holds is written differently there. Each word is searched only in the encodings that hold it.
  TScanEncodings GetPossibleEncodings();

  // Scans Stream from its start in the Encodings asked (0 or kScanFileName alone mean kScanAnsi) that
  // can hold the words. FoundEncoding receives the encoding of the last accepted hit and is untouched
  // when none is accepted. Positions and Lengths are both given or both null: with them every hit is
  // appended (byte offset in the stream, length in characters), all in the encoding of the first hit;
  // without them the scan stops at the first decisive hit. Exceptions of the stream and of OnProgress
  // pass to the caller.
  TScanResult Scan(TScanEncodings Encodings, TScanEncoding& FoundEncoding, TInt32Vector* Positions,
                   TInt32Vector* Lengths);
  // Scan without vectors.
  TScanResult Find(TScanEncodings Encodings, TScanEncoding& FoundEncoding);
  // Every hit: Positions ascending with Lengths alike; both empty unless the result is srFound.
  TScanResult FindAll(TScanEncodings Encodings, TScanEncoding& FoundEncoding, TInt32Vector& Positions,
                      TInt32Vector& Lengths);

  // A hit must not touch a word character on either side.
  bool WholeWords = false;
  // The stream to scan; set before every Find or FindAll. Not owned.
  TVStream* Stream = nullptr;
  // 1: words longer than kFuzzyMinLength characters match with errors.
  uint8_t Fuzzy = 0;
  // Unassigned: never cancel.
  TScanProgressEvent OnProgress;

 private:
  // One word and its forms.
  struct TWord {
    std::u16string Wide;  // UTF-16, upper-cased unless case-sensitive
    std::string Narrow;   // in the Windows code page, folded by its upper-case table unless case-sensitive
    TScanEncodings Holds = 0;  // the encodings in which the word can occur
    TFuzzyPieces Pieces;       // for fuzzy matching with the errors its length allows
    // Exact search in the raw window of each encoding, folding through that encoding's table; Raw[E]
    // tells whether the raw window of E serves the word (a finder, or folding is a copy).
    TFoldedFinder<uint8_t> Finder8[2];  // ANSI, OEM
    TFoldedFinder<char16_t> FinderWide;
    bool Raw[3] = {};
    // Exact search of Narrow and of Wide in a folded window (or a raw one when folding is a copy).
    qvnls::TBufPattern Exact8;
    qvnls::TBufPattern ExactWide;
    // For a long word, exact search that skips ahead by about its length, in raw and folded windows alike
    // (Narrow serves both 8-bit encodings); null for shorter words.
    std::unique_ptr<TSkipFinder<uint8_t>> Skip8;
    std::unique_ptr<TSkipFinder<char16_t>> SkipWide;
  };
  // The state of one scan.
  struct TScanState;

  void BuildWords();
  void EnsureBuffers();
  void FoldWindow(TScanEncoding E, TScanState& S);
  // FoldWindow and the word-set filter's pass that stops at the first word, a piece at a time, so that
  // a window whose words occur early is folded no further than that: the text the words are matched in
  // is folded only up to the occurrence then (for a search that this occurrence decides). True when a
  // word was marked in Present_.
  bool FoldAndMarkFirst(TScanEncoding E, TScanState& S);
  // Matches word W in the window of encoding E; true when the scan is decided (Find only).
  bool ScanWord(TScanEncoding E, int32_t W, TScanState& S);
  // What ScanWord does for an exact word that does not occur in the window: move its next search on.
  void SkipWord(TScanEncoding E, int32_t W, TScanState& S);
  bool IsWordCharAt(TScanEncoding E, int32_t Position, const TScanState& S);
  int32_t ReadWindowPart(uint8_t* Buffer, int32_t Count);

  bool Changed_ = false;
  bool CaseSensitive_ = false;
  TSearchLogic Logic_ = slEntirePhrase;
  TScanEncodings PossibleEncodings_ = 0;
  std::u16string Pattern_;
  TCaseSensWideStrLst Words_;
  std::vector<TWord> WordForms_;  // parallel to Words_
  // Some word can overlap another in a text (so accepted hits must be zeroed).
  bool WordsOverlap_ = false;
  // Exact words are searched in the raw window only when there are at most this many.
  static constexpr size_t kMaxRawWords = 8;
  // With at least this many exact words in a folded window, one pass of the word-set filter tells which
  // of them occur in it, and only those are searched.
  static constexpr int32_t kMinFilteredWords = 4;
  // The word-set filters of the 8-bit windows (the words' 8-bit forms) and of the UTF-16 window, and
  // which words each holds (parallel to Words_).
  TWordSetFilter<uint8_t> Filter8_;
  TWordSetFilter<char16_t> FilterWide_;
  std::vector<uint8_t> InFilter8_;
  std::vector<uint8_t> InFilterWide_;
  // Per encoding and word, for the current scan: 1 when the filter does not look for the word; and per
  // word, 1 when the word is searched in the current window of the current encoding.
  std::vector<uint8_t> Unfiltered_[3];
  std::vector<uint8_t> Present_;
  // The system code pages the words were prepared for.
  uint8_t PreparedAnsi_ = 0;
  uint8_t PreparedOem_ = 0;

  // Word characters of the 8-bit encodings, by the byte as read: [0] Windows page, [1] OEM page.
  bool WordChar8_[2][256] = {};
  TByteFolder ByteFolder_[2];           // ANSI, OEM
  const uint8_t* OemTable8_ = nullptr;  // the table that folds OEM windows
  TUnitFolder UnitFolder_;

  // Raw bytes of the window, and the folded window of each encoding (hits zeroed in it), made at the
  // first scan and kept.
  std::unique_ptr<char16_t[]> ReadBuffer_;
  std::unique_ptr<char16_t[]> WorkBuffer_[3];
  // Per encoding and word (index E * words + W): where the word's next search starts, and whether it
  // was found. Sized when the words change.
  std::vector<int32_t> NextStart_;
  std::vector<uint8_t> FoundWord_;

  // The fuzzy matchers, made at the first need and kept; each word sets its pattern when it is matched.
  std::unique_ptr<TShiftAndSearcher> Searcher8_;
  std::unique_ptr<TWideShiftAndSearcher> SearcherWide_;
};
