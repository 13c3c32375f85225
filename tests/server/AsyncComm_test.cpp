// The channel's frames, sizes, checksums, waits and the progress block, with both ends in this process
// (the peer of each end is this process, which never ends during the test) or a child that ends.
#include "server/AsyncComm.h"

#include <gtest/gtest.h>

#include <random>

#include "core/Exception.h"
#include "core/VMemoryMappedStream.h"
#include "core/WinUtils.h"
#include "tests/server/ChannelTestSupport.h"

namespace {

struct TPair {
  explicit TPair(const char* Tag) : Map(UniqueMapName(Tag)) {
    Server = std::make_unique<TAsyncChannel>(::getpid(), Map, kChannelMapSize, kRequestOffset, kAreaSize,
                                             kAnswerOffset, kAreaSize);
    Client = ConnectClient(::getpid(), Map);
  }
  std::string Map;
  std::unique_ptr<TAsyncChannel> Server, Client;
};

TEST(AsyncChannelTest, FramesOfEverySizeArriveIntactBothWays) {
  TPair pair("frames");
  std::mt19937 rng(7);
  for (int i = 0; i < 300; ++i) {
    const int32_t n = i < 2 ? (i == 0 ? 0 : kAreaSize - kFrameOverhead) : static_cast<int32_t>(rng() % 993);
    std::string msg(static_cast<size_t>(n), '\0');
    for (char& c : msg) c = static_cast<char>(rng());
    TAsyncChannel& from = i % 2 ? *pair.Client : *pair.Server;
    TAsyncChannel& to = i % 2 ? *pair.Server : *pair.Client;
    ASSERT_EQ(from.SendString(msg, 1000), acOK);
    std::string got;
    ASSERT_EQ(to.Receive(got, 1000), acOK);
    ASSERT_EQ(got, msg) << "frame " << i;
  }
}

TEST(AsyncChannelTest, OneSlotMailbox) {
  TPair pair("slot");
  std::string got;
  EXPECT_EQ(pair.Server->Receive(got, 30), acTimeout);
  ASSERT_EQ(pair.Client->SendString("one", 0), acOK);
  // The area holds one frame until it is read.
  EXPECT_EQ(pair.Client->SendString("two", 0), acTimeout);
  EXPECT_EQ(pair.Client->SendString("two", 30), acTimeout);
  ASSERT_EQ(pair.Server->Receive(got, 0), acOK);
  EXPECT_EQ(got, "one");
  EXPECT_EQ(pair.Client->SendString("two", 0), acOK);
  ASSERT_EQ(pair.Server->Receive(got, kInfinite), acOK);
  EXPECT_EQ(got, "two");
}

TEST(AsyncChannelTest, SendRefusesWhatDoesNotFitItsArea) {
  TPair pair("size");
  const std::string longest(kAreaSize - kFrameOverhead, 'x');
  EXPECT_EQ(pair.Client->Send("x", -1, 0), acSizeError);
  EXPECT_EQ(pair.Client->SendString(longest + "y", 0), acSizeError);
  // Nothing was written: the area is still free.
  EXPECT_EQ(pair.Client->SendString(longest, 0), acOK);
  std::string got;
  ASSERT_EQ(pair.Server->Receive(got, 0), acOK);
  EXPECT_EQ(got, longest);
}

// A frame with a bad length or checksum is refused, nothing is read past the area, and the area is free
// again for the next frame.
TEST(AsyncChannelTest, BadFramesAreRefusedAndFreeTheArea) {
  TPair pair("bad");
  const std::string payload = "ver";
  const uint32_t crc = UpdateCrc32(0xFFFFFFFFu, payload.data(), 3);
  struct TCase {
    int32_t Length;
    uint32_t Crc;
    TChannelResult Expected;
  };
  const TCase cases[] = {
      {3, crc, acOK},
      {3, crc ^ 0x100, acCRCError},
      {kAreaSize - kFrameOverhead + 1, crc, acSizeError},
      {-1, crc, acSizeError},
      {0x7FFFFFF9, crc, acSizeError},  // n + 8 wraps to a negative int32
      {INT32_MIN, crc, acSizeError},
  };
  for (const TCase& c : cases) {
    PutRawRequest(pair.Map, *pair.Client, c.Length, payload, c.Crc);
    std::string got = "unchanged";
    EXPECT_EQ(pair.Server->Receive(got, 1000), c.Expected) << c.Length;
    EXPECT_EQ(got, c.Expected == acOK ? payload : "unchanged");
  }
  ASSERT_EQ(pair.Client->SendString("after", 0), acOK);
  std::string got;
  EXPECT_EQ(pair.Server->Receive(got, 0), acOK);
}

TEST(AsyncChannelTest, WaitsEndWhenThePeerEnds) {
  const std::string map = UniqueMapName("peer");
  const pid_t peer = StartSleeper();
  TAsyncChannel channel(peer, map, kChannelMapSize, kRequestOffset, kAreaSize, kAnswerOffset, kAreaSize);
  std::string got;
  EXPECT_EQ(channel.Receive(got, 20), acTimeout);
  ::kill(peer, SIGKILL);
  const uint32_t start = TickCount();
  EXPECT_EQ(channel.Receive(got, kInfinite), acPeerTerminated);
  // The peer's end wins over a free area, as it does over a ready frame.
  EXPECT_EQ(channel.SendString("x", kInfinite), acPeerTerminated);
  EXPECT_LT(TickCount() - start, 2000u);
  WaitChild(peer, 1000);
}

TEST(AsyncChannelTest, AChannelToNoProcessCannotBeMade) {
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  WaitChild(gone, 5000);
  EXPECT_THROW(
      TAsyncChannel(gone, UniqueMapName("none"), kChannelMapSize, 0, kAreaSize, kAreaSize, kAreaSize),
      EWin32Error);
  EXPECT_THROW(
      TAsyncChannel(::getpid(), UniqueMapName("layout"), kChannelMapSize, 0, kAreaSize, 1500, kAreaSize),
      EWin32Error);
}

TEST(AsyncChannelTest, NamesOfTheBlockAndItsSemaphores) {
  EXPECT_EQ(ChannelEventName("r", "M1", 0), "/rM1.00000000");
  EXPECT_EQ(ChannelEventName("w", "M1", 1000), "/wM1.000003E8");
  EXPECT_EQ(ChannelObjectName("sm", "a/b"), "/sma_b");
  const std::string longName(400, 'n');
  EXPECT_EQ(ChannelEventName("r", longName, 0).size(), 250u);
  EXPECT_NE(ChannelEventName("r", longName, 0), ChannelEventName("r", longName, 1000));
}

TEST(SharedMemTest, WritesUnderTheLockAndDropsWhenItIsHeld) {
  TPair pair("shared");
  TSharedMem shared(pair.Server->Stream(), pair.Map, kProgressOffset, 10);
  const int32_t values[3] = {5, 10, 77};
  ASSERT_TRUE(shared.Write(0, values, sizeof values));
  const auto* view = static_cast<const uint8_t*>(pair.Client->Stream().GetView());
  EXPECT_EQ(std::memcmp(view + kProgressOffset, values, sizeof values), 0);
  EXPECT_FALSE(shared.Write(40, values, sizeof values));  // past the block's end
  TNamedSemaphore lock(ChannelObjectName("sm", pair.Map), 1);
  ASSERT_TRUE(lock.Wait(0));
  const uint32_t start = TickCount();
  EXPECT_FALSE(shared.Write(0, values, 4));
  EXPECT_LT(TickCount() - start, 1000u);
  lock.Post();
  EXPECT_TRUE(shared.Write(0, values, 4));
}

}  // namespace
