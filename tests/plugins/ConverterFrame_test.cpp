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
  explicit TLibrary(const std::string& Name) : handle_(dlopen(TestPluginPath(Name).c_str(), RTLD_NOW)) {
    if (handle_ == nullptr) ADD_FAILURE() << dlerror();
  }
  ~TLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  void* Symbol(const char* Name) const { return handle_ != nullptr ? dlsym(handle_, Name) : nullptr; }
  template <class T>
  T Get(const char* Name) const {
    auto f = reinterpret_cast<T>(Symbol(Name));
    if (f == nullptr) ADD_FAILURE() << Name << " is not exported";
    return f;
  }

  // The library's error text, as GetConversionError hands it out.
  std::string Error() const {
    char buffer[1024];
    Get<TGetConversionError>("GetConversionError")(buffer, sizeof buffer);
    return buffer;
  }

  // ConvertToPureText or ConvertToUnicode of Path: whether a text came, the text's bytes, and Size.
  std::pair<bool, std::string> Convert(const std::string& Path, bool Unicode,
                                       int32_t* SizeOut = nullptr) const {
    int32_t size = -7;
    void* block = Unicode ? Get<TConvertToUnicode>("ConvertToUnicode")(Path.c_str(), &size)
                          : Get<TConvertToPureText>("ConvertToPureText")(Path.c_str(), &size);
    if (SizeOut != nullptr) *SizeOut = size;
    if (block == nullptr) return {false, ""};
    std::string text(static_cast<const char*>(block), static_cast<size_t>(size));
    // Two zero bytes follow every text.
    EXPECT_EQ(static_cast<const char*>(block)[size], '\0');
    EXPECT_EQ(static_cast<const char*>(block)[size + 1], '\0');
    ConvFreeResultBlock(block);
    return {true, text};
  }

 private:
  void* handle_;
};

std::string Utf16Bytes(const std::string& Ascii) {
  std::string bytes;
  for (char c : Ascii) bytes += {c, '\0'};
  return bytes;
}

TEST(ConverterFrame, AnswersOfTheTypeExports) {
  struct TCase {
    const char* library;
    const char* list;
    int32_t count;
    int32_t flags;
    const char* out_of_range;  // GetType and GetTypeDescription beyond the last type
  };
  const TCase cases[] = {
      {"impxls", "xls", 1, 0x0E, nullptr},
      {"imphtm", "htm;html", 2, 0x1F, "-"},
      {"impmp3", "mp3", 1, 0x1D, "-"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.library);
    TLibrary lib(c.library);
    int32_t count = -1;
    EXPECT_STREQ(lib.Get<TListSupportedTypes>("ListSupportedTypes")(&count), c.list);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(lib.Get<TGetCompatibilityFlags>("GetCompatibilityFlags")(), c.flags);
    auto get_type = lib.Get<TGetType>("GetType");
    auto get_description = lib.Get<TGetTypeDescription>("GetTypeDescription");
    EXPECT_STREQ(get_type(c.count), c.out_of_range);
    EXPECT_STREQ(get_type(-1), c.out_of_range);
    EXPECT_STREQ(get_description(c.count), c.out_of_range);
    EXPECT_EQ(std::string(get_type(0)), std::string(c.list).substr(0, 3));
    EXPECT_NE(get_description(c.count - 1), nullptr);
    EXPECT_EQ(lib.Get<TGetOptionFlags>("GetOptionFlags")(), 0);
    EXPECT_TRUE(lib.Get<TInitializeConverterTypes>("InitializeConverterTypes")());
    EXPECT_TRUE(lib.Get<TFreeUpConverterTypes>("FreeUpConverterTypes")());
  }
}

