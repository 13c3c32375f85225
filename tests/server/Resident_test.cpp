// The resident server in a child process, driven by a client in the test: requests, progress and cancel,
// long error texts, malformed frames, and either side dying.
#include "server/Resident.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/CmdLine.h"
#include "core/WinUtils.h"
#include "server/PSConv.h"
#include "tests/server/ChannelTestSupport.h"

namespace {

class ResidentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Map_ = UniqueMapName("res");
    Err_ = Dir_ / "err.txt";
  }
  // Starts the server for this process and connects to it.
  void Start() {
    Server_ = StartResidentServer(Map_, Err_);
    ASSERT_GT(Server_, 0);
    Client_ = ConnectClient(Server_, Map_);
  }
  void TearDown() override {
    // The client owns the names: a server killed in a test cannot remove its own.
    if (Client_) Client_->UnlinkNames();
    Client_.reset();
    if (Server_ > 0) WaitChild(Server_, 100);
  }
  TServerStateGuard Guard_;
  TTestDir Dir_;
  std::string Map_, Err_;
  pid_t Server_ = -1;
  std::unique_ptr<TAsyncChannel> Client_;
};

TEST_F(ResidentTest, ServesRequestsUntilExit) {
  ServerBackend(stPDF) = TCopyBackend{nullptr, nullptr};
  ServerBackend(stPS) = [](const std::string& Source, const std::string&, bool) {
    SetLastErrorText("cannot read \"" + Source + "\"");
    return false;
  };
  WriteAll(Dir_ / "a.pdf", "first");
  WriteAll(Dir_ / "b.pdf", "second");
  Start();
  EXPECT_EQ(Exchange(*Client_, "ver"), kServerVersion);
  EXPECT_EQ(Exchange(*Client_, "VeR"), kServerVersion);
  int Progress = 0;
  EXPECT_EQ(Exchange(*Client_, "-srv:pdf \"" + Dir_ / "a.pdf\" \"" + Dir_ / "a.txt\"", -1, &Progress), "+");
  EXPECT_EQ(Progress, 1);  // the start of the conversion is reported
  EXPECT_EQ(Exchange(*Client_, "-srv:PDF " + Dir_ / "b.pdf " + Dir_ / "b.txt"), "+");
  EXPECT_EQ(ReadFileBytes(Dir_ / "a.txt"), "converted:first");
  EXPECT_EQ(ReadFileBytes(Dir_ / "b.txt"), "converted:second");
  // A failed conversion is answered and written to the error file; the server goes on.
  EXPECT_EQ(Exchange(*Client_, "-srv:ps " + Dir_ / "a.pdf " + Dir_ / "c.txt"),
            "-cannot read \"" + Dir_ / "a.pdf\"");
  EXPECT_EQ(ReadFileBytes(Err_), "cannot read \"" + Dir_ / "a.pdf\"");
  EXPECT_EQ(Exchange(*Client_, "-srv:pdf " + Dir_ / "a.pdf"),
            "-Error in parameters. No target file specified");
  EXPECT_EQ(Exchange(*Client_, "-srv:xyz a b"), "-Error in parameters. Illegal server type");
  EXPECT_EQ(Exchange(*Client_, "-srv:excel -unicode " + Dir_ / "a.pdf x"), "-Unicode not supported");
  ASSERT_EQ(Client_->SendString("EXIT", 1000), acOK);
  EXPECT_EQ(WaitChild(Server_, 5000), 0);
  Server_ = -1;
  EXPECT_FALSE(Exists(Err_));
}

// A conversion that succeeds with a warning is answered "+" followed by the warning; the next request's
// answer carries none.
TEST_F(ResidentTest, AWarningFollowsTheSuccessMark) {
  ServerBackend(stPS) = [](const std::string&, const std::string& Target, bool) {
    WriteAll(Target, "text");
    ConversionWarning = "Page 2 left out: its converted text is unreadable";
    return true;
  };
  ServerBackend(stPDF) = TCopyBackend{nullptr, nullptr};
  WriteAll(Dir_ / "a.ps", "x");
  Start();
  EXPECT_EQ(Exchange(*Client_, "-srv:ps " + Dir_ / "a.ps " + Dir_ / "a.txt"),
            "+Page 2 left out: its converted text is unreadable");
  EXPECT_EQ(ReadFileBytes(Dir_ / "a.txt"), "text");
  EXPECT_EQ(Exchange(*Client_, "-srv:pdf " + Dir_ / "a.ps " + Dir_ / "b.txt"), "+");
  ASSERT_EQ(Client_->SendString("exit", 1000), acOK);
  EXPECT_EQ(WaitChild(Server_, 5000), 0);
  Server_ = -1;
}

