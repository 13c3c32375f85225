// Helpers of the HTML converter's tests: pages converted through the engine, a link sink that records,
// a progress object that counts and can stop, and the fixture folder.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/FileLayer.h"
#include "core/MemUtils.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "plugins/frame/ConvCmmn.h"
#include "plugins/impweb/html/HTMLLinks.h"
#include "plugins/impweb/html/HTMLPasses.h"

// Pins the Windows and OEM code pages that charset 0 and the 8-bit answers depend on.
class THTMLTest : public ::testing::Test {
 protected:
  void SetUp() override { qvnls::SetSystemCodePages(1252, 850); }
  void TearDown() override { qvnls::ResetSystemCodePages(); }
};

// One link as the sink received it.
struct TTestLink {
  std::u16string URL;
  int32_t Start;
  int32_t Length;
};

class TTestLinks : public IHTMLLinks {
 public:
  std::unique_ptr<IHTMLLinks> NewLinks() override { return std::make_unique<TTestLinks>(); }
  void Assign(IHTMLLinks& Source) override {
    Clear();
    for (int32_t I = 0; I < Source.Count(); ++I) {
      TTestLink Link;
      Source.Get(I, Link.URL, Link.Start, Link.Length);
      List.push_back(Link);
    }
  }
  void Clear() override { List.clear(); }
  void Add(const std::u16string& URL, int32_t Start, int32_t Length) override {
    List.push_back({URL, Start, Length});
  }
  int32_t Count() override { return static_cast<int32_t>(List.size()); }
  bool Get(int32_t Index, std::u16string& URL, int32_t& Start, int32_t& Length) override {
    if (Index < 0 || Index >= Count()) return false;
    URL = List[Index].URL;
    Start = List[Index].Start;
    Length = List[Index].Length;
    return true;
  }
  std::u16string GetText(int32_t Index) override { return List.at(static_cast<size_t>(Index)).URL; }

  std::vector<TTestLink> List;
};

// Counts its polls and answers false from poll number StopAt on (never when StopAt is 0).
class TCountingProgress : public IConvProgress {
 public:
  explicit TCountingProgress(int StopAt = 0) : StopAt(StopAt) {}
  bool Progress(int32_t Current, int32_t Total) override {
    ++Polls;
    EXPECT_EQ(Current, -1);
    EXPECT_EQ(Total, -1);
    return StopAt == 0 || Polls < StopAt;
  }
  int StopAt;
  int Polls = 0;
};

// The result of one conversion: the charset answer and the text (UTF-8 for UTF-16 output, the 8-bit
// bytes otherwise).
struct THTMLResult {
  uint8_t Charset;
  std::string Text;
};

inline THTMLResult ConvertPage(const std::string& Page, bool Unicode, IHTMLLinks* Links = nullptr,
                               IConvProgress* Progress = nullptr) {
  TVReadOnlyMemStream Source(Page.data(), static_cast<int32_t>(Page.size()));
  TVMemStream Dest;
  const uint8_t Charset = ConvertHTML(Source, Dest, Links, Unicode, true, Progress);
  std::string Bytes(reinterpret_cast<const char*>(Dest.GetMemory()), static_cast<size_t>(Dest.GetSize()));
  return {Charset, Unicode ? Utf16ToUtf8(RawToWideStr(Bytes)) : Bytes};
}

// The text of an ASCII page in 8-bit output.
inline std::string PageText(const std::string& Page) { return ConvertPage(Page, false).Text; }

// ASCII or UTF-8 text as UTF-16LE bytes, with a byte-order mark when Mark.
inline std::string Utf16LEBytes(const std::string& Utf8, bool Mark) {
  std::string Bytes = Mark ? std::string("\xFF\xFE", 2) : std::string();
  for (char16_t U : Utf8ToUtf16(Utf8)) {
    Bytes += static_cast<char>(U & 0xFF);
    Bytes += static_cast<char>(U >> 8);
  }
  return Bytes;
}

inline std::string FixturePath(const std::string& Name) {
  return std::string(SCRYLINE_TEST_DATA) + "/impweb/fixtures/" + Name;
}

inline std::string ReadFixture(const std::string& Name) {
  std::ifstream In(FixturePath(Name), std::ios::binary);
  EXPECT_TRUE(In.good()) << Name;
  std::ostringstream Out;
  Out << In.rdbuf();
  return Out.str();
}
