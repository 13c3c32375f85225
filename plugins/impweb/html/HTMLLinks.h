// IHTMLLinks: the sink that receives every link of a converted HTML text. The conversion engine clears it
// at the start of a pass and adds one entry per link whose text is not empty; a viewer implements it to
// mark the links in the text it shows.
//
// Positions: Start is the byte offset of the link text in the converted text (twice the character index
// for UTF-16 text), Length the link text's length in characters.
//
// Ownership: the engine never keeps a sink beyond the call that was given it. NewLinks hands its caller a
// new list that the caller owns. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class IHTMLLinks {
 public:
  virtual ~IHTMLLinks() = default;
  // A new, empty list of the same implementation.
  virtual std::unique_ptr<IHTMLLinks> NewLinks() = 0;
  // Clear, then every link of Source (through its Count and Get).
  virtual void Assign(IHTMLLinks& Source) = 0;
  // Removes every link.
  virtual void Clear() = 0;
  // Appends a link.
  virtual void Add(const std::u16string& URL, int32_t Start, int32_t Length) = 0;
  virtual int32_t Count() = 0;
  // False when Index is out of range.
  virtual bool Get(int32_t Index, std::u16string& URL, int32_t& Start, int32_t& Length) = 0;
  // The URL of link Index; Index must be in range.
  virtual std::u16string GetText(int32_t Index) = 0;
};
