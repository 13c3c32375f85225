// The converter host over the test converter libraries of tests/plugins/lib. Each document is a small
// script that tells every library what to do with it (see tests/plugins/lib/ScriptConverter.h).
#include "search/QVConvIntf.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive/Archiver.h"
#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "core/VStream.h"
#include "tests/plugins/TestLibraries.h"

namespace {

// The outcome of one conversion through the list.
struct TResult {
  bool Ok = false;
  std::string Text;  // the block's bytes
  std::string Error;
  std::string Converter;  // the file name of the library that answered, without folder and ".so"
  bool Unicode = false;
};

std::string ShortName(const TQVConverter* Converter) {
  if (Converter == nullptr) return "";
  std::string Name = Converter->GetFileName();
  Name = Name.substr(Name.rfind('/') + 1);
  return Name.substr(0, Name.size() - 3);
}

TResult Outcome(TResultBlock Block, int32_t Size, const std::string& Error, TQVConverter* Converter,
                bool IsUnicode) {
  TResult R;
  R.Ok = Block != nullptr;
  if (Block) R.Text.assign(static_cast<const char*>(Block.get()), static_cast<size_t>(Size));
  R.Error = Error;
  R.Converter = ShortName(Converter);
  R.Unicode = IsUnicode;
  return R;
}

std::string Utf16Bytes(const std::string& Ascii) {
  std::string Bytes;
  for (char C : Ascii) Bytes += {C, '\0'};
  return Bytes;
}

// Points $TMPDIR at a fresh folder for the scope and restores it afterwards.
class TTempDirScope {
 public:
  TTempDirScope() {
    const char* Old = getenv("TMPDIR");
    HadOld_ = Old != nullptr;
    if (HadOld_) Old_ = Old;
    setenv("TMPDIR", Folder.Path.c_str(), 1);
  }
  ~TTempDirScope() {
    if (HadOld_) {
      setenv("TMPDIR", Old_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  // The number of files in the folder.
  int Entries() const {
    std::unique_ptr<DIR, int (*)(DIR*)> Dir(opendir(Folder.Path.c_str()), closedir);
    int Entries = 0;
    while (dirent* E = readdir(Dir.get())) Entries += E->d_name[0] != '.';
    return Entries;
  }

  TTestFolder Folder;

 private:
  bool HadOld_ = false;
  std::string Old_;
};

class ConverterHost : public ::testing::Test {
 protected:
  // Loads the named test libraries into the list, in order.
  void Load(const std::vector<std::string>& Names) {
    for (const std::string& Name : Names)
      ASSERT_EQ(List_.AddConverter(TestPluginPath(Name), false), 0) << Name;
  }
  TQVConverter* Converter(const std::string& Name) {
    for (int32_t I = 0; I < List_.Count(); ++I) {
      if (ShortName(List_.GetConverter(I)) == Name) return List_.GetConverter(I);
    }
    ADD_FAILURE() << Name << " is not loaded";
    return nullptr;
  }
  TResult ConvertFile(const std::string& Path, int UnicodeMode = kUnicodeModeAnsi) {
    std::string Error = "stale";
    TQVConverter* Converter = nullptr;
    int32_t Size = -1;
    bool Unicode = true;
    TResultBlock Block = List_.ConvertFile(Path, UnicodeMode, "", Error, Converter, Size, Unicode);
    return Outcome(std::move(Block), Size, Error, Converter, Unicode);
  }
  TResult ConvertStream(TVStream& Stream, const std::string& DisplayName,
                        int UnicodeMode = kUnicodeModeAnsi) {
    std::string Error = "stale";
    TQVConverter* Converter = nullptr;
    int32_t Size = -1;
    bool Unicode = true;
    TResultBlock Block =
        List_.ConvertStream(Stream, DisplayName, "", Error, Converter, Size, Unicode, UnicodeMode);
    return Outcome(std::move(Block), Size, Error, Converter, Unicode);
  }

  TTestFolder Folder_;
  TQVConverters List_;
};

TEST_F(ConverterHost, LoadCodes) {
  TQVConverter Converter;
  EXPECT_EQ(Converter.Load(TestPluginPath("impnoconv")), kConverterExportMissing);
  EXPECT_EQ(Converter.LoadErrorText, "The export ConvertToUnicode is missing");
  EXPECT_EQ(Converter.Handle, nullptr);

  std::string NotALibrary = Folder_.Write("impbroken.so", "this is no shared library");
  EXPECT_EQ(Converter.Load(NotALibrary), kConverterLoadFailed);
  // The system's own text, which names the file.
  EXPECT_NE(Converter.LoadErrorText.find(NotALibrary), std::string::npos) << Converter.LoadErrorText;
  EXPECT_EQ(Converter.Load(Folder_.Path + "/impmissing.so"), kConverterLoadFailed);
  EXPECT_NE(Converter.LoadErrorText.find("impmissing.so"), std::string::npos) << Converter.LoadErrorText;

  ASSERT_EQ(Converter.Load(TestPluginPath("impxls")), kConverterLoaded);
  EXPECT_EQ(Converter.Flags, 0x0E);
  EXPECT_EQ(Converter.GetFileName(), TestPluginPath("impxls"));
  EXPECT_EQ(Converter.GetDllInfo(), "Test Library xls");
  int32_t Count = 0;
  EXPECT_EQ(Converter.ListSupportedTypes(Count), "xls");
  EXPECT_EQ(Count, 1);
  EXPECT_EQ(Converter.GetType(0), "xls");
  EXPECT_EQ(Converter.GetTypeDescription(0), "Test Sheet (XLS)");
  EXPECT_EQ(Converter.GetType(1), "");  // the library answers null
  EXPECT_NE(Converter.Exports.SetCallback, nullptr);
  EXPECT_EQ(Converter.Exports.IsMemDataSupported, nullptr);

  // A library with only the required exports loads; its optional slots stay empty.
  ASSERT_EQ(Converter.Load(TestPluginPath("impraw")), kConverterLoaded);
  EXPECT_EQ(Converter.Exports.SetCallback, nullptr);
  EXPECT_EQ(Converter.Exports.ConvertToUnicodeW, nullptr);
  Converter.Unload();
  EXPECT_EQ(Converter.GetFileName(), "");
  EXPECT_EQ(Converter.GetDllInfo(), "");
}

TEST_F(ConverterHost, ListKeepsOnlyLoadedLibraries) {
  EXPECT_EQ(List_.AddConverter(TestPluginPath("impnoconv"), false), kConverterExportMissing);
  EXPECT_EQ(List_.AddConverter(Folder_.Write("impbad.so", "x"), false), kConverterLoadFailed);
  EXPECT_NE(List_.LastLoadError.find("impbad.so"), std::string::npos);
  EXPECT_EQ(List_.AddConverter(TestPluginPath("impxls"), true), kConverterLoaded);
  EXPECT_EQ(List_.AddConverter(TestPluginPath("imphtm"), false), kConverterLoaded);
  EXPECT_EQ(List_.Count(), 2);
  EXPECT_EQ(List_.EnabledCount(), 1);
  EXPECT_TRUE(List_.GetConverter(0)->Disabled);
  EXPECT_EQ(List_.GetConverter(1)->Owner, &List_);
}

TEST_F(ConverterHost, FreeingTheListUnloadsTheLibraries) {
  const std::string Path = TestPluginPath("impdoc");
  {
    TQVConverters List;
    ASSERT_EQ(List.AddConverter(Path, false), kConverterLoaded);
    void* Again = dlopen(Path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(Again, nullptr);
    dlclose(Again);
  }
  EXPECT_EQ(dlopen(Path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// The libraries that claim the extension are asked before those that recognise the content, whatever
// their place in the list; within a pass the list's order holds.
TEST_F(ConverterHost, ExtensionPassBeforeContentPass) {
  Load({"impmp3", "impxls", "imphtm"});
  struct TCase {
    const char* Name;
    const char* Script;
    bool Ok;
    const char* Text;
    const char* Converter;
    const char* Error;
  };
  const TCase Cases[] = {
      {"a.xls", "claim: mp3\nxls: text A\nmp3: text B", true, "xls:A", "impxls", ""},
      {"b.XLS", "claim: mp3\nxls: fail first\nmp3: text B", true, "mp3:B", "impmp3", "first"},
      {"c.xls", "claim: mp3\nxls: fail one\nmp3: fail two", false, "", "", "one\r\ntwo"},
      {"d.txt", "claim: htm mp3\nmp3: text M\nhtm: text H", true, "mp3:M", "impmp3", ""},
      {"e.txt", "mp3: text M", false, "", "", ""},
      // A library that failed by extension is not asked again by content.
      {"f.xls", "claim: xls\nxls: fail once", false, "", "", "once"},
      {"noext", "claim: htm\nhtm: text H", true, "htm:H", "imphtm", ""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TResult R = ConvertFile(Folder_.Write(C.Name, C.Script));
    EXPECT_EQ(R.Ok, C.Ok);
    EXPECT_EQ(R.Text, C.Text);
    EXPECT_EQ(R.Converter, C.Converter);
    EXPECT_EQ(R.Error, C.Error);
  }
  // A disabled library is skipped in both passes.
  Converter("impxls")->Disabled = true;
  Converter("impmp3")->Disabled = true;
  TResult R = ConvertFile(Folder_.Write("g.xls", "claim: mp3 htm\nxls: text A\nmp3: text B\nhtm: text H"));
  EXPECT_EQ(R.Text, "htm:H");
}

TEST_F(ConverterHost, UnicodeModeChoosesTheForm) {
  Load({"impdoc", "impmp3"});
  std::string Doc = Folder_.Write("a.doc", "doc: text d");
  std::string Mp3 = Folder_.Write("a.mp3", "mp3: text m");
  struct TCase {
    int Mode;
    bool DocUnicode;
    bool Mp3Unicode;
  };
  for (TCase C : {TCase{kUnicodeModeAnsi, false, false}, TCase{kUnicodeModeUnicode, true, true},
                  TCase{kUnicodeModeNative, true, false}, TCase{7, true, false}}) {
    SCOPED_TRACE(C.Mode);
    TResult R = ConvertFile(Doc, C.Mode);
    EXPECT_EQ(R.Unicode, C.DocUnicode);
    EXPECT_EQ(R.Text, C.DocUnicode ? Utf16Bytes("doc:d") : "doc:d");
    R = ConvertFile(Mp3, C.Mode);
    EXPECT_EQ(R.Unicode, C.Mp3Unicode);
    EXPECT_EQ(R.Text, C.Mp3Unicode ? Utf16Bytes("mp3:m") : "mp3:m");
  }
}

// A Linux name may hold bytes that are not UTF-8; such a name reaches the library unchanged through the
// 8-bit exports instead of being mangled on its way to UTF-16.
TEST_F(ConverterHost, FileNamesReachTheLibraryUnchanged) {
  Load({"impxls"});
  for (std::string Name : {"\xC3\xA4 sheet.xls", "\xFF\xFE sheet.xls"}) {
    std::string Path = Folder_.Write(Name, "claim: xls\nxls: name");
    TResult R = ConvertFile(Path);
    EXPECT_TRUE(R.Ok) << R.Error;
    EXPECT_EQ(R.Text, "xls:" + Path);
    EXPECT_TRUE(Converter("impxls")->IsFileSupported(Path));
  }
}

TEST_F(ConverterHost, FailuresInsideALibraryBecomeItsErrorText) {
  Load({"imphtm", "impraw"});
  struct TCase {
    const char* Name;
    const char* Script;
    std::string Error;
  };
  const TCase Cases[] = {
      {"a.htm", "htm: fail Broken table", "Broken table"},
      {"b.htm", "htm: throwint", "Unknown exception"},
      {"c.htm", "htm: nomem", "Out of memory"},
      // An exception that a careless library lets through its export is caught by the host.
      {"throw.raw", "", "thrown through the export"},
      // That library writes one byte past MaxLen; the host keeps 512 characters of it.
      {"d.raw", "", std::string(512, 'r')},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TResult R = ConvertFile(Folder_.Write(C.Name, C.Script));
    EXPECT_FALSE(R.Ok);
    EXPECT_EQ(R.Error, C.Error);
  }
}

// A library that answers text may warn: the answering converter keeps the warning of that conversion, and
// each conversion starts without one. A library without the export never warns.
TEST_F(ConverterHost, AConversionsWarningStaysWithTheConverter) {
  Load({"impxls", "impmp3"});
  struct TCase {
    const char* Name;
    const char* Script;
    const char* Converter;
    const char* Warning;
  };
  const TCase Cases[] = {
      {"a.xls", "xls: warn Pages 2, 5 left out", "impxls", "Pages 2, 5 left out"},
      {"b.xls", "xls: text plain", "impxls", ""},
      {"c.xls", "xls: warn Page 1 left out", "impxls", "Page 1 left out"},
      {"d.xls", "xls: fail Broken", "", ""},
      {"e.mp3", "mp3: warn Unsaid", "impmp3", ""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TResult R = ConvertFile(Folder_.Write(C.Name, C.Script));
    EXPECT_EQ(R.Converter, C.Converter);
    EXPECT_EQ(Converter("impxls")->Warning, std::string(C.Converter) == "impxls" ? C.Warning : "");
    EXPECT_EQ(Converter("impmp3")->Warning, "");
  }
}

// A progress handler answering false stops the whole call at once: no other library is asked.
TEST_F(ConverterHost, CancelFromProgressStopsTheConversion) {
  Load({"impxls", "impmp3"});
  std::vector<std::vector<int32_t>> Polls;
  TQVConverter* SeenSender = nullptr;
  List_.OnProgress = [&](TQVConverter* Sender, int32_t Current, int32_t Total) {
    SeenSender = Sender;
    Polls.push_back({Current, Total});
    return Polls.size() < 3;
  };
  TResult R = ConvertFile(Folder_.Write("a.xls", "claim: mp3\nxls: cancel\nmp3: text B"));
  EXPECT_FALSE(R.Ok);
  EXPECT_EQ(R.Error, "User canceled");
  EXPECT_EQ(Polls, (std::vector<std::vector<int32_t>>{{-1, -1}, {-1, -1}, {-1, -1}}));
  EXPECT_EQ(SeenSender, Converter("impxls"));
  EXPECT_TRUE(Converter("impxls")->Cancelled);

  // Positions reach the handler as the library reports them.
  Polls.clear();
  List_.OnProgress = [&](TQVConverter*, int32_t Current, int32_t Total) {
    Polls.push_back({Current, Total});
    return true;
  };
  R = ConvertFile(Folder_.Write("b.xls", "xls: progress"));
  EXPECT_EQ(R.Text, "xls:done");
  EXPECT_EQ(Polls, (std::vector<std::vector<int32_t>>{{1, 3}, {2, 3}, {3, 3}}));
  EXPECT_FALSE(Converter("impxls")->Cancelled);

  // A library without SetCallback converts without asking.
  Polls.clear();
  List_.OnProgress = [&](TQVConverter*, int32_t, int32_t) { return false; };
  R = ConvertFile(Folder_.Write("c.mp3", "mp3: cancel"));
  EXPECT_EQ(R.Text, "mp3:not cancelled");

  // A handler that raises stops the conversion with its message; nothing crosses the library.
  List_.OnProgress = [&](TQVConverter*, int32_t, int32_t) -> bool { throw Exception("handler failed"); };
  R = ConvertFile(Folder_.Write("d.xls", "claim: mp3\nxls: cancel\nmp3: text B"));
  EXPECT_FALSE(R.Ok);
  EXPECT_EQ(R.Error, "handler failed");
}

// A library that locks makes the list busy for its conversion: a conversion through the list from inside
// the progress handler is refused, and the list hears busy and idle once each.
TEST_F(ConverterHost, BusyLock) {
  Load({"impxls", "imphtm"});
  std::string Nested = Folder_.Write("n.htm", "htm: text nested");
  std::vector<bool> Changes;
  List_.OnBusyChange = [&](TQVConverters* Sender, bool Busy) {
    EXPECT_EQ(Sender, &List_);
    Changes.push_back(Busy);
  };
  std::vector<TResult> Inner;
  List_.OnProgress = [&](TQVConverter*, int32_t, int32_t) {
    EXPECT_TRUE(List_.Busy);
    EXPECT_TRUE(Converter("impxls")->Busy);
    Inner.push_back(ConvertFile(Nested));
    // A library that converts without the lock may run inside; the outer lock stays.
    std::string Error;
    int32_t Size = 0;
    TResultBlock Block = Converter("imphtm")->ConvertFile(Nested, false, nullptr, Error, Size);
    EXPECT_TRUE(Block != nullptr) << Error;
    EXPECT_TRUE(List_.Busy);
    // The same library cannot run inside its own conversion.
    Block = Converter("impxls")->ConvertFile(Nested, false, nullptr, Error, Size);
    EXPECT_EQ(Block, nullptr);
    EXPECT_EQ(Error, "Converters are busy");
    return true;
  };
  TResult R = ConvertFile(Folder_.Write("a.xls", "xls: progress"));
  EXPECT_EQ(R.Text, "xls:done");
  ASSERT_EQ(Inner.size(), 3u);
  EXPECT_FALSE(Inner[0].Ok);
  EXPECT_EQ(Inner[0].Error, "Converters are busy");
  EXPECT_EQ(Changes, (std::vector<bool>{true, false}));
  EXPECT_FALSE(List_.Busy);
  EXPECT_FALSE(Converter("impxls")->Busy);

  // A library without the lock leaves the list alone, but it still cannot run inside itself.
  Changes.clear();
  Inner.clear();
  List_.OnProgress = [&](TQVConverter*, int32_t, int32_t) {
    EXPECT_FALSE(List_.Busy);
    Inner.push_back(ConvertFile(Nested));
    return true;
  };
  R = ConvertFile(Folder_.Write("b.htm", "htm: progress"));
  EXPECT_EQ(R.Text, "htm:done");
  EXPECT_TRUE(Changes.empty());
  ASSERT_EQ(Inner.size(), 3u);
  EXPECT_EQ(Inner[0].Error, "Converters are busy");

  // A busy-change handler that raises leaves neither the list nor the library busy.
  List_.OnProgress = nullptr;
  List_.OnBusyChange = [](TQVConverters*, bool) { throw Exception("handler failed"); };
  R = ConvertFile(Folder_.Write("c.xls", "xls: text fine"));
  EXPECT_EQ(R.Text, "xls:fine");
  EXPECT_FALSE(List_.Busy);
  EXPECT_FALSE(Converter("impxls")->Busy);
}

TEST_F(ConverterHost, MemoryStreamConvertedWhereItLies) {
  Load({"impxls", "imphtm"});
  const std::string Script = "htm: name\nxls: name";
  TVReadOnlyMemStream Stream(Script.data(), static_cast<int32_t>(Script.size()));
  TResult R = ConvertStream(Stream, "folder/page.HTM");
  EXPECT_EQ(R.Text, "htm:memory");
  EXPECT_EQ(R.Converter, "imphtm");
}

// Libraries that read only files get a temporary copy named "QV..." with the stream's extension, and the
// copy is gone afterwards whatever happened.
TEST_F(ConverterHost, MemoryStreamThroughATemporaryFile) {
  Load({"impxls", "imphtm"});
  TTempDirScope Temp;
  struct TCase {
    const char* Display;
    const char* Script;
    const char* TextPrefix;  // what the text starts with, after the temporary folder
    const char* TextSuffix;
    const char* Error;
  };
  const TCase Cases[] = {
      {"sheet.xls", "xls: name", "xls:", ".xls", ""},
      {"sheet.xls", "xls: fail Broken sheet", nullptr, nullptr, "Broken sheet"},
      {"sheet.xls", "xls: cancel", nullptr, nullptr, "User canceled"},
      // No extension: every library may still recognise the content, through the file.
      {"data", "claim: htm\nhtm: name", "htm:", "", ""},
      // The library that failed on the memory block is not asked again through the file; both errors stay.
      {"page.htm", "claim: htm xls\nhtm: fail in memory\nxls: fail in file", nullptr, nullptr,
       "in memory\r\nin file"},
  };
  List_.OnProgress = [](TQVConverter*, int32_t, int32_t) { return false; };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(C.Display) + " " + C.Script);
    std::string Script = C.Script;
    TVReadOnlyMemStream Stream(Script.data(), static_cast<int32_t>(Script.size()));
    TResult R = ConvertStream(Stream, C.Display);
    EXPECT_EQ(R.Ok, C.TextPrefix != nullptr);
    EXPECT_EQ(R.Error, C.Error);
    if (C.TextPrefix != nullptr) {
      // The copy lies in a folder of this process below the temporary root.
      const std::string Prefix =
          std::string(C.TextPrefix) + Temp.Folder.Path + "/" + kTempArchiveRootName + "/";
      EXPECT_EQ(R.Text.substr(0, Prefix.size()), Prefix) << R.Text;
      EXPECT_EQ(R.Text.substr(R.Text.rfind('/') + 1, 2), "QV") << R.Text;
      EXPECT_EQ(R.Text.substr(R.Text.size() - std::string(C.TextSuffix).size()), C.TextSuffix);
      EXPECT_FALSE(TestFileExists(R.Text.substr(4)));
    }
    EXPECT_EQ(Temp.Entries(), 0) << "a temporary file was left behind";
  }
}

// When the copy cannot be made or written, the call fails with the system's text and leaves nothing behind.
TEST_F(ConverterHost, TemporaryFileFailures) {
  Load({"impxls"});
  TTempDirScope Temp;
  const std::string Script = "xls: text never";
  TVReadOnlyMemStream Stream(Script.data(), static_cast<int32_t>(Script.size()));
  {
    TFaultyFileLayer Layer;
    TFileLayerScope Scope(Layer);
    Layer.FailCall(TFileOp::MakeTemp, 1, ENOSPC);
    TResult R = ConvertStream(Stream, "a.xls");
    EXPECT_FALSE(R.Ok);
    EXPECT_EQ(R.Error, std::string("GetTempFileName error: ") + strerror(ENOSPC));
  }
  {
    TFaultyFileLayer Layer;
    TFileLayerScope Scope(Layer);
    Layer.FailFrom(TFileOp::Write, ENOSPC);
    TResult R = ConvertStream(Stream, "a.xls");
    EXPECT_FALSE(R.Ok);
    EXPECT_NE(R.Error.find("write"), std::string::npos) << R.Error;
  }
  EXPECT_EQ(Temp.Entries(), 0) << "a temporary file was left behind";
}

TEST_F(ConverterHost, OtherStreams) {
  Load({"impxls"});
  std::string Path = Folder_.Write("a.xls", "xls: name");
  TVFileStream File(Path, fmOpenRead);
  TResult R = ConvertStream(File, "whatever.bin");
  EXPECT_EQ(R.Text, "xls:" + Path);

  TVMemStream Memory;
  TVLimitedStream Window(&Memory, 0, 0, false);
  std::string Error;
  TQVConverter* Converter = nullptr;
  int32_t Size = 0;
  bool Unicode = false;
  EXPECT_THROW(List_.ConvertStream(Window, "a.xls", "", Error, Converter, Size, Unicode, 0), Exception);
}

}  // namespace
