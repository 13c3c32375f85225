#include "server/TextSink.h"

#include <vector>

#include "core/VFileStream.h"
#include "core/VStream.h"
#include "platform/qvnls/Qvnls.h"
#include "server/Readability.h"

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
  const size_t N = S.size();
  for (size_t Back = 1; Back <= 3 && Back <= N; ++Back) {
    const unsigned char C = static_cast<unsigned char>(S[N - Back]);
    if ((C & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t Need = SequenceLength(C);
    return Need > Back ? Back : 0;
  }
  return 0;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view Utf8) {
  if (Utf8.empty()) return std::string();
  // Every character takes at least one UTF-8 byte and gives one ANSI byte.
  std::string Out(Utf8.size(), '\0');
  const int32_t N = qvnls::ConvertBufsDef(Utf8.data(), static_cast<int32_t>(Utf8.size()), Out.data(),
                                          static_cast<int32_t>(Out.size()), qvnls::kCharsetUtf8, 0, '?');
  Out.resize(N > 0 ? static_cast<size_t>(N) : 0);
  return Out;
}

void TAnsiTextSink::Write(std::string_view Utf8) {
  std::string Text;
  Text.reserve(Utf8.size() + Utf8.size() / 8);
  for (const char C : Utf8) {
    if (C == '\f') {
      Text += "\r\n";
    } else if (C == '\n' && Last_ != '\r') {
      Text += "\r\n";
    } else {
      Text += C;
    }
    Last_ = C;
  }
  Pending_ += Text;
  const size_t Keep = IncompleteTail(Pending_);
  const std::string_view Ready(Pending_.data(), Pending_.size() - Keep);
  Put(Ready);
  Pending_.erase(0, Ready.size());
}

void TAnsiTextSink::Finish() {
  Put(Pending_);
  Pending_.clear();
}

void TAnsiTextSink::Put(std::string_view Utf8) {
  if (Utf8.empty()) return;
  const std::string Ansi = Utf8ToAnsi(Utf8);
  if (Ansi.empty()) return;
  Dest_.Write(Ansi.data(), static_cast<int32_t>(Ansi.size()));
  Written_ += static_cast<int64_t>(Ansi.size());
}

std::string ReadUtf8File(const std::string& Utf8File) {
  TVBufFileStream In(Utf8File, fmOpenRead);
  std::string Text;
  std::string Chunk(65536, '\0');
  for (int32_t N; (N = In.Read(Chunk.data(), static_cast<int32_t>(Chunk.size()))) > 0;)
    Text.append(Chunk.data(), static_cast<size_t>(N));
  return Text;
}

bool IsUnreadableTextFile(const std::string& Utf8File) {
  const TPageVerdict Verdict = JudgePages(ReadUtf8File(Utf8File));
  return !Verdict.Unreadable.empty() && !Verdict.AnyReadableText;
}

std::string UnreadablePagesNote(const std::vector<int32_t>& Pages) {
  std::string Note = Pages.size() == 1 ? "Page " : "Pages ";
  for (size_t I = 0; I < Pages.size(); ++I) Note += (I > 0 ? ", " : "") + std::to_string(Pages[I]);
  return Note + " left out: " + (Pages.size() == 1 ? "its" : "their") +
         " converted text is unreadable (the document's fonts do not say which characters they show)";
}

std::string PagesNote(const std::vector<int32_t>& LeftOut, const std::vector<int32_t>& Doubtful) {
  std::string Note = LeftOut.empty() ? std::string() : UnreadablePagesNote(LeftOut);
  if (Doubtful.empty()) return Note;
  if (!Note.empty()) Note += "; ";
  Note += Doubtful.size() == 1 ? "Page " : "Pages ";
  for (size_t I = 0; I < Doubtful.size(); ++I) Note += (I > 0 ? ", " : "") + std::to_string(Doubtful[I]);
  return Note + " kept, though " + (Doubtful.size() == 1 ? "its" : "their") +
         " converted text may be unreadable";
}

int64_t WriteUtf8FileAsAnsi(const std::string& Utf8File, TVStream& Dest) {
  TVBufFileStream In(Utf8File, fmOpenRead);
  TAnsiTextSink Sink(Dest);
  std::string Chunk(65536, '\0');
  bool First = true;
  for (int32_t N; (N = In.Read(Chunk.data(), static_cast<int32_t>(Chunk.size()))) > 0; First = false) {
    std::string_view Part(Chunk.data(), static_cast<size_t>(N));
    if (First && Part.substr(0, 3) == "\xEF\xBB\xBF") Part.remove_prefix(3);
    Sink.Write(Part);
  }
  Sink.Finish();
  return Sink.BytesWritten();
}
