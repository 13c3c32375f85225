// The export frame seen from outside: the test converter libraries are loaded with dlopen and their exports
// called as a host would call them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugins/ConverterExports.h"
#include "tests/plugins/TestLibraries.h"

namespace {

// One loaded test library with its exports.
class TLibrary {
 public:
  explicit TLibrary(const std::string& Name) : Handle_(dlopen(TestPluginPath(Name).c_str(), RTLD_NOW)) {
    if (Handle_ == nullptr) ADD_FAILURE() << dlerror();
  }
  ~TLibrary() {
    if (Handle_ != nullptr) dlclose(Handle_);
  }
  void* Symbol(const char* Name) const { return Handle_ != nullptr ? dlsym(Handle_, Name) : nullptr; }
  template <class T>
  T Get(const char* Name) const {
    auto F = reinterpret_cast<T>(Symbol(Name));
    if (F == nullptr) ADD_FAILURE() << Name << " is not exported";
    return F;
  }

  // The library's error text, as GetConversionError hands it out.
  std::string Error() const {
    char Buffer[1024];
    Get<TGetConversionError>("GetConversionError")(Buffer, sizeof Buffer);
    return Buffer;
  }

  // ConvertToPureText or ConvertToUnicode of Path: whether a text came, the text's bytes, and Size.
  std::pair<bool, std::string> Convert(const std::string& Path, bool Unicode,
                                       int32_t* SizeOut = nullptr) const {
    int32_t Size = -7;
    void* Block = Unicode ? Get<TConvertToUnicode>("ConvertToUnicode")(Path.c_str(), &Size)
                          : Get<TConvertToPureText>("ConvertToPureText")(Path.c_str(), &Size);
    if (SizeOut != nullptr) *SizeOut = Size;
    if (Block == nullptr) return {false, ""};
    std::string Text(static_cast<const char*>(Block), static_cast<size_t>(Size));
    // Two zero bytes follow every text.
    EXPECT_EQ(static_cast<const char*>(Block)[Size], '\0');
    EXPECT_EQ(static_cast<const char*>(Block)[Size + 1], '\0');
    ConvFreeResultBlock(Block);
    return {true, Text};
  }

