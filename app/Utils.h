// The program's small routines over text: ";"-separated lists with quoting, file masks (normal form and
// wildcard matching), search-path lists typed by the user, archive-item paths, and size texts in units.
// The file scanner uses the mask and item-path routines; the windows use the rest.
//
// Path syntax: this system's paths separate folders with "/" and an absolute path begins with "/"; an
// archive item path is the archive's path, "|" and the item's path ("|" again for each nested archive).
// A "|" is an ordinary character in a plain file's name, so the item-path routines are told which kind
// of path they get. The Windows syntax (drive letters, "\\server" paths, "\" and ":" as separators) is
// kept for paths that come from Windows, such as the settings of an older installation.
//
// Every routine is a plain function; any thread may call it.
#pragma once

#include <cstdint>
#include <string>

#include "core/WinUtils.h"

class TWideStrLst;
class TWideStrStrDic;
class TWideStrings;

enum TPathSyntax : uint8_t {
  psPlainFile,    // a path of this system: "/" separates, an absolute path begins with "/"
  psArchiveItem,  // as psPlainFile, and "|" separates an archive from the item inside it
  psWindows,      // "|", "\" and ":" separate; absolute paths begin with a drive or "\\"
};

// --- Lists --------------------------------------------------------------------------------------------

// Clears List and fills it from Text split at blanks, "," and ";" outside double quotes; a quoted piece
// loses its enclosing quotes; empty pieces are dropped.
void SplitQuotedList(TWideStrLst& List, const std::u16string& Text);
// The items joined by ";"; an item holding a blank, "," or ";" is double-quoted, and so is any other
// item that is not a plain token.
std::u16string JoinQuotedList(const TWideStrLst& List);
// The keys in key order joined as JoinQuotedList joins items.
std::u16string JoinDictionaryKeys(const TWideStrStrDic& Dictionary);
// Strings := the items of List (a control's item storage filled from a list).
void WideStringsFromList(const TWideStrLst& List, TWideStrings& Strings);
// The date in the locale's short date format (ICU's default locale), a blank, and TimeToText.
std::u16string FormatDateTimeText(TDateTime DateTime);

// --- Masks --------------------------------------------------------------------------------------------

// Mask without a leading "*.".
std::u16string StripMaskStarDot(const std::u16string& Mask);
// A mask without a forbidden character ('"', "/", ":", "<", ">", "\", "|") whose first "." is missing
// or first becomes "*." + the rest: txt and .txt give *.txt, * gives *.*, readme gives *.readme. Other
// masks, and an empty one, stay as typed.
void NormalizeMask(std::u16string& Mask);
// Every item normalised; later duplicates (without case) dropped; when an item is "*.*" the list
// becomes that one item.
void NormalizeMaskList(TWideStrLst& List);
// Split, NormalizeMaskList, join.
std::u16string NormalizeMasks(const std::u16string& Text);
// True when the split list is empty or holds "*.*" (without case).
bool IsAllFilesMask(const std::u16string& Text);
// 1-based byte position of the first place at or after byte From (1-based) where Segment matches Text,
// "?" matching any one character; 0 when none.
int32_t WildcardPos(const std::string& Segment, const std::string& Text, int32_t From = 1);
// 1-based position of the first "*" (0 when none); Text is cut before it.
int32_t CutAtAsterisk(std::u16string& Text);
// Matches a file name (UTF-8) against a mask: "*" any run of characters, "?" one character. Rules:
// an exact copy matches; "**" is "*"; "*" matches everything, the empty name too; with IgnoreCase both
// are upper-cased by Unicode rules; otherwise an empty name or mask fails. Each run of literal text
// between stars is found left to right without backtracking, the last one must end the name, and a
// name used up before the mask matches only when the mask ends with "*".
bool MatchesMask(const std::string& Name, const std::string& Mask, bool IgnoreCase);

// --- Paths --------------------------------------------------------------------------------------------

// Free typing made into a clean ";" list of paths (JoinQuotedList). Quoted text is one path; an
// unquoted run of tokens separated by blanks, "," or ";" is one path up to the next token that begins a
// new absolute path. Each path is added once (exactly; without case in Windows syntax, where a lone
// drive "c:" becomes "c:\" and "c:name" becomes "c:\name").
std::u16string ParsePathList(const std::u16string& Text, TPathSyntax Syntax = psPlainFile);
// An absolute path: one that begins with "/" (Windows: a drive letter and ":" with no further ":", or a
// start with "\\").
bool IsAbsolutePath(const std::u16string& Path, TPathSyntax Syntax = psPlainFile);
// Splits Path at its last separator (see TPathSyntax); the separator belongs to neither part. Without
// one, Folder is empty and Name is Path.
void SplitItemPath(const std::u16string& Path, TPathSyntax Syntax, std::u16string& Folder,
                   std::u16string& Name);
std::u16string ExtractItemName(const std::u16string& Path, TPathSyntax Syntax);
std::u16string ExtractItemFolder(const std::u16string& Path, TPathSyntax Syntax);

// --- Sizes --------------------------------------------------------------------------------------------

// The size units of the main window's size boxes.
enum TSizeUnits : int32_t { suBytes = 0, suKilobytes = 1, suMegabytes = 2 };

// The decimal number in Text (blanks around it allowed) times 1, 1024 or 1048576 by Units; -1 when
// Text is not a number, is negative, or the product does not fit in 64 bits.
int64_t SizeTextToBytes(const std::u16string& Text, int32_t Units);
// Bytes divided (integer division) by 1, 1024 or 1048576 by Units, as decimal text.
std::u16string FormatSizeForUnits(int64_t Bytes, int32_t Units);
