// Fuzz target of the typed reads of streams: stored strings, numbers, and the persistent forms of the
// vectors, string lists and the integer set. The first byte picks the reader (kReaders below), the rest
// is the stream. A stream error or a vector error is a clean answer; a form that was read must write and
// read back to the very same bytes, so that nothing read is lost on the way.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/BoolVector.h"
#include "core/Exception.h"
#include "core/NumVector.h"
#include "core/RBTree.h"
#include "core/StrLst.h"
#include "core/VStream.h"
#include "core/WideStrings.h"

namespace {

// Reads every typed value the stream offers, each chosen by the byte before it, until the stream ends.
void ReadTypedValues(TVStream& S) {
  while (!S.Eof()) {
    switch (S.ReadByte() % 8) {
      case 0:
        S.ReadBool();
        break;
      case 1:
        S.ReadInt16();
        break;
      case 2:
        S.ReadInt32();
        break;
      case 3:
        S.ReadString();
        break;
      case 4:
        S.ReadWideString();
        break;
      case 5:
        S.ReadChars(S.ReadInt32());
        break;
      case 6: {
        const std::string Pattern = S.ReadChars(S.ReadByte() % 8);
        S.FindString(Pattern, S.ReadInt32());
        break;
      }
      default:
        S.Skip(S.ReadByte());
        break;
    }
  }
}

// A persistent form: how to read it from a stream and write it to one.
template <class T>
void RoundTrip(TVStream& S) {
  T First;
  First.ReadFromStream(S);
  TVMemStream Written;
  First.WriteToStream(Written);
  Written.Seek(0);
  T Second;
  Second.ReadFromStream(Written);
  if (Written.GetPosition() != Written.GetSize()) __builtin_trap();  // the reader left bytes of its own form
  TVMemStream Again;
  Second.WriteToStream(Again);
  if (Again.GetSize() != Written.GetSize() ||
      std::string(reinterpret_cast<const char*>(Again.GetMemory()), Again.GetSize()) !=
          std::string(reinterpret_cast<const char*>(Written.GetMemory()), Written.GetSize()))
    __builtin_trap();  // a form read back differs from the one written
}

// The integer set persists through SaveToStream and LoadFromStream.
struct TIntSet : TRBTree {
  void ReadFromStream(TVStream& S) { LoadFromStream(S); }
  void WriteToStream(TVStream& S) const { SaveToStream(S); }
};

const std::function<void(TVStream&)> kReaders[] = {
    ReadTypedValues,
    RoundTrip<TInt8Vector>,
    RoundTrip<TInt32Vector>,
    RoundTrip<TUInt32Vector>,
    RoundTrip<TInt64Vector>,
    RoundTrip<TDoubleVector>,
    RoundTrip<TBoolVector>,
    RoundTrip<TPackedBoolVector>,
    RoundTrip<TStrLst>,
    RoundTrip<TCaseSensStrLst>,
    RoundTrip<TWideStrLst>,
    RoundTrip<TIntSet>,
    [](TVStream& S) {
      TWideStringList List;
      List.LoadFromStream(S);
    },
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const auto& Reader = kReaders[Data[0] % std::size(kReaders)];
  TVReadOnlyMemStream S(Data + 1, static_cast<int32_t>(Size - 1));
  try {
    Reader(S);
  } catch (const Exception&) {
  }
  return 0;
}
