// The driver that replays a fuzz target's corpus without libFuzzer, for the ordinary test build: every
// file named on the command line, and every file below every folder named there, is handed once to the
// target's LLVMFuzzerTestOneInput. Crashes are the sanitizers' to report; a target that returns
// non-zero, an unreadable path or an empty corpus fail the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* Argc, char*** Argv);

namespace {

namespace fs = std::filesystem;

bool Replay(const fs::path& File) {
  std::ifstream In(File, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "cannot read %s\n", File.c_str());
    return false;
  }
  // Exactly the file's bytes, so that the sanitizers see a read past the input.
  const std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  // libFuzzer hands an empty input over as a valid pointer too.
  static const uint8_t kEmpty = 0;
  if (LLVMFuzzerTestOneInput(Bytes.empty() ? &kEmpty : Bytes.data(), Bytes.size()) != 0) {
    std::fprintf(stderr, "%s: the target answered non-zero\n", File.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&Argc, &Argv);
  std::vector<fs::path> Files;
  for (int I = 1; I < Argc; ++I) {
    const fs::path P(Argv[I]);
    std::error_code Ec;
    if (fs::is_directory(P, Ec)) {
      for (const auto& E : fs::recursive_directory_iterator(P, Ec))
        if (E.is_regular_file()) Files.push_back(E.path());
    } else if (fs::is_regular_file(P, Ec)) {
      Files.push_back(P);
    } else {
      std::fprintf(stderr, "no such file or folder: %s\n", Argv[I]);
      return 1;
    }
  }
  if (Files.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  // A fixed order, so that a failure repeats the same way.
  std::sort(Files.begin(), Files.end());
  for (const fs::path& F : Files) {
    std::fprintf(stderr, "replaying %s\n", F.c_str());
    if (!Replay(F)) return 1;
  }
  std::printf("%zu inputs replayed\n", Files.size());
  return 0;
}
