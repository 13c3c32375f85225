// The national-language layer: code pages, conversion between charsets, case mapping, comparison,
// charset detection and buffer search, built on ICU. The rest of the system reaches every charset
// through the one-byte charset codes declared here.
#pragma once

namespace qvnls {

// The layer's version. Callers refuse to run with a version below 21017.
constexpr int kVersion = 21017;
int GetVersion();

}  // namespace qvnls
