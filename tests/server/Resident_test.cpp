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
    Map = UniqueMapName("res");
    Err = Dir / "err.txt";
  }
  // Starts the server for this process and connects to it.
  void Start() {
    Server = StartResidentServer(Map, Err);
    ASSERT_GT(Server, 0);
    Client = ConnectClient(Server, Map);
  }
  void TearDown() override {
    // The client owns the names: a server killed in a test cannot remove its own.
    if (Client) Client->UnlinkNames();
    Client.reset();
    if (Server > 0) WaitChild(Server, 100);
  }
  TServerStateGuard Guard;
  TTestDir Dir;
  std::string Map, Err;
  pid_t Server = -1;
  std::unique_ptr<TAsyncChannel> Client;
};

TEST_F(ResidentTest, ServesRequestsUntilExit) {
  ServerBackend(stPDF) = TCopyBackend{nullptr, nullptr};
  ServerBackend(stPS) = [](const std::string& Source, const std::string&, bool) {
    SetLastErrorText("cannot read \"" + Source + "\"");
    return false;
  };
  WriteAll(Dir / "a.pdf", "first");
  WriteAll(Dir / "b.pdf", "second");
  Start();
  EXPECT_EQ(Exchange(*Client, "ver"), kServerVersion);
  EXPECT_EQ(Exchange(*Client, "VeR"), kServerVersion);
  int progress = 0;
  EXPECT_EQ(Exchange(*Client, "-srv:pdf \"" + Dir / "a.pdf\" \"" + Dir / "a.txt\"", -1, &progress), "+");
  EXPECT_EQ(progress, 1);  // the start of the conversion is reported
  EXPECT_EQ(Exchange(*Client, "-srv:PDF " + Dir / "b.pdf " + Dir / "b.txt"), "+");
  EXPECT_EQ(ReadFileBytes(Dir / "a.txt"), "converted:first");
  EXPECT_EQ(ReadFileBytes(Dir / "b.txt"), "converted:second");
  // A failed conversion is answered and written to the error file; the server goes on.
  EXPECT_EQ(Exchange(*Client, "-srv:ps " + Dir / "a.pdf " + Dir / "c.txt"),
            "-cannot read \"" + Dir / "a.pdf\"");
  EXPECT_EQ(ReadFileBytes(Err), "cannot read \"" + Dir / "a.pdf\"");
  EXPECT_EQ(Exchange(*Client, "-srv:pdf " + Dir / "a.pdf"), "-Error in parameters. No target file specified");
  EXPECT_EQ(Exchange(*Client, "-srv:xyz a b"), "-Error in parameters. Illegal server type");
  EXPECT_EQ(Exchange(*Client, "-srv:excel -unicode " + Dir / "a.pdf x"), "-Unicode not supported");
  ASSERT_EQ(Client->SendString("EXIT", 1000), acOK);
  EXPECT_EQ(WaitChild(Server, 5000), 0);
  Server = -1;
  EXPECT_FALSE(Exists(Err));
}

// The client answers the third progress message with "-": the back-end stops with "User canceled"; the
// late "-" that follows is ignored and the server serves the next request.
TEST_F(ResidentTest, ACancelAnswerStopsTheConversion) {
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    for (int32_t i = 1; i <= 1000; ++i) {
      if (PluginCallback(0, i, 1000, PluginCallbackData) == 0) {
        SetLastErrorText("User canceled");
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  };
  WriteAll(Dir / "in.ps", "x");
  Start();
  int progress = 0;
  EXPECT_EQ(Exchange(*Client, "-srv:ps " + Dir / "in.ps " + Dir / "out.txt", 2, &progress), "-User canceled");
  EXPECT_EQ(progress, 3);
  // The progress block holds the last report: a position of the run, its total and a recent tick.
  const auto* block = static_cast<const uint8_t*>(Client->Stream().GetView()) + kProgressOffset;
  int32_t current, total;
  uint32_t tick;
  std::memcpy(&current, block, 4);
  std::memcpy(&total, block + 4, 4);
  std::memcpy(&tick, block + 8, 4);
  EXPECT_GT(current, 0);
  EXPECT_EQ(total, 1000);
  EXPECT_LT(TickCount() - tick, 5000u);
  ASSERT_EQ(Client->SendString("-", 1000), acOK);
  EXPECT_EQ(Exchange(*Client, "ver"), kServerVersion);
  ASSERT_EQ(Client->SendString("exit", 1000), acOK);
  EXPECT_EQ(WaitChild(Server, 5000), 0);
  Server = -1;
}

// An error text longer than the answer area is cut to fit; it does not end the server.
TEST_F(ResidentTest, ALongErrorTextIsCutToTheAnswerArea) {
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    SetLastErrorText(std::string(600, 'a') + std::string(400, '\xC3') + "end");
    return false;
  };
  WriteAll(Dir / "in.ps", "x");
  Start();
  const std::string answer = Exchange(*Client, "-srv:ps " + Dir / "in.ps " + Dir / "out.txt");
  ASSERT_LE(answer.size(), static_cast<size_t>(kAreaSize - kFrameOverhead));
  EXPECT_EQ(answer.substr(0, 601), "-" + std::string(600, 'a'));
  EXPECT_EQ(Exchange(*Client, "ver"), kServerVersion);
  ASSERT_EQ(Client->SendString("exit", 1000), acOK);
  EXPECT_EQ(WaitChild(Server, 5000), 0);
  Server = -1;
}