 private:
  void* Handle_;
};

std::string Utf16Bytes(const std::string& Ascii) {
  std::string Bytes;
  for (char C : Ascii) Bytes += {C, '\0'};
  return Bytes;
}

TEST(ConverterFrame, AnswersOfTheTypeExports) {
  struct TCase {
    const char* Library;
    const char* List;
    int32_t Count;
    int32_t Flags;
    const char* OutOfRange;  // GetType and GetTypeDescription beyond the last type
  };
  const TCase Cases[] = {
      {"impxls", "xls", 1, 0x0E, nullptr},
      {"imphtm", "htm;html", 2, 0x1F, "-"},
      {"impmp3", "mp3", 1, 0x1D, "-"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Library);
    TLibrary Lib(C.Library);
    int32_t Count = -1;
    EXPECT_STREQ(Lib.Get<TListSupportedTypes>("ListSupportedTypes")(&Count), C.List);
    EXPECT_EQ(Count, C.Count);
    EXPECT_EQ(Lib.Get<TGetCompatibilityFlags>("GetCompatibilityFlags")(), C.Flags);
    auto GetType = Lib.Get<TGetType>("GetType");
    auto GetDescription = Lib.Get<TGetTypeDescription>("GetTypeDescription");
    EXPECT_STREQ(GetType(C.Count), C.OutOfRange);
    EXPECT_STREQ(GetType(-1), C.OutOfRange);
    EXPECT_STREQ(GetDescription(C.Count), C.OutOfRange);
    EXPECT_EQ(std::string(GetType(0)), std::string(C.List).substr(0, 3));
    EXPECT_NE(GetDescription(C.Count - 1), nullptr);
    EXPECT_EQ(Lib.Get<TGetOptionFlags>("GetOptionFlags")(), 0);
    EXPECT_TRUE(Lib.Get<TInitializeConverterTypes>("InitializeConverterTypes")());
    EXPECT_TRUE(Lib.Get<TFreeUpConverterTypes>("FreeUpConverterTypes")());
  }
}

TEST(ConverterFrame, ExtensionTestWholeOrPrefix) {
  struct TCase {
    const char* Library;
    const char* Ext;
    bool Expected;
  };
  const TCase Cases[] = {
      {"impxls", "xls", true}, {"impxls", "XLS", true},    {"impxls", "xlsx", false},
      {"impxls", "xl", false}, {"impxls", "", false},      {"imphtm", "HTML", true},
      {"imphtm", "htm", true}, {"imphtm", "htmlx", false}, {"impmp3", "mp3x", true},
      {"impmp3", "MP3", true}, {"impmp3", "mp", false},    {"impdoc", "docx", true},
  };
  for (const TCase& C : Cases) {
    TLibrary Lib(C.Library);
    EXPECT_EQ(Lib.Get<TIsFileTypeSupported>("IsFileTypeSupported")(C.Ext) != 0, C.Expected)
        << C.Library << " " << C.Ext;
  }
  TLibrary Lib("impxls");
  EXPECT_FALSE(Lib.Get<TIsFileTypeSupported>("IsFileTypeSupported")(nullptr));
}

// Only the contract's names leave a library: not the frame's own functions and variables, and
// SetCallback only where the library was built with it.
TEST(ConverterFrame, ExportsOnlyTheContract) {
  TLibrary Xls("impxls"), Mp3("impmp3");
  EXPECT_NE(Xls.Symbol("SetCallback"), nullptr);
  EXPECT_EQ(Mp3.Symbol("SetCallback"), nullptr);
  EXPECT_NE(Mp3.Symbol("ConvertToPureTextW"), nullptr);
  for (const char* Hidden : {"PluginCallback", "PluginCallbackData", "_Z19ConverterDefinitionv",
                             "_Z16GetLastErrorTextv", "IsMemDataSupported"}) {
    EXPECT_EQ(Xls.Symbol(Hidden), nullptr) << Hidden;
  }
}

TEST(ConverterFrame, ResultBlockInBothForms) {
  TTestFolder Folder;
  std::string Doc = Folder.Write("a.xls", "xls: text Hello\nhtm: zeros\n");
  TLibrary Xls("impxls"), Htm("imphtm");
  int32_t Size = 0;
  EXPECT_EQ(Xls.Convert(Doc, false, &Size), std::make_pair(true, std::string("xls:Hello")));
  EXPECT_EQ(Size, 9);
  EXPECT_EQ(Xls.Convert(Doc, true, &Size), std::make_pair(true, Utf16Bytes("xls:Hello")));
  EXPECT_EQ(Size, 18);
  // Zero characters at the end of a text stay, unless the library drops them.
  EXPECT_EQ(Htm.Convert(Doc, false), std::make_pair(true, std::string("htm:z\0\0\0", 8)));
  std::string Zeros = Folder.Write("z.xls", "xls: zeros\n");
  EXPECT_EQ(Xls.Convert(Zeros, false), std::make_pair(true, std::string("xls:z")));
  EXPECT_EQ(Xls.Convert(Zeros, true), std::make_pair(true, Utf16Bytes("xls:z")));
}

TEST(ConverterFrame, FailuresBecomeTheErrorText) {
  TTestFolder Folder;
  struct TCase {
    const char* Script;
    const char* Error;
  };
  const TCase Cases[] = {
      {"htm: fail Broken table", "Broken table"},
      {"htm: throwint", "Unknown exception"},
      {"htm: nomem", "Out of memory"},
      {"htm: fail", "Unknown exception"},  // an exception without a message
      {"htm: wobble", "htm: unknown command wobble"},
  };
  TLibrary Htm("imphtm");
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Script);
    std::string Doc = Folder.Write("a.htm", C.Script);
    for (bool Unicode : {false, true}) {
      EXPECT_EQ(Htm.Convert(Doc, Unicode), std::make_pair(false, std::string()));
      EXPECT_EQ(Htm.Error(), C.Error);
    }
  }
  EXPECT_FALSE(Htm.Convert(Folder.Path + "/missing.htm", false).first);
  EXPECT_EQ(Htm.Error(), "Cannot open file " + Folder.Path + "/missing.htm");

  // Arguments the frame refuses before any reader runs.
  int32_t Size = 0;
  EXPECT_EQ(Htm.Get<TConvertToPureText>("ConvertToPureText")(nullptr, &Size), nullptr);
  EXPECT_EQ(Htm.Error(), "Error in parameters");
  EXPECT_EQ(Htm.Get<TConvertToPureText>("ConvertToPureText")("x", nullptr), nullptr);
  EXPECT_EQ(Htm.Error(), "Error in parameters");
  const char16_t LoneSurrogate[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(Htm.Get<TConvertToUnicodeW>("ConvertToUnicodeW")(LoneSurrogate, &Size), nullptr);
  EXPECT_EQ(Htm.Error(), "Error in parameters");

  // A successful conversion clears the text, except in a library that keeps it.
  std::string Good = Folder.Write("good", "htm: text ok\ndoc: text ok\n");
  EXPECT_TRUE(Htm.Convert(Good, false).first);
  EXPECT_EQ(Htm.Error(), "");
  TLibrary Doc("impdoc");
  EXPECT_FALSE(Doc.Convert(Folder.Path + "/missing.doc", false).first);
  EXPECT_TRUE(Doc.Convert(Good, false).first);
  EXPECT_EQ(Doc.Error(), "Cannot open file " + Folder.Path + "/missing.doc");
}

