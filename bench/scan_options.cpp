#include "bench/scan_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>

#include "platform/qvnls/Qvnls.h"
#include "search/NLSProcsDyn.h"

const char* const kScanUsage =
    "usage: scan [-c] [-w] [-z] [-l phrase|any|all] [-e ansi,oem,unicode] [-p] PATTERN FILE...\n"
    "       scan -r [-m MASKS] [-x EXCLUDED] [-n] [-N] [-B] [-t] [-a] [-P PASSWORD] [-j THREADS]\n"
    "            [--min-size N] [--max-size N] [--after DATE] [--before DATE] [other options] PATTERN "
    "ROOT...";

namespace {

struct TOption {
  char Letter;
  bool TakesValue;
  // Applies the option (Value is empty for options without one); false, with Error set, when the value
  // is not understood.
  std::function<bool(TScanCommandLine&, const std::string& Value, std::string& Error)> Apply;
};

bool ParseLogic(TScanCommandLine& O, const std::string& V, std::string& Error) {
  if (V == "phrase")
    O.Logic = slEntirePhrase;
  else if (V == "any")
    O.Logic = slAnyWord;
  else if (V == "all")
    O.Logic = slAllWords;
  else {
    Error = "unknown logic \"" + V + "\" (phrase, any or all)";
    return false;
  }
  return true;
}

bool ParseEncodings(TScanCommandLine& O, const std::string& V, std::string& Error) {
  TScanEncodings Set = 0;
  size_t From = 0;
  while (From <= V.size()) {
    size_t To = V.find(',', From);
    if (To == std::string::npos) To = V.size();
    const std::string Name = V.substr(From, To - From);
    if (Name == "ansi")
      Set |= kScanAnsi;
    else if (Name == "oem")
      Set |= kScanOem;
    else if (Name == "unicode")
      Set |= kScanUnicode;
    else {
      Error = "unknown encoding \"" + Name + "\" (ansi, oem or unicode)";
      return false;
    }
    From = To + 1;
  }
  O.Encodings = Set;
  return true;
}

// The tree options: each also switches the tree search on.
bool TreeFlag(bool TTreeOptions::*Field, TScanCommandLine& O) {
  O.Tree.*Field = true;
  return O.Tree.Enabled = true;
}

bool TreeText(std::string TTreeOptions::*Field, TScanCommandLine& O, const std::string& V) {
  O.Tree.*Field = V;
  return O.Tree.Enabled = true;
}

bool TreeSize(int64_t TTreeOptions::*Field, TScanCommandLine& O, const std::string& V, std::string& Error) {
  char* End = nullptr;
  const long long N = std::strtoll(V.c_str(), &End, 10);
  if (V.empty() || *End != '\0' || N < 0) {
    Error = "bad size \"" + V + "\" (bytes)";
    return false;
  }
  O.Tree.*Field = N;
  return O.Tree.Enabled = true;
}

bool TreeThreads(TScanCommandLine& O, const std::string& V, std::string& Error) {
  char* End = nullptr;
  const long N = std::strtol(V.c_str(), &End, 10);
  if (V.empty() || *End != '\0' || N < 1 || N > 1024) {
    Error = "bad thread count \"" + V + "\" (1 to 1024)";
    return false;
  }
  O.Tree.Threads = static_cast<int32_t>(N);
  return O.Tree.Enabled = true;
}

bool TreeDate(TDateTime TTreeOptions::*Field, TScanCommandLine& O, const std::string& V, std::string& Error) {
  if (!ParseTreeDate(V, O.Tree.*Field)) {
    Error = "bad date \"" + V + "\" (YYYY-MM-DD, or YYYY-MM-DD HH:MM[:SS])";
    return false;
  }
  return O.Tree.Enabled = true;
}

const TOption kOptions[] = {
    {'c', false,
     [](TScanCommandLine& O, const std::string&, std::string&) { return O.CaseSensitive = true; }},
    {'w', false, [](TScanCommandLine& O, const std::string&, std::string&) { return O.WholeWords = true; }},
    {'z', false, [](TScanCommandLine& O, const std::string&, std::string&) { return O.Fuzzy = true; }},
    {'p', false, [](TScanCommandLine& O, const std::string&, std::string&) { return O.Positions = true; }},
    {'l', true, ParseLogic},
    {'e', true, ParseEncodings},
    {'r', false,
     [](TScanCommandLine& O, const std::string&, std::string&) {
       return TreeFlag(&TTreeOptions::Recurse, O);
     }},
    {'n', false,
     [](TScanCommandLine& O, const std::string&, std::string&) {
       return TreeFlag(&TTreeOptions::MatchName, O);
     }},
    {'N', false,
     [](TScanCommandLine& O, const std::string&, std::string&) {
       return TreeFlag(&TTreeOptions::NameOnly, O);
     }},
    {'B', false,
     [](TScanCommandLine& O, const std::string&, std::string&) {
       return TreeFlag(&TTreeOptions::SkipBinary, O);
     }},
    {'t', false,
     [](TScanCommandLine& O, const std::string&, std::string&) {
       return TreeFlag(&TTreeOptions::Convert, O);
     }},
    {'a', false,
     [](TScanCommandLine& O, const std::string&, std::string&) {
       return TreeFlag(&TTreeOptions::Archives, O);
     }},
    {'m', true,
     [](TScanCommandLine& O, const std::string& V, std::string&) {
       return TreeText(&TTreeOptions::Masks, O, V);
     }},
    {'x', true,
     [](TScanCommandLine& O, const std::string& V, std::string&) {
       return TreeText(&TTreeOptions::Excluded, O, V);
     }},
    {'j', true, TreeThreads},
    {'P', true,
     [](TScanCommandLine& O, const std::string& V, std::string&) {
       return TreeText(&TTreeOptions::Password, O, V);
     }},
};

struct TLongOption {
  const char* Name;
  std::function<bool(TScanCommandLine&, const std::string& Value, std::string& Error)> Apply;
};

const TLongOption kLongOptions[] = {
    {"min-size", [](TScanCommandLine& O, const std::string& V,
                    std::string& E) { return TreeSize(&TTreeOptions::MinSize, O, V, E); }},
    {"max-size", [](TScanCommandLine& O, const std::string& V,
                    std::string& E) { return TreeSize(&TTreeOptions::MaxSize, O, V, E); }},
    {"after", [](TScanCommandLine& O, const std::string& V,
                 std::string& E) { return TreeDate(&TTreeOptions::After, O, V, E); }},
    {"before", [](TScanCommandLine& O, const std::string& V,
                  std::string& E) { return TreeDate(&TTreeOptions::Before, O, V, E); }},
};

const TLongOption* FindLongOption(const char* Name) {
  for (const TLongOption& Option : kLongOptions)
    if (std::strcmp(Option.Name, Name) == 0) return &Option;
  return nullptr;
}

const TOption* FindOption(char Letter) {
  for (const TOption& Option : kOptions)
    if (Option.Letter == Letter) return &Option;
  return nullptr;
}

}  // namespace

