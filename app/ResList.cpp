#include "app/ResList.h"

#include <cstdlib>

#include "app/Utils.h"
#include "core/FileLayer.h"
#include "core/StrUtils.h"
#include "platform/qvnls/Qvnls.h"
#include "search/SrchRes.h"

namespace {

// Only an archive item's path is split at a "|": in a plain file's name it is an ordinary character.
TPathSyntax Syntax(const TSearchResults& Results, int32_t Row) {
  return Results.IsArchiveItem(Row) ? psArchiveItem : psPlainFile;
}

}  // namespace

std::u16string ResListCellText(const TSearchResults& Results, int32_t Row, int Column) {
  // An archive item with its path in parts: its name is its own, even with a "|" in it, and the path
  // column shows everything before it.
  const bool Parted = (Column == rlcName || Column == rlcPath) && Results.GetItemPath(Row) != nullptr;
  switch (Column) {
    case rlcName:
      if (Parted) return Results.GetName(Row);
      return ExtractItemName(Results.GetFullName(Row), Syntax(Results, Row));
    case rlcPath:
      if (Parted) {
        const std::u16string Full = Results.GetFullName(Row);
        const size_t NameLength = Results.GetName(Row).size();
        return NameLength < Full.size() ? Full.substr(0, Full.size() - NameLength - 1) : std::u16string();
      }
      return ExtractItemFolder(Results.GetFullName(Row), Syntax(Results, Row));
    case rlcSize:
      return Utf8ToUtf16(IntToStrGrouped(Results.Sizes.Get(Row)));
    case rlcDate:
      return FormatDateTimeText(Results.Dates.Get(Row));
    default:
      return std::u16string();
  }
}

int32_t NextSortColumn(int32_t SortColumn, int Column) {
  int32_t Clicked = Column + 1;
  if (std::abs(SortColumn) == Clicked) return -SortColumn;
  return Clicked;
}

bool ResListNameMatches(const std::u16string& Name, const std::u16string& Typed) {
  if (Name.size() < Typed.size()) return false;
  auto Length = static_cast<int32_t>(Typed.size());
  return qvnls::CompareTextBufWide(Name.data(), Typed.data(), Length, Length) == 0;
}
