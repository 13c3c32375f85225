// The results table: the hits of one search, one row each, held in parallel vectors. The path column
// holds nodes of the table's own path storage (PathsStg.h), so a path costs one node per new component
// and sorting by path compares tree-order numbers.
//
// Whether a row is an archive item is carried by its own column (InArchive), taken from the hit: a "|"
// is an ordinary character of a plain file's name, so it never decides by itself.
//
// Ownership: the table owns its vectors and its storage; Converters only refers to the program's
// converter plug-ins, which outlive every table. Threads: one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/BoolVector.h"
#include "core/Exception.h"
#include "core/NumVector.h"
#include "core/StrLst.h"
#include "search/FileScan.h"
#include "search/PathsStg.h"
#include "search/StrmScan.h"

// A row index outside 0..Count - 1, or an unknown sort column: a fault of the caller.
class ESearchResultsError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "ESearchResultsError"; }
};

// The columns of SortSearchResults.
enum TResultsColumn : int {
  rcName = 0,
  rcPath = 1,
  rcSize = 2,
  rcDate = 3,
  rcConverter = 4,
  rcEncoding = 5,
};

class TSearchResults {
 public:
  TSearchResults();
  TSearchResults(const TSearchResults&) = delete;
  TSearchResults& operator=(const TSearchResults&) = delete;

  // Empties the rows and the path storage.
  void Clear();
  int32_t Count() const { return Paths.GetCount(); }
  // Appends the hit as a row; the new row's index. On a failure no column changes.
  int32_t Add(const TFoundFileInfo& Info);
  // The first row of Path (compared exactly), or -1.
  int32_t IndexOf(const std::u16string& Path);
  // The stored path of the row, and its last component.
  std::u16string GetFullName(int32_t Index) const;
  std::u16string GetName(int32_t Index) const;
  // For an archive item, its archive's path: with the item's path in parts, the parts before the last
  // joined; else the stored path before its last "|". Empty for a plain file.
  std::u16string GetArchiveName(int32_t Index) const;
  // The archive item path in parts of the row (TFoundFileInfo::ItemPath), or null when it has none (a
  // plain file, or a row added with its joined path only).
  const std::vector<std::string>* GetItemPath(int32_t Index) const;
  bool IsArchiveItem(int32_t Index) const;
  void GetInfo(int32_t Index, TFoundFileInfo& Info) const;
  // Removes the row from every column; the path stays stored and is reused when added again.
  void Delete(int32_t Index);

  // Columns: every one holds Count elements, row i is element i of each.
  TPathsStorage Storage;  // the trie behind Paths; declared first, since Paths refers to it
  TPaths Paths;
  TInt64Vector Sizes;
  TDoubleVector Dates;        // TDateTime
  TPointerVector Converters;  // TQVConverter or null
  TInt8Vector Encodings;      // TScanEncoding
  TBoolVector InArchive;
  // Per row, the index of its archive item path in ItemPathList, or -1 when it has none. The list only
  // grows until Clear; a deleted row's entry stays unused.
  TInt32Vector ItemPaths;
  std::vector<std::vector<std::string>> ItemPathList;

  // The settings of the search that filled the table (set by the owner).
  TSearchLogic Logic = slEntirePhrase;
  bool Fuzzy = false;
  bool CaseSensitive = false;
  bool WholeWords = false;
  TScanModes Mode = smScanContents;

 private:
  // Raises ESearchResultsError unless 0 <= Index < Count.
  void CheckIndex(int32_t Index) const;
  // Cuts every column back to N rows.
  void TruncateColumns(int32_t N);
};

// Sorts the rows by Column (a TResultsColumn); the other columns, in column order, break ties, and
// Ascending false reverses the whole order. Converters compare by address (rows without one first when
// ascending), encodings as numbers.
void SortSearchResults(TSearchResults& Results, int Column, bool Ascending);

// Scans every row again with Scanner's current settings, in row order: an archive item through the
// scanner's archive layer (with the stored size and date), a plain file as it is now on disk (no masks,
// no archive test). Hits and errors arrive through Scanner's events, as in a search; the owner collects
// them in a new table. Only the rows present at the start are scanned. False: the search was stopped.
bool SearchInResults(TSearchResults& Results, TFileScanner& Scanner);