bool ParseScanOptions(int Argc, const char* const* Argv, TScanCommandLine& Options, std::string& Error) {
  int I = 1;
  for (; I < Argc; ++I) {
    const char* Arg = Argv[I];
    if (std::strcmp(Arg, "--") == 0) {
      ++I;
      break;
    }
    if (Arg[0] != '-' || Arg[1] == '\0') break;  // "-" alone is a file name
    if (Arg[1] == '-') {
      const TLongOption* Option = FindLongOption(Arg + 2);
      if (Option == nullptr) {
        Error = std::string("unknown option ") + Arg;
        return false;
      }
      if (I + 1 >= Argc) {
        Error = std::string("option ") + Arg + " needs a value";
        return false;
      }
      if (!Option->Apply(Options, Argv[++I], Error)) return false;
      continue;
    }
    for (const char* P = Arg + 1; *P != '\0'; ++P) {
      const TOption* Option = FindOption(*P);
      if (Option == nullptr) {
        Error = std::string("unknown option -") + *P;
        return false;
      }
      std::string Value;
      if (Option->TakesValue) {
        if (P[1] != '\0') {
          Value = P + 1;
        } else if (I + 1 < Argc) {
          Value = Argv[++I];
        } else {
          Error = std::string("option -") + *P + " needs a value";
          return false;
        }
      }
      if (!Option->Apply(Options, Value, Error)) return false;
      if (Option->TakesValue) break;
    }
  }
  if (I >= Argc) {
    Error = "no pattern";
    return false;
  }
  Options.Pattern = Argv[I++];
  for (; I < Argc; ++I) Options.Files.emplace_back(Argv[I]);
  if (Options.Files.empty()) {
    Error = "no file";
    return false;
  }
  return true;
}

bool SetUpScanner(TStreamScanner& Scanner, const TScanCommandLine& Options) {
  try {
    Scanner.SetPattern(CharsetToWide(Options.Pattern, qvnls::kCharsetUtf8));
    Scanner.SetCaseSensitive(Options.CaseSensitive);
    Scanner.SetLogic(Options.Logic);
    Scanner.WholeWords = Options.WholeWords;
    Scanner.Fuzzy = Options.Fuzzy ? 1 : 0;
  } catch (const std::exception& E) {
    std::fprintf(stderr, "scan: %s\n", E.what());
    return false;
  }
  return true;
}
