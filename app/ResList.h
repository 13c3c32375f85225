// What the results list shows and how it sorts: the text of each cell of a row of the result table, the
// sort state that a header click moves to, and the match of type-to-find. The list widget
// (ui/ResListModel) asks these for every cell it paints.
#pragma once

#include <cstdint>
#include <string>

class TSearchResults;

// The columns of the results list, in their designed order.
enum TResListColumnIndex : int { rlcName = 0, rlcPath = 1, rlcSize = 2, rlcDate = 3 };

// The text of a cell: the row's name; its folder (for an archive item the archive's path, "|" and the
// folder inside it); the size with thousands separators; the date and time.
std::u16string ResListCellText(const TSearchResults& Results, int32_t Row, int Column);

// The sort state after a click on Column: the same column (by absolute value) flips its direction, another
// one sorts ascending. SortColumn is 0 for unsorted, +(c + 1) for column c ascending, -(c + 1) descending;
// -1 (set by every new hit and every clearing) counts as column 0 descending.
int32_t NextSortColumn(int32_t SortColumn, int Column);

// Type-to-find: the row's name begins with Typed, compared without case. A name shorter than the typed
// text never matches.
bool ResListNameMatches(const std::u16string& Name, const std::u16string& Typed);
