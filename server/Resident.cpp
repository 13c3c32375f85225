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
  size_t i = 0;
  for (; i < A.size() && B[i] != '\0'; ++i) {
    char a = A[i], b = B[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return i == A.size() && B[i] == '\0';
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

// "-" and the error text, cut at a UTF-8 character boundary so that the answer always fits its area: a
// long error text must be reported, not end the server with a size error.
std::string FailureAnswer() {
  const size_t room = static_cast<size_t>(kAreaSize - kFrameOverhead) - 1;
  std::string_view text = GetLastErrorText();
  if (text.size() > room) {
    size_t n = room;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    text = text.substr(0, n);
  }
  std::string answer(kCancelAnswer);
  answer.append(text);
  return answer;
}

bool ParsePid(const std::string& S, int32_t& Pid) {
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(S.c_str(), &end, 10);
  if (S.empty() || errno != 0 || *end != '\0' || v <= 0 || v > INT32_MAX) return false;
  Pid = static_cast<int32_t>(v);
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
    std::string msg;
    TChannelResult r = Channel.Receive(msg, kInfinite);
    if (r == acOK) {
      if (msg == "+" || msg == "-") continue;  // a late answer to a progress message
      if (SameText(msg, "exit")) return true;
      std::string answer;
      if (SameText(msg, "ver")) {
        answer = kServerVersion;
      } else {
        Parser.Parse(msg, 0, false);
        std::string source, target;
        bool unicode = false;
        TServerType type = stRTF;
        bool ok = false;
        RequestFlags = 0;
        if (!ParseServerRequest(Parser, source, target, RequestFlags, unicode, type)) {
          std::string text("Error in parameters. ");
          text.append(GetLastErrorText());
          SetLastErrorText(text);
        } else {
          ClearLastErrorText();
          ok = ConvertDocument(source, target, type, unicode);
        }
        if (ok) {
          answer.assign(1, '+');
        } else {
          WriteErrorFile();
          answer = FailureAnswer();
        }
      }
      r = Channel.SendString(answer, kInfinite);
    }
    if (r != acOK) {
      if (r == acPeerTerminated) Channel.UnlinkNames();
      SetLastErrorText(ChannelErrorText(r));
      return false;
    }
  }
}

}  // namespace

bool RunResidentLoop(TCommandLineParser& Parser) {
  const std::string map = UnquoteStr(Parser.GetOption("map"));
  if (map.empty()) {
    SetLastErrorText("\"/map\" expected");
    return false;
  }
  if (!Parser.HasOption("pid")) {
    SetLastErrorText("\"/pid\" expected");
    return false;
  }
  int32_t pid = 0;
  if (!ParsePid(UnquoteStr(Parser.GetOption("pid")), pid)) {
    SetLastErrorText("Illegal PID");
    return false;
  }
  TResidentScope scope;
  try {
    TAsyncChannel channel(pid, map, kChannelMapSize, kRequestOffset, kAreaSize, kAnswerOffset, kAreaSize);
    g_channel = &channel;
    try {
      g_shared = std::make_unique<TSharedMem>(channel.Stream(), map, kProgressOffset, 10);
    } catch (const std::exception& e) {
      SetLastErrorText(e.what());
      WriteErrorFile();
    }
    g_lastMessageTick = TickCount() - kProgressMessageIntervalMs;
    PluginCallback = ReportProgress;
    PluginCallbackData = nullptr;
    return ServeRequests(channel, Parser);
  } catch (...) {
    SetErrorFromCurrentException();
    return false;
  }
}

int32_t ReportProgress(int32_t, int32_t Current, int32_t Total, void*) {
  const uint32_t now = TickCount();
  if (g_shared) {
    try {
      uint8_t block[12];
      const uint32_t values[3] = {static_cast<uint32_t>(Current), static_cast<uint32_t>(Total), now};
      for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b) block[i * 4 + b] = static_cast<uint8_t>(values[i] >> (8 * b));
      g_shared->Write(0, block, sizeof block);
    } catch (...) {
      g_shared.reset();
    }
  }
  if (g_channel == nullptr) return 1;
  // The tick count wraps; the distance between two ticks is taken both ways.
  const uint32_t since = now - g_lastMessageTick;
  const uint32_t distance = since > 0x80000000u ? 0u - since : since;
  if (distance < kProgressMessageIntervalMs) return 1;
  g_lastMessageTick = now;
  std::string message(1, '%');
  message.append(std::to_string(Current)).append(1, '%').append(std::to_string(Total));
  const TChannelResult sent = g_channel->SendString(message, 0);
  if (sent != acOK) return sent == acTimeout ? 1 : 0;
  std::string answer;
  const TChannelResult r = g_channel->Receive(answer, kProgressAnswerWaitMs);
  if (r == acTimeout) return 1;
  if (r != acOK) return 0;
  return answer == kCancelAnswer ? 0 : 1;
}
