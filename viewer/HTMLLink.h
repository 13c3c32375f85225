// THTMLLinks: a list of links, each a text (the address), a start position in bytes and a length in
// characters, kept as parallel lists so that a viewer can mark them straight from the position vectors.
// It is the link sink of the HTML conversion engine (IHTMLLinks) and the list of addresses that the
// link-aware viewer finds in plain text.
//
// Ownership: a plain value owned by whoever made it. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/NumVector.h"
#include "plugins/impweb/html/HTMLLinks.h"

class THTMLLinks : public IHTMLLinks {
 public:
  THTMLLinks() = default;

  std::unique_ptr<IHTMLLinks> NewLinks() override;
  void Assign(IHTMLLinks& Source) override;
  void Clear() override;
  void Add(const std::u16string& Text, int32_t Start, int32_t Length) override;
  int32_t Count() override { return static_cast<int32_t>(Texts_.size()); }
  bool Get(int32_t Index, std::u16string& Text, int32_t& Start, int32_t& Length) override;
  // Index must lie in 0..Count - 1.
  std::u16string GetText(int32_t Index) override { return Texts_.at(static_cast<size_t>(Index)); }

  int32_t GetCount() const { return static_cast<int32_t>(Texts_.size()); }
  // Start positions (bytes, in the order added) and lengths (characters).
  const TInt32Vector& GetStarts() const { return Starts_; }
  const TInt32Vector& GetLengths() const { return Lengths_; }
  // The index of the link starting at Start, -1 for none.
  int32_t IndexOfStart(int32_t Start) const;

 private:
  std::vector<std::u16string> Texts_;
  TInt32Vector Starts_;
  TInt32Vector Lengths_;
};
