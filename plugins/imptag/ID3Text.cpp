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
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t I = 0; I < Text.size(); ++I) {
    const char C = Text[I];
    if (C == '\0' || C == '\n') {
      Out += kCRLF;
    } else if (C == '\r') {
      Out += kCRLF;
      if (I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
    } else {
      Out += C;
    }
  }
  return Out;
}

std::string TrimID3Blanks(std::string_view S) {
  while (!S.empty() && static_cast<uint8_t>(S.front()) <= ' ') S.remove_prefix(1);
  while (!S.empty() && static_cast<uint8_t>(S.back()) <= ' ') S.remove_suffix(1);
  return std::string(S);
}

bool IsDecimalText(std::string_view S) {
  return !S.empty() && std::all_of(S.begin(), S.end(), [](char C) { return C >= '0' && C <= '9'; });
}

std::string RewriteContentType(std::string_view Raw, uint8_t Version) {
  std::vector<std::string> Entries;
  auto Add = [&Entries](std::string_view Entry) {
    std::string E = TrimID3Blanks(Entry);
    if (IsDecimalText(E)) {
      E = E.size() <= 3 ? GenreName(static_cast<uint8_t>(std::min(std::stoi(E), 255))) : kUnknownGenre;
    } else if (E == "RX") {
      E = "Remix";
    } else if (E == "CR") {
      E = "Cover";
    }
    if (!E.empty() && std::find(Entries.begin(), Entries.end(), E) == Entries.end()) Entries.push_back(E);
  };
  if (Version >= 4) {
    std::size_t Start = 0;
    for (std::size_t Zero; (Zero = Raw.find('\0', Start)) != std::string_view::npos; Start = Zero + 1) {
      Add(CleanID3Text(Raw.substr(Start, Zero - Start)));
    }
    Add(CleanID3Text(Raw.substr(Start)));
  } else {
    const std::string Text = CleanID3Text(Raw);
    std::string_view S = Text;
    std::size_t Pos = 0;
    while (Pos < S.size()) {
      const std::size_t Open = S.find('(', Pos);
      if (Open == std::string_view::npos) {
        Add(S.substr(Pos));
        break;
      }
      if (Open + 1 == S.size()) {
        Add(S.substr(Pos, Open - Pos));
        break;
      }
      const std::size_t Close = S.find(')', Open + 1);
      if (Close == std::string_view::npos) {
        // An unclosed "(": the rest is one entry.
        Add(S.substr(Pos));
        break;
      }
      Add(S.substr(Pos, Open - Pos));
      Add(S.substr(Open + 1, Close - Open - 1));
      Pos = Close + 1;
    }
  }
  std::string Joined;
  for (const std::string& E : Entries) Joined += (Joined.empty() ? "" : " ") + E;
  return Joined;
}

std::string WideToID3Form(std::u16string_view Text, TID3Form Form) {
  if (Form == TID3Form::Ansi) return WideToAnsi(Text);
  if (Text.empty()) return std::string();
  // Up to 3 UTF-8 bytes a unit (a surrogate pair, 4 bytes for two units).
  std::string Out(Text.size() * 3, '\0');
  const int32_t N = qvnls::WideToBuf(Text.data(), static_cast<int32_t>(Text.size() * 2), Out.data(),
                                     static_cast<int32_t>(Out.size()), qvnls::kCharsetUtf8);
  Out.resize(N > 0 ? static_cast<std::size_t>(N) : 0);
  return Out;
}

std::string AnsiToID3Form(std::string_view Text, TID3Form Form) {
  return Form == TID3Form::Ansi ? std::string(Text) : WideToID3Form(AnsiToWide(Text), Form);
}

std::string DecodeID3Text(uint8_t Encoding, std::string_view Bytes, TID3Form Form) {
  switch (Encoding) {
    case 0:
      return AnsiToID3Form(Bytes, Form);
    case 1:
    case 2: {
      const auto* B = reinterpret_cast<const uint8_t*>(Bytes.data());
      const std::size_t Units = Bytes.size() / 2;
      auto Unit = [B](std::size_t I) { return static_cast<char16_t>(B[2 * I] | B[2 * I + 1] << 8); };
      auto IsMark = [](char16_t U) { return U == 0xFEFF || U == 0xFFFE; };
      bool Swap = Encoding == 2;
      std::size_t I = 0;
      if (Encoding == 1 && Units > 0 && IsMark(Unit(0))) {
        Swap = Unit(0) == 0xFFFE;
        I = 1;
      }
      std::u16string Text;
      Text.reserve(Units);
      for (; I < Units; ++I) {
        char16_t U = Unit(I);
        if (Swap) U = static_cast<char16_t>(U << 8 | U >> 8);
        Text += U;
        // Each string behind a zero character (a value behind its description, the next entry of a
        // list) may carry a byte-order mark of its own.
        if (Encoding == 1 && U == 0 && I + 1 < Units && IsMark(Unit(I + 1))) Swap = Unit(++I) == 0xFFFE;
      }
      return WideToID3Form(Text, Form);
    }
    case 3: {
      if (Bytes.empty()) return std::string();
      std::u16string Text(Bytes.size(), u'\0');
      const int32_t N = qvnls::BufToWide(Bytes.data(), static_cast<int32_t>(Bytes.size()), Text.data(),
                                         static_cast<int32_t>(Text.size() * 2), qvnls::kCharsetUtf8);
      Text.resize(N > 0 ? static_cast<std::size_t>(N) / 2 : 0);
      return WideToID3Form(Text, Form);
    }
    default:
      return std::string();
  }
}
