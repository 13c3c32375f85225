// Fixtures of the application tests: a per-user registry in a temporary folder, and helpers for files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "app/MainForm.h"
#include "core/FileLayer.h"
#include "core/WinUtils.h"
#include "tests/core/FileFixtures.h"

// Points $XDG_CONFIG_HOME at a fresh folder and makes the program's registry store follow it; both are
// restored when the test ends.
class TRegistrySandbox {
 public:
  TRegistrySandbox() {
    if (const char* Old = std::getenv("XDG_CONFIG_HOME")) Saved_ = Old;
    setenv("XDG_CONFIG_HOME", Folder.Path.c_str(), 1);
    SetRegStore(nullptr);  // taken again from the environment
  }
  ~TRegistrySandbox() {
    if (Saved_)
      setenv("XDG_CONFIG_HOME", Saved_->c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    SetRegStore(nullptr);
  }
  TRegistrySandbox(const TRegistrySandbox&) = delete;
  TRegistrySandbox& operator=(const TRegistrySandbox&) = delete;

  // The folder of the program's key.
  std::string ProgramKeyFolder() const { return Folder.Path + "/Quorvane/QVSearch"; }

  TTempFolder Folder;

 private:
  std::optional<std::string> Saved_;
};

// The folder of the application's test fixtures.
inline std::string AppTestData(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/" + Name;
}

// The command line of a program in ProgramDir that searches Tree for Text in its "*.txt" files.
inline TMainCommandLine TreeSearchCommandLine(const std::string& ProgramDir, const std::string& Tree,
                                              const std::string& Text) {
  TMainCommandLine L;
  L.ProgramPath = Utf8ToUtf16(ProgramDir + "/Scryline");
  L.Text = Utf8ToUtf16(Text);
  L.Path = Utf8ToUtf16(Tree);
  L.Mask = u"*.txt";
  return L;
}
