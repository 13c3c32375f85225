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
//   - an entry whose data runs past the end of the file is the last one listed (a torn tail): its copy
//     ends with "Error reading file or unexpected end of file" and it fails its check, and the archive
//     is reported cut short from the offset where the next entry would start;
//   - a sparse file's map: stretches in order, inside the file's size, holding no more than the data
//     stored ("Bad file header" naming the entry otherwise);
//   - names leading outside the output folder are refused by the base (BuildOutputName).
//
// A TAR given as a forward-only stream (ForwardInput: the output of a GZIP decoder) is read in one pass:
// each header, then its entry extracted at once, then the next. The checks and reports are the same; an
// entry whose data runs past the end is found while it is copied, and the reports about the archive
// itself (cut short, a bad header) are marked to go before those about its entries, where the walk of a
// file has them. The stream is asked to step back only inside a format 1.0 sparse map (at most
// kMaxSparseMapBytes); it must keep that much (kForwardKeepBytes).
//
// Ownership and threads: as TUnBase.
#pragma once

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
};
