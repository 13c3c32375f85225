#include "server/Resident.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/CmdLine.h"
#include "core/Exception.h"
#include "core/StrUtils.h"
#include "core/VMemoryMappedStream.h"
#include "plugins/frame/ConvCmmn.h"
#include "server/AsyncComm.h"
#include "server/ConvServer.h"

namespace {

// The channel and progress block of the running resident loop; null in one-shot mode.
TAsyncChannel* g_channel = nullptr;
std::unique_ptr<TSharedMem> g_shared;
uint32_t g_lastMessageTick = 0;

bool SameText(const std::string& A, const char* B) {
  size_t I = 0;
  for (; I < A.size() && B[I] != '\0'; ++I) {
    char CharA = A[I], CharB = B[I];
    if (CharA >= 'A' && CharA <= 'Z') CharA = static_cast<char>(CharA - 'A' + 'a');
    if (CharB >= 'A' && CharB <= 'Z') CharB = static_cast<char>(CharB - 'A' + 'a');
    if (CharA != CharB) return false;
  }
  return I == A.size() && B[I] == '\0';
}

const char* ChannelErrorText(TChannelResult R) {
  switch (R) {
    case acPeerTerminated:
      return "Client process terminated";
    case acSizeError:
      return "Communication size error";
    case acCRCError:
      return "Communication CRC error";
    default:
      return "General communication error";
  }
}

// Mark ("+" or "-") and Text, cut at a UTF-8 character boundary so that the answer always fits its area:
// a long error text or warning must be reported, not end the server with a size error.
std::string MarkedAnswer(const char* Mark, std::string_view Text) {
  const size_t Room = static_cast<size_t>(kAreaSize - kFrameOverhead) - 1;
  if (Text.size() > Room) {
    size_t N = Room;
    while (N > 0 && (static_cast<unsigned char>(Text[N]) & 0xC0) == 0x80) --N;
    Text = Text.substr(0, N);
  }
  std::string Answer(Mark);
  Answer.append(Text);
  return Answer;
}

bool ParsePid(const std::string& S, int32_t& Pid) {
  errno = 0;
  char* End = nullptr;
  const long long V = std::strtoll(S.c_str(), &End, 10);
  if (S.empty() || errno != 0 || *End != '\0' || V <= 0 || V > INT32_MAX) return false;
  Pid = static_cast<int32_t>(V);
  return true;
}

// Clears the channel globals and the callback when the loop ends, on every path.
struct TResidentScope {
  ~TResidentScope() {
    PluginCallback = nullptr;
    PluginCallbackData = nullptr;
    g_shared.reset();
    g_channel = nullptr;
  }
};

bool ServeRequests(TAsyncChannel& Channel, TCommandLineParser& Parser) {
  for (;;) {
    std::string Msg;
    TChannelResult R = Channel.Receive(Msg, kInfinite);
    if (R == acOK) {
      if (Msg == "+" || Msg == "-") continue;  // a late answer to a progress message
      if (SameText(Msg, "exit")) return true;
      std::string Answer;
      if (SameText(Msg, "ver")) {
        Answer = kServerVersion;
      } else {
        Parser.Parse(Msg, 0, false);
        std::string Source, Target;
        bool Unicode = false;
        TServerType Type = stRTF;
        bool Ok = false;
        RequestFlags = 0;
        if (!ParseServerRequest(Parser, Source, Target, RequestFlags, Unicode, Type)) {
          std::string Text("Error in parameters. ");
          Text.append(GetLastErrorText());
          SetLastErrorText(Text);
        } else {
          ClearLastErrorText();
          Ok = ConvertDocument(Source, Target, Type, Unicode);
        }
        if (Ok) {
          Answer = MarkedAnswer(kSuccessAnswer, ConversionWarning);
        } else {
          WriteErrorFile();
          Answer = MarkedAnswer(kCancelAnswer, GetLastErrorText());
        }
      }
      R = Channel.SendString(Answer, kInfinite);
    }
    if (R != acOK) {
      if (R == acPeerTerminated) Channel.UnlinkNames();
      SetLastErrorText(ChannelErrorText(R));
      return false;
    }
  }
}

}  // namespace

bool RunResidentLoop(TCommandLineParser& Parser) {
  const std::string Map = UnquoteStr(Parser.GetOption("map"));
  if (Map.empty()) {
    SetLastErrorText("\"/map\" expected");
    return false;
  }
  if (!Parser.HasOption("pid")) {
    SetLastErrorText("\"/pid\" expected");
    return false;
  }
  int32_t Pid = 0;
  if (!ParsePid(UnquoteStr(Parser.GetOption("pid")), Pid)) {
    SetLastErrorText("Illegal PID");
    return false;
  }
  TResidentScope Scope;
  try {
    TAsyncChannel Channel(Pid, Map, kChannelMapSize, kRequestOffset, kAreaSize, kAnswerOffset, kAreaSize);
    g_channel = &Channel;
    try {
      g_shared = std::make_unique<TSharedMem>(Channel.Stream(), Map, kProgressOffset, 10);
    } catch (const std::exception& E) {
      SetLastErrorText(E.what());
      WriteErrorFile();
    }
    g_lastMessageTick = TickCount() - kProgressMessageIntervalMs;
    PluginCallback = ReportProgress;
    PluginCallbackData = nullptr;
    return ServeRequests(Channel, Parser);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}

int32_t ReportProgress(int32_t, int32_t Current, int32_t Total, void*) {
  const uint32_t Now = TickCount();
  if (g_shared) {
    try {
      uint8_t Block[12];
      const uint32_t Values[3] = {static_cast<uint32_t>(Current), static_cast<uint32_t>(Total), Now};
      for (int I = 0; I < 3; ++I)
        for (int B = 0; B < 4; ++B) Block[I * 4 + B] = static_cast<uint8_t>(Values[I] >> (8 * B));
      g_shared->Write(0, Block, sizeof Block);
    } catch (...) {
      g_shared.reset();
    }
  }
  if (g_channel == nullptr) return 1;
  // The tick count wraps; the distance between two ticks is taken both ways.
  const uint32_t Since = Now - g_lastMessageTick;
  const uint32_t Distance = Since > 0x80000000u ? 0u - Since : Since;
  if (Distance < kProgressMessageIntervalMs) return 1;
  g_lastMessageTick = Now;
  std::string Message(1, '%');
  Message.append(std::to_string(Current)).append(1, '%').append(std::to_string(Total));
  const TChannelResult Sent = g_channel->SendString(Message, 0);
  if (Sent != acOK) return Sent == acTimeout ? 1 : 0;
  std::string Answer;
  const TChannelResult R = g_channel->Receive(Answer, kProgressAnswerWaitMs);
  if (R == acTimeout) return 1;
  if (R != acOK) return 0;
  return Answer == kCancelAnswer ? 0 : 1;
}
