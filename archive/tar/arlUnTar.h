// TUnTar, the archive library's decoder of TAR archives (uncompressed 512-byte blocks): it walks the entry
// headers, lists the selected regular files and folders and extracts them by copying their stored bytes.
// Sparse files (old GNU, and the POSIX formats 0.0, 0.1 and 1.0, named by their stored real name) are
// listed with their full size and written with zeros in their holes.
// TAR keeps no checksum of the data: an entry passes its check when all its bytes were copied.
//
// What the reader checks (the header checks are listed in arlTarHeader.h):
//   - a header block whose checksum fails is "Bad file header" reported with its offset and ends the
//     walk; an all-zero block ends it quietly, and a file that ends without one (cut short) is "Error
//     reading file or unexpected end of file" naming the offset from which entries could not be read;
//   - every next header lies at least one block after the current one, so that no walk can loop;
//   - an entry whose data runs past the end of the file (a torn tail, or a size field that claims more
//     than the archive holds) is the last one listed, with the size of the data the file holds: its copy
//     ends with "Error reading file or unexpected end of file" and it fails its check, and the archive is
//     reported with the entry cut short, what its header claims, what the file holds, and the entries
//     whose headers still follow in the bytes after it, which are lost with it;
//   - a sparse file's map: stretches in order, inside the file's size, holding no more than the data
//     stored ("Bad file header" naming the entry otherwise);
//   - names leading outside the output folder are refused by the base (BuildOutputName).
//
// A TAR given as a forward-only stream (ForwardInput: the output of a GZIP decoder) is read in one pass:
// each header, then its entry extracted at once, then the next. The checks and reports are the same; an
// entry whose data runs past the end is found while it is copied (one that claims 2 GB or more, which
// cannot be delivered, is found before it is begun, by reading on to its end), and the reports about the
// archive itself (cut short, a bad header) are marked to go before those about its entries, where the walk
// of a file has them. Only the bytes the stream keeps can be looked at again: a cut-short entry whose
// bytes are no longer kept is not delivered, and the entries lost after it are named from those bytes. The
// stream is asked to step back only inside a format 1.0 sparse map (at most kMaxSparseMapBytes); it must keep
// that much (kForwardKeepBytes).
//
// Ownership and threads: as TUnBase.
#pragma once

#include <string>
#include <vector>

#include "archive/arlBase.h"
#include "archive/tar/arlTarHeader.h"

class TUnTar : public TUnBase {
 public:
  // The bytes a forward-only input must keep behind its position.
  static constexpr int64_t kForwardKeepBytes = kMaxSparseMapBytes + kCopyBlock;
  static_assert(kForwardKeepBytes <= kStreamKeepBytes,
                "a streamed entry must keep what the reader steps back");

 protected:
  void ExtractArchive(TStream32* Stream) override;

 private:
  void Walk(TStream32& Stream, int64_t StreamSize, std::vector<TTarHeader>& Entries);
  // The one-pass run over a forward-only stream.
  void ExtractForward(TStream32& Stream);
  // Item's fields from a header.
  static void FillItem(const TTarHeader& H, TArlItem& I);
  void ExtractEntry(TStream32& Stream, const TTarHeader& H);
  // Writes a sparse entry: its stretches from the stored data and zeros between them, RealSize bytes in
  // all; false (reported) when its map is bad or its data cut short.
  bool CopySparse(TStream32& Stream, const TTarHeader& H);
  void WriteZeros(int64_t Count);
  // The entry's name, converted; a folder's ends with "/".
  static std::string ItemName(const TTarHeader& H);
  // Reports the torn entry H, whose data the archive holds up to End, and names the entries whose
  // headers follow in the bytes from its data on (those still readable from From on): they are lost.
  void ReportCutShort(TStream32& Stream, const TTarHeader& H, int64_t From, int64_t End);
  // Whether the archive's first End bytes end with a zero block at a block boundary, as a whole one does.
  bool EndsWithEndMarker(TStream32& Stream, int64_t End);
  // The names of the files whose headers lie from From to End: the first header found there, and the
  // headers that follow it. A stop ends the search.
  std::vector<std::string> HeadersAfter(TStream32& Stream, int64_t From, int64_t End);
  // Reads a forward-only stream on to the byte before Pos; true when its data ends first, with End where
  // it ended (-1 when the stream cannot tell). The stream then still keeps what it keeps before End.
  static bool EndsBefore(TStream32& Stream, int64_t Pos, int64_t& End);
  // For a forward-only stream whose data has ended: where it ended; -1 when it has not or is no such stream.
  static int64_t ForwardEnd(TStream32& Stream);
};