TEST(ConverterFrame, ExtensionTestWholeOrPrefix) {
  struct TCase {
    const char* library;
    const char* ext;
    bool expected;
  };
  const TCase cases[] = {
      {"impxls", "xls", true}, {"impxls", "XLS", true},    {"impxls", "xlsx", false},
      {"impxls", "xl", false}, {"impxls", "", false},      {"imphtm", "HTML", true},
      {"imphtm", "htm", true}, {"imphtm", "htmlx", false}, {"impmp3", "mp3x", true},
      {"impmp3", "MP3", true}, {"impmp3", "mp", false},    {"impdoc", "docx", true},
  };
  for (const TCase& c : cases) {
    TLibrary lib(c.library);
    EXPECT_EQ(lib.Get<TIsFileTypeSupported>("IsFileTypeSupported")(c.ext) != 0, c.expected)
        << c.library << " " << c.ext;
  }
  TLibrary lib("impxls");
  EXPECT_FALSE(lib.Get<TIsFileTypeSupported>("IsFileTypeSupported")(nullptr));
}

// Only the contract's names leave a library: not the frame's own functions and variables, and
// SetCallback only where the library was built with it.
TEST(ConverterFrame, ExportsOnlyTheContract) {
  TLibrary xls("impxls"), mp3("impmp3");
  EXPECT_NE(xls.Symbol("SetCallback"), nullptr);
  EXPECT_EQ(mp3.Symbol("SetCallback"), nullptr);
  EXPECT_NE(mp3.Symbol("ConvertToPureTextW"), nullptr);
  for (const char* hidden : {"PluginCallback", "PluginCallbackData", "_Z19ConverterDefinitionv",
                             "_Z16GetLastErrorTextv", "IsMemDataSupported"}) {
    EXPECT_EQ(xls.Symbol(hidden), nullptr) << hidden;
  }
}

TEST(ConverterFrame, ResultBlockInBothForms) {
  TTestFolder folder;
  std::string doc = folder.Write("a.xls", "xls: text Hello\nhtm: zeros\n");
  TLibrary xls("impxls"), htm("imphtm");
  int32_t size = 0;
  EXPECT_EQ(xls.Convert(doc, false, &size), std::make_pair(true, std::string("xls:Hello")));
  EXPECT_EQ(size, 9);
  EXPECT_EQ(xls.Convert(doc, true, &size), std::make_pair(true, Utf16Bytes("xls:Hello")));
  EXPECT_EQ(size, 18);
  // Zero characters at the end of a text stay, unless the library drops them.
  EXPECT_EQ(htm.Convert(doc, false), std::make_pair(true, std::string("htm:z\0\0\0", 8)));
  std::string zeros = folder.Write("z.xls", "xls: zeros\n");
  EXPECT_EQ(xls.Convert(zeros, false), std::make_pair(true, std::string("xls:z")));
  EXPECT_EQ(xls.Convert(zeros, true), std::make_pair(true, Utf16Bytes("xls:z")));
}

TEST(ConverterFrame, FailuresBecomeTheErrorText) {
  TTestFolder folder;
  struct TCase {
    const char* script;
    const char* error;
  };
  const TCase cases[] = {
      {"htm: fail Broken table", "Broken table"},
      {"htm: throwint", "Unknown exception"},
      {"htm: nomem", "Out of memory"},
      {"htm: fail", "Unknown exception"},  // an exception without a message
      {"htm: wobble", "htm: unknown command wobble"},
  };
  TLibrary htm("imphtm");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.script);
    std::string doc = folder.Write("a.htm", c.script);
    for (bool unicode : {false, true}) {
      EXPECT_EQ(htm.Convert(doc, unicode), std::make_pair(false, std::string()));
      EXPECT_EQ(htm.Error(), c.error);
    }
  }
  EXPECT_FALSE(htm.Convert(folder.Path + "/missing.htm", false).first);
  EXPECT_EQ(htm.Error(), "Cannot open file " + folder.Path + "/missing.htm");

  // Arguments the frame refuses before any reader runs.
  int32_t size = 0;
  EXPECT_EQ(htm.Get<TConvertToPureText>("ConvertToPureText")(nullptr, &size), nullptr);
  EXPECT_EQ(htm.Error(), "Error in parameters");
  EXPECT_EQ(htm.Get<TConvertToPureText>("ConvertToPureText")("x", nullptr), nullptr);
  EXPECT_EQ(htm.Error(), "Error in parameters");
  const char16_t lone_surrogate[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(htm.Get<TConvertToUnicodeW>("ConvertToUnicodeW")(lone_surrogate, &size), nullptr);
  EXPECT_EQ(htm.Error(), "Error in parameters");

  // A successful conversion clears the text, except in a library that keeps it.
  std::string good = folder.Write("good", "htm: text ok\ndoc: text ok\n");
  EXPECT_TRUE(htm.Convert(good, false).first);
  EXPECT_EQ(htm.Error(), "");
  TLibrary doc("impdoc");
  EXPECT_FALSE(doc.Convert(folder.Path + "/missing.doc", false).first);
  EXPECT_TRUE(doc.Convert(good, false).first);
  EXPECT_EQ(doc.Error(), "Cannot open file " + folder.Path + "/missing.doc");
}

