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

#include "core/FileLayer.h"
#include "core/VFileStream.h"
#include "core/VStream.h"
#include "tests/plugins/TestLibraries.h"

namespace {

// The outcome of one conversion through the list.
struct TResult {
  bool ok = false;
  std::string text;  // the block's bytes
  std::string error;
  std::string converter;  // the file name of the library that answered, without folder and ".so"
  bool unicode = false;
};

std::string ShortName(const TQVConverter* Converter) {
  if (Converter == nullptr) return "";
  std::string name = Converter->GetFileName();
  name = name.substr(name.rfind('/') + 1);
  return name.substr(0, name.size() - 3);
}

TResult Outcome(TResultBlock Block, int32_t Size, const std::string& Error, TQVConverter* Converter,
                bool IsUnicode) {
  TResult r;
  r.ok = Block != nullptr;
  if (Block) r.text.assign(static_cast<const char*>(Block.get()), static_cast<size_t>(Size));
  r.error = Error;
  r.converter = ShortName(Converter);
  r.unicode = IsUnicode;
  return r;
}

std::string Utf16Bytes(const std::string& Ascii) {
  std::string bytes;
  for (char c : Ascii) bytes += {c, '\0'};
  return bytes;
}

// Points $TMPDIR at a fresh folder for the scope and restores it afterwards.
class TTempDirScope {
 public:
  TTempDirScope() {
    const char* old = getenv("TMPDIR");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("TMPDIR", Folder.Path.c_str(), 1);
  }
  ~TTempDirScope() {
    if (had_old_) {
      setenv("TMPDIR", old_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  // The number of files in the folder.
  int Entries() const {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(Folder.Path.c_str()), closedir);
    int entries = 0;
    while (dirent* e = readdir(dir.get())) entries += e->d_name[0] != '.';
    return entries;
  }

  TTestFolder Folder;

 private:
  bool had_old_ = false;
  std::string old_;
};

class ConverterHost : public ::testing::Test {
 protected:
  // Loads the named test libraries into the list, in order.
  void Load(const std::vector<std::string>& Names) {
    for (const std::string& name : Names)
      ASSERT_EQ(List.AddConverter(TestPluginPath(name), false), 0) << name;
  }
  TQVConverter* Converter(const std::string& Name) {
    for (int32_t i = 0; i < List.Count(); ++i) {
      if (ShortName(List.GetConverter(i)) == Name) return List.GetConverter(i);
    }
    ADD_FAILURE() << Name << " is not loaded";
    return nullptr;
  }
  TResult ConvertFile(const std::string& Path, int UnicodeMode = kUnicodeModeAnsi) {
    std::string error = "stale";
    TQVConverter* converter = nullptr;
    int32_t size = -1;
    bool unicode = true;
    TResultBlock block = List.ConvertFile(Path, UnicodeMode, "", error, converter, size, unicode);
    return Outcome(std::move(block), size, error, converter, unicode);
  }
  TResult ConvertStream(TVStream& Stream, const std::string& DisplayName,
                        int UnicodeMode = kUnicodeModeAnsi) {
    std::string error = "stale";
    TQVConverter* converter = nullptr;
    int32_t size = -1;
    bool unicode = true;
    TResultBlock block =
        List.ConvertStream(Stream, DisplayName, "", error, converter, size, unicode, UnicodeMode);
    return Outcome(std::move(block), size, error, converter, unicode);
  }

  TTestFolder Folder;
  TQVConverters List;
};

TEST_F(ConverterHost, LoadCodes) {
  TQVConverter converter;
  EXPECT_EQ(converter.Load(TestPluginPath("impnoconv")), kConverterExportMissing);
  EXPECT_EQ(converter.LoadErrorText, "The export ConvertToUnicode is missing");
  EXPECT_EQ(converter.Handle, nullptr);

  std::string not_a_library = Folder.Write("impbroken.so", "this is no shared library");
  EXPECT_EQ(converter.Load(not_a_library), kConverterLoadFailed);
  // The system's own text, which names the file.
  EXPECT_NE(converter.LoadErrorText.find(not_a_library), std::string::npos) << converter.LoadErrorText;
  EXPECT_EQ(converter.Load(Folder.Path + "/impmissing.so"), kConverterLoadFailed);
  EXPECT_NE(converter.LoadErrorText.find("impmissing.so"), std::string::npos) << converter.LoadErrorText;

  ASSERT_EQ(converter.Load(TestPluginPath("impxls")), kConverterLoaded);
  EXPECT_EQ(converter.Flags, 0x0E);
  EXPECT_EQ(converter.GetFileName(), TestPluginPath("impxls"));
  EXPECT_EQ(converter.GetDllInfo(), "Test Library xls");
  int32_t count = 0;
  EXPECT_EQ(converter.ListSupportedTypes(count), "xls");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(converter.GetType(0), "xls");
  EXPECT_EQ(converter.GetTypeDescription(0), "Test Sheet (XLS)");
  EXPECT_EQ(converter.GetType(1), "");  // the library answers null
  EXPECT_NE(converter.Exports.SetCallback, nullptr);
  EXPECT_EQ(converter.Exports.IsMemDataSupported, nullptr);

  // A library with only the required exports loads; its optional slots stay empty.
  ASSERT_EQ(converter.Load(TestPluginPath("impraw")), kConverterLoaded);
  EXPECT_EQ(converter.Exports.SetCallback, nullptr);
  EXPECT_EQ(converter.Exports.ConvertToUnicodeW, nullptr);
  converter.Unload();
  EXPECT_EQ(converter.GetFileName(), "");
  EXPECT_EQ(converter.GetDllInfo(), "");
}

TEST_F(ConverterHost, ListKeepsOnlyLoadedLibraries) {
  EXPECT_EQ(List.AddConverter(TestPluginPath("impnoconv"), false), kConverterExportMissing);
  EXPECT_EQ(List.AddConverter(Folder.Write("impbad.so", "x"), false), kConverterLoadFailed);
  EXPECT_NE(List.LastLoadError.find("impbad.so"), std::string::npos);
  EXPECT_EQ(List.AddConverter(TestPluginPath("impxls"), true), kConverterLoaded);
  EXPECT_EQ(List.AddConverter(TestPluginPath("imphtm"), false), kConverterLoaded);
  EXPECT_EQ(List.Count(), 2);
  EXPECT_EQ(List.EnabledCount(), 1);
  EXPECT_TRUE(List.GetConverter(0)->Disabled);
  EXPECT_EQ(List.GetConverter(1)->Owner, &List);
}

TEST_F(ConverterHost, FreeingTheListUnloadsTheLibraries) {
  const std::string path = TestPluginPath("impdoc");
  {
    TQVConverters list;
    ASSERT_EQ(list.AddConverter(path, false), kConverterLoaded);
    void* again = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(again, nullptr);
    dlclose(again);
  }
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// The libraries that claim the extension are asked before those that recognise the content, whatever
// their place in the list; within a pass the list's order holds.
TEST_F(ConverterHost, ExtensionPassBeforeContentPass) {
  Load({"impmp3", "impxls", "imphtm"});
  struct TCase {
    const char* name;
    const char* script;
    bool ok;
    const char* text;
    const char* converter;
    const char* error;
  };
  const TCase cases[] = {
      {"a.xls", "claim: mp3\nxls: text A\nmp3: text B", true, "xls:A", "impxls", ""},
      {"b.XLS", "claim: mp3\nxls: fail first\nmp3: text B", true, "mp3:B", "impmp3", "first"},
      {"c.xls", "claim: mp3\nxls: fail one\nmp3: fail two", false, "", "", "one\r\ntwo"},
      {"d.txt", "claim: htm mp3\nmp3: text M\nhtm: text H", true, "mp3:M", "impmp3", ""},
      {"e.txt", "mp3: text M", false, "", "", ""},
      // A library that failed by extension is not asked again by content.
      {"f.xls", "claim: xls\nxls: fail once", false, "", "", "once"},
      {"noext", "claim: htm\nhtm: text H", true, "htm:H", "imphtm", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TResult r = ConvertFile(Folder.Write(c.name, c.script));
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_EQ(r.text, c.text);
    EXPECT_EQ(r.converter, c.converter);
    EXPECT_EQ(r.error, c.error);
  }
  // A disabled library is skipped in both passes.
  Converter("impxls")->Disabled = true;
  Converter("impmp3")->Disabled = true;
  TResult r = ConvertFile(Folder.Write("g.xls", "claim: mp3 htm\nxls: text A\nmp3: text B\nhtm: text H"));
  EXPECT_EQ(r.text, "htm:H");
}

TEST_F(ConverterHost, UnicodeModeChoosesTheForm) {
  Load({"impdoc", "impmp3"});
  std::string doc = Folder.Write("a.doc", "doc: text d");
  std::string mp3 = Folder.Write("a.mp3", "mp3: text m");
  struct TCase {
    int mode;
    bool doc_unicode;
    bool mp3_unicode;
  };
  for (TCase c : {TCase{kUnicodeModeAnsi, false, false}, TCase{kUnicodeModeUnicode, true, true},
                  TCase{kUnicodeModeNative, true, false}, TCase{7, true, false}}) {
    SCOPED_TRACE(c.mode);
    TResult r = ConvertFile(doc, c.mode);
    EXPECT_EQ(r.unicode, c.doc_unicode);
    EXPECT_EQ(r.text, c.doc_unicode ? Utf16Bytes("doc:d") : "doc:d");
    r = ConvertFile(mp3, c.mode);
    EXPECT_EQ(r.unicode, c.mp3_unicode);
    EXPECT_EQ(r.text, c.mp3_unicode ? Utf16Bytes("mp3:m") : "mp3:m");
  }
}

// A Linux name may hold bytes that are not UTF-8; such a name reaches the library unchanged through the
// 8-bit exports instead of being mangled on its way to UTF-16.
TEST_F(ConverterHost, FileNamesReachTheLibraryUnchanged) {
  Load({"impxls"});
  for (std::string name : {"\xC3\xA4 sheet.xls", "\xFF\xFE sheet.xls"}) {
    std::string path = Folder.Write(name, "claim: xls\nxls: name");
    TResult r = ConvertFile(path);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.text, "xls:" + path);
    EXPECT_TRUE(Converter("impxls")->IsFileSupported(path));
  }
}

TEST_F(ConverterHost, FailuresInsideALibraryBecomeItsErrorText) {
  Load({"imphtm", "impraw"});
  struct TCase {
    const char* name;
    const char* script;
    std::string error;
  };
  const TCase cases[] = {
      {"a.htm", "htm: fail Broken table", "Broken table"},
      {"b.htm", "htm: throwint", "Unknown exception"},
      {"c.htm", "htm: nomem", "Out of memory"},
      // An exception that a careless library lets through its export is caught by the host.
      {"throw.raw", "", "thrown through the export"},
      // That library writes one byte past MaxLen; the host keeps 512 characters of it.
      {"d.raw", "", std::string(512, 'r')},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TResult r = ConvertFile(Folder.Write(c.name, c.script));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, c.error);
  }
}

// A progress handler answering false stops the whole call at once: no other library is asked.
TEST_F(ConverterHost, CancelFromProgressStopsTheConversion) {
  Load({"impxls", "impmp3"});
  std::vector<std::vector<int32_t>> polls;
  TQVConverter* sender = nullptr;
  List.OnProgress = [&](TQVConverter* Sender, int32_t Current, int32_t Total) {
    sender = Sender;
    polls.push_back({Current, Total});
    return polls.size() < 3;
  };
  TResult r = ConvertFile(Folder.Write("a.xls", "claim: mp3\nxls: cancel\nmp3: text B"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "User canceled");
  EXPECT_EQ(polls, (std::vector<std::vector<int32_t>>{{-1, -1}, {-1, -1}, {-1, -1}}));
  EXPECT_EQ(sender, Converter("impxls"));
  EXPECT_TRUE(Converter("impxls")->Cancelled);

  // Positions reach the handler as the library reports them.
  polls.clear();
  List.OnProgress = [&](TQVConverter*, int32_t Current, int32_t Total) {
    polls.push_back({Current, Total});
    return true;
  };
  r = ConvertFile(Folder.Write("b.xls", "xls: progress"));
  EXPECT_EQ(r.text, "xls:done");
  EXPECT_EQ(polls, (std::vector<std::vector<int32_t>>{{1, 3}, {2, 3}, {3, 3}}));
  EXPECT_FALSE(Converter("impxls")->Cancelled);

  // A library without SetCallback converts without asking.
  polls.clear();
  List.OnProgress = [&](TQVConverter*, int32_t, int32_t) { return false; };
  r = ConvertFile(Folder.Write("c.mp3", "mp3: cancel"));
  EXPECT_EQ(r.text, "mp3:not cancelled");

  // A handler that raises stops the conversion with its message; nothing crosses the library.
  List.OnProgress = [&](TQVConverter*, int32_t, int32_t) -> bool { throw Exception("handler failed"); };
  r = ConvertFile(Folder.Write("d.xls", "claim: mp3\nxls: cancel\nmp3: text B"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "handler failed");
}

// A library that locks makes the list busy for its conversion: a conversion through the list from inside
// the progress handler is refused, and the list hears busy and idle once each.
TEST_F(ConverterHost, BusyLock) {
  Load({"impxls", "imphtm"});
  std::string nested = Folder.Write("n.htm", "htm: text nested");
  std::vector<bool> changes;
  List.OnBusyChange = [&](TQVConverters* Sender, bool Busy) {
    EXPECT_EQ(Sender, &List);
    changes.push_back(Busy);
  };
  std::vector<TResult> inner;
  List.OnProgress = [&](TQVConverter*, int32_t, int32_t) {
    EXPECT_TRUE(List.Busy);
    EXPECT_TRUE(Converter("impxls")->Busy);
    inner.push_back(ConvertFile(nested));
    // A library that converts without the lock may run inside; the outer lock stays.
    std::string error;
    int32_t size = 0;
    TResultBlock block = Converter("imphtm")->ConvertFile(nested, false, nullptr, error, size);
    EXPECT_TRUE(block != nullptr) << error;
    EXPECT_TRUE(List.Busy);
    // The same library cannot run inside its own conversion.
    block = Converter("impxls")->ConvertFile(nested, false, nullptr, error, size);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(error, "Converters are busy");
    return true;
  };
  TResult r = ConvertFile(Folder.Write("a.xls", "xls: progress"));
  EXPECT_EQ(r.text, "xls:done");
  ASSERT_EQ(inner.size(), 3u);
  EXPECT_FALSE(inner[0].ok);
  EXPECT_EQ(inner[0].error, "Converters are busy");
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  EXPECT_FALSE(List.Busy);
  EXPECT_FALSE(Converter("impxls")->Busy);

  // A library without the lock leaves the list alone, but it still cannot run inside itself.
  changes.clear();
  inner.clear();
  List.OnProgress = [&](TQVConverter*, int32_t, int32_t) {
    EXPECT_FALSE(List.Busy);
    inner.push_back(ConvertFile(nested));
    return true;
  };
  r = ConvertFile(Folder.Write("b.htm", "htm: progress"));
  EXPECT_EQ(r.text, "htm:done");
  EXPECT_TRUE(changes.empty());
  ASSERT_EQ(inner.size(), 3u);
  EXPECT_EQ(inner[0].error, "Converters are busy");

  // A busy-change handler that raises leaves neither the list nor the library busy.
  List.OnProgress = nullptr;
  List.OnBusyChange = [](TQVConverters*, bool) { throw Exception("handler failed"); };
  r = ConvertFile(Folder.Write("c.xls", "xls: text fine"));
  EXPECT_EQ(r.text, "xls:fine");
  EXPECT_FALSE(List.Busy);
  EXPECT_FALSE(Converter("impxls")->Busy);
}

TEST_F(ConverterHost, MemoryStreamConvertedWhereItLies) {
  Load({"impxls", "imphtm"});
  const std::string script = "htm: name\nxls: name";
  TVReadOnlyMemStream stream(script.data(), static_cast<int32_t>(script.size()));
  TResult r = ConvertStream(stream, "folder/page.HTM");
  EXPECT_EQ(r.text, "htm:memory");
  EXPECT_EQ(r.converter, "imphtm");
}

// Libraries that read only files get a temporary copy named "QV..." with the stream's extension, and the
// copy is gone afterwards whatever happened.
TEST_F(ConverterHost, MemoryStreamThroughATemporaryFile) {
  Load({"impxls", "imphtm"});
  TTempDirScope temp;
  struct TCase {
    const char* display;
    const char* script;
    const char* text_prefix;  // what the text starts with, after the temporary folder
    const char* text_suffix;
    const char* error;
  };
  const TCase cases[] = {
      {"sheet.xls", "xls: name", "xls:", ".xls", ""},
      {"sheet.xls", "xls: fail Broken sheet", nullptr, nullptr, "Broken sheet"},
      {"sheet.xls", "xls: cancel", nullptr, nullptr, "User canceled"},
      // No extension: every library may still recognise the content, through the file.
      {"data", "claim: htm\nhtm: name", "htm:", "", ""},
      // The library that failed on the memory block is not asked again through the file; both errors stay.
      {"page.htm", "claim: htm xls\nhtm: fail in memory\nxls: fail in file", nullptr, nullptr,
       "in memory\r\nin file"},
  };
  List.OnProgress = [](TQVConverter*, int32_t, int32_t) { return false; };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.display) + " " + c.script);
    std::string script = c.script;
    TVReadOnlyMemStream stream(script.data(), static_cast<int32_t>(script.size()));
    TResult r = ConvertStream(stream, c.display);
    EXPECT_EQ(r.ok, c.text_prefix != nullptr);
    EXPECT_EQ(r.error, c.error);
    if (c.text_prefix != nullptr) {
      std::string prefix = std::string(c.text_prefix) + temp.Folder.Path + "/QV";
      EXPECT_EQ(r.text.substr(0, prefix.size()), prefix) << r.text;
      EXPECT_EQ(r.text.substr(r.text.size() - std::string(c.text_suffix).size()), c.text_suffix);
      EXPECT_FALSE(TestFileExists(r.text.substr(4)));
    }
    EXPECT_EQ(temp.Entries(), 0) << "a temporary file was left behind";
  }
}

// When the copy cannot be made or written, the call fails with the system's text and leaves nothing behind.
TEST_F(ConverterHost, TemporaryFileFailures) {
  Load({"impxls"});
  TTempDirScope temp;
  const std::string script = "xls: text never";
  TVReadOnlyMemStream stream(script.data(), static_cast<int32_t>(script.size()));
  {
    TFaultyFileLayer layer;
    TFileLayerScope scope(layer);
    layer.FailCall(TFileOp::MakeTemp, 1, ENOSPC);
    TResult r = ConvertStream(stream, "a.xls");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, std::string("GetTempFileName error: ") + strerror(ENOSPC));
  }
  {
    TFaultyFileLayer layer;
    TFileLayerScope scope(layer);
    layer.FailFrom(TFileOp::Write, ENOSPC);
    TResult r = ConvertStream(stream, "a.xls");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("write"), std::string::npos) << r.error;
  }
  EXPECT_EQ(temp.Entries(), 0) << "a temporary file was left behind";
}

TEST_F(ConverterHost, OtherStreams) {
  Load({"impxls"});
  std::string path = Folder.Write("a.xls", "xls: name");
  TVFileStream file(path, fmOpenRead);
  TResult r = ConvertStream(file, "whatever.bin");
  EXPECT_EQ(r.text, "xls:" + path);

  TVMemStream memory;
  TVLimitedStream window(&memory, 0, 0, false);
  std::string error;
  TQVConverter* converter = nullptr;
  int32_t size = 0;
  bool unicode = false;
  EXPECT_THROW(List.ConvertStream(window, "a.xls", "", error, converter, size, unicode, 0), Exception);
}

}  // namespace
