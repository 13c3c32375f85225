// The shared string table of a BIFF8 workbook (the SST record with its CONTINUE records).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/impcalc2/BiffRecord.h"

// The unique strings of the table, in order. A string's characters may run over any number of
// CONTINUE records; each record boundary inside the characters starts with a new flags byte that says
// whether the rest are 1-byte or 2-byte characters.
class SharedStringTable : public BiffRecord {
 public:
  using BiffRecord::BiffRecord;
  // The text of string Index; an Index beyond the table raises "Shared string table is invalid".
  const std::u16string& GetText(uint32_t Index) const;
  std::size_t Count() const { return Strings_.size(); }

 protected:
  // Reads the counts and then strings until the unique count is reached or the body ends; the counts
  // are not trusted for anything else. A unique count with bit 28 set raises "Can't read shared string
  // table: invalid table length".
  void Parse(MemoryReader& Reader) override;

 private:
  std::vector<std::u16string> Strings_;
};
