// Fuzz target of the reader of GZIP and compress (.Z) files: any bytes as an archive file, tested, extracted
// into memory and extracted into a folder (see ArchiveFuzz.h for what must hold); then extracted once more
// with its entry read as a stream, which must give the bytes and the verdict that the extraction gives.
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/gzip/arlUnGZip.h"
#include "tests/fuzz/ArchiveFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  TUnGZip Reader;
  fuzztest::RunArchiveReader(Reader, fuzztest::Input(Data, Size), "archive.gz");

  // The entry as the extraction gives it, and its verdict.
  TDecompMemoryStream Memory;
  std::string Verdict;
  Reader.FileSpec = {"*.*"};
  Reader.OnEnd = [&Verdict](TZipCommon*, const std::string& Name, bool Ok) {
    Verdict += Name + (Ok ? "+" : "-");
  };
  Reader.ExtractToMemoryStream(&Memory);
  const std::string Extracted =
      Memory.Records.empty()
          ? std::string()
          : std::string(reinterpret_cast<const char*>(Memory.Memory()) + Memory.Records[0].Start,
                        Memory.Records[0].Size);
  const std::string ExtractedVerdict = Verdict;

  // The same entry read as a stream, half of it by the reader and the rest drained.
  std::string Streamed;
  bool Offered = false;
  Verdict.clear();
  Reader.OnStreamQuery = [](const TUnBase::TStreamQuery&) { return true; };
  Reader.OnBegin = [&](TZipCommon*, TArlBeginItem&) { Reader.StreamTaken = Offered = Reader.StreamOffered; };
  Reader.OnStreamEntry = [&Streamed](TStream32& S) {
    char Buffer[4096];
    for (int32_t N; (N = S.Read(Buffer, sizeof Buffer)) > 0;) Streamed.append(Buffer, static_cast<size_t>(N));
  };
  TDecompMemoryStream Unused;
  Reader.ExtractToMemoryStream(&Unused);
  if (Offered && (Streamed != Extracted || Verdict != ExtractedVerdict)) __builtin_trap();
  return 0;
}
