#include "server/TextSink.h"

#include <vector>

#include "core/VFileStream.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"

namespace {

// Bytes a UTF-8 sequence with this lead byte has; 1 for a byte that cannot lead one.
size_t SequenceLength(unsigned char Lead) {
  if (Lead >= 0xF0 && Lead <= 0xF4) return 4;
  if (Lead >= 0xE0) return Lead <= 0xEF ? 3 : 1;
  if (Lead >= 0xC2) return 2;
  return 1;
}

// How many bytes at the end of S start a sequence that is not complete yet.
size_t IncompleteTail(std::string_view S) {
  const size_t n = S.size();
  for (size_t back = 1; back <= 3 && back <= n; ++back) {
    const unsigned char c = static_cast<unsigned char>(S[n - back]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t need = SequenceLength(c);
    return need > back ? back : 0;
  }
  return 0;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view Utf8) {
  if (Utf8.empty()) return std::string();
  // Every character takes at least one UTF-8 byte and gives one ANSI byte.
  std::string out(Utf8.size(), '\0');
  const int32_t n = qvnls::ConvertBufsDef(Utf8.data(), static_cast<int32_t>(Utf8.size()), out.data(),
                                          static_cast<int32_t>(out.size()), qvnls::kCharsetUtf8, 0, '?');
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

void TAnsiTextSink::Write(std::string_view Utf8) {
  std::string text;
  text.reserve(Utf8.size() + Utf8.size() / 8);
  for (const char c : Utf8) {
    if (c == '\f') {
      text += "\r\n";
    } else if (c == '\n' && Last != '\r') {
      text += "\r\n";
    } else {
      text += c;
    }
    Last = c;
  }
  Pending += text;
  const size_t keep = IncompleteTail(Pending);
  const std::string_view ready(Pending.data(), Pending.size() - keep);
  Put(ready);
  Pending.erase(0, ready.size());
}

void TAnsiTextSink::Finish() {
  Put(Pending);
  Pending.clear();
}

void TAnsiTextSink::Put(std::string_view Utf8) {
  if (Utf8.empty()) return;
  const std::string ansi = Utf8ToAnsi(Utf8);
  if (ansi.empty()) return;
  Dest.Write(ansi.data(), static_cast<int32_t>(ansi.size()));
  Written += static_cast<int64_t>(ansi.size());
}

bool IsUnreadableTextFile(const std::string& Utf8File) {
  TVBufFileStream in(Utf8File, fmOpenRead);
  int64_t control = 0, readable = 0;
  std::string chunk(65536, '\0');
  for (int32_t n; (n = in.Read(chunk.data(), static_cast<int32_t>(chunk.size()))) > 0;) {
    for (int32_t i = 0; i < n; ++i) {
      const auto b = static_cast<uint8_t>(chunk[static_cast<size_t>(i)]);
      if (b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == '\f') continue;
      if (b < 0x20 || b == 0x7F) {
        ++control;
      } else if (b < 0x80 || b >= 0xC0) {  // one per character: continuation bytes are not counted
        ++readable;
      }
    }
  }
  return control > readable;
}

int64_t WriteUtf8FileAsAnsi(const std::string& Utf8File, TVStream& Dest) {
  TVBufFileStream in(Utf8File, fmOpenRead);
  TAnsiTextSink sink(Dest);
  std::string chunk(65536, '\0');
  bool first = true;
  for (int32_t n; (n = in.Read(chunk.data(), static_cast<int32_t>(chunk.size()))) > 0; first = false) {
    std::string_view part(chunk.data(), static_cast<size_t>(n));
    if (first && part.substr(0, 3) == "\xEF\xBB\xBF") part.remove_prefix(3);
    sink.Write(part);
  }
  sink.Finish();
  return sink.BytesWritten();
}