TEST(ConverterFrame, GetConversionErrorStaysInsideTheBuffer) {
  TTestFolder Folder;
  TLibrary Htm("imphtm");
  auto GetError = Htm.Get<TGetConversionError>("GetConversionError");
  std::string Good = Folder.Write("good", "htm: text ok\n");
  ASSERT_TRUE(Htm.Convert(Good, false).first);
  char Empty[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(GetError(Empty, 4));
  EXPECT_EQ(Empty[0], '\0');

  std::string Bad = Folder.Write("bad", "htm: fail 0123456789abcdef\n");
  ASSERT_FALSE(Htm.Convert(Bad, false).first);
  // Exactly MaxLen bytes on the heap: a write past them is caught by the address sanitizer.
  auto Small = std::make_unique<char[]>(8);
  EXPECT_TRUE(GetError(Small.get(), 8));
  EXPECT_STREQ(Small.get(), "0123456");
  EXPECT_FALSE(GetError(Small.get(), 0));
  EXPECT_FALSE(GetError(nullptr, 8));

  // A cut never splits a UTF-8 character: 7 bytes hold three two-byte characters.
  std::string LongError = Folder.Write("long", "htm: longerror\n");
  ASSERT_FALSE(Htm.Convert(LongError, false).first);
  EXPECT_TRUE(GetError(Small.get(), 8));
  EXPECT_STREQ(Small.get(), "\xC3\xA9\xC3\xA9\xC3\xA9");
}

// A recording callback: every call, and the answer to give from the given call on.
struct TCallbackLog {
  std::vector<std::vector<int32_t>> Calls = {};
  size_t StopAt = SIZE_MAX;
  TSetCallback SetCallback = nullptr;  // when set, the first call removes the library's callback
};

int32_t RecordingCallback(int32_t Kind, int32_t Current, int32_t Total, void* UserData) {
  auto* Log = static_cast<TCallbackLog*>(UserData);
  Log->Calls.push_back({Kind, Current, Total});
  if (Log->SetCallback != nullptr) Log->SetCallback(nullptr, nullptr);
  return Log->Calls.size() >= Log->StopAt ? 0 : 1;
}

TEST(ConverterFrame, ProgressAndCancelThroughTheCallback) {
  TTestFolder Folder;
  std::string Doc = Folder.Write("a.htm", "htm: progress\nmp3: cancel\nxls: cancel\n");
  TLibrary Htm("imphtm");
  auto SetCallback = Htm.Get<TSetCallback>("SetCallback");

  TCallbackLog Log;
  SetCallback(RecordingCallback, &Log);
  EXPECT_EQ(Htm.Convert(Doc, false), std::make_pair(true, std::string("htm:done")));
  EXPECT_EQ(Log.Calls, (std::vector<std::vector<int32_t>>{{0, 1, 3}, {0, 2, 3}, {0, 3, 3}}));

  Log = TCallbackLog{.StopAt = 2};
  int32_t Size = -1;
  EXPECT_FALSE(Htm.Convert(Doc, true, &Size).first);
  EXPECT_EQ(Size, 0);
  EXPECT_EQ(Htm.Error(), "User canceled");
  EXPECT_EQ(Log.Calls.size(), 2u);

  // A callback removed while a conversion runs (a nested call of the host does that) still serves the
  // running conversion to its end, so it can still be cancelled.
  Log = TCallbackLog{.StopAt = 2, .SetCallback = SetCallback};
  SetCallback(RecordingCallback, &Log);
  EXPECT_FALSE(Htm.Convert(Doc, false).first);
  EXPECT_EQ(Htm.Error(), "User canceled");
  EXPECT_EQ(Log.Calls.size(), 2u);

  // Without a callback nothing is polled and nothing cancels.
  Log = TCallbackLog{.StopAt = 1};
  SetCallback(nullptr, &Log);
  EXPECT_TRUE(Htm.Convert(Doc, false).first);
  EXPECT_TRUE(Log.Calls.empty());
  // A library built without SetCallback cannot be cancelled.
  TLibrary Mp3("impmp3");
  EXPECT_EQ(Mp3.Convert(Doc, false), std::make_pair(true, std::string("mp3:not cancelled")));
}

TEST(ConverterFrame, MemoryConversion) {
  const std::string Script = "htm: text from memory\nxls: text no\ndoc: text no\n";
  TLibrary Htm("imphtm"), Xls("impxls"), Doc("impdoc");

  int32_t Size = static_cast<int32_t>(Script.size());
  void* Block = Htm.Get<TConvertMemoryToPureText>("ConvertMemoryToPureText")(Script.data(), 0, &Size);
  ASSERT_NE(Block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(Block), static_cast<size_t>(Size)), "htm:from memory");
  ConvFreeResultBlock(Block);
  Size = -1;
  EXPECT_EQ(Htm.Get<TConvertMemoryToUnicode>("ConvertMemoryToUnicode")(Script.data(), 0, &Size), nullptr);
  EXPECT_EQ(Htm.Error(), "Error in parameters");

  // A library without memory conversion answers null and leaves Size and its error text alone...
  TTestFolder Folder;
  ASSERT_FALSE(Xls.Convert(Folder.Path + "/missing", false).first);
  Size = 12;
  EXPECT_EQ(Xls.Get<TConvertMemoryToUnicode>("ConvertMemoryToUnicode")(Script.data(), 0, &Size), nullptr);
  EXPECT_EQ(Size, 12);
  EXPECT_EQ(Xls.Error(), "Cannot open file " + Folder.Path + "/missing");
  // ...or refuses with a text.
  Size = 12;
  EXPECT_EQ(Doc.Get<TConvertMemoryToPureText>("ConvertMemoryToPureText")(Script.data(), 0, &Size), nullptr);
  EXPECT_EQ(Size, 0);
  EXPECT_EQ(Doc.Error(), "Converting memory not supported");
}

