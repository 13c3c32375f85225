// TItemTarget: the file that one archive item is extracted to under a name the caller chose. The item is
// written to a new file beside that name and moved over it only once the wrapper has accepted the result,
// so that an item the archive does not hold, a damaged one or one of the wrong size leaves an existing file
// of that name as it was and no new file behind.
//
// Ownership and threads: used on the stack of one extraction on the caller's thread; the temporary file
// belongs to the object until Commit and is deleted with it otherwise.
#pragma once

#include <string>

class TItemTarget {
 public:
  explicit TItemTarget(std::string Path);
  ~TItemTarget();
  TItemTarget(const TItemTarget&) = delete;
  TItemTarget& operator=(const TItemTarget&) = delete;

  // Makes the folders of Path and creates an empty temporary file in Path's folder; false with errno set
  // when either fails.
  bool Prepare();
  // The temporary file to write the item to; empty before Prepare succeeded.
  const std::string& TempPath() const { return Temp_; }
  // Moves the temporary file over Path (replacing a file of that name); false with errno set when that
  // fails, and the temporary file is then deleted.
  bool Commit();

 private:
  std::string Path_;
  std::string Temp_;
};