TEST(ConverterFrame, GetConversionErrorStaysInsideTheBuffer) {
  TTestFolder folder;
  TLibrary htm("imphtm");
  auto get_error = htm.Get<TGetConversionError>("GetConversionError");
  std::string good = folder.Write("good", "htm: text ok\n");
  ASSERT_TRUE(htm.Convert(good, false).first);
  char empty[4] = {'x', 'x', 'x', 'x'};
  EXPECT_FALSE(get_error(empty, 4));
  EXPECT_EQ(empty[0], '\0');

  std::string bad = folder.Write("bad", "htm: fail 0123456789abcdef\n");
  ASSERT_FALSE(htm.Convert(bad, false).first);
  // Exactly MaxLen bytes on the heap: a write past them is caught by the address sanitizer.
  auto small = std::make_unique<char[]>(8);
  EXPECT_TRUE(get_error(small.get(), 8));
  EXPECT_STREQ(small.get(), "0123456");
  EXPECT_FALSE(get_error(small.get(), 0));
  EXPECT_FALSE(get_error(nullptr, 8));

  // A cut never splits a UTF-8 character: 7 bytes hold three two-byte characters.
  std::string long_error = folder.Write("long", "htm: longerror\n");
  ASSERT_FALSE(htm.Convert(long_error, false).first);
  EXPECT_TRUE(get_error(small.get(), 8));
  EXPECT_STREQ(small.get(), "\xC3\xA9\xC3\xA9\xC3\xA9");
}

// A recording callback: every call, and the answer to give from the given call on.
struct TCallbackLog {
  std::vector<std::vector<int32_t>> calls = {};
  size_t stop_at = SIZE_MAX;
  TSetCallback set_callback = nullptr;  // when set, the first call removes the library's callback
};

int32_t RecordingCallback(int32_t Kind, int32_t Current, int32_t Total, void* UserData) {
  auto* log = static_cast<TCallbackLog*>(UserData);
  log->calls.push_back({Kind, Current, Total});
  if (log->set_callback != nullptr) log->set_callback(nullptr, nullptr);
  return log->calls.size() >= log->stop_at ? 0 : 1;
}

TEST(ConverterFrame, ProgressAndCancelThroughTheCallback) {
  TTestFolder folder;
  std::string doc = folder.Write("a.htm", "htm: progress\nmp3: cancel\nxls: cancel\n");
  TLibrary htm("imphtm");
  auto set_callback = htm.Get<TSetCallback>("SetCallback");

  TCallbackLog log;
  set_callback(RecordingCallback, &log);
  EXPECT_EQ(htm.Convert(doc, false), std::make_pair(true, std::string("htm:done")));
  EXPECT_EQ(log.calls, (std::vector<std::vector<int32_t>>{{0, 1, 3}, {0, 2, 3}, {0, 3, 3}}));

  log = TCallbackLog{.stop_at = 2};
  int32_t size = -1;
  EXPECT_FALSE(htm.Convert(doc, true, &size).first);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(htm.Error(), "User canceled");
  EXPECT_EQ(log.calls.size(), 2u);

  // A callback removed while a conversion runs (a nested call of the host does that) still serves the
  // running conversion to its end, so it can still be cancelled.
  log = TCallbackLog{.stop_at = 2, .set_callback = set_callback};
  set_callback(RecordingCallback, &log);
  EXPECT_FALSE(htm.Convert(doc, false).first);
  EXPECT_EQ(htm.Error(), "User canceled");
  EXPECT_EQ(log.calls.size(), 2u);

  // Without a callback nothing is polled and nothing cancels.
  log = TCallbackLog{.stop_at = 1};
  set_callback(nullptr, &log);
  EXPECT_TRUE(htm.Convert(doc, false).first);
  EXPECT_TRUE(log.calls.empty());
  // A library built without SetCallback cannot be cancelled.
  TLibrary mp3("impmp3");
  EXPECT_EQ(mp3.Convert(doc, false), std::make_pair(true, std::string("mp3:not cancelled")));
}

