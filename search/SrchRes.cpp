#include "search/SrchRes.h"

#include <vector>

#include "core/FileLayer.h"

TSearchResults::TSearchResults() { Paths.Storage = &Storage; }

void TSearchResults::CheckIndex(int32_t Index) const {
  if (Index < 0 || Index >= Count())
    throw ESearchResultsError("TSearchResults: row " + std::to_string(Index) + " out of range (" +
                              std::to_string(Count()) + " rows)");
}

void TSearchResults::TruncateColumns(int32_t N) {
  if (Paths.GetCount() > N) Paths.SetCount(N);
  if (Sizes.GetCount() > N) Sizes.SetCount(N);
  if (Dates.GetCount() > N) Dates.SetCount(N);
  if (Converters.GetCount() > N) Converters.SetCount(N);
  if (Encodings.GetCount() > N) Encodings.SetCount(N);
  if (InArchive.GetCount() > N) InArchive.SetCount(N);
  if (ItemPaths.GetCount() > N) ItemPaths.SetCount(N);
}

void TSearchResults::Clear() {
  Paths.Clear();
  Sizes.Clear();
  Dates.Clear();
  Converters.Clear();
  Encodings.Clear();
  InArchive.Clear();
  ItemPaths.Clear();
  ItemPathList.clear();
  Storage.Clear();
}

int32_t TSearchResults::Add(const TFoundFileInfo& Info) {
  const int32_t N = Count();
  TPathNode* Node = Storage.Add(Info.Name);
  // The columns grow one by one; a failure half-way cuts them back, so that they keep equal counts.
  try {
    Paths.Add(Node);
    Sizes.Add(Info.Size);
    Dates.Add(Info.Date);
    Converters.Add(Info.Converter);
    Encodings.Add(static_cast<int8_t>(Info.Encoding));
    InArchive.Insert(N, Info.InArchive);
    const bool HasParts = Info.InArchive && Info.ItemPath.size() >= 2;
    if (HasParts) ItemPathList.push_back(Info.ItemPath);
    ItemPaths.Add(HasParts ? static_cast<int32_t>(ItemPathList.size() - 1) : -1);
  } catch (...) {
    TruncateColumns(N);
    throw;
  }
  return N;
}

int32_t TSearchResults::IndexOf(const std::u16string& Path) {
  TPathNode* Node = Storage.Find(Path);
  return Node != nullptr ? Paths.IndexOf(Node) : -1;
}

std::u16string TSearchResults::GetFullName(int32_t Index) const {
  CheckIndex(Index);
  return Storage.GetPath(Paths.GetNode(Index), true);
}

std::u16string TSearchResults::GetName(int32_t Index) const {
  CheckIndex(Index);
  if (const std::vector<std::string>* Parts = GetItemPath(Index)) {
    // The item's own name: a "|" in it is part of the name.
    const std::string& Item = Parts->back();
    const size_t Slash = Item.rfind('/');
    return Utf8ToUtf16(Slash == std::string::npos ? Item : Item.substr(Slash + 1));
  }
  if (InArchive.Get(Index)) return Storage.GetPath(Paths.GetNode(Index), false);
  // The storage also cuts paths at "|", which in a plain file's name is an ordinary character: such a
  // file's name is everything after its last folder separator.
  const std::u16string Full = GetFullName(Index);
  const size_t Cut = Full.rfind(kPathFolderSeparator);
  return Cut == std::u16string::npos ? Full : Full.substr(Cut + 1);
}

bool TSearchResults::IsArchiveItem(int32_t Index) const {
  CheckIndex(Index);
  return InArchive.Get(Index);
}

const std::vector<std::string>* TSearchResults::GetItemPath(int32_t Index) const {
  CheckIndex(Index);
  const int32_t At = ItemPaths.Get(Index);
  return At >= 0 && static_cast<size_t>(At) < ItemPathList.size() ? &ItemPathList[static_cast<size_t>(At)]
                                                                  : nullptr;
}

std::u16string TSearchResults::GetArchiveName(int32_t Index) const {
  if (!IsArchiveItem(Index)) return std::u16string();
  if (const std::vector<std::string>* Parts = GetItemPath(Index)) {
    std::string Archive;
    for (size_t I = 0; I + 1 < Parts->size(); ++I) Archive += (I == 0 ? "" : "|") + (*Parts)[I];
    return Utf8ToUtf16(Archive);
  }
  std::u16string Name = GetFullName(Index);
  const size_t Cut = Name.rfind(kPathArchiveSeparator);
  if (Cut == std::u16string::npos) return std::u16string();
  Name.resize(Cut);
  return Name;
}

void TSearchResults::GetInfo(int32_t Index, TFoundFileInfo& Info) const {
  Info.Name = GetFullName(Index);
  Info.Size = Sizes.Get(Index);
  Info.Date = Dates.Get(Index);
  Info.Converter = static_cast<TQVConverter*>(Converters.Get(Index));
  Info.Encoding = static_cast<TScanEncoding>(Encodings.Get(Index));
  Info.InArchive = InArchive.Get(Index);
  const std::vector<std::string>* Parts = GetItemPath(Index);
  Info.ItemPath = Parts != nullptr ? *Parts : std::vector<std::string>();
}

void TSearchResults::Delete(int32_t Index) {
  CheckIndex(Index);
  Paths.Delete(Index);
  Sizes.Delete(Index);
  Dates.Delete(Index);
  Converters.Delete(Index);
  Encodings.Delete(Index);
  InArchive.Delete(Index);
  ItemPaths.Delete(Index);
}

void SortSearchResults(TSearchResults& Results, int Column, bool Ascending) {
  if (Column < rcName || Column > rcEncoding)
    throw ESearchResultsError("SortSearchResults: unknown column " + std::to_string(Column));
  // Sorting by name uses a copy of the path column that compares the nodes' own names; it is permuted
  // together with the path column, which is then already in name order.
  TNames Names;
  Names.Storage = &Results.Storage;
  Names.Assign(Results.Paths);
  std::vector<TSortableVector*> Keys = {&Names,         &Results.Paths,      &Results.Sizes,
                                        &Results.Dates, &Results.Converters, &Results.Encodings};
  TSortableVector* Primary = Keys[static_cast<size_t>(Column)];
  Keys.erase(Keys.begin() + Column);
  // The archive-item flag travels with its row; it decides only between rows equal in every column.
  Keys.push_back(&Results.InArchive);
  Keys.push_back(&Results.ItemPaths);
  SortVectors(*Primary, Keys, Ascending);
}

bool SearchInResults(TSearchResults& Results, TFileScanner& Scanner) {
  const TWideStrLst NoMasks;
  // Rows that the events add meanwhile are not scanned, and rows they delete end the loop early.
  const int32_t N = Results.Count();
  for (int32_t I = 0; I < N && I < Results.Count(); ++I) {
    const std::u16string Name = Results.GetFullName(I);
    // A copy: the events may add rows, and with them item paths.
    const std::vector<std::string>* Stored = Results.GetItemPath(I);
    const std::vector<std::string> Parts = Stored != nullptr ? *Stored : std::vector<std::string>();
    const bool Go = Results.IsArchiveItem(I)
                        ? Scanner.RescanArchiveItem(Name, Results.Sizes.Get(I), Results.Dates.Get(I), Parts)
                        : Scanner.ScanSingleFile(Name, NoMasks, false, false);
    if (!Go) return false;
  }
  return true;
}
