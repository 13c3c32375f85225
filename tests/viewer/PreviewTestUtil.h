// Shared pieces of the preview tests: a host that records what the preview tells it, a temporary folder
// that is also the folder of temporary files (TMPDIR) and must be empty at the end, and found-file
// records of files written there.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "core/VFileSys.h"
#include "viewer/PreviewModel.h"

class FakePreviewHost : public IPreviewHost {
 public:
  void ShowError(const std::u16string& Text) override { Errors.push_back(Text); }
  void ShowWarning(const std::u16string& Text) override { Warnings.push_back(Text); }
  std::u16string GetStatusText() override { return Status; }
  void SetStatusText(const std::u16string& Text) override { Status = Text; }
  TQVConverters* GetConverters() override { return Converters; }
  bool ExtractPassword(const std::string&, const std::string&, std::string&) override { return false; }
  bool EscapePressed() override {
    ++Polls;
    return Escape;
  }
  void OpenURL(const std::u16string& URL) override { Opened.push_back(URL); }

  std::vector<std::u16string> Errors, Warnings, Opened;
  std::u16string Status = u"ready";
  TQVConverters* Converters = nullptr;
  bool Escape = false;
  int Polls = 0;
};

// A folder of its own for one test, with "tmp" below it as TMPDIR.
class TPreviewTestFolder {
 public:
  explicit TPreviewTestFolder(const std::string& Tag)
      : Dir(std::filesystem::temp_directory_path() / (Tag + "_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir / "tmp");
    const char* Old = std::getenv("TMPDIR");
    OldTmp_ = Old ? Old : "";
    ::setenv("TMPDIR", (Dir / "tmp").c_str(), 1);
  }
  ~TPreviewTestFolder() {
    if (OldTmp_.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", OldTmp_.c_str(), 1);
    }
    std::filesystem::remove_all(Dir);
  }
  int32_t TempFiles() const {
    return static_cast<int32_t>(std::distance(std::filesystem::directory_iterator(Dir / "tmp"), {}));
  }
  // Writes Bytes to Name and answers the record of a hit in it, as the file scanner would make it.
  TFoundFileInfo Write(const std::string& Name, const std::string& Bytes,
                       TScanEncoding Encoding = seAnsi) const {
    const std::filesystem::path P = Dir / Name;
    std::ofstream(P, std::ios::binary) << Bytes;
    TFoundFileInfo Info;
    Info.Name = Utf8ToUtf16(P.string());
    GetFileInfo(P.string(), &Info.Size, &Info.Date, nullptr, nullptr, nullptr);
    Info.Encoding = Encoding;
    return Info;
  }
  // The record of item Item of a copy of the fixture archive needles.zip.
  TFoundFileInfo ZipItem(const std::string& Item) const {
    const std::filesystem::path Zip = Dir / "needles.zip";
    if (!std::filesystem::exists(Zip)) {
      std::filesystem::copy_file(std::filesystem::path(SCRYLINE_TEST_DATA) / "preview" / "needles.zip", Zip);
    }
    TFoundFileInfo Info;
    Info.Name = Utf8ToUtf16(Zip.string() + "|" + Item);
    Info.InArchive = true;
    Info.Encoding = seAnsi;
    return Info;
  }

  std::filesystem::path Dir;

 private:
  std::string OldTmp_;
};
