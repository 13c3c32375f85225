// The path chooser's list logic, without widgets: the paths the user checked, in display order, kept in
// step with the folder tree's check boxes; the named path sets of the settings.
//
// Paths are compared exactly (folder names have case on this system); the display order sorts without
// case and breaks ties exactly. Main thread only.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

class TWideStrStrDic;

// A chosen path in the form the list keeps: a final "/." loses its dot and a trailing "/" is dropped
// (the root stays "/").
std::u16string NormalizeSelectedPath(const std::u16string& Path);
// The display order: without case, ties broken exactly.
bool PathDisplayLess(const std::u16string& A, const std::u16string& B);

class TPathSelection {
 public:
  // With the sort box on, a new path goes to its sorted place; otherwise to the end.
  bool SortPaths = false;

  // Paths := the split text, each normalised, duplicates dropped, sorted with the sort box on.
  void SetPathsText(const std::u16string& Text);
  // The list as the search's path text.
  std::u16string PathsText() const;
  // A saved set's text: the checked paths in dictionary order.
  std::u16string SetText() const;

  // Adds Path unless it is there; true when added. OnNodeCheck (Path, true) runs for a new one.
  bool Add(const std::u16string& Path);
  // Removes Path when it is there; true when removed. OnNodeCheck (Path, false) runs then.
  bool Remove(const std::u16string& Path);
  void Clear();
  // Sorts the list once (a header click, or the sort box switched on).
  void Sort();
  bool Contains(const std::u16string& Path) const { return Checked_.count(NormalizeSelectedPath(Path)) != 0; }
  const std::vector<std::u16string>& Paths() const { return List_; }

  // Tells the tree to tick or untick the node that shows a path, when it shows one.
  std::function<void(const std::u16string& Path, bool Checked)> OnNodeCheck;

 private:
  std::vector<std::u16string> List_;
  std::set<std::u16string> Checked_;
};

// Saved sets: the name whose text equals Text (empty when none).
std::u16string FindSavedSet(const TWideStrStrDic& Sets, const std::u16string& Text);
// The names in key order.
std::vector<std::u16string> SavedSetNames(const TWideStrStrDic& Sets);
// Text with every "&" doubled, for a name shown in a question.
std::u16string DoubleAmpersands(const std::u16string& Text);