// The client answers the third progress message with "-": the back-end stops with "User canceled"; the
// late "-" that follows is ignored and the server serves the next request.
TEST_F(ResidentTest, ACancelAnswerStopsTheConversion) {
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    for (int32_t I = 1; I <= 1000; ++I) {
      if (PluginCallback(0, I, 1000, PluginCallbackData) == 0) {
        SetLastErrorText("User canceled");
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  };
  WriteAll(Dir_ / "in.ps", "x");
  Start();
  int Progress = 0;
  EXPECT_EQ(Exchange(*Client_, "-srv:ps " + Dir_ / "in.ps " + Dir_ / "out.txt", 2, &Progress),
            "-User canceled");
  EXPECT_EQ(Progress, 3);
  // The progress block holds the last report: a position of the run, its total and a recent tick.
  const auto* Block = static_cast<const uint8_t*>(Client_->Stream().GetView()) + kProgressOffset;
  int32_t Current, Total;
  uint32_t Tick;
  std::memcpy(&Current, Block, 4);
  std::memcpy(&Total, Block + 4, 4);
  std::memcpy(&Tick, Block + 8, 4);
  EXPECT_GT(Current, 0);
  EXPECT_EQ(Total, 1000);
  EXPECT_LT(TickCount() - Tick, 5000u);
  ASSERT_EQ(Client_->SendString("-", 1000), acOK);
  EXPECT_EQ(Exchange(*Client_, "ver"), kServerVersion);
  ASSERT_EQ(Client_->SendString("exit", 1000), acOK);
  EXPECT_EQ(WaitChild(Server_, 5000), 0);
  Server_ = -1;
}

// An error text longer than the answer area is cut to fit; it does not end the server.
TEST_F(ResidentTest, ALongErrorTextIsCutToTheAnswerArea) {
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    SetLastErrorText(std::string(600, 'a') + std::string(400, '\xC3') + "end");
    return false;
  };
  WriteAll(Dir_ / "in.ps", "x");
  Start();
  const std::string Answer = Exchange(*Client_, "-srv:ps " + Dir_ / "in.ps " + Dir_ / "out.txt");
  ASSERT_LE(Answer.size(), static_cast<size_t>(kAreaSize - kFrameOverhead));
  EXPECT_EQ(Answer.substr(0, 601), "-" + std::string(600, 'a'));
  EXPECT_EQ(Exchange(*Client_, "ver"), kServerVersion);
  ASSERT_EQ(Client_->SendString("exit", 1000), acOK);
  EXPECT_EQ(WaitChild(Server_, 5000), 0);
  Server_ = -1;
}

TEST_F(ResidentTest, AMalformedFrameEndsTheLoopWithItsText) {
  struct TCase {
    int32_t Length;
    bool GoodCrc;
    const char* Error;
  };
  const TCase Cases[] = {
      {3, false, "Communication CRC error"},
      {kAreaSize - kFrameOverhead + 1, true, "Communication size error"},
      {0x7FFFFFF9, true, "Communication size error"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Error);
    Map_ = UniqueMapName("bad");
    Start();
    ASSERT_EQ(Exchange(*Client_, "ver"), kServerVersion);
    const uint32_t Crc = UpdateCrc32(0xFFFFFFFFu, "ver", 3);
    PutRawRequest(Map_, *Client_, C.Length, "ver", C.GoodCrc ? Crc : Crc + 1);
    EXPECT_EQ(WaitChild(Server_, 5000), 1);
    Server_ = -1;
    EXPECT_EQ(ReadFileBytes(Err_), C.Error);
    Client_->UnlinkNames();
    Client_.reset();
  }
}

