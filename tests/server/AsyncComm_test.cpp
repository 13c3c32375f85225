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
  TPair Pair("frames");
  std::mt19937 Rng(7);
  for (int I = 0; I < 300; ++I) {
    const int32_t N = I < 2 ? (I == 0 ? 0 : kAreaSize - kFrameOverhead) : static_cast<int32_t>(Rng() % 993);
    std::string Msg(static_cast<size_t>(N), '\0');
    for (char& C : Msg) C = static_cast<char>(Rng());
    TAsyncChannel& From = I % 2 ? *Pair.Client : *Pair.Server;
    TAsyncChannel& To = I % 2 ? *Pair.Server : *Pair.Client;
    ASSERT_EQ(From.SendString(Msg, 1000), acOK);
    std::string Got;
    ASSERT_EQ(To.Receive(Got, 1000), acOK);
    ASSERT_EQ(Got, Msg) << "frame " << I;
  }
}

TEST(AsyncChannelTest, OneSlotMailbox) {
  TPair Pair("slot");
  std::string Got;
  EXPECT_EQ(Pair.Server->Receive(Got, 30), acTimeout);
  ASSERT_EQ(Pair.Client->SendString("one", 0), acOK);
  // The area holds one frame until it is read.
  EXPECT_EQ(Pair.Client->SendString("two", 0), acTimeout);
  EXPECT_EQ(Pair.Client->SendString("two", 30), acTimeout);
  ASSERT_EQ(Pair.Server->Receive(Got, 0), acOK);
  EXPECT_EQ(Got, "one");
  EXPECT_EQ(Pair.Client->SendString("two", 0), acOK);
  ASSERT_EQ(Pair.Server->Receive(Got, kInfinite), acOK);
  EXPECT_EQ(Got, "two");
}

TEST(AsyncChannelTest, SendRefusesWhatDoesNotFitItsArea) {
  TPair Pair("size");
  const std::string Longest(kAreaSize - kFrameOverhead, 'x');
  EXPECT_EQ(Pair.Client->Send("x", -1, 0), acSizeError);
  EXPECT_EQ(Pair.Client->SendString(Longest + "y", 0), acSizeError);
  // Nothing was written: the area is still free.
  EXPECT_EQ(Pair.Client->SendString(Longest, 0), acOK);
  std::string Got;
  ASSERT_EQ(Pair.Server->Receive(Got, 0), acOK);
  EXPECT_EQ(Got, Longest);
}

// A frame with a bad length or checksum is refused, nothing is read past the area, and the area is free
// again for the next frame.
TEST(AsyncChannelTest, BadFramesAreRefusedAndFreeTheArea) {
  TPair Pair("bad");
  const std::string Payload = "ver";
  const uint32_t PayloadCrc = UpdateCrc32(0xFFFFFFFFu, Payload.data(), 3);
  struct TCase {
    int32_t Length;
    uint32_t Crc;
    TChannelResult Expected;
  };
  const TCase Cases[] = {
      {3, PayloadCrc, acOK},
      {3, PayloadCrc ^ 0x100, acCRCError},
      {kAreaSize - kFrameOverhead + 1, PayloadCrc, acSizeError},
      {-1, PayloadCrc, acSizeError},
      {0x7FFFFFF9, PayloadCrc, acSizeError},  // n + 8 wraps to a negative int32
      {INT32_MIN, PayloadCrc, acSizeError},
  };
  for (const TCase& C : Cases) {
    PutRawRequest(Pair.Map, *Pair.Client, C.Length, Payload, C.Crc);
    std::string Got = "unchanged";
    EXPECT_EQ(Pair.Server->Receive(Got, 1000), C.Expected) << C.Length;
    EXPECT_EQ(Got, C.Expected == acOK ? Payload : "unchanged");
  }
  ASSERT_EQ(Pair.Client->SendString("after", 0), acOK);
  std::string Got;
  EXPECT_EQ(Pair.Server->Receive(Got, 0), acOK);
}

TEST(AsyncChannelTest, WaitsEndWhenThePeerEnds) {
  const std::string Map = UniqueMapName("peer");
  const pid_t Peer = StartSleeper();
  TAsyncChannel Channel(Peer, Map, kChannelMapSize, kRequestOffset, kAreaSize, kAnswerOffset, kAreaSize);
  std::string Got;
  EXPECT_EQ(Channel.Receive(Got, 20), acTimeout);
  ::kill(Peer, SIGKILL);
  const uint32_t Start = TickCount();
  EXPECT_EQ(Channel.Receive(Got, kInfinite), acPeerTerminated);
  // The peer's end wins over a free area, as it does over a ready frame.
  EXPECT_EQ(Channel.SendString("x", kInfinite), acPeerTerminated);
  EXPECT_LT(TickCount() - Start, 2000u);
  WaitChild(Peer, 1000);
}

TEST(AsyncChannelTest, AChannelToNoProcessCannotBeMade) {
  const pid_t Gone = ::fork();
  if (Gone == 0) ::_exit(0);
  WaitChild(Gone, 5000);
  EXPECT_THROW(
      TAsyncChannel(Gone, UniqueMapName("none"), kChannelMapSize, 0, kAreaSize, kAreaSize, kAreaSize),
      EWin32Error);
  EXPECT_THROW(
      TAsyncChannel(::getpid(), UniqueMapName("layout"), kChannelMapSize, 0, kAreaSize, 1500, kAreaSize),
      EWin32Error);
}

TEST(AsyncChannelTest, NamesOfTheBlockAndItsSemaphores) {
  EXPECT_EQ(ChannelEventName("r", "M1", 0), "/rM1.00000000");
  EXPECT_EQ(ChannelEventName("w", "M1", 1000), "/wM1.000003E8");
  EXPECT_EQ(ChannelObjectName("sm", "a/b"), "/sma_b");
  const std::string LongName(400, 'n');
  EXPECT_EQ(ChannelEventName("r", LongName, 0).size(), 250u);
  EXPECT_NE(ChannelEventName("r", LongName, 0), ChannelEventName("r", LongName, 1000));
}

TEST(SharedMemTest, WritesUnderTheLockAndDropsWhenItIsHeld) {
  TPair Pair("shared");
  TSharedMem Shared(Pair.Server->Stream(), Pair.Map, kProgressOffset, 10);
  const int32_t Values[3] = {5, 10, 77};
  ASSERT_TRUE(Shared.Write(0, Values, sizeof Values));
  const auto* View = static_cast<const uint8_t*>(Pair.Client->Stream().GetView());
  EXPECT_EQ(std::memcmp(View + kProgressOffset, Values, sizeof Values), 0);
  EXPECT_FALSE(Shared.Write(40, Values, sizeof Values));  // past the block's end
  TNamedSemaphore Lock(ChannelObjectName("sm", Pair.Map), 1);
  ASSERT_TRUE(Lock.Wait(0));
  const uint32_t Start = TickCount();
  EXPECT_FALSE(Shared.Write(0, Values, 4));
  EXPECT_LT(TickCount() - Start, 1000u);
  Lock.Post();
  EXPECT_TRUE(Shared.Write(0, Values, 4));
}

}  // namespace