TEST(ConverterFrame, MemoryConversion) {
  const std::string script = "htm: text from memory\nxls: text no\ndoc: text no\n";
  TLibrary htm("imphtm"), xls("impxls"), doc("impdoc");

  int32_t size = static_cast<int32_t>(script.size());
  void* block = htm.Get<TConvertMemoryToPureText>("ConvertMemoryToPureText")(script.data(), 0, &size);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), static_cast<size_t>(size)), "htm:from memory");
  ConvFreeResultBlock(block);
  size = -1;
  EXPECT_EQ(htm.Get<TConvertMemoryToUnicode>("ConvertMemoryToUnicode")(script.data(), 0, &size), nullptr);
  EXPECT_EQ(htm.Error(), "Error in parameters");

  // A library without memory conversion answers null and leaves Size and its error text alone...
  TTestFolder folder;
  ASSERT_FALSE(xls.Convert(folder.Path + "/missing", false).first);
  size = 12;
  EXPECT_EQ(xls.Get<TConvertMemoryToUnicode>("ConvertMemoryToUnicode")(script.data(), 0, &size), nullptr);
  EXPECT_EQ(size, 12);
  EXPECT_EQ(xls.Error(), "Cannot open file " + folder.Path + "/missing");
  // ...or refuses with a text.
  size = 12;
  EXPECT_EQ(doc.Get<TConvertMemoryToPureText>("ConvertMemoryToPureText")(script.data(), 0, &size), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(doc.Error(), "Converting memory not supported");
}

TEST(ConverterFrame, ContentTest) {
  TTestFolder folder;
  std::string claimed = folder.Write("\xC3\xA4 claimed", "claim: htm xls\n");
  std::string failing = folder.Write("failing", "claimfail: htm xls\n");
  TLibrary htm("imphtm"), xls("impxls");
  auto htm_test = htm.Get<TIsFileSupported>("IsFileSupported");
  auto htm_test_w = htm.Get<TIsFileSupportedW>("IsFileSupportedW");
  auto xls_test = xls.Get<TIsFileSupported>("IsFileSupported");

  EXPECT_TRUE(htm_test(claimed.c_str()));
  EXPECT_TRUE(xls_test(claimed.c_str()));
  std::u16string wide;
  for (unsigned char c : folder.Path + "/") wide += static_cast<char16_t>(c);
  EXPECT_TRUE(htm_test_w((wide + u"\u00E4 claimed").c_str()));
  EXPECT_FALSE(htm_test_w((wide + u"a claimed").c_str()));

  // A failing test answers no; one library keeps the failure's text, the other leaves its text alone.
  ASSERT_FALSE(xls.Convert(folder.Path + "/none", false).first);
  EXPECT_FALSE(htm_test(failing.c_str()));
  EXPECT_EQ(htm.Error(), "htm: content test failed");
  EXPECT_FALSE(xls_test(failing.c_str()));
  EXPECT_EQ(xls.Error(), "Cannot open file " + folder.Path + "/none");
  // And a passing test clears it where the library says so.
  EXPECT_TRUE(htm_test(claimed.c_str()));
  EXPECT_EQ(htm.Error(), "");
  EXPECT_FALSE(htm_test(nullptr));
}

}  // namespace