TEST(ConverterFrame, ContentTest) {
  TTestFolder Folder;
  std::string Claimed = Folder.Write("\xC3\xA4 claimed", "claim: htm xls\n");
  std::string Failing = Folder.Write("failing", "claimfail: htm xls\n");
  TLibrary Htm("imphtm"), Xls("impxls");
  auto HtmTest = Htm.Get<TIsFileSupported>("IsFileSupported");
  auto HtmTestW = Htm.Get<TIsFileSupportedW>("IsFileSupportedW");
  auto XlsTest = Xls.Get<TIsFileSupported>("IsFileSupported");

  EXPECT_TRUE(HtmTest(Claimed.c_str()));
  EXPECT_TRUE(XlsTest(Claimed.c_str()));
  std::u16string Wide;
  for (unsigned char C : Folder.Path + "/") Wide += static_cast<char16_t>(C);
  EXPECT_TRUE(HtmTestW((Wide + u"\u00E4 claimed").c_str()));
  EXPECT_FALSE(HtmTestW((Wide + u"a claimed").c_str()));

  // A failing test answers no; one library keeps the failure's text, the other leaves its text alone.
  ASSERT_FALSE(Xls.Convert(Folder.Path + "/none", false).first);
  EXPECT_FALSE(HtmTest(Failing.c_str()));
  EXPECT_EQ(Htm.Error(), "htm: content test failed");
  EXPECT_FALSE(XlsTest(Failing.c_str()));
  EXPECT_EQ(Xls.Error(), "Cannot open file " + Folder.Path + "/none");
  // And a passing test clears it where the library says so.
  EXPECT_TRUE(HtmTest(Claimed.c_str()));
  EXPECT_EQ(Htm.Error(), "");
  EXPECT_FALSE(HtmTest(nullptr));
}

}  // namespace
