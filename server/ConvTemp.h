// The conversion server's temporary folder and files: a folder "Temp" beside the program (or beside the
// installation that the machine settings name) takes the place of the system's temporary folder when it
// exists; temporary files are made there with a prefix and a unique tail.
//
// Every routine answers false on failure and leaves the reason in the error text (GetLastErrorText).
// The state is process-wide and used by the server's one thread.
#pragma once

#include <string>

// Remembers Folder as the temporary folder when it is an existing directory; answers whether it did.
bool SetTempFolderOverride(const std::string& Folder);
// Forgets the override (program end, tests).
void ClearTempFolderOverride();
// The override when it is set and still exists, else the system's temporary folder; always with a
// trailing "/".
bool GetPluginTempFolder(std::string& Folder);
// Creates a new empty file in Folder whose name starts with Prefix; FileName receives its path.
bool MakeTempFileNameIn(const std::string& Folder, const std::string& Prefix, std::string& FileName);
// MakeTempFileNameIn(GetPluginTempFolder, "QV").
bool MakePluginTempFile(std::string& FileName);
// At program start: the folder "Temp" beside the program, else "Temp" beside the path that the machine
// key "Software\Quorvane\Scopewise\1.0" holds as its default value, becomes the override when it exists.
void InitPluginTempFolder();

// A temporary file that is deleted when its owner goes, on every path.
class TTempFile {
 public:
  TTempFile() = default;
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  // Makes the file with MakePluginTempFile; false (error text set) when that failed.
  bool Make();
  const std::string& Name() const { return Name_; }

 private:
  std::string Name_;
};