TEST_F(ResidentTest, AClientThatDiesEndsTheServer) {
  const pid_t Client = StartSleeper();
  Server_ = StartResidentServer(Map_, Err_, Client);
  Client_ = ConnectClient(Server_, Map_);
  EXPECT_EQ(Exchange(*Client_, "ver"), kServerVersion);
  ::kill(Client, SIGKILL);
  WaitChild(Client, 1000);
  EXPECT_EQ(WaitChild(Server_, 5000), 1);
  Server_ = -1;
  EXPECT_EQ(ReadFileBytes(Err_), "Client process terminated");
  // The server removed the block's name: a new client of the same name starts from a fresh block.
  EXPECT_FALSE(Exists("/dev/shm" + ChannelObjectName("", Map_)));
}

TEST_F(ResidentTest, AServerThatDiesIsSeenByTheClient) {
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    std::this_thread::sleep_for(std::chrono::seconds(30));
    return true;
  };
  WriteAll(Dir_ / "in.ps", "x");
  Start();
  ASSERT_EQ(Client_->SendString("-srv:ps " + Dir_ / "in.ps " + Dir_ / "out.txt", 1000), acOK);
  std::string Answer;
  ASSERT_EQ(Client_->Receive(Answer, 5000), acOK);
  EXPECT_EQ(Answer, "%0%0");
  ASSERT_EQ(Client_->SendString("+", 1000), acOK);
  ::kill(Server_, SIGKILL);
  EXPECT_EQ(Client_->Receive(Answer, 5000), acPeerTerminated);
  WaitChild(Server_, 1000);
  Server_ = -1;
}

TEST_F(ResidentTest, StartErrors) {
  const pid_t Gone = ::fork();
  if (Gone == 0) ::_exit(0);
  WaitChild(Gone, 5000);
  struct TCase {
    std::vector<std::string> Args;
    std::string Error;
  };
  const TCase Cases[] = {
      {{"-resident", "-pid:1"}, "\"/map\" expected"},
      {{"-resident", "-map:m"}, "\"/pid\" expected"},
      {{"-resident", "-map:m", "-pid:abc"}, "Illegal PID"},
      {{"-resident", "-map:m", "-pid:-4"}, "Illegal PID"},
      {{"-resident", "-map:" + UniqueMapName("gone"), "-pid:" + std::to_string(Gone)},
       "Win32 Error.  Code: 31.\nNo such process"},
  };
  for (const TCase& C : Cases) {
    std::vector<std::string> Args = C.Args;
    Args.push_back("-err:" + Err_);
    EXPECT_EQ(RunServer(Args), 1);
    EXPECT_EQ(ReadFileBytes(Err_), C.Error == "Win32 Error.  Code: 31.\nNo such process"
                                       ? "Win32 Error.  Code: 31.\r\nNo such process"
                                       : C.Error);
  }
}

// A real back-end in resident mode: the interpreter runs in its own copy of the server, which must leave
// the channel alone; the client sees the start report and the answer.
TEST_F(ResidentTest, ConvertsPostScriptWithTheInterpreter) {
  if (!LoadGhostscript()) GTEST_SKIP() << "Ghostscript's library is not installed";
  WriteAll(Dir_ / "in.ps",
           "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (resident) show showpage\n");
  Start();
  for (int I = 0; I < 2; ++I) {
    int Progress = 0;
    EXPECT_EQ(Exchange(*Client_, "-srv:ps " + Dir_ / "in.ps " + Dir_ / "out.txt", -1, &Progress), "+");
    if (I == 0) {
      EXPECT_GE(Progress, 1);  // the second comes within 250 ms of the first one's reports
    }
    EXPECT_NE(ReadFileBytes(Dir_ / "out.txt").find("resident\r\n"), std::string::npos);
  }
  EXPECT_EQ(Exchange(*Client_, "ver"), kServerVersion);
  ASSERT_EQ(Client_->SendString("exit", 1000), acOK);
  EXPECT_EQ(WaitChild(Server_, 5000), 0);
  Server_ = -1;
}

// Without a channel the progress routine sends nothing and goes on.
TEST(ReportProgressTest, OneShotModeGoesOn) { EXPECT_EQ(ReportProgress(0, 1, 2, nullptr), 1); }

}  // namespace