TEST_F(ResidentTest, AMalformedFrameEndsTheLoopWithItsText) {
  struct TCase {
    int32_t Length;
    bool GoodCrc;
    const char* Error;
  };
  const TCase cases[] = {
      {3, false, "Communication CRC error"},
      {kAreaSize - kFrameOverhead + 1, true, "Communication size error"},
      {0x7FFFFFF9, true, "Communication size error"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Error);
    Map = UniqueMapName("bad");
    Start();
    ASSERT_EQ(Exchange(*Client, "ver"), kServerVersion);
    const uint32_t crc = UpdateCrc32(0xFFFFFFFFu, "ver", 3);
    PutRawRequest(Map, *Client, c.Length, "ver", c.GoodCrc ? crc : crc + 1);
    EXPECT_EQ(WaitChild(Server, 5000), 1);
    Server = -1;
    EXPECT_EQ(ReadFileBytes(Err), c.Error);
    Client->UnlinkNames();
    Client.reset();
  }
}

TEST_F(ResidentTest, AClientThatDiesEndsTheServer) {
  const pid_t client = StartSleeper();
  Server = StartResidentServer(Map, Err, client);
  Client = ConnectClient(Server, Map);
  EXPECT_EQ(Exchange(*Client, "ver"), kServerVersion);
  ::kill(client, SIGKILL);
  WaitChild(client, 1000);
  EXPECT_EQ(WaitChild(Server, 5000), 1);
  Server = -1;
  EXPECT_EQ(ReadFileBytes(Err), "Client process terminated");
  // The server removed the block's name: a new client of the same name starts from a fresh block.
  EXPECT_FALSE(Exists("/dev/shm" + ChannelObjectName("", Map)));
}

TEST_F(ResidentTest, AServerThatDiesIsSeenByTheClient) {
  ServerBackend(stPS) = [](const std::string&, const std::string&, bool) {
    std::this_thread::sleep_for(std::chrono::seconds(30));
    return true;
  };
  WriteAll(Dir / "in.ps", "x");
  Start();
  ASSERT_EQ(Client->SendString("-srv:ps " + Dir / "in.ps " + Dir / "out.txt", 1000), acOK);
  std::string answer;
  ASSERT_EQ(Client->Receive(answer, 5000), acOK);
  EXPECT_EQ(answer, "%0%0");
  ASSERT_EQ(Client->SendString("+", 1000), acOK);
  ::kill(Server, SIGKILL);
  EXPECT_EQ(Client->Receive(answer, 5000), acPeerTerminated);
  WaitChild(Server, 1000);
  Server = -1;
}

TEST_F(ResidentTest, StartErrors) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  WaitChild(gone, 5000);
  struct TCase {
    std::vector<std::string> Args;
    std::string Error;
  };
  const TCase cases[] = {
      {{"-resident", "-pid:1"}, "\"/map\" expected"},
      {{"-resident", "-map:m"}, "\"/pid\" expected"},
      {{"-resident", "-map:m", "-pid:abc"}, "Illegal PID"},
      {{"-resident", "-map:m", "-pid:-4"}, "Illegal PID"},
      {{"-resident", "-map:" + UniqueMapName("gone"), "-pid:" + std::to_string(gone)},
       "Win32 Error.  Code: 31.\nNo such process"},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = c.Args;
    args.push_back("-err:" + Err);
    EXPECT_EQ(RunServer(args), 1);
    EXPECT_EQ(ReadFileBytes(Err), c.Error == "Win32 Error.  Code: 31.\nNo such process"
                                      ? "Win32 Error.  Code: 31.\r\nNo such process"
                                      : c.Error);
  }
}

// A real back-end in resident mode: the interpreter runs in its own copy of the server, which must leave
// the channel alone; the client sees the start report and the answer.
TEST_F(ResidentTest, ConvertsPostScriptWithTheInterpreter) {
  if (!LoadGhostscript()) GTEST_SKIP() << "Ghostscript's library is not installed";
  WriteAll(Dir / "in.ps",
           "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (resident) show showpage\n");
  Start();
  for (int i = 0; i < 2; ++i) {
    int progress = 0;
    EXPECT_EQ(Exchange(*Client, "-srv:ps " + Dir / "in.ps " + Dir / "out.txt", -1, &progress), "+");
    if (i == 0) {
      EXPECT_GE(progress, 1);  // the second comes within 250 ms of the first one's reports
    }
    EXPECT_NE(ReadFileBytes(Dir / "out.txt").find("resident\r\n"), std::string::npos);
  }
  EXPECT_EQ(Exchange(*Client, "ver"), kServerVersion);
  ASSERT_EQ(Client->SendString("exit", 1000), acOK);
  EXPECT_EQ(WaitChild(Server, 5000), 0);
  Server = -1;
}

// Without a channel the progress routine sends nothing and goes on.
TEST(ReportProgressTest, OneShotModeGoesOn) { EXPECT_EQ(ReportProgress(0, 1, 2, nullptr), 1); }

}  // namespace
