#include "plugins/imptag/ID3Text.h"

#include <algorithm>
#include <vector>

#include "platform/qvnls/Qvnls.h"
#include "plugins/common/AnsiText.h"
#include "plugins/imptag/MP3Tables.h"

namespace {

constexpr const char* kCRLF = "\r\n";

}  // namespace

std::string CleanID3Text(std::string_view Text) {
  while (!Text.empty() && Text.back() == '\0') Text.remove_suffix(1);
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '\0' || c == '\n') {
      out += kCRLF;
    } else if (c == '\r') {
      out += kCRLF;
      if (i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

std::string TrimID3Blanks(std::string_view S) {
  while (!S.empty() && static_cast<uint8_t>(S.front()) <= ' ') S.remove_prefix(1);
  while (!S.empty() && static_cast<uint8_t>(S.back()) <= ' ') S.remove_suffix(1);
  return std::string(S);
}

bool IsDecimalText(std::string_view S) {
  return !S.empty() && std::all_of(S.begin(), S.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string RewriteContentType(std::string_view Raw, uint8_t Version) {
  std::vector<std::string> entries;
  auto add = [&entries](std::string_view Entry) {
    std::string e = TrimID3Blanks(Entry);
    if (IsDecimalText(e)) {
      e = e.size() <= 3 ? GenreName(static_cast<uint8_t>(std::min(std::stoi(e), 255))) : kUnknownGenre;
    } else if (e == "RX") {
      e = "Remix";
    } else if (e == "CR") {
      e = "Cover";
    }
    if (!e.empty() && std::find(entries.begin(), entries.end(), e) == entries.end()) entries.push_back(e);
  };
  if (Version >= 4) {
    std::size_t start = 0;
    for (std::size_t zero; (zero = Raw.find('\0', start)) != std::string_view::npos; start = zero + 1) {
      add(CleanID3Text(Raw.substr(start, zero - start)));
    }
    add(CleanID3Text(Raw.substr(start)));
  } else {
    const std::string text = CleanID3Text(Raw);
    std::string_view s = text;
    std::size_t pos = 0;
    while (pos < s.size()) {
      const std::size_t open = s.find('(', pos);
      if (open == std::string_view::npos) {
        add(s.substr(pos));
        break;
      }
      if (open + 1 == s.size()) {
        add(s.substr(pos, open - pos));
        break;
      }
      const std::size_t close = s.find(')', open + 1);
      if (close == std::string_view::npos) {
        // An unclosed "(": the rest is one entry.
        add(s.substr(pos));
        break;
      }
      add(s.substr(pos, open - pos));
      add(s.substr(open + 1, close - open - 1));
      pos = close + 1;
    }
  }
  std::string joined;
  for (const std::string& e : entries) joined += (joined.empty() ? "" : " ") + e;
  return joined;
}

std::string DecodeID3Text(uint8_t Encoding, std::string_view Bytes) {
  switch (Encoding) {
    case 0:
      return std::string(Bytes);
    case 1:
    case 2: {
      const auto* b = reinterpret_cast<const uint8_t*>(Bytes.data());
      const std::size_t units = Bytes.size() / 2;
      auto unit = [b](std::size_t i) { return static_cast<char16_t>(b[2 * i] | b[2 * i + 1] << 8); };
      auto is_mark = [](char16_t u) { return u == 0xFEFF || u == 0xFFFE; };
      bool swap = Encoding == 2;
      std::size_t i = 0;
      if (Encoding == 1 && units > 0 && is_mark(unit(0))) {
        swap = unit(0) == 0xFFFE;
        i = 1;
      }
      std::u16string text;
      text.reserve(units);
      for (; i < units; ++i) {
        char16_t u = unit(i);
        if (swap) u = static_cast<char16_t>(u << 8 | u >> 8);
        text += u;
        // Each string behind a zero character (a value behind its description, the next entry of a
        // list) may carry a byte-order mark of its own.
        if (Encoding == 1 && u == 0 && i + 1 < units && is_mark(unit(i + 1))) swap = unit(++i) == 0xFFFE;
      }
      return WideToAnsi(text);
    }
    case 3: {
      if (Bytes.empty()) return std::string();
      std::u16string text(Bytes.size(), u'\0');
      const int32_t n = qvnls::BufToWide(Bytes.data(), static_cast<int32_t>(Bytes.size()), text.data(),
                                         static_cast<int32_t>(text.size() * 2), qvnls::kCharsetUtf8);
      text.resize(n > 0 ? static_cast<std::size_t>(n) / 2 : 0);
      return WideToAnsi(text);
    }
    default:
      return std::string();
  }
}
